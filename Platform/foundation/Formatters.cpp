#include "foundation/Formatters.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>

namespace platform {
namespace {

__extension__ typedef unsigned __int128 Wide;

struct Unit {
    const char* name;
    Wide divisor;
    int decimals;
};

std::string withDecimals(Wide scaled, int decimals) {
    Wide factor = 1;
    for (int i = 0; i < decimals; ++i) factor *= 10;
    auto whole = static_cast<std::uint64_t>(scaled / factor);
    auto fraction = static_cast<std::uint64_t>(scaled % factor);
    std::string out = std::to_string(whole);
    if (fraction == 0) return out;
    std::string digits = std::to_string(fraction);
    digits.insert(0, static_cast<std::size_t>(decimals) - digits.size(), '0');
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    return out + "." + digits;
}

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kWeekdays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// Local time of `unixSeconds`, when it falls in the years 1 to 9999.
std::optional<std::tm> calendarTime(std::int64_t unixSeconds) {
    const std::time_t seconds = unixSeconds;
    std::tm tm{};
    if (!localtime_r(&seconds, &tm)) return std::nullopt;
    const std::int64_t year = std::int64_t{tm.tm_year} + 1900;
    if (year < 1 || year > 9999) return std::nullopt;
    return tm;
}

std::tm localTime(std::chrono::system_clock::time_point t) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
    localtime_r(&seconds, &tm);
    return tm;
}

// Whole calendar months from `earlier` to `later` (later >= earlier), local time.
std::int64_t wholeMonths(const std::tm& earlier, const std::tm& later) {
    std::int64_t months = (static_cast<std::int64_t>(later.tm_year) - earlier.tm_year) * 12 + (later.tm_mon - earlier.tm_mon);
    // The last month is complete only when the day and time of day have come round again.
    auto dayTime = [](const std::tm& t) {
        return ((static_cast<std::int64_t>(t.tm_mday) * 24 + t.tm_hour) * 60 + t.tm_min) * 60 + t.tm_sec;
    };
    if (months > 0 && dayTime(later) < dayTime(earlier)) --months;
    return months;
}

std::string counted(std::int64_t n, const char* unit) {
    return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
}

}  // namespace

std::string formatByteCount(std::uint64_t bytes) {
    if (bytes == 0) return "Zero KB";
    if (bytes == 1) return "1 byte";
    if (bytes < 1000) return std::to_string(bytes) + " bytes";
    static const Unit units[] = {
        {"KB", 1000ull, 0},
        {"MB", 1000ull * 1000, 1},
        {"GB", 1000ull * 1000 * 1000, 2},
        {"TB", 1000ull * 1000 * 1000 * 1000, 2},
        {"PB", 1000ull * 1000 * 1000 * 1000 * 1000, 2},
        {"EB", 1000ull * 1000 * 1000 * 1000 * 1000 * 1000, 2},
    };
    constexpr std::size_t count = sizeof units / sizeof units[0];
    for (std::size_t i = 0; i < count; ++i) {
        const Unit& u = units[i];
        Wide factor = 1;
        for (int d = 0; d < u.decimals; ++d) factor *= 10;
        // Rounded half-up in integers, so no binary fraction ever shows.
        Wide scaled = (static_cast<Wide>(bytes) * factor * 2 + u.divisor) / (u.divisor * 2);
        if (scaled >= 1000 * factor && i + 1 < count) continue;  // rolls over into the next unit
        return withDecimals(scaled, u.decimals) + " " + u.name;
    }
    return {};
}

std::string formatDateTime(std::chrono::system_clock::time_point date) {
    std::tm tm = localTime(date);
    int hour = tm.tm_hour % 12;
    if (hour == 0) hour = 12;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s %d, %d at %d:%02d %s", kMonths[tm.tm_mon % 12], tm.tm_mday,
                  tm.tm_year + 1900, hour, tm.tm_min, tm.tm_hour < 12 ? "AM" : "PM");
    return buffer;
}

std::string formatRelativeDateTime(std::chrono::system_clock::time_point date,
                                   std::chrono::system_clock::time_point relativeTo) {
    using namespace std::chrono;
    const bool future = date > relativeTo;
    const auto earlier = future ? relativeTo : date;
    const auto later = future ? date : relativeTo;
    const std::int64_t seconds = duration_cast<std::chrono::seconds>(later - earlier).count();
    if (seconds < 1) return "now";

    std::string text;
    const std::int64_t months = seconds >= 28 * 86400 ? wholeMonths(localTime(earlier), localTime(later)) : 0;
    if (months >= 12) text = counted(months / 12, "year");
    else if (months >= 1) text = counted(months, "month");
    else if (seconds >= 7 * 86400) text = counted(seconds / (7 * 86400), "week");
    else if (seconds >= 86400) text = counted(seconds / 86400, "day");
    else if (seconds >= 3600) text = counted(seconds / 3600, "hour");
    else if (seconds >= 60) text = counted(seconds / 60, "minute");
    else text = counted(seconds, "second");
    return future ? "in " + text : text + " ago";
}

std::optional<std::int64_t> startOfLocalDay(std::int64_t unixSeconds, int dayOffset) {
    auto tm = calendarTime(unixSeconds);
    if (!tm) return std::nullopt;
    if (dayOffset == 0) {
        // Going back by the time of day is right unless the offset changed
        // since midnight (a shift on that day); mktime settles those.
        const std::int64_t guess = unixSeconds - (tm->tm_hour * 3600 + tm->tm_min * 60 + tm->tm_sec);
        const auto midnight = calendarTime(guess);
        if (midnight && midnight->tm_mday == tm->tm_mday && midnight->tm_hour == 0 && midnight->tm_min == 0 &&
            midnight->tm_sec == 0)
            return guess;
    }
    tm->tm_hour = tm->tm_min = tm->tm_sec = 0;
    tm->tm_mday += dayOffset;
    tm->tm_isdst = -1;  // the offset in force at that midnight, not at `unixSeconds`
    errno = 0;
    const std::time_t midnight = std::mktime(&*tm);
    if (midnight == -1 && errno != 0) return std::nullopt;
    if (!calendarTime(midnight)) return std::nullopt;
    return std::int64_t{midnight};
}

std::optional<std::string> formatDatePattern(std::int64_t unixSeconds, std::string_view pattern) {
    const auto tm = calendarTime(unixSeconds);
    if (!tm) return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        std::size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c) ++run;
        char two[3];
        if (c == 'h') {
            out += std::to_string(tm->tm_hour % 12 == 0 ? 12 : tm->tm_hour % 12);
        } else if (c == 'm') {
            std::snprintf(two, sizeof two, "%02d", tm->tm_min);
            out += two;
        } else if (c == 'a') {
            out += tm->tm_hour < 12 ? "AM" : "PM";
        } else if (c == 'd') {
            out += std::to_string(tm->tm_mday);
        } else if (c == 'M') {
            out += kMonths[tm->tm_mon % 12];
        } else if (c == 'y') {
            out += std::to_string(tm->tm_year + 1900);
        } else if (c == 'E') {
            out += kWeekdays[tm->tm_wday % 7];
        } else {
            out.append(run, c);
        }
        i += run;
    }
    return out;
}

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum;
    if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? INT64_MAX : INT64_MIN;
    return sum;
}

}  // namespace platform
