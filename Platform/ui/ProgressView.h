#pragma once

#include "ui/View.h"

#include <optional>
#include <string>

namespace platform::ui {

// A bar filled to `fraction` (0–1, clamped), with an optional label above.
View ProgressView(double fraction, std::string label = {});
// Work of unknown length: a turning arc sized by the control size; it stands
// still under reduce motion.
View ProgressView(std::string label = {});

}  // namespace platform::ui
