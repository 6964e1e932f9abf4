#pragma once

#include "core/AppUpdater.h"
#include "desktop/Window.h"
#include "ui/View.h"

namespace tidewell {

// "Check for Updates…": asks the updater to check; disabled while it can't.
platform::ui::View CheckForUpdatesButton(AppUpdater& updater);
// The same as a menu command: asks when it may run, does nothing without a controller.
platform::WindowCommand checkForUpdatesCommand(AppUpdater& updater);

}  // namespace tidewell
