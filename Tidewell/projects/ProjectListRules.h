#pragma once
// What the project list shows and does, as pure functions of the store's
// dashboard and filters and the page's own state, so the page's body only
// lays out what these return.

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/EngineRecords.h"

namespace tidewell {

// The page's own state; it starts afresh with every new page.
struct ProjectListState {
    std::string query;
    bool sortReclaimable = true;
    bool selecting = false;
    std::set<std::string> selectedIDs;
    bool searchFocused = false;  // the search field has the keys (Ctrl+F gives them)

    bool operator==(const ProjectListState&) const = default;
};

// Everything the rules read: the store's fields and the page's state.
struct ProjectListInputs {
    const DashboardDTO* dashboard = nullptr;  // absent before the first scan
    bool filterIdle = false;
    std::optional<std::string> filterStack;
    bool isCleaning = false;
    bool isScanning = false;
    ProjectListState state;
};

// Projects by reference into the dashboard, so a list of thousands is never copied.
using ProjectRefs = std::vector<const ProjectDTO*>;

// The visible list: projects with something to reclaim, narrowed by the idle
// and stack filters and the query, then sorted (stable) by reclaimable size
// or by name.
ProjectRefs visibleProjects(const ProjectListInputs& in);
// Whether a project matches a query: name, path or a stack's display name,
// each lower-cased, contains the lower-cased query (never trimmed).
bool projectMatchesQuery(const ProjectDTO& project, const std::string& query);

// A project a tap may add to the selection: not pinned, something to reclaim.
bool isSelectableProject(const ProjectDTO& project);

// Everything the page derives from its inputs, worked out once per build.
struct ProjectListDerived {
    ProjectRefs visibleProjects;
    ProjectRefs selectableProjects;
    ProjectRefs selectedCleanableProjects;
    ProjectRefs cleanAllCandidates;
    // What "Clean All" hands the store: every project with something to move,
    // active and pinned ones too, so the banner names each one it passes over.
    ProjectRefs cleanAllRequest;
    // The selection the page works with: the stored ids that a project of the
    // list can still be selected as. Ids a new dashboard no longer offers
    // (gone, pinned, nothing left) drop out, so "Clean <n>" counts only what
    // a clean would be handed.
    std::set<std::string> selectedIDs;
    bool allSelectableSelected = false;

    bool canSelect = false;
    bool canSelectAll = false;
    bool canCleanSelected = false;
    bool canCleanAll = false;

    std::string cleanSelectedTitle;  // "Clean 3", or "Clean" with nothing selected
    std::string selectAllTitle;      // "Select All" or "Deselect All"
    std::string selectionSummary;
    std::string emptyStateDetail;
};
ProjectListDerived deriveProjectList(const ProjectListInputs& in);

// A key per visible project for the grid: its id, or, when the id is empty
// or already taken by an earlier card, the id with the card's position, so
// two projects of a damaged file never share one card.
std::vector<std::string> projectCardKeys(const ProjectRefs& visible);

std::vector<ProjectDTO> copiesOf(const ProjectRefs& projects);

}  // namespace tidewell
