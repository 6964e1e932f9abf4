#include "dashboard/StorageTreeView.h"

#include <chrono>
#include <cmath>

#include "character/TreeCharacterView.h"
#include "core/AppStore.h"
#include "dashboard/EnergyFlowView.h"
#include "dashboard/ParticleView.h"
#include "dashboard/StorageDetailPanel.h"
#include "dashboard/StorageLegendView.h"
#include "dashboard/StorageNodeLayout.h"
#include "dashboard/StorageNodeView.h"
#include "dashboard/StorageTreeRules.h"
#include "dashboard/TreeBackgroundView.h"
#include "dashboard/TreeFoliageView.h"
#include "dashboard/TreeTrunkView.h"
#include "kit/GrowingScanHero.h"
#include "kit/ForestSpring.h"
#include "ui/Animation.h"
#include "ui/AppStorage.h"
#include "ui/Menu.h"
#include "ui/Shape.h"
#include "ui/State.h"
#include "ui/TimelineView.h"
#include "ui/Transition.h"

namespace tidewell {

namespace ui = platform::ui;

using Stack = std::optional<std::string>;

double secondsSinceReferenceDate(double hostSeconds)
{
    // The host clock counts from its first use; the wall clock fixes where
    // that lies after the reference date, once.
    static const double offset = [] {
        using namespace std::chrono;
        const double unixNow = duration<double>(system_clock::now().time_since_epoch()).count();
        return unixNow - 978307200.0;
    }();
    return offset + hostSeconds;
}

void cleanStack(AppStore& store, const DashboardDTO& dash, const std::string& stack,
                const std::set<std::string>& protectedStacks)
{
    const auto projects = stackCleanRequest(dash, stack, protectedStacks);
    if (!projects.empty())
        store.requestClean(projects, true);
}

void showStackDetails(AppStore& store, const std::string& stack)
{
    store.filterStack = Stack(stack);
    store.filterIdle = false;
    store.selectedSection = AppSection::projects;
}

void toggleStackSelection(AppStore& store, const std::string& stack)
{
    store.filterStack = store.filterStack.get() == stack ? Stack() : Stack(stack);
}

void clearStackSelection(AppStore& store) { store.filterStack = Stack(); }

void trackStackHover(const ui::Binding<Stack>& hoveredID, const std::string& stack, bool inside)
{
    if (inside)
        hoveredID.set(stack);
    else if (hoveredID.get() == stack)
        hoveredID.set(Stack());
}

namespace {

struct TreeState {
    AppStore* store;
    // Shared, not copied: every closure of the tree holds the state, and a
    // scan can list thousands of projects.
    std::shared_ptr<const DashboardDTO> dashPtr;
    const DashboardDTO& dash() const { return *dashPtr; }
    bool reduceMotion;
    ui::ScenePhase scenePhase;
    ui::Binding<std::string> protectedCSV;
    ui::Binding<Stack> hoveredID;
    bool appeared;
    double cornerRadius;
};

std::optional<ui::Animation> treeSpring(bool reduceMotion)
{
    return reduceMotion ? std::nullopt : std::optional(forestSpring());
}

void toggleStackProtection(const TreeState& s, const std::string& stack)
{
    const ProtectionToggle next = toggledProtection(parseProtectedStacks(s.protectedCSV.get()), stack, s.store->filterStack.get());
    if (next.select)
        s.store->filterStack = next.select;
    s.protectedCSV.set(protectedStacksText(next.stacks));
}

std::vector<ui::MenuItem> bubbleMenu(const TreeState& s, const StorageNodeModel& node,
                                     const std::set<std::string>& protectedSet, bool cleanable)
{
    AppStore* store = s.store;
    const std::string stack = node.id();
    std::vector<ui::MenuItem> items;
    items.push_back({"View Details", [store, stack] { showStackDetails(*store, stack); }});
    ui::MenuItem clean{"Clean", [store, dash = s.dashPtr, stack, protectedSet] { cleanStack(*store, *dash, stack, protectedSet); }};
    clean.enabled = cleanable;
    items.push_back(clean);
    if (auto title = protectionMenuTitle(protectedSet.count(stack) > 0, node.status))
        items.push_back({*title, [s, stack] { toggleStackProtection(s, stack); }});
    return items;
}

// The bob moves in steps of half a point, so a bubble lies on the pixel grid
// in one of two ways (one at 2×) and its kept pixels are reused instead of
// drawn again on every frame.
int bubbleStep(double y) { return int(std::lround(y * 2)); }

ui::View scene(const TreeState& s, const std::vector<StorageNodeModel>& nodes, const std::set<std::string>& protectedSet,
               const std::vector<bool>& cleanable, double t, ui::Size size)
{
    AppStore* store = s.store;
    const Stack filter = store->filterStack.get();
    const Stack hovered = s.hoveredID.get();
    const auto spring = treeSpring(s.reduceMotion);

    ui::ViewList layers{
        ui::Rectangle()
            .fill(ui::Color::clear())
            .contentShape(ui::Rectangle())
            .onTapGesture([store, spring] {
                if (store->filterStack.get())
                    ui::withAnimation(spring, [&] { clearStackSelection(*store); });
            })
            .accessibilityHidden(true),
        TreeBackgroundView(t, s.cornerRadius),
        TreeTrunkView(nodes),
        TreeFoliageView(nodes, t),
        EnergyFlowView(nodes, t),
        ParticleView(t, s.cornerRadius),
    };
    const CharacterProfile profile = store->character.get();
    std::optional<TreeCharacterView> character;
    if (profile.walksOnTree) {
        character = TreeCharacterView{profile, store->lifetimeReclaimedBytes.get(), store->characterMeal.get(),
                                      s.dash().reclaimable_bytes, makeTreePerches(nodes, t, size.width, size.height, s.reduceMotion),
                                      size, t, s.reduceMotion, TreeCharacterView::Layer::behind};
        layers.push_back(character->body().zIndex(0.5));
        character->layer = TreeCharacterView::Layer::front;
        layers.push_back(character->body().zIndex(1.5));
    }
    std::vector<std::pair<std::string, ui::View>> bubbles;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const StorageNodeModel& node = nodes[i];
        const std::string stack = node.id();
        const bool selected = filter == stack, isHovered = hovered == stack;
        const double y = bobbedNodeY(node, int(i), t, s.reduceMotion);
        const int step = bubbleStep(y);
        StorageNodeView bubble{node, selected, isHovered, s.appeared, int(i), t, s.reduceMotion, [store, stack, spring] {
                                   ui::withAnimation(spring, [&] { toggleStackSelection(*store, stack); });
                               }};
        bubble.pixelPhase = step & 1;
        const auto hover = s.hoveredID;
        bubbles.emplace_back(stack, bubble.body()
                                        .onHover([hover, stack](bool inside) { trackStackHover(hover, stack, inside); })
                                        .modifier(ui::contextMenu(bubbleMenu(s, node, protectedSet, cleanable[i])))
                                        // Still bubbles sit exactly where the layout put them.
                                        .position(node.position.x, s.reduceMotion ? y : step / 2.0)
                                        .zIndex(selected ? 3 : isHovered ? 2 : 1));
    }
    layers.push_back(ui::ForEachIdentified(std::move(bubbles)));
    return ui::ZStack(ui::Alignment::center, std::move(layers));
}

ui::View detailPanel(const TreeState& s, const std::vector<StorageNodeModel>& nodes,
                     const std::set<std::string>& protectedSet)
{
    const Stack filter = s.store->filterStack.get();
    const StorageNodeModel* selected = nullptr;
    for (const auto& n : nodes)
        if (filter == n.id()) {
            selected = &n;
            break;
        }
    ui::View panel;
    if (selected) {
        AppStore* store = s.store;
        const std::string stack = selected->id();
        panel = StorageDetailPanel{*selected,
                                   protectedSet.count(stack) > 0,
                                   canCleanStack(*selected, s.dash().projects, protectedSet),
                                   [store, stack] { showStackDetails(*store, stack); },
                                   [store, dash = s.dashPtr, stack, protectedSet] { cleanStack(*store, *dash, stack, protectedSet); },
                                   [s, stack] { toggleStackProtection(s, stack); }}
                    .body()
                    .padding(ui::Edge::leading | ui::Edge::trailing, 18)
                    .padding(ui::Edge::bottom, 16);
    }
    return ui::TransitionIf(selected != nullptr, ui::Transition::move(ui::Edge::bottom).combined(ui::Transition::opacity()),
                            panel);
}

ui::View treeBody(const TreeState& s, ui::Size size)
{
    const std::set<std::string> protectedSet = parseProtectedStacks(s.protectedCSV.get());
    const std::vector<StorageNodeModel> nodes = layoutStorageNodes(size, s.dash().by_type, s.dash().projects, protectedSet);
    // Whether each stack can be cleaned scans every project: once per layout,
    // not on every frame of the timeline.
    std::vector<bool> cleanable;
    cleanable.reserve(nodes.size());
    for (const auto& node : nodes)
        cleanable.push_back(canCleanStack(node, s.dash().projects, protectedSet));
    const ui::TimelineSchedule schedule = heroTimelineSchedule(s.reduceMotion, s.scenePhase);
    return ui::TimelineView(schedule,
                            [s, nodes, protectedSet, cleanable, size](double hostSeconds) {
                                const double t = storageTreeTime(secondsSinceReferenceDate(hostSeconds), s.reduceMotion);
                                return scene(s, nodes, protectedSet, cleanable, t, size);
                            })
        .overlay(StorageLegendView().padding(14), ui::Alignment::topTrailing)
        .overlay(detailPanel(s, nodes, protectedSet), ui::Alignment::bottom)
        .modifier(ui::animation(treeSpring(s.reduceMotion), s.store->filterStack.get()));
}

}  // namespace

