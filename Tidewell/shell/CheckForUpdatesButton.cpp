#include "shell/CheckForUpdatesButton.h"

#include "ui/Button.h"

namespace tidewell {

namespace {
void check(AppUpdater& updater) {
    if (updater.hasController()) updater.checkForUpdates();
}
}  // namespace

platform::ui::View CheckForUpdatesButton(AppUpdater& updater) {
    return platform::ui::Button("Check for Updates\u2026", [&updater] { check(updater); })
        .disabled(!updater.canCheckForUpdates.get());
}

platform::WindowCommand checkForUpdatesCommand(AppUpdater& updater) {
    return {"Check for Updates\u2026", QKeySequence(), [&updater] { check(updater); },
            [&updater] { return updater.canCheckForUpdates.get(); }};
}

}  // namespace tidewell
