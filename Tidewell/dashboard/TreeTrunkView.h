#pragma once
// The storage tree's wood: two roots, one curved branch out to every bubble
// (lowest first, so higher branches lie over lower ones) and the trunk over
// the branches' roots. Also the branch geometry the upper layers share.

#include <array>
#include <optional>
#include <vector>

#include "dashboard/StorageNodeModel.h"
#include "ui/Canvas.h"
#include "ui/View.h"

namespace tidewell {

platform::ui::View TreeTrunkView(std::vector<StorageNodeModel> nodes);

void drawTreeTrunk(platform::ui::GraphicsContext& context, platform::ui::Size size,
                   const std::vector<StorageNodeModel>& nodes);

// A node's branch: from the side of the trunk facing the bubble to just
// inside its rim, bowed by the shared control point.
struct StorageBranch {
    platform::ui::Point start, control, end;
    double halfWidth = 0;
    bool operator==(const StorageBranch&) const = default;
};

// None when the branch would be 12 points long or less.
std::optional<StorageBranch> storageBranch(const StorageNodeModel& node, double w, double h);

// The left root, then the right one (open paths).
std::array<platform::ui::Path, 2> rootPaths(double w, double h);

// A closed ribbon along the branch's curve, tapering linearly from
// `startHalfWidth` to `endHalfWidth`.
platform::ui::Path taperedBranchPath(const StorageBranch& branch, double startHalfWidth, double endHalfWidth);

// The branch's centre line.
platform::ui::Path storageBranchCurve(const StorageBranch& branch);

}  // namespace tidewell
