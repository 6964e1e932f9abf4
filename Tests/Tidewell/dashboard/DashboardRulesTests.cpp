// The dashboard's rules as tables, the store writes of its cards in order,
// and the few layout facts a picture can't settle.
#include "Tidewell/kit/KitViewTesting.h"

#include "Tidewell/core/StoreTestEnvironment.h"
#include "core/AppStore.h"
#include "dashboard/DashboardView.h"
#include "dashboard/ForestEmptySapling.h"
#include "dashboard/ProjectTypeCard.h"
#include "dashboard/ProjectTypesStrip.h"
#include "dashboard/ReclaimSideCard.h"
#include "kit/SizeClass.h"
#include "SampleData.h"

#include <cmath>

using namespace kittest;
using namespace tidewell;
using Filter = std::optional<std::string>;

TEST(DashboardRules, TheFirstMatchingStateWins) {
    struct Case {
        bool scanning, restoring, hasDashboard;
        DashboardState state;
    };
    for (const Case& c : std::vector<Case>{
             {true, true, true, DashboardState::scanning},
             {true, false, false, DashboardState::scanning},
             {false, true, false, DashboardState::restoring},
             {false, true, true, DashboardState::result},  // a restore still running behind a dashboard
             {false, false, false, DashboardState::empty},
             {false, false, true, DashboardState::result},
         })
        EXPECT_EQ(dashboardState(c.scanning, c.restoring, c.hasDashboard), c.state)
            << c.scanning << c.restoring << c.hasDashboard;
    CharacterProfile blank;
    blank.name = " \t ";
    EXPECT_EQ(dashboardGreeting(blank), "Hi, I\'m Byte!");
}

TEST(DashboardRules, CardWidthsFillTheRowWithWholeCards) {
    struct Case {
        double row, width;
    };
    for (const Case& c : std::vector<Case>{{600, 580.0 / 3}, {356, 173}, {345, 345}, {1, 168}, {0, 168}, {100, 100}, {HUGE_VAL, 168}, {NAN, 168}})
        EXPECT_NEAR(projectTypeCardWidth(c.row), c.width, 1e-9) << c.row;
}

TEST(DashboardRules, FractionsSentencesAndCounts) {
    EXPECT_EQ(reclaimableFraction(5, 0), 0.0);
    EXPECT_EQ(reclaimableFraction(1, 4), 0.25);
    EXPECT_EQ(reclaimableFraction(9, 4), 1.0) << "capped";
    EXPECT_EQ(reclaimableFraction(UINT64_MAX, UINT64_MAX), 1.0);
    EXPECT_EQ(idleProjectsSentence(0, 7), "0 projects haven\u2019t been touched in 7+ days.");
    EXPECT_EQ(idleProjectsSentence(1, 7), "1 project hasn\u2019t been touched in 7+ days.");
    EXPECT_EQ(idleProjectsSentence(2, 30), "2 projects haven\u2019t been touched in 30+ days.");
    EXPECT_EQ(projectCountText(0) + "|" + projectCountText(1) + "|" + projectCountText(2), "0 projects|1 project|2 projects");
    EXPECT_EQ(projectTypeCardAccessibilityLabel({"flutter", "Flutter", 3, 4'000'000'000, 1'200'000'000}),
              "Flutter, 3 projects, 1.2 GB reclaimable of 4 GB");
}

namespace {

class DashboardOnStore : public ::testing::Test {
protected:
    tidewell::testing::ScratchHome home;
    AppStore store;
    std::vector<std::string> writes;
    std::vector<platform::Subscription> subscriptions;

    void recordWrites() {
        subscriptions.push_back(store.filterIdle.subscribe([this](const bool& v) { writes.push_back(v ? "idle" : "all"); }));
        subscriptions.push_back(store.filterStack.subscribe([this](const Filter& f) { writes.push_back("stack=" + f.value_or("nil")); }));
        subscriptions.push_back(store.selectedSection.subscribe([this](const AppSection& s) { writes.push_back(toString(s)); }));
    }
    static std::string toString(AppSection s) { return s == AppSection::projects ? "projects" : "other"; }
};

}  // namespace

TEST_F(DashboardOnStore, CardsWriteTheFiltersBeforeTheSection) {
    using Writes = std::vector<std::string>;
    store.filterStack = Filter("node");
    recordWrites();
    openProjects(store, true);
    EXPECT_EQ(writes, (Writes{"idle", "projects"}));
    writes.clear();
    openProjects(store, false);
    EXPECT_EQ(writes, (Writes{"all", "projects"}));
    EXPECT_EQ(store.filterStack.get(), Filter("node")) << "the stack filter is left alone";
    writes.clear();
    store.filterIdle = true;
    writes.clear();
    viewAll(store);
    EXPECT_EQ(writes, (Writes{"all", "stack=nil", "projects"}));
}

TEST_F(DashboardOnStore, TogglingAStackSelectsMovesAndClearsWithoutLeavingThePage) {
    const TypeSummaryDTO flutter{"flutter", "Flutter", 1, 0, 0}, node{"node", "Node / JS", 2, 0, 0};
    struct Step {
        const TypeSummaryDTO& pressed;
        Filter after;
    };
    for (const Step& s : std::vector<Step>{{flutter, "flutter"}, {node, "node"}, {node, std::nullopt}, {flutter, "flutter"}}) {
        toggleStack(store, s.pressed);
        EXPECT_EQ(store.filterStack.get(), s.after) << s.pressed.project_type;
    }
    EXPECT_EQ(store.selectedSection.get(), AppSection::dashboard);
}

