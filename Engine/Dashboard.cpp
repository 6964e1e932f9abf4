#include "Dashboard.h"

#include "Activity.h"
#include "Home.h"
#include "SizeAccounting.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace tidewell::engine {

std::string projectId(const std::string& path) {
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : path) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

namespace {

void sumArtifacts(ProjectDTO& p) {
    p.reclaimable_bytes = p.safe_bytes = p.caution_bytes = 0;
    for (const auto& a : p.artifacts) {
        p.reclaimable_bytes = saturatingAdd(p.reclaimable_bytes, a.size_bytes);
        if (a.safetyClass == "safe") p.safe_bytes = saturatingAdd(p.safe_bytes, a.size_bytes);
        else p.caution_bytes = saturatingAdd(p.caution_bytes, a.size_bytes);
    }
}

}  // namespace

bool isActive(const WalkedProject& p, const ScanContext& ctx) {
    return (p.lastActivity && ctx.now - *p.lastActivity < kSecondsPerDay) || ctx.workingFolders.count(p.folder) > 0;
}

const WalkedProject* heldAround(const WalkResult& walk, std::size_t project, const WalkedArtifact& a, const ScanContext& ctx) {
    for (int q = a.within; q >= 0 && static_cast<std::size_t>(q) != project; q = walk.projects[q].parent)
        if (walk.projects[q].pinned || isActive(walk.projects[q], ctx)) return &walk.projects[q];
    return nullptr;
}

ProjectDTO makeProject(const WalkedProject& p, const ProjectDetector& detector, const ScanContext& ctx) {
    ProjectDTO dto;
    dto.id = projectId(p.path);
    dto.name = p.name;
    dto.path = p.path;
    dto.types = detector.typeIds(p.stacks);
    dto.total_bytes = p.totalBytes;
    for (const auto& a : p.artifacts) {
        ArtifactDTO art;
        art.relative_path = a.relPath;
        art.absolute_path = a.absPath;
        art.safetyClass = a.safetyClass;
        art.size_bytes = a.bytes;
        art.exists = true;
        dto.artifacts.push_back(std::move(art));
    }
    sumArtifacts(dto);
    if (p.lastActivity) {
        dto.last_activity_unix = *p.lastActivity;
        dto.idle_days = wholeDaysSince(*p.lastActivity, ctx.now);
        dto.is_idle = ctx.idleDays >= 0 && *dto.idle_days >= static_cast<std::uint64_t>(ctx.idleDays);
    }
    dto.is_active = isActive(p, ctx);
    dto.pinned = p.pinned;
    return dto;
}

std::vector<TypeSummaryDTO> summarizeByType(const std::vector<ProjectDTO>& projects,
                                            const std::vector<std::pair<std::string, std::string>>& order,
                                            const std::vector<StackMask>& stacksAround) {
    std::vector<TypeSummaryDTO> out;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const auto& [id, label] = order[k];
        TypeSummaryDTO s;
        s.project_type = id;
        s.label = label;
        for (std::size_t i = 0; i < projects.size(); ++i) {
            const ProjectDTO& p = projects[i];
            if (std::find(p.types.begin(), p.types.end(), id) == p.types.end()) continue;
            ++s.project_count;
            if (!(stacksAround[i] >> k & 1)) s.total_bytes = saturatingAdd(s.total_bytes, p.total_bytes);
            s.reclaimable_bytes = saturatingAdd(s.reclaimable_bytes, p.reclaimable_bytes);
        }
        if (s.project_count > 0) out.push_back(std::move(s));
    }
    return out;
}

