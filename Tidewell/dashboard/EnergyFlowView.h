#pragma once
// Light flowing up the trunk and out along every branch to its bubble.

#include <vector>

#include "dashboard/StorageNodeModel.h"
#include "ui/Canvas.h"
#include "ui/View.h"

namespace tidewell {

platform::ui::View EnergyFlowView(std::vector<StorageNodeModel> nodes, double time);

// The flowing light of the trunk line, then of every branch in the order of `nodes`.
void drawEnergyFlow(platform::ui::GraphicsContext& context, platform::ui::Size size,
                    const std::vector<StorageNodeModel>& nodes, double time);

// The three strokes of flowing light on one path, all with round caps: a
// still cyan glow, then green pulses and cyan sparks travelling along it
// from its start at 34 and 22 points a second.
void strokeEnergyFlow(platform::ui::GraphicsContext& context, const platform::ui::Path& path, double time);

// The dash phase of a pattern `period` points long moving `speed` points a
// second, brought into one period so it stays exact at clock values of years.
double energyDashPhase(double speed, double period, double time);

}  // namespace tidewell
