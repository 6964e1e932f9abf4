#pragma once
// The character's row at the foot of the sidebar: the figure and, unless the
// sidebar is narrow, the name, stage and freed bytes. A click opens the
// character settings.

#include "ui/View.h"

namespace tidewell {

class AppStore;

platform::ui::View SidebarCharacterRow(AppStore& store, bool compact);

}  // namespace tidewell
