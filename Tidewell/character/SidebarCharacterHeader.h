#pragma once
// The character's header in the sidebar's status card: a larger figure with
// the name and growth stage. A click opens the character settings.

#include "ui/View.h"

namespace tidewell {

class AppStore;

platform::ui::View SidebarCharacterHeader(AppStore& store);

}  // namespace tidewell
