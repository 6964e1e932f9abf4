#pragma once

#include <string>

#include "ui/View.h"

namespace tidewell {

class AppStore;

// The button's title and symbol for the store's state: "Scanning…" while a
// scan runs, "Scan Now" before the first dashboard, "Rescan" after.
struct RescanButtonLabel {
    std::string title;
    std::string systemImage;
    bool operator==(const RescanButtonLabel&) const = default;
};
RescanButtonLabel rescanButtonLabel(bool isScanning, bool hasDashboard);

// A press starts a scan only while neither a scan nor a clean runs.
bool rescanButtonMayStart(bool isScanning, bool isCleaning);

// Starts a requested scan on the store: folder access for the scan roots,
// then the engine scan. The button keeps the store's guard itself and starts
// the work directly, on the main actor's next turn.
void rescanButtonAction(AppStore& store);

// The accent button that starts a scan; disabled while one runs.
platform::ui::View RescanButton(AppStore& store);

}  // namespace tidewell
