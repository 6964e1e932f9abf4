#include "shell/MatchedTitleBar.h"

#include "desktop/Window.h"
#include "kit/Theme.h"
#include "ui/Painting.h"

namespace tidewell {

namespace ui = platform::ui;

void configureMainWindow(platform::Window* window) {
    if (!window) return;
    window->setMinimumSize({900, 600});
    // Held by the window: a switch between light and dark repaints it at once.
    window->setAppearanceHandler([window](const platform::DesktopAppearance&) { recolorTitlebar(window); });
    recolorTitlebar(window);
}

void recolorTitlebar(platform::Window* window) {
    if (!window) return;
    const ui::ColorScheme scheme = window->host().environment().colorScheme;
    window->setTitlebarColors(ui::toQColor(Theme::windowBackground().resolve(scheme)),
                              ui::toQColor(ui::Color::primary().resolve(scheme)));
}

}  // namespace tidewell
