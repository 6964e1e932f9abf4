#include <gtest/gtest.h>

#include <cmath>

#include "kit/ScanSceneDrawing.h"

using platform::ui::Point;
using platform::ui::Size;
using namespace tidewell;

namespace {

const std::vector<std::pair<double, double>> kArms = {{0.24, 0.34}, {0.76, 0.32}, {0.14, 0.50}, {0.86, 0.48},
                                                      {0.38, 0.24}, {0.62, 0.22}, {0.50, 0.14}};
const Size kSize{1000, 800};

TreeLayout treeAt(double growth, long long buds = 0, double time = 0, Size size = kSize) {
    return growingTreeLayout(growth, buds, time, size, kArms, 7);
}

const BranchLayout* branch(const TreeLayout& tree, int index) {
    for (const auto& b : tree.branches)
        if (b.index == index) return &b;
    return nullptr;
}

}  // namespace

TEST(StableUnitHash, GivesTheKnownValuesOverUnicodeScalarsAndTreatsBrokenInputSafely) {
    EXPECT_DOUBLE_EQ(stableUnitHash("abc", 0), 0.094);
    EXPECT_DOUBLE_EQ(stableUnitHash("abc", 1), 0.475);
    EXPECT_DOUBLE_EQ(stableUnitHash("", 0), 0.94);
    // One scalar each, whatever their UTF-8 length: é (two bytes), a tree (four).
    EXPECT_DOUBLE_EQ(stableUnitHash("\xC3\xA9", 0), 0.743);
    EXPECT_DOUBLE_EQ(stableUnitHash("\xF0\x9F\x8C\xB2", 3), 0.859);
    // A stray byte is the replacement character, as text decoding would give.
    EXPECT_DOUBLE_EQ(stableUnitHash("\xFF", 2), stableUnitHash("\xEF\xBF\xBD", 2));
    EXPECT_DOUBLE_EQ(stableUnitHash("a\xC3", 2), stableUnitHash("a\xEF\xBF\xBD", 2));
    EXPECT_DOUBLE_EQ(stableUnitHash("scan", -5), stableUnitHash("scan", 0));
    for (int seed = 0; seed < 200; ++seed) {
        const double v = stableUnitHash("scanX", seed);
        EXPECT_TRUE(v >= 0 && v < 1 && std::round(v * 1000) / 1000 == v) << v;
    }
}

TEST(BranchControlPoint, BendsSidewaysAndUpwardsWithCaps) {
    // A vertical branch bends to the right; long ones at most 56 sideways and 28 upwards.
    const std::tuple<Point, Point, Point> cases[] = {
        {{5, 7}, {5, 7}, {5, 7}},    {{0, 0}, {100, 0}, {72, -8}},  {{100, 0}, {0, 0}, {28, -8}},
        {{0, 100}, {0, 0}, {22, 42}}, {{0, 0}, {1000, 0}, {556, -28}},
    };
    for (const auto& [from, to, control] : cases) {
        EXPECT_DOUBLE_EQ(branchControlPoint(from, to).x, control.x) << to.x << "," << to.y;
        EXPECT_DOUBLE_EQ(branchControlPoint(from, to).y, control.y) << to.x << "," << to.y;
    }
}

TEST(SceneShapes, UngrownBranchesAndLateSapStayFinite) {
    EXPECT_NEAR(taperedBranchOutline({0, 0}, {50, 0}, {100, 0}, 0.5, 4.0)[12].x, 50, 1e-9) << "stops at the middle";
    // An ungrown branch has a side normal instead of not-a-number.
    const auto ungrown = taperedBranchOutline({10, 10}, {20, 0}, {30, 10}, 0.0, 3.0);
    for (const auto& p : ungrown) EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
    EXPECT_NEAR(ungrown[0].x, 13, 1e-9);
    EXPECT_NEAR(ungrown[25].x, 7, 1e-9);

    EXPECT_DOUBLE_EQ(sapDashPhase(0), 0);
    EXPECT_NEAR(sapDashPhase(1), 14, 1e-9);  // -34 wrapped into the 24-point period
    const double late = sapDashPhase(8.1e8 + 0.25);
    EXPECT_TRUE(late >= 0 && late < 24) << late;
}

TEST(GrowingTree, NothingGrowsAtZeroNegativeOrUndefinedGrowth) {
    for (const double g : {0.0, -0.5, std::nan("")}) {
        const auto tree = treeAt(g);
        EXPECT_FALSE(tree.rootProgress) << g;
        EXPECT_TRUE(tree.branches.empty()) << g;
        EXPECT_DOUBLE_EQ(tree.crownY, 0.905 * 800) << "the clip hides the whole trunk";
    }
    EXPECT_LT(skyGlowOpacity(rawGrowth(-0.5)), 0.08);
    EXPECT_DOUBLE_EQ(skyGlowOpacity(rawGrowth(std::nan(""))), 0.08);
    EXPECT_GT(skyGlowOpacity(rawGrowth(2)), skyGlowOpacity(rawGrowth(1))) << "the glows keep growing with the raw value";
}

