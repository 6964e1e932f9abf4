#include <ctime>

#include "FlowTestSupport.h"
#include "core/ScheduleRules.h"
#include "foundation/Log.h"
#include "foundation/ProcessInfo.h"
#include "foundation/UserDefaults.h"

using namespace tidewell;
using namespace tidewell::testing;
using namespace std::chrono_literals;

namespace {
// A local time on a fixed day, as the clock's time point.
platform::TimePoint localTime(int hour, int minute, int day = 10) {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 5;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    return platform::fromUnixSeconds(static_cast<std::int64_t>(std::mktime(&t)));
}

struct Schedules : FlowFixture {
    FixedClock time{localTime(12, 0)};
    AppStore store;
    std::vector<std::string> automaticScans;
    Schedules() {
        store.didRunLaunchScan = true;
        store.pending.runAutomaticScan = [this](AppStore&, const std::string& reason) { automaticScans.push_back(reason); };
    }
    void scannedAgo(std::chrono::seconds ago) {
        const auto at = static_cast<std::int64_t>(platform::secondsSince1970(time.clock.now() - ago));
        store.applyDashboard(dashboard({project("1", "/w/a", 10, 10)}, at));
    }
};

ProjectDTO idleProject(std::string id, std::uint64_t reclaimable) {
    return project(id, "/w/" + id, reclaimable * 2, reclaimable, {"node"}, true);
}
}  // namespace

TEST_F(Schedules, DueAtExactlyTheIntervalOrWithoutADashboardAndNeverBeforeTheLaunchDecision) {
    store.scheduledScanHours = 4;
    store.didRunLaunchScan = false;
    store.checkSchedule();
    store.didRunLaunchScan = true;
    store.isRestoringScan = true;
    store.checkSchedule();
    store.isRestoringScan = false;
    store.checkSchedule();  // no dashboard yet: due
    EXPECT_EQ(automaticScans, (std::vector<std::string>{"every 4h"}));
    scannedAgo(3h + 59min);
    store.checkSchedule();
    EXPECT_EQ(automaticScans.size(), 1u);
    scannedAgo(4h);
    store.checkSchedule();
    EXPECT_EQ(automaticScans.size(), 2u);
    for (int hours : {0, -3}) {
        store.scheduledScanHours = hours;
        store.dashboard = std::nullopt;
        store.checkSchedule();
    }
    EXPECT_EQ(automaticScans.size(), 2u) << "zero hours never scans";
}

TEST_F(Schedules, ChangingTheScheduleRechecksAtOnce) {
    scannedAgo(5h);
    store.setScheduledScanHours(24);
    EXPECT_TRUE(automaticScans.empty());
    store.setScheduledScanHours(4);
    EXPECT_EQ(automaticScans, (std::vector<std::string>{"every 4h"}));
    EXPECT_EQ(home.defaults().integerValue(keys::scheduledScanHours), 4);
    store.setScheduledScanHours(-2);
    EXPECT_EQ(store.scheduledScanHours.get(), 0);
    EXPECT_EQ(home.defaults().integerValue(keys::scheduledScanHours), 0);
}

TEST_F(Schedules, TimerAndWakeObserverAreArmed) {
    store.startScheduleTimer();
    ASSERT_TRUE(store.scheduleTimer);
    EXPECT_EQ(store.scheduleTimer->interval(), std::chrono::duration<double>(900));
    EXPECT_EQ(store.scheduleTimer->tolerance(), std::chrono::duration<double>(60));
    ASSERT_TRUE(store.wakeObserver) << "absent D-Bus or logind is no error";
    store.scheduledScanHours = 4;
    store.scheduleTimer->fire();
    ASSERT_TRUE(runUntil([&] { return !automaticScans.empty(); })) << "a tick checks the schedule on the main actor";
}

