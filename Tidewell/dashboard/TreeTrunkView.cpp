#include "dashboard/TreeTrunkView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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
using platform::ui::Point;
using platform::ui::Shading;
using platform::ui::Size;
using platform::ui::StrokeStyle;

namespace {

const Gradient& barkGradient()
{
    static const Gradient g{TreePalette::barkLight(), TreePalette::bark(), TreePalette::barkDark()};
    return g;
}

void drawWood(GraphicsContext& context, Size size, const std::vector<StorageNodeModel>& nodes)
{
    const double w = size.width, h = size.height;
    for (const Path& root : rootPaths(w, h)) {
        context.stroke(root, TreePalette::barkDark(), roundLine(8));
        context.stroke(root, TreePalette::barkLight().opacity(0.35), roundLine(2));
    }

    std::vector<const StorageNodeModel*> lowestFirst;
    for (const auto& n : nodes)
        lowestFirst.push_back(&n);
    std::stable_sort(lowestFirst.begin(), lowestFirst.end(),
                     [](const StorageNodeModel* a, const StorageNodeModel* b) { return a->position.y > b->position.y; });
    for (const StorageNodeModel* node : lowestFirst) {
        const auto branch = storageBranch(*node, w, h);
        if (!branch)
            continue;
        const Path centre = storageBranchCurve(*branch);
        context.stroke(centre, Color::black().opacity(0.28), roundLine(8));
        context.fill(taperedBranchPath(*branch, branch->halfWidth, 1.5),
                     Shading::linearGradient(barkGradient(), branch->start, branch->end));
        context.stroke(centre, TreePalette::barkLight().opacity(0.4), roundLine(1.3));
    }

    context.fill(trunkPath(w, h), Shading::linearGradient(barkGradient(), {0.46 * w, 0.50 * h}, {0.56 * w, 0.92 * h}));
    context.stroke(trunkGrainPath(w, h), Color::rgb255(215, 165, 106, 0.55), roundLine(2.5));
}

// The wood changes only with the bubbles and the size: its key is their geometry.
std::string woodKey(Size size, const std::vector<StorageNodeModel>& nodes)
{
    std::string key;
    key.reserve(nodes.size() * 40 + 32);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3fx%.3f;", size.width, size.height);
    key += buf;
    for (const auto& n : nodes) {
        std::snprintf(buf, sizeof buf, "%.3f,%.3f,%.3f;", n.position.x, n.position.y, n.diameter);
        key += buf;
    }
    return key;
}

// What the wood covers: roots, trunk and every branch, with the widest
// stroke's reach around them.
platform::ui::Rect woodBounds(Size size, const std::vector<StorageNodeModel>& nodes)
{
    const double w = size.width, h = size.height;
    platform::ui::Rect r = trunkPath(w, h).boundingRect();
    const auto add = [&r](const platform::ui::Rect& o) {
        const double x0 = std::min(r.x, o.x), y0 = std::min(r.y, o.y);
        r = {x0, y0, std::max(r.maxX(), o.maxX()) - x0, std::max(r.maxY(), o.maxY()) - y0};
    };
    for (const Path& root : rootPaths(w, h))
        add(root.boundingRect());
    for (const auto& node : nodes)
        if (const auto branch = storageBranch(node, w, h))
            add(taperedBranchPath(*branch, branch->halfWidth, 1.5).boundingRect());
    constexpr double reach = 6;
    return {r.x - reach, r.y - reach, r.width + 2 * reach, r.height + 2 * reach};
}

}  // namespace

std::array<Path, 2> rootPaths(double w, double h)
{
    const double cx = 0.5 * w;
    std::array<Path, 2> roots;
    for (int side = 0; side < 2; ++side) {
        const double s = side == 0 ? -1 : 1;
        roots[side].move({cx, 0.88 * h});
        roots[side].addQuadCurve({cx + s * 0.09 * w, 0.898 * h}, {cx + s * 0.035 * w, 0.92 * h});
    }
    return roots;
}

std::optional<StorageBranch> storageBranch(const StorageNodeModel& node, double w, double h)
{
    const double cx = 0.5 * w, x = node.position.x, y = node.position.y, d = node.diameter;
    const double t = h > 1 ? y / h : y;
    const double attach = 0.52 + 0.2 * std::min(std::max(t, 0.08), 0.72);
    const double offset = std::min(0.014 * w, 18.0);
    const Point S{x < cx ? cx - offset : cx + offset, attach * h};
    const double dist = std::max(1.0, std::hypot(x - S.x, y - S.y));
    const Point E{x - (x - S.x) / dist * 0.46 * d, y - (y - S.y) / dist * 0.46 * d};
    if (!(std::hypot(E.x - S.x, E.y - S.y) > 12))
        return std::nullopt;
    return StorageBranch{S, branchControlPoint(S, E), E, std::min(std::max(0.04 * d, 3.2), 6.5)};
}

Path taperedBranchPath(const StorageBranch& b, double startHalfWidth, double endHalfWidth)
{
    constexpr int samples = 17;
    std::array<Point, samples> left{}, right{};
    const auto B = [&](double u) { return quadPoint(b.start, b.control, b.end, u); };
    for (int i = 0; i < samples; ++i) {
        const double u = i / 16.0;
        const Point ahead = B(std::min(u + 0.045, 1.0)), behind = B(std::max(u - 0.045, 0.0));
        const double dx = ahead.x - behind.x, dy = ahead.y - behind.y, len = std::hypot(dx, dy);
        const Point n = len < 0.001 ? Point{1, 0} : Point{-dy / len, dx / len};
        const double half = startHalfWidth + (endHalfWidth - startHalfWidth) * u;
        const Point on = B(u);
        left[i] = {on.x + n.x * half, on.y + n.y * half};
        right[i] = {on.x - n.x * half, on.y - n.y * half};
    }
    Path path;
    path.move(left[0]);
    for (int i = 1; i < samples; ++i)
        path.addLine(left[i]);
    for (int i = samples - 1; i >= 0; --i)
        path.addLine(right[i]);
    path.closeSubpath();
    return path;
}

Path storageBranchCurve(const StorageBranch& branch)
{
    Path p;
    p.move(branch.start);
    p.addQuadCurve(branch.end, branch.control);
    return p;
}

void drawTreeTrunk(GraphicsContext& context, Size size, const std::vector<StorageNodeModel>& nodes)
{
    if (!treeSceneDrawable(size))
        return;
    thread_local CanvasCache wood;
    context.drawCached(wood, woodKey(size, nodes), woodBounds(size, nodes),
                       [&](GraphicsContext& layer) { drawWood(layer, size, nodes); });
}

platform::ui::View TreeTrunkView(std::vector<StorageNodeModel> nodes)
{
    return treeSceneCanvas([nodes = std::move(nodes)](GraphicsContext& context, Size size) {
        drawTreeTrunk(context, size, nodes);
    });
}

}  // namespace tidewell
