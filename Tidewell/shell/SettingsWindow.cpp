#include "shell/SettingsWindow.h"

#include "desktop/Window.h"
#include "core/ScanRoots.h"
#include "shell/SettingsView.h"
#include "social/LeaderboardSync.h"

namespace tidewell {

void openSettingsWindow() { platform::Windows::open(settingsWindowIdentifier); }

void registerSettingsScene(AppStore& store) {
    platform::Windows::registerScene(settingsWindowIdentifier, [&store] {
        platform::WindowSpec settings;
        settings.identifier = settingsWindowIdentifier;
        settings.title = "Settings";
        settings.kind = platform::WindowKind::settings;
        settings.defaultSize = {720, 500};
        auto window = std::make_unique<platform::Window>(settings);
        window->host().observe(store);
        window->host().observe(*store.accountSession);
        window->host().observe(*LeaderboardSync::shared());
        window->setContent([&store] { return SettingsView(store); });
        // Each showing tests Full Disk Access again, so the folders pane's startup-disk line is fresh.
        window->setVisibilityHandler([&store](bool visible) {
            if (visible) store.hasFullDiskAccess = probeFullDiskAccess();
        });
        return window;
    });
}

}  // namespace tidewell
