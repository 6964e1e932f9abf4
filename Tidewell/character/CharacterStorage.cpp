// The character's records in the standard user defaults.

#include <vector>

#include "character/CharacterProfile.h"
#include "foundation/UserDefaults.h"

namespace tidewell {

void saveCharacterProfile(const CharacterProfile& profile) {
    std::string json;
    try {
        json = encodeCharacterProfile(profile);
    } catch (...) {
        return;  // the previous stored profile stays
    }
    platform::UserDefaults::standard()->setData(kCharacterProfileKey,
                                                std::vector<std::uint8_t>(json.begin(), json.end()));
}

CharacterProfile loadCharacterProfile() {
    auto defaults = platform::UserDefaults::standard();
    if (auto data = defaults->dataValue(kCharacterProfileKey)) {
        try {
            return decodeCharacterProfile(std::string(data->begin(), data->end()));
        } catch (const std::exception&) {
        }
    }
    auto fresh = randomCharacterProfile(0);
    saveCharacterProfile(fresh);
    return fresh;
}

std::uint64_t loadLifetimeBytes() {
    auto value = platform::UserDefaults::standard()->integerValue(kCharacterLifetimeBytesKey);
    if (!value || *value < 0) return 0;
    return static_cast<std::uint64_t>(*value);
}

void seedUnlockCelebrated(std::uint64_t lifetimeBytes) {
    auto defaults = platform::UserDefaults::standard();
    if (defaults->contains(kCharacterUnlockCelebratedKey)) return;
    defaults->setInteger(kCharacterUnlockCelebratedKey, unlockThreshold(highestUnlockedAccessory(lifetimeBytes)));
}

std::optional<CharacterAccessory> celebrateNewUnlock(std::uint64_t lifetimeBytes) {
    auto defaults = platform::UserDefaults::standard();
    std::int64_t celebrated = defaults->integerValue(kCharacterUnlockCelebratedKey).value_or(0);
    if (celebrated < 0) celebrated = 0;
    const auto reached = highestUnlockedAccessory(lifetimeBytes);
    const auto threshold = unlockThreshold(reached);
    if (threshold > celebrated) {
        defaults->setInteger(kCharacterUnlockCelebratedKey, threshold);
        return reached;
    }
    return std::nullopt;
}

}  // namespace tidewell
