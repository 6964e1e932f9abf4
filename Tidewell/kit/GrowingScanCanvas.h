#pragma once
// One frame of the growing-forest scene: a night sky, two hills, a glowing
// pond, the tree grown to `growth` with its lit buds, and drifting motes and
// falling leaves moved by `time`. A pure function of its inputs and the size.

#include "ui/Canvas.h"
#include "ui/Color.h"
#include "ui/View.h"

#include <utility>
#include <vector>

namespace tidewell {

struct GrowingScanCanvas {
    double growth = 0;
    long long buds = 0;
    double time = 0;
    std::vector<std::pair<double, double>> arms;       // branch tips, fractions of w and h
    std::vector<platform::ui::Color> budColors;       // one per branch

    GrowingScanCanvas(double growth, long long buds, double time);

    // The canvas, hidden from accessibility.
    platform::ui::View body() const;
};

// Draws the scene into `context` at `size`; a size without area draws nothing.
void renderGrowingScan(const GrowingScanCanvas& scene, platform::ui::GraphicsContext& context, platform::ui::Size size);

// The layers, back to front. The sky is its backdrop (gradient and vignette)
// under the growth glow.
void drawScanSky(platform::ui::GraphicsContext& context, platform::ui::Size size, double growth);
void drawScanSkyBackdrop(platform::ui::GraphicsContext& context, platform::ui::Size size);
void drawScanSkyGlow(platform::ui::GraphicsContext& context, platform::ui::Size size, double growth);
// The two hills; only their parts inside `within` when it is given.
void drawScanHills(platform::ui::GraphicsContext& context, platform::ui::Size size,
                   const platform::ui::Path& within = platform::ui::Path());
void drawScanPond(platform::ui::GraphicsContext& context, platform::ui::Size size, double growth, double time);
// The pond's water without its glow (the storage tree's island).
void drawScanWater(platform::ui::GraphicsContext& context, platform::ui::Size size);
// The trunk's light grain, and the line its sap flows up.
platform::ui::Path trunkGrainPath(double w, double h);
platform::ui::Path trunkSapPath(double w, double h);
void drawGrowingTree(const GrowingScanCanvas& scene, platform::ui::GraphicsContext& context, platform::ui::Size size);
void drawTrunkLayer(platform::ui::GraphicsContext& context, double crownY, double w, double h, double time);
void drawScanDrift(platform::ui::GraphicsContext& context, platform::ui::Size size, double time);

// The box of the growth glow in the sky, and the outline of the back hill.
platform::ui::Rect scanSkyGlowRect(platform::ui::Size size);
platform::ui::Path scanBackHill(platform::ui::Size size);
// Whether the hills lie wholly below the sky glow, so they may be painted
// before it without changing a pixel.
bool scanHillsClearOfSkyGlow(platform::ui::Size size);

}  // namespace tidewell
