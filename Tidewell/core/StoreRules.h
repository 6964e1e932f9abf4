#pragma once
// The store's decisions that depend only on their inputs: the published form
// of a dashboard, re-pointing a selection, the bell's notices and the
// activity line.

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/EngineRecords.h"
#include "core/GroveNotice.h"

namespace tidewell {

// True when another project of `projects` contains `project` as a subfolder.
bool isNestedProject(const ProjectDTO& project, const std::vector<ProjectDTO>& projects);
// Counts, totals and stack summaries of `dashboard.projects` (in their order),
// summed as the engine sums them: a nested project adds no size to the whole,
// nor to the size of a stack of a project around it; each stack keeps its
// label in `labelledBy`, else reads its id.
void sumProjects(DashboardDTO& dashboard, const std::vector<TypeSummaryDTO>& labelledBy);
// Only projects with something to reclaim; counts, totals and stack summaries
// recomputed when any were dropped.
DashboardDTO displayDashboard(const DashboardDTO& dashboard);
// The first project of `projects` with the same id or path; none when gone.
std::optional<ProjectDTO> repointProject(const ProjectDTO& project, const std::vector<ProjectDTO>& projects);

// An idle project a clean of the idle projects takes, with the bytes that
// clean moves of it: its reclaimable bytes less those of its folders inside a
// nested project of a protected stack, which every such clean leaves.
struct IdleProjectOffer {
    const ProjectDTO* project = nullptr;
    std::uint64_t bytes = 0;
};
struct IdleCleanOffer {
    std::vector<IdleProjectOffer> projects;
    std::uint64_t bytes = 0;  // their sum (saturating)
};
// The idle projects a clean of them can take, in the dashboard's order:
// neither active nor pinned nor of a stack in `protectedStacks`, with
// something to move once the folders inside a nested project of a protected
// stack are left (one of the dashboard, or of `unlisted`: the projects the
// shown dashboard leaves out). The bell and the end-of-day review count, list
// and measure these, so a figure and its count describe one set, the one the
// clean takes.
IdleCleanOffer idleCleanOffer(const DashboardDTO& dashboard, const std::set<std::string>& protectedStacks = {},
                              const std::vector<ProjectDTO>& unlisted = {});

// The bell's notices, built from the current state; `lastScanText` is the
// relative last-scan label of the dashboard's scan time.
std::vector<GroveNotice> groveNotices(const std::optional<DashboardDTO>& dashboard, bool isScanning,
                                      const std::string& lastScanText,
                                      const std::set<std::string>& protectedStacks = {},
                                      const std::vector<ProjectDTO>& unlisted = {});
int groveNoticeBadgeCount(const std::vector<GroveNotice>& notices);

// The activity line for a dashboard and history; none keeps the current text.
std::optional<std::string> activityText(const std::optional<DashboardDTO>& dashboard,
                                        const std::vector<OperationDTO>& operations);

// No automatic scan under interface testing, with "--scan-on-launch", or
// before onboarding is complete.
bool automaticScansAllowed();

inline constexpr const char* kHasCompletedOnboardingKey = "hasCompletedOnboarding";

}  // namespace tidewell
