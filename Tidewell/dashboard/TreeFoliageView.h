#pragma once
// The storage tree's leaves: a cluster in the crown, three along every
// branch (swaying with the branch's own phase) and six falling through the air.

#include <vector>

#include "dashboard/StorageNodeModel.h"
#include "ui/Canvas.h"
#include "ui/View.h"

namespace tidewell {

platform::ui::View TreeFoliageView(std::vector<StorageNodeModel> nodes, double time);

void drawTreeFoliage(platform::ui::GraphicsContext& context, platform::ui::Size size,
                     const std::vector<StorageNodeModel>& nodes, double time);

// The colour of the branch leaf at `u` on the branch of node `index`: gold
// at the tip of every fifth branch, light green outside, green inside.
platform::ui::Color leafColor(int index, double u);

}  // namespace tidewell
