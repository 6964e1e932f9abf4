#include "dashboard/StorageNodeStatus.h"

#include <algorithm>

#include "kit/TreePalette.h"

namespace tidewell {

StorageNodeStatus storageNodeStatus(const TypeSummaryDTO& summary, const std::vector<ProjectDTO>& projects,
                                    const std::set<std::string>& protectedStacks)
{
    const std::string& stack = summary.project_type;
    if (protectedStacks.count(stack))
        return StorageNodeStatus::protected_;
    // Runs for every bubble on every frame: a reclaimable stack is settled by
    // its first project that is not pinned.
    const bool reclaimable = summary.reclaimable_bytes != 0;
    std::size_t matching = 0, pinned = 0, idle = 0, active = 0;
    for (const ProjectDTO& p : projects) {
        if (std::find(p.types.begin(), p.types.end(), stack) == p.types.end())
            continue;
        if (reclaimable && !p.pinned)
            return StorageNodeStatus::reclaimable;
        ++matching;
        pinned += p.pinned;
        idle += p.is_idle;
        active += p.is_active;
    }
    if (matching > 0 && pinned == matching)
        return StorageNodeStatus::protected_;
    if (summary.reclaimable_bytes != 0)
        return StorageNodeStatus::reclaimable;
    if (idle > 0 && idle >= active)
        return StorageNodeStatus::idle;
    return StorageNodeStatus::active;
}

const char* storageStatusWord(StorageNodeStatus status)
{
    switch (status) {
    case StorageNodeStatus::active: return "Active";
    case StorageNodeStatus::idle: return "Idle";
    case StorageNodeStatus::reclaimable: return "Reclaimable";
    case StorageNodeStatus::protected_: return "Protected";
    }
    return "Active";
}

const platform::ui::Color& storageStatusColor(StorageNodeStatus status)
{
    switch (status) {
    case StorageNodeStatus::active: return TreePalette::activeGreen();
    case StorageNodeStatus::idle: return TreePalette::idleAmber();
    case StorageNodeStatus::reclaimable: return TreePalette::reclaimBlue();
    case StorageNodeStatus::protected_: return TreePalette::protectedGrey();
    }
    return TreePalette::activeGreen();
}

}  // namespace tidewell
