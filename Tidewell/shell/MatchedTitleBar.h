#pragma once

namespace platform {
class Window;
}

namespace tidewell {

// The main window's own style, applied once when the window is made and
// kept across appearance changes: the content's and the window's least size
// of 900 × 600, and the band the window draws above its content (its menu
// bar, where the desktop's frame leaves the title) in the window colour.
// The titlebar controls come with the content (installTitlebarControls).
void configureMainWindow(platform::Window* window);

// Paints the window's menu bar and its menus in the window colour of the
// appearance the window follows, with the primary text colour.
void recolorTitlebar(platform::Window* window);

}  // namespace tidewell
