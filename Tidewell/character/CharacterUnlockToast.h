#pragma once
// The toast that announces a newly unlocked accessory and offers to wear it.
// It dismisses itself after ten seconds unless a newer unlock took its place.

#include <functional>

#include "character/CharacterProfile.h"
#include "ui/Lifecycle.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// Runs `fire` after `seconds` unless `task` is cancelled first; tests put a clock of their own here.
using UnlockToastTimer = std::function<void(const platform::ui::ViewTask& task, double seconds, std::function<void()> fire)>;

platform::ui::View CharacterUnlockToast(AppStore& store, CharacterAccessory accessory, UnlockToastTimer timer = {});

}  // namespace tidewell
