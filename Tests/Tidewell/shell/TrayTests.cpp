// The tray: the status item's looks, the scan panel's hide timing and place,
// and what the tray widget offers in each state.
#include <QCoreApplication>

#include "Tidewell/core/StoreTestEnvironment.h"
#include "Tidewell/kit/KitViewTesting.h"
#include "desktop/StatusItem.h"
#include "desktop/Window.h"
#include "projects/MenuBarWidget.h"
#include "runtime/Timer.h"
#include "shell/MenuBarStatusItem.h"
#include "core/ShellServices.h"
#include "shell/ScanWidgetPanel.h"
#include "shell/ScanWidgetView.h"
#include "ui/UITester.h"

using namespace kittest;
using namespace tidewell;

namespace {

void pump() {
    for (int i = 0; i < 4; ++i) QCoreApplication::processEvents();
}

class Tray : public ::testing::Test {
protected:
    tidewell::testing::ScratchHome home;
    AppStore store;
    // A main queue whose delays wait for the test's own clock.
    double now = 0;
    std::vector<std::tuple<double, std::function<void()>, platform::WorkItem>> jobs;
    ScanWidgetPanel panel{store, [this](double seconds, std::function<void()> work) {
                              jobs.emplace_back(now + seconds, std::move(work), platform::WorkItem());
                              return std::get<2>(jobs.back());
                          }};
    void advance(double seconds) {
        now += seconds;
        for (auto& job : std::exchange(jobs, {}))
            if (std::get<0>(job) > now) jobs.push_back(job);
            else if (!std::get<2>(job).isCancelled()) std::get<1>(job)();
    }
};

}  // namespace

TEST_F(Tray, StatusItemLooksFollowTheScanAndNoTickerOutlivesIt) {
    MenuBarStatusItem item(store);
    auto idle = [&] { return item.item().title().empty() && item.item().toolTip() == "Tidewell" && !item.scanTicker(); };
    pump();
    EXPECT_TRUE(idle());
    store.scanUI = ScanSnapshot{.elapsed = 65, .projectsFound = 1};
    store.isScanning = true;
    pump();
    EXPECT_EQ(item.item().title(), " 1:05 · 1");
    EXPECT_EQ(item.item().toolTip(), "Tidewell is scanning · 1 projects found");
    const platform::RepeatingTimer* ticker = item.scanTicker();
    store.isScanning = true;
    pump();
    EXPECT_TRUE(ticker && item.scanTicker() == ticker) << "a repeated value keeps the timer";
    store.isScanning = false;  // a scan of less than a second: there and back
    store.isScanning = true;
    store.isScanning = false;
    pump();
    EXPECT_TRUE(idle());
}

TEST_F(Tray, PanelLeavesTwelveSecondsAfterTheScanUnlessShownAgain) {
    store.isScanning = true;
    panel.show();
    advance(300);
    EXPECT_TRUE(panel.isShown()) << "stays while the scan runs";
    store.isScanning = false;
    pump();
    advance(11.9);
    EXPECT_TRUE(panel.isShown());
    store.isScanning = true;  // the next scan within the 12 s
    panel.show();
    advance(1);
    EXPECT_TRUE(panel.isShown()) << "a new show cancels the pending hide";
    panel.hide(0);  // the close button
    advance(0);
    EXPECT_FALSE(panel.isShown());

    store.isScanning = false;
    panel.show();  // a scan that failed before it started
    advance(11.9);
    EXPECT_TRUE(panel.isShown());
    advance(0.2);
    EXPECT_FALSE(panel.isShown());

    const ScreenArea main{{0, 0, 1920, 1080}, {0, 28, 1920, 1052}}, side{{1920, -200, 1280, 1024}, {1920, -200, 1280, 990}};
    EXPECT_EQ(scanPanelOrigin({main}, {50, 50}, {260, 150}), (Point{1644, 44}));
    EXPECT_EQ(scanPanelOrigin({main, side}, {2000, 100}, {260, 150}), (Point{2924, -184}));
    EXPECT_EQ(scanPanelOrigin({main, side}, {-500, -500}, {260, 150}), (Point{1644, 44})) << "off every screen";
    EXPECT_EQ(scanPanelOrigin({}, {0, 0}, {260, 150}), std::nullopt);
}

// The panel's own names: `scanObserver` while it is up, `hideWork` pending
// until it runs or a new show cancels it; its buttons are `openApp` and
// `hideNow`. The status item keeps its `scanObserver` for its whole life.
TEST_F(Tray, ThePanelFollowsTheScanWhileUpAndItsButtonsOpenOrHide) {
    MenuBarStatusItem item(store);
    EXPECT_TRUE(item.scanObserver().active());
    EXPECT_FALSE(panel.scanObserver().active());
    EXPECT_FALSE(panel.hideWork());

    store.isScanning = true;
    panel.show();
    EXPECT_TRUE(panel.scanObserver().active());
    EXPECT_FALSE(panel.hideWork());
    store.isScanning = false;
    pump();
    ASSERT_TRUE(panel.hideWork());
    const platform::WorkItem countdown = *panel.hideWork();
    EXPECT_FALSE(countdown.isCancelled()) << "12 s to go";
    store.isScanning = true;
    panel.show();
    EXPECT_TRUE(countdown.isCancelled()) << "a new show cancels the pending hide";

    int bringUps = 0;
    shellHooks().bringUpMainWindow = [&] { ++bringUps; };
    platform::ui::UITester tester(panel.window()->host());
    ASSERT_TRUE(tester.tapText("Open Tidewell"));
    EXPECT_EQ(bringUps, 1) << "openApp brings the main window up";
    shellHooks().bringUpMainWindow = nullptr;
    const auto hide = tester.findAll([](const platform::ui::AccessibilityNodeInfo& n) { return n.label == "Hide"; });
    ASSERT_EQ(hide.size(), 1u);
    tester.tap(hide[0]);
    ASSERT_TRUE(panel.hideWork() && !panel.hideWork()->isCancelled()) << "hideNow: on the next turn";
    advance(0);
    EXPECT_FALSE(panel.isShown());
    EXPECT_FALSE(panel.scanObserver().active()) << "dropped with the panel";
}

TEST_F(Tray, WidgetOffersWhatTheStoreAllowsAndClosesAfterEachAction) {
    DashboardDTO dashboard;
    dashboard.projects.resize(4, ProjectDTO{.reclaimable_bytes = 10});
    dashboard.projects[0].is_active = dashboard.projects[1].pinned = true;
    dashboard.projects[2].reclaimable_bytes = 0;
    EXPECT_EQ(eligibleProjectCount(dashboard), 1) << "active, pinned and empty projects are skipped";

    int closes = 0;
    auto close = [&] { ++closes; };
    auto laid = layOut(menuBarPopoverContent(store, close), {280, 600});  // as the tray popover shows it
    EXPECT_TRUE(laid->shows("No scan yet"));
    laid->tester.tapText("Clean");
    EXPECT_EQ(closes, 0) << "nothing to clean: disabled";
    laid->tester.tapText("Review Projects");
    EXPECT_EQ(store.selectedSection.get(), AppSection::projects);
    EXPECT_EQ(closes, 1);

    store.scanUI = ScanSnapshot{.elapsed = 5, .projectsFound = 1};
    store.isScanning = true;
    laid = layOut(MenuBarWidget(store, false, close), {280, 600});
    EXPECT_TRUE(laid->shows("Scanning… 0:05") && laid->shows("1 projects found"));
    laid->tester.tapText("Open App");
    EXPECT_EQ(closes, 1) << "not embedded: nothing to close";
}
