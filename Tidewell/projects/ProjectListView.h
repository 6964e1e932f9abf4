#pragma once

#include <string>

#include "kit/SizeClass.h"
#include "projects/ProjectListRules.h"
#include "ui/State.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// The "Your Projects" page: header with the selection toolbar, the scan
// banner, search, idle filter and sort, the selection summary, the species
// filter and a grid of project cards, or an empty state. Search, sort and
// selection are the page's own and start afresh with each new page; the
// stack and idle filters are the store's. The rules live in ProjectListRules.
struct ProjectListView {
    AppStore& store;
    WidthClass widthClass = WidthClass::wide;
    // The page's own state (query, sortReclaimable, selecting, selectedIDs),
    // kept by the host while the page lives.
    platform::ui::Binding<ProjectListState> state;

    // What the page shows, worked out from the store and the state each time.
    ProjectRefs visibleProjects() const;
    ProjectRefs selectableProjects() const;
    bool allSelectableSelected() const;
    ProjectRefs selectedCleanableProjects() const;
    ProjectRefs cleanAllCandidates() const;
    std::string selectionSummary() const;
    std::string emptyStateDetail() const;

    // What its controls do.
    void setSelecting(bool selecting) const;  // "Select" and "Cancel"
    void toggleSelectAll() const;             // "Select All" / "Deselect All"
    void handleCardTap(const ProjectDTO& project) const;
    void cleanSelected() const;  // "Clean <n>"
    void cleanAll() const;       // "Clean All"
    void toggleSort() const;
    void clearStackFilter() const;  // "All Stacks"
    // After the query or a filter changed: the selection keeps only visible projects.
    void pruneSelection() const;

    platform::ui::View body() const;
};

// The page as the main window shows it: its state starts afresh (or, for
// pictures and tests, at `initial`) and lives in the host; the width class
// comes from the environment.
platform::ui::View ProjectListPage(AppStore& store, ProjectListState initial = {});

}  // namespace tidewell
