#pragma once

#include <string>

#include "ui/View.h"

namespace tidewell {

// An empty view of its container's size that tags a card with an identifier
// in the view tree. It draws nothing and takes no clicks.
platform::ui::View DashboardCardMarker(const std::string& id);

}  // namespace tidewell
