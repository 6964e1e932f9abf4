#include "dashboard/StorageTreeRules.h"

#include <algorithm>
#include <cmath>

#include "foundation/Formatters.h"

namespace tidewell {

ProtectionToggle toggledProtection(std::set<std::string> stacks, const std::string& stack,
                                   const std::optional<std::string>& filterStack)
{
    if (stacks.erase(stack))
        return {std::move(stacks), std::nullopt};
    stacks.insert(stack);
    return {std::move(stacks), filterStack == stack ? std::nullopt : std::optional(stack)};
}

namespace {

bool cleanableFor(const ProjectDTO& p, const std::string& stack, const std::set<std::string>& protectedStacks)
{
    const auto has = [&](const std::string& type) { return type == stack; };
    const auto shielded = [&](const std::string& type) { return protectedStacks.count(type) > 0; };
    return std::any_of(p.types.begin(), p.types.end(), has) && !p.is_active && !p.pinned && p.reclaimable_bytes != 0 &&
           std::none_of(p.types.begin(), p.types.end(), shielded);
}

}  // namespace

std::vector<ProjectDTO> stackCleanProjects(const std::vector<ProjectDTO>& projects, const std::string& stack,
                                           const std::set<std::string>& protectedStacks)
{
    std::vector<ProjectDTO> out;
    for (const auto& p : projects)
        if (cleanableFor(p, stack, protectedStacks))
            out.push_back(p);
    return out;
}

bool canCleanStack(const StorageNodeModel& node, const std::vector<ProjectDTO>& projects,
                   const std::set<std::string>& protectedStacks)
{
    // Asked for every bubble's menu: look, copy nothing.
    return node.status != StorageNodeStatus::protected_ &&
           std::any_of(projects.begin(), projects.end(),
                       [&](const ProjectDTO& p) { return cleanableFor(p, node.id(), protectedStacks); });
}

std::vector<ProjectDTO> stackCleanRequest(const DashboardDTO& dash, const std::string& stack,
                                          const std::set<std::string>& protectedStacks)
{
    StorageNodeModel node;
    node.summary.project_type = stack;
    node.status = protectedStacks.count(stack) ? StorageNodeStatus::protected_ : StorageNodeStatus::active;
    for (const auto& s : dash.by_type)
        if (s.project_type == stack)
            node.status = storageNodeStatus(s, dash.projects, protectedStacks);
    if (!canCleanStack(node, dash.projects, protectedStacks))
        return {};
    return stackCleanProjects(dash.projects, stack, protectedStacks);
}

std::optional<std::string> protectionMenuTitle(bool userProtected, StorageNodeStatus status)
{
    if (userProtected)
        return "Remove Protection";
    if (status != StorageNodeStatus::protected_)
        return "Protect";
    return std::nullopt;
}

double storageTreeTime(double timelineSeconds, bool reduceMotion)
{
    return reduceMotion || !std::isfinite(timelineSeconds) ? 0 : timelineSeconds;
}

double bobbedNodeY(const StorageNodeModel& node, int index, double time, bool reduceMotion)
{
    return reduceMotion ? node.position.y : node.position.y + 2.6 * std::sin(0.7 * index + 0.85 * time);
}

std::vector<TreePerch> makeTreePerches(const std::vector<StorageNodeModel>& nodes, double time, double /*w*/, double h,
                                       bool reduceMotion)
{
    std::vector<TreePerch> perches;
    const double threshold = std::min(0.13 * h, 90.0) + 48;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const auto& n = nodes[i];
        const double y = bobbedNodeY(n, int(i), time, reduceMotion);
        if (n.diameter >= 44 && y - n.diameter / 2 > threshold)
            perches.push_back({n.summary.label,
                               platform::formatByteCount(n.summary.total_bytes) + " · " + storageStatusWord(n.status),
                               {n.position.x, y},
                               n.diameter / 2});
    }
    return perches;
}

}  // namespace tidewell
