#include "core/StoreRules.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <unordered_map>

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

// The projects around each project of one list, found by looking up each
// ancestor folder instead of comparing all pairs, so a large dashboard
// applies in linear time.
class NestedPathIndex {
public:
    explicit NestedPathIndex(const std::vector<ProjectDTO>& projects) {
        for (const auto& p : projects) byPath_.emplace(p.path, &p);
    }
    // Those around `path` (every proper prefix that ends just before a "/").
    std::vector<const ProjectDTO*> around(const std::string& path) const {
        std::vector<const ProjectDTO*> out;
        for (auto slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
            if (const auto found = byPath_.find(std::string_view(path).substr(0, slash)); found != byPath_.end())
                out.push_back(found->second);
        return out;
    }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, const ProjectDTO*, Hash, std::equal_to<>> byPath_;
};
}  // namespace

bool isNestedProject(const ProjectDTO& project, const std::vector<ProjectDTO>& projects) {
    return std::any_of(projects.begin(), projects.end(), [&](const ProjectDTO& other) {
        const auto& outer = other.path;
        return outer != project.path && project.path.size() > outer.size() &&
               project.path.compare(0, outer.size(), outer) == 0 && project.path[outer.size()] == '/';
    });
}

void sumProjects(DashboardDTO& d, const std::vector<TypeSummaryDTO>& labelledBy) {
    std::map<std::string, std::string> labels;
    for (const auto& s : labelledBy) labels[s.project_type] = s.label;
    d.project_count = static_cast<std::int64_t>(d.projects.size());
    d.idle_count = 0;
    d.total_bytes = d.reclaimable_bytes = 0;
    std::vector<TypeSummaryDTO> summaries;
    const NestedPathIndex nesting(d.projects);
    for (const auto& p : d.projects) {
        if (p.is_idle) ++d.idle_count;
        // A project's bytes are in those of every project around it: the
        // whole counts it once, and so does each stack of one around it.
        const auto around = nesting.around(p.path);
        const auto heldBy = [&](const std::string& type) {
            return std::any_of(around.begin(), around.end(), [&](const ProjectDTO* outer) {
                return std::find(outer->types.begin(), outer->types.end(), type) != outer->types.end();
            });
        };
        if (around.empty()) d.total_bytes = platform::saturatingAdd(d.total_bytes, p.total_bytes);
        d.reclaimable_bytes = platform::saturatingAdd(d.reclaimable_bytes, p.reclaimable_bytes);
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
            if (!heldBy(type)) it->total_bytes = platform::saturatingAdd(it->total_bytes, p.total_bytes);
            it->reclaimable_bytes = platform::saturatingAdd(it->reclaimable_bytes, p.reclaimable_bytes);
        }
    }
    std::stable_sort(summaries.begin(), summaries.end(), [](const TypeSummaryDTO& a, const TypeSummaryDTO& b) {
        return a.reclaimable_bytes > b.reclaimable_bytes;
    });
    d.by_type = std::move(summaries);
}

DashboardDTO displayDashboard(const DashboardDTO& d) {
    std::vector<ProjectDTO> kept;
    for (const auto& p : d.projects)
        if (p.reclaimable_bytes != 0) kept.push_back(p);
    if (kept.size() == d.projects.size()) return d;

    DashboardDTO out;
    std::stable_sort(kept.begin(), kept.end(), [](const ProjectDTO& a, const ProjectDTO& b) {
        return a.reclaimable_bytes > b.reclaimable_bytes;
    });
    out.projects = std::move(kept);
    sumProjects(out, d.by_type);
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

IdleCleanOffer idleCleanOffer(const DashboardDTO& dashboard, const std::set<std::string>& protectedStacks,
                              const std::vector<ProjectDTO>& unlisted) {
    // The same choice as the clean of the idle projects makes.
    const ProtectedStacks shielding{protectedStacks, {}};
    std::vector<const ProjectDTO*> shieldingProjects;
    if (!protectedStacks.empty()) {
        for (const auto& p : dashboard.projects)
            if (shielding.protecting(p)) shieldingProjects.push_back(&p);
        for (const auto& p : unlisted)
            if (shielding.protecting(p)) shieldingProjects.push_back(&p);
    }
    IdleCleanOffer offer;
    for (const auto& p : dashboard.projects) {
        if (!p.is_idle || !isEligibleForClean(p, true, shielding)) continue;
        // A folder inside several nested protected projects (one inside
        // another) stays once, as the clean drops it once.
        const auto shielded = shieldedProjectsInside(p, shieldingProjects, shielding, {});
        std::uint64_t left = 0;
        for (const auto& a : p.artifacts)
            if (a.exists && (a.safetyClass == "safe" || a.safetyClass == "caution") &&
                std::any_of(shielded.begin(), shielded.end(),
                            [&](const ShieldedProject& inside) { return isPathInside(a.absolute_path, inside.path); }))
                left = platform::saturatingAdd(left, a.size_bytes);
        const auto bytes = p.reclaimable_bytes - std::min(left, p.reclaimable_bytes);
        if (bytes == 0) continue;  // all it offers stays with the projects it holds
        offer.projects.push_back({&p, bytes});
        offer.bytes = platform::saturatingAdd(offer.bytes, bytes);
    }
    return offer;
}

std::vector<GroveNotice> groveNotices(const std::optional<DashboardDTO>& dashboard, bool isScanning,
                                      const std::string& lastScanText, const std::set<std::string>& protectedStacks,
                                      const std::vector<ProjectDTO>& unlisted) {
    std::vector<GroveNotice> notices;
    if (!dashboard) {
        if (!isScanning)
            notices.push_back({"empty", "No forest yet", "Run a scan to grow a tree of your stacks.", "leaf",
                               NoticeRole::reclaim, NoticeDestination::dashboard});
        return notices;
    }
    if (const auto idle = idleCleanOffer(*dashboard, protectedStacks, unlisted); !idle.projects.empty()) {
        notices.push_back({"idle", plural(static_cast<std::int64_t>(idle.projects.size()), "idle project"),
                           platform::formatByteCount(idle.bytes) + " can move to Trash.", "leaf.fill", NoticeRole::reclaim,
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
