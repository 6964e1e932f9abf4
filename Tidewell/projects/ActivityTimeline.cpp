#include "projects/ActivityTimeline.h"

#include <algorithm>
#include <ctime>
#include <numeric>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "foundation/Formatters.h"
#include "foundation/Paths.h"

namespace tidewell {

namespace {

constexpr std::uint64_t kPairingWindow = 180;  // seconds; 180 pairs, 181 does not

// |a − b| without overflow: the true difference always fits in 64 unsigned bits.
std::uint64_t distance(std::int64_t a, std::int64_t b) {
    return a >= b ? static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b)
                  : static_cast<std::uint64_t>(b) - static_cast<std::uint64_t>(a);
}

// Most stored paths are already standard; only those that might change pay
// for the full clean-up.
std::string standardized(const std::string& path) {
    const bool clean = path.front() != '~' && path.back() != '/' && path.find("//") == std::string::npos &&
                       path.find("/.") == std::string::npos && path.front() != '.';
    return clean ? path : platform::standardizePath(path);
}

OperationDTO withoutItems(const OperationDTO& op) {
    OperationDTO copy;
    copy.id = op.id;
    copy.timestamp_unix = op.timestamp_unix;
    copy.project_path = op.project_path;
    copy.bytes_reclaimed = op.bytes_reclaimed;
    copy.dry_run = op.dry_run;
    return copy;
}

void sortNewestFirst(std::vector<ActivitySession>& sessions) {
    std::stable_sort(sessions.begin(), sessions.end(), [](const ActivitySession& a, const ActivitySession& b) {
        return a.sessionTime() > b.sessionTime();
    });
}

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::int64_t currentTime() { return static_cast<std::int64_t>(std::time(nullptr)); }

// "Today", "Yesterday" or none, by the local calendar; `unknown` outside it.
enum class RecentDay { today, yesterday, earlier, unknown };
RecentDay recentDay(std::int64_t date, std::int64_t now) {
    const auto day = platform::startOfLocalDay(date);
    if (!day) return RecentDay::unknown;
    if (day == platform::startOfLocalDay(now)) return RecentDay::today;
    if (day == platform::startOfLocalDay(now, -1)) return RecentDay::yesterday;
    return RecentDay::earlier;
}

}  // namespace

std::string ActivitySession::id() const {
    if (cleanup) return cleanup->id;
    if (preview) return preview->id;
    return "session";
}

std::int64_t ActivitySession::sessionTime() const {
    if (cleanup) return cleanup->timestamp_unix;
    if (preview) return preview->timestamp_unix;
    return 0;
}

std::uint64_t ActivityDay::totalBytes() const {
    std::uint64_t total = 0;
    for (const auto& session : sessions)
        if (session.cleanup) total = platform::saturatingAdd(total, session.cleanup->bytes_reclaimed);
    return total;
}

std::optional<std::string> presentPath(const std::optional<std::string>& path) {
    if (!path || path->empty()) return std::nullopt;
    return path;
}

