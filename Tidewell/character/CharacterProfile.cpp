#include "character/CharacterProfile.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "foundation/Utf8.h"

namespace tidewell {

namespace {

constexpr std::array<std::string_view, 16> kAdjectives{
    "Tidy",  "Brisk",  "Swift", "Sunny", "Clever", "Plucky", "Nimble", "Quiet",
    "Cosmic", "Jolly", "Mellow", "Bold", "Lucky",  "Zippy",  "Breezy", "Crisp"};
constexpr std::array<std::string_view, 16> kNouns{
    "Otter", "Panda", "Fox",    "Koala",  "Falcon", "Badger", "Lynx", "Heron",
    "Gecko", "Bison", "Walrus", "Puffin", "Beaver", "Owl",    "Yak",  "Moose"};

using Json = nlohmann::json;

// A present key is one that is there and not null, as an optional decode sees it.
const Json* present(const Json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

bool readBool(const Json& v, const char* key) {
    if (!v.is_boolean()) throw std::invalid_argument(std::string("not a boolean: ") + key);
    return v.get<bool>();
}

std::string readString(const Json& v, const char* key) {
    if (!v.is_string()) throw std::invalid_argument(std::string("not a string: ") + key);
    return v.get<std::string>();
}

std::int64_t readInt(const Json& v, const char* key) {
    if (v.is_number_integer() && !v.is_number_unsigned()) return v.get<std::int64_t>();
    if (v.is_number_unsigned() && v.get<std::uint64_t>() <= std::uint64_t(std::numeric_limits<std::int64_t>::max()))
        return static_cast<std::int64_t>(v.get<std::uint64_t>());
    throw std::invalid_argument(std::string("not an integer: ") + key);
}

}  // namespace

std::string_view rawValue(CharacterBody body) {
    switch (body) {
        case CharacterBody::robot: return "robot";
        case CharacterBody::blob: return "blob";
        case CharacterBody::cat: return "cat";
    }
    return "robot";
}

std::string_view rawValue(CharacterAccessory accessory) {
    switch (accessory) {
        case CharacterAccessory::none: return "none";
        case CharacterAccessory::cap: return "cap";
        case CharacterAccessory::headphones: return "headphones";
        case CharacterAccessory::scarf: return "scarf";
        case CharacterAccessory::shades: return "shades";
        case CharacterAccessory::cape: return "cape";
        case CharacterAccessory::crown: return "crown";
    }
    return "none";
}

std::optional<CharacterBody> characterBodyFromRaw(std::string_view raw) {
    for (auto b : allCharacterBodies)
        if (rawValue(b) == raw) return b;
    return std::nullopt;
}

std::optional<CharacterAccessory> characterAccessoryFromRaw(std::string_view raw) {
    for (auto a : allCharacterAccessories)
        if (rawValue(a) == raw) return a;
    return std::nullopt;
}

std::string_view title(CharacterBody body) {
    switch (body) {
        case CharacterBody::robot: return "Robot";
        case CharacterBody::blob: return "Blob";
        case CharacterBody::cat: return "Cat";
    }
    return "Robot";
}

std::string_view title(CharacterAccessory accessory) {
    switch (accessory) {
        case CharacterAccessory::none: return "None";
        case CharacterAccessory::cap: return "Cap";
        case CharacterAccessory::headphones: return "Headphones";
        case CharacterAccessory::scarf: return "Scarf";
        case CharacterAccessory::shades: return "Shades";
        case CharacterAccessory::cape: return "Cape";
        case CharacterAccessory::crown: return "Crown";
    }
    return "None";
}

std::int64_t unlockThreshold(CharacterAccessory accessory) {
    return accessoryUnlockThresholds[static_cast<std::size_t>(accessory)];
}

std::string encodeCharacterProfile(const CharacterProfile& p) {
    Json j = Json::object();
    j["body"] = rawValue(p.body);
    j["colorIndex"] = p.colorIndex;
    j["accessory"] = rawValue(p.accessory);
    j["nickname"] = p.name;
    j["walksOnTree"] = p.walksOnTree;
    j["showsInSidebar"] = p.showsInSidebar;
    j["showsOnShareCard"] = p.showsOnShareCard;
    j["leaderboardOptIn"] = p.leaderboardOptIn;
    j["isSetUp"] = p.isSetUp;
    j["profileLink"] = p.profileLink;
    // Invalid UTF-8 in a name is replaced rather than failing the whole save.
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

namespace {
// The keys of the profile's older form, read and never written.
struct LegacyKeys {
    static constexpr const char* name = "name";
};
}  // namespace

CharacterProfile decodeCharacterProfile(std::string_view text) {
    Json j;
    try {
        j = Json::parse(text);
    } catch (const Json::exception& e) {
        throw std::invalid_argument(e.what());
    }
    if (!j.is_object()) throw std::invalid_argument("not an object");

    CharacterProfile p;
    p.body = CharacterBody::robot;
    p.colorIndex = 0;
    p.accessory = CharacterAccessory::cap;
    p.walksOnTree = p.showsInSidebar = p.showsOnShareCard = p.leaderboardOptIn = true;
    p.isSetUp = false;
    p.profileLink.clear();

    if (auto v = present(j, "body")) {
        auto b = characterBodyFromRaw(readString(*v, "body"));
        if (!b) throw std::invalid_argument("unknown body");
        p.body = *b;
    }
    if (auto v = present(j, "colorIndex")) p.colorIndex = readInt(*v, "colorIndex");
    if (auto v = present(j, "accessory")) {
        auto a = characterAccessoryFromRaw(readString(*v, "accessory"));
        if (!a) throw std::invalid_argument("unknown accessory");
        p.accessory = *a;
    }
    if (auto v = present(j, "walksOnTree")) p.walksOnTree = readBool(*v, "walksOnTree");
    if (auto v = present(j, "showsInSidebar")) p.showsInSidebar = readBool(*v, "showsInSidebar");
    if (auto v = present(j, "showsOnShareCard")) p.showsOnShareCard = readBool(*v, "showsOnShareCard");

    std::string nickname;
    if (auto v = present(j, "nickname")) nickname = readString(*v, "nickname");
    if (!nickname.empty()) {
        p.name = nickname;
        p.leaderboardOptIn = false;
        if (auto v = present(j, "leaderboardOptIn")) p.leaderboardOptIn = readBool(*v, "leaderboardOptIn");
    } else {
        // The older form kept the name under "name" and always reported.
        std::string legacy;
        if (auto v = present(j, LegacyKeys::name)) legacy = readString(*v, LegacyKeys::name);
        legacy = trimmedCharacterName(legacy);
        p.name = (isValidCharacterName(legacy) && legacy != "Byte") ? legacy : randomCharacterName();
        p.leaderboardOptIn = true;
    }

    p.isSetUp = true;
    if (auto v = present(j, "isSetUp")) p.isSetUp = readBool(*v, "isSetUp");
    if (auto v = present(j, "profileLink")) p.profileLink = readString(*v, "profileLink");
    return p;
}

bool isValidCharacterName(std::string_view name) {
    if (name.size() < 3 || name.size() > 20) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '.' || c == '-';
    });
}

std::uint64_t uniformRandomBelow(std::uint64_t n) {
    static thread_local std::mt19937_64 engine{std::random_device{}()};
    // The distribution rejects the biased low range, so every value is equally likely.
    return std::uniform_int_distribution<std::uint64_t>(0, n - 1)(engine);
}

std::string randomCharacterName() {
    std::string name(kAdjectives[uniformRandomBelow(kAdjectives.size())]);
    name += kNouns[uniformRandomBelow(kNouns.size())];
    name += std::to_string(1000 + uniformRandomBelow(9000));
    return name;
}

CharacterProfile randomCharacterProfile(std::uint64_t lifetimeBytes) {
    CharacterProfile p;
    p.name = randomCharacterName();
    p.body = allCharacterBodies[uniformRandomBelow(allCharacterBodies.size())];
    p.colorIndex = static_cast<std::int64_t>(uniformRandomBelow(characterPalette.size()));
    std::vector<CharacterAccessory> reached;
    for (auto a : allCharacterAccessories)
        if (static_cast<std::uint64_t>(unlockThreshold(a)) <= lifetimeBytes) reached.push_back(a);
    p.accessory = reached[uniformRandomBelow(reached.size())];
    p.walksOnTree = p.showsInSidebar = p.showsOnShareCard = p.leaderboardOptIn = true;
    p.isSetUp = false;
    p.profileLink.clear();
    return p;
}

std::string trimmedCharacterName(std::string_view name) { return platform::trimmedOfWhitespace(name); }

std::string characterDisplayName(const CharacterProfile& profile) {
    auto trimmed = trimmedCharacterName(profile.name);
    return trimmed.empty() ? std::string("Byte") : trimmed;
}

RGB characterColor(const CharacterProfile& profile) {
    const auto i = std::clamp<std::int64_t>(profile.colorIndex, 0, characterPalette.size() - 1);
    return characterPalette[static_cast<std::size_t>(i)];
}

std::optional<CharacterAccessory> nextLockedAccessory(std::uint64_t lifetimeBytes) {
    for (auto a : allCharacterAccessories)
        if (static_cast<std::uint64_t>(unlockThreshold(a)) > lifetimeBytes) return a;
    return std::nullopt;
}

CharacterAccessory highestUnlockedAccessory(std::uint64_t lifetimeBytes) {
    for (auto it = allCharacterAccessories.rbegin(); it != allCharacterAccessories.rend(); ++it)
        if (static_cast<std::uint64_t>(unlockThreshold(*it)) <= lifetimeBytes) return *it;
    return CharacterAccessory::cap;
}

std::string characterGrowthStage(std::uint64_t lifetimeBytes) {
    const double gb = static_cast<double>(lifetimeBytes) / 1e9;
    if (gb < 10) return "Tiny";
    if (gb < 50) return "Growing";
    if (gb < 200) return "Big";
    if (gb < 500) return "Huge";
    return "Giant";
}

double characterSizeFactor(std::uint64_t lifetimeBytes) {
    const double gb = static_cast<double>(lifetimeBytes) / 1e9;
    return std::min(1.0, 0.4 + 0.6 * std::log10(1.0 + gb) / 3.0);
}

}  // namespace tidewell