TEST_F(Schedules, AutomaticScanNeedsOnboardingAndAllowedFolders) {
    store.pending.runAutomaticScan = nullptr;
    const auto work = folder("home/Work");
    store.scanRoots = {"/run/media/tidewell-test-absent/Disk"};
    platform::LogCapture log;
    store.runAutomaticScan("launch");
    EXPECT_TRUE(log.lines().empty()) << "before onboarding nothing happens, not even a log line";

    home.defaults().setBool(keys::hasCompletedOnboarding, true);
    ScriptedPanel panel;
    store.runAutomaticScan("every 8h");
    ASSERT_TRUE(runUntil([&] { return !store.lookingAtFolders(); })) << "the folders are looked at off the main actor";
    EXPECT_TRUE(log.contains("Tidewell automatic scan skipped (every 8h): no allowed folders"));
    EXPECT_TRUE(panel.shown.empty()) << "an automatic scan never asks";
    EXPECT_FALSE(store.lastError.get() || store.isScanning.get());

    platform::setProcessArguments({"tidewell", "--ui-testing"});
    store.scanRoots = {work};
    log.clear();
    store.runAutomaticScan("launch");
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(Schedules, BackgroundAutomaticScanShowsThePanelAndPostsOneNotification) {
    store.pending.runAutomaticScan = nullptr;
    home.defaults().setBool(keys::hasCompletedOnboarding, true);
    const auto work = folder("home/Work");
    store.scanRoots = {work};
    int panels = 0, notifications = 0;
    shellHooks().showScanPanel = [&] { ++panels; };
    shellHooks().postScanStartedNotification = [&] { ++notifications; };
    writeText(home.path("bundle/Resources/Info.plist"),
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>"
              "<string>app.tidewell.Tidewell</string></dict></plist>");
    platform::LogCapture log;
    store.runAutomaticScan("launch");
    // No engine here: the scan fails.
    ASSERT_TRUE(runUntil([&] { return log.contains("Tidewell automatic scan (launch)") && !store.isScanning.get(); }));
    EXPECT_EQ(panels, 0) << "a foreground run shows no panel";
    drain();
    EXPECT_EQ(notifications, 0);

    store.runsInBackground = true;
    store.runAutomaticScan("launch");
    ASSERT_TRUE(runUntil([&] { return notifications == 1 && !store.isScanning.get(); }));
    EXPECT_EQ(panels, 1);
}

TEST(ScheduleRules, EndOfDayHourAndOncePerDay) {
    const auto idle = dashboard({idleProject("a", 10)});
    const auto evening = localDay(localTime(18, 0));
    EXPECT_EQ(endOfDayAction(localDay(localTime(17, 59)), 18, std::nullopt, false, idle), EndOfDayAction::none);
    EXPECT_EQ(endOfDayAction(evening, 18, evening.startUnix, false, idle), EndOfDayAction::none);
    EXPECT_EQ(endOfDayAction(localDay(localTime(18, 0, 11)), 18, evening.startUnix, false, idle),
              EndOfDayAction::showReview)
        << "the next day checks again";
    EXPECT_EQ(endOfDayAction(evening, 18, std::nullopt, true, idle), EndOfDayAction::automaticClean);
    EXPECT_EQ(endOfDayAction(evening, 18, std::nullopt, false, std::nullopt), EndOfDayAction::none);
    EXPECT_EQ(localDay(localTime(23, 59)).startUnix, evening.startUnix);
}

TEST_F(Schedules, EndOfDayOpensTheReviewOnceAndHonoursTheConfiguredHour) {
    store.applyDashboard(dashboard({idleProject("a", 10)}));
    time.clock.set(localTime(17, 59));
    store.checkEndOfDay();
    EXPECT_FALSE(store.showEndOfDay.get());
    EXPECT_FALSE(home.defaults().contains(keys::endOfDayShown));

    time.clock.set(localTime(18, 0));
    store.checkEndOfDay();
    EXPECT_TRUE(store.showEndOfDay.get());
    EXPECT_EQ(home.defaults().doubleValue(keys::endOfDayShown), localDay(localTime(18, 0)).startUnix);

    AppStore relaunched;  // the same evening
    relaunched.applyDashboard(dashboard({idleProject("a", 10)}));
    time.clock.set(localTime(21, 0));
    relaunched.checkEndOfDay();
    EXPECT_FALSE(relaunched.showEndOfDay.get());

    home.defaults().setInteger(keys::endOfDayHour, 22);
    home.defaults().remove(keys::endOfDayShown);
    relaunched.checkEndOfDay();
    EXPECT_FALSE(relaunched.showEndOfDay.get());
    home.defaults().setString(keys::endOfDayHour, "22");  // not an integer: 18
    relaunched.checkEndOfDay();
    EXPECT_TRUE(relaunched.showEndOfDay.get());
}

TEST_F(Schedules, EndOfDayWithoutIdleProjectsMarksNothing) {
    store.applyDashboard(dashboard({project("busy", "/w/busy", 10, 10)}));
    time.clock.set(localTime(19, 0));
    store.checkEndOfDay();
    EXPECT_FALSE(store.showEndOfDay.get());
    EXPECT_FALSE(home.defaults().contains(keys::endOfDayShown)) << "a later launch the same day checks again";
}

TEST_F(Schedules, AutomaticCleanChoosesAndOrdersTheIdleProjectsAndStillAsksForConfirmation) {
    auto pinned = idleProject("pinned", 900);
    pinned.pinned = true;
    auto active = idleProject("active", 800);
    active.is_active = true;
    auto busy = project("busy", "/w/busy", 10, 700);
    auto d = dashboard({idleProject("small", 100), pinned, idleProject("large", 500), active, busy,
                        idleProject("tie", 100)});
    store.dashboard = d;  // as delivered, so the order below is the dashboard's own
    store.automaticCleanEnabled = true;
    time.clock.set(localTime(18, 30));

    store.checkEndOfDay();

    EXPECT_FALSE(store.showEndOfDay.get()) << "the review is not shown";
    std::vector<std::string> chosen;
    for (const auto& p : store.cleanConfirmProjects.get()) chosen.push_back(p.id);
    EXPECT_EQ(chosen, (std::vector<std::string>{"large", "small", "tie"}));
    EXPECT_TRUE(store.isCleaning.get() && store.includeCaution.get()) << "the dry runs start";
    EXPECT_FALSE(store.pendingCleanReport.get());
    // No engine in this bundle: the dry run fails and nothing is ever moved.
    ASSERT_TRUE(runUntil([&] { return !store.isCleaning.get(); }));
    EXPECT_TRUE(store.lastError.get().has_value());
    EXPECT_FALSE(store.cleanConfirmProject.get());

    // Once a day: a second check the same evening (a relaunch) starts nothing.
    AppStore relaunched;
    relaunched.dashboard = d;
    relaunched.automaticCleanEnabled = true;
    time.clock.set(localTime(21, 0));
    relaunched.checkEndOfDay();
    EXPECT_FALSE(relaunched.isCleaning.get() || relaunched.cleanConfirmProject.get() || relaunched.showEndOfDay.get());
}

TEST_F(Schedules, AutomaticCleanWithOnlyAPinnedIdleProjectShowsTheReview) {
    auto pinned = idleProject("pinned", 700);
    pinned.pinned = true;
    store.dashboard = dashboard({project("busy", "/w/busy", 10, 700), pinned});
    store.automaticCleanEnabled = true;
    time.clock.set(localTime(18, 30));
    store.checkEndOfDay();
    EXPECT_TRUE(store.showEndOfDay.get());
    EXPECT_FALSE(store.isCleaning.get() || store.lastError.get());
}

TEST_F(Schedules, EndOfDayRunsOnceAfterTheLaunchApplySeesTheRestoredDashboard) {
    time.clock.set(localTime(20, 0));
    int checks = 0;
    store.pending.checkEndOfDay = [&](AppStore& s) {
        ++checks;
        EXPECT_TRUE(s.dashboard.get().has_value()) << "the restored dashboard is already published";
    };
    store.didRunLaunchScan = false;
    store.applyRestoredSession(dashboard({idleProject("a", 10)}), {});
    store.applyRestoredSession(dashboard({idleProject("a", 10)}), {});
    EXPECT_EQ(checks, 1);
}
