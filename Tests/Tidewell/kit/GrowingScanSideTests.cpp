#include "KitViewTesting.h"

#include "../core/StoreTestEnvironment.h"
#include "core/AppStore.h"
#include "kit/GrowingScanSide.h"

using namespace kittest;
using namespace tidewell;

namespace {

ScanSnapshot snapshot(std::int64_t rootsDone, std::string currentPath, std::string phase = "walk")
{
    ScanSnapshot s;
    s.rootsDone = rootsDone;
    s.currentPath = std::move(currentPath);
    s.phase = std::move(phase);
    return s;
}

std::vector<ScanRootState> states(const std::vector<std::string>& roots, const ScanSnapshot& scan)
{
    std::vector<ScanRootState> out;
    for (const auto& r : roots) out.push_back(scanRootState(r, roots, scan));
    return out;
}

using S = ScanRootState;

}  // namespace

TEST(ScanRootState, DoneRootsGoByPositionInTheList) {
    const std::vector<std::string> roots{"/a", "/b", "/c"};
    EXPECT_EQ(states(roots, snapshot(2, "/c/x")), (std::vector<S>{S::done, S::done, S::active}));
    // After the scan every root is done.
    EXPECT_EQ(states(roots, snapshot(3, "", "done")), (std::vector<S>{S::done, S::done, S::done}));
}

TEST(ScanRootState, TheCurrentPathMakesARootActiveOnlyInsideIt) {
    const std::vector<std::string> roots{"/Volumes/Data", "/Volumes/Dat", "/srv/"};
    EXPECT_EQ(states(roots, snapshot(0, "/Volumes/Data/work/app")), (std::vector<S>{S::active, S::waiting, S::waiting}));
    EXPECT_EQ(states(roots, snapshot(0, "/Volumes/Dat")), (std::vector<S>{S::waiting, S::active, S::waiting}));
    // A root that already ends in "/" is used as it is.
    EXPECT_EQ(states(roots, snapshot(0, "/srv/repo")), (std::vector<S>{S::waiting, S::waiting, S::active}));
    // The root folder holds every path.
    EXPECT_EQ(scanRootState("/", {"/"}, snapshot(0, "/home/me")), S::active);
    // A path outside every root leaves them all waiting.
    EXPECT_EQ(states(roots, snapshot(0, "/tmp/x")), (std::vector<S>{S::waiting, S::waiting, S::waiting}));
}

TEST(ScanRootState, BeforeAnyPathTheNextRootInLineIsActive) {
    const std::vector<std::string> roots{"/a", "/b", "/c"};
    EXPECT_EQ(states(roots, snapshot(0, "", "start")), (std::vector<S>{S::active, S::waiting, S::waiting}));
    EXPECT_EQ(states(roots, snapshot(1, "", "root_done")), (std::vector<S>{S::done, S::active, S::waiting}));
    // Nothing is next once the scan is done.
    EXPECT_EQ(states(roots, snapshot(1, "", "done")), (std::vector<S>{S::done, S::waiting, S::waiting}));
    // A root listed twice takes the state of its first place.
    EXPECT_EQ(states({"/a", "/a"}, snapshot(1, "")), (std::vector<S>{S::done, S::done}));
}

TEST(ScanRootLabel, NamesTheLastComponentUnderTheTilde) {
    EXPECT_EQ(scanRootLabel("/Users/me/Developer"), "~/Developer");
    EXPECT_EQ(scanRootLabel("/"), "~//");
    EXPECT_EQ(scanRootLabel("/home/me/src/"), "~/src");
}

TEST(GrowingScanCounters, ReadAsTheTilesShowThem) {
    EXPECT_EQ(saplingsCounterText(12), "12");
    EXPECT_EQ(rootsCounterText(0, 0), "0/1");
    EXPECT_EQ(rootsCounterText(1, 3), "1/3");
    EXPECT_EQ(canopyCounterText(0.004), "0%");
    EXPECT_EQ(canopyCounterText(0.999), "99%");
    EXPECT_EQ(canopyCounterText(1), "100%");
    EXPECT_EQ(canopyCounterText(1.5), "150%");
    EXPECT_EQ(canopyCounterText(std::nan("")), "0%");
    EXPECT_DOUBLE_EQ(growthRingFraction(0.004), 0.06);
    EXPECT_DOUBLE_EQ(growthRingFraction(-1), 0.06);
    EXPECT_DOUBLE_EQ(growthRingFraction(0.5), 0.5);
}

TEST(GrowingScanRows, EveryRowKeepsItsOwnIdentity) {
    EXPECT_EQ(scanRootRowKeys({"/a", "/b"}), (std::vector<std::string>{"/a", "/b"}));
    const auto keys = scanRootRowKeys({"/a", "/a", "/b", "/a"});
    EXPECT_EQ(keys[0], "/a");
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()).size(), 4u);
}