DashboardDTO buildDashboard(const WalkResult& walk, const ProjectDetector& detector, std::vector<GlobalCacheDTO> caches,
                            std::vector<std::string> roots, const ScanContext& ctx) {
    DashboardDTO d;
    std::vector<std::size_t> byPath(walk.projects.size());
    for (std::size_t i = 0; i < byPath.size(); ++i) byPath[i] = i;
    std::sort(byPath.begin(), byPath.end(), [&](std::size_t a, std::size_t b) { return walk.projects[a].path < walk.projects[b].path; });
    // A nested project's bytes are already in the project around it (a
    // monorepo's packages would otherwise count twice in its stack's size),
    // also when it is listed under a scan folder that reaches it by a link;
    // but only in that project's stacks: a Node package inside a Python
    // project counts in Node's size, as its folders count in Node's
    // reclaimable bytes.
    std::vector<StackMask> around(walk.projects.size());  // parents come first
    for (std::size_t i = 0; i < around.size(); ++i) {
        const WalkedProject& p = walk.projects[i];
        around[i] = p.artifactStacks | (p.parent >= 0 ? around[p.parent] | walk.projects[p.parent].stacks : 0);
    }
    std::vector<StackMask> stacksAround;
    for (const std::size_t i : byPath) {
        ProjectDTO p = makeProject(walk.projects[i], detector, ctx);
        const auto& walked = walk.projects[i].artifacts;
        const auto before = p.artifacts.size();
        for (std::size_t a = walked.size(); a-- > 0;)
            if (heldAround(walk, i, walked[a], ctx)) p.artifacts.erase(p.artifacts.begin() + static_cast<std::ptrdiff_t>(a));
        if (p.artifacts.size() != before) sumArtifacts(p);
        d.projects.push_back(std::move(p));
        stacksAround.push_back(around[i]);
    }
    d.project_count = static_cast<std::int64_t>(d.projects.size());
    for (const auto& p : d.projects) {
        if (p.is_idle) ++d.idle_count;
        d.reclaimable_bytes = saturatingAdd(d.reclaimable_bytes, p.reclaimable_bytes);
    }
    d.total_bytes = walk.totalBytes;
    std::vector<std::pair<std::string, std::string>> order;
    for (const auto& s : detector.rules().stacks) order.emplace_back(s.id, s.label);
    d.by_type = summarizeByType(d.projects, order, stacksAround);
    d.global_caches = std::move(caches);
    d.scanned_at_unix = ctx.now;
    d.roots = std::move(roots);
    return d;
}

bool applyClean(DashboardDTO& d, const std::string& projectPath, const std::vector<MovedFolder>& movedFolders) {
    auto it = std::find_if(d.projects.begin(), d.projects.end(), [&](const ProjectDTO& p) { return p.path == projectPath; });
    if (it == d.projects.end()) return false;
    // Only folders the dashboard lists were counted in it: one that a scan
    // found gone already is in none of its sums.
    std::unordered_set<std::string_view> listed;
    for (const auto& a : it->artifacts) listed.insert(a.absolute_path);
    std::vector<MovedFolder> moved;
    for (const auto& m : movedFolders)
        if (listed.count(m.path)) moved.push_back(m);
    if (moved.empty()) return false;
    std::unordered_set<std::string_view> gone;
    for (const auto& m : moved) gone.insert(m.path);
    auto& arts = it->artifacts;
    arts.erase(std::remove_if(arts.begin(), arts.end(), [&](const ArtifactDTO& a) { return gone.count(a.absolute_path) > 0; }),
               arts.end());
    // Each folder was part of this project and of every project around it,
    // found by its parents' paths.
    std::unordered_map<std::string_view, ProjectDTO*> byPath;
    for (auto& p : d.projects) byPath.emplace(p.path, &p);
    for (const auto& m : moved) {
        std::unordered_set<std::string_view> holders;  // the stacks of the projects that held it
        const auto held = [&](ProjectDTO& p) {
            p.total_bytes = saturatingSub(p.total_bytes, m.bytes);
            holders.insert(p.types.begin(), p.types.end());
        };
        for (std::size_t i = m.path.size(); i != std::string::npos && i > 0; i = m.path.rfind('/', i - 1))
            if (const auto found = byPath.find(std::string_view(m.path).substr(0, i)); found != byPath.end()) held(*found->second);
        if (const auto root = byPath.find("/"); root != byPath.end() && m.path.size() > 1) held(*root->second);
        // A stack's size counted it once, through the outermost of its projects that held it.
        for (auto& s : d.by_type)
            if (holders.count(s.project_type)) s.total_bytes = saturatingSub(s.total_bytes, m.bytes);
        d.total_bytes = saturatingSub(d.total_bytes, m.bytes);
    }
    sumArtifacts(*it);
    d.reclaimable_bytes = 0;
    for (const auto& p : d.projects) d.reclaimable_bytes = saturatingAdd(d.reclaimable_bytes, p.reclaimable_bytes);
    for (auto& s : d.by_type) {
        s.reclaimable_bytes = 0;
        for (const auto& p : d.projects)
            if (std::find(p.types.begin(), p.types.end(), s.project_type) != p.types.end())
                s.reclaimable_bytes = saturatingAdd(s.reclaimable_bytes, p.reclaimable_bytes);
    }
    return true;
}

}  // namespace tidewell::engine
