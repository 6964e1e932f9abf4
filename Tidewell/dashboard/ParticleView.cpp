#include "dashboard/ParticleView.h"

#include <algorithm>
#include <cmath>

#include "dashboard/TreeSceneCanvas.h"
#include "kit/ScanSceneDrawing.h"
#include "kit/TreePalette.h"

namespace tidewell {

using platform::ui::GraphicsContext;
using platform::ui::Path;
using platform::ui::Size;

std::array<TreeSpark, 24> treeSparks(Size size, double time)
{
    std::array<TreeSpark, 24> sparks{};
    const double w = size.width, h = size.height;
    for (int i = 0; i < 24; ++i) {
        const double s = stableUnitHash("spark", i), speed = 6 + 10 * s;
        const double x = w * stableUnitHash("sparkX", i) + 12 * std::sin((0.18 + 0.25 * s) * time + i);
        double y = std::fmod((h + 16) * s + 0.28 * speed * time, h + 16);
        if (y < 0)
            y += h + 16;
        const double side = 1.1 + 1.7 * s;
        sparks[std::size_t(i)] = {{x, y, side, side}, 0.18 + 0.42 * (0.5 + 0.5 * std::sin(i + 1.4 * time)), i % 3 == 0};
    }
    return sparks;
}

namespace {

bool withinRoundedCorners(const platform::ui::Rect& square, Size size, double radius)
{
    if (!(radius > 0))
        return true;
    const double x = square.x + square.width / 2, y = square.y + square.height / 2;
    const double cx = std::clamp(x, radius, size.width - radius), cy = std::clamp(y, radius, size.height - radius);
    // Beside an edge the rectangle's own clip holds; only the corners round off.
    if (x == cx || y == cy)
        return true;
    return std::hypot(x - cx, y - cy) <= radius;
}

}  // namespace

void drawTreeParticles(GraphicsContext& context, Size size, double time, double cornerRadius)
{
    if (!treeSceneDrawable(size))
        return;
    const double radius = std::min(cornerRadius, std::min(size.width, size.height) / 2);
    for (const TreeSpark& spark : treeSparks(size, time))
        if (withinRoundedCorners(spark.square, size, radius))
            context.fill(Path::ellipse(spark.square),
                     (spark.green ? TreePalette::activeGreen() : TreePalette::glow()).opacity(spark.opacity));
}

platform::ui::View ParticleView(double time, double cornerRadius)
{
    return treeSceneCanvas([time, cornerRadius](GraphicsContext& context, Size size) {
        drawTreeParticles(context, size, time, cornerRadius);
    });
}

}  // namespace tidewell
