#pragma once
// The storage tree's night: sky, two hills, the glow behind the crown, and a
// lit meadow with an island of grass. Only the ground light breathes.

#include "ui/Canvas.h"
#include "ui/View.h"

namespace tidewell {

// `cornerRadius` rounds the night's corners for a card that holds the tree:
// drawn once into the kept sky, it spares the card an offscreen clip on every frame.
platform::ui::View TreeBackgroundView(double time, double cornerRadius = 0);

void drawTreeBackground(platform::ui::GraphicsContext& context, platform::ui::Size size, double time,
                        double cornerRadius = 0);

// The ground light's opacity at `time`: 0.28…0.36, 0.32 at rest.
double treeGroundLight(double time);

}  // namespace tidewell
