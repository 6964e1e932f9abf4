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

TreeLayout treeAt(double growth, long long buds = 0, double time = 0, Size size = kSize)
{
    return growingTreeLayout(growth, buds, time, size, kArms, 7);
}

const BranchLayout* branch(const TreeLayout& tree, int index)
{
    for (const auto& b : tree.branches)
        if (b.index == index) return &b;
    return nullptr;
}

}  // namespace

// --- The functions the storage tree shares --------------------------------------

TEST(StableUnitHash, GivesTheKnownValuesOverUnicodeScalars) {
    EXPECT_DOUBLE_EQ(stableUnitHash("abc", 0), 0.094);
    EXPECT_DOUBLE_EQ(stableUnitHash("abc", 1), 0.475);
    EXPECT_DOUBLE_EQ(stableUnitHash("", 0), 0.94);
    // One scalar each, whatever their UTF-8 length: é (two bytes), a tree (four).
    EXPECT_DOUBLE_EQ(stableUnitHash("\xC3\xA9", 0), 0.743);
    EXPECT_DOUBLE_EQ(stableUnitHash("\xF0\x9F\x8C\xB2", 3), 0.859);
}

TEST(StableUnitHash, TreatsBrokenTextAndNegativeSeedsSafely) {
    // A stray byte is the replacement character, as text decoding would give.
    EXPECT_DOUBLE_EQ(stableUnitHash("\xFF", 2), stableUnitHash("\xEF\xBF\xBD", 2));
    EXPECT_DOUBLE_EQ(stableUnitHash("a\xC3", 2), stableUnitHash("a\xEF\xBF\xBD", 2));
    EXPECT_DOUBLE_EQ(stableUnitHash("scan", -5), stableUnitHash("scan", 0));
    for (int seed = 0; seed < 200; ++seed) {
        const double v = stableUnitHash("scanX", seed);
        EXPECT_GE(v, 0.0);
        EXPECT_LT(v, 1.0);
        EXPECT_DOUBLE_EQ(std::round(v * 1000) / 1000, v);
    }
}

TEST(BranchControlPoint, BendsSidewaysAndUpwardsWithCaps) {
    EXPECT_EQ(branchControlPoint({5, 7}, {5, 7}), (Point{5, 7}));
    const Point right = branchControlPoint({0, 0}, {100, 0});
    EXPECT_DOUBLE_EQ(right.x, 72);
    EXPECT_DOUBLE_EQ(right.y, -8);
    const Point left = branchControlPoint({100, 0}, {0, 0});
    EXPECT_DOUBLE_EQ(left.x, 28);
    EXPECT_DOUBLE_EQ(left.y, -8);
    // A vertical branch bends to the right.
    const Point up = branchControlPoint({0, 100}, {0, 0});
    EXPECT_DOUBLE_EQ(up.x, 22);
    EXPECT_DOUBLE_EQ(up.y, 42);
    // Long branches: at most 56 sideways and 28 upwards.
    const Point far = branchControlPoint({0, 0}, {1000, 0});
    EXPECT_DOUBLE_EQ(far.x, 556);
    EXPECT_DOUBLE_EQ(far.y, -28);
}

TEST(TrunkPath, StandsOnTheGroundAndRisesToTheCrown) {
    const auto trunk = trunkPath(1000, 800);
    const auto box = trunk.boundingRect();
    EXPECT_NEAR(box.maxY(), 0.905 * 800, 1e-6);
    EXPECT_GT(box.minY(), 0.52 * 800);
    EXPECT_LT(box.minY(), 0.56 * 800);
    EXPECT_TRUE(trunk.contains({500, 700}));
    EXPECT_FALSE(trunk.contains({600, 700}));
    EXPECT_FALSE(trunk.contains({500, 0.905 * 800 + 4}));
}

// --- Curves ------------------------------------------------------------------------------

TEST(TaperedBranch, NarrowsFromTheBaseToAThirdAtTheGrownEnd) {
    const auto o = taperedBranchOutline({0, 0}, {50, 0}, {100, 0}, 1.0, 4.0);
    EXPECT_NEAR(o[0].x, 0, 1e-9);
    EXPECT_NEAR(o[0].y, 4, 1e-9);    // left of the base, the normal (0, 1)
    EXPECT_NEAR(o[25].y, -4, 1e-9);  // right of the base
    EXPECT_NEAR(o[12].x, 100, 1e-9);
    EXPECT_NEAR(o[12].y, 1.4, 1e-9);  // 0.35 of the base
    EXPECT_NEAR(o[13].y, -1.4, 1e-9);
    // Half grown: the outline stops at the curve's middle.
    const auto half = taperedBranchOutline({0, 0}, {50, 0}, {100, 0}, 0.5, 4.0);
    EXPECT_NEAR(half[12].x, 50, 1e-9);
}

