#include "dashboard/EnergyFlowView.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "dashboard/TreeSceneCanvas.h"
#include "dashboard/TreeTrunkView.h"
#include "kit/GrowingScanCanvas.h"
#include "kit/ScanSceneDrawing.h"
#include "kit/TreePalette.h"

namespace tidewell {

using platform::ui::CanvasCache;
using platform::ui::GraphicsContext;
using platform::ui::Point;
using platform::ui::Rect;
using platform::ui::Path;
using platform::ui::Size;
using platform::ui::StrokeStyle;

double energyDashPhase(double speed, double period, double time)
{
    double phase = std::fmod(-speed * time, period);
    if (phase < 0)
        phase += period;
    return std::isfinite(phase) ? phase : 0;
}

namespace {

std::vector<Point> flowPolyline(const std::function<Point(double)>& curve)
{
    constexpr int segments = 24;
    std::vector<Point> out;
    out.reserve(segments + 1);
    for (int i = 0; i <= segments; ++i)
        out.push_back(curve(double(i) / segments));
    return out;
}

void appendDashes(Path& out, const std::vector<Point>& line, double on, double period, double phase, double width)
{
    // Where the dash pattern, shifted by `phase`, is on along the polyline.
    // Each dash is a straight stroke lengthened by half the line width at both
    // ends: the round caps of a dashed stroke, at a fraction of its cost (the
    // lines are one or two points wide and the curves gentle over a dash).
    std::vector<double> at(line.size(), 0);
    for (std::size_t i = 1; i < line.size(); ++i)
        at[i] = at[i - 1] + std::hypot(line[i].x - line[i - 1].x, line[i].y - line[i - 1].y);
    const double length = at.back();
    std::size_t seg = 0;
    const auto pointAt = [&](double s) {
        while (seg + 2 < line.size() && at[seg + 1] < s)
            ++seg;
        const double span = at[seg + 1] - at[seg];
        const double f = span > 0 ? (s - at[seg]) / span : 0;
        return Point{line[seg].x + (line[seg + 1].x - line[seg].x) * f, line[seg].y + (line[seg + 1].y - line[seg].y) * f};
    };
    for (double start = -phase; start < length; start += period) {
        const double a = std::max(start, 0.0), b = std::min(start + on, length);
        if (b < a)
            continue;
        const Point p = pointAt(a), q = pointAt(b);
        const double dx = q.x - p.x, dy = q.y - p.y, len = std::hypot(dx, dy);
        const Point u = len > 1e-6 ? Point{dx / len, dy / len} : Point{0, -1};
        const double cap = width / 2;
        out.move({p.x - u.x * cap, p.y - u.y * cap});
        out.addLine({q.x + u.x * cap, q.y + u.y * cap});
    }
}

struct EnergyCaches {
    CanvasCache glow;
};

}  // namespace

void drawEnergyFlow(GraphicsContext& context, Size size, const std::vector<StorageNodeModel>& nodes, double time)
{
    if (!treeSceneDrawable(size))
        return;
    const double w = size.width, h = size.height, cx = 0.5 * w;
    std::vector<std::vector<Point>> lines;
    lines.push_back(flowPolyline([&](double u) {
        const double v = 1 - u;
        const Point p0{cx, 0.9 * h}, p1{cx - 0.012 * w, 0.78 * h}, p2{cx + 0.014 * w, 0.66 * h}, p3{cx + 0.006 * w, 0.555 * h};
        return Point{v * v * v * p0.x + 3 * v * v * u * p1.x + 3 * v * u * u * p2.x + u * u * u * p3.x,
                     v * v * v * p0.y + 3 * v * v * u * p1.y + 3 * v * u * u * p2.y + u * u * u * p3.y};
    }));
    std::vector<Path> curves{trunkSapPath(w, h)};
    for (const auto& node : nodes)
        if (const auto branch = storageBranch(node, w, h)) {
            curves.push_back(storageBranchCurve(*branch));
            lines.push_back(flowPolyline([&](double u) { return quadPoint(branch->start, branch->control, branch->end, u); }));
        }

    // The glow beneath stays still while the bubbles do: kept as pixels.
    thread_local EnergyCaches caches;
    Rect bounds = curves.front().boundingRect();
    std::string key;
    for (const Path& c : curves) {
        const Rect r = c.boundingRect();
        const double x0 = std::min(bounds.x, r.x), y0 = std::min(bounds.y, r.y);
        bounds = {x0, y0, std::max(bounds.maxX(), r.maxX()) - x0, std::max(bounds.maxY(), r.maxY()) - y0};
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.2f,%.2f,%.2f,%.2f;", r.x, r.y, r.width, r.height);
        key += buf;
    }
    context.drawCached(caches.glow, key, {bounds.x - 4, bounds.y - 4, bounds.width + 8, bounds.height + 8},
                       [&](GraphicsContext& layer) {
                           for (const Path& c : curves)
                               layer.stroke(c, TreePalette::glow().opacity(0.2), roundLine(6));
                       });

    Path pulses, sparks;
    const double pulsePhase = energyDashPhase(34, 26, time), sparkPhase = energyDashPhase(22, 25, time);
    for (const auto& line : lines) {
        appendDashes(pulses, line, 8, 26, pulsePhase, 1.7);
        appendDashes(sparks, line, 3, 25, sparkPhase, 1.1);
    }
    StrokeStyle pulse, spark;
    pulse.lineWidth = 1.7;
    spark.lineWidth = 1.1;
    context.stroke(pulses, TreePalette::activeGreen().opacity(0.9), pulse);
    context.stroke(sparks, TreePalette::glow().opacity(0.75), spark);
}

platform::ui::View EnergyFlowView(std::vector<StorageNodeModel> nodes, double time)
{
    return treeSceneCanvas([nodes = std::move(nodes), time](GraphicsContext& context, Size size) {
        drawEnergyFlow(context, size, nodes, time);
    });
}

}  // namespace tidewell
