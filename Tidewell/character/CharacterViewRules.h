#pragma once
// The texts and small decisions of the character's views, kept apart from
// the drawing so they are tested as tables.

#include <cstdint>
#include <string>

#include "character/CharacterProfile.h"

namespace tidewell {

class AppStore;

std::string lowercasedTitle(CharacterAccessory accessory);

// The unlock toast: "New unlock: crown" and "Byte reclaimed 500 GB with you.".
std::string unlockToastHeading(CharacterAccessory accessory);
std::string unlockToastDetail(const CharacterProfile& profile, CharacterAccessory accessory);
inline constexpr double unlockToastSeconds = 10;

// The sidebar row and header: their visible parts, tooltips and accessibility labels.
struct SidebarCharacterTexts {
    std::string name, stage, bytes;
    std::string rowTooltip, rowLabel, headerTooltip, headerLabel;
};
SidebarCharacterTexts sidebarCharacterTexts(const CharacterProfile& profile, std::uint64_t lifetime);

std::string setupButtonTooltip(const CharacterProfile& profile);

// The dashboard character's hop, 0…1, at `seconds` since 2001-01-01: still for
// the first 65 % of every 2.4 s cycle, one smooth hop in the rest.
double dashboardHop(double seconds, bool reduceMotion);

// "Giant · 500 GB" under the share card's figure.
std::string shareCardStageLine(std::uint64_t lifetime);

// The settings pane: its stage line, accessory cells and progress footer.
std::string paneStageLine(std::uint64_t lifetime);
bool accessoryUnlocked(CharacterAccessory accessory, std::uint64_t lifetime);
std::string accessoryCellTooltip(CharacterAccessory accessory, std::uint64_t lifetime);
std::string accessoryCellAccessibilityLabel(CharacterAccessory accessory, std::uint64_t lifetime);
std::string accessoryProgressLine(std::uint64_t lifetime);

// The pane's writes, each a whole profile through the store's setter.
void markCharacterSetUp(AppStore& store);
void chooseCharacterBody(AppStore& store, CharacterBody body);
void chooseCharacterColor(AppStore& store, int index);
// A locked accessory changes nothing.
void chooseCharacterAccessory(AppStore& store, CharacterAccessory accessory);
// Body, colour and accessory of a random profile for the lifetime, in three writes.
void randomizeCharacterLook(AppStore& store);
// Wears the announced accessory and ends the announcement.
void wearUnlockedAccessory(AppStore& store, CharacterAccessory accessory);
// The toast's timer: ends the announcement only while it is still this one.
void expireUnlockAnnouncement(AppStore& store, CharacterAccessory accessory);

}  // namespace tidewell
