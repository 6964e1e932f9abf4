#include "KitViewTesting.h"

#include "../core/StoreTestEnvironment.h"
#include "core/AppStore.h"
#include "kit/GrowingScanView.h"

using namespace kittest;
using namespace tidewell;

TEST(ScanPhasePhrase, OtherPhasesShowTheEnginesMessage) {
    EXPECT_EQ(scanPhasePhrase("root_done", "Finished /home/me/dev"), "Finished /home/me/dev");
    EXPECT_EQ(scanPhasePhrase("root_done", ""), "Growing the forest");
    EXPECT_EQ(scanPhasePhrase("error", "Permission denied"), "Permission denied");
    // Exact comparison: a capital letter is another phase.
    EXPECT_EQ(scanPhasePhrase("Start", "Booting"), "Booting");
    EXPECT_EQ(scanPhasePhrase("", ""), "Growing the forest");
}

TEST(ShortenedPath, KeepsTheLastThreePieces) {
    EXPECT_EQ(shortenedPath("/a/b/c/d/e"), "c/d/e");
    EXPECT_EQ(shortenedPath("/v/x/y/z"), "x/y/z");
    EXPECT_EQ(shortenedPath("a/b"), "a/b");
    EXPECT_EQ(shortenedPath("//a///b//"), "a/b");
    // No pieces at all: unchanged.
    EXPECT_EQ(shortenedPath("/"), "/");
    EXPECT_EQ(shortenedPath("///"), "///");
    EXPECT_EQ(shortenedPath(""), "");
}

namespace {

class GrowingScanPageLayout : public ::testing::Test {
protected:
    tidewell::testing::ScratchHome home;

    std::unique_ptr<Laid> page(AppStore& store, WidthClass widthClass, Size size) {
        EnvironmentValues env;
        env.reduceMotion = true;  // a still picture; no frames asked for
        env.set<WidthClassKey>(widthClass);
        return layOut(GrowingScanPage(store), size, env);
    }
};

}  // namespace

TEST_F(GrowingScanPageLayout, PutsTheSidePanelBesideTheHeroInWideAndRegularWindows) {
    AppStore store;
    store.scanRoots = std::vector<std::string>{"/home/me/dev"};
    for (const auto& [widthClass, width] : {std::pair{WidthClass::wide, 300.0}, std::pair{WidthClass::regular, 260.0}}) {
        auto laid = page(store, widthClass, {1100, 700});
        const auto title = laid->tester.findText("Scan roots");
        ASSERT_TRUE(title);
        // The roots card is padded by 14 inside the side panel at the trailing edge.
        EXPECT_NEAR(title->frame.x, 1100 - width + 14, 1.0);
        EXPECT_LT(title->frame.y, 350);
    }
}

TEST_F(GrowingScanPageLayout, PutsTheSidePanelBelowTheHeroInCompactWindows) {
    AppStore store;
    store.scanRoots = std::vector<std::string>{"/home/me/dev"};
    auto laid = page(store, WidthClass::compact, {700, 900});
    const auto title = laid->tester.findText("Scan roots");
    ASSERT_TRUE(title);
    EXPECT_LT(title->frame.x, 40);
    EXPECT_GT(title->frame.y, 240);
    const auto growing = laid->tester.findText("Growing");
    ASSERT_TRUE(growing);
    EXPECT_GT(growing->frame.y, 240 + 16);
}

TEST_F(GrowingScanPageLayout, SpeaksAsOneLabelledContainer) {
    AppStore store;
    store.scanRoots = std::vector<std::string>{};
    ScanSnapshot scan;
    scan.phase = "measure";
    scan.projectsFound = 12;
    store.scanUI = scan;
    auto laid = page(store, WidthClass::wide, {1400, 800});
    const auto tree = laid->tester.tree();
    const auto* container = tree.find([](const AccessibilityNodeInfo& n) {
        return n.label == "Scanning the forest. 12 projects found. Reading the rings.";
    });
    ASSERT_NE(container, nullptr);
    EXPECT_TRUE(container->isContainer);
    // The hero is hidden; its caption is not announced, the side panel's phrase is.
    int phrases = 0;
    for (const auto& t : laid->texts()) phrases += t == "Reading the rings";
    EXPECT_EQ(phrases, 1);
    EXPECT_FALSE(laid->tester.findText("Waiting for the first root\u2026"));
}
