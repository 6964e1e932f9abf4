#pragma once
// Byte counts, dates and relative dates in US English, and saturating sums.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// File style, decimal units: "Zero KB", "1 byte", "999 bytes", "12 KB",
// "1.5 MB", "1.23 GB"; KB without decimals, MB with at most one, GB and up
// with at most two; rounded half-up, rolling over into the next unit.
std::string formatByteCount(std::uint64_t bytes);

// "Dec 6, 2026 at 5:02 PM" in local time.
std::string formatDateTime(std::chrono::system_clock::time_point date);

// "now" under one second; else the largest whole unit, truncated:
// "3 minutes ago", "1 day ago", "in 2 weeks". Months and years are calendar
// months and years in local time.
std::string formatRelativeDateTime(std::chrono::system_clock::time_point date,
                                   std::chrono::system_clock::time_point relativeTo);

// The calendar of the date texts: local time, years 1 to 9999. Dates are Unix
// seconds, so no conversion can overflow; outside that range both give none.
// Midnight (local) of the day holding `unixSeconds`, moved by `dayOffset` days.
std::optional<std::int64_t> startOfLocalDay(std::int64_t unixSeconds, int dayOffset = 0);
// `unixSeconds` in local time through a fixed US English pattern: "h" (1-12),
// "mm", "a" (AM/PM), "d", "MMM" (Dec), "yyyy", "EEEE" (Monday); other
// characters stand for themselves.
std::optional<std::string> formatDatePattern(std::int64_t unixSeconds, std::string_view pattern);

// a + b, or the largest value instead of wrapping.
constexpr std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t sum = a + b;
    return sum < a ? UINT64_MAX : sum;
}
std::int64_t saturatingAdd(std::int64_t a, std::int64_t b);

}  // namespace platform
