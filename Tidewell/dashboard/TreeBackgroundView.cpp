#include "dashboard/TreeBackgroundView.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "dashboard/TreeSceneCanvas.h"
#include "kit/GrowingScanCanvas.h"
#include "kit/ScanSceneDrawing.h"
#include "kit/TreePalette.h"

namespace tidewell {

using platform::ui::CanvasCache;
using platform::ui::Color;
using platform::ui::GraphicsContext;
using platform::ui::Gradient;
using platform::ui::Path;
using platform::ui::Rect;
using platform::ui::Shading;
using platform::ui::Size;
using platform::ui::StrokeStyle;

namespace {

Rect groundLightRect(Size s) { return {0.22 * s.width, 0.74 * s.height, 0.56 * s.width, 0.28 * s.height}; }
Rect islandRect(Size s) { return {0.30 * s.width, 0.80 * s.height, 0.40 * s.width, 0.16 * s.height}; }
Rect grown(const Rect& r, double by) { return {r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by}; }

// Sky, hills and crown glow: nothing here moves.
void drawSky(GraphicsContext& context, Size size, double cornerRadius)
{
    const double w = size.width, h = size.height, cx = 0.5 * w;
    const Path whole = cornerRadius > 0 ? Path::roundedRect({0, 0, w, h}, cornerRadius) : Path::rect({0, 0, w, h});
    context.fill(whole, Shading::linearGradient(
                            Gradient{TreePalette::nightDeep(), Color::rgb255(8, 40, 51), TreePalette::night()}, {cx, 0},
                            {cx, h}));
    // Fades end on the same colour at no opacity: stops blend unpremultiplied.
    const Color edge = TreePalette::nightDeep().opacity(0.55);
    context.fill(whole, Shading::radialGradient(Gradient{edge.opacity(0), edge}, {cx, 0.42 * h}, 0.18 * w,
                                                0.72 * std::max(w, h)));

    drawScanHills(context, size, cornerRadius > 0 ? whole : Path());

    const platform::ui::Point g{cx, 0.34 * h};
    context.fill(Path::ellipse({g.x - 220, g.y - 180, 440, 360}),
                 Shading::radialGradient(Gradient{TreePalette::glow().opacity(0.16), TreePalette::activeGreen().opacity(0.05),
                                                  TreePalette::activeGreen().opacity(0)},
                                         g, 10, 220));
}

void drawGroundLightAt(GraphicsContext& context, Size size, double a)
{
    const Rect r = groundLightRect(size);
    const Color light = TreePalette::activeGreen().opacity(a);
    context.fill(Path::ellipse(r), Shading::radialGradient(Gradient{light, light.opacity(0)}, r.center(), 8, 0.48 * r.width));
}

void drawIsland(GraphicsContext& context, Size size)
{
    drawScanWater(context, size);

    const double w = size.width, h = size.height;
    Path grass;
    for (int i = 0; i < 16; ++i) {
        const double x = (0.33 + 0.34 * i / 15) * w, y = (0.84 + 0.03 * stableUnitHash("grass", i)) * h;
        grass.move({x, y});
        grass.addQuadCurve({x + 2, y - 14}, {x - 5, y - 8});
        grass.addQuadCurve({x + 6, y}, {x + 8, y - 7});
        grass.closeSubpath();
    }
    context.fill(grass, Color::rgb255(61, 220, 120, 0.55));
}

struct BackgroundCaches {
    CanvasCache sky, skyTop, skyBottom, light, island;
};

}  // namespace

double treeGroundLight(double time) { return 0.28 + 0.08 * (0.5 + 0.5 * std::sin(0.7 * time)); }

void drawTreeBackground(GraphicsContext& context, Size size, double time, double cornerRadius)
{
    if (!treeSceneDrawable(size))
        return;
    // The still parts are kept as pixels; the ground light is kept at full
    // strength and laid down at its breathing opacity, the same picture.
    thread_local BackgroundCaches caches;
    const Rect whole{0, 0, size.width, size.height};
    // With round corners only the top and bottom strips are see-through; the
    // opaque middle is copied rather than blended.
    // The strips keep their pixel size when only the other side changes, yet
    // the gradients span the whole canvas: the key holds the size.
    const std::string sized = std::to_string(size.width) + "x" + std::to_string(size.height);
    const std::string key = "sky/" + std::to_string(cornerRadius) + "/" + sized;
    const auto sky = [&](GraphicsContext& layer) { drawSky(layer, size, cornerRadius); };
    const double r = std::clamp(std::ceil(cornerRadius), 0.0, std::floor(size.height / 2));
    if (r > 0) {
        context.drawCached(caches.skyTop, key, {0, 0, size.width, r}, sky);
        context.drawCached(caches.sky, key, {0, r, size.width, size.height - 2 * r}, sky);
        context.drawCached(caches.skyBottom, key, {0, size.height - r, size.width, r}, sky);
    } else {
        context.drawCached(caches.sky, key, whole, sky);
    }
    GraphicsContext faint = context;
    faint.opacity = context.opacity * treeGroundLight(std::isfinite(time) ? time : 0);
    faint.drawCached(caches.light, "light/" + sized, grown(groundLightRect(size), 2),
                     [&](GraphicsContext& layer) { drawGroundLightAt(layer, size, 1); });
    context.drawCached(caches.island, "island/" + sized, grown(islandRect(size), 16),
                       [&](GraphicsContext& layer) { drawIsland(layer, size); });
}

platform::ui::View TreeBackgroundView(double time, double cornerRadius)
{
    return treeSceneCanvas([time, cornerRadius](GraphicsContext& context, Size size) {
        drawTreeBackground(context, size, time, cornerRadius);
    });
}

}  // namespace tidewell
