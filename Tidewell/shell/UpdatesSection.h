#pragma once

#include "ui/View.h"

namespace tidewell {

class AppUpdater;

// The Updates pane: the version, the automatic-check switch and "Check for
// Updates…". Without a running updater (always, on this platform) the
// switch is disabled and a note says why.
platform::ui::View UpdatesSection(AppUpdater& updater);

}  // namespace tidewell
