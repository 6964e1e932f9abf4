// The storage tree hosted headless, under reduce motion so bubbles sit at
// their layout places: taps select and deselect through the store, the
// context menu protects a stack, and the protection reaches the defaults.

#include "SampleData.h"
#include "Tidewell/core/StoreTestEnvironment.h"
#include "Platform/ui/WindowBelowABar.h"
#include "Tidewell/kit/KitViewTesting.h"
#include "core/AppStore.h"
#include "dashboard/DashboardView.h"
#include "dashboard/ForestHeroCard.h"
#include "dashboard/StorageNodeLayout.h"
#include "dashboard/StorageNodeView.h"
#include "dashboard/StorageTreeRules.h"
#include "dashboard/StorageTreeView.h"
#include "foundation/UserDefaults.h"
#include "ui/Menu.h"
#include "ui/TimelineView.h"

#include <QPainter>
#include <algorithm>
#include <tuple>

namespace tidewell {
namespace {

using platform::ui::Point;

TEST(StorageTreeView, TapsMenuAndProtection)
{
    testing::ScratchHome home;
    AppStore store;
    fixtures::SampleOptions options;
    options.stacks = 5;
    const DashboardDTO dash = fixtures::sampleDashboard(options);
    auto env = kittest::scheme(platform::ui::ColorScheme::dark);
    env.reduceMotion = true;
    const platform::ui::Size size{900, 500};
    auto laid = kittest::layOut(ForestHeroCard(store, dash), size, env);
    const auto nodes = layoutStorageNodes(size, dash.by_type, dash.projects, {});
    ASSERT_EQ(nodes.size(), 5u);
    const auto centre = [&](std::size_t i) { return Point{nodes[i].position.x, nodes[i].position.y}; };
    using Stack = std::optional<std::string>;

    laid->tester.tapAt(centre(1));
    EXPECT_EQ(store.filterStack.get(), Stack(nodes[1].id()));
    EXPECT_TRUE(laid->shows("View Details")) << "the detail panel of the selected stack";
    laid->tester.tapAt(centre(2));
    EXPECT_EQ(store.filterStack.get(), Stack(nodes[2].id()));
    laid->tester.tapAt(centre(2));
    EXPECT_EQ(store.filterStack.get(), Stack());
    laid->tester.tapAt(centre(0));
    laid->tester.tapAt({850, 330});  // open sky beside the crown
    EXPECT_EQ(store.filterStack.get(), Stack());

    // The pointer swells the bubble it is over, and leaving puts it back.
    const QImage still = laid->render();
    laid->tester.hover(centre(4));
    EXPECT_NE(laid->render(), still);
    laid->tester.hover(Point{850, 330});
    EXPECT_EQ(laid->render(), still);

    std::vector<std::string> titles;
    std::vector<platform::ui::MenuItem> items;
    platform::ui::setMenuPresenter([&](const std::vector<platform::ui::MenuItem>& shown) {
        items = shown;
        titles.clear();
        for (const auto& item : shown) titles.push_back(item.title);
    });
    ASSERT_TRUE(platform::ui::showContextMenu(*laid->host, centre(3)));
    EXPECT_EQ(titles, (std::vector<std::string>{"View Details", "Clean", "Protect"}));
    items[2].action();
    laid->tester.settle();
    EXPECT_EQ(store.filterStack.get(), Stack(nodes[3].id())) << "protecting selects";
    EXPECT_EQ(platform::UserDefaults::standard()->stringValue(protectedStacksKey), nodes[3].id());
    ASSERT_TRUE(platform::ui::showContextMenu(*laid->host, centre(3)));
    EXPECT_EQ(titles, (std::vector<std::string>{"View Details", "Clean", "Remove Protection"}));

    items[0].action();
    EXPECT_EQ(store.selectedSection.get(), AppSection::projects);
    EXPECT_FALSE(store.filterIdle.get());
    platform::ui::setMenuPresenter(nullptr);
}

// The tree's selection and hover go through its named operations: a tap
// toggles the store's stack filter, the open scene clears it, and leaving an
// older bubble keeps the newer hover.
TEST(StorageTreeView, SelectionAndHoverOperations)
{
    testing::ScratchHome home;
    AppStore store;
    using Stack = std::optional<std::string>;
    for (const auto& [before, tapped, after] : std::vector<std::tuple<Stack, std::string, Stack>>{
             {Stack("go"), "go", Stack()}, {Stack("go"), "node", Stack("node")}, {Stack(), "node", Stack("node")}}) {
        store.filterStack = before;
        toggleStackSelection(store, tapped);
        EXPECT_EQ(store.filterStack.get(), after) << before.value_or("nil") << " tapped " << tapped;
    }
    clearStackSelection(store);
    EXPECT_EQ(store.filterStack.get(), Stack());
    EXPECT_EQ(store.selectedSection.get(), AppSection::dashboard) << "selecting never leaves the page";

    Stack hovered;
    const platform::ui::Binding<Stack> hover([&] { return hovered; }, [&](Stack v) { hovered = std::move(v); });
    trackStackHover(hover, "go", true);
    EXPECT_EQ(hovered, Stack("go"));
    trackStackHover(hover, "node", true);
    trackStackHover(hover, "go", false);  // left the older bubble: the newer one stays
    EXPECT_EQ(hovered, Stack("node"));
    trackStackHover(hover, "node", false);
    EXPECT_EQ(hovered, Stack());
}

// Protected by the user or because every project of the stack is pinned: the
// bubble's menu and its panel offer no clean, and asking anyway starts none.
TEST(StorageTreeView, AProtectedBubbleOffersNoCleanAnywhere)
{
    testing::ScratchHome home;
    AppStore store;
    auto pinned = testing::project("g", "/w/tool", 900, 600, {"go"});
    pinned.pinned = true;
    DashboardDTO dash = testing::dashboard({testing::project("n", "/w/web", 800, 500, {"node"}), pinned,
                                            testing::project("r", "/w/core", 700, 400, {"rust"})});
    dash.by_type = {{"node", "Node", 1, 800, 500}, {"go", "Go", 1, 900, 600}, {"rust", "Rust", 1, 700, 400}};
    home.defaults().setString(protectedStacksKey, "node");
    auto env = kittest::scheme(platform::ui::ColorScheme::dark);
    env.reduceMotion = true;
    const platform::ui::Size size{900, 500};
    auto laid = kittest::layOut(ForestHeroCard(store, dash), size, env);
    const auto nodes = layoutStorageNodes(size, dash.by_type, dash.projects, {"node"});

    std::vector<platform::ui::MenuItem> items;
    platform::ui::setMenuPresenter([&](const std::vector<platform::ui::MenuItem>& shown) { items = shown; });
    for (const auto& node : nodes) {
        SCOPED_TRACE(node.id());
        const bool shielded = node.id() != "rust";
        ASSERT_EQ(node.status == StorageNodeStatus::protected_, shielded);
        const Point centre{node.position.x, node.position.y};
        ASSERT_TRUE(platform::ui::showContextMenu(*laid->host, centre));
        ASSERT_EQ(items.size(), node.id() == "go" ? 2u : 3u) << "pins leave nothing to protect or unprotect";
        EXPECT_EQ(items[1].title, "Clean");
        EXPECT_EQ(items[1].enabled, !shielded);

        if (store.filterStack.get() != node.id())
            laid->tester.tapAt(centre);
        ASSERT_EQ(store.filterStack.get(), std::optional(node.id()));
        const auto button = [&](const std::string& title) {
            return laid->tester.findAll([&](const platform::ui::AccessibilityNodeInfo& n) {
                return n.hasTrait(platform::ui::AccessibilityTrait::button) && n.texts == std::vector<std::string>{title};
            });
        };
        const auto clean = button("Clean");
        ASSERT_EQ(clean.size(), 1u);
        EXPECT_EQ(laid->host->tooltipAt({clean[0].frame.midX(), clean[0].frame.midY()}),
                  shielded ? "Deletion is disabled" : "Move safe folders for this stack to Trash");
        const std::string protection = node.id() == "node" ? "Unprotect" : node.id() == "go" ? "Protected" : "Protect";
        EXPECT_EQ(button(protection).size(), 1u) << protection;
        if (!shielded)
            continue;
        laid->tester.tap(clean[0]);
        items[1].action();
        EXPECT_FALSE(store.isCleaning.get() || store.cleanConfirmProject.get());
    }
    platform::ui::setMenuPresenter(nullptr);
}

// A bubble bobs in half-point steps, so over a full swing of the bob each is
// drawn at both of its placements; the next swing copies what was kept.
TEST(StorageTreeView, BubblesKeepTheirPicturesWhileTheyBob)
{
    testing::ScratchHome home;
    AppStore store;
    fixtures::SampleOptions options;
    options.stacks = 17;
    auto laid = kittest::layOut(ForestHeroCard(store, fixtures::sampleDashboard(options)), {1200, 700},
                                kittest::scheme(platform::ui::ColorScheme::dark));
    double now = 1000;  // long after the entrance
    laid->host->setClock([&now] { return now; });
    const auto swing = [&] {
        for (int frame = 0; frame < 40; ++frame) {  // 7.4 s, under half a point a frame
            now += 0.185;
            laid->host->setNeedsRebuild();
            laid->render();
        }
        return storageNodeDrawingRenders();
    };
    const std::size_t first = swing();
    EXPECT_EQ(swing(), first);
}

TEST(StorageTreeView, FramesOfTheTimeDrawOnTheDashboardWhatAWholeRebuildDraws)
{
    testing::ScratchHome home;
    AppStore store;
    fixtures::SampleOptions options;
    options.stacks = 17;
    store.dashboard = fixtures::sampleDashboard(options);
    double now = 1000;
    auto hosted = [&] {
        auto host = std::make_unique<platform::ui::ViewHost>();
        host->setScheduler(nullptr);
        host->setClock([&now] { return now; });
        host->setSize({1440, 900});
        host->setEnvironment(kittest::scheme(platform::ui::ColorScheme::dark));
        host->setRootView(DashboardView(store));
        host->flush();
        host->flush();  // the bubbles' entrance starts once the tree has appeared
        return host;
    };
    auto ticked = hosted(), rebuilt = hosted();
    now += 3;  // the entrance is over
    for (auto* host : {ticked.get(), rebuilt.get()}) {
        host->setNeedsRebuild();
        host->flush();
    }
    // Each frame paints only what it damaged, over the picture before it.
    QImage picture = ticked->renderImage(1);
    for (int frame = 0; frame < 24; ++frame) {
        now += 1.0 / 24;
        ticked->tick();
        const QRegion damage = ticked->takeDamage();
        QPainter p(&picture);
        p.setClipRegion(damage);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(picture.rect(), Qt::transparent);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        p.setClipping(false);
        ticked->render(p, damage);
    }
    rebuilt->setNeedsRebuild();
    EXPECT_EQ(picture, rebuilt->renderImage(1));
    EXPECT_GE(ticked->readerRebuildCount(), 24u);
    EXPECT_EQ(ticked->escalationCount(), 0u);
}

// In the window the tree stands below the menu bar, and each frame repaints
// only what moved. The selected bubble, its kept pictures and its turning
// ring, comes out there as the host draws it, frame after frame.
TEST(StorageTreeView, TheSelectedBubbleInAWindowBelowAMenuBarIsDrawnAsTheHostDrawsIt)
{
    testing::ScratchHome home;
    AppStore store;
    fixtures::SampleOptions options;
    options.stacks = 17;
    const DashboardDTO dash = fixtures::sampleDashboard(options);
    store.filterStack = std::string("node");
    double now = 1000;  // long after the entrance
    double drawnAt = 0;
    int paintsBefore = 0;
    uitest::WindowBelowABar window;
    platform::ui::ViewHost& host = window.host();
    host.setClock([&] { return now; });
    host.setEnvironment(kittest::scheme(platform::ui::ColorScheme::dark));
    host.setRootView(ForestHeroCard(store, dash).background(platform::ui::TimelineView(
        platform::ui::TimelineSchedule::animation(1.0 / 24), [&drawnAt, &paintsBefore, &window](double t) {
            drawnAt = t;
            paintsBefore = window.paints.count;
            return platform::ui::View(platform::ui::Color::clear());
        })));
    window.window.resize(1200, 730);
    window.window.show();
    using uitest::pumpUntil;
    ASSERT_TRUE(pumpUntil([&] { return window.widget->onScreen() && drawnAt == now; }));
    platform::ui::UITester tester(host);
    const auto bubbles = tester.findAll(
        [](const platform::ui::AccessibilityNodeInfo& n) { return n.label.rfind("Node / JS, ", 0) == 0; });
    ASSERT_EQ(bubbles.size(), 1u);
    // The bubble with its ring, swollen and bobbing.
    const platform::ui::Rect f = bubbles[0].frame;
    const QRect area = QRectF(f.x - 0.2 * f.width, f.y - 0.2 * f.height, 1.4 * f.width, 1.4 * f.height).toAlignedRect() &
                       window.widget->rect();
    for (int frame = 0; frame < 5; ++frame) {
        now += 0.7;  // a quarter of the ring's turn in 2.5 s
        // The frame, then the repaint it asked for.
        ASSERT_TRUE(pumpUntil([&] { return drawnAt == now && window.paints.count > paintsBefore; }));
        const QImage shown = window.picture().copy(area.translated(window.origin()));
        const QImage drawn = host.renderImage(1).convertToFormat(QImage::Format_RGB32).copy(area);
        ASSERT_EQ(shown.size(), drawn.size());
        // Edges antialiased under a repaint's clip may differ by a shade, and
        // now and then the face's kept picture by its half-point placement;
        // displaced, the bubble differs over a fifth of the square and more.
        int differing = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const QRgb a = shown.pixel(x, y), b = drawn.pixel(x, y);
                if (std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))}) > 24)
                    ++differing;
            }
        EXPECT_LT(differing, shown.width() * shown.height() / 20) << "frame " << frame;
    }
}

}  // namespace
}  // namespace tidewell
