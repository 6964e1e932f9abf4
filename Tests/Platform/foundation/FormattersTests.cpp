#include "foundation/Formatters.h"

#include "Platform/foundation/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace platform;
using namespace std::chrono;

TEST(FormatByteCount, FileStyleTable) {
    // Half-up rounding; 999,500 rounds to 1,000 KB and rolls over to 1 MB.
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "Zero KB"}, {1, "1 byte"}, {2, "2 bytes"}, {999, "999 bytes"}, {1000, "1 KB"}, {1499, "1 KB"},
        {1500, "2 KB"}, {12'345, "12 KB"}, {999'499, "999 KB"}, {999'500, "1 MB"}, {999'999, "1 MB"},
        {1'000'000, "1 MB"}, {1'049'999, "1 MB"}, {1'050'000, "1.1 MB"}, {1'500'000, "1.5 MB"},
        {999'949'999, "999.9 MB"}, {999'950'000, "1 GB"}, {1'234'567'890, "1.23 GB"}, {1'235'000'000, "1.24 GB"},
        {2'000'000'000, "2 GB"}, {2'100'000'000, "2.1 GB"}, {999'995'000'000, "1 TB"}, {1'500'000'000'000, "1.5 TB"},
        {1'000'000'000'000'000'000ull, "1 EB"}, {UINT64_MAX, "18.45 EB"}};
    for (const auto& [bytes, text] : cases) EXPECT_EQ(formatByteCount(bytes), text) << bytes;
}

TEST(SaturatingAdd, NeverWraps) {
    EXPECT_EQ(saturatingAdd(std::uint64_t{1}, std::uint64_t{2}), 3u);
    EXPECT_EQ(saturatingAdd(UINT64_MAX - 1, std::uint64_t{1}), UINT64_MAX);
    EXPECT_EQ(saturatingAdd(UINT64_MAX, UINT64_MAX), UINT64_MAX);
    EXPECT_EQ(saturatingAdd(std::int64_t{INT64_MAX}, std::int64_t{1}), INT64_MAX);
    EXPECT_EQ(saturatingAdd(std::int64_t{INT64_MIN}, std::int64_t{-1}), INT64_MIN);
    EXPECT_EQ(saturatingAdd(std::int64_t{-5}, std::int64_t{3}), -2);
}

class LocalTimeTest : public ::testing::Test {
protected:
    // The formatters use local time; pin it so the tables hold everywhere.
    void SetUp() override { tzset(); }
    void TearDown() override { tzset(); }
    testing_support::ScopedEnvironment tz{"TZ", "UTC"};

    static system_clock::time_point utc(int y, int mo, int d, int h, int mi, int s = 0) {
        std::tm tm{};
        tm.tm_year = y - 1900, tm.tm_mon = mo - 1, tm.tm_mday = d, tm.tm_hour = h, tm.tm_min = mi, tm.tm_sec = s;
        return system_clock::from_time_t(timegm(&tm));
    }
};

TEST_F(LocalTimeTest, DateTimeAbbreviatedWithShortTimeInTheLocalZone) {
    EXPECT_EQ(formatDateTime(utc(2026, 12, 6, 17, 2)), "Dec 6, 2026 at 5:02 PM");
    EXPECT_EQ(formatDateTime(utc(2026, 1, 15, 0, 5)), "Jan 15, 2026 at 12:05 AM");
    EXPECT_EQ(formatDateTime(utc(2026, 7, 4, 12, 0)), "Jul 4, 2026 at 12:00 PM");
    EXPECT_EQ(formatDateTime(utc(1999, 12, 31, 23, 59, 59)), "Dec 31, 1999 at 11:59 PM");
    testing_support::ScopedEnvironment berlin("TZ", "Europe/Berlin");
    tzset();
    EXPECT_EQ(formatDateTime(utc(2026, 12, 6, 17, 2)), "Dec 6, 2026 at 6:02 PM");
}

TEST_F(LocalTimeTest, RelativeDateTimeTable) {
    // Units are truncated, not rounded; months and years are calendar ones
    // (Nov 6 to Dec 6 is one month; Dec 7, 2023 is not yet three years back).
    const auto now = utc(2026, 12, 6, 17, 0);
    const std::pair<system_clock::duration, const char*> cases[] = {
        {0s, "now"}, {-999ms, "now"}, {999ms, "now"}, {-1s, "1 second ago"}, {-59s, "59 seconds ago"},
        {-60s, "1 minute ago"}, {-119s, "1 minute ago"}, {-3599s, "59 minutes ago"}, {-1h, "1 hour ago"},
        {-23h - 59min, "23 hours ago"}, {-24h, "1 day ago"}, {-6 * 24h, "6 days ago"}, {-7 * 24h, "1 week ago"},
        {-27 * 24h, "3 weeks ago"}, {-30 * 24h, "1 month ago"}, {-29 * 24h, "4 weeks ago"},
        {-364 * 24h, "11 months ago"}, {-365 * 24h, "1 year ago"}, {-3 * 365 * 24h, "2 years ago"},
        {5min, "in 5 minutes"}, {1s, "in 1 second"}, {2 * 24h, "in 2 days"}, {14 * 24h, "in 2 weeks"}};
    for (const auto& [offset, text] : cases)
        EXPECT_EQ(formatRelativeDateTime(now + offset, now), text) << duration_cast<seconds>(offset).count();
}

TEST_F(LocalTimeTest, DatePatternsAndDayStartsInTheLocalZoneWithinTheCalendarsRange) {
    const auto at = [](system_clock::time_point t) { return std::int64_t{system_clock::to_time_t(t)}; };
    const std::int64_t evening = at(utc(2026, 12, 6, 15, 7));  // a Sunday
    EXPECT_EQ(formatDatePattern(evening, "h:mm a"), "3:07 PM");
    EXPECT_EQ(formatDatePattern(at(utc(2026, 12, 6, 0, 5)), "h:mm a"), "12:05 AM");
    EXPECT_EQ(formatDatePattern(evening, "d MMM yyyy"), "6 Dec 2026");
    EXPECT_EQ(formatDatePattern(evening, "EEEE"), "Sunday");
    EXPECT_EQ(startOfLocalDay(evening), at(utc(2026, 12, 6, 0, 0)));
    EXPECT_EQ(startOfLocalDay(evening, -1), at(utc(2026, 12, 5, 0, 0)));
    testing_support::ScopedEnvironment tokyo("TZ", "Asia/Tokyo");  // UTC+9: already Monday
    tzset();
    EXPECT_EQ(formatDatePattern(evening, "EEEE d MMM h:mm a"), "Monday 7 Dec 12:07 AM");
    EXPECT_EQ(startOfLocalDay(evening), at(utc(2026, 12, 6, 15, 0)));
    // Far outside the calendar, and past what localtime can hold at all.
    for (std::int64_t t : {INT64_MAX, INT64_MIN, std::int64_t{400'000'000'000}, std::int64_t{-62'200'000'000}}) {
        EXPECT_EQ(formatDatePattern(t, "d MMM yyyy"), std::nullopt) << t;
        EXPECT_EQ(startOfLocalDay(t), std::nullopt) << t;
    }
}
