#pragma once

#include "core/AppStore.h"
#include "ui/View.h"

namespace tidewell {

// The window keeps the desktop's own frame, so the titlebar controls sit in
// a strip across the top of the content, right-aligned and vertically
// centred, painted in the window colour. Being part of the content, they are
// installed exactly once per window whatever the number of updates.
platform::ui::View installTitlebarControls(AppStore& store, platform::ui::View content);

// The band the window keeps across the top of its content for the titlebar
// controls: its titlebar area.
inline constexpr double titlebarAreaHeight = 40;

}  // namespace tidewell
