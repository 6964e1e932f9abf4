#pragma once
// Light flowing up the trunk and out along every branch to its bubble.

#include <vector>

#include "dashboard/StorageNodeModel.h"
#include "ui/Canvas.h"
#include "ui/View.h"

namespace tidewell {

platform::ui::View EnergyFlowView(std::vector<StorageNodeModel> nodes, double time);

// On the trunk line and every branch: a still cyan glow, then green pulses
// and cyan sparks travelling away from the trunk's foot and out to the bubbles.
void drawEnergyFlow(platform::ui::GraphicsContext& context, platform::ui::Size size,
                    const std::vector<StorageNodeModel>& nodes, double time);

// The dash phase of a pattern `period` points long moving `speed` points a
// second, brought into one period so it stays exact at clock values of years.
double energyDashPhase(double speed, double period, double time);

}  // namespace tidewell
