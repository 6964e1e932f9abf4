#pragma once
// Twenty-four sparks sinking slowly over the storage tree, twinkling.

#include <array>

#include "ui/Canvas.h"
#include "ui/View.h"

namespace tidewell {

// With a corner radius, sparks in the rounded-off corners are left out: the
// card around the tree clips to a plain rectangle.
platform::ui::View ParticleView(double time, double cornerRadius = 0);

void drawTreeParticles(platform::ui::GraphicsContext& context, platform::ui::Size size, double time,
                       double cornerRadius = 0);

struct TreeSpark {
    platform::ui::Rect square;  // top-left corner at the spark's place
    double opacity = 0;
    bool green = false;  // else cyan
};
std::array<TreeSpark, 24> treeSparks(platform::ui::Size size, double time);

}  // namespace tidewell
