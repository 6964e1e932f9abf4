// The project list page and its cards in a headless host: the texts a card
// derives, the page's operations, taps, the search's pruning, a new
// dashboard's effect on the selection and the toolbar by width class.

#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>

#include "Tidewell/core/StoreTestEnvironment.h"
#include "Tidewell/kit/KitViewTesting.h"
#include "core/AppStore.h"
#include "core/ProtectedStacks.h"
#include "projects/ProjectListView.h"
#include "projects/ProjectListingCard.h"
#include "runtime/Clock.h"
#include "ui/HostWidget.h"

using namespace tidewell;
using namespace tidewell::testing;
using namespace kittest;

namespace {

std::vector<std::string> names(const ProjectRefs& refs) {
    std::vector<std::string> out;
    for (const auto* p : refs) out.push_back(p->name);
    return out;
}

}  // namespace

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
    auto laid = layOut(ProjectListPage(store), {1440, 900});
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

TEST(ProjectListView, ACleanOfTheSelectionGoesBackToBrowsingWhateverTheStoreDid) {
    ScratchHome home;
    AppStore store;
    auto active = project("a", "/w/alpha", 5'000, 4'000);
    active.is_active = true;
    auto pinned = project("c", "/w/gamma", 3'000, 2'000);
    pinned.pinned = true;
    store.applyDashboard(dashboard({active, pinned}));
    auto laid = layOut(ProjectListPage(store), {1440, 900});
    laid->host->observe(store);
    auto& t = laid->tester;
    ASSERT_TRUE(t.tapText("Select"));
    auto gamma = t.findText("gamma");
    ASSERT_TRUE(gamma);
    EXPECT_EQ(laid->host->tooltipAt({gamma->frame.midX(), gamma->frame.midY()}),
              "Pinned projects or empty ones cannot be selected");
    // The store turns a selection of active projects only down, and the page
    // leaves selection mode with nothing selected all the same.
    ASSERT_TRUE(t.tapText("alpha") && t.tapText("Clean 1"));
    EXPECT_EQ(store.lastError.get(),
              "No projects are ready to clean. Active, pinned, and already-clean projects are skipped.");
    EXPECT_FALSE(laid->shows("Clean 1") || laid->shows("Cancel"));
    EXPECT_TRUE(laid->shows("Select") && laid->shows("Clean All"));
    EXPECT_TRUE(laid->shows("Tap a card to see folders that can go to Trash."));
    ASSERT_TRUE(t.tapText("Select"));
    EXPECT_TRUE(laid->shows("Select projects to clean")) << "a new selection starts empty";
}

TEST(ProjectListView, CleanAllAndTheSelectionsCleanLeaveOutAProtectedStacksProjectsAndSaySo) {
    ScratchHome home;
    home.defaults().setString(protectedStacksKey, "node");
    AppStore store;
    auto d = dashboard({project("a", "/w/alpha", 5'000, 4'000)});
    d.by_type = {TypeSummaryDTO{"node", "Node / JS", 1, 5'000, 4'000}};
    store.applyDashboard(d);
    auto laid = layOut(ProjectListPage(store), {1440, 900});
    laid->host->observe(store);
    auto& t = laid->tester;
    const std::string told = "Left out alpha: its stack Node / JS is protected";
    ASSERT_TRUE(t.tapText("Clean All"));
    EXPECT_EQ(store.lastError.get(), told);
    store.lastError = std::nullopt;
    ASSERT_TRUE(t.tapText("Select") && t.tapText("alpha") && t.tapText("Clean 1"));
    EXPECT_EQ(store.lastError.get(), told);
    EXPECT_FALSE(store.cleanConfirmProject.get());
}

