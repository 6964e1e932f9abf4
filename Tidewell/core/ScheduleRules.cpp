#include "core/ScheduleRules.h"

#include <algorithm>
#include <ctime>

namespace tidewell {

bool scheduleIsDue(platform::TimePoint now, std::optional<std::int64_t> lastScanUnix, std::int64_t hours) {
    if (hours <= 0) return false;
    const double last = lastScanUnix ? static_cast<double>(*lastScanUnix) : 0.0;
    return platform::secondsSince1970(now) - last >= static_cast<double>(hours) * 3600.0;
}

std::string scheduleReason(std::int64_t hours) { return "every " + std::to_string(hours) + "h"; }

bool qualifiesForAutomaticClean(const ProjectDTO& p) {
    return p.is_idle && !p.is_active && !p.pinned && p.reclaimable_bytes > 0;
}

std::vector<ProjectDTO> automaticCleanProjects(const std::optional<DashboardDTO>& dashboard) {
    std::vector<ProjectDTO> chosen;
    if (!dashboard) return chosen;
    for (const auto& p : dashboard->projects)
        if (qualifiesForAutomaticClean(p)) chosen.push_back(p);
    std::stable_sort(chosen.begin(), chosen.end(),
                     [](const ProjectDTO& a, const ProjectDTO& b) { return a.reclaimable_bytes > b.reclaimable_bytes; });
    return chosen;
}

LocalDay localDay(platform::TimePoint now) {
    const auto seconds = static_cast<std::time_t>(platform::secondsSince1970(now));
    std::tm local{};
    ::localtime_r(&seconds, &local);
    LocalDay day;
    day.hour = local.tm_hour;
    local.tm_hour = 0;
    local.tm_min = 0;
    local.tm_sec = 0;
    local.tm_isdst = -1;  // the day may start in another offset than `now`
    day.startUnix = static_cast<double>(std::mktime(&local));
    return day;
}

EndOfDayAction endOfDayAction(const LocalDay& day, int hour, std::optional<double> shownDay, bool automaticClean,
                              const std::optional<DashboardDTO>& dashboard) {
    if (day.hour < hour) return EndOfDayAction::none;
    if (shownDay && *shownDay == day.startUnix) return EndOfDayAction::none;
    if (automaticClean && !automaticCleanProjects(dashboard).empty()) return EndOfDayAction::automaticClean;
    if (dashboard && dashboard->idle_count > 0) return EndOfDayAction::showReview;
    return EndOfDayAction::none;
}

}  // namespace tidewell
