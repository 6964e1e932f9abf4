#include "core/CleanRules.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include <QUuid>

#include "core/StoreRules.h"
#include "foundation/Formatters.h"

namespace tidewell {

ProtectedStacks ProtectedStacks::of(std::set<std::string> ids, const std::optional<DashboardDTO>& dashboard) {
    ProtectedStacks out;
    if (dashboard)
        for (const auto& summary : dashboard->by_type)
            if (ids.count(summary.project_type) && !summary.label.empty())
                out.labels.emplace(summary.project_type, summary.label);
    out.ids = std::move(ids);
    return out;
}

std::optional<std::string> ProtectedStacks::protecting(const ProjectDTO& project) const {
    if (ids.empty()) return std::nullopt;
    for (const auto& type : project.types)
        if (ids.count(type)) return type;
    return std::nullopt;
}

std::string ProtectedStacks::label(const std::string& stack) const {
    const auto found = labels.find(stack);
    return found == labels.end() ? stack : found->second;
}

bool isEligibleForClean(const ProjectDTO& p, bool caution, const ProtectedStacks& protectedStacks) {
    return !passedOverReason(p, caution, protectedStacks);
}

std::vector<ProjectDTO> eligibleProjects(const std::vector<ProjectDTO>& projects, bool caution,
                                         const ProtectedStacks& protectedStacks) {
    std::vector<ProjectDTO> kept;
    for (const auto& p : projects)
        if (isEligibleForClean(p, caution, protectedStacks)) kept.push_back(p);
    return kept;
}

std::optional<std::string> passedOverReason(const ProjectDTO& p, bool caution, const ProtectedStacks& protectedStacks) {
    if (p.pinned) return "it is pinned: a .tidewell-keep file keeps it";
    if (p.is_active) return "it is active: it changed in the last day, or a program is working in it";
    if ((caution ? p.reclaimable_bytes : p.safe_bytes) == 0) return "there is nothing left in it to move";
    if (const auto stack = protectedStacks.protecting(p))
        return "its stack " + protectedStacks.label(*stack) + " is protected";
    return std::nullopt;
}

std::vector<ShieldedProject> shieldedProjectsInside(const ProjectDTO& project, const std::vector<const ProjectDTO*>& known,
                                                    const ProtectedStacks& protectedStacks,
                                                    const std::set<std::string>& requested) {
    std::vector<ShieldedProject> shielded;
    if (protectedStacks.ids.empty()) return shielded;
    for (const auto* other : known) {
        if (other->path == project.path || !isPathInside(other->path, project.path)) continue;
        if (const auto stack = protectedStacks.protecting(*other))
            shielded.push_back({other->path, other->name, "its stack " + protectedStacks.label(*stack) + " is protected",
                                requested.count(other->path) > 0});
    }
    return shielded;
}

std::set<std::size_t> dropShieldedItems(CleanReportDTO& report, const std::vector<ShieldedProject>& shielded) {
    std::set<std::size_t> holding;
    if (shielded.empty()) return holding;
    std::erase_if(report.items, [&](const CleanItemDTO& item) {
        for (std::size_t i = 0; i < shielded.size(); ++i) {
            if (!isPathInside(item.path, shielded[i].path)) continue;
            holding.insert(i);
            if (item.success) report.bytes_reclaimed -= std::min(report.bytes_reclaimed, item.bytes);
            return true;
        }
        return false;
    });
    return holding;
}

CleanReportDTO mergeCleanReports(const std::vector<CleanReportDTO>& reports) {
    CleanReportDTO merged;
    merged.dry_run = std::all_of(reports.begin(), reports.end(), [](const CleanReportDTO& r) { return r.dry_run; });
    if (reports.size() == 1) merged.project_path = reports.front().project_path;
    for (const auto& r : reports) {
        merged.items.insert(merged.items.end(), r.items.begin(), r.items.end());
        merged.bytes_reclaimed = platform::saturatingAdd(merged.bytes_reclaimed, r.bytes_reclaimed);
    }
    merged.operation_id = reports.empty() ? QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString()
                                          : reports.back().operation_id;
    return merged;
}

std::uint64_t movedBytes(const CleanReportDTO& report) {
    std::uint64_t sum = 0;
    for (const auto& item : report.items)
        if (item.success) sum = platform::saturatingAdd(sum, item.bytes);
    return sum;
}

std::size_t movedItemCount(const CleanReportDTO& report) {
    return static_cast<std::size_t>(
        std::count_if(report.items.begin(), report.items.end(), [](const CleanItemDTO& i) { return i.success; }));
}

std::string calculatingText(const std::vector<ProjectDTO>& projects) {
    if (projects.size() == 1) return "Calculating " + projects.front().name + "\u2026";
    return "Calculating " + std::to_string(projects.size()) + " projects\u2026";
}

std::string calculatingStepText(std::size_t index, std::size_t count) {
    return "Calculating " + std::to_string(index + 1) + " of " + std::to_string(count) + "\u2026";
}

std::string cleaningStepText(std::size_t index, std::size_t count) {
    if (count == 1) return "Moving to Trash\u2026";
    return "Cleaning " + std::to_string(index + 1) + " of " + std::to_string(count) + "\u2026";
}

std::string cleanOutcomeText(std::int64_t projects, std::size_t items, std::uint64_t bytes) {
    return "Cleaned " + std::to_string(projects) + (projects == 1 ? " project" : " projects") + " \u00B7 " +
           std::to_string(items) + (items == 1 ? " item" : " items") + " \u00B7 " + platform::formatByteCount(bytes) +
           " to Trash";
}

std::string leftOutText(const std::vector<std::pair<std::string, std::string>>& namesAndReasons) {
    std::string text = "Left out ";
    if (namesAndReasons.size() != 1) text += std::to_string(namesAndReasons.size()) + " projects: ";
    for (std::size_t i = 0; i < namesAndReasons.size(); ++i)
        text += (i ? " \u00B7 " : "") + namesAndReasons[i].first + ": " + namesAndReasons[i].second;
    return text;
}

namespace {
std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// The engine's words after "project path <path> ", told of the project itself.
std::string projectRefusal(const std::string& rest) {
    static constexpr std::string_view cannotBeFound = "cannot be found: ";
    static constexpr std::string_view cannotBeOpened = "cannot be opened: ";
    if (startsWith(rest, cannotBeFound) || startsWith(rest, cannotBeOpened)) {
        const bool found = startsWith(rest, cannotBeFound);
        const auto why = rest.substr((found ? cannotBeFound : cannotBeOpened).size());
        if (why == "Permission denied") return found ? "its folder cannot be reached by you" : "its folder cannot be opened by you";
        if (found && why == "No such file or directory") return "its folder cannot be found";
        return std::string(found ? "its folder cannot be found" : "its folder cannot be opened") + " (" + why + ")";
    }
    if (startsWith(rest, "is not valid UTF-8")) return "its folder\u2019s name is not valid UTF-8, so it cannot be cleaned";
    if (rest == "is not a folder") return "it is no longer a folder";
    if (startsWith(rest, "is not a project")) return "it is no longer a project: no project file is left in it";
    return "it " + rest;
}
}  // namespace

std::string leftOutReason(const std::string& dryRunFailure, const std::string& projectPath) {
    static constexpr std::string_view engineName = "tidewell-engine: ";
    // The banner names the project already: its path is noise here.
    const std::string aboutProject = "project path " + projectPath + " ";
    std::string reason;
    for (auto line : splitLines(dryRunFailure)) {
        if (startsWith(line, engineName)) line.erase(0, engineName.size());
        if (startsWith(line, aboutProject)) line = projectRefusal(line.substr(aboutProject.size()));
        if (!reason.empty()) reason += "; ";
        reason += line;
    }
    return reason.empty() ? dryRunFailure : reason;
}

std::string cleanFailureText(const std::string& engineFailure) {
    static constexpr std::string_view engineName = "tidewell-engine: ";
    static constexpr std::string_view heldBack = "another clean ";
    if (!startsWith(engineFailure, engineName) || engineFailure.find('\n') != std::string::npos) return engineFailure;
    std::string said = engineFailure.substr(engineName.size());
    if (!startsWith(said, heldBack)) return engineFailure;
    said[0] = 'A';
    return said + ".";
}

std::optional<std::string> nothingOfferedReason(const CleanReportDTO& dryRun) {
    if (std::any_of(dryRun.items.begin(), dryRun.items.end(), [](const CleanItemDTO& i) { return i.success; }))
        return std::nullopt;
    if (dryRun.items.empty()) return "there is nothing left in it to move";
    const bool permissions = std::all_of(dryRun.items.begin(), dryRun.items.end(), [](const CleanItemDTO& i) {
        return i.error && i.error->find("cannot be moved by this user") != std::string::npos;
    });
    if (permissions) return "nothing in it can be moved by you";
    // The first folder's own reason, named by its folder's name rather than its path.
    std::string why;
    for (const auto& item : dryRun.items) {
        if (!item.error || item.error->empty()) continue;
        why = leftInPlaceReason(item, std::filesystem::path(item.path).filename().string());
        break;
    }
    return "nothing in it can be moved to the Trash" + (why.empty() ? std::string() : " (" + why + ")");
}

std::string leftInPlaceReason(const CleanItemDTO& item, const std::string& name) {
    std::string why = item.error.value_or("");
    if (why.empty()) return name + " cannot be moved to the Trash";
    if (startsWith(why, item.path)) why = name + why.substr(item.path.size());
    for (std::string_view leftInPlace : {"; it was left in place", "; left in place"}) {
        if (why.ends_with(leftInPlace)) {
            why.erase(why.size() - leftInPlace.size());
            break;
        }
    }
    return why;
}

std::string folderInProjectName(const CleanItemDTO& item, const ProjectDTO& project) {
    if (!isPathInside(item.path, project.path) || item.path == project.path) return item.path;
    const auto prefix = project.path.ends_with('/') ? project.path : project.path + "/";
    return project.name + "/" + item.path.substr(prefix.size());
}

std::string leftInPlaceText(const std::vector<std::string>& reasons) {
    std::string text = "Left in place";
    text += reasons.size() == 1 ? ": " : " " + std::to_string(reasons.size()) + " folders: ";
    for (std::size_t i = 0; i < reasons.size(); ++i) text += (i ? " \u00B7 " : "") + reasons[i];
    return text;
}

bool wasMovedByAnotherClean(const CleanItemDTO& item) {
    return !item.success && item.error && *item.error == item.path + " was moved to the Trash by another clean";
}

bool isLeftToMove(const CleanItemDTO& item) {
    if (item.success || wasMovedByAnotherClean(item)) return false;
    const auto& why = item.error.value_or("");
    for (std::string_view gone : {" is not a real folder", " is gone:"})
        if (why.starts_with(item.path) && std::string_view(why).substr(item.path.size()).starts_with(gone)) return false;
    return true;
}

bool hasSomethingToMove(const CleanReportDTO& report) {
    if (report.dry_run) return !report.items.empty();
    return std::any_of(report.items.begin(), report.items.end(), isLeftToMove);
}

CleanReportDTO withPreviewSizes(CleanReportDTO report, const std::optional<CleanReportDTO>& shown) {
    if (!shown) return report;
    std::map<std::string, std::uint64_t> previewed;
    for (const auto& item : shown->items) previewed.emplace(item.path, item.bytes);
    for (auto& item : report.items) {
        if (item.success || item.bytes != 0) continue;
        if (const auto found = previewed.find(item.path); found != previewed.end()) item.bytes = found->second;
    }
    return report;
}

std::string firstFailureText(const CleanReportDTO& merged, const std::string& fallback) {
    for (const auto& item : merged.items)
        if (!item.success && item.error && !item.error->empty()) return *item.error;
    return fallback;
}

std::uint64_t unaccountedCleanBytes(const std::vector<OperationDTO>& history, const std::vector<CleanReportDTO>& reports,
                                    const std::vector<std::string>& paths, std::int64_t startedAtUnix) {
    std::set<std::string> known;
    for (const auto& r : reports) known.insert(r.operation_id);
    const std::set<std::string> cleaning(paths.begin(), paths.end());
    std::uint64_t sum = 0;
    for (const auto& op : history) {
        if (op.dry_run || known.count(op.id) || op.timestamp_unix < startedAtUnix) continue;
        if (!op.project_path || !cleaning.count(*op.project_path)) continue;
        sum = platform::saturatingAdd(sum, op.bytes_reclaimed);
    }
    return sum;
}

bool isPathInside(const std::string& path, const std::string& folder) {
    if (folder.empty()) return false;
    if (path == folder) return true;
    const auto prefix = folder.ends_with('/') ? folder : folder + "/";
    return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0;
}

std::optional<DashboardDTO> dashboardAfterClean(const DashboardDTO& dashboard, const CleanReportDTO& report) {
    std::set<std::string> moved;
    for (const auto& item : report.items)
        if (item.success) moved.insert(item.path);
    if (moved.empty() || dashboard.projects.empty()) return std::nullopt;

    auto projects = dashboard.projects;
    auto target = std::find_if(projects.begin(), projects.end(), [&](const ProjectDTO& p) {
        if (report.project_path) return p.path == *report.project_path;
        return std::any_of(moved.begin(), moved.end(), [&](const std::string& m) { return isPathInside(m, p.path); });
    });
    if (target == projects.end()) return std::nullopt;

    std::uint64_t removed = 0;
    std::vector<const ArtifactDTO*> gone;
    for (const auto& a : target->artifacts)
        if (moved.count(a.absolute_path)) {
            removed = platform::saturatingAdd(removed, a.size_bytes);
            gone.push_back(&a);
        }
    // Each folder was in the bytes of every project around it too, as the
    // engine takes it out of them.
    for (auto& p : projects)
        for (const ArtifactDTO* a : gone)
            if (&p != &*target && isPathInside(a->absolute_path, p.path))
                p.total_bytes = std::max(p.total_bytes > a->size_bytes ? p.total_bytes - a->size_bytes : 0, p.reclaimable_bytes);
    std::erase_if(target->artifacts, [&](const ArtifactDTO& a) { return moved.count(a.absolute_path) > 0; });
    std::uint64_t safe = 0, caution = 0;
    for (const auto& a : target->artifacts) {
        if (!a.exists) continue;
        if (a.safetyClass == "safe") safe = platform::saturatingAdd(safe, a.size_bytes);
        else if (a.safetyClass == "caution") caution = platform::saturatingAdd(caution, a.size_bytes);
    }
    target->safe_bytes = safe;
    target->caution_bytes = caution;
    target->reclaimable_bytes = platform::saturatingAdd(safe, caution);
    const auto shrunk = target->total_bytes > removed ? target->total_bytes - removed : 0;
    target->total_bytes = std::max(shrunk, target->reclaimable_bytes);

    std::stable_sort(projects.begin(), projects.end(),
                     [](const ProjectDTO& a, const ProjectDTO& b) { return a.reclaimable_bytes > b.reclaimable_bytes; });

    DashboardDTO next;
    next.projects = std::move(projects);
    sumProjects(next, dashboard.by_type);
    next.global_caches = dashboard.global_caches;
    next.scanned_at_unix = dashboard.scanned_at_unix;
    next.roots = dashboard.roots;
    return next;
}

}  // namespace tidewell
