#pragma once
// The clean's decisions as pure functions: which projects may be cleaned, the
// merged report, the status and outcome texts, and a real report applied to
// a dashboard when the engine cannot give a fresh one.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/EngineRecords.h"

namespace tidewell {

// The stacks a clean of many projects leaves alone (the user protected them
// on the storage tree), each with the label the dashboard shows for it. A
// project's own Clean, asked for by name, passes none.
struct ProtectedStacks {
    std::set<std::string> ids;
    std::map<std::string, std::string> labels;

    // The protected `ids`, labelled by the dashboard's stack summaries.
    static ProtectedStacks of(std::set<std::string> ids, const std::optional<DashboardDTO>& dashboard);
    // The first of the project's stacks that is protected; none when none is.
    std::optional<std::string> protecting(const ProjectDTO& project) const;
    // The label a user knows the stack by: the dashboard's, else its id.
    std::string label(const std::string& stack) const;
};

// A project of a protected stack nested inside a project that a clean of
// many projects takes: the folders of the outer project that lie inside it
// stay, as it does. `named` when the request named it already (it was one of
// the projects asked for).
struct ShieldedProject {
    std::string path;
    std::string name;
    std::string reason;  // "its stack Node / JS is protected"
    bool named = false;
    bool operator==(const ShieldedProject&) const = default;
};
// The projects of `known` of a protected stack that lie inside `project`, in
// the order of `known`; `requested` are the paths the request asked for.
std::vector<ShieldedProject> shieldedProjectsInside(const ProjectDTO& project, const std::vector<const ProjectDTO*>& known,
                                                    const ProtectedStacks& protectedStacks,
                                                    const std::set<std::string>& requested);
// Drops from `report` the items that lie inside one of `shielded`; returns
// the indexes (into `shielded`) of those that held one.
std::set<std::size_t> dropShieldedItems(CleanReportDTO& report, const std::vector<ShieldedProject>& shielded);

// Not pinned, not active, of no protected stack, and something to move: all
// reclaimable bytes under `caution`, the safe ones without it.
bool isEligibleForClean(const ProjectDTO& project, bool caution, const ProtectedStacks& protectedStacks = {});
std::vector<ProjectDTO> eligibleProjects(const std::vector<ProjectDTO>& projects, bool caution,
                                         const ProtectedStacks& protectedStacks = {});
// Why a clean request passes over a project before any preview, in words a
// user reads ("its stack Node / JS is protected"); none when it is eligible.
std::optional<std::string> passedOverReason(const ProjectDTO& project, bool caution,
                                            const ProtectedStacks& protectedStacks = {});

// One report of several, in project order; a fresh id when there are none.
CleanReportDTO mergeCleanReports(const std::vector<CleanReportDTO>& reports);
// The bytes of the items that really moved.
std::uint64_t movedBytes(const CleanReportDTO& report);
std::size_t movedItemCount(const CleanReportDTO& report);

// "Calculating api…" or "Calculating 3 projects…", then "Calculating 2 of 3…".
std::string calculatingText(const std::vector<ProjectDTO>& projects);
std::string calculatingStepText(std::size_t index, std::size_t count);
// "Moving to Trash…" for one project, else "Cleaning 2 of 3…".
std::string cleaningStepText(std::size_t index, std::size_t count);
// "Cleaned 1 project · 1 item · 1.5 MB to Trash".
std::string cleanOutcomeText(std::int64_t projects, std::size_t items, std::uint64_t bytes);
// Projects a batch went on without, each with the reason it was left out:
// "Left out api: <reason>", or "Left out 2 projects: api: <reason> · web: <reason>".
std::string leftOutText(const std::vector<std::pair<std::string, std::string>>& namesAndReasons);
// Why the dry run of the project at `projectPath` failed, in words a user
// reads: the engine's refusal without the engine's name and the project's
// path ("its folder cannot be found").
std::string leftOutReason(const std::string& dryRunFailure, const std::string& projectPath);
// The banner's sentence for a real clean the engine could not run: a clean
// that another one's lock kept waiting is told in the application's words
// ("Another clean (pid 12) is still running; clean again once it has
// finished."); any other failure as the engine said it.
std::string cleanFailureText(const std::string& engineFailure);
// Why a dry run that ran offers nothing of its project ("nothing in it can be
// moved by you"); none when it offers a folder.
std::optional<std::string> nothingOfferedReason(const CleanReportDTO& dryRun);
// Why the engine left the folder of a failed item in place, told of the
// folder by `name` instead of its path and without the engine's closing
// "left in place": "node_modules is a mount point, which cannot be moved to
// the trash".
std::string leftInPlaceReason(const CleanItemDTO& item, const std::string& name);
// The folder of `item` named by its project and its path inside it ("web/.cache").
std::string folderInProjectName(const CleanItemDTO& item, const ProjectDTO& project);
// Folders the previews leave in place inside the projects they offer, each
// with its reason: "Left in place: web/.cache <reason>", or "Left in place 2
// folders: web/.cache <reason> · api/out <reason>".
std::string leftInPlaceText(const std::vector<std::string>& reasons);
// Whether the engine found the item's folder gone to the Trash with another
// clean since the preview (another window's, or the terminal's).
bool wasMovedByAnotherClean(const CleanItemDTO& item);
// Whether a real clean left the item's folder where a second press of Move
// to Trash may still take it: it failed for a reason that can pass (a busy
// device, a full Trash, a permission fixed since), not because another clean
// took it or it is no longer a real folder.
bool isLeftToMove(const CleanItemDTO& item);
// Whether Move to Trash has something to move: a preview's folders, or after
// a real clean that moved nothing, a folder it left that may still move.
bool hasSomethingToMove(const CleanReportDTO& report);
// The real clean's report as the confirmation lists it: a failed item the
// engine could not measure (gone, or a link now) keeps the size `shown`
// gave its folder (the preview, or the clean before a second press).
CleanReportDTO withPreviewSizes(CleanReportDTO report, const std::optional<CleanReportDTO>& shown);
// The first failed item's error, else `fallback`.
std::string firstFailureText(const CleanReportDTO& merged, const std::string& fallback);

// Bytes of real cleans in the reloaded `history` that this clean run produced
// (one of its `paths`, recorded at or after `startedAtUnix`) and that its
// `reports` do not account for: what it moved before it was stopped. Older
// cleans in the log are never credited again, whatever the shown history holds.
std::uint64_t unaccountedCleanBytes(const std::vector<OperationDTO>& history, const std::vector<CleanReportDTO>& reports,
                                    const std::vector<std::string>& paths, std::int64_t startedAtUnix);

// True when `path` is `folder` or lies inside it.
bool isPathInside(const std::string& path, const std::string& folder);
// The dashboard after `report` moved some folders of one project; none when
// the report changes nothing. Stack labels are kept from the dashboard.
std::optional<DashboardDTO> dashboardAfterClean(const DashboardDTO& dashboard, const CleanReportDTO& report);

inline constexpr const char* kNoProjectsReadyText =
    "No projects are ready to clean. Active, pinned, and already-clean projects are skipped.";
inline constexpr const char* kNothingToCleanText =
    "Nothing to clean. Active, pinned, and already-clean projects are skipped.";
inline constexpr const char* kNothingToMoveText = "Nothing to move to Trash for the selected projects.";
inline constexpr const char* kCouldNotMoveText = "Could not move those folders to Trash.";
inline constexpr const char* kSomeNotMovedText = "Some folders could not be moved to Trash.";

}  // namespace tidewell