std::vector<ActivitySession> activitySessions(const std::vector<OperationDTO>& operations) {
    // Positions in the newest-first order; equal times keep the input's order.
    std::vector<std::size_t> sorted(operations.size());
    std::iota(sorted.begin(), sorted.end(), std::size_t{0});
    std::stable_sort(sorted.begin(), sorted.end(), [&](std::size_t a, std::size_t b) {
        return operations[a].timestamp_unix > operations[b].timestamp_unix;
    });

    // The previews of each standardised path, in sorted order (so newest first).
    // Looking a clean's partners up here, instead of walking the whole list for
    // every clean, gives the same choice: candidates are met in the same order.
    std::unordered_map<std::string, std::vector<std::size_t>> previewsByPath;
    for (std::size_t index : sorted) {
        const OperationDTO& op = operations[index];
        if (op.dry_run && presentPath(op.project_path)) previewsByPath[standardized(*op.project_path)].push_back(index);
    }

    std::unordered_set<std::string_view> taken;
    std::vector<ActivitySession> sessions;
    for (std::size_t index : sorted) {
        const OperationDTO& cleanup = operations[index];
        if (cleanup.dry_run || !taken.insert(cleanup.id).second) continue;
        ActivitySession session;
        session.cleanup = withoutItems(cleanup);
        if (presentPath(cleanup.project_path)) {
            const auto group = previewsByPath.find(standardized(*cleanup.project_path));
            if (group != previewsByPath.end()) {
                const std::int64_t t = cleanup.timestamp_unix;
                const std::int64_t latest = platform::saturatingAdd(t, std::int64_t{kPairingWindow});
                const auto& candidates = group->second;
                // First preview at or before the window's newest edge.
                auto it = std::partition_point(candidates.begin(), candidates.end(), [&](std::size_t i) {
                    return operations[i].timestamp_unix > latest;
                });
                std::optional<std::size_t> best;
                std::uint64_t bestDistance = 0;
                for (; it != candidates.end(); ++it) {
                    const OperationDTO& preview = operations[*it];
                    const std::uint64_t d = distance(preview.timestamp_unix, t);
                    if (preview.timestamp_unix < t && d > kPairingWindow) break;
                    if (d > kPairingWindow || taken.count(preview.id)) continue;
                    if (!best || d < bestDistance) best = *it, bestDistance = d;
                }
                if (best) {
                    taken.insert(operations[*best].id);
                    session.preview = withoutItems(operations[*best]);
                }
            }
        }
        sessions.push_back(std::move(session));
    }
    for (std::size_t index : sorted) {
        const OperationDTO& preview = operations[index];
        if (!preview.dry_run || !taken.insert(preview.id).second) continue;
        ActivitySession session;
        session.preview = withoutItems(preview);
        sessions.push_back(std::move(session));
    }
    sortNewestFirst(sessions);
    return sessions;
}

std::vector<ActivityDay> activityDays(const std::vector<OperationDTO>& operations) {
    std::vector<ActivityDay> days;
    std::unordered_map<std::int64_t, std::size_t> dayOfStart;
    // Sessions come newest first, so neighbours mostly share a day: the last
    // day's bounds [dayStart, dayEnd) save a calendar lookup per session.
    std::int64_t dayStart = 1, dayEnd = 0;
    for (auto& session : activitySessions(operations)) {
        const std::int64_t t = session.sessionTime();
        std::int64_t start = t;
        if (t >= dayStart && t < dayEnd) {
            start = dayStart;
        } else if (const auto midnight = platform::startOfLocalDay(t)) {
            start = *midnight;
            const auto next = platform::startOfLocalDay(t, 1);
            dayStart = start, dayEnd = next.value_or(start);
        }
        auto [found, added] = dayOfStart.try_emplace(start, days.size());
        if (added) days.push_back(ActivityDay{start, {}});
        days[found->second].sessions.push_back(std::move(session));
    }
    std::sort(days.begin(), days.end(), [](const ActivityDay& a, const ActivityDay& b) { return a.start > b.start; });
    for (auto& day : days) sortNewestFirst(day.sessions);
    return days;
}

std::string dayHeaderLabel(std::int64_t date) { return dayHeaderLabel(date, currentTime()); }

std::string dayHeaderLabel(std::int64_t date, std::int64_t now) {
    switch (recentDay(date, now)) {
    case RecentDay::today: return "TODAY";
    case RecentDay::yesterday: return "YESTERDAY";
    case RecentDay::unknown: return upper(activityUnknownDate);
    case RecentDay::earlier: break;
    }
    return upper(ActivityDateFormatter("EEEE").string(date));
}

std::string rowDateLabel(std::int64_t date) { return rowDateLabel(date, currentTime()); }

std::string rowDateLabel(std::int64_t date, std::int64_t now) {
    switch (recentDay(date, now)) {
    case RecentDay::today: return "Today";
    case RecentDay::yesterday: return "Yesterday";
    case RecentDay::unknown: return activityUnknownDate;
    case RecentDay::earlier: break;
    }
    return ActivityDateFormatter("d MMM").string(date);
}

std::string ActivityDateFormatter::string(std::int64_t date) const {
    return platform::formatDatePattern(date, pattern_).value_or(activityUnknownDate);
}

const ActivityDateFormatter& activityTimeFormatter() {
    static const ActivityDateFormatter formatter("h:mm a");
    return formatter;
}

const ActivityDateFormatter& activityDateFormatter() {
    static const ActivityDateFormatter formatter("d MMM yyyy");
    return formatter;
}

}  // namespace tidewell
