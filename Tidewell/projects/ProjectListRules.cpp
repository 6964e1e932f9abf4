#include "projects/ProjectListRules.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include <QString>

#include "foundation/Formatters.h"
#include "kit/StackVocabulary.h"
#include "projects/RowKeys.h"

namespace tidewell {

namespace {

// Full Unicode lower-casing; plain ASCII, by far the usual case, without the round trip.
std::string lowered(const std::string& text) {
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        std::string out = text;
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return out;
    }
    return QString::fromStdString(text).toLower().toStdString();
}

bool contains(const std::string& text, const std::string& loweredQuery) {
    return lowered(text).find(loweredQuery) != std::string::npos;
}

}  // namespace

bool projectMatchesQuery(const ProjectDTO& project, const std::string& query) {
    if (query.empty()) return true;
    const std::string q = lowered(query);
    if (contains(project.name, q) || contains(project.path, q)) return true;
    return std::any_of(project.types.begin(), project.types.end(),
                       [&](const std::string& type) { return contains(stackDisplayName(type), q); });
}

ProjectRefs visibleProjects(const ProjectListInputs& in) {
    ProjectRefs out;
    if (!in.dashboard) return out;
    out.reserve(in.dashboard->projects.size());
    const std::string q = lowered(in.state.query);
    // Whether a stack's display name matches, worked out once per stack.
    std::unordered_map<std::string, bool> stackMatches;
    auto stackMatch = [&](const std::string& type) {
        auto [it, fresh] = stackMatches.try_emplace(type, false);
        if (fresh) it->second = contains(stackDisplayName(type), q);
        return it->second;
    };
    for (const auto& p : in.dashboard->projects) {
        if (p.reclaimable_bytes == 0) continue;
        if (in.filterIdle && !p.is_idle) continue;
        if (in.filterStack && std::find(p.types.begin(), p.types.end(), *in.filterStack) == p.types.end()) continue;
        if (!q.empty() && !contains(p.name, q) && !contains(p.path, q) &&
            std::none_of(p.types.begin(), p.types.end(), stackMatch))
            continue;
        out.push_back(&p);
    }
    if (in.state.sortReclaimable) {
        std::stable_sort(out.begin(), out.end(), [](const ProjectDTO* a, const ProjectDTO* b) {
            return a->reclaimable_bytes > b->reclaimable_bytes;
        });
    } else {
        // The locale's order of the case-folded names, so "app" and "App"
        // compare equal and keep their order. Folded once per project.
        std::vector<std::pair<QString, const ProjectDTO*>> keyed;
        keyed.reserve(out.size());
        for (const auto* p : out) keyed.emplace_back(QString::fromStdString(p->name).toCaseFolded(), p);
        std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
            return QString::localeAwareCompare(a.first, b.first) < 0;
        });
        for (std::size_t i = 0; i < keyed.size(); ++i) out[i] = keyed[i].second;
    }
    return out;
}

bool isSelectableProject(const ProjectDTO& project) { return !project.pinned && project.reclaimable_bytes != 0; }

ProjectListDerived deriveProjectList(const ProjectListInputs& in) {
    ProjectListDerived d;
    d.visibleProjects = visibleProjects(in);
    std::unordered_set<std::string> selectableIDs;
    for (const auto* p : d.visibleProjects) {
        if (isSelectableProject(*p)) {
            d.selectableProjects.push_back(p);
            selectableIDs.insert(p->id);
        }
        if (!p->is_active && isSelectableProject(*p)) d.cleanAllCandidates.push_back(p);
        if (p->reclaimable_bytes != 0) d.cleanAllRequest.push_back(p);
    }
    for (const auto& id : in.state.selectedIDs)
        if (selectableIDs.count(id)) d.selectedIDs.insert(id);
    std::uint64_t selectedBytes = 0;
    for (const auto* p : d.selectableProjects) {
        if (!d.selectedIDs.count(p->id)) continue;
        d.selectedCleanableProjects.push_back(p);
        selectedBytes = platform::saturatingAdd(selectedBytes, p->reclaimable_bytes);
    }
    d.allSelectableSelected = !d.selectableProjects.empty() && !d.selectedIDs.empty() &&
                              std::all_of(d.selectableProjects.begin(), d.selectableProjects.end(),
                                          [&](const ProjectDTO* p) { return d.selectedIDs.count(p->id) > 0; });

    d.canSelect = !d.selectableProjects.empty() && !in.isCleaning;
    d.canSelectAll = !d.selectableProjects.empty();
    d.canCleanSelected = !d.selectedCleanableProjects.empty() && !in.isCleaning && !in.isScanning;
    d.canCleanAll = !d.cleanAllCandidates.empty() && !in.isCleaning && !in.isScanning;

    d.cleanSelectedTitle = d.selectedIDs.empty() ? "Clean" : "Clean " + std::to_string(d.selectedIDs.size());
    d.selectAllTitle = d.allSelectableSelected ? "Deselect All" : "Select All";
    d.selectionSummary = d.selectedIDs.empty() ? "Select projects to clean"
                                               : std::to_string(d.selectedCleanableProjects.size()) + " selected \u00B7 " +
                                                     platform::formatByteCount(selectedBytes) + " reclaimable";
    if (!in.dashboard)
        d.emptyStateDetail = "Rescan to find Flutter, React Native, Node, and more.";
    else if (in.filterStack || in.filterIdle || !in.state.query.empty())
        d.emptyStateDetail = "Try another stack filter or search.";
    else
        d.emptyStateDetail = "Nothing left to clean.";
    return d;
}

std::vector<std::string> projectCardKeys(const ProjectRefs& visible) {
    std::vector<std::string> ids;
    ids.reserve(visible.size());
    for (const auto* p : visible) ids.push_back(p->id);
    return uniqueRowKeys(ids);
}

std::vector<ProjectDTO> copiesOf(const ProjectRefs& projects) {
    std::vector<ProjectDTO> out;
    out.reserve(projects.size());
    for (const auto* p : projects) out.push_back(*p);
    return out;
}

}  // namespace tidewell
