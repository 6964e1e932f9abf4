#pragma once

#include "core/AppUpdater.h"
#include "desktop/Window.h"

namespace tidewell {

// "Check for Updates…" in the application menu: asks the updater to check
// (nothing happens without its controller), disabled while the updater
// can't check, following its published state.
platform::WindowCommand CheckForUpdatesButton(AppUpdater& updater);

}  // namespace tidewell