ui::View StorageTreeView(AppStore& store, DashboardDTO dash, double cornerRadius)
{
    return StorageTreeView(store, std::make_shared<const DashboardDTO>(std::move(dash)), cornerRadius);
}

ui::View StorageTreeView(AppStore& store, std::shared_ptr<const DashboardDTO> dash, double cornerRadius)
{
    AppStore* storePtr = &store;
    return ui::AppStorage<std::string>(protectedStacksKey, "", [storePtr, dash = std::move(dash), cornerRadius](ui::Binding<std::string> csv) {
        return ui::WithState<Stack>(Stack(), [storePtr, dash, csv, cornerRadius](ui::Binding<Stack> hovered) {
            return ui::WithState<bool>(false, [storePtr, dash, csv, hovered, cornerRadius](ui::Binding<bool> appeared) {
                return ui::EnvironmentReader([storePtr, dash, csv, hovered, appeared, cornerRadius](const ui::EnvironmentValues& env) {
                           const TreeState s{storePtr, dash, env.reduceMotion, env.get<ui::ScenePhaseKey>(),
                                             csv,      hovered, appeared.get(),         cornerRadius};
                           return ui::GeometryReader([s](const ui::GeometryProxy& proxy) { return treeBody(s, proxy.size); });
                       })
                    .onAppear([appeared] { appeared.set(true); });
            });
        });
    })
        .environment([](ui::EnvironmentValues& e) { e.colorScheme = ui::ColorScheme::dark; })
        .accessibilityElement(ui::AccessibilityChildBehavior::contain)
        .accessibilityLabel("Technology storage tree");
}

}  // namespace tidewell
