#include "KitViewTesting.h"

#include "../core/StoreTestEnvironment.h"
#include "core/AppStore.h"
#include "kit/GrowingScanView.h"
#include "ui/ScrollView.h"

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

    std::unique_ptr<Laid> page(WidthClass widthClass, Size size, bool scrolling = false) {
        EnvironmentValues env;
        env.reduceMotion = true;  // a still picture; no frames asked for
        env.set<WidthClassKey>(widthClass);
        return layOut(scrolling ? ScrollView(GrowingScanPage(store)) : GrowingScanPage(store), size, env);
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

// The night sky of the hero, told apart from the light cards of the side panel.
bool isScene(const QColor& c) { return c.alpha() == 255 && c.red() < 40 && c.green() < 80 && c.blue() < 90; }

TEST_F(GrowingScanPageLayout, InCompactWindowsTheSidePanelBelowTheHeroIsAtMost280High) {
    // Three roots and a log line: more cards than 280 points hold.
    store.scanRoots = std::vector<std::string>{"/", "/home/me/dev", "/srv/code"};
    ScanSnapshot scan;
    scan.elapsed = 74;
    scan.phase = "measure";
    scan.rootsTotal = 3;
    scan.log = {"Measuring app"};
    store.scanUI = scan;

    // With room to spare the hero takes all of it but the panel's 280 and the gap of 16.
    auto roomy = page(WidthClass::compact, {700, 900});
    EXPECT_NEAR(boundsOf(roomy->render(), isScene).height(), 900 - 16 - 280, 2);

    // A scrolling page offers no height: the hero is its minimum, the panel its
    // 280, its first card at its top, and nothing of it is drawn past its foot.
    auto scrolling = page(WidthClass::compact, {700, 800}, true);
    const QImage image = scrolling->render();
    const QRect hero = boundsOf(image, isScene);
    EXPECT_NEAR(hero.height(), 240, 2);
    const auto clock = scrolling->tester.findText("1:14");
    ASSERT_TRUE(clock);
    EXPECT_GT(clock->frame.y, hero.bottom() + 16 + 18) << "the growth card starts at the panel's top";
    EXPECT_LE(boundsOf(image, [](const QColor& c) { return c.alpha() > 0; }).bottom(), 240 + 16 + 280 + 1);
    // Offered its whole 280, the roots card fits in whole, its phrase last.
    const auto phrase = scrolling->tester.findText("Reading the rings");
    ASSERT_TRUE(phrase);
    EXPECT_LE(phrase->frame.maxY(), 240 + 16 + 280);
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
