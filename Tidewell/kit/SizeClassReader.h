#pragma once

#include <functional>

#include "kit/SizeClass.h"
#include "ui/View.h"

namespace tidewell {

// Classifies the size offered to it once and hands both classes to its
// content, directly and through the environment, so pages never measure
// themselves. The content takes exactly the offered size, centred.
platform::ui::View SizeClassReader(std::function<platform::ui::View(WidthClass, HeightClass)> content);

}  // namespace tidewell
