#pragma once

#include "core/AppUpdater.h"
#include "ui/View.h"

namespace tidewell {

// "Check for Updates…": asks the updater to check; disabled while it can't.
platform::ui::View CheckForUpdatesButton(AppUpdater& updater);

}  // namespace tidewell
