#pragma once

#include "ui/Animation.h"

namespace tidewell {

// The theme's one spring as a view-layer animation (selection, hover,
// layout and press changes).
platform::ui::Animation themeSpring();

}  // namespace tidewell
