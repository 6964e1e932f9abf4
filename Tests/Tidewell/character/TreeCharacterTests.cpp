// The tree character's pose: where it stands, when it speaks, which layer draws it.
#include <cmath>

#include <gtest/gtest.h>

#include "character/TreeCharacterView.h"

using namespace tidewell;

namespace {

const platform::ui::Size size{800, 400};
const double ground = 0.905 * 400;

std::vector<TreePerch> perches(int n) {
    std::vector<TreePerch> out;
    for (int i = 0; i < n; ++i) out.push_back({"Stack" + std::to_string(i), "1 GB · Idle", {100.0 + 150 * i, 200.0 - 20 * i}, 30});
    return out;
}

bool onPerch(const TreeCharacterView::Pose& p, const std::vector<TreePerch>& list) {
    for (const auto& q : list)
        if (p.feet.x == q.center.x && p.feet.y == q.center.y - q.radius + 3) return true;
    return false;
}

TEST(TreeCharacterPoseTest, WithoutPerchesItOnlyWalksOnTheGroundInFront) {
    for (double t = 0; t < 700; t += 0.37) {
        const auto pose = treeCharacterPose({}, size, t, false, 0);
        ASSERT_GE(pose.feet.y, ground - 3 - 1e-9) << t;
        ASSERT_LE(pose.feet.y, ground + 1e-9) << t;
        ASSERT_FALSE(pose.behind) << t;
    }
}

// The previous segment's raw pick, as the rule states it.
int rawPick(int seg, int n) {
    const double x = std::sin(seg * 12.9898 + 2 * 78.233) * 43758.5453;
    return int((x - std::floor(x)) * n) % n;
}

TEST(TreeCharacterPoseTest, APerchStopNeverRepeatsThePreviousRawPickAndASinglePerchIsAlwaysTheStop) {
    for (int n : {1, 2, 5}) {
        const auto list = perches(n);
        int perchStops = 0;
        for (int seg = 0; seg < 300; ++seg) {
            const auto pose = treeCharacterPose(list, size, seg * 7.0 + 6.9, false, 0);  // idle at the stop
            if (!onPerch(pose, list)) continue;
            ++perchStops;
            const int index = int((pose.feet.x - 100) / 150);
            if (n > 1) EXPECT_NE(index, rawPick(seg - 1, n)) << "segment " << seg;
            else EXPECT_EQ(index, 0);
        }
        EXPECT_GT(perchStops, 50) << n;
    }
}

TEST(TreeCharacterPoseTest, ReduceMotionStandsStillFacingRightWithoutWords) {
    for (double t : {0.0, 3.3, 123.4}) {
        const auto pose = treeCharacterPose(perches(3), size, t, true, 5);
        EXPECT_EQ(pose.feet, (platform::ui::Point{0.16 * 800, ground}));
        EXPECT_EQ(pose.facing, 1);
        EXPECT_EQ(pose.squash, 1);
        EXPECT_FALSE(pose.line || pose.behind);
    }
}

TEST(TreeCharacterPoseTest, GroundSpeechOnlyInEveryThirdSegmentAfterArriving) {
    const std::string ready = "2.5 GB is ready to clean";
    int spoken = 0;
    for (double t = 0; t < 2100; t += 0.1) {
        const auto pose = treeCharacterPose({}, size, t, false, 2'500'000'000);
        const double seg = std::floor(t / 7), local = t - 7 * seg;
        if (!pose.line) continue;
        ++spoken;
        EXPECT_EQ(*pose.line, ready);
        EXPECT_EQ(std::fmod(seg, 3), 0) << t;
        EXPECT_LT(local, 6.6) << t;
        EXPECT_GT(local, 1.2 + 0.4) << t;  // a walk takes at least 1.2 s
    }
    EXPECT_GT(spoken, 100);
    for (double t = 0; t < 70; t += 0.1) {
        if (auto line = treeCharacterPose({}, size, t, false, 0).line) {
            EXPECT_EQ(*line, "All clean. Nice.");
        }
    }
}

TEST(TreeCharacterPoseTest, PassesBehindTheBubblesOnlyWhileBelowThePerchTop) {
    const auto list = perches(3);
    int behind = 0;
    for (double t = 0; t < 1400; t += 0.02) {
        const auto pose = treeCharacterPose(list, size, t, false, 0);
        if (!pose.behind) continue;
        ++behind;
        double highestTop = INFINITY;
        for (const auto& q : list) highestTop = std::min(highestTop, q.center.y - q.radius + 3);
        EXPECT_GT(pose.feet.y, highestTop + 2) << t;
        EXPECT_FALSE(pose.line);
    }
    EXPECT_GT(behind, 0);
}

// Idle on a perch, the character names it in the segments whose noise(seg, 3)
// is under 0.55 and keeps quiet in the others; no pointer is involved.
TEST(TreeCharacterPoseTest, NamesItsPerchInTheSegmentsTheNoisePicks) {
    const auto list = perches(3);
    int named = 0, quiet = 0;
    for (int seg = 1; seg < 400; ++seg) {
        const auto pose = treeCharacterPose(list, size, seg * 7.0 + 6.5, false, 0);  // idle, inside the speaking time
        if (!onPerch(pose, list)) continue;
        const int index = int((pose.feet.x - 100) / 150);
        const double x = std::sin(seg * 12.9898 + 3 * 78.233) * 43758.5453;
        if (x - std::floor(x) < 0.55) {
            ++named;
            EXPECT_EQ(pose.line, std::optional<std::string>(list[std::size_t(index)].title + " · 1 GB · Idle")) << seg;
        } else {
            ++quiet;
            EXPECT_EQ(pose.line, std::nullopt) << seg;
        }
    }
    EXPECT_GT(named, 50);
    EXPECT_GT(quiet, 50);
}

}  // namespace
