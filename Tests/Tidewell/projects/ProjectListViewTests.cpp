// The project list page and its cards in a headless host: the texts a card
// derives, taps, the search's pruning and a new dashboard's effect on the selection.

#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>

#include "Tidewell/core/StoreTestEnvironment.h"
#include "Tidewell/kit/KitViewTesting.h"
#include "core/AppStore.h"
#include "projects/ProjectListView.h"
#include "projects/ProjectListingCard.h"
#include "runtime/Clock.h"
#include "ui/HostWidget.h"

using namespace tidewell;
using namespace tidewell::testing;
using namespace kittest;

TEST(ProjectListingCard, TextsByStateAndMode) {
    const auto now = platform::fromUnixSeconds(1'800'000'000);
    auto p = project("1", "/w/app", 2'000'000, 1'500'000);
    p.last_activity_unix = 1'800'000'000 - 3 * 86400;
    auto both = p;
    both.is_active = both.is_idle = true;
    auto idle = p;
    idle.is_idle = true;
    idle.last_activity_unix.reset();
    auto pinned = p;
    pinned.pinned = true;
    struct Case {
        ProjectDTO project;
        bool selecting, selected;
        ProjectCardTexts expected;
    };
    const std::vector<Case> cases = {
        {both,
         false,
         true,
         {"active", "ACTIVE", "3 days ago", "Show folders that can be moved to Trash",
          "app, active, last used 3 days ago, 1.5 MB reclaimable of 2 MB. Show files to delete.", true, 1}},
        {idle,
         true,
         false,
         {"idle", "IDLE", "Not used yet", "Add this project to the clean selection",
          "app, idle, last used Not used yet, 1.5 MB reclaimable of 2 MB. not selected.", true, 1}},
        {pinned,
         true,
         true,
         {"recent", "", "3 days ago", "Pinned projects or empty ones cannot be selected",
          "app, recent, last used 3 days ago, 1.5 MB reclaimable of 2 MB. selected.", false, 0.45}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(projectCardTexts(c.project, c.selecting, c.selected, now), c.expected) << c.expected.state;
    EXPECT_EQ(projectCardFillRatio(5, 0), 0.0);
    EXPECT_EQ(projectCardFillRatio(9, 3), 1.0);
}

TEST(ProjectListView, TapsSearchAndANewDashboard) {
    ScratchHome home;
    AppStore store;
    auto big = project("b", "/w/bold", 9'000, 8'000);
    big.name = "<b>bold</b>";
    store.applyDashboard(
        dashboard({project("a", "/w/alpha", 5'000, 4'000), big, project("c", "/w/gamma", 3'000, 2'000)}));
    auto laid = layOut(ProjectListView(store), {1440, 900});
    laid->host->observe(store);
    auto& t = laid->tester;
    EXPECT_TRUE(laid->shows("<b>bold</b>")) << "a name from disk is shown as it is";

    ASSERT_TRUE(t.tapText("<b>bold</b>"));
    ASSERT_TRUE(store.filesPopupProject.get());
    EXPECT_EQ(store.filesPopupProject.get()->id, "b");

    ASSERT_TRUE(t.tapText("Select"));
    ASSERT_TRUE(t.tapText("<b>bold</b>") && t.tapText("gamma"));
    EXPECT_TRUE(laid->shows("Clean 2"));
    // A search that hides one selected project drops it for good.
    ASSERT_TRUE(t.tapText("Search name or path") && t.typeText("gam"));
    EXPECT_TRUE(laid->shows("Clean 1"));
    // A dashboard in which the selected project is pinned drops it from the count.
    auto pinned = project("c", "/w/gamma", 3'000, 2'000);
    pinned.pinned = true;
    store.applyDashboard(dashboard({project("a", "/w/alpha", 5'000, 4'000), pinned}));
    EXPECT_TRUE(laid->shows("Clean") && laid->shows("Select projects to clean"));
}

TEST(ProjectListView, ATurnedDownCleanKeepsTheSelectionAndCardsThatCannotBeSelectedSayWhy) {
    ScratchHome home;
    AppStore store;
    auto active = project("a", "/w/alpha", 5'000, 4'000);
    active.is_active = true;
    auto pinned = project("c", "/w/gamma", 3'000, 2'000);
    pinned.pinned = true;
    store.applyDashboard(dashboard({active, pinned}));
    auto laid = layOut(ProjectListView(store), {1440, 900});
    laid->host->observe(store);
    auto& t = laid->tester;
    ASSERT_TRUE(t.tapText("Select") && t.tapText("alpha") && t.tapText("Clean 1"));
    EXPECT_TRUE(store.lastError.get() && laid->shows("Clean 1"));
    auto gamma = t.findText("gamma");
    ASSERT_TRUE(gamma);
    EXPECT_EQ(laid->host->tooltipAt({gamma->frame.midX(), gamma->frame.midY()}),
              "Pinned projects or empty ones cannot be selected");
}

TEST(ProjectListView, CtrlFPutsTheKeysInTheSearchField) {
    ScratchHome home;
    AppStore store;
    store.applyDashboard(dashboard({project("a", "/w/alpha", 5'000, 4'000), project("c", "/w/gamma", 3'000, 2'000)}));
    auto laid = layOut(ProjectListView(store), {660, 900});  // the page at the smallest window
    laid->host->observe(store);
    ASSERT_TRUE(laid->tester.pressKey(Qt::Key_F, Qt::ControlModifier));
    laid->tester.typeText("gam");
    EXPECT_TRUE(laid->shows("gamma"));
    EXPECT_FALSE(laid->shows("alpha"));
}

TEST(ProjectListView, TooltipsShowNamesFromDiskAsPlainText) {
    platform::ui::HostWidget window;
    window.host().setRoot([] { return Text("card").frame(200, 100).help("Show only <b>Odd</b> projects"); });
    window.resize(200, 100);
    window.show();
    QHelpEvent ask(QEvent::ToolTip, QPoint(100, 50), window.mapToGlobal(QPoint(100, 50)));
    QApplication::sendEvent(&window, &ask);
    EXPECT_NE(QToolTip::text().indexOf("&lt;b&gt;Odd&lt;/b&gt;"), -1) << QToolTip::text().toStdString();
}