namespace {

class GrowingScanSidePanel : public ::testing::Test {
protected:
    tidewell::testing::ScratchHome home;

    static bool shows(Laid& laid, const std::string& text) {
        const auto texts = laid.texts();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
};

}  // namespace

TEST_F(GrowingScanSidePanel, ShowsTheClockCountersAndRoots) {
    AppStore store;
    store.scanRoots = std::vector<std::string>{"/home/me/dev", "/srv/code", "/"};
    ScanSnapshot scan = snapshot(1, "/srv/code/app", "measure");
    scan.elapsed = 125;
    scan.projectsFound = 7;
    scan.rootsTotal = 3;
    store.scanUI = scan;
    auto laid = layOut(topLeading(GrowingScanSide{store, 0.42, "Reading the rings"}.body().frame(300, std::nullopt)),
                       {300, 700});
    EXPECT_TRUE(shows(*laid, "2:05"));
    EXPECT_TRUE(shows(*laid, "Growing"));
    EXPECT_TRUE(laid->tester.findText("Saplings, 7"));
    EXPECT_TRUE(laid->tester.findText("Roots, 1/3"));
    EXPECT_TRUE(laid->tester.findText("Canopy, 42%"));
    EXPECT_TRUE(shows(*laid, "Scan roots"));
    EXPECT_TRUE(shows(*laid, "~/dev"));
    EXPECT_TRUE(shows(*laid, "~/code"));
    EXPECT_TRUE(shows(*laid, "~//"));
    EXPECT_TRUE(shows(*laid, "Reading the rings"));
    // The roots card sits below the growth card; no log card without a log.
    EXPECT_GT(laid->tester.findText("Scan roots")->frame.y, laid->tester.findText("Growing")->frame.y);
    EXPECT_EQ(laid->texts(), (std::vector<std::string>{"2:05", "Growing", "7", "Saplings", "1/3", "Roots", "42%", "Canopy",
                                                       "Scan roots", "~/dev", "~/code", "~//", "Reading the rings"}));
}

TEST_F(GrowingScanSidePanel, WithoutRootsTheCardKeepsItsTitleAndPhrase) {
    AppStore store;
    store.scanRoots = std::vector<std::string>{};
    auto laid = layOut(topLeading(GrowingScanSide{store, 0, "Planting the grove"}.body().frame(300, std::nullopt)),
                       {300, 600});
    EXPECT_TRUE(shows(*laid, "Scan roots"));
    EXPECT_TRUE(shows(*laid, "Planting the grove"));
    EXPECT_TRUE(laid->tester.findText("Roots, 0/1"));
    EXPECT_TRUE(laid->tester.findText("Canopy, 0%"));
}

TEST_F(GrowingScanSidePanel, TheNewestLogLineShowsInAThirdCardCutAtThreeLines) {
    AppStore store;
    store.scanRoots = std::vector<std::string>{"/a"};
    ScanSnapshot scan;
    const std::string longLine(600, 'x');
    scan.log = {"Planted the grove", "Measuring " + longLine};
    store.scanUI = scan;
    auto laid = layOut(topLeading(GrowingScanSide{store, 0.1, "Growing the forest"}.body().frame(300, std::nullopt)),
                       {300, 800});
    EXPECT_FALSE(shows(*laid, "Planted the grove"));
    const auto line = laid->tester.findText("Measuring " + longLine);
    ASSERT_TRUE(line);
    const auto phrase = laid->tester.findText("Growing the forest");
    ASSERT_TRUE(phrase);
    EXPECT_GT(line->frame.y, phrase->frame.y);
    // Three caption lines at most, though the text would fill many more.
    EXPECT_LT(line->frame.height, 4 * 14.0);
    EXPECT_GT(line->frame.height, 2 * 10.0);
}

TEST_F(GrowingScanSidePanel, TheRingIsNeverShorterThanSixPercent) {
    AppStore store;
    store.scanRoots = std::vector<std::string>{};
    const auto greenArc = [&](double growth) {
        auto laid = layOut(topLeading(GrowingScanSide{store, growth, "x"}.body().frame(300, std::nullopt)), {300, 600});
        const QImage image = laid->render(2);
        // The arc's gradient starts in the reclaim green at the top of the ring.
        return boundsOf(image, [](const QColor& c) { return c.green() > 150 && c.red() < 120 && c.blue() < 140; });
    };
    const QRect tiny = greenArc(0.004);
    const QRect none = greenArc(0.0);
    ASSERT_FALSE(tiny.isEmpty());
    EXPECT_EQ(tiny, none);
    EXPECT_GT(greenArc(0.5).width(), tiny.width());
}
