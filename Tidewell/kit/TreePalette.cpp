#include "kit/TreePalette.h"

namespace tidewell {

using platform::ui::Color;

// Function-local statics: made on first use, thread-safely, then shared.
const Color& TreePalette::nightDeep() { static const Color c = Color::rgb255(6, 25, 35); return c; }
const Color& TreePalette::night() { static const Color c = Color::rgb255(10, 36, 43); return c; }
const Color& TreePalette::glow() { static const Color c = Color::rgb255(0, 217, 255); return c; }
const Color& TreePalette::activeGreen() { static const Color c = Color::rgb255(57, 245, 107); return c; }
const Color& TreePalette::idleAmber() { static const Color c = Color::rgb255(255, 170, 0); return c; }
const Color& TreePalette::reclaimBlue() { static const Color c = Color::rgb255(0, 168, 255); return c; }
const Color& TreePalette::protectedGrey() { static const Color c = Color::rgb255(156, 168, 184); return c; }
const Color& TreePalette::barkLight() { static const Color c = Color::rgb255(163, 106, 59); return c; }
const Color& TreePalette::bark() { static const Color c = Color::rgb255(91, 56, 43); return c; }
const Color& TreePalette::barkDark() { static const Color c = Color::rgb255(58, 36, 28); return c; }

}  // namespace tidewell
