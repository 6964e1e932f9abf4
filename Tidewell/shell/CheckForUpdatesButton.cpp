#include "shell/CheckForUpdatesButton.h"

#include "ui/Button.h"

namespace tidewell {

platform::ui::View CheckForUpdatesButton(AppUpdater& updater) {
    return platform::ui::Button("Check for Updates\u2026", [&updater] {
               if (updater.hasController()) updater.checkForUpdates();
           })
        .disabled(!updater.canCheckForUpdates.get());
}

}  // namespace tidewell
