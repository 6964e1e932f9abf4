#include "projects/ProjectListView.h"

#include "core/AppStore.h"
#include "kit/ForestButton.h"
#include "kit/ForestEmptyState.h"
#include "kit/ForestIconButton.h"
#include "kit/ForestPageHeader.h"
#include "kit/RescanButton.h"
#include "kit/ScanningBanner.h"
#include "kit/SizeClass.h"
#include "kit/StackFilterBar.h"
#include "kit/StackVocabulary.h"
#include "kit/Theme.h"
#include "kit/ForestSpring.h"
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

using StateBinding = ui::Binding<ProjectListState>;

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

// After the query or a filter changed: the selection keeps only visible projects.
void pruneSelection(AppStore& store, const StateBinding& state) {
    const ProjectListState now = state.get();
    state.set(prunedSelection(now, visibleProjects(inputsOf(store, now))));
}

ui::View button(std::string title, ForestButton::Tone tone, bool enabled, std::function<void()> action) {
    return ForestButton{std::move(title), std::nullopt, tone, ui::ControlSize::regular, false, std::move(action)}
        .body()
        .disabled(!enabled);
}

ui::View toolbar(AppStore& store, const StateBinding& state, const ProjectListDerived& d, WidthClass width) {
    auto setSelecting = [state](bool on) {
        ui::withAnimation(forestSpring(), [&] { state.set(settingSelecting(state.get(), on)); });
    };
    ui::ViewList items;
    if (state.get().selecting) {
        items.push_back(button("Cancel", ForestButton::Tone::secondary, true, [setSelecting] { setSelecting(false); }));
        items.push_back(button(d.selectAllTitle, ForestButton::Tone::secondary, d.canSelectAll, [&store, state] {
            const ProjectListState now = state.get();
            state.set(toggledSelectAll(now, deriveProjectList(inputsOf(store, now))));
        }));
        items.push_back(button(d.cleanSelectedTitle, ForestButton::Tone::reclaim, d.canCleanSelected, [&store, state] {
            // Worked out at the press, not copied into every frame.
            const ProjectListState now = state.get();
            store.requestClean(copiesOf(deriveProjectList(inputsOf(store, now)).selectedCleanable), true);
            // A request the store turned down keeps the selection to fix and try again.
            if (store.cleanConfirmProject.get()) state.set(afterCleanSelected(now));
        }));
    } else {
        items.push_back(button("Select", ForestButton::Tone::secondary, d.canSelect, [setSelecting] {
                            setSelecting(true);
                        }).help("Choose several projects, then clean them together"));
        items.push_back(button("Clean All", ForestButton::Tone::reclaim, d.canCleanAll, [&store, state] {
            store.requestClean(copiesOf(deriveProjectList(inputsOf(store, state.get())).cleanAllCandidates), true);
        }));
    }
    items.push_back(RescanButton(store));
    const ui::View row = ui::HStack(ui::VerticalAlignment::center, 8, items);
    // The narrow window keeps the row while it fits beside the title; three
    // buttons stacked tall push the list down for nothing.
    if (width == WidthClass::compact)
        return ui::ViewThatFits(ui::Axes::horizontalOnly(), {row, ui::VStack(ui::HorizontalAlignment::trailing, 8, std::move(items))});
    return row;
}

