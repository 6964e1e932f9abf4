#include <ctime>

#include <gtest/gtest.h>

#include "Platform/foundation/TemporaryDirectory.h"
#include "projects/ActivityTimeline.h"

using namespace tidewell;

namespace {

OperationDTO op(std::string id, std::int64_t t, std::optional<std::string> path, bool preview,
                std::uint64_t bytes = 1000) {
    OperationDTO o;
    o.id = std::move(id);
    o.timestamp_unix = t;
    o.project_path = std::move(path);
    o.dry_run = preview;
    o.bytes_reclaimed = bytes;
    return o;
}
OperationDTO clean(std::string id, std::int64_t t, std::optional<std::string> path = "/home/a/app") {
    return op(std::move(id), t, std::move(path), false);
}
OperationDTO dry(std::string id, std::int64_t t, std::optional<std::string> path = "/home/a/app") {
    return op(std::move(id), t, std::move(path), true);
}

// A clean whose only folder could not move.
OperationDTO failedClean(std::string id, std::int64_t t) {
    auto o = op(std::move(id), t, "/home/a/app", false, 0);
    o.items = {{CleanItemDTO{"/home/a/app/node_modules", 5'000, "caution", false, "cannot be moved"}}};
    return o;
}

// Each session as "cleanup+preview", an empty side for a missing one.
std::vector<std::string> pairs(const std::vector<ActivitySession>& sessions) {
    std::vector<std::string> out;
    for (const auto& s : sessions) out.push_back((s.cleanup ? s.cleanup->id : "") + "+" + (s.preview ? s.preview->id : ""));
    return out;
}

// Local time pinned to a zone for the test's length.
class InZone {
public:
    explicit InZone(const char* zone) : tz_("TZ", zone) { tzset(); }
    ~InZone() { tzset(); }

private:
    testing_support::ScopedEnvironment tz_;
};

std::int64_t utc(int y, int mo, int d, int h, int mi, int s = 0) {
    std::tm tm{};
    tm.tm_year = y - 1900, tm.tm_mon = mo - 1, tm.tm_mday = d, tm.tm_hour = h, tm.tm_min = mi, tm.tm_sec = s;
    return timegm(&tm);
}

constexpr std::int64_t T = 1'796'558'400;  // 2026-12-06 12:00 UTC, a Sunday

}  // namespace

TEST(ActivitySessions, PairingTable) {
    struct Case {
        const char* what;
        std::vector<OperationDTO> ops;
        std::vector<std::string> sessions;
    };
    const Case cases[] = {
        {"nothing", {}, {}},
        {"180 s apart pair", {clean("c", T), dry("p", T - 180)}, {"c+p"}},
        {"181 s apart do not", {clean("c", T), dry("p", T - 181)}, {"c+", "+p"}},
        {"a preview after its clean", {dry("p", T + 30), clean("c", T)}, {"c+p"}},
        {"the nearer of two previews", {clean("c", T), dry("p40", T - 40), dry("p20", T - 20)}, {"c+p20", "+p40"}},
        {"equal distances: the later", {dry("after", T + 60), clean("c", T), dry("before", T - 60)},
         {"c+after", "+before"}},
        {"the newer clean takes the preview first", {clean("new", T + 100), clean("old", T), dry("p", T - 50)},
         {"new+p", "old+"}},
        {"no path or an empty one never pairs",
         {clean("none", T, std::nullopt), clean("empty", T - 1, ""), dry("p", T - 2), dry("q", T - 3, std::nullopt),
          dry("r", T - 4, "")},
         {"none+", "empty+", "+p", "+q", "+r"}},
        {"standardised paths pair", {clean("c", T, "/home/a/app"), dry("p", T - 5, "/home/a/./app/")}, {"c+p"}},
        {"letter case differs", {clean("c", T, "/home/a/App"), dry("p", T - 5, "/home/a/app")}, {"c+", "+p"}},
        {"other projects do not pair", {clean("c", T, "/home/a/app"), dry("p", T - 5, "/home/a/app2")}, {"c+", "+p"}},
        {"a repeated id takes part once", {clean("x", T), dry("x", T - 5), clean("x", T - 10), dry("y", T - 20)},
         {"x+y"}},
        {"equal times: the clean's session first", {dry("p", T, "/other"), clean("c", T)}, {"c+", "+p"}},
        {"a clean that moved nothing is no entry; its preview stands alone",
         {failedClean("failed", T), dry("p", T - 5)}, {"+p"}},
        {"extreme times neither overflow nor pair",
         {clean("max", INT64_MAX), dry("min", INT64_MIN), clean("min2", INT64_MIN + 181), dry("near", INT64_MAX - 180)},
         {"max+near", "min2+", "+min"}},
    };
    for (const auto& c : cases) EXPECT_EQ(pairs(activitySessions(c.ops)), c.sessions) << c.what;
    EXPECT_EQ(ActivitySession{}.id(), "session");
}

TEST(ActivityDays, GroupByLocalDayAcrossMidnightAndZones) {
    // A clean at 23:59:30 UTC with its preview 70 s later, past midnight.
    const std::vector<OperationDTO> ops = {
        dry("late", utc(2026, 12, 6, 0, 0, 40)),       clean("c", utc(2026, 12, 5, 23, 59, 30)),
        op("big", utc(2026, 12, 5, 10, 0), "/x", false, 5'000), dry("only", utc(2026, 12, 3, 9, 0), "/y"),
        op("zero", utc(2026, 12, 3, 9, 0), "/z", false, 0),
    };
    const auto summary = [](const std::vector<ActivityDay>& days) {
        std::vector<std::pair<std::string, std::uint64_t>> out;
        for (const auto& d : days) {
            std::string ids = activityDateFormatter().string(d.start) + ":";
            for (const auto& s : d.sessions) ids += " " + s.id();
            out.emplace_back(ids, d.totalBytes());
        }
        return out;
    };
    {
        InZone zone("UTC");
        using Days = std::vector<std::pair<std::string, std::uint64_t>>;
        EXPECT_EQ(summary(activityDays(ops)),
                  (Days{{"5 Dec 2026: c big", 6'000}, {"3 Dec 2026: zero only", 0}}));
        EXPECT_EQ(activityDays(ops).front().id(), double(utc(2026, 12, 5, 0, 0)));
    }
    {
        // Nine hours ahead, the clean falls on the 6th and the morning clean stays on the 5th.
        InZone zone("Asia/Tokyo");
        using Days = std::vector<std::pair<std::string, std::uint64_t>>;
        EXPECT_EQ(summary(activityDays(ops)),
                  (Days{{"6 Dec 2026: c", 1'000}, {"5 Dec 2026: big", 5'000}, {"3 Dec 2026: zero only", 0}}));
    }
    {
        // Ten hours behind, the 3rd's sessions fall on the 2nd.
        InZone zone("Pacific/Honolulu");
        EXPECT_EQ(activityDateFormatter().string(activityDays(ops).back().start), "2 Dec 2026");
    }
    EXPECT_TRUE(activityDays({}).empty());
}

TEST(ActivityDays, TimesOutsideTheCalendarFormDaysOfTheirOwnWithAFixedLabel) {
    InZone zone("UTC");
    const auto days = activityDays({clean("far", INT64_MAX), clean("now", T), dry("past", INT64_MIN)});
    ASSERT_EQ(days.size(), 3u);
    EXPECT_EQ(days[0].start, INT64_MAX);
    EXPECT_EQ(days[2].start, INT64_MIN);
    EXPECT_EQ(dayHeaderLabel(days[0].start, T), "UNKNOWN DATE");
    EXPECT_EQ(rowDateLabel(INT64_MIN, T), "Unknown date");
    EXPECT_EQ(activityDateFormatter().string(INT64_MAX), "Unknown date");
    EXPECT_EQ(activityTimeFormatter().string(-62'200'000'000), "Unknown date");
}

TEST(ActivityLabels, TodayYesterdayAndDatesInEnglishInTheLocalZone) {
    InZone zone("America/New_York");  // T is 7:00 AM on Sunday 6 Dec there
    struct Case {
        std::int64_t date;
        const char* header;
        const char* row;
    };
    const Case cases[] = {
        {T, "TODAY", "Today"},
        {utc(2026, 12, 6, 5, 0), "TODAY", "Today"},  // 00:00 local
        {utc(2026, 12, 6, 4, 59), "YESTERDAY", "Yesterday"},
        {T - 3 * 86'400, "THURSDAY", "3 Dec"},
        {T + 86'400, "MONDAY", "7 Dec"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dayHeaderLabel(c.date, T), c.header) << c.date;
        EXPECT_EQ(rowDateLabel(c.date, T), c.row) << c.date;
    }
    EXPECT_EQ(activityTimeFormatter().string(utc(2026, 12, 6, 20, 7)), "3:07 PM");
    EXPECT_EQ(activityTimeFormatter().string(utc(2026, 12, 6, 5, 0)), "12:00 AM");
    EXPECT_EQ(activityDateFormatter().string(T), "6 Dec 2026");
}