// With only active and protected projects left, Clean All names the active
// ones beside the protected one, and a pinned one too.
TEST(ProjectListView, CleanAllNamesTheActiveAndPinnedProjectsItPassesOver) {
    ScratchHome home;
    home.defaults().setString(protectedStacksKey, "node");
    AppStore store;
    auto alpha = project("a", "/w/alpha", 5'000, 4'000);
    auto beta = project("b", "/w/beta", 5'000, 3'000, {"rust"});
    auto gamma = project("g", "/w/gamma", 5'000, 2'000, {"rust"});
    auto kept = project("k", "/w/kept", 5'000, 1'000, {"rust"});
    beta.is_active = gamma.is_active = true;
    kept.pinned = true;
    auto d = dashboard({alpha, beta, gamma, kept});
    d.by_type = {TypeSummaryDTO{"node", "Node / JS", 1, 5'000, 4'000}};
    store.applyDashboard(d);
    auto laid = layOut(ProjectListPage(store), {1440, 900});
    laid->host->observe(store);
    ASSERT_TRUE(laid->tester.tapText("Clean All"));
    const std::string active = "it is active: it changed in the last day, or a program is working in it";
    EXPECT_EQ(store.lastError.get(), "Left out 4 projects: alpha: its stack Node / JS is protected \u00B7 beta: " +
                                         active + " \u00B7 gamma: " + active +
                                         " \u00B7 kept: it is pinned: a .tidewell-keep file keeps it");
    EXPECT_FALSE(store.cleanConfirmProject.get());
}

