#pragma once

#include "ui/Color.h"
#include "ui/View.h"

namespace tidewell {

// The rounded backdrop of floating panels. Linux has no glass material, so
// this is always the flat branch: the fallback tint over the ultra-thin
// material, both in a continuous rounded rectangle of `cornerRadius`.
platform::ui::View glassBackground(const platform::ui::View& content, double cornerRadius,
                                   const platform::ui::Color& fallbackTint);

}  // namespace tidewell
