#pragma once
// The status of one stack in the storage tree: what its bubble's dot, the
// legend and the detail panel say about it.

#include <set>
#include <string>
#include <vector>

#include "core/EngineRecords.h"
#include "ui/Color.h"

namespace tidewell {

enum class StorageNodeStatus { active, idle, reclaimable, protected_ };

// First match wins: the user's protected set, then every one of the stack's
// projects pinned, then the summary's reclaimable bytes, then more idle than
// active projects (a tie is idle), else active.
StorageNodeStatus storageNodeStatus(const TypeSummaryDTO& summary, const std::vector<ProjectDTO>& projects,
                                    const std::set<std::string>& protectedStacks);

// "Active", "Idle", "Reclaimable", "Protected".
const char* storageStatusWord(StorageNodeStatus status);

// The status's colour from the tree's palette.
const platform::ui::Color& storageStatusColor(StorageNodeStatus status);

}  // namespace tidewell
