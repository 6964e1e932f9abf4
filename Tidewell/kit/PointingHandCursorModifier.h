#pragma once

#include "ui/View.h"

namespace tidewell {

// The pointing-hand cursor over a clickable view.
platform::ui::View PointingHandCursorModifier(const platform::ui::View& content);

}  // namespace tidewell
