#include "core/StoreRules.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <unordered_set>

#include "core/CleanRules.h"
#include "core/ModelTexts.h"
#include "foundation/Formatters.h"
#include "foundation/Paths.h"
#include "foundation/ProcessInfo.h"
#include "foundation/UserDefaults.h"
#include "runtime/Clock.h"

namespace tidewell {

namespace {
std::string plural(std::int64_t count, const std::string& word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// The same answer as isNestedProject for every project of one list, found by
// looking up each ancestor folder instead of comparing all pairs, so a large
// dashboard applies in linear time.
class NestedPathIndex {
public:
    explicit NestedPathIndex(const std::vector<ProjectDTO>& projects) {
        for (const auto& p : projects) paths_.insert(p.path);
    }
    bool isNested(const std::string& path) const {
        // Every proper prefix that ends just before a "/" is a possible outer project.
        for (auto slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
            if (paths_.count(std::string_view(path).substr(0, slash)) != 0) return true;
        }
        return false;
    }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_set<std::string, Hash, std::equal_to<>> paths_;
};
}  // namespace

bool isNestedProject(const ProjectDTO& project, const std::vector<ProjectDTO>& projects) {
    return std::any_of(projects.begin(), projects.end(), [&](const ProjectDTO& other) {
        const auto& outer = other.path;
        return outer != project.path && project.path.size() > outer.size() &&
               project.path.compare(0, outer.size(), outer) == 0 && project.path[outer.size()] == '/';
    });
}

DashboardDTO displayDashboard(const DashboardDTO& d) {
    std::vector<ProjectDTO> kept;
    for (const auto& p : d.projects)
        if (p.reclaimable_bytes != 0) kept.push_back(p);
    if (kept.size() == d.projects.size()) return d;

    std::map<std::string, std::string> labels;
    for (const auto& s : d.by_type) labels[s.project_type] = s.label;

    DashboardDTO out;
    std::stable_sort(kept.begin(), kept.end(), [](const ProjectDTO& a, const ProjectDTO& b) {
        return a.reclaimable_bytes > b.reclaimable_bytes;
    });
    out.projects = std::move(kept);
    out.project_count = static_cast<std::int64_t>(out.projects.size());
    std::vector<TypeSummaryDTO> summaries;
    const NestedPathIndex nesting(out.projects);
    for (const auto& p : out.projects) {
        if (p.is_idle) ++out.idle_count;
        const bool nested = nesting.isNested(p.path);
        if (!nested) out.total_bytes = platform::saturatingAdd(out.total_bytes, p.total_bytes);
        out.reclaimable_bytes = platform::saturatingAdd(out.reclaimable_bytes, p.reclaimable_bytes);
        for (const auto& type : p.types) {
            auto it = std::find_if(summaries.begin(), summaries.end(),
                                   [&](const TypeSummaryDTO& s) { return s.project_type == type; });
            if (it == summaries.end()) {
                TypeSummaryDTO s;
                s.project_type = type;
                auto label = labels.find(type);
                s.label = label != labels.end() ? label->second : type;
                summaries.push_back(std::move(s));
                it = summaries.end() - 1;
            }
            it->project_count += 1;
            if (!nested) it->total_bytes = platform::saturatingAdd(it->total_bytes, p.total_bytes);
            it->reclaimable_bytes = platform::saturatingAdd(it->reclaimable_bytes, p.reclaimable_bytes);
        }
    }
    std::stable_sort(summaries.begin(), summaries.end(), [](const TypeSummaryDTO& a, const TypeSummaryDTO& b) {
        return a.reclaimable_bytes > b.reclaimable_bytes;
    });
    out.by_type = std::move(summaries);
    out.global_caches = d.global_caches;
    out.scanned_at_unix = d.scanned_at_unix;
    out.roots = d.roots;
    return out;
}

std::optional<ProjectDTO> repointProject(const ProjectDTO& project, const std::vector<ProjectDTO>& projects) {
    for (const auto& p : projects)
        if (p.id == project.id || p.path == project.path) return p;
    return std::nullopt;
}

std::vector<const ProjectDTO*> idleProjectsACleanTakes(const DashboardDTO& dashboard,
                                                       const std::set<std::string>& protectedStacks) {
    // The same choice as the clean of the idle projects makes.
    const ProtectedStacks shielded{protectedStacks, {}};
    std::vector<const ProjectDTO*> taken;
    for (const auto& p : dashboard.projects)
        if (p.is_idle && isEligibleForClean(p, true, shielded)) taken.push_back(&p);
    return taken;
}

std::uint64_t idleReclaimableBytes(const DashboardDTO& dashboard, const std::set<std::string>& protectedStacks) {
    std::uint64_t bytes = 0;
    for (const auto* p : idleProjectsACleanTakes(dashboard, protectedStacks))
        bytes = platform::saturatingAdd(bytes, p->reclaimable_bytes);
    return bytes;
}

std::vector<GroveNotice> groveNotices(const std::optional<DashboardDTO>& dashboard, bool isScanning,
                                      const std::string& lastScanText, const std::set<std::string>& protectedStacks) {
    std::vector<GroveNotice> notices;
    if (!dashboard) {
        if (!isScanning)
            notices.push_back({"empty", "No forest yet", "Run a scan to grow a tree of your stacks.", "leaf",
                               NoticeRole::reclaim, NoticeDestination::dashboard});
        return notices;
    }
    if (const auto idle = idleProjectsACleanTakes(*dashboard, protectedStacks); !idle.empty()) {
        std::uint64_t bytes = 0;
        for (const auto* p : idle) bytes = platform::saturatingAdd(bytes, p->reclaimable_bytes);
        notices.push_back({"idle", plural(static_cast<std::int64_t>(idle.size()), "idle project"),
                           platform::formatByteCount(bytes) + " can move to Trash.", "leaf.fill", NoticeRole::reclaim,
                           NoticeDestination::projects});
    }
    if (dashboard->scanned_at_unix >= 1) {
        notices.push_back({"scan", "Last scan " + lastScanText,
                           plural(dashboard->project_count, "project") + " in the forest.", "clock",
                           NoticeRole::accent, NoticeDestination::dashboard});
    }
    return notices;
}

int groveNoticeBadgeCount(const std::vector<GroveNotice>& notices) {
    return static_cast<int>(std::count_if(notices.begin(), notices.end(), [](const GroveNotice& n) {
        return n.destination != NoticeDestination::dashboard;
    }));
}

std::optional<std::string> activityText(const std::optional<DashboardDTO>& dashboard,
                                        const std::vector<OperationDTO>& operations) {
    std::optional<std::string> text;
    if (dashboard) {
        text = "Last scan " + platform::formatDateTime(platform::fromUnixSeconds(dashboard->scanned_at_unix)) +
               " \u00B7 " + plural(dashboard->project_count, "project") + " \u00B7 " +
               platform::formatByteCount(dashboard->reclaimable_bytes) + " reclaimable";
    }
    auto clean = std::find_if(operations.begin(), operations.end(), [](const OperationDTO& op) { return movedSomething(op); });
    if (clean != operations.end()) {
        std::string name = clean->project_path ? platform::lastPathComponent(*clean->project_path) : std::string();
        if (name.empty() || name == "/") name = "project";
        text = "Cleaned " + name + " \u00B7 " + platform::formatByteCount(clean->bytes_reclaimed) + " to Trash";
    }
    return text;
}

bool automaticScansAllowed() {
    if (platform::hasArgument("--ui-testing")) return false;
    if (platform::hasArgument("--scan-on-launch")) return false;
    return platform::UserDefaults::standard()->boolValue(kHasCompletedOnboardingKey).value_or(false);
}

}  // namespace tidewell
