#pragma once

#include <string>

#include "ui/View.h"

namespace tidewell {

// A white rounded tile with a hairline rim and a soft shadow holding the
// stack's icon, tinted, at 0.55 × size. Hidden from accessibility.
platform::ui::View IconTile(const std::string& type, double size, double cornerRadius);

}  // namespace tidewell
