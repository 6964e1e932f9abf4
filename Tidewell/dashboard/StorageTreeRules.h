#pragma once
// The storage tree's decisions as plain functions: protecting a stack, which
// projects a stack's clean may take, the bob of the bubbles and the
// character's perches.

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/EngineRecords.h"
#include "core/ProtectedStacks.h"
#include "dashboard/StorageNodeModel.h"
#include "dashboard/TreePerch.h"

namespace tidewell {

struct ProtectionToggle {
    std::set<std::string> stacks;
    // The selection to set, when protecting changes it.
    std::optional<std::string> select;
};
// Protecting also selects the stack; removing protection leaves the selection.
ProtectionToggle toggledProtection(std::set<std::string> stacks, const std::string& stack,
                                   const std::optional<std::string>& filterStack);

// The projects a clean of `stack` takes, in scan order: of that stack, not
// active, not pinned, something to reclaim, and not of any protected stack,
// so protecting one stack keeps its projects out of every other stack's clean.
std::vector<ProjectDTO> stackCleanProjects(const std::vector<ProjectDTO>& projects, const std::string& stack,
                                           const std::set<std::string>& protectedStacks);
bool canCleanStack(const StorageNodeModel& node, const std::vector<ProjectDTO>& projects,
                   const std::set<std::string>& protectedStacks);
// What a clean of `stack` hands to the store: nothing when the stack cannot
// be cleaned (whoever asks: the checks do not rely on a disabled menu item).
std::vector<ProjectDTO> stackCleanRequest(const DashboardDTO& dash, const std::string& stack,
                                          const std::set<std::string>& protectedStacks);

// The context menu's third item: "Remove Protection", "Protect", or none for
// a stack protected only because all its projects are pinned.
std::optional<std::string> protectionMenuTitle(bool userProtected, StorageNodeStatus status);

// The tree's clock: 0 under reduce motion, else the timeline's seconds.
double storageTreeTime(double timelineSeconds, bool reduceMotion);
// A bubble's centre height as drawn: bobbing 2.6 points, still under reduce motion.
double bobbedNodeY(const StorageNodeModel& node, int index, double time, bool reduceMotion);

// Where the character can stand: the bubbles of 44 points or more whose top
// edge lies below the crown's upper band, each named by its stack, its total
// size and its status ("Node / JS", "2.5 GB · Idle").
std::vector<TreePerch> makeTreePerches(const std::vector<StorageNodeModel>& nodes, double time, double w, double h,
                                       bool reduceMotion);

}  // namespace tidewell
