#pragma once
// The page's own colour-scheme rules follow the window's appearance. The web
// engine fixes its colour preference when it starts, so a script in each
// document turns every "prefers-color-scheme" condition of the document's
// style sheets around while the window's appearance differs from the
// engine's, and back when they agree again.

#include <string>

namespace platform {

// Runs at the creation of each document (in a world of its own, hidden from
// the page): keeps the document's style sheets, present and future, on the
// given appearance.
std::string pageColorSchemeScript(bool dark);
// Runs in a live document: moves it, and its frames, to the given appearance.
std::string pageColorSchemeChange(bool dark);

}  // namespace platform
