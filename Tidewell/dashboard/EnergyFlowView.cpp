#include "dashboard/EnergyFlowView.h"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <unordered_map>
#include <vector>

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

double energyDashPhase(double speed, double period, double time)
{
    double phase = std::fmod(-speed * time, period);
    if (phase < 0)
        phase += period;
    return std::isfinite(phase) ? phase : 0;
}

namespace {

// The outline of a straight stroke from p to q of `width` with round caps:
// the two sides joined by half circles of a few chords each.
void appendCapsule(Path& out, Point p, Point q, double width)
{
    constexpr int chords = 4;
    constexpr double pi = std::numbers::pi;
    const double r = width / 2;
    const double dx = q.x - p.x, dy = q.y - p.y, len = std::hypot(dx, dy);
    const double along = len > 1e-6 ? std::atan2(dy, dx) : -pi / 2;
    // Around q from one side to the other, then around p back again.
    for (int end = 0; end < 2; ++end) {
        const Point c = end == 0 ? q : p;
        const double from = along - pi / 2 + end * pi;
        for (int i = 0; i <= chords; ++i) {
            const double a = from + pi * i / chords;
            const Point at{c.x + r * std::cos(a), c.y + r * std::sin(a)};
            if (end == 0 && i == 0)
                out.move(at);
            else
                out.addLine(at);
        }
    }
    out.closeSubpath();
}

void appendDashes(std::vector<Path>& dashes, const QPolygonF& line, double on, double period, double phase,
                  double width)
{
    // Where the dash pattern, shifted by `phase`, is on along the polyline.
    // Each dash is one straight stroke with round caps, laid down as its own
    // outline: a round-capped dashed stroke's look at a fraction of its cost
    // (the lines are one or two points wide and the curves gentle over a
    // dash), and Qt fills many small shapes faster than one that spans them.
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
        appendCapsule(dashes.emplace_back(), pointAt(a), pointAt(b), width);
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

    std::vector<Path> pulses, sparks;
    const double pulsePhase = energyDashPhase(34, 26, time), sparkPhase = energyDashPhase(22, 25, time);
    for (const QPolygonF& line : path.qt().toSubpathPolygons()) {
        appendDashes(pulses, line, 8, 26, pulsePhase, 1.7);
        appendDashes(sparks, line, 3, 25, sparkPhase, 1.1);
    }
    for (const Path& dash : pulses)
        context.fill(dash, TreePalette::activeGreen().opacity(0.9));
    for (const Path& dash : sparks)
        context.fill(dash, TreePalette::glow().opacity(0.75));
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
