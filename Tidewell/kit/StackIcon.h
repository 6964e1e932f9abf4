#pragma once

#include <string>

#include "ui/View.h"

namespace tidewell {

// A stack's picture in a `size` × `size` square: its icon file in its own
// colours, or as a one-colour template in the stack's icon tint when
// `forceTint` is on; without a usable file, the stack's symbol at 0.82 × size
// in that tint. Hidden from accessibility.
platform::ui::View StackIcon(const std::string& type, double size, bool forceTint = false);

}  // namespace tidewell
