#include "shell/CheckForUpdatesButton.h"

namespace tidewell {

platform::WindowCommand CheckForUpdatesButton(AppUpdater& updater) {
    return {"Check for Updates\u2026", QKeySequence(),
            [&updater] {
                if (updater.hasController()) updater.checkForUpdates();
            },
            [&updater] { return updater.canCheckForUpdates.get(); },
            [&updater](std::function<void()> changed) {
                return updater.canCheckForUpdates.subscribe([changed = std::move(changed)](bool) { changed(); });
            }};
}

}  // namespace tidewell
