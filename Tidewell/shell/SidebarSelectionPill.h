#pragma once

#include "ui/View.h"

namespace tidewell {

// The backdrop of the selected sidebar row: the accent blue at 0.16 in a
// rounded rectangle of radius 10, taking the size of the row behind which it lies.
platform::ui::View SidebarSelectionPill();

}  // namespace tidewell
