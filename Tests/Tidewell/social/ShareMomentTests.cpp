#include <gtest/gtest.h>

#include "Platform/foundation/TemporaryDirectory.h"
#include "foundation/UserDefaults.h"
#include "social/ShareMoment.h"
#include "social/SocialServices.h"

using namespace tidewell;
using platform::UserDefaults;

namespace {
class ShareMilestones : public ::testing::Test {
protected:
    ShareMilestones() { UserDefaults::setStandard(defaults_); }
    ~ShareMilestones() override { UserDefaults::setStandard(nullptr); }
    std::optional<std::int64_t> stored() { return defaults_->integerValue(kShareMilestoneCelebratedKey); }

    testing_support::TemporaryDirectory dir_;
    std::shared_ptr<UserDefaults> defaults_ = std::make_shared<UserDefaults>(dir_ / "defaults.json");
};
constexpr std::int64_t GB = 1'000'000'000;
}  // namespace

TEST_F(ShareMilestones, FirstLaunchSeedsThePassedMilestoneAndLaterCleansAnnounceNewOnes) {
    seedShareMilestone(60 * GB);
    EXPECT_EQ(stored(), 50 * GB);
    EXPECT_EQ(nextShareMilestone(70 * GB), std::nullopt);
    EXPECT_EQ(nextShareMilestone(100 * GB), 100 * GB) << "a total of exactly a milestone passes it";
    EXPECT_EQ(stored(), 100 * GB);
    seedShareMilestone(999 * GB);  // a second launch changes nothing
    EXPECT_EQ(stored(), 100 * GB);
    EXPECT_EQ(nextShareMilestone(260 * GB), 250 * GB) << "one clean across several announces only the highest";
    EXPECT_EQ(nextShareMilestone(260 * GB), std::nullopt);
}

TEST_F(ShareMilestones, BelowTheFirstMilestoneSeedsZero) {
    seedShareMilestone(GB - 1);
    EXPECT_EQ(stored(), 0);
    EXPECT_EQ(nextShareMilestone(GB - 1), std::nullopt);
    EXPECT_EQ(nextShareMilestone(5 * GB), GB);
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
    using Kind = ShareMoment::Kind;
    EXPECT_EQ(ShareMoment::make(Kind::clean, 2 * GB, 3).defaultHeading(), "I just freed 2 GB of build files on my computer");
    EXPECT_EQ(ShareMoment::make(Kind::total, 2 * GB, 3).defaultHeading(), "I\u2019ve freed 2 GB of build files on my computer");
    EXPECT_EQ(ShareMoment::make(Kind::milestone, 2 * GB, 3).defaultHeading(),
              "I just passed 2 GB of build files cleared from my computer");
    auto a = ShareMoment::make(Kind::clean, 1, 1), b = ShareMoment::make(Kind::clean, 1, 1);
    EXPECT_NE(a.id, b.id);
    EXPECT_EQ(a.id.size(), 36u);
}
