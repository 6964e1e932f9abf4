#pragma once
// The history as a timeline: cleans paired with the preview made just before
// (or after) them, grouped into local calendar days, newest first; and the
// date texts of the timeline. Pure: no state, nothing cached.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/EngineRecords.h"

namespace tidewell {

// One entry of the timeline: a clean, a preview, or a clean and its preview.
// The operations are copies without their items, which the timeline never reads.
struct ActivitySession {
    std::optional<OperationDTO> cleanup;
    std::optional<OperationDTO> preview;

    // The cleanup's id, else the preview's, else "session".
    std::string id() const;
    // The cleanup's time, else the preview's, else 0.
    std::int64_t sessionTime() const;
    bool operator==(const ActivitySession&) const = default;
};

struct ActivityDay {
    // Local midnight of the day, in Unix seconds; a time outside the calendar
    // keeps its own time here and forms a day of its own.
    std::int64_t start = 0;
    std::vector<ActivitySession> sessions;  // never empty, newest first

    double id() const { return static_cast<double>(start); }
    // What the day's cleans moved (saturating); previews never count.
    std::uint64_t totalBytes() const;
};

// Cleans take the nearest preview of the same project within 180 s, newest
// clean first; every id takes part once; newest first.
std::vector<ActivitySession> activitySessions(const std::vector<OperationDTO>& operations);
// The sessions grouped by the local day of their time, days and sessions newest first.
std::vector<ActivityDay> activityDays(const std::vector<OperationDTO>& operations);

// Whether standardising the path could change it; most stored paths are
// already standard, and those need not pay for the clean-up.
bool mayNeedStandardizing(std::string_view path);

// A path that is present and not empty; an empty one counts as absent.
std::optional<std::string> presentPath(const std::optional<std::string>& path);

// What every date text shows for a time outside the calendar's range.
inline constexpr const char* activityUnknownDate = "Unknown date";

// "TODAY", "YESTERDAY", else the weekday in capitals ("MONDAY").
std::string dayHeaderLabel(std::int64_t date);
std::string dayHeaderLabel(std::int64_t date, std::int64_t now);
// "Today", "Yesterday", else "5 Dec".
std::string rowDateLabel(std::int64_t date);
std::string rowDateLabel(std::int64_t date, std::int64_t now);

// A date formatter with the fixed US English locale, in the current time zone.
class ActivityDateFormatter {
public:
    explicit ActivityDateFormatter(std::string pattern) : pattern_(std::move(pattern)) {}
    std::string string(std::int64_t date) const;
    const std::string& pattern() const { return pattern_; }

private:
    std::string pattern_;
};
// "h:mm a" (3:07 PM), the clock times of the rows.
const ActivityDateFormatter& activityTimeFormatter();
// "d MMM yyyy" (5 Dec 2026), the full date of a day header.
const ActivityDateFormatter& activityDateFormatter();

}  // namespace tidewell
