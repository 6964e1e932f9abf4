#pragma once

#include "core/AppStore.h"
#include "ui/View.h"

namespace tidewell {

// The card at the foot of the sidebar: this month's cleaning, the automatic
// clean time and, when the character is shown in the sidebar, its header and
// the all-time total. Absent in compact width and when it has nothing to say.
platform::ui::View SidebarStatusCard(AppStore& store, bool compact);

}  // namespace tidewell
