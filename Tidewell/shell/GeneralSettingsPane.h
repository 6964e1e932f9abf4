#pragma once

#include "ui/View.h"

namespace tidewell {

class AppStore;

// The General pane: idle days, scanning and background settings. Every
// control reads the store and writes through it, so a refused change (the
// login item) shows the store's real state again.
platform::ui::View GeneralSettingsPane(AppStore& store);

}  // namespace tidewell
