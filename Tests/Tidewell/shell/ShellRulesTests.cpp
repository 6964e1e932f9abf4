// The shell's rules as tables: launch options, the tray start, URL routing,
// the top strip's widths, the pill and bell texts, the status card's month
// and the disk card's fraction.

#include <ctime>
#include <limits>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "Tidewell/core/StoreTestEnvironment.h"
#include "shell/AppDelegateRules.h"
#include "shell/GroveWidgetButton.h"
#include "shell/LaunchOptions.h"
#include "shell/SidebarStatusCard.h"
#include "shell/StartupDiskCard.h"
#include "shell/TitlebarAccessoryContainer.h"
#include "shell/TitlebarAccountControls.h"

using namespace tidewell;
using platform::ui::Size;

TEST(LaunchOptions, WindowSizeTakesTwoDecimalPiecesAtLeastTheMinimum) {
    const std::vector<std::pair<LaunchArguments, std::optional<Size>>> cases = {
        {{"tw", "--window-size", "1400x900"}, Size{1400, 900}},
        {{"tw", "--window-size", "x1400xx900x"}, Size{1400, 900}},  // empty pieces dropped
        {{"tw", "--window-size", "900.5x600"}, Size{900.5, 600}},
        {{"tw", "--window-size", "1e3x600"}, Size{1000, 600}},
        {{"tw", "--window-size", "800x900"}, std::nullopt},  // below the minimum: ignored, not clamped
        {{"tw", "--window-size", "1400x599"}, std::nullopt},
        {{"tw", "--window-size", "1400"}, std::nullopt},
        {{"tw", "--window-size", "1400x900x2"}, std::nullopt},
        {{"tw", "--window-size"}, std::nullopt},
        {{"tw", "--window-size=1400x900"}, std::nullopt},
        {{"tw", "--window-size", "infx900"}, std::nullopt},
        {{"tw", "--window-size", "1400xnan"}, std::nullopt},
        {{"tw", "--window-size", "1e999x900"}, std::nullopt},
        {{"tw", "--window-size", "0x5DCx900"}, std::nullopt},
        {{"tw", "--window-size", "1400x0x384"}, std::nullopt},
        {{"tw", "--window-size", "1400 x900"}, std::nullopt},
    };
    for (const auto& [args, expected] : cases) EXPECT_EQ(windowSizeOption(args), expected) << args.back();
    EXPECT_FALSE(parseDecimal("0x1p10"));
    EXPECT_FALSE(parseDecimal("-inf"));
}

TEST(LaunchOptions, PresentActsOnlyWhenTesting) {
    EXPECT_EQ(presentOption({"tw", "--present", "files"}), std::nullopt);
    EXPECT_EQ(presentOption({"tw", "--ui-testing", "--present", "confirm"}), PresentAction::confirm);
    EXPECT_EQ(presentOption({"tw", "--ui-testing", "--present", "endofday"}), PresentAction::endOfDay);
    EXPECT_EQ(presentOption({"tw", "--ui-testing", "--present", "share"}), std::nullopt);

    auto active = tidewell::testing::project("a", "/w/a", 10, 5);
    active.is_active = true;
    auto pinned = tidewell::testing::project("p", "/w/p", 10, 5);
    pinned.pinned = true;
    const auto empty = tidewell::testing::project("e", "/w/e", 10, 0);
    EXPECT_EQ(presentSampleProject(tidewell::testing::dashboard({active, pinned, empty})), std::nullopt);
    EXPECT_EQ(presentSampleProject(tidewell::testing::dashboard({active, tidewell::testing::project("b", "/w/b", 9, 3)}))->id, "b");
    EXPECT_EQ(presentSampleProject(std::nullopt), std::nullopt);

    const platform::ui::Point origin{40, 30};
    EXPECT_EQ(windowSizeOrigin(origin, {1400, 900}, std::nullopt), origin);
    EXPECT_EQ(windowSizeOrigin(origin, {1400, 900}, platform::ui::Rect{0, 25, 2000, 1200}),
              (platform::ui::Point{300, 175}));
}

