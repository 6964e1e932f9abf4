#include <filesystem>

#include <gtest/gtest.h>

#include "character/CharacterProfile.h"
#include "foundation/UserDefaults.h"

using namespace tidewell;
using platform::UserDefaults;

namespace {
class CharacterStorage : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tidewell-character-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        defaults_ = std::make_shared<UserDefaults>((dir_ / "defaults.json").string());
        UserDefaults::setStandard(defaults_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    void storeProfileJson(const std::string& json) {
        defaults_->setData(kCharacterProfileKey, std::vector<std::uint8_t>(json.begin(), json.end()));
    }
    std::string storedProfileJson() {
        auto d = defaults_->dataValue(kCharacterProfileKey);
        return d ? std::string(d->begin(), d->end()) : std::string();
    }

    std::filesystem::path dir_;
    std::shared_ptr<UserDefaults> defaults_;
};
}  // namespace

TEST_F(CharacterStorage, MissingOrBrokenProfileIsReplacedByASavedRandomOne) {
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
}

TEST_F(CharacterStorage, DecodableProfileIsNotWrittenBack) {
    storeProfileJson(R"({"name":"Mira_7"})");
    auto p = loadCharacterProfile();
    EXPECT_EQ(p.name, "Mira_7");
    EXPECT_EQ(storedProfileJson(), R"({"name":"Mira_7"})");
}

TEST_F(CharacterStorage, LifetimeBytesReadsOnlyNonNegativeIntegers) {
    EXPECT_EQ(loadLifetimeBytes(), 0u);
    defaults_->setInteger(kCharacterLifetimeBytesKey, -5);
    EXPECT_EQ(loadLifetimeBytes(), 0u);
    defaults_->setString(kCharacterLifetimeBytesKey, "12");
    EXPECT_EQ(loadLifetimeBytes(), 0u);
    defaults_->setInteger(kCharacterLifetimeBytesKey, INT64_MAX);
    EXPECT_EQ(loadLifetimeBytes(), static_cast<std::uint64_t>(INT64_MAX));
}

TEST_F(CharacterStorage, SeedingHidesEarlierUnlocksAndCleansAnnounceOnlyTheHighest) {
    seedUnlockCelebrated(120'000'000'000);
    EXPECT_EQ(defaults_->integerValue(kCharacterUnlockCelebratedKey), 100'000'000'000);
    seedUnlockCelebrated(0);  // present: left alone
    EXPECT_EQ(defaults_->integerValue(kCharacterUnlockCelebratedKey), 100'000'000'000);
    EXPECT_EQ(celebrateNewUnlock(130'000'000'000), std::nullopt);
    EXPECT_EQ(celebrateNewUnlock(260'000'000'000), CharacterAccessory::cape);
    EXPECT_EQ(defaults_->integerValue(kCharacterUnlockCelebratedKey), 250'000'000'000);
    EXPECT_EQ(celebrateNewUnlock(260'000'000'000), std::nullopt);
}

TEST_F(CharacterStorage, FirstCleanPastSeveralThresholdsAnnouncesTheCrownOnly) {
    seedUnlockCelebrated(5'000'000'000);
    EXPECT_EQ(defaults_->integerValue(kCharacterUnlockCelebratedKey), 0);
    EXPECT_EQ(celebrateNewUnlock(600'000'000'000), CharacterAccessory::crown);
}

TEST_F(CharacterStorage, UnusableCelebrationRecordCountsAsZero) {
    defaults_->setString(kCharacterUnlockCelebratedKey, "x");
    seedUnlockCelebrated(0);  // present, so untouched
    EXPECT_EQ(defaults_->stringValue(kCharacterUnlockCelebratedKey), "x");
    EXPECT_EQ(celebrateNewUnlock(0), std::nullopt) << "cap's threshold 0 is never above 0";
    EXPECT_EQ(celebrateNewUnlock(10'000'000'000), CharacterAccessory::headphones);
}
