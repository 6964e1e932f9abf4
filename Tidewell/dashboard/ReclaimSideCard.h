#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/EngineRecords.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// The share of the scanned bytes that can be reclaimed: 0 when nothing was
// measured, never more than 1 (the engine's sums may disagree).
double reclaimableFraction(std::uint64_t reclaimableBytes, std::uint64_t totalBytes);

// "3 projects haven’t been touched in 7+ days." (singular for exactly one).
std::string idleProjectsSentence(std::int64_t idleCount, std::int64_t idleDays);

// Opens the project list on all projects or on the idle ones only; the filter
// is written before the section, so the list opens already filtered.
void openProjects(AppStore& store, bool idleOnly);

// The dashboard card of what the last scan can reclaim: the ring, the amount,
// three small figures, the idle sentence and the two ways into the project list.
platform::ui::View ReclaimSideCard(AppStore& store, const DashboardDTO& dash, bool matchesRowHeight,
                                   std::optional<std::string> cardMarkerID);

}  // namespace tidewell
