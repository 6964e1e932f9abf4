#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/EngineRecords.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// The divisor of every size bar: the largest cache's size, at least 1.
std::uint64_t globalCacheLargestSize(const std::optional<DashboardDTO>& dashboard);
// A cache's share of the largest, capped at 1.
double globalCacheBarRatio(std::uint64_t sizeBytes, std::uint64_t largest);

// The global caches section's page: one card per measured cache, in the
// engine's order; a press shows the folder. Nothing here is ever cleaned.
platform::ui::View GlobalCachesView(AppStore& store);

}  // namespace tidewell
