#pragma once

#include "ui/Animation.h"

namespace tidewell {

// The shared spring of selection, hover, layout and press changes: the
// theme's spring as a view-layer animation, made once on first use.
platform::ui::Animation forestSpring();

}  // namespace tidewell