ui::View filterBarVariant(AppStore& store, const StateBinding& state, bool wide) {
    const bool byReclaimable = state.get().sortReclaimable;
    auto toggleSort = [state] {
        ProjectListState s = state.get();
        s.sortReclaimable = !s.sortReclaimable;
        state.set(s);
    };
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

ui::View filterBar(AppStore& store, const StateBinding& state) {
    return ui::ViewThatFits(ui::Axes::horizontalOnly(),
                            {filterBarVariant(store, state, true), filterBarVariant(store, state, false)})
        .fixedSize(false, true);
}

ui::View selectionSummary(const ProjectListDerived& d) {
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

ui::View speciesFilter(AppStore& store, const DashboardDTO& dashboard) {
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
    if (stack) {
        row.push_back(button("All Stacks", ForestButton::Tone::ghost, true, [&store] {
            ui::withAnimation(forestSpring(), [&] { store.filterStack = std::nullopt; });
        }));
    }
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

// Cards are made only for the rows the grid builds (those near the visible
// part), from this build's list; the list points into the store's
// dashboard, which a rebuild follows whenever it changes.
struct Cards {
    ProjectRefs visible;
    std::vector<std::string> keys;
    ProjectListState state;
};

ui::View grid(AppStore& store, const StateBinding& state, std::shared_ptr<const Cards> cards, WidthClass width) {
    const double minimum = width == WidthClass::compact ? 200 : 240;
    return ui::ScrollView(ui::LazyVGrid({ui::GridItem::adaptive(minimum, ui::infinity, 12)},
                                        {ui::ForEachIndex(
                                            cards->visible.size(), [cards](std::size_t i) { return cards->keys[i]; },
                                            [&store, state, cards](std::size_t i) {
                                                const ProjectDTO& p = *cards->visible[i];
                                                return ProjectListingCard(store, p, cards->state.selecting,
                                                                          cards->state.selectedIDs.count(p.id) > 0,
                                                                          [&store, state, project = p] {
                                                                              const ProjectListState now = state.get();
                                                                              if (now.selecting)
                                                                                  state.set(tappedCard(now, project));
                                                                              else
                                                                                  store.filesPopupProject = project;
                                                                          });
                                            })},
                                        ui::HorizontalAlignment::center, 12)
                              .padding(ui::Edge::bottom, 8));
}

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
        auto cards = std::make_shared<const Cards>(Cards{d.visible, projectCardKeys(d.visible), settled(state, d)});
        memo.list = {std::move(d), std::move(cards)};
        memo.inputs = std::move(in);
        memo.dashboardVersion = version;
    }
    return memo.list;
}

ui::View page(AppStore& store, const StateBinding& state, WidthClass width) {
    const PageList& list = pageListFor(store, state.get());
    const ProjectListDerived& d = list.derived;
    const bool selecting = state.get().selecting;
    const auto& dashboard = store.dashboard.get();

    ui::ViewList children{
        ForestPageHeader("Your Projects",
                         selecting ? "Tap any project with reclaimable files. Pinned projects stay locked."
                                   : "Tap a card to see folders that can go to Trash.",
                         toolbar(store, state, d, width)),
        ScanningBanner(store),
        filterBar(store, state),
    };
    if (selecting && !d.visible.empty()) children.push_back(selectionSummary(d));
    if (dashboard && !dashboard->by_type.empty()) children.push_back(speciesFilter(store, *dashboard));

    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.maxHeight = ui::infinity;
    fill.alignment = ui::Alignment::topLeading;
    if (!d.visible.empty())
        children.push_back(grid(store, state, list.cards, width).frame(fill));
    else if (dashboard)
        children.push_back(ForestEmptyState("folder", "No matching projects", d.emptyStateDetail).frame(fill));
    else
        children.push_back(ForestEmptyState("leaf.fill", "No forest yet", d.emptyStateDetail).frame(fill));

    // The query and both filters narrow the selection to what stays visible
    // (not their first values, not the sort, not a new dashboard).
    using Narrowing = std::tuple<std::string, bool, std::optional<std::string>>;
    return ui::VStack(ui::HorizontalAlignment::leading, 12, std::move(children))
        .frame(fill)
        .onChange(Narrowing{state.get().query, store.filterIdle.get(), store.filterStack.get()},
                  [&store, state] { pruneSelection(store, state); })
        .onKeyPress([state](const ui::KeyPress& key) {
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

}  // namespace

ui::View ProjectListView(AppStore& store) { return ProjectListView(store, ProjectListState{}); }

ui::View ProjectListView(AppStore& store, ProjectListState initial) {
    return ui::WithState<ProjectListState>(std::move(initial), [&store](StateBinding state) {
        return ui::EnvironmentReader(
            [&store, state](const ui::EnvironmentValues& env) { return page(store, state, env.get<WidthClassKey>()); });
    });
}

}  // namespace tidewell
