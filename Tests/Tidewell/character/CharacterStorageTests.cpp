#include <gtest/gtest.h>

#include "Platform/foundation/TemporaryDirectory.h"
#include "character/CharacterProfile.h"
#include "foundation/UserDefaults.h"

using namespace tidewell;
using platform::UserDefaults;

namespace {
class CharacterStorage : public ::testing::Test {
protected:
    CharacterStorage() { UserDefaults::setStandard(defaults_); }
    ~CharacterStorage() override { UserDefaults::setStandard(nullptr); }

    void storeProfileJson(const std::string& json) {
        defaults_->setData(kCharacterProfileKey, std::vector<std::uint8_t>(json.begin(), json.end()));
    }
    std::string storedProfileJson() {
        auto d = defaults_->dataValue(kCharacterProfileKey);
        return d ? std::string(d->begin(), d->end()) : std::string();
    }
    std::optional<std::int64_t> celebrated() { return defaults_->integerValue(kCharacterUnlockCelebratedKey); }

    testing_support::TemporaryDirectory dir_;
    std::shared_ptr<UserDefaults> defaults_ = std::make_shared<UserDefaults>(dir_ / "defaults.json");
};
}  // namespace

TEST_F(CharacterStorage, MissingOrBrokenProfileIsReplacedByASavedRandomOneAndAGoodOneIsNotRewritten) {
    auto first = loadCharacterProfile();
    EXPECT_FALSE(first.isSetUp);
    EXPECT_EQ(decodeCharacterProfile(storedProfileJson()), first);
    EXPECT_EQ(loadCharacterProfile(), first) << "a stored profile loads unchanged";

    storeProfileJson(R"({"accessory":"monocle","nickname":"Keep"})");
    auto replaced = loadCharacterProfile();
    EXPECT_NE(replaced.name, "Keep");
    EXPECT_EQ(decodeCharacterProfile(storedProfileJson()), replaced);
    defaults_->setString(kCharacterProfileKey, R"({"nickname":"WrongKind"})");
    EXPECT_NE(loadCharacterProfile().name, "WrongKind");

    storeProfileJson(R"({"name":"Mira_7"})");
    EXPECT_EQ(loadCharacterProfile().name, "Mira_7");
    EXPECT_EQ(storedProfileJson(), R"({"name":"Mira_7"})");
}

TEST_F(CharacterStorage, LifetimeBytesReadsOnlyNonNegativeIntegers) {
    EXPECT_EQ(loadLifetimeBytes(), 0u);
    defaults_->setString(kCharacterLifetimeBytesKey, "12");
    EXPECT_EQ(loadLifetimeBytes(), 0u);
    defaults_->setInteger(kCharacterLifetimeBytesKey, -5);
    EXPECT_EQ(loadLifetimeBytes(), 0u);
    defaults_->setInteger(kCharacterLifetimeBytesKey, INT64_MAX);
    EXPECT_EQ(loadLifetimeBytes(), static_cast<std::uint64_t>(INT64_MAX));
}

TEST_F(CharacterStorage, SeedingHidesEarlierUnlocksAndCleansAnnounceOnlyTheHighest) {
    seedUnlockCelebrated(120'000'000'000);
    EXPECT_EQ(celebrated(), 100'000'000'000);
    seedUnlockCelebrated(0);  // present: left alone
    EXPECT_EQ(celebrated(), 100'000'000'000);
    EXPECT_EQ(celebrateNewUnlock(130'000'000'000), std::nullopt);
    EXPECT_EQ(celebrateNewUnlock(260'000'000'000), CharacterAccessory::cape);
    EXPECT_EQ(celebrated(), 250'000'000'000);
    EXPECT_EQ(celebrateNewUnlock(260'000'000'000), std::nullopt);
    EXPECT_EQ(celebrateNewUnlock(600'000'000'000), CharacterAccessory::crown) << "past two thresholds: the crown only";
}

TEST_F(CharacterStorage, FirstLaunchBelowTheFirstPaidThresholdSeedsZero) {
    seedUnlockCelebrated(5'000'000'000);
    EXPECT_EQ(celebrated(), 0);
}

TEST_F(CharacterStorage, UnusableCelebrationRecordCountsAsZero) {
    defaults_->setString(kCharacterUnlockCelebratedKey, "x");
    seedUnlockCelebrated(0);  // present, so untouched
    EXPECT_EQ(defaults_->stringValue(kCharacterUnlockCelebratedKey), "x");
    EXPECT_EQ(celebrateNewUnlock(0), std::nullopt) << "cap's threshold 0 is never above 0";
    EXPECT_EQ(celebrateNewUnlock(10'000'000'000), CharacterAccessory::headphones);
}
