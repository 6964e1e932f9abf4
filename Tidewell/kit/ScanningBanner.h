#pragma once

#include <cstdint>
#include <string>

#include "ui/View.h"

namespace tidewell {

class AppStore;

// "%lld saplings · " and the scan's current message, or "Walking the grove"
// before the engine has said anything. The same wording for one sapling.
std::string scanningBannerDetail(std::int64_t projectsFound, const std::string& message);

// While the store scans: a panel with the leaf, "Growing the forest…", the
// detail line and the elapsed time. Otherwise nothing at all.
platform::ui::View ScanningBanner(const AppStore& store);

}  // namespace tidewell
