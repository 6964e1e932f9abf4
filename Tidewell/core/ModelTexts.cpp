#include "core/ModelTexts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <mutex>
#include <optional>
#include <set>

#include <QStorageInfo>

#include "foundation/Formatters.h"
#include "foundation/Paths.h"
#include "runtime/Clock.h"

namespace tidewell {

std::string relativeTimeText(std::chrono::system_clock::time_point now, std::int64_t lastActivityUnix) {
    if (lastActivityUnix < 1) return "Not used yet";
    double age = platform::secondsSince1970(now) - static_cast<double>(lastActivityUnix);
    if (!(age > 0)) age = 0;
    struct Unit {
        double below;
        double size;
        const char* word;
        bool plural;
    };
    static constexpr Unit units[] = {
        {3600, 60, " min", false},          {86400, 3600, " hr", false},
        {604800, 86400, "day", true},       {2592000, 604800, "week", true},
        {31536000, 2592000, "month", true}, {std::numeric_limits<double>::infinity(), 31536000, "year", true}};
    for (const auto& u : units) {
        if (age >= u.below) continue;
        auto count = static_cast<long long>(std::trunc(age / u.size));
        if (count < 1) count = 1;
        if (!u.plural) return std::to_string(count) + u.word + " ago";
        return std::to_string(count) + " " + u.word + (count == 1 ? "" : "s") + " ago";
    }
    return "Not used yet";  // not reached: the last unit has no bound
}

std::string lastScanLabel(std::int64_t scannedAtUnix) {
    if (scannedAtUnix <= 0) return "Never";
    return platform::formatRelativeDateTime(platform::fromUnixSeconds(scannedAtUnix), platform::now());
}

std::string formatElapsed(double seconds) {
    // Callers pass a running scan's elapsed time; anything else reads as zero.
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    if (seconds > 9.2e18) seconds = 9.2e18;
    const auto whole = static_cast<std::int64_t>(seconds);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%lld:%02lld", static_cast<long long>(whole / 60),
                  static_cast<long long>(whole % 60));
    return buffer;
}

std::string rootVolumeDisplayName() {
    // Read once: the start-up reads it off the main actor before any page
    // names "/", so no redraw asks the root filesystem again.
    static std::mutex mutex;
    static std::optional<std::string> known;
    {
        std::lock_guard lock(mutex);
        if (known) return *known;
    }
    QStorageInfo root(QStringLiteral("/"));
    auto label = root.isValid() ? root.name().toStdString() : std::string();
    if (label.empty()) label = "File System";
    std::lock_guard lock(mutex);
    if (!known) known = label;
    return *known;
}

std::string scanRootDisplayName(const std::string& path) {
    const auto standardized = platform::standardizePath(path);
    if (standardized == "/") return rootVolumeDisplayName();
    if (platform::isOtherVolumePath(standardized)) {
        auto last = platform::lastPathComponent(path);
        return last.empty() ? path : last;
    }
    const auto home = platform::homeDirectory();
    if (!home.empty() && home != "/") {
        if (path == home) return "~";
        if (path.size() > home.size() && path.compare(0, home.size(), home) == 0 && path[home.size()] == '/')
            return "~" + path.substr(home.size());
    }
    return path;
}

bool movedSomething(const OperationDTO& operation) {
    if (operation.dry_run) return false;
    if (!operation.items) return true;
    return std::any_of(operation.items->begin(), operation.items->end(), [](const CleanItemDTO& i) { return i.success; });
}

std::uint64_t totalReclaimedBytes(const std::vector<OperationDTO>& history) {
    std::uint64_t total = 0;
    for (const auto& op : history)
        if (!op.dry_run) total = platform::saturatingAdd(total, op.bytes_reclaimed);
    return total;
}

std::vector<OperationDTO> withRecordedCleans(const std::vector<OperationDTO>& history,
                                             const std::vector<OperationDTO>& recorded) {
    std::vector<OperationDTO> all = history;
    std::set<std::string> ids;
    for (const auto& op : history) ids.insert(op.id);
    for (const auto& op : recorded)
        if (ids.insert(op.id).second) all.push_back(op);
    return all;
}

std::int64_t monthStartUnix(std::int64_t now) {
    const std::time_t t = std::time_t(now);
    std::tm local{};
    if (localtime_r(&t, &local)) {
        local.tm_mday = 1;
        local.tm_hour = local.tm_min = local.tm_sec = 0;
        local.tm_isdst = -1;
        const std::time_t start = std::mktime(&local);
        if (start != std::time_t(-1)) return std::int64_t(start);
    }
    return platform::startOfLocalDay(now).value_or(now);
}

}  // namespace tidewell
