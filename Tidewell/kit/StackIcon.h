#pragma once

#include <optional>
#include <string>

#include "ui/Color.h"

#include "ui/View.h"

namespace tidewell {

// A stack's picture in a `size` × `size` square: its icon file in its own
// colours, or as a one-colour template in the stack's icon tint when
// `forceTint` is on; without a usable file, the stack's symbol at 0.82 × size
// in that tint. Hidden from accessibility.
platform::ui::View StackIcon(const std::string& type, double size, bool forceTint = false);

// The stack's icon file as a one-colour template in `tint` (the storage
// tree's white glyphs); none when the stack has no usable file.
std::optional<platform::ui::View> StackTemplateIcon(const std::string& type, double size, const platform::ui::Color& tint);

}  // namespace tidewell