TEST(AppDelegateRules, BackgroundStart) {
    const auto facts = [](bool uiTesting, bool onboarded, bool background, bool atLogin, bool loginItem,
                          std::optional<double> uptime) {
        return BackgroundLaunchFacts{uiTesting, onboarded, background, atLogin, loginItem, uptime};
    };
    const std::vector<std::pair<BackgroundLaunchFacts, bool>> cases = {
        {facts(false, false, true, false, false, 10), false},  // first run opens for onboarding
        {facts(false, true, true, false, false, 1e6), true},
        {facts(true, true, true, true, true, 10), false},
        {facts(false, true, false, true, false, 1e6), true},  // the session's autostart marker
        {facts(false, true, false, false, true, 120), true},
        {facts(false, true, false, false, true, 200), false},
        {facts(false, true, false, false, true, std::nullopt), false},
        {facts(false, true, false, false, false, 10), false},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(isBackgroundLaunch(cases[i].first), cases[i].second) << i;
    EXPECT_EQ(parseUptime("123.45 678.9\n"), 123.45);
    EXPECT_EQ(parseUptime(""), std::nullopt);
    EXPECT_TRUE(isMainWindow("main", "") && isMainWindow("", "Tidewell"));
    EXPECT_FALSE(isMainWindow("settings", "Settings"));
}

TEST(AppDelegateRules, OnlyExactTidewellLinksAct) {
    const std::string longCode = "tidewell://activate?code=" + std::string(maxOpenedURLLength, 'a');
    using Route = OpenedURLRoute;
    const std::vector<std::pair<std::vector<std::string>, Route>> cases = {
        {{"tidewell://share", "tidewell://share/"}, Route{{}, true}},
        {{"Tidewell://share"}, Route{}},
        {{"tidewell://SHARE", "tidewell://sharebox", "tidewell:share", "https://share"}, Route{}},
        {{"tidewell://activate?code=abc"}, Route{{"tidewell://activate?code=abc"}, false}},
        {{"tidewell://activate?from=app&code=x#f", "tidewell://share?x"},
         Route{{"tidewell://activate?from=app&code=x#f"}, true}},
        {{"tidewell://activate?code=", "tidewell://activate", "tidewell://activated?code=1", longCode}, Route{}},
        {{"tidewell://activate?from=app#code=x", "tidewell://activate#?code=x", "tidewell://activate?xcode=1"}, Route{}},
    };
    for (const auto& [urls, expected] : cases) EXPECT_EQ(routeOpenedURLs(urls), expected) << urls.front();
}

TEST(TitlebarControls, Texts) {
    EXPECT_EQ(bellAccessibilityLabel(0), "Notifications");
    EXPECT_EQ(bellAccessibilityLabel(2), "Notifications, 2 new");
    EXPECT_EQ(grovePillText(true, 0, 4), "Scanning 0");
    EXPECT_EQ(grovePillText(false, 7, std::nullopt), "Scan");
    EXPECT_EQ(grovePillText(false, 0, 1), "1 project");
    EXPECT_EQ(grovePillText(false, 0, 0), "0 projects");
}

// The strip of the titlebar controls: never shorter than 32, the controls or
// the titlebar area; the controls centred on a whole point.
TEST(TitlebarControls, TheStripIsAtLeastItsAreaAndCentresOnWholePoints) {
    EXPECT_EQ((TitlebarAccessoryContainer{20, 0}.height()), 32);
    EXPECT_EQ((TitlebarAccessoryContainer{28, 40}.height()), 40);
    EXPECT_EQ((TitlebarAccessoryContainer{52, 40}.height()), 52);
    EXPECT_EQ((TitlebarAccessoryContainer{28, 40}.centerSubviewsVertically(28)), 6);
    EXPECT_EQ((TitlebarAccessoryContainer{28, 33}.centerSubviewsVertically(28)), 3) << "an odd difference of 5 gives 3";
    EXPECT_EQ((TitlebarAccessoryContainer{40, 0}.centerSubviewsVertically(40)), 0);
}

TEST(SidebarStatusCard, MonthRules) {
    const std::int64_t start = 1'700'000'000;
    using tidewell::testing::operation;
    auto nothingMoved = operation("6", start + 70, 0, false, "/w/d");
    nothingMoved.items = {{CleanItemDTO{"/w/d/build", 10, "safe", false, "/w/d/build: Permission denied"}}};
    const std::vector<OperationDTO> ops = {
        operation("1", start, 100, false, "/w/a"),
        operation("2", start + 50, 200, false, "/w/a"),
        operation("3", start + 60, 400, true, "/w/b"),   // a dry run never counts
        operation("4", start - 1, 800, false, "/w/c"),   // last month
        operation("5", start + 9'999'999, 1000, false),  // in the future, no path
        nothingMoved,                                    // an attempt, not a clean
    };
    std::vector<std::string> ids;
    for (const auto& op : monthCleans(ops, start)) ids.push_back(op.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"1", "2", "5"})) << "this month's cleans, in their stored order";
    EXPECT_EQ(monthCleaning(monthCleans(ops, start)), (MonthCleaning{1300, 1}));
    // The cleans the database records join the history's, each once; a
    // history entry the database lacks still counts.
    const auto joined = withRecordedCleans({operation("1", start, 100, false, "/w/a"), operation("h", start, 3, false, "/w/h")},
                                           {operation("1", start, 100, false, "/w/a"), operation("d", start, 20, false, "/w/d")});
    EXPECT_EQ(monthCleaning(monthCleans(joined, start)), (MonthCleaning{123, 3}));
    EXPECT_EQ(monthCleaning({operation("x", start, std::numeric_limits<std::uint64_t>::max()), operation("y", start, 5)})
                  .freedBytes,
              std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(monthLine({0, 0}), "Nothing cleaned yet this month");
    EXPECT_EQ(monthLine({10, 0}), "This month: 0 projects cleaned");
    EXPECT_EQ(monthLine({10, 1}), "This month: 1 project cleaned");
    EXPECT_EQ(monthLine({10, 3}), "This month: 3 projects cleaned");

    EXPECT_FALSE(statusCardPresent(true, 10, true, true));
    EXPECT_FALSE(statusCardPresent(false, 0, false, false));
    EXPECT_TRUE(statusCardPresent(false, 0, true, false));
    EXPECT_TRUE(statusCardPresent(false, 0, false, true));
    EXPECT_TRUE(statusCardPresent(false, 1, false, false));

    const std::time_t now = 1'765'000'000;  // early December 2025
    std::tm local{};
    const std::time_t monthStart = std::time_t(monthStartUnix(now));
    localtime_r(&monthStart, &local);
    EXPECT_EQ(local.tm_mday, 1);
    EXPECT_EQ(local.tm_hour + local.tm_min + local.tm_sec, 0);
    EXPECT_LE(monthStart, now);
    // Local midnight of the 1st also with a daylight-saving change between it and now.
    for (const auto& [zone, at, first] : std::vector<std::tuple<const char*, std::int64_t, std::int64_t>>{
             {"America/New_York", 1'763'658'000, 1'761'969'600},  // Nov 20 2025; standard time from the 2nd
             {"America/New_York", 1'774'022'400, 1'772'341'200},  // Mar 20 2026; summer time from the 8th
             {"Europe/Berlin", 1'774'864'800, 1'772'319'600},     // Mar 30 2026; summer time from the 29th
             {"Australia/Sydney", 1'760'490'000, 1'759'240'800},  // Oct 15 2025; summer time from the 5th
         }) {
        testing_support::ScopedEnvironment tz("TZ", zone);
        tzset();
        EXPECT_EQ(monthStartUnix(at), first) << zone << " " << at;
    }
    tzset();
    EXPECT_EQ(autoCleanTimeText(std::nullopt, now), "6:00 PM");
    EXPECT_EQ(autoCleanTimeText(7, now), "7:00 AM");
    std::tm afternoon = local;  // 14:25 on the first of the month
    afternoon.tm_hour = 14;
    afternoon.tm_min = 25;
    afternoon.tm_isdst = -1;
    EXPECT_EQ(autoCleanTimeText(25, std::mktime(&afternoon)), "2:25 PM") << "no such hour: the present time";
}

TEST(StartupDiskCard, UsedFractionAndAlmostFull) {
    const std::vector<std::tuple<std::int64_t, std::int64_t, double, bool>> cases = {
        {0, 0, 0, false},          {-5, 10, 0, false},     {1000, 2000, 0, false},
        {1000, 100, 0.9, true},    {10000, 1001, 0.8999, false}, {1000, -500, 1, true},
        {std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min(), 1, true},
    };
    for (const auto& [total, remaining, fraction, full] : cases) {
        EXPECT_DOUBLE_EQ(usedFraction(total, remaining), fraction) << total << " " << remaining;
        EXPECT_EQ(isDiskAlmostFull(usedFraction(total, remaining)), full) << total << " " << remaining;
    }
    EXPECT_EQ(usageBarFillWidth(200, 0), 4);
    EXPECT_EQ(usageBarFillWidth(200, 1), 200);
    EXPECT_EQ(accessibilitySummary("Data", 500'000'000'000, 120'000'000'000), "Data, 120 GB remaining of 500 GB total");
}
