#pragma once
// The gradient presets behind a share card, and the settings key that keeps
// the user's choice across launches.

#include <vector>

#include <string>

#include "ui/Color.h"

namespace tidewell {

struct ShareBackground {
    int id = 0;
    std::string name;
    std::vector<platform::ui::Color> colors;  // gradient stops, first to last
    bool darkText = false;                    // the card's text is drawn dark instead of white

    // Forest, Ocean, Violet, Ember, Sky, Sand, Grove, Black.
    static const std::vector<ShareBackground>& presets();
};

inline constexpr const char* kShareCardBackgroundKey = "shareCardBackground";

// The preset whose id is `id`; the first ("Forest") when none has it.
const ShareBackground& shareBackground(int id);

}  // namespace tidewell
