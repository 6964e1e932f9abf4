#include "dashboard/EnergyFlowView.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <unordered_map>

#include <QPolygonF>

#include "dashboard/TreeSceneCanvas.h"
#include "dashboard/TreeTrunkView.h"
#include "kit/GrowingScanCanvas.h"
#include "kit/TreePalette.h"

namespace tidewell {

using platform::ui::CanvasCache;
using platform::ui::GraphicsContext;
using platform::ui::Path;
using platform::ui::Point;
using platform::ui::Rect;
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

void appendDashes(Path& out, const QPolygonF& line, double on, double period, double phase, double width)
{
    // Where the dash pattern, shifted by `phase`, is on along the polyline.
    // Each dash is a straight stroke lengthened by half the line width at both
    // ends: the round caps of a dashed stroke, at a fraction of its cost (the
    // lines are one or two points wide and the curves gentle over a dash).
    if (line.size() < 2)
        return;
    std::vector<double> at(std::size_t(line.size()), 0);
    for (qsizetype i = 1; i < line.size(); ++i)
        at[std::size_t(i)] = at[std::size_t(i - 1)] + std::hypot(line[i].x() - line[i - 1].x(), line[i].y() - line[i - 1].y());
    const double length = at.back();
    std::size_t seg = 0;
    const auto pointAt = [&](double s) {
        while (seg + 2 < at.size() && at[seg + 1] < s)
            ++seg;
        const double span = at[seg + 1] - at[seg];
        const double f = span > 0 ? (s - at[seg]) / span : 0;
        const QPointF a = line[qsizetype(seg)], b = line[qsizetype(seg + 1)];
        return Point{a.x() + (b.x() - a.x()) * f, a.y() + (b.y() - a.y()) * f};
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

// The glow of one path stays still while the bubbles bob: its pixels are kept
// per path and drawn again only when the path changes.
CanvasCache& glowCache(const std::string& key)
{
    thread_local std::unordered_map<std::string, CanvasCache> caches;
    if (caches.size() >= 64 && !caches.count(key))
        caches.clear();
    return caches[key];
}

std::string pathKey(const Path& path)
{
    const QPainterPath& q = path.qt();
    std::string key;
    char buf[48];
    for (int i = 0; i < q.elementCount(); ++i) {
        const QPainterPath::Element e = q.elementAt(i);
        std::snprintf(buf, sizeof buf, "%d:%.2f,%.2f;", int(e.type), e.x, e.y);
        key += buf;
    }
    return key;
}

}  // namespace

void strokeEnergyFlow(GraphicsContext& context, const Path& path, double time)
{
    if (path.isEmpty())
        return;
    const std::string key = pathKey(path);
    const Rect r = path.boundingRect();
    context.drawCached(glowCache(key), key, {r.x - 4, r.y - 4, r.width + 8, r.height + 8},
                       [&](GraphicsContext& layer) { layer.stroke(path, TreePalette::glow().opacity(0.2), roundLine(6)); });

    Path pulses, sparks;
    const double pulsePhase = energyDashPhase(34, 26, time), sparkPhase = energyDashPhase(22, 25, time);
    for (const QPolygonF& line : path.qt().toSubpathPolygons()) {
        appendDashes(pulses, line, 8, 26, pulsePhase, 1.7);
        appendDashes(sparks, line, 3, 25, sparkPhase, 1.1);
    }
    StrokeStyle pulse, spark;
    pulse.lineWidth = 1.7;
    spark.lineWidth = 1.1;
    context.stroke(pulses, TreePalette::activeGreen().opacity(0.9), pulse);
    context.stroke(sparks, TreePalette::glow().opacity(0.75), spark);
}

void drawEnergyFlow(GraphicsContext& context, Size size, const std::vector<StorageNodeModel>& nodes, double time)
{
    if (!treeSceneDrawable(size))
        return;
    const double w = size.width, h = size.height;
    strokeEnergyFlow(context, trunkSapPath(w, h), time);
    for (const auto& node : nodes)
        if (const auto branch = storageBranch(node, w, h))
            strokeEnergyFlow(context, storageBranchCurve(*branch), time);
}

platform::ui::View EnergyFlowView(std::vector<StorageNodeModel> nodes, double time)
{
    return treeSceneCanvas([nodes = std::move(nodes), time](GraphicsContext& context, Size size) {
        drawEnergyFlow(context, size, nodes, time);
    });
}

}  // namespace tidewell
