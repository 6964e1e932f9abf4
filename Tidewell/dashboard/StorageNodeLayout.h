#pragma once
// Places the stacks of a scan as bubbles in the crown of the storage tree:
// heaviest first, sized by weight, started on a fixed pattern of slots, pushed
// apart and kept inside the crown, off the trunk and out of the legend's
// corner. Pure and cheap enough to run on every frame.

#include <set>
#include <string>
#include <vector>

#include "core/EngineRecords.h"
#include "dashboard/StorageNodeModel.h"
#include "ui/Geometry.h"

namespace tidewell {

// The smallest bubble the tree draws: its icon and the longest size text fit
// in it at the text's smallest scale (see storageNodeSizeTextRoom). A crowded
// crown stops shrinking its bubbles here and reaches lower instead.
inline constexpr double storageNodeMinimumDiameter = 60;

// The bubbles for a drawing area of `size`, heaviest stack first; empty for
// an area of 40 points or less (or not finite) on either side, no summaries,
// or a crown too small for the smallest bubble.
std::vector<StorageNodeModel> layoutStorageNodes(platform::ui::Size size, const std::vector<TypeSummaryDTO>& summaries,
                                                 const std::vector<ProjectDTO>& projects,
                                                 const std::set<std::string>& protectedStacks);

// The unit position (each coordinate in 0…1) of bubble `index` in the crown.
platform::ui::Point storageSlot(int index);

// Pushes overlapping bubbles apart and keeps them inside `playfield`, off the
// trunk's column and out of the legend's corner of `size`; moves in place.
void relaxStorageNodes(std::vector<platform::ui::Point>& positions, const std::vector<double>& diameters,
                       platform::ui::Rect playfield, platform::ui::Size size);

// Pairs the lists by index (as many nodes as the shortest) with each stack's status.
std::vector<StorageNodeModel> makeStorageNodes(const std::vector<TypeSummaryDTO>& summaries,
                                               const std::vector<platform::ui::Point>& positions,
                                               const std::vector<double>& diameters,
                                               const std::vector<ProjectDTO>& projects,
                                               const std::set<std::string>& protectedStacks);

}  // namespace tidewell
