#include "KitViewTesting.h"

#include "../core/StoreTestEnvironment.h"
#include "core/AppStore.h"
#include "kit/GrowingScanView.h"

using namespace kittest;
using namespace tidewell;

TEST(GrowingScanText, PhasePhrasesAndShortenedPaths) {
    EXPECT_EQ(scanPhasePhrase("root_done", "Finished /home/me/dev"), "Finished /home/me/dev");
    EXPECT_EQ(scanPhasePhrase("root_done", ""), "Growing the forest");
    EXPECT_EQ(scanPhasePhrase("error", "Permission denied"), "Permission denied");
    EXPECT_EQ(scanPhasePhrase("Start", "Booting"), "Booting") << "a capital letter is another phase";
    EXPECT_EQ(scanPhasePhrase("", ""), "Growing the forest");
    // The last three pieces; no pieces at all leaves the path unchanged.
    const std::pair<const char*, const char*> paths[] = {{"/a/b/c/d/e", "c/d/e"}, {"/v/x/y/z", "x/y/z"}, {"a/b", "a/b"},
                                                         {"//a///b//", "a/b"},    {"/", "/"},           {"///", "///"},
                                                         {"", ""}};
    for (const auto& [path, shortened] : paths) EXPECT_EQ(shortenedPath(path), shortened) << path;
}

namespace {

class GrowingScanPageLayout : public ::testing::Test {
protected:
    tidewell::testing::ScratchHome home;
    AppStore store;

    std::unique_ptr<Laid> page(WidthClass widthClass, Size size) {
        EnvironmentValues env;
        env.reduceMotion = true;  // a still picture; no frames asked for
        env.set<WidthClassKey>(widthClass);
        return layOut(GrowingScanPage(store), size, env);
    }
};

}  // namespace

TEST_F(GrowingScanPageLayout, PutsTheSidePanelBesideTheHeroOrBelowItInCompactWindows) {
    store.scanRoots = std::vector<std::string>{"/home/me/dev"};
    for (const auto widthClass : {WidthClass::wide, WidthClass::regular}) {
        const auto title = page(widthClass, {1100, 700})->tester.findText("Scan roots");
        ASSERT_TRUE(title);
        EXPECT_GT(title->frame.x, 700);
        EXPECT_LT(title->frame.y, 350);
    }
    auto compact = page(WidthClass::compact, {700, 900});
    const auto title = compact->tester.findText("Scan roots"), growing = compact->tester.findText("Growing");
    ASSERT_TRUE(title && growing);
    EXPECT_LT(title->frame.x, 40);
    EXPECT_GT(title->frame.y, 240);
    EXPECT_GT(growing->frame.y, 240 + 16);
}

TEST_F(GrowingScanPageLayout, SpeaksAsOneLabelledContainer) {
    store.scanRoots = std::vector<std::string>{};
    ScanSnapshot scan;
    scan.phase = "measure";
    scan.projectsFound = 12;
    store.scanUI = scan;
    auto laid = page(WidthClass::wide, {1400, 800});
    const auto tree = laid->tester.tree();
    const auto* container = tree.find([](const AccessibilityNodeInfo& n) {
        return n.label == "Scanning the forest. 12 projects found. Reading the rings.";
    });
    ASSERT_NE(container, nullptr);
    EXPECT_TRUE(container->isContainer);
    // The hero is hidden; its caption is not announced, the side panel's phrase is.
    const auto texts = laid->texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Reading the rings"), 1);
    EXPECT_FALSE(laid->tester.findText("Waiting for the first root\u2026"));
}
