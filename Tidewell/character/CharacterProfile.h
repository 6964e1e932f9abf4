#pragma once
// The user's character: its value types, their JSON form in the user defaults,
// the random character, the palette, the lifetime total's unlock thresholds and
// growth stages, and the record of which unlock was last announced.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

enum class CharacterBody { robot, blob, cat };
enum class CharacterAccessory { none, cap, headphones, scarf, shades, cape, crown };

inline constexpr std::array<CharacterBody, 3> allCharacterBodies{
    CharacterBody::robot, CharacterBody::blob, CharacterBody::cat};
inline constexpr std::array<CharacterAccessory, 7> allCharacterAccessories{
    CharacterAccessory::none,   CharacterAccessory::cap,  CharacterAccessory::headphones,
    CharacterAccessory::scarf,  CharacterAccessory::shades, CharacterAccessory::cape,
    CharacterAccessory::crown};

std::string_view rawValue(CharacterBody body);
std::string_view rawValue(CharacterAccessory accessory);
std::optional<CharacterBody> characterBodyFromRaw(std::string_view raw);
std::optional<CharacterAccessory> characterAccessoryFromRaw(std::string_view raw);
std::string_view title(CharacterBody body);
std::string_view title(CharacterAccessory accessory);

struct CharacterProfile {
    CharacterBody body = CharacterBody::robot;
    std::int64_t colorIndex = 0;
    CharacterAccessory accessory = CharacterAccessory::cap;
    std::string name;
    bool walksOnTree = true;
    bool showsInSidebar = true;
    bool showsOnShareCard = true;
    bool leaderboardOptIn = true;
    bool isSetUp = false;
    std::string profileLink;

    bool operator==(const CharacterProfile&) const = default;
};

// The last clean's moved bytes, shown as the character's meal.
struct CharacterMeal {
    std::uint64_t bytes = 0;
    std::chrono::system_clock::time_point at;

    bool operator==(const CharacterMeal&) const = default;
};

struct RGB {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const RGB&) const = default;
};

inline constexpr std::array<RGB, 6> characterPalette{{
    {0x7F, 0x77, 0xDD}, {0x1D, 0x9E, 0x75}, {0xD8, 0x5A, 0x30},
    {0xD4, 0x53, 0x7E}, {0x37, 0x8A, 0xDD}, {0xEF, 0x9F, 0x27}}};

inline constexpr std::array<std::int64_t, 7> accessoryUnlockThresholds{
    0, 0, 10'000'000'000, 50'000'000'000, 100'000'000'000, 250'000'000'000, 500'000'000'000};

std::int64_t unlockThreshold(CharacterAccessory accessory);

inline constexpr std::string_view kCharacterProfileKey = "character.profile";
inline constexpr std::string_view kCharacterLifetimeBytesKey = "character.lifetimeBytes";
inline constexpr std::string_view kCharacterUnlockCelebratedKey = "character.unlockCelebrated";

// JSON form. Encoding writes all ten keys; decoding follows the stored form's
// rules, including the older form that kept the name under "name". Decoding
// throws std::invalid_argument when the data is not a valid profile.
std::string encodeCharacterProfile(const CharacterProfile& profile);
CharacterProfile decodeCharacterProfile(std::string_view json);

// The whole name matches ^[A-Za-z0-9_.-]{3,20}$.
bool isValidCharacterName(std::string_view name);

std::string randomCharacterName();
CharacterProfile randomCharacterProfile(std::uint64_t lifetimeBytes);
// A uniform draw below n (n > 0) from the system's random source.
std::uint64_t uniformRandomBelow(std::uint64_t n);

// The name without the tab and the space separators (no-break, ideographic,
// thin …) at either end; newlines stay. Shown, checked, loaded and sent so.
std::string trimmedCharacterName(std::string_view name);
// The trimmed name, or "Byte" when nothing is left.
std::string characterDisplayName(const CharacterProfile& profile);
RGB characterColor(const CharacterProfile& profile);

std::optional<CharacterAccessory> nextLockedAccessory(std::uint64_t lifetimeBytes);
std::string characterGrowthStage(std::uint64_t lifetimeBytes);
double characterSizeFactor(std::uint64_t lifetimeBytes);

// The highest accessory whose threshold the total reaches (at least cap).
CharacterAccessory highestUnlockedAccessory(std::uint64_t lifetimeBytes);

// Persistence in the standard user defaults.
void saveCharacterProfile(const CharacterProfile& profile);
CharacterProfile loadCharacterProfile();
std::uint64_t loadLifetimeBytes();
void seedUnlockCelebrated(std::uint64_t lifetimeBytes);
std::optional<CharacterAccessory> celebrateNewUnlock(std::uint64_t lifetimeBytes);

}  // namespace tidewell
