#pragma once

#include "core/AppStore.h"

namespace tidewell {

// The settings window: one window of a fixed 720 × 500, opened on the pane
// stored under "settings.selectedPane" and raised when opened again. A view
// that wants a given pane writes the pane first, then calls this.
void openSettingsWindow();

// Registers the window with the window registry; the application does this once.
void registerSettingsScene(AppStore& store);

inline constexpr const char* settingsWindowIdentifier = "settings";

}  // namespace tidewell
