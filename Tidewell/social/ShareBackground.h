#pragma once
// The gradient presets behind a share card, and the settings key that keeps
// the user's choice across launches.

#include <string>
#include <vector>

#include "ui/Color.h"
#include "ui/ShapeStyle.h"

namespace tidewell {

struct ShareBackground {
    int id = 0;
    std::string name;
    std::vector<platform::ui::Color> colors;  // gradient stops, first to last
    bool darkText = false;                    // the card's text is drawn dark instead of white

    // The stops evenly spread from the top-leading to the bottom-trailing corner.
    platform::ui::LinearGradient gradient() const;

    // Forest, Ocean, Violet, Ember, Sky, Sand, Grove, Black.
    static const std::vector<ShareBackground>& presets();
};

inline constexpr const char* kShareCardBackgroundKey = "shareCardBackground";

// The preset whose id is `id`; the first ("Forest") when none has it.
const ShareBackground& shareBackground(int id);

}  // namespace tidewell
