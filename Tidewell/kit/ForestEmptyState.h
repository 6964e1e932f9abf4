#pragma once

#include <string>

#include "ui/View.h"

namespace tidewell {

// What a page shows when it has nothing to list: a green symbol tile, a
// display-face title and a centred detail of at most 400 points, centred in
// all the room offered.
platform::ui::View ForestEmptyState(const std::string& symbol, const std::string& title, const std::string& detail);

}  // namespace tidewell
