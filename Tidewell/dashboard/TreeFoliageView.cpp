#include "dashboard/TreeFoliageView.h"

#include <cmath>
#include <numbers>

#include "dashboard/TreeSceneCanvas.h"
#include "dashboard/TreeTrunkView.h"
#include "kit/ScanSceneDrawing.h"
#include "kit/TreePalette.h"

namespace tidewell {

using platform::ui::Color;
using platform::ui::GraphicsContext;
using platform::ui::Point;
using platform::ui::Size;

namespace {

void drawLeaf(GraphicsContext& context, Point at, double angle, double s, const Color& color)
{
    context.fill(leafShape().applying(leafTransform(at, angle, s, 1.2 * s)), color);
}

}  // namespace

Color leafColor(int index, double u)
{
    if (index % 5 == 0 && u > 0.7)
        return Color::rgb255(226, 177, 90);
    if (u > 0.6)
        return Color::rgb255(139, 239, 120);
    return Color::rgb255(62, 190, 98);
}

void drawTreeFoliage(GraphicsContext& context, Size size, const std::vector<StorageNodeModel>& nodes, double time)
{
    if (!treeSceneDrawable(size))
        return;
    const double w = size.width, h = size.height, cx = 0.5 * w;
    constexpr double tau = 2 * std::numbers::pi;

    for (int i = 0; i < 7; ++i) {
        const double a = tau * stableUnitHash("crown", i), r = 18 + 28 * stableUnitHash("crownD", i);
        const Color c = i % 4 == 0 ? Color::rgb255(198, 161, 90, 0.85) : Color::rgb255(92, 219, 110, 0.85);
        drawLeaf(context, {cx + r * std::cos(a), 0.5 * h + 0.7 * r * std::sin(a)}, a + 0.2 * std::sin(i + 0.8 * time),
                 0.7 + 0.5 * stableUnitHash("crownS", i), c);
    }

    // Leaves lie over the leaves before them in list order. They are opaque,
    // so a run of leaves of one colour fills as one path.
    Color runColor = Color::clear();
    platform::ui::Path run;
    const auto addLeaf = [&](const Color& color, Point at, double angle, double s) {
        if (!run.isEmpty() && !(color == runColor)) {
            context.fill(run, runColor);
            run = platform::ui::Path();
        }
        runColor = color;
        run.addPath(leafShape(), leafTransform(at, angle, s, 1.2 * s));
    };
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const auto branch = storageBranch(nodes[i], w, h);
        if (!branch)
            continue;
        const auto B = [&](double u) { return quadPoint(branch->start, branch->control, branch->end, u); };
        for (double u : {0.4, 0.58, 0.76}) {
            const Point P = B(u), Q = B(std::min(1.0, u + 0.06));
            const double ang = std::atan2(Q.y - P.y, Q.x - P.x);
            const double side = u > 0.5 ? 1 : -1;
            const Point at{P.x + 11 * std::cos(ang + 1.15 * side), P.y + 11 * std::sin(ang + 1.15 * side)};
            const double angle = ang + 0.22 * std::sin(5 * u + double(i) + 0.9 * time) + 0.4 * side;
            const double s = 0.85 + 0.55 * stableUnitHash(nodes[i].id(), int(std::floor(10 * u)));
            addLeaf(leafColor(int(i), u), at, angle, s);
        }
    }
    if (!run.isEmpty())
        context.fill(run, runColor);

    static const Color falling[4] = {Color::rgb255(139, 239, 120, 0.72), Color::rgb255(226, 177, 90, 0.72),
                                     Color::rgb255(61, 220, 120, 0.72), TreePalette::glow().opacity(0.8 * 0.72)};
    for (int i = 0; i < 6; ++i) {
        const double x = (0.12 + 0.76 * stableUnitHash("leafX", i)) * w + 18 * std::sin(0.35 * time + i);
        const double y = 0.08 * h + std::fmod(0.72 * h * stableUnitHash("leafY", i) + (10 + 1.6 * i) * time, 0.72 * h);
        drawLeaf(context, {x, y}, i + 0.45 * time, 0.55 + 0.35 * stableUnitHash("leafS", i), falling[i % 4]);
    }
}

platform::ui::View TreeFoliageView(std::vector<StorageNodeModel> nodes, double time)
{
    return treeSceneCanvas([nodes = std::move(nodes), time](GraphicsContext& context, Size size) {
        drawTreeFoliage(context, size, nodes, time);
    });
}

}  // namespace tidewell
