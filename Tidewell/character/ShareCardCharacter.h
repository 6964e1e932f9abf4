#pragma once
// The character on a share card: the figure at full size over a dark capsule
// with its name, stage and lifetime total. It reads no store, so the card
// renders the same on screen and in an exported image.

#include <cstdint>

#include "character/CharacterProfile.h"
#include "ui/View.h"

namespace tidewell {

platform::ui::View ShareCardCharacter(const CharacterProfile& profile, std::uint64_t lifetime);

}  // namespace tidewell
