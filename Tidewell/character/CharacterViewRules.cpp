#include "character/CharacterViewRules.h"

#include <cctype>
#include <cmath>

#include "core/AppStore.h"
#include "foundation/Formatters.h"

namespace tidewell {

namespace {

std::uint64_t thresholdBytes(CharacterAccessory accessory) { return std::uint64_t(unlockThreshold(accessory)); }

}  // namespace

std::string lowercasedTitle(CharacterAccessory accessory) {
    std::string t(title(accessory));
    for (char& c : t) c = char(std::tolower(static_cast<unsigned char>(c)));
    return t;
}

std::string unlockToastHeading(CharacterAccessory accessory) { return "New unlock: " + lowercasedTitle(accessory); }

std::string unlockToastDetail(const CharacterProfile& profile, CharacterAccessory accessory) {
    return characterDisplayName(profile) + " reclaimed " + platform::formatByteCount(thresholdBytes(accessory)) + " with you.";
}

SidebarCharacterTexts sidebarCharacterTexts(const CharacterProfile& profile, std::uint64_t lifetime) {
    SidebarCharacterTexts t;
    t.name = characterDisplayName(profile);
    t.stage = characterGrowthStage(lifetime);
    t.bytes = platform::formatByteCount(lifetime);
    t.rowTooltip = t.name + " · " + t.stage + " · " + t.bytes + " reclaimed";
    t.rowLabel = "Character " + t.name + ", " + t.stage + ", " + t.bytes + " reclaimed";
    t.headerTooltip = t.name + " · " + t.stage + ". Open character settings.";
    t.headerLabel = "Character " + t.name + ", " + t.stage;
    return t;
}

std::string setupButtonTooltip(const CharacterProfile& profile) {
    return "Pick a look and a name for " + characterDisplayName(profile);
}

double dashboardHop(double seconds, bool reduceMotion) {
    if (reduceMotion || !std::isfinite(seconds)) return 0;
    double m = std::fmod(seconds, 2.4);
    if (m < 0) m += 2.4;
    const double phase = m / 2.4;
    return phase > 0.65 ? std::sin((phase - 0.65) / 0.35 * M_PI) : 0;
}

std::string shareCardStageLine(std::uint64_t lifetime) {
    return characterGrowthStage(lifetime) + " · " + platform::formatByteCount(lifetime);
}

std::string paneStageLine(std::uint64_t lifetime) { return shareCardStageLine(lifetime) + " reclaimed"; }

bool accessoryUnlocked(CharacterAccessory accessory, std::uint64_t lifetime) { return lifetime >= thresholdBytes(accessory); }

std::string accessoryCellTooltip(CharacterAccessory accessory, std::uint64_t lifetime) {
    if (accessoryUnlocked(accessory, lifetime)) return std::string(title(accessory));
    return "Reclaim " + platform::formatByteCount(thresholdBytes(accessory) - lifetime) + " more to unlock the " +
           lowercasedTitle(accessory) + ".";
}

std::string accessoryCellAccessibilityLabel(CharacterAccessory accessory, std::uint64_t lifetime) {
    return std::string(title(accessory)) + (accessoryUnlocked(accessory, lifetime) ? "" : ", locked");
}

std::string accessoryProgressLine(std::uint64_t lifetime) {
    const auto next = nextLockedAccessory(lifetime);
    if (!next) return "Every accessory is unlocked.";
    const std::uint64_t at = thresholdBytes(*next);
    return "Next: " + lowercasedTitle(*next) + " at " + platform::formatByteCount(at) + ". " +
           platform::formatByteCount(at - lifetime) + " to go.";
}

void markCharacterSetUp(AppStore& store) {
    CharacterProfile p = store.character.get();
    if (p.isSetUp) return;
    p.isSetUp = true;
    store.setCharacter(p);
}

void chooseCharacterBody(AppStore& store, CharacterBody body) {
    CharacterProfile p = store.character.get();
    p.body = body;
    store.setCharacter(p);
}

void chooseCharacterColor(AppStore& store, int index) {
    CharacterProfile p = store.character.get();
    p.colorIndex = index;
    store.setCharacter(p);
}

void chooseCharacterAccessory(AppStore& store, CharacterAccessory accessory) {
    if (!accessoryUnlocked(accessory, store.lifetimeReclaimedBytes.get())) return;
    CharacterProfile p = store.character.get();
    p.accessory = accessory;
    store.setCharacter(p);
}

void randomizeCharacterLook(AppStore& store) {
    const CharacterProfile random = randomCharacterProfile(store.lifetimeReclaimedBytes.get());
    chooseCharacterBody(store, random.body);
    chooseCharacterColor(store, int(random.colorIndex));
    CharacterProfile p = store.character.get();
    p.accessory = random.accessory;
    store.setCharacter(p);
}

void wearUnlockedAccessory(AppStore& store, CharacterAccessory accessory) {
    CharacterProfile p = store.character.get();
    p.accessory = accessory;
    store.setCharacter(p);
    store.newUnlock = std::nullopt;
}

void expireUnlockAnnouncement(AppStore& store, CharacterAccessory accessory) {
    if (store.newUnlock.get() == accessory) store.newUnlock = std::nullopt;
}

}  // namespace tidewell
