#include "projects/ProjectListView.h"

#include "core/AppStore.h"
#include "kit/ForestButton.h"
#include "kit/ForestEmptyState.h"
#include "kit/ForestIconButton.h"
#include "kit/ForestPageHeader.h"
#include "kit/ForestSpring.h"
#include "kit/RescanButton.h"
#include "kit/ScanningBanner.h"
#include "kit/SizeClass.h"
#include "kit/StackFilterBar.h"
#include "kit/StackVocabulary.h"
#include "kit/Theme.h"
#include "projects/ProjectListRules.h"
#include "projects/ProjectListingCard.h"
#include "ui/Animation.h"
#include "ui/Grid.h"
#include "ui/Image.h"
#include "ui/ScrollView.h"
#include "ui/Shape.h"
#include "ui/State.h"
#include "ui/Text.h"
#include "ui/TextField.h"
#include "ui/Toggle.h"

#include <tuple>

namespace tidewell {

namespace ui = platform::ui;

namespace {

ProjectListInputs inputsOf(const AppStore& store, const ProjectListState& state) {
    ProjectListInputs in;
    const auto& dashboard = store.dashboard.get();
    in.dashboard = dashboard ? &*dashboard : nullptr;
    in.filterIdle = store.filterIdle.get();
    in.filterStack = store.filterStack.get();
    in.isCleaning = store.isCleaning.get();
    in.isScanning = store.isScanning.get();
    in.state = state;
    return in;
}

// The page's state with the selection narrowed to what the current list offers.
ProjectListState settled(const ProjectListState& state, const ProjectListDerived& derived) {
    ProjectListState s = state;
    s.selectedIDs = derived.selectedIDs;
    return s;
}

// Cards are made only for the rows the grid builds (those near the visible
// part), from this build's list; the list points into the store's
// dashboard, which a rebuild follows whenever it changes.
struct Cards {
    ProjectRefs visible;
    std::vector<std::string> keys;
    ProjectListState state;
};

// The page is rebuilt on every frame of a scroll; working the list and its
// card keys out again over thousands of projects was a fifth of such a frame.
// The last result is kept until the dashboard is written or any other input
// changes.
struct PageList {
    ProjectListDerived derived;
    std::shared_ptr<const Cards> cards;
};

const PageList& pageListFor(const AppStore& store, const ProjectListState& state) {
    struct Memo {
        std::uint64_t dashboardVersion = 0;
        ProjectListInputs inputs;
        PageList list;
    };
    static Memo memo;
    ProjectListInputs in = inputsOf(store, state);
    const std::uint64_t version = store.dashboard.version();
    const bool same = memo.list.cards && memo.dashboardVersion == version && memo.inputs.dashboard == in.dashboard &&
                      memo.inputs.filterIdle == in.filterIdle && memo.inputs.filterStack == in.filterStack &&
                      memo.inputs.isCleaning == in.isCleaning && memo.inputs.isScanning == in.isScanning &&
                      memo.inputs.state == in.state;
    if (!same) {
        ProjectListDerived d = deriveProjectList(in);
        auto cards = std::make_shared<const Cards>(
            Cards{d.visibleProjects, projectCardKeys(d.visibleProjects), settled(state, d)});
        memo.list = {std::move(d), std::move(cards)};
        memo.inputs = std::move(in);
        memo.dashboardVersion = version;
    }
    return memo.list;
}

const ProjectListDerived& derivedOf(const ProjectListView& page) {
    return pageListFor(page.store, page.state.get()).derived;
}

ui::View button(std::string title, ForestButton::Tone tone, bool enabled, std::function<void()> action) {
    return ForestButton{std::move(title), std::nullopt, tone, ui::ControlSize::regular, false, std::move(action)}
        .body()
        .disabled(!enabled);
}

ui::View toolbar(const ProjectListView& page, const ProjectListDerived& d) {
    ui::ViewList items;
    if (page.state.get().selecting) {
        items.push_back(button("Cancel", ForestButton::Tone::secondary, true, [page] { page.setSelecting(false); }));
        items.push_back(button(d.selectAllTitle, ForestButton::Tone::secondary, d.canSelectAll,
                               [page] { page.toggleSelectAll(); }));
        items.push_back(button(d.cleanSelectedTitle, ForestButton::Tone::reclaim, d.canCleanSelected,
                               [page] { page.cleanSelected(); }));
    } else {
        items.push_back(button("Select", ForestButton::Tone::secondary, d.canSelect, [page] {
                            page.setSelecting(true);
                        }).help("Choose several projects, then clean them together"));
        items.push_back(
            button("Clean All", ForestButton::Tone::reclaim, d.canCleanAll, [page] { page.cleanAll(); }));
    }
    items.push_back(RescanButton(page.store));
    if (page.widthClass == WidthClass::compact)
        return ui::VStack(ui::HorizontalAlignment::trailing, 8, std::move(items));
    return ui::HStack(ui::VerticalAlignment::center, 8, std::move(items));
}

ui::View filterBarVariant(const ProjectListView& page, bool wide) {
    AppStore& store = page.store;
    const auto& state = page.state;
    const bool byReclaimable = state.get().sortReclaimable;
    auto toggleSort = [page] { page.toggleSort(); };
    ui::Binding<std::string> query([state] { return state.get().query; },
                                   [state](std::string q) {
                                       ProjectListState s = state.get();
                                       s.query = std::move(q);
                                       state.set(s);
                                   });
    ui::Binding<bool> idle([&store] { return store.filterIdle.get(); }, [&store](bool on) { store.filterIdle = on; });
    ui::Binding<bool> searchFocused([state] { return state.get().searchFocused; }, [state](bool on) {
        ProjectListState s = state.get();
        s.searchFocused = on;
        state.set(std::move(s));
    });
    ui::View sort =
        wide ? button(byReclaimable ? "Sort: Reclaimable" : "Sort: Name", ForestButton::Tone::secondary, true,
                      toggleSort)
             : ForestIconButton{byReclaimable ? "arrow.up.arrow.down.circle.fill" : "arrow.up.arrow.down.circle",
                                byReclaimable ? "Sorting by reclaimable size" : "Sorting by name",
                                byReclaimable ? "Sort by reclaimable" : "Sort by name", toggleSort}
                   .body();
    return ui::HStack(ui::VerticalAlignment::center, 10,
                      {
                          ui::Image::systemName("magnifyingglass")
                              .foregroundStyle(ui::ShapeStyle::secondary())
                              .accessibilityHidden(true),
                          // Only one of the two variants is shown, yet both are built: the
                          // one offered first holds Ctrl+F's focus, or they'd take it in turn.
                          wide ? ui::TextField("Search name or path", query, {.focused = searchFocused})
                               : ui::TextField("Search name or path", query),
                          ui::Toggle(wide ? "Idle only" : "Idle", idle)
                              .modifier(ui::toggleStyle(ui::ToggleStyle::checkbox))
                              .fixedSize(),
                          sort,
                      });
}

ui::View filterBar(const ProjectListView& page) {
    return ui::ViewThatFits(ui::Axes::horizontalOnly(), {filterBarVariant(page, true), filterBarVariant(page, false)})
        .fixedSize(false, true);
}

ui::View selectionSummaryRow(const ProjectListDerived& d) {
    return ui::HStack(ui::VerticalAlignment::center, 8,
                      {
                          ui::Image::systemName("checkmark.circle.fill")
                              .foregroundStyle(Theme::reclaim())
                              .accessibilityHidden(true),
                          ui::Text(d.selectionSummary).font(ui::Font::subheadline().weight(ui::FontWeight::semibold)),
                          ui::Spacer(0),
                      })
        .accessibilityElement(ui::AccessibilityChildBehavior::combine)
        .accessibilityLabel(d.selectionSummary);
}

ui::View speciesFilter(const ProjectListView& page, const DashboardDTO& dashboard) {
    AppStore& store = page.store;
    const auto& stack = store.filterStack.get();
    ui::ViewList row{
        ui::Image::systemName("leaf.fill").foregroundStyle(Theme::reclaim()).accessibilityHidden(true),
        ui::Text("Species").font(ui::Font::subheadline().weight(ui::FontWeight::semibold)),
    };
    if (stack) {
        row.push_back(ui::Text(stackDisplayName(*stack))
                          .font(ui::Font::caption().weight(ui::FontWeight::semibold))
                          .foregroundStyle(ui::ShapeStyle::primary())
                          .padding(ui::EdgeInsets{3, 8, 3, 8})
                          .background(ui::Capsule().fill(stackTint(*stack).opacity(0.22))));
    }
    row.push_back(ui::Spacer());
    if (stack)
        row.push_back(button("All Stacks", ForestButton::Tone::ghost, true, [page] { page.clearStackFilter(); }));
    ui::Binding<std::optional<std::string>> filter(
        [&store] { return store.filterStack.get(); },
        [&store](std::optional<std::string> v) { store.filterStack = std::move(v); });
    return ui::VStack(ui::HorizontalAlignment::leading, std::nullopt,
                      {
                          ui::HStack(ui::VerticalAlignment::center, 8, std::move(row))
                              .accessibilityElement(ui::AccessibilityChildBehavior::combine)
                              .accessibilityLabel(stack ? "Species filter, " + stackDisplayName(*stack)
                                                        : std::string("Species filter, all stacks")),
                          StackFilterBar(dashboard.by_type, filter),
                      });
}

ui::View grid(const ProjectListView& page, std::shared_ptr<const Cards> cards) {
    const double minimum = page.widthClass == WidthClass::compact ? 200 : 240;
    AppStore& store = page.store;
    return ui::ScrollView(ui::LazyVGrid({ui::GridItem::adaptive(minimum, ui::infinity, 12)},
                                        {ui::ForEachIndex(
                                            cards->visible.size(), [cards](std::size_t i) { return cards->keys[i]; },
                                            [&store, page, cards](std::size_t i) {
                                                const ProjectDTO& p = *cards->visible[i];
                                                return ProjectListingCard(
                                                    store, p, cards->state.selecting,
                                                    cards->state.selectedIDs.count(p.id) > 0,
                                                    [page, project = p] { page.handleCardTap(project); });
                                            })},
                                        ui::HorizontalAlignment::center, 12)
                              .padding(ui::Edge::bottom, 8));
}

}  // namespace

ProjectRefs ProjectListView::visibleProjects() const { return derivedOf(*this).visibleProjects; }
ProjectRefs ProjectListView::selectableProjects() const { return derivedOf(*this).selectableProjects; }
bool ProjectListView::allSelectableSelected() const { return derivedOf(*this).allSelectableSelected; }
ProjectRefs ProjectListView::selectedCleanableProjects() const { return derivedOf(*this).selectedCleanableProjects; }
ProjectRefs ProjectListView::cleanAllCandidates() const { return derivedOf(*this).cleanAllCandidates; }
std::string ProjectListView::selectionSummary() const { return derivedOf(*this).selectionSummary; }
std::string ProjectListView::emptyStateDetail() const { return derivedOf(*this).emptyStateDetail; }

void ProjectListView::setSelecting(bool selecting) const {
    ui::withAnimation(forestSpring(), [&] {
        ProjectListState s = state.get();
        s.selecting = selecting;
        s.selectedIDs.clear();
        state.set(std::move(s));
    });
}

void ProjectListView::toggleSelectAll() const {
    ProjectListState s = state.get();
    const bool all = allSelectableSelected();
    s.selectedIDs.clear();
    if (!all)
        for (const auto* p : selectableProjects()) s.selectedIDs.insert(p->id);
    state.set(std::move(s));
}

void ProjectListView::handleCardTap(const ProjectDTO& project) const {
    ProjectListState s = state.get();
    if (!s.selecting) {
        store.filesPopupProject = project;
        return;
    }
    if (!isSelectableProject(project)) return;
    if (!s.selectedIDs.erase(project.id)) s.selectedIDs.insert(project.id);
    state.set(std::move(s));
}

void ProjectListView::cleanSelected() const {
    store.requestClean(copiesOf(selectedCleanableProjects()), true, AppStore::CleanScope::batch);
    // Back to browsing, whatever the store did with the request.
    ProjectListState s = state.get();
    s.selecting = false;
    s.selectedIDs.clear();
    state.set(std::move(s));
}

void ProjectListView::cleanAll() const {
    store.requestClean(copiesOf(derivedOf(*this).cleanAllRequest), true, AppStore::CleanScope::batch);
}

void ProjectListView::toggleSort() const {
    ProjectListState s = state.get();
    s.sortReclaimable = !s.sortReclaimable;
    state.set(std::move(s));
}

void ProjectListView::clearStackFilter() const {
    ui::withAnimation(forestSpring(), [&] { store.filterStack = std::nullopt; });
}

void ProjectListView::pruneSelection() const {
    ProjectListState s = state.get();
    std::set<std::string> kept;
    for (const auto* p : visibleProjects())
        if (s.selectedIDs.count(p->id)) kept.insert(p->id);
    s.selectedIDs = std::move(kept);
    state.set(std::move(s));
}

ui::View ProjectListView::body() const {
    const PageList& list = pageListFor(store, state.get());
    const ProjectListDerived& d = list.derived;
    const bool selecting = state.get().selecting;
    const auto& dashboard = store.dashboard.get();

    ui::ViewList children{
        ForestPageHeader("Your Projects",
                         selecting ? "Tap any project with reclaimable files. Pinned projects stay locked."
                                   : "Tap a card to see folders that can go to Trash.",
                         toolbar(*this, d)),
        ScanningBanner(store),
        filterBar(*this),
    };
    if (selecting && !d.visibleProjects.empty()) children.push_back(selectionSummaryRow(d));
    if (dashboard && !dashboard->by_type.empty()) children.push_back(speciesFilter(*this, *dashboard));

    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.maxHeight = ui::infinity;
    fill.alignment = ui::Alignment::topLeading;
    if (!d.visibleProjects.empty())
        children.push_back(grid(*this, list.cards).frame(fill));
    else if (dashboard)
        children.push_back(ForestEmptyState("folder", "No matching projects", d.emptyStateDetail).frame(fill));
    else
        children.push_back(ForestEmptyState("leaf.fill", "No forest yet", d.emptyStateDetail).frame(fill));

    // The query and both filters narrow the selection to what stays visible
    // (not their first values, not the sort, not a new dashboard).
    using Narrowing = std::tuple<std::string, bool, std::optional<std::string>>;
    const ProjectListView page = *this;
    return ui::VStack(ui::HorizontalAlignment::leading, 12, std::move(children))
        .frame(fill)
        .onChange(Narrowing{state.get().query, store.filterIdle.get(), store.filterStack.get()},
                  [page] { page.pruneSelection(); })
        .onKeyPress([state = state](const ui::KeyPress& key) {
            // Ctrl+F: the search field takes the keys, as on any searchable list.
            if (key.key != Qt::Key_F || (key.modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) !=
                                            Qt::ControlModifier)
                return false;
            ProjectListState s = state.get();
            s.searchFocused = true;
            state.set(std::move(s));
            return true;
        });
}

ui::View ProjectListPage(AppStore& store, ProjectListState initial) {
    return ui::WithState<ProjectListState>(std::move(initial), [&store](ui::Binding<ProjectListState> state) {
        return ui::EnvironmentReader([&store, state](const ui::EnvironmentValues& env) {
            return ProjectListView{store, widthClass(env), state}.body();
        });
    });
}

}  // namespace tidewell
