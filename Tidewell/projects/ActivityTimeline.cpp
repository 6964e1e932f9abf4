#include "projects/ActivityTimeline.h"

#include <algorithm>
#include <ctime>
#include <deque>
#include <numeric>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "core/ModelTexts.h"
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

OperationDTO withoutItems(const OperationDTO& op) {
    OperationDTO copy;
    copy.id = op.id;
    copy.timestamp_unix = op.timestamp_unix;
    copy.project_path = op.project_path;
    copy.bytes_reclaimed = op.bytes_reclaimed;
    copy.dry_run = op.dry_run;
    return copy;
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

bool mayNeedStandardizing(std::string_view path) {
    return !path.empty() && (path.front() == '~' || path.front() == '.' || path.back() == '/' ||
                             path.find("//") != std::string_view::npos || path.find("/.") != std::string_view::npos);
}

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

namespace {

// A session as positions in the operations (none = -1), so pairing and
// sorting move small values and each session is copied out once at the end.
struct SessionRef {
    std::int64_t time = 0;
    std::ptrdiff_t cleanup = -1;
    std::ptrdiff_t preview = -1;
};

std::vector<SessionRef> pairOperations(const std::vector<OperationDTO>& operations) {
    // Positions in the newest-first order; equal times keep the input's order.
    std::vector<std::size_t> sorted(operations.size());
    std::iota(sorted.begin(), sorted.end(), std::size_t{0});
    std::stable_sort(sorted.begin(), sorted.end(), [&](std::size_t a, std::size_t b) {
        return operations[a].timestamp_unix > operations[b].timestamp_unix;
    });

    // The previews of each standardised path, in sorted order (so newest first).
    // Looking a clean's partners up here, instead of walking the whole list for
    // every clean, gives the same choice: candidates are met in the same order.
    std::deque<std::string> rewritten;  // standardised paths that differ from the stored ones
    const auto key = [&](const std::string& path) -> std::string_view {
        if (!mayNeedStandardizing(path)) return path;
        return rewritten.emplace_back(platform::standardizePath(path));
    };
    std::unordered_map<std::string_view, std::vector<std::size_t>> previewsByPath;
    for (std::size_t index : sorted) {
        const OperationDTO& op = operations[index];
        if (op.dry_run && presentPath(op.project_path)) previewsByPath[key(*op.project_path)].push_back(index);
    }

    std::unordered_set<std::string_view> taken;
    taken.reserve(operations.size());
    std::vector<SessionRef> sessions;
    sessions.reserve(operations.size());
    for (std::size_t index : sorted) {
        const OperationDTO& cleanup = operations[index];
        // An attempt that moved nothing is no clean: it has no entry of its own.
        if (!movedSomething(cleanup) || !taken.insert(cleanup.id).second) continue;
        SessionRef session{cleanup.timestamp_unix, static_cast<std::ptrdiff_t>(index), -1};
        const auto group = presentPath(cleanup.project_path) ? previewsByPath.find(key(*cleanup.project_path))
                                                             : previewsByPath.end();
        if (group != previewsByPath.end()) {
            const std::int64_t t = cleanup.timestamp_unix;
            const std::int64_t latest = platform::saturatingAdd(t, std::int64_t{kPairingWindow});
            const auto& candidates = group->second;
            // First preview at or before the window's newest edge.
            auto it = std::partition_point(candidates.begin(), candidates.end(),
                                           [&](std::size_t i) { return operations[i].timestamp_unix > latest; });
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
                session.preview = static_cast<std::ptrdiff_t>(*best);
            }
        }
        sessions.push_back(session);
    }
    for (std::size_t index : sorted) {
        const OperationDTO& preview = operations[index];
        if (preview.dry_run && taken.insert(preview.id).second)
            sessions.push_back({preview.timestamp_unix, -1, static_cast<std::ptrdiff_t>(index)});
    }
    std::stable_sort(sessions.begin(), sessions.end(),
                     [](const SessionRef& a, const SessionRef& b) { return a.time > b.time; });
    return sessions;
}

ActivitySession materialize(const std::vector<OperationDTO>& operations, const SessionRef& ref) {
    ActivitySession session;
    if (ref.cleanup >= 0) session.cleanup = withoutItems(operations[static_cast<std::size_t>(ref.cleanup)]);
    if (ref.preview >= 0) session.preview = withoutItems(operations[static_cast<std::size_t>(ref.preview)]);
    return session;
}

}  // namespace

std::vector<ActivitySession> activitySessions(const std::vector<OperationDTO>& operations) {
    std::vector<ActivitySession> sessions;
    const auto refs = pairOperations(operations);
    sessions.reserve(refs.size());
    for (const auto& ref : refs) sessions.push_back(materialize(operations, ref));
    return sessions;
}

std::vector<ActivityDay> activityDays(const std::vector<OperationDTO>& operations) {
    std::vector<ActivityDay> days;
    std::unordered_map<std::int64_t, std::size_t> dayOfStart;
    // Sessions come newest first, so neighbours mostly share a day: the last
    // day's bounds [dayStart, dayEnd) save a calendar lookup per session.
    // Every session keeps its newest-first place inside its day.
    std::int64_t dayStart = 1, dayEnd = 0;
    for (const auto& ref : pairOperations(operations)) {
        const std::int64_t t = ref.time;
        std::int64_t start = t;
        if (t >= dayStart && t < dayEnd) {
            start = dayStart;
        } else if (const auto midnight = platform::startOfLocalDay(t)) {
            start = *midnight;
            // A day lasts 23 to 25 hours, so 30 hours on lies in the next one.
            const auto next = platform::startOfLocalDay(platform::saturatingAdd(start, std::int64_t{30 * 3600}));
            dayStart = start, dayEnd = next.value_or(start);
        }
        auto [found, added] = dayOfStart.try_emplace(start, days.size());
        if (added) days.push_back(ActivityDay{start, {}});
        days[found->second].sessions.push_back(materialize(operations, ref));
    }
    std::sort(days.begin(), days.end(), [](const ActivityDay& a, const ActivityDay& b) { return a.start > b.start; });
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
