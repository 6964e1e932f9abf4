#pragma once
// The storage tree's night: sky, two hills, the glow behind the crown, and a
// lit meadow with an island of grass. Only the ground light breathes.

#include "ui/Canvas.h"
#include "ui/View.h"

namespace tidewell {

platform::ui::View TreeBackgroundView(double time);

void drawTreeBackground(platform::ui::GraphicsContext& context, platform::ui::Size size, double time);

// The ground light's opacity at `time`: 0.28…0.36, 0.32 at rest.
double treeGroundLight(double time);

}  // namespace tidewell
