#include "dashboard/EnergyFlowView.h"

#include <cmath>

#include "dashboard/TreeSceneCanvas.h"
#include "dashboard/TreeTrunkView.h"
#include "kit/TreePalette.h"

namespace tidewell {

using platform::ui::GraphicsContext;
using platform::ui::LineCap;
using platform::ui::Path;
using platform::ui::Size;
using platform::ui::StrokeStyle;

namespace {

StrokeStyle roundStroke(double width, std::vector<double> dash = {}, double phase = 0)
{
    StrokeStyle s;
    s.lineWidth = width;
    s.lineCap = LineCap::round;
    s.dash = std::move(dash);
    s.dashPhase = phase;
    return s;
}

Path trunkLine(double w, double h)
{
    const double cx = 0.5 * w;
    Path p;
    p.move({cx, 0.9 * h});
    p.addCurve({cx + 0.006 * w, 0.555 * h}, {cx - 0.012 * w, 0.78 * h}, {cx + 0.014 * w, 0.66 * h});
    return p;
}

}  // namespace

double energyDashPhase(double speed, double period, double time)
{
    double phase = std::fmod(-speed * time, period);
    if (phase < 0)
        phase += period;
    return std::isfinite(phase) ? phase : 0;
}

void strokeEnergyFlow(GraphicsContext& context, const Path& path, double time)
{
    context.stroke(path, TreePalette::glow().opacity(0.2), roundStroke(6));
    context.stroke(path, TreePalette::activeGreen().opacity(0.9), roundStroke(1.7, {8, 18}, energyDashPhase(34, 26, time)));
    context.stroke(path, TreePalette::glow().opacity(0.75), roundStroke(1.1, {3, 22}, energyDashPhase(22, 25, time)));
}

void drawEnergyFlow(GraphicsContext& context, Size size, const std::vector<StorageNodeModel>& nodes, double time)
{
    if (!treeSceneDrawable(size))
        return;
    strokeEnergyFlow(context, trunkLine(size.width, size.height), time);
    for (const auto& node : nodes)
        if (const auto branch = storageBranch(node, size.width, size.height))
            strokeEnergyFlow(context, storageBranchCurve(*branch), time);
}

platform::ui::View EnergyFlowView(std::vector<StorageNodeModel> nodes, double time)
{
    return treeSceneCanvas([nodes = std::move(nodes), time](GraphicsContext& context, Size size) {
        drawEnergyFlow(context, size, nodes, time);
    });
}

}  // namespace tidewell
