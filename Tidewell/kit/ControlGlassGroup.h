#pragma once

#include "ui/View.h"

namespace tidewell {

// Groups controls whose glass shapes would blend on a desktop with glass
// effects; here, where there are none, the content as it is, with no
// container and no spacing of its own.
platform::ui::View ControlGlassGroup(double spacing, platform::ui::View content);

}  // namespace tidewell