TEST(TaperedBranch, AnUngrownBranchHasASideNormalInsteadOfNotANumber) {
    const auto o = taperedBranchOutline({10, 10}, {20, 0}, {30, 10}, 0.0, 3.0);
    for (const auto& p : o) {
        EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
    }
    EXPECT_NEAR(o[0].x, 13, 1e-9);
    EXPECT_NEAR(o[25].x, 7, 1e-9);
}

TEST(SapFlow, DashesStartAtPhaseZeroAndStayInOnePeriod) {
    EXPECT_DOUBLE_EQ(sapDashPhase(0), 0);
    EXPECT_NEAR(sapDashPhase(1), 14, 1e-9);  // -34 wrapped into the 24-point period
    const double late = sapDashPhase(8.1e8 + 0.25);
    EXPECT_GE(late, 0);
    EXPECT_LT(late, 24);
}

// --- Growth -----------------------------------------------------------------------------

TEST(GrowingTree, GrowthZeroDrawsNothingOfTheTree) {
    const auto tree = treeAt(0);
    EXPECT_FALSE(tree.rootProgress);
    EXPECT_TRUE(tree.branches.empty());
    EXPECT_DOUBLE_EQ(tree.crownY, 0.905 * 800);  // the clip hides the whole trunk
}

TEST(GrowingTree, RootsStartPastFivePercentAndAreFullAtAQuarter) {
    EXPECT_FALSE(treeAt(0.05).rootProgress);
    ASSERT_TRUE(treeAt(0.051).rootProgress);
    EXPECT_NEAR(*treeAt(0.15).rootProgress, 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(*treeAt(0.25).rootProgress, 1);
    EXPECT_DOUBLE_EQ(*treeAt(0.9).rootProgress, 1);
}

TEST(GrowingTree, TheTrunkIsFullyShownAt28Percent) {
    EXPECT_NEAR(treeAt(0.28).crownY, 0.545 * 800, 1e-9);
    EXPECT_NEAR(treeAt(0.14).crownY, 0.725 * 800, 1e-9);
    EXPECT_NEAR(treeAt(1).crownY, 0.545 * 800, 1e-9);
}

TEST(GrowingTree, BranchesGrowOneAfterAnother) {
    EXPECT_EQ(branch(treeAt(0.2424), 0), nullptr);
    ASSERT_NE(branch(treeAt(0.2425), 0), nullptr);
    EXPECT_EQ(treeAt(0.2425).branches.size(), 1u);
    // Branch 6 grows from 0.72 to 0.84.
    EXPECT_EQ(branch(treeAt(0.72), 6), nullptr);
    EXPECT_NEAR(branch(treeAt(0.78), 6)->progress, 0.5, 1e-9);
    EXPECT_DOUBLE_EQ(branch(treeAt(0.84), 6)->progress, 1);
}

TEST(GrowingTree, FullGrowthHasEveryBranchWithTwoLeavesAndABud) {
    for (const double g : {1.0, 3.5}) {
        const auto tree = treeAt(g);
        ASSERT_EQ(tree.branches.size(), 7u);
        for (const auto& b : tree.branches) {
            EXPECT_DOUBLE_EQ(b.progress, 1);
            EXPECT_TRUE(b.firstLeaf);
            EXPECT_TRUE(b.secondLeaf);
            ASSERT_TRUE(b.bud);
            EXPECT_EQ(b.bud->colorIndex, size_t(b.index));
            EXPECT_EQ(b.bud->center, b.end);
        }
    }
}

TEST(GrowingTree, LeavesAndBudWaitForTheirPlaceAlongTheBranch) {
    // Branch 0's progress is (g - 0.24) / 0.12.
    const auto at = [](double p) { return *branch(treeAt(0.24 + 0.12 * p), 0); };
    EXPECT_FALSE(at(0.44).firstLeaf);
    EXPECT_TRUE(at(0.46).firstLeaf);
    EXPECT_FALSE(at(0.67).secondLeaf);
    EXPECT_TRUE(at(0.69).secondLeaf);
    EXPECT_FALSE(at(0.81).bud);
    EXPECT_TRUE(at(0.83).bud);
    // The second leaf is amber on branches 0 and 4 only.
    const auto full = treeAt(1);
    for (const auto& b : full.branches)
        EXPECT_EQ(b.secondLeaf->amber, b.index % 4 == 0) << b.index;
}

TEST(GrowingTree, NegativeAndUndefinedGrowthDrawAsZero) {
    for (const double g : {-0.5, std::nan("")}) {
        const auto tree = treeAt(g);
        EXPECT_FALSE(tree.rootProgress);
        EXPECT_TRUE(tree.branches.empty());
        EXPECT_DOUBLE_EQ(tree.crownY, 0.905 * 800);
    }
    EXPECT_LT(skyGlowOpacity(rawGrowth(-0.5)), 0.08);
    EXPECT_DOUBLE_EQ(skyGlowOpacity(rawGrowth(std::nan(""))), 0.08);
    // The glows keep growing with the raw value.
    EXPECT_GT(skyGlowOpacity(rawGrowth(2)), skyGlowOpacity(rawGrowth(1)));
}

TEST(GrowingTree, TheFirstBudIsAlwaysLit) {
    const auto litCount = [](long long buds) {
        int n = 0;
        for (const auto& b : treeAt(1, buds).branches)
            if (b.bud->lit) {
                EXPECT_LT(b.index, std::max(buds, 1LL));
                EXPECT_DOUBLE_EQ(b.bud->radius, 16);
                ++n;
            } else {
                EXPECT_DOUBLE_EQ(b.bud->radius, 11);
            }
        return n;
    };
    EXPECT_EQ(litCount(0), 1);
    EXPECT_EQ(litCount(1), 1);
    EXPECT_EQ(litCount(3), 3);
    EXPECT_EQ(litCount(7), 7);
    EXPECT_EQ(litCount(1000), 7);
    EXPECT_EQ(litCount(-4), 1);
}

TEST(GrowingTree, BranchesStartBesideTheTrunk) {
    const auto tree = treeAt(1);
    const auto* left = branch(tree, 0);
    EXPECT_DOUBLE_EQ(left->start.x, 500 - 12);  // s0 = 0.012 w
    EXPECT_LE(left->start.y, 0.78 * 800);
    // The centre branch starts right of the trunk, so its tip lies to the left
    // of its start and it bends left.
    const auto* top = branch(tree, 6);
    EXPECT_DOUBLE_EQ(top->start.x, 512);
    EXPECT_LT(top->control.x, (top->start.x + top->end.x) / 2);
    // On a wide canvas s0 stops at 16.
    EXPECT_DOUBLE_EQ(branch(treeAt(1, 0, 0, {3000, 800}), 0)->start.x, 1500 - 16);
    // The centre line follows the curve to the grown end.
    EXPECT_EQ(left->centre.front(), left->start);
    EXPECT_NEAR(left->centre.back().x, left->grownEnd.x, 1e-9);
}

TEST(GrowingTree, HeldTimeIsAStillPicture) {
    const auto a = treeAt(0.9, 3, 0), b = treeAt(0.9, 3, 0);
    ASSERT_EQ(a.branches.size(), b.branches.size());
    for (size_t i = 0; i < a.branches.size(); ++i) {
        EXPECT_EQ(a.branches[i].firstLeaf->rotation, b.branches[i].firstLeaf->rotation);
        EXPECT_EQ(a.branches[i].bud.has_value(), b.branches[i].bud.has_value());
    }
    // Time sways the leaves but never moves the branches.
    const auto later = treeAt(0.9, 3, 2.5);
    EXPECT_EQ(later.branches[0].grownEnd, a.branches[0].grownEnd);
    EXPECT_NE(later.branches[0].firstLeaf->rotation, a.branches[0].firstLeaf->rotation);
}

// --- Drift -------------------------------------------------------------------------------

TEST(ScanDrift, MotesComeFromTheHashAndWrapTopToBottom) {
    // Held at time 0 the motes sit at their hashed heights.
    EXPECT_NEAR(scanMotes(0, kSize)[4].square.y, 812 * stableUnitHash("scan", 4), 1e-9);
    for (const double t : {1.0, 90.0, 8.1e8}) {
        for (const auto& m : scanMotes(t, kSize)) {
            EXPECT_GE(m.square.y, 0);
            EXPECT_LT(m.square.y, 812);
            EXPECT_GE(m.opacity, 0.16 - 1e-12);
            EXPECT_LE(m.opacity, 0.56 + 1e-12);
        }
    }
}

TEST(ScanDrift, FallingLeavesStayInTheUpperSky) {
    for (const double t : {0.0, 7.0, 1234.5}) {
        const auto leaves = fallingLeaves(t, kSize);
        for (size_t k = 0; k < leaves.size(); ++k) {
            EXPECT_GE(leaves[k].at.y, 0.06 * 800);
            EXPECT_LT(leaves[k].at.y, 0.76 * 800);
            EXPECT_EQ(leaves[k].green, k % 2 == 0);
        }
    }
    EXPECT_NEAR(fallingLeaves(0, kSize)[1].at.y, 40 + 48, 1e-9);
}

TEST(LeafTransform, ScalesThenRotatesThenMoves) {
    const auto t = leafTransform({100, 50}, std::acos(-1.0) / 2, 0.5, 0.6);
    const Point tip = t.apply({0, -10});  // scaled to (0, -6), turned to (6, 0)
    EXPECT_NEAR(tip.x, 106, 1e-9);
    EXPECT_NEAR(tip.y, 50, 1e-9);
}
