#pragma once

#include <algorithm>
#include <cmath>

namespace tidewell {

// The strip that holds the titlebar controls, measured on every layout of
// the window's content: never shorter than 32 points, the controls or the
// titlebar area, with the controls centred on a whole point.
struct TitlebarAccessoryContainer {
    double barHeight = 0;       // the height the hosted controls asked for
    double titlebarHeight = 0;  // the height of the window's titlebar area

    double height() const { return std::max({32.0, barHeight, titlebarHeight}); }
    // The top of a subview of `subviewHeight`: centred, rounded to the
    // nearest whole point, halves away from zero.
    double centerSubviewsVertically(double subviewHeight) const { return std::round((height() - subviewHeight) * 0.5); }
};

}  // namespace tidewell
