#include "shell/SettingsWindow.h"

#include "desktop/Window.h"
#include "shell/PagePlaceholder.h"

namespace tidewell {

void openSettingsWindow() { platform::Windows::open(settingsWindowIdentifier); }

void registerSettingsScene(AppStore& store) {
    platform::Windows::registerScene(settingsWindowIdentifier, [&store] {
        platform::WindowSpec spec;
        spec.identifier = settingsWindowIdentifier;
        spec.title = "Settings";
        spec.kind = platform::WindowKind::settings;
        spec.defaultSize = {720, 500};
        auto window = std::make_unique<platform::Window>(spec);
        window->host().observe(store);
        window->setContent([&store] { return PagePlaceholder("Settings"); });  // SettingsView(store)
        return window;
    });
}

}  // namespace tidewell
