#pragma once
// What the storage tree's scene layers have in common: a full-size canvas
// that takes no events and is hidden from accessibility, drawing nothing for
// a size without area or not finite.

#include <functional>

#include "ui/Canvas.h"

namespace tidewell {

platform::ui::View treeSceneCanvas(std::function<void(platform::ui::GraphicsContext&, platform::ui::Size)> draw);

// A stroke of `width` with round caps, as the wood and the light are drawn.
platform::ui::StrokeStyle roundLine(double width);

// Whether a canvas of `size` is drawn at all.
bool treeSceneDrawable(platform::ui::Size size);

}  // namespace tidewell
