#include "KitViewTesting.h"

#include "../core/StoreTestEnvironment.h"
#include "core/AppStore.h"
#include "core/ModelTexts.h"
#include "kit/GrowingScanSide.h"

using namespace kittest;
using namespace tidewell;

namespace {

ScanSnapshot snapshot(std::int64_t rootsDone, std::string currentPath, std::string phase = "walk") {
    ScanSnapshot s;
    s.rootsDone = rootsDone;
    s.currentPath = std::move(currentPath);
    s.phase = std::move(phase);
    return s;
}

using S = ScanRootState;
std::vector<S> states(const std::vector<std::string>& roots, const ScanSnapshot& scan) {
    std::vector<S> out;
    for (const auto& r : roots) out.push_back(scanRootState(r, roots, scan));
    return out;
}

}  // namespace

TEST(ScanRootState, DoneByPositionActiveByPathOrNextInLineOtherwiseWaiting) {
    const std::vector<std::string> abc{"/a", "/b", "/c"}, volumes{"/Volumes/Data", "/Volumes/Dat", "/srv/"};
    const std::tuple<std::vector<std::string>, ScanSnapshot, std::vector<S>> cases[] = {
        {abc, snapshot(2, "/c/x"), {S::done, S::done, S::active}},
        {abc, snapshot(3, "", "done"), {S::done, S::done, S::done}},
        // The current path makes a root active only inside it; a root ending in "/" is used as it is.
        {volumes, snapshot(0, "/Volumes/Data/work/app"), {S::active, S::waiting, S::waiting}},
        {volumes, snapshot(0, "/Volumes/Dat"), {S::waiting, S::active, S::waiting}},
        {volumes, snapshot(0, "/srv/repo"), {S::waiting, S::waiting, S::active}},
        {volumes, snapshot(0, "/tmp/x"), {S::waiting, S::waiting, S::waiting}},
        {{"/"}, snapshot(0, "/home/me"), {S::active}},
        // Before any path the next root in line is active; nothing is next once the scan is done.
        {abc, snapshot(0, "", "start"), {S::active, S::waiting, S::waiting}},
        {abc, snapshot(1, "", "root_done"), {S::done, S::active, S::waiting}},
        {abc, snapshot(1, "", "done"), {S::done, S::waiting, S::waiting}},
        // A root listed twice takes the state of its first place.
        {{"/a", "/a"}, snapshot(1, ""), {S::done, S::done}},
    };
    for (const auto& [roots, scan, expected] : cases)
        EXPECT_EQ(states(roots, scan), expected) << roots.front() << " at " << scan.currentPath << " " << scan.phase;
}

TEST(GrowingScanSideText, LabelsCountersRingAndRowKeys) {
    EXPECT_EQ(scanRootLabel("/Users/me/Developer"), "~/Developer");
    // "~/" leads every root, the root folder's too: its last path component is "/".
    for (const char* root : {"/", "//"})
        EXPECT_EQ(scanRootLabel(root), "~//") << root;
    EXPECT_EQ(scanRootLabel("/home/me/src/"), "~/src");
    EXPECT_EQ(rootsCounterText(0, 0), "0/1");
    EXPECT_EQ(rootsCounterText(1, 3), "1/3");
    for (const auto& [fraction, text] : {std::pair{0.004, "0%"}, {0.999, "99%"}, {1.0, "100%"}, {1.5, "150%"}, {std::nan(""), "0%"}})
        EXPECT_EQ(canopyCounterText(fraction), text) << fraction;
    EXPECT_DOUBLE_EQ(growthRingFraction(0.004), 0.06);
    EXPECT_DOUBLE_EQ(growthRingFraction(-1), 0.06);
    EXPECT_DOUBLE_EQ(growthRingFraction(0.5), 0.5);
    EXPECT_EQ(scanRootRowKeys({"/a", "/b"}), (std::vector<std::string>{"/a", "/b"}));
    const auto keys = scanRootRowKeys({"/a", "/a", "/b", "/a"});
    EXPECT_EQ(keys[0], "/a");
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()).size(), 4u) << "every row keeps its own identity";
}

namespace {

class GrowingScanSidePanel : public ::testing::Test {
protected:
    tidewell::testing::ScratchHome home;
    AppStore store;
    std::unique_ptr<Laid> side(double growth, const std::string& phrase, double height) {
        return layOut(topLeading(GrowingScanSide{store, growth, phrase}.body().frame(300, std::nullopt)), {300, height});
    }
};

}  // namespace

TEST_F(GrowingScanSidePanel, ShowsTheClockCountersAndRootsInOrder) {
    store.scanRoots = std::vector<std::string>{"/home/me/dev", "/srv/code", "/"};
    ScanSnapshot scan = snapshot(1, "/srv/code/app", "measure");
    scan.elapsed = 125;
    scan.projectsFound = 7;
    scan.rootsTotal = 3;
    store.scanUI = scan;
    auto laid = side(0.42, "Reading the rings", 700);
    EXPECT_TRUE(laid->tester.findText("Saplings, 7"));
    EXPECT_TRUE(laid->tester.findText("Roots, 1/3"));
    EXPECT_TRUE(laid->tester.findText("Canopy, 42%"));
    // No log card without a log.
    EXPECT_EQ(laid->texts(), (std::vector<std::string>{"2:05", "Growing", "7", "Saplings", "1/3", "Roots", "42%", "Canopy",
                                                       "Scan roots", "~/dev", "~/code", "~//",
                                                       "Reading the rings"}));
}

TEST_F(GrowingScanSidePanel, WithoutRootsTheCardKeepsItsTitleAndPhrase) {
    store.scanRoots = std::vector<std::string>{};
    auto laid = side(0, "Planting the grove", 600);
    EXPECT_TRUE(laid->shows("Scan roots"));
    EXPECT_TRUE(laid->shows("Planting the grove"));
}

TEST_F(GrowingScanSidePanel, TheNewestLogLineShowsInAThirdCardCutAtThreeLines) {
    store.scanRoots = std::vector<std::string>{"/a"};
    ScanSnapshot scan;
    const std::string newest = "Measuring " + std::string(600, 'x');
    scan.log = {"Planted the grove", newest};
    store.scanUI = scan;
    auto laid = side(0.1, "Growing the forest", 800);
    EXPECT_FALSE(laid->shows("Planted the grove"));
    const auto line = laid->tester.findText(newest);
    const auto phrase = laid->tester.findText("Growing the forest");
    ASSERT_TRUE(line && phrase);
    EXPECT_GT(line->frame.y, phrase->frame.y);
    EXPECT_LT(line->frame.height, 4 * 14.0) << "three caption lines at most";
    EXPECT_GT(line->frame.height, 2 * 10.0);
}

