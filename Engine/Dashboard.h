#pragma once
// Turns a walk into the dashboard record, and keeps a stored dashboard true
// after a clean moved some of its artifacts away.

#include "Walker.h"
#include "core/EngineRecords.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace tidewell::engine {

struct ScanContext {
    std::int64_t now = 0;
    std::int64_t idleDays = 0;
    std::set<FolderId> workingFolders;  // of the user's running processes, and those around them
};

// A stable identifier for a project path.
std::string projectId(const std::string& path);

ProjectDTO makeProject(const WalkedProject& p, const ProjectDetector& detector, const ScanContext& ctx);

// Whether a process of the user works in the project, or it changed within the last day.
bool isActive(const WalkedProject& p, const ScanContext& ctx);

// The project nested in `walk.projects[project]`, active or pinned, whose
// folder holds its artifact `a` (a Python cache of the project around a
// nested one of another stack): such an artifact is never offered with the
// project around it. Null for none.
const WalkedProject* heldAround(const WalkResult& walk, std::size_t project, const WalkedArtifact& a, const ScanContext& ctx);

// Projects sorted by path; counts, totals and the per-stack summary from them.
DashboardDTO buildDashboard(const WalkResult& walk, const ProjectDetector& detector, std::vector<GlobalCacheDTO> caches,
                            std::vector<std::string> roots, const ScanContext& ctx);

// Per-stack totals, in the order of `order` (stack id and label, bit k of a
// mask meaning its k-th stack); stacks without projects are left out. A
// project inside one of its own stack (`stacksAround`, the stacks of the
// projects around each project) adds to that stack's count and reclaimable
// bytes, not to its size, which holds it already.
std::vector<TypeSummaryDTO> summarizeByType(const std::vector<ProjectDTO>& projects,
                                            const std::vector<std::pair<std::string, std::string>>& order,
                                            const std::vector<StackMask>& stacksAround);

struct MovedFolder {
    std::string path;
    std::uint64_t bytes = 0;
};

// Removes the moved artifacts of the project at `projectPath` and recomputes
// the sums they were part of. False when the dashboard lists none of them.
bool applyClean(DashboardDTO& dashboard, const std::string& projectPath, const std::vector<MovedFolder>& moved);

}  // namespace tidewell::engine
