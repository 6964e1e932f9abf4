#pragma once
// The timed rules of the store as pure functions of their inputs: when a
// scheduled scan is due, which projects the end-of-day clean takes, and the
// local day and hour the end-of-day check reads.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/EngineRecords.h"
#include "runtime/Clock.h"

namespace tidewell {

// Due when at least `hours` hours passed since the last scan (none: never scanned).
bool scheduleIsDue(platform::TimePoint now, std::optional<std::int64_t> lastScanUnix, std::int64_t hours);
// "every 8h".
std::string scheduleReason(std::int64_t hours);

// Idle, not active, not pinned, something to reclaim.
bool qualifiesForAutomaticClean(const ProjectDTO& project);
// The qualifying projects, largest reclaimable first, ties in dashboard order.
std::vector<ProjectDTO> automaticCleanProjects(const std::optional<DashboardDTO>& dashboard);

struct LocalDay {
    int hour = 0;             // the hour of `now` in local time
    double startUnix = 0;     // the start of the local day, Unix seconds
};
LocalDay localDay(platform::TimePoint now);

enum class EndOfDayAction { none, automaticClean, showReview };
// What the check does at `now`: nothing before `hour` or when it already acted
// on this day; the automatic clean when it is on and a project qualifies;
// else the review when the dashboard has idle projects.
EndOfDayAction endOfDayAction(const LocalDay& day, int hour, std::optional<double> shownDay, bool automaticClean,
                              const std::optional<DashboardDTO>& dashboard);

}  // namespace tidewell
