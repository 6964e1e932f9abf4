#include "kit/RescanButton.h"

#include "core/AppStore.h"
#include "kit/ForestButton.h"
#include "runtime/MainActor.h"

namespace tidewell {

namespace ui = platform::ui;

RescanButtonLabel rescanButtonLabel(bool isScanning, bool hasDashboard) {
    if (isScanning) return {"Scanning…", "leaf.fill"};
    if (!hasDashboard) return {"Scan Now", "arrow.clockwise"};
    return {"Rescan", "arrow.clockwise"};
}

bool rescanButtonMayStart(bool isScanning, bool isCleaning) { return !isScanning && !isCleaning; }

void rescanButtonAction(AppStore& store) {
    if (!rescanButtonMayStart(store.isScanning.get(), store.isCleaning.get())) return;
    // The store is the one instance of the run, so it outlives the posted
    // work, which asks the guard again, so two quick presses (or a clean
    // begun meanwhile) never start a second engine run.
    platform::postToMain([&store] { store.prepareAndRunScan(); });
}

ui::View RescanButton(AppStore& store) {
    const bool scanning = store.isScanning.get();
    const RescanButtonLabel label = rescanButtonLabel(scanning, store.dashboard.get().has_value());
    return ForestButton{label.title, label.systemImage, ForestButton::Tone::accent, ui::ControlSize::regular, false,
                        [&store] { rescanButtonAction(store); }}
        .body()
        .disabled(scanning)
        .help("Scan project folders for reclaimable build files")
        .accessibilityLabel(label.title);
}

}  // namespace tidewell