TEST_F(DashboardOnStore, MarkersOnlyInRowArrangementsAndTheStripMeasuresItsRow) {
    fixtures::SampleOptions options;
    options.stacks = 5;
    store.dashboard = fixtures::sampleDashboard(options);
    for (WidthClass width : {WidthClass::wide, WidthClass::regular, WidthClass::compact}) {
        EnvironmentValues env;
        env.set<WidthClassKey>(width);
        auto laid = layOut(DashboardView(store), {1100, 800}, env);
        // (The disk card speaks as one element, which hides its marker from this tree.)
        for (const char* id : {"dashboard.reclaim", "dashboard.projectTypes"})
            EXPECT_EQ(laid->tester.find(id).has_value(), width != WidthClass::compact) << id << " at " << int(width);
        // Every card is as wide as the measured row (the panel's width less its padding) allows.
        if (width == WidthClass::compact) continue;
        const auto cards = laid->tester.findAll([](const AccessibilityNodeInfo& n) {
            return n.label.find(" reclaimable of ") != std::string::npos;
        });
        ASSERT_EQ(cards.size(), 5u);
        EXPECT_NEAR(cards.front().frame.width, projectTypeCardWidth(laid->frame("dashboard.projectTypes").width - 28), 0.01)
            << int(width);
    }
}

TEST_F(DashboardOnStore, AShortWindowScrollsAndTheScanSceneKeepsItsMinimumHeight) {
    store.isScanning = true;
    EnvironmentValues env;
    env.set<WidthClassKey>(WidthClass::regular);
    env.set<HeightClassKey>(HeightClass::short_);
    auto laid = layOut(DashboardView(store), {900, 600}, env);
    const auto scene = laid->tester.findAll([](const AccessibilityNodeInfo& n) { return n.label.starts_with("Scanning the forest."); });
    ASSERT_EQ(scene.size(), 1u);
    EXPECT_GE(scene.front().frame.height, 320) << "the scene itself, not only the space around it";
}

// The first scan's character stands in the scene's bottom-trailing corner,
// 16 points in from both edges, whatever the window's size classes; a scan
// over an earlier dashboard has no character.
TEST_F(DashboardOnStore, TheFirstScansCharacterStandsSixteenPointsInFromTheScenesBottomTrailingCorner) {
    store.isScanning = true;
    const auto onlyOne = [](Laid& laid, auto match) {
        const auto found = laid.tester.findAll(match);
        EXPECT_EQ(found.size(), 1u);
        return found.empty() ? Rect{} : found.front().frame;
    };
    const auto isScene = [](const AccessibilityNodeInfo& n) { return n.label.starts_with("Scanning the forest."); };
    const auto isCharacter = [](const AccessibilityNodeInfo& n) { return n.label.ends_with(", your character"); };
    struct Case {
        WidthClass width;
        HeightClass height;
        Size size;
    };
    for (const Case& c : std::vector<Case>{{WidthClass::compact, HeightClass::short_, {820, 560}},
                                           {WidthClass::compact, HeightClass::tall, {820, 900}},
                                           {WidthClass::regular, HeightClass::short_, {940, 620}},
                                           {WidthClass::regular, HeightClass::tall, {940, 800}},
                                           {WidthClass::wide, HeightClass::tall, {1220, 840}}}) {
        SCOPED_TRACE(::testing::Message() << "width class " << int(c.width) << ", height class " << int(c.height));
        EnvironmentValues env;
        env.set<WidthClassKey>(c.width);
        env.set<HeightClassKey>(c.height);
        store.dashboard = std::nullopt;
        auto laid = layOut(DashboardView(store), c.size, env);
        const Rect scene = onlyOne(*laid, isScene), character = onlyOne(*laid, isCharacter);
        EXPECT_NEAR(character.width, 56, 0.01);
        EXPECT_NEAR(character.height, 56 * 130.0 / 110, 0.01);
        EXPECT_NEAR(scene.maxX() - character.maxX(), 16, 0.01);
        EXPECT_NEAR(scene.maxY() - character.maxY(), 16, 0.01);

        store.dashboard = DashboardDTO{};
        laid = layOut(DashboardView(store), c.size, env);
        EXPECT_TRUE(laid->tester.findAll(isCharacter).empty()) << "a later scan shows no character";
    }
}

TEST_F(DashboardOnStore, TheReclaimButtonsStackWhenTheirEqualHalvesWouldCutATitle) {
    DashboardDTO dash;
    struct Case {
        double width;
        bool sideBySide;
    };
    for (const Case& c : std::vector<Case>{{600, true}, {360, false}, {300, false}}) {
        auto laid = layOut(ReclaimSideCard(store, dash, false, std::nullopt), {c.width, 220});
        const auto frameOf = [&](const std::string& title) {
            const auto found = laid->tester.findAll([&](const AccessibilityNodeInfo& n) { return n.label == title; });
            EXPECT_EQ(found.size(), 1u) << title;
            return found.empty() ? Rect{} : found.front().frame;
        };
        const Rect review = frameOf("Review & Clean"), idle = frameOf("View Idle Projects");
        EXPECT_EQ(review.y == idle.y, c.sideBySide) << c.width;
        EXPECT_LE(review.y, idle.y) << "Review & Clean comes first";
    }
}

TEST(ForestEmptySapling, DrawsToItsFrameAndNothingIntoNone) {
    EXPECT_NO_FATAL_FAILURE(layOut(topLeading(ForestEmptySapling().frame(0, 0)), {40, 40})->render());
    const QImage image = layOut(topLeading(ForestEmptySapling().frame(220, 180)), {220, 180})->render();
    const QColor crown = pixel(image, 110, 0.34 * 180);
    EXPECT_GT(crown.green(), 2 * crown.red()) << "the glowing crown";
}