namespace {

// The page bound to a plain state, so its operations run as its controls run them.
class ProjectListOperations : public ::testing::Test {
protected:
    ScratchHome home;
    AppStore store;
    std::shared_ptr<ProjectListState> state = std::make_shared<ProjectListState>();
    ProjectDTO beta = project("2", "/w/Beta", 1'000, 500, {"rust"});
    ProjectDTO app = project("1", "/w/app", 600, 300);
    ProjectDTO kept = project("6", "/w/kept", 1'800, 900);
    ProjectDTO busy = project("7", "/w/busy", 200, 100);

    void SetUp() override {
        kept.pinned = true;
        busy.is_active = true;
        store.applyDashboard(dashboard({app, beta, kept, busy}));
    }
    ProjectListView page() {
        auto s = state;
        return ProjectListView{store, WidthClass::wide,
                               platform::ui::Binding<ProjectListState>([s] { return *s; },
                                                                       [s](ProjectListState v) { *s = std::move(v); })};
    }
    std::set<std::string> selected() const { return state->selectedIDs; }
};

}  // namespace

TEST_F(ProjectListOperations, SelectingTappingAndSelectAll) {
    state->selectedIDs = {"2"};
    page().setSelecting(true);
    EXPECT_TRUE(state->selecting && selected().empty()) << "entering selection starts empty";

    page().handleCardTap(kept);
    EXPECT_TRUE(selected().empty()) << "a pinned project takes no tap";
    page().handleCardTap(busy);
    page().handleCardTap(beta);
    EXPECT_EQ(selected(), (std::set<std::string>{"2", "7"})) << "an active project can be selected";
    page().handleCardTap(busy);
    EXPECT_EQ(selected(), std::set<std::string>{"2"}) << "a second tap deselects";
    EXPECT_FALSE(store.filesPopupProject.get());

    // Select All with one missing selects every selectable project; with all selected it empties.
    page().toggleSelectAll();
    EXPECT_EQ(selected(), (std::set<std::string>{"1", "2", "7"}));
    EXPECT_TRUE(page().allSelectableSelected());
    EXPECT_EQ(page().selectionSummary(), "3 selected \u00B7 900 bytes reclaimable");
    page().toggleSelectAll();
    EXPECT_TRUE(selected().empty());

    // Leaving selection empties it; a tap then opens the project's folders.
    page().toggleSelectAll();
    page().setSelecting(false);
    EXPECT_TRUE(!state->selecting && selected().empty());
    page().handleCardTap(beta);
    ASSERT_TRUE(store.filesPopupProject.get());
    EXPECT_EQ(store.filesPopupProject.get()->id, "2");
}

TEST_F(ProjectListOperations, SortStackFilterAndPruning) {
    page().toggleSort();
    EXPECT_FALSE(state->sortReclaimable);
    EXPECT_EQ(page().visibleProjects().front()->name, "app") << "by name";
    page().toggleSort();
    EXPECT_EQ(page().visibleProjects().front()->name, "kept") << "largest first";

    store.filterStack = std::string("rust");
    EXPECT_EQ(page().visibleProjects().size(), 1u);
    page().clearStackFilter();
    EXPECT_FALSE(store.filterStack.get());

    // A query that hides a selected project drops it; clearing the query does not bring it back.
    page().setSelecting(true);
    page().toggleSelectAll();
    state->query = "beta";
    page().pruneSelection();
    EXPECT_EQ(selected(), std::set<std::string>{"2"});
    state->query.clear();
    page().pruneSelection();
    EXPECT_EQ(selected(), std::set<std::string>{"2"});
    EXPECT_EQ(page().emptyStateDetail(), "Nothing left to clean.");
}

TEST_F(ProjectListOperations, CleanSelectedHandsTheSelectionOverThenBrowsesWhateverTheStoreDid) {
    // Refused with a message: only an active project is selected.
    page().setSelecting(true);
    page().handleCardTap(busy);
    EXPECT_EQ(names(page().selectedCleanableProjects()), std::vector<std::string>{"busy"});
    page().cleanSelected();
    EXPECT_EQ(store.lastError.get(),
              "No projects are ready to clean. Active, pinned, and already-clean projects are skipped.");
    EXPECT_TRUE(!state->selecting && selected().empty());

    // Refused in silence: a scan runs.
    store.lastError = std::nullopt;
    store.isScanning = true;
    page().setSelecting(true);
    page().handleCardTap(beta);
    page().cleanSelected();
    EXPECT_FALSE(store.lastError.get() || store.cleanConfirmProject.get());
    EXPECT_TRUE(!state->selecting && selected().empty());
}

TEST(ProjectListView, InACompactWindowTheToolbarStacksAtTheTrailingEdgeElseItIsARow) {
    ScratchHome home;
    AppStore store;
    store.applyDashboard(dashboard({project("a", "/w/alpha", 5'000, 4'000), project("c", "/w/gamma", 3'000, 2'000)}));
    for (const auto width : {WidthClass::compact, WidthClass::regular}) {
        EnvironmentValues env;
        env.set<WidthClassKey>(width);
        // Wide enough for a row: the compact stack is the width class's choice, not a lack of room.
        auto laid = layOut(ProjectListPage(store), {1100, 800}, env);
        laid->host->observe(store);
        std::vector<Rect> frames;
        for (const char* title : {"Select", "Clean All", "Rescan"}) {
            const auto button = laid->tester.findText(title);
            ASSERT_TRUE(button) << title;
            frames.push_back(button->frame);
        }
        for (std::size_t i = 1; i < frames.size(); ++i) {
            if (width == WidthClass::compact) {
                EXPECT_NEAR(frames[i].maxX(), frames[0].maxX(), 0.5) << "aligned trailing";
                EXPECT_NEAR(frames[i].y, frames[i - 1].maxY() + 8, 0.5) << "stacked 8 apart";
            } else {
                EXPECT_NEAR(frames[i].midY(), frames[0].midY(), 0.5) << "one row";
                EXPECT_NEAR(frames[i].x, frames[i - 1].maxX() + 8, 0.5) << "8 apart";
            }
        }
    }
}

TEST(ProjectListView, CtrlFPutsTheKeysInTheSearchField) {
    ScratchHome home;
    AppStore store;
    store.applyDashboard(dashboard({project("a", "/w/alpha", 5'000, 4'000), project("c", "/w/gamma", 3'000, 2'000)}));
    auto laid = layOut(ProjectListPage(store), {660, 900});  // the page at the smallest window
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
