#pragma once

#include "ui/Font.h"

namespace tidewell {

// Page titles: the display face at `size`, bold, once it is registered;
// before that the system serif at the same size and weight.
platform::ui::Font displayTitleFont(double size);

}  // namespace tidewell
