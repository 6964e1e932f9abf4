#include "dashboard/ParticleView.h"

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

void drawTreeParticles(GraphicsContext& context, Size size, double time)
{
    if (!treeSceneDrawable(size))
        return;
    for (const TreeSpark& spark : treeSparks(size, time))
        context.fill(Path::ellipse(spark.square),
                     (spark.green ? TreePalette::activeGreen() : TreePalette::glow()).opacity(spark.opacity));
}

platform::ui::View ParticleView(double time)
{
    return treeSceneCanvas([time](GraphicsContext& context, Size size) { drawTreeParticles(context, size, time); });
}

}  // namespace tidewell
