#pragma once

#include <memory>

#include "kit/BrandLogo.h"
#include "ui/View.h"

namespace tidewell {

// The logo in a `size` × `size` square with corners of 0.22 × size; without
// a logo, the green leaf at 0.55 × size in the same rounded square. Hidden
// from accessibility.
platform::ui::View BrandMark(double size);
// The same with a given logo (none draws the leaf).
platform::ui::View BrandMark(double size, const std::shared_ptr<const BrandLogo>& logo);

}  // namespace tidewell
