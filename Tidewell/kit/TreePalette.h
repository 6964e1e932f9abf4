#pragma once

#include "ui/Color.h"

namespace tidewell {

// The night-forest colours shared by the storage tree, the growing scan scene,
// the sapling and the character. Each is made once, on first use, and kept for
// the run; opaque sRGB.
struct TreePalette {
    static const platform::ui::Color& nightDeep();    // 6, 25, 35: the darkest night tone
    static const platform::ui::Color& night();        // 10, 36, 43: night tone
    static const platform::ui::Color& glow();         // 0, 217, 255: the glow
    static const platform::ui::Color& activeGreen();  // 57, 245, 107: status Active
    static const platform::ui::Color& idleAmber();    // 255, 170, 0: status Idle
    static const platform::ui::Color& reclaimBlue();  // 0, 168, 255: status Reclaimable
    static const platform::ui::Color& protectedGrey(); // 156, 168, 184: status Protected
    static const platform::ui::Color& barkLight();    // 163, 106, 59: bark, light
    static const platform::ui::Color& bark();         // 91, 56, 43: bark
    static const platform::ui::Color& barkDark();     // 58, 36, 28: bark, dark
};

}  // namespace tidewell
