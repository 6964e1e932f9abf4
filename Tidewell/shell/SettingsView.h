#pragma once

#include <string>

#include "ui/State.h"

namespace tidewell {

class AppStore;

// The settings window's content, 720 × 500: the grouped pane list beside the
// current pane's heading and form. The pane follows "settings.selectedPane",
// so a write from any window switches it while it is open.
platform::ui::View SettingsView(AppStore& store);

// The same with the pane's raw value bound elsewhere.
platform::ui::View SettingsView(AppStore& store, platform::ui::Binding<std::string> paneID);

}  // namespace tidewell
