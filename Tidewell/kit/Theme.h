#pragma once

#include "ui/Color.h"
#include "ui/Font.h"

namespace tidewell {

// The parameters of a spring animation (seconds and a damping fraction).
struct SpringParameters {
    double response = 0;
    double dampingFraction = 0;
    double blendDuration = 0;
    bool operator==(const SpringParameters&) const = default;
};

// The shared visual vocabulary: signal colours, surfaces, button fonts and the
// one spring used for selection, hover, layout and press changes.
struct Theme {
    static platform::ui::Color accent();   // 0A84FF
    static platform::ui::Color reclaim();  // 30D158
    static platform::ui::Color caution();  // FF9F0A
    // The fill and rim of the stack icon tiles.
    static platform::ui::Color tileSurface();
    static platform::ui::Color tileRim();
    // Follow the window's light or dark appearance.
    static platform::ui::Color windowBackground();
    static platform::ui::Color raisedSurface();

    static platform::ui::Font buttonFont();       // 13 pt semibold
    static platform::ui::Font largeButtonFont();  // 15 pt semibold

    static constexpr SpringParameters spring{0.42, 0.86, 0};

    // The display face of page titles, registered from the bundle.
    static constexpr const char* displayFontFamily = "Fraunces";
};

}  // namespace tidewell