TEST(GrowingTree, RootsTrunkAndBranchesGrowAtTheirThresholds) {
    EXPECT_FALSE(treeAt(0.05).rootProgress);
    ASSERT_TRUE(treeAt(0.051).rootProgress);
    EXPECT_NEAR(*treeAt(0.15).rootProgress, 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(*treeAt(0.25).rootProgress, 1);
    EXPECT_DOUBLE_EQ(*treeAt(0.9).rootProgress, 1);

    EXPECT_NEAR(treeAt(0.14).crownY, 0.725 * 800, 1e-9);
    EXPECT_NEAR(treeAt(0.28).crownY, 0.545 * 800, 1e-9) << "the trunk's top";
    EXPECT_NEAR(treeAt(1).crownY, 0.545 * 800, 1e-9);

    EXPECT_EQ(branch(treeAt(0.2424), 0), nullptr);
    EXPECT_EQ(treeAt(0.2425).branches.size(), 1u);
    ASSERT_NE(branch(treeAt(0.2425), 0), nullptr);
    EXPECT_EQ(branch(treeAt(0.72), 6), nullptr) << "branch 6 grows from 0.72 to 0.84";
    EXPECT_NEAR(branch(treeAt(0.78), 6)->progress, 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(branch(treeAt(0.84), 6)->progress, 1);

    // Along branch 0 (progress (g - 0.24) / 0.12) the leaves and the bud wait their place.
    const auto at = [](double p) { return *branch(treeAt(0.24 + 0.12 * p), 0); };
    EXPECT_FALSE(at(0.44).firstLeaf);
    EXPECT_TRUE(at(0.46).firstLeaf);
    EXPECT_FALSE(at(0.67).secondLeaf);
    EXPECT_TRUE(at(0.69).secondLeaf);
    EXPECT_FALSE(at(0.81).bud);
    EXPECT_TRUE(at(0.83).bud);
}

TEST(GrowingTree, FullGrowthHasEveryBranchWithTwoLeavesAndABud) {
    for (const double g : {1.0, 3.5}) {
        const auto tree = treeAt(g);
        ASSERT_EQ(tree.branches.size(), 7u);
        for (const auto& b : tree.branches) {
            EXPECT_DOUBLE_EQ(b.progress, 1);
            ASSERT_TRUE(b.firstLeaf && b.secondLeaf && b.bud);
            EXPECT_EQ(b.secondLeaf->amber, b.index % 4 == 0) << "amber on branches 0 and 4 only";
            EXPECT_EQ(b.bud->colorIndex, size_t(b.index));
            EXPECT_EQ(b.bud->center, b.end);
        }
    }
}

TEST(GrowingTree, TheFirstBudIsAlwaysLit) {
    for (const auto& [buds, lit] : {std::pair{0LL, 1}, {1LL, 1}, {3LL, 3}, {7LL, 7}, {1000LL, 7}, {-4LL, 1}}) {
        int n = 0;
        for (const auto& b : treeAt(1, buds).branches) {
            EXPECT_DOUBLE_EQ(b.bud->radius, b.bud->lit ? 16 : 11);
            EXPECT_TRUE(!b.bud->lit || b.index < std::max(buds, 1LL)) << b.index;
            n += b.bud->lit;
        }
        EXPECT_EQ(n, lit) << buds;
    }
}

TEST(GrowingTree, TimeSwaysTheLeavesButNeverMovesTheBranches) {
    const auto a = treeAt(0.9, 3, 0), b = treeAt(0.9, 3, 0), later = treeAt(0.9, 3, 2.5);
    ASSERT_EQ(a.branches.size(), b.branches.size());
    for (size_t i = 0; i < a.branches.size(); ++i)
        EXPECT_EQ(a.branches[i].firstLeaf->rotation, b.branches[i].firstLeaf->rotation) << "held time is a still picture";
    EXPECT_EQ(later.branches[0].grownEnd, a.branches[0].grownEnd);
    EXPECT_NE(later.branches[0].firstLeaf->rotation, a.branches[0].firstLeaf->rotation);
}

TEST(ScanDrift, MotesWrapTopToBottomAndFallingLeavesStayInTheUpperSky) {
    // Held at time 0 the motes sit at their hashed heights.
    EXPECT_NEAR(scanMotes(0, kSize)[4].square.y, 812 * stableUnitHash("scan", 4), 1e-9);
    EXPECT_NEAR(fallingLeaves(0, kSize)[1].at.y, 40 + 48, 1e-9);
    for (const double t : {0.0, 1.0, 7.0, 90.0, 1234.5, 8.1e8}) {
        for (const auto& m : scanMotes(t, kSize)) {
            EXPECT_TRUE(m.square.y >= 0 && m.square.y < 812) << t;
            EXPECT_TRUE(m.opacity >= 0.16 - 1e-12 && m.opacity <= 0.56 + 1e-12) << t;
        }
        const auto leaves = fallingLeaves(t, kSize);
        for (size_t k = 0; k < leaves.size(); ++k) {
            EXPECT_TRUE(leaves[k].at.y >= 0.06 * 800 && leaves[k].at.y < 0.76 * 800) << t;
            EXPECT_EQ(leaves[k].green, k % 2 == 0);
        }
    }
}
