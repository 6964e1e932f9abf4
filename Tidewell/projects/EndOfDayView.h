#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/EngineRecords.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// What the review offers of the idle projects a clean may take (neither
// active nor pinned nor of a stack in `protectedStacks`, `unlisted` being the
// projects the shown dashboard leaves out): the bytes that clean moves, their
// count and the first five of them in the dashboard's order, each with the
// bytes the clean moves of it.
// With none, the review reads "Reclaim Zero KB from 0 idle projects." over
// an empty panel.
struct EndOfDayRow {
    ProjectDTO project;
    std::uint64_t bytes = 0;  // what the clean moves of it
};
struct EndOfDayOffer {
    std::uint64_t idleBytes = 0;
    std::int64_t idleCount = 0;
    std::vector<EndOfDayRow> listed;
};
std::optional<EndOfDayOffer> endOfDayOffer(const std::optional<DashboardDTO>& dashboard,
                                           const std::set<std::string>& protectedStacks = {},
                                           const std::vector<ProjectDTO>& unlisted = {});

// "Reclaim 12.4 GB from 3 idle projects." / "… from 1 idle project."
std::string endOfDaySummary(const EndOfDayOffer& offer);

// "Review & Clean": the project list narrowed to idle projects, then close.
void reviewIdleProjects(AppStore& store, const std::function<void()>& dismiss);

// The evening sheet that proposes clearing idle projects: "Remind Tomorrow"
// (Escape) only closes it; "Review & Clean" (Return) opens the idle list.
platform::ui::View EndOfDayView(AppStore& store, std::function<void()> dismiss);

}  // namespace tidewell
