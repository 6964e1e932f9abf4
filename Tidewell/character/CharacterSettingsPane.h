#pragma once
// The character pane of the settings window: the grown character with its
// stage and "Randomize", where it is shown, its look and name, the accessory
// grid with the way to the next unlock, and the leaderboard section. It keeps
// no state; every change is a whole profile through the store's setter.
// Showing it marks the character as set up.

#include "ui/View.h"

namespace tidewell {

class AppStore;

// Five form sections for the host's form.
platform::ui::View CharacterSettingsPane(AppStore& store);

}  // namespace tidewell
