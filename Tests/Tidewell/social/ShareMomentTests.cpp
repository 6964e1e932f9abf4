#include <filesystem>

#include <gtest/gtest.h>

#include "foundation/UserDefaults.h"
#include "social/ShareMoment.h"
#include "social/SocialServices.h"

using namespace tidewell;
using platform::UserDefaults;

namespace {
class ShareMilestones : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tidewell-share-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        defaults_ = std::make_shared<UserDefaults>((dir_ / "defaults.json").string());
        UserDefaults::setStandard(defaults_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::optional<std::int64_t> stored() { return defaults_->integerValue(kShareMilestoneCelebratedKey); }

    std::filesystem::path dir_;
    std::shared_ptr<UserDefaults> defaults_;
};
constexpr std::uint64_t GB = 1'000'000'000ULL;
}  // namespace

TEST_F(ShareMilestones, FirstLaunchSeedsThePassedMilestoneAndLaterCleansAnnounceNewOnes) {
    seedShareMilestone(60 * GB);
    EXPECT_EQ(stored(), 50 * static_cast<std::int64_t>(GB));
    EXPECT_EQ(nextShareMilestone(70 * GB), std::nullopt);
    EXPECT_EQ(nextShareMilestone(100 * GB), 100 * GB) << "a total of exactly a milestone passes it";
    EXPECT_EQ(stored(), 100 * static_cast<std::int64_t>(GB));
    seedShareMilestone(999 * GB);  // a second launch changes nothing
    EXPECT_EQ(stored(), 100 * static_cast<std::int64_t>(GB));
}

TEST_F(ShareMilestones, BelowTheFirstMilestoneSeedsZero) {
    seedShareMilestone(GB - 1);
    EXPECT_EQ(stored(), 0);
    EXPECT_EQ(nextShareMilestone(GB - 1), std::nullopt);
    EXPECT_EQ(nextShareMilestone(5 * GB), GB);
}

TEST_F(ShareMilestones, OneCleanAcrossSeveralMilestonesAnnouncesOnlyTheHighest) {
    defaults_->setInteger(kShareMilestoneCelebratedKey, 10 * static_cast<std::int64_t>(GB));
    EXPECT_EQ(nextShareMilestone(260 * GB), 250 * GB);
    EXPECT_EQ(nextShareMilestone(260 * GB), std::nullopt);
}

TEST_F(ShareMilestones, UnusableRecordCountsAsZeroButStaysForSeeding) {
    defaults_->setString(kShareMilestoneCelebratedKey, "oops");
    seedShareMilestone(60 * GB);
    EXPECT_EQ(defaults_->stringValue(kShareMilestoneCelebratedKey), "oops");
    EXPECT_EQ(nextShareMilestone(GB), GB);
    defaults_->setInteger(kShareMilestoneCelebratedKey, -4);
    EXPECT_EQ(nextShareMilestone(GB), GB);
}

TEST(ShareMoment, HeadingsShareTheByteTextAndDifferInTheirWords) {
    auto clean = ShareMoment::make(ShareMoment::Kind::clean, 2 * GB, 3);
    auto total = ShareMoment::make(ShareMoment::Kind::total, 2 * GB, 3);
    auto milestone = ShareMoment::make(ShareMoment::Kind::milestone, 2 * GB, 3);
    EXPECT_EQ(clean.defaultHeading(), "I just freed 2 GB of build files on my computer");
    EXPECT_EQ(total.defaultHeading(), "I\u2019ve freed 2 GB of build files on my computer");
    EXPECT_EQ(milestone.defaultHeading(), "I just passed 2 GB of build files cleared from my computer");
    EXPECT_NE(clean.id, total.id);
    EXPECT_EQ(clean.id.size(), 36u);
}

TEST(SocialServices, LeaderboardReportIsScheduledOnlyForOptedInProfiles) {
    int calls = 0;
    double delay = 0;
    socialHooks().leaderboardSync = [&](const CharacterProfile&, std::uint64_t, double d) {
        ++calls;
        delay = d;
    };
    CharacterProfile p;
    p.leaderboardOptIn = false;
    leaderboardSync(p, 1, 5.0);
    p.leaderboardOptIn = true;
    leaderboardSync(p, 1, 2.0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(delay, 2.0);
    socialHooks() = {};
    leaderboardSync(p, 1, 2.0);  // no hook installed: nothing happens
    EXPECT_FALSE(findMainWindow());
    EXPECT_FALSE(captureMainWindowImage().has_value());
}
