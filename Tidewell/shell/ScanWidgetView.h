#pragma once

#include <functional>

#include "core/AppStore.h"
#include "shell/ScanWidgetPanel.h"
#include "ui/View.h"

namespace tidewell {

// The floating scan card: while scanning its progress, the projects found
// and the folder being walked; after it, the reclaimable total and counts.
platform::ui::View ScanWidgetView(AppStore& store, std::function<void()> onOpen, std::function<void()> onClose);

// "Open Tidewell": leaves the tray and brings the main window forward, which
// takes the panel away.
void openApp();
// The close button: the panel goes on the next turn of the main loop.
void hideNow(ScanWidgetPanel& panel = ScanWidgetPanel::shared());

}  // namespace tidewell
