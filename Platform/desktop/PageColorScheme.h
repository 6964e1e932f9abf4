#pragma once
// The page's own colour-scheme rules follow the window's appearance. The web
// engine fixes its colour preference when it starts, so scripts in each
// document turn every "prefers-color-scheme" condition around, those of the
// document's style sheets and those its own scripts ask matchMedia, while
// the window's appearance differs from the engine's, and back when they
// agree again.

#include <string>

namespace platform {

// Runs at the creation of each document (in a world of its own, hidden from
// the page): keeps the document's style sheets, present and future, on the
// given appearance.
std::string pageColorSchemeScript(bool dark);
// Runs at the creation of each document in the page's own world: its
// matchMedia answers queries of the colour scheme for the given appearance,
// and tells of changes.
std::string pageColorQueriesScript(bool dark);
// Runs in a live document, in either world: moves it to the given appearance
// (in the style sheets' world, its frames too).
std::string pageColorSchemeChange(bool dark);

}  // namespace platform
