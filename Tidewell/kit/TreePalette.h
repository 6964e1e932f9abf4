#pragma once

#include "ui/Color.h"

namespace tidewell {

// The night-forest colours shared by the storage tree, the growing scan scene,
// the sapling and the character. Each is made once, on first use, and kept for
// the run; opaque sRGB.
struct TreePalette {
    static const platform::ui::Color& treeNight();     // 6, 25, 35: the darkest night tone
    static const platform::ui::Color& treeDeep();      // 10, 36, 43: night tone
    static const platform::ui::Color& treeCyan();      // 0, 217, 255: the glow
    static const platform::ui::Color& treeGreen();     // 57, 245, 107: status Active
    static const platform::ui::Color& treeAmber();     // 255, 170, 0: status Idle
    static const platform::ui::Color& treeBlue();      // 0, 168, 255: status Reclaimable
    static const platform::ui::Color& treeSlate();     // 156, 168, 184: status Protected
    static const platform::ui::Color& treeBark();      // 163, 106, 59: bark, light
    static const platform::ui::Color& treeBarkDark();  // 91, 56, 43: bark
    static const platform::ui::Color& treeBarkDeep();  // 58, 36, 28: bark, dark
};

}  // namespace tidewell
