#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "character/CharacterProfile.h"

using namespace tidewell;

namespace {
const std::regex kNameRule("^[A-Za-z0-9_.-]{3,20}$");
}

TEST(CharacterProfileJson, RoundTripsEveryField) {
    CharacterProfile p;
    p.body = CharacterBody::cat;
    p.colorIndex = -3;
    p.accessory = CharacterAccessory::crown;
    p.name = " Mira ";
    p.walksOnTree = false;
    p.showsInSidebar = false;
    p.showsOnShareCard = true;
    p.leaderboardOptIn = false;
    p.isSetUp = true;
    p.profileLink = "https://example.org/me";
    EXPECT_EQ(decodeCharacterProfile(encodeCharacterProfile(p)), p);
}

TEST(CharacterProfileJson, OlderFormTakesTheTrimmedValidNameAndAlwaysReports) {
    auto p = decodeCharacterProfile(R"({"nickname":"","name":"  Mira_7\t","leaderboardOptIn":false})");
    EXPECT_EQ(p.name, "Mira_7");
    EXPECT_TRUE(p.leaderboardOptIn);
    EXPECT_EQ(p.body, CharacterBody::robot);
    EXPECT_EQ(p.colorIndex, 0);
    EXPECT_EQ(p.accessory, CharacterAccessory::cap);
    EXPECT_TRUE(p.isSetUp);
    EXPECT_EQ(p.profileLink, "");
}

TEST(CharacterProfileJson, OlderFormWithUnusableNameGetsARandomName) {
    for (const char* json : {R"({"name":"Byte"})", R"({"name":"ab"})", R"({})", R"({"name":"has space"})"}) {
        auto p = decodeCharacterProfile(json);
        EXPECT_NE(p.name, "Byte") << json;
        EXPECT_TRUE(std::regex_match(p.name, kNameRule)) << json << " -> " << p.name;
        EXPECT_TRUE(p.leaderboardOptIn) << json;
        EXPECT_TRUE(p.isSetUp) << json;
    }
}

TEST(CharacterProfileJson, NicknameIsKeptExactlyAndOptInDefaultsToFalse) {
    auto p = decodeCharacterProfile(R"({"nickname":" Mira ","name":"Other"})");
    EXPECT_EQ(p.name, " Mira ");
    EXPECT_FALSE(p.leaderboardOptIn);
    EXPECT_EQ(characterDisplayName(p), "Mira");
    auto q = decodeCharacterProfile(R"({"nickname":"x","leaderboardOptIn":true,"isSetUp":false,"unknown":[1]})");
    EXPECT_TRUE(q.leaderboardOptIn);
    EXPECT_FALSE(q.isSetUp);
}

TEST(CharacterProfileJson, WrongTypesAndUnknownRawValuesAreRejected) {
    for (const char* json : {R"({"accessory":"monocle"})", R"({"colorIndex":"2"})", R"({"body":"dog"})",
                             R"({"walksOnTree":1})", R"({"nickname":5})", R"([1,2])", R"(not json)",
                             R"({"colorIndex":1.5})"}) {
        EXPECT_THROW(decodeCharacterProfile(json), std::invalid_argument) << json;
    }
}

TEST(CharacterRules, PaletteClampsWhereAColourIsTaken) {
    CharacterProfile p;
    p.colorIndex = 9;
    EXPECT_EQ(characterColor(p), (RGB{0xEF, 0x9F, 0x27}));
    p.colorIndex = -3;
    EXPECT_EQ(characterColor(p), (RGB{0x7F, 0x77, 0xDD}));
}

TEST(CharacterRules, DisplayNameTrimsOnlySpacesAndTabs) {
    CharacterProfile p;
    p.name = "   ";
    EXPECT_EQ(characterDisplayName(p), "Byte");
    p.name = "\nOtto";
    EXPECT_EQ(characterDisplayName(p), "\nOtto");
}

TEST(CharacterRules, StagesAndNextLockedAccessoryAtTheBounds) {
    EXPECT_EQ(characterGrowthStage(9'999'999'999), "Tiny");
    EXPECT_EQ(nextLockedAccessory(9'999'999'999), CharacterAccessory::headphones);
    EXPECT_EQ(characterGrowthStage(10'000'000'000), "Growing");
    EXPECT_EQ(nextLockedAccessory(10'000'000'000), CharacterAccessory::scarf);
    EXPECT_EQ(characterGrowthStage(100'000'000'000), "Big");  // stage bounds differ from thresholds
    EXPECT_EQ(characterGrowthStage(200'000'000'000), "Huge");
    EXPECT_EQ(characterGrowthStage(500'000'000'000), "Giant");
    EXPECT_EQ(nextLockedAccessory(500'000'000'000), std::nullopt);
}

TEST(CharacterRules, SizeFactorGrowsLogarithmicallyToOne) {
    EXPECT_DOUBLE_EQ(characterSizeFactor(0), 0.4);
    EXPECT_NEAR(characterSizeFactor(9'000'000'000), 0.6, 1e-12);
    EXPECT_NEAR(characterSizeFactor(99'000'000'000), 0.8, 1e-12);
    EXPECT_DOUBLE_EQ(characterSizeFactor(999'000'000'000), 1.0);
    EXPECT_DOUBLE_EQ(characterSizeFactor(UINT64_MAX), 1.0);
}

TEST(CharacterRules, RandomNamesFollowTheNameRule) {
    for (int i = 0; i < 500; ++i) {
        auto name = randomCharacterName();
        ASSERT_TRUE(std::regex_match(name, kNameRule)) << name;
        ASSERT_GE(name.size(), 11u);
        ASSERT_LE(name.size(), 16u);
    }
}

TEST(CharacterRules, RandomProfileOnlyWearsReachedAccessories) {
    std::set<CharacterAccessory> seenAtZero, seenAtHundred;
    for (int i = 0; i < 400; ++i) {
        auto p = randomCharacterProfile(0);
        seenAtZero.insert(p.accessory);
        EXPECT_FALSE(p.isSetUp);
        EXPECT_TRUE(p.leaderboardOptIn && p.walksOnTree && p.showsInSidebar && p.showsOnShareCard);
        EXPECT_GE(p.colorIndex, 0);
        EXPECT_LE(p.colorIndex, 5);
        seenAtHundred.insert(randomCharacterProfile(100'000'000'000).accessory);
    }
    EXPECT_EQ(seenAtZero, (std::set{CharacterAccessory::none, CharacterAccessory::cap}));
    EXPECT_EQ(seenAtHundred.count(CharacterAccessory::cape), 0u);
    EXPECT_EQ(seenAtHundred.count(CharacterAccessory::crown), 0u);
    EXPECT_EQ(seenAtHundred.count(CharacterAccessory::shades), 1u);
}
