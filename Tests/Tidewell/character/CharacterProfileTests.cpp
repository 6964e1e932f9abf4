#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "character/CharacterProfile.h"

using namespace tidewell;

namespace {
const std::regex kNameRule("^[A-Za-z0-9_.-]{3,20}$");
}

TEST(CharacterProfileJson, RoundTripsEveryField) {
    CharacterProfile p{CharacterBody::cat, -3, CharacterAccessory::crown, " Mira ", false, false, true, false, true,
                       "https://example.org/me"};
    EXPECT_EQ(decodeCharacterProfile(encodeCharacterProfile(p)), p);
}

TEST(CharacterProfileJson, OlderFormTakesTheTrimmedValidNameOrARandomOneAndAlwaysReports) {
    CharacterProfile expected;
    expected.name = "Mira_7";
    expected.isSetUp = true;
    EXPECT_EQ(decodeCharacterProfile(R"({"nickname":"","name":"  Mira_7\t","leaderboardOptIn":false})"), expected);
    for (const char* json : {R"({"name":"Byte"})", R"({"name":"ab"})", R"({})", R"({"name":"has space"})"}) {
        auto p = decodeCharacterProfile(json);
        EXPECT_NE(p.name, "Byte") << json;
        EXPECT_TRUE(std::regex_match(p.name, kNameRule)) << json << " -> " << p.name;
        EXPECT_TRUE(p.leaderboardOptIn && p.isSetUp) << json;
    }
}

TEST(CharacterProfileJson, NicknameIsKeptExactlyAndTrimmedOnlyOfSpacesAndTabsForDisplay) {
    auto p = decodeCharacterProfile(R"({"nickname":" Mira ","name":"Other"})");
    EXPECT_EQ(p.name, " Mira ");
    EXPECT_FALSE(p.leaderboardOptIn) << "opt-in defaults to false in the current form";
    EXPECT_EQ(characterDisplayName(p), "Mira");
    auto q = decodeCharacterProfile(R"({"nickname":"x","leaderboardOptIn":true,"isSetUp":false,"unknown":[1]})");
    EXPECT_TRUE(q.leaderboardOptIn && !q.isSetUp);
    q.name = "   ";
    EXPECT_EQ(characterDisplayName(q), "Byte");
    q.name = "\nOtto";
    EXPECT_EQ(characterDisplayName(q), "\nOtto");
}

// The display name drops the platform's whitespace (the tab and every space
// separator) at both ends, and nothing else: not newlines, not other
// invisible characters, not what lies between.
TEST(CharacterRules, DisplayNameTrimsTabsAndEverySpaceSeparatorButNoNewline) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"\u00A0", "Byte"},
        {"\t \u00A0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009\u200A\u202F\u205F\u3000", "Byte"},
        {"\u3000Mira\u00A0", "Mira"},
        {"\u2003\tOtto \u202F\u205F", "Otto"},
        {"Mi\u00A0ra", "Mi\u00A0ra"},
        {"\u00A0\nOtto\n\u2009", "\nOtto\n"},
        {"\u2028Otto\u200B", "\u2028Otto\u200B"},  // a line separator and a zero-width space are not spaces
        {"\u00C2\u00A0", "\u00C2"},
    };
    for (const auto& [name, shown] : cases) {
        CharacterProfile p;
        p.name = name;
        EXPECT_EQ(characterDisplayName(p), shown) << name;
    }
}

TEST(CharacterProfileJson, WrongTypesAndUnknownRawValuesAreRejected) {
    for (const char* json : {R"({"accessory":"monocle"})", R"({"colorIndex":"2"})", R"({"body":"dog"})",
                             R"({"walksOnTree":1})", R"({"nickname":5})", R"([1,2])", R"(not json)",
                             R"({"colorIndex":1.5})"}) {
        EXPECT_THROW(decodeCharacterProfile(json), std::invalid_argument) << json;
    }
}

TEST(CharacterRules, PaletteClampsStagesSizeAndNextLockedAccessoryAtTheBounds) {
    EXPECT_EQ(characterColor(CharacterProfile{.colorIndex = 9}), (RGB{0xEF, 0x9F, 0x27}));
    EXPECT_EQ(characterColor(CharacterProfile{.colorIndex = -3}), (RGB{0x7F, 0x77, 0xDD}));
    // Stage bounds differ from the accessory thresholds.
    for (auto [bytes, stage] : std::vector<std::pair<std::uint64_t, std::string>>{
             {9'999'999'999, "Tiny"}, {10'000'000'000, "Growing"}, {100'000'000'000, "Big"},
             {200'000'000'000, "Huge"}, {500'000'000'000, "Giant"}})
        EXPECT_EQ(characterGrowthStage(bytes), stage) << bytes;
    EXPECT_EQ(nextLockedAccessory(9'999'999'999), CharacterAccessory::headphones);
    EXPECT_EQ(nextLockedAccessory(10'000'000'000), CharacterAccessory::scarf);
    EXPECT_EQ(nextLockedAccessory(500'000'000'000), std::nullopt);
    // Logarithmic growth up to one.
    EXPECT_DOUBLE_EQ(characterSizeFactor(0), 0.4);
    EXPECT_NEAR(characterSizeFactor(9'000'000'000), 0.6, 1e-12);
    EXPECT_NEAR(characterSizeFactor(99'000'000'000), 0.8, 1e-12);
    EXPECT_DOUBLE_EQ(characterSizeFactor(999'000'000'000), 1.0);
    EXPECT_DOUBLE_EQ(characterSizeFactor(UINT64_MAX), 1.0);
}

TEST(CharacterRules, RandomNamesAndProfilesFollowTheRules) {
    std::set<CharacterAccessory> seenAtZero, seenAtHundred;
    for (int i = 0; i < 500; ++i) {
        auto name = randomCharacterName();
        ASSERT_TRUE(std::regex_match(name, kNameRule) && name.size() >= 11 && name.size() <= 16) << name;
        auto p = randomCharacterProfile(0);
        seenAtZero.insert(p.accessory);
        EXPECT_FALSE(p.isSetUp);
        EXPECT_TRUE(p.leaderboardOptIn && p.walksOnTree && p.showsInSidebar && p.showsOnShareCard);
        EXPECT_TRUE(p.colorIndex >= 0 && p.colorIndex <= 5) << p.colorIndex;
        seenAtHundred.insert(randomCharacterProfile(100'000'000'000).accessory);
    }
    // Only accessories already reached are worn.
    EXPECT_EQ(seenAtZero, (std::set{CharacterAccessory::none, CharacterAccessory::cap}));
    EXPECT_EQ(seenAtHundred.count(CharacterAccessory::cape) + seenAtHundred.count(CharacterAccessory::crown), 0u);
    EXPECT_EQ(seenAtHundred.count(CharacterAccessory::shades), 1u);
}
