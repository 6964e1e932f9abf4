#pragma once

#include "ui/View.h"

namespace tidewell {

class AppStore;

// The Privacy pane: the on-device promise, the policy link and the Full Disk
// Access section. There is no Full Disk Access gate to open here, so its
// button is shown disabled with its text unchanged.
platform::ui::View PrivacySettingsPane(AppStore& store);

}  // namespace tidewell
