#pragma once

// The application's commands as a menu bar on its main window (exported to
// the desktop's global menu where it has one), with shortcuts that work in
// every window of the application while one of them is active. A command's
// enabled state is asked when its menu opens and again when it is chosen or
// its shortcut is pressed, so it follows the store.

#include "desktop/Window.h"

#include <string>
#include <vector>

namespace platform {

struct MenuCommand {
    std::string menu;       // the menu it sits in ("File", "View", …), menus in order of first use
    WindowCommand command;  // title, shortcut, action, enabled
};

// `titles` with "&" before a letter no earlier title took, so each has its
// Alt+letter: the first letter of a word when one is free, else the first
// free letter; an "&" of their own is doubled (pure).
std::vector<std::string> withMnemonics(const std::vector<std::string>& titles);

// Menus and their entries get mnemonics (`withMnemonics`).
// Replaces any menu bar installed before on `window`. Don't also bind the
// same shortcuts with `Window::addCommand`: Qt drops shortcuts bound twice.
void installApplicationMenu(Window& window, std::vector<MenuCommand> commands);

}  // namespace platform
