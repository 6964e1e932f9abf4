#include "UITestSupport.h"

#include <QPainter>

using namespace uitest;

namespace {

// A host driven by hand: scheduled rebuilds wait until the test runs them.
struct ManualHost {
    ViewHost host;
    UITester tester{host};
    std::vector<std::function<void()>> pending;
    ManualHost(Size size = {300, 200})
    {
        host.setScheduler([this](std::function<void()> f) { pending.push_back(std::move(f)); });
        host.setSize(size);
    }
    void runPending()
    {
        auto p = std::move(pending);
        pending.clear();
        for (auto& f : p) f();
    }
};

View button(const std::string& id, int& taps, double w = 100, double h = 40)
{
    return View(Color::blue()).frame(w, h).onTapGesture([&taps] { ++taps; }).accessibilityIdentifier(id);
}

}  // namespace

TEST(Taps, OverlaysBlockUnlessTheyPassHitsThrough)
{
    int taps = 0;
    ManualHost m;
    m.host.setRootView(button("b", taps).overlay(View(Color::red()).frame(50, 20)));
    m.tester.tap("b");
    EXPECT_EQ(taps, 0) << "the overlay is on top and takes the tap";

    m.host.setRootView(button("b", taps).overlay(View(Color::red()).frame(50, 20).allowsHitTesting(false)));
    m.tester.tap("b");
    EXPECT_EQ(taps, 1);

    // Beside the overlay the button is reachable either way.
    m.host.setRootView(button("b", taps).overlay(View(Color::red()).frame(50, 20)));
    const Rect f = m.tester.find("b")->frame;
    m.tester.tapAt({f.x + 5, f.y + 5});
    EXPECT_EQ(taps, 2);

    // A border drawn over the button takes hits only on its line.
    m.host.setRootView(button("b", taps).overlay(RoundedRectangle(8).strokeBorder(Color::red(), 2)));
    m.tester.tap("b");
    EXPECT_EQ(taps, 3);
    m.tester.tapAt({f.x + 1, f.y + 20});
    EXPECT_EQ(taps, 3) << "on the line the border is on top";
}

TEST(Taps, ClearAreasTakeNoTapsWithoutAContentShape)
{
    int taps = 0;
    ManualHost m;
    m.host.setRootView(View(Color::clear()).frame(100, 100).onTapGesture([&] { ++taps; }).accessibilityIdentifier("c"));
    m.tester.tap("c");
    EXPECT_EQ(taps, 0);
    m.host.setRootView(View(Color::clear()).frame(100, 100).contentShape(Rectangle()).onTapGesture([&] { ++taps; }).accessibilityIdentifier("c"));
    m.tester.tap("c");
    EXPECT_EQ(taps, 1);
    // A spacer between two texts is a gap unless the row has a content shape.
    m.host.setRootView(HStack({Text("a"), Spacer(), Text("b")}).frame(200, std::nullopt).onTapGesture([&] { ++taps; }));
    m.tester.tapAt({150, 100});
    EXPECT_EQ(taps, 1);
    m.host.setRootView(HStack({Text("a"), Spacer(), Text("b")}).frame(200, std::nullopt).contentShape(Rectangle()).onTapGesture([&] { ++taps; }));
    m.tester.tapAt({150, 100});
    EXPECT_EQ(taps, 2);
}

TEST(Taps, PressAndReleaseMustHitTheSameView)
{
    int left = 0, right = 0;
    ManualHost m;
    m.host.setRootView(HStack(VerticalAlignment::center, 0, {button("left", left), button("right", right)}));
    m.tester.settle();
    const Rect l = m.tester.find("left")->frame, r = m.tester.find("right")->frame;
    m.host.pointerPress({l.midX(), l.midY()});
    m.host.pointerRelease({r.midX(), r.midY()});
    EXPECT_EQ(left + right, 0);
}

TEST(Taps, TransformedViewsAreHitWhereTheyAreDrawn)
{
    int taps = 0;
    ManualHost m({400, 400});
    m.host.setRootView(button("b", taps, 40, 40).offset(100, 0));
    m.tester.settle();
    m.tester.tapAt({200, 200});  // where it was laid out
    EXPECT_EQ(taps, 0);
    m.tester.tapAt({300, 200});  // where it is drawn
    EXPECT_EQ(taps, 1);
}

TEST(Taps, HandlerThatSwapsTheWholeContentFinishesFirst)
{
    bool swapped = false;
    int after = 0;
    ManualHost m;
    m.host.setRoot([&] {
        if (swapped)
            return VStack({Text("Done").accessibilityIdentifier("done")});
        return View(Color::blue()).frame(100, 40).onTapGesture([&] {
            swapped = true;
            m.host.setNeedsRebuild();
            m.host.flush();  // refused inside a handler: the tree stays until it returns
            ++after;
        }).accessibilityIdentifier("go");
    });
    ASSERT_TRUE(m.tester.tap("go"));
    EXPECT_EQ(after, 1);
    EXPECT_TRUE(m.tester.exists("done"));
    EXPECT_FALSE(m.tester.exists("go"));
}

TEST(Hover, EnterAndLeave)
{
    std::vector<bool> events;
    std::vector<Point> positions;
    ManualHost m({300, 300});
    m.host.setRootView(View(Color::blue())
                           .frame(100, 100)
                           .onHover([&](bool inside) { events.push_back(inside); })
                           .onContinuousHover([&](HoverPhase p) {
                               if (p.kind == HoverPhaseKind::active) positions.push_back(p.location);
                           })
                           .accessibilityIdentifier("h"));
    m.tester.settle();
    m.tester.hover({10, 10});
    EXPECT_TRUE(events.empty());
    m.tester.hover({150, 150});
    m.tester.hover({160, 150});  // moving inside is not a new enter
    m.tester.hover({10, 10});
    m.tester.hover({150, 150});
    m.tester.leave();
    EXPECT_EQ(events, (std::vector<bool>{true, false, true, false}));
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.front(), (Point{50, 50}));
}

TEST(Hover, RebuildsKeepHoverByIdentity)
{
    int enters = 0;
    ManualHost m({300, 300});
    m.host.setRoot([&] { return View(Color::blue()).frame(100, 100).onHover([&](bool in) { enters += in; }); });
    m.tester.hover({150, 150});
    m.host.setNeedsRebuild();
    m.tester.hover({151, 150});
    EXPECT_EQ(enters, 1);
}

TEST(State, KeptByIdentityAcrossRebuildsAndDroppedWithTheView)
{
    bool showCounter = true;
    ManualHost m;
    m.host.setRoot([&] {
        return VStack({ViewIf(showCounter, WithState<int>(0, [](Binding<int> count) {
                                  return Text("count " + std::to_string(count.get()))
                                      .onTapGesture([count] { count.set(count.get() + 1); })
                                      .accessibilityIdentifier("counter");
                              })),
                       Text("other")});
    });
    m.tester.tap("counter");
    m.tester.tap("counter");
    EXPECT_TRUE(m.tester.findText("count 2"));
    EXPECT_EQ(m.host.stateSlotCount(), 1u);
    showCounter = false;
    m.host.setNeedsRebuild();
    m.tester.settle();
    EXPECT_EQ(m.host.stateSlotCount(), 0u);
    showCounter = true;
    m.host.setNeedsRebuild();
    EXPECT_TRUE(m.tester.findText("count 0")) << "a view that comes back starts afresh";
}

TEST(State, ForEachKeepsStatePerItemWhenItemsMove)
{
    std::vector<std::string> items{"a", "b", "c"};
    ManualHost m({300, 300});
    m.host.setRoot([&] {
        return VStack({ForEach<std::string>(items, [](const std::string& s) { return s; }, [](const std::string& s) {
            return WithState<int>(0, [s](Binding<int> n) {
                return Text(s + "=" + std::to_string(n.get())).onTapGesture([n] { n.set(n.get() + 1); }).accessibilityIdentifier(s);
            });
        })});
    });
    m.tester.tap("b");
    items = {"c", "b", "a"};
    m.host.setNeedsRebuild();
    EXPECT_TRUE(m.tester.findText("b=1"));
    EXPECT_TRUE(m.tester.findText("a=0"));
}

TEST(Layers, ModalLayerTakesEveryEventAndDismisses)
{
    int below = 0, sheet = 0;
    ManualHost m;
    m.host.setRootView(button("below", below, 300, 200));
    m.tester.settle();
    const int id = m.host.presentLayer([&] { return button("sheet", sheet, 100, 50); }, true);
    m.tester.tapAt({10, 10});  // outside the sheet, over the content
    EXPECT_EQ(below, 0);
    m.tester.tap("sheet");
    EXPECT_EQ(sheet, 1);
    m.host.dismissLayer(id);
    m.tester.tapAt({10, 10});
    EXPECT_EQ(below, 1);
}

TEST(Layers, NonModalLayerLetsMissesFallThrough)
{
    int below = 0;
    ManualHost m;
    m.host.setRootView(button("below", below, 300, 200));
    m.host.presentLayer([&] { return View(Color::red()).frame(50, 50); }, false);
    m.tester.tapAt({10, 10});
    EXPECT_EQ(below, 1);
    m.tester.tapAt({150, 100});  // on the popover
    EXPECT_EQ(below, 1);
}

TEST(Events, ScrollWheelKeysTooltipsAndCursor)
{
    ScrollDelta got;
    std::string typed;
    ManualHost m({300, 300});
    m.host.setRootView(View(Color::blue())
                           .frame(100, 100)
                           .onScrollWheel([&](ScrollDelta d) { got = d; })
                           .help("Scroll me")
                           .cursor(CursorShape::pointingHand)
                           .onKeyPress([&](const KeyPress& k) {
                               typed += k.text;
                               return true;
                           })
                           .focusable());
    m.tester.settle();
    EXPECT_TRUE(m.host.scroll({150, 150}, {0, 12}));
    EXPECT_EQ(got.dy, 12);
    EXPECT_FALSE(m.host.scroll({5, 5}, {0, 12}));
    EXPECT_EQ(m.host.tooltipAt({150, 150}), "Scroll me");
    EXPECT_FALSE(m.host.tooltipAt({5, 5}));
    EXPECT_EQ(m.host.cursorAt({150, 150}), CursorShape::pointingHand);
    EXPECT_EQ(m.host.cursorAt({5, 5}), CursorShape::arrow);
    m.tester.tapAt({150, 150});
    EXPECT_TRUE(m.host.key({0, "x", 0}));
    EXPECT_EQ(typed, "x");
}

TEST(Events, ControlsThatTakeNoTapsStillShowTheirHelp)
{
    int taps = 0;
    ManualHost m({300, 300});
    m.host.setRootView(HStack(VerticalAlignment::center, 0, {button("off", taps).allowsHitTesting(false).help("Off for now"),
                                  button("disabled", taps).disabled(true).help("Disabled for now"),
                                  // A pass-through overlay with no help of its own shows none.
                                  button("under", taps).overlay(View(Color::red()).allowsHitTesting(false))}));
    m.tester.settle();
    EXPECT_EQ(m.host.tooltipAt({50, 150}), "Off for now");
    EXPECT_EQ(m.host.tooltipAt({150, 150}), "Disabled for now");
    EXPECT_FALSE(m.host.tooltipAt({250, 150}));
    m.tester.tapAt({50, 150});
    EXPECT_EQ(taps, 0) << "help never makes a view take taps";
}

TEST(Accessibility, CombinedContainedIgnoredAndHidden)
{
    ManualHost m({400, 300});
    m.host.setRootView(VStack({
        HStack({Text("Flutter"), Text("3 projects")}).accessibilityElement(AccessibilityChildBehavior::combine).accessibilityIdentifier("token"),
        HStack({Text("x"), Text("y")}).accessibilityElement(AccessibilityChildBehavior::contain).accessibilityIdentifier("group"),
        HStack({Text("inner")}).accessibilityElement(AccessibilityChildBehavior::ignore).accessibilityLabel("Outer"),
        Text("Secret").accessibilityHidden(),
        Text("Gone").hidden(),
        Text("Title").accessibilityAddTraits(AccessibilityTrait::header),
        Text("Chosen").accessibilityAddTraits(AccessibilityTrait::selected).accessibilityIdentifier("chosen"),
    }));
    auto token = m.tester.find("token");
    ASSERT_TRUE(token);
    EXPECT_EQ(token->label, "Flutter, 3 projects");
    EXPECT_TRUE(token->children.empty());
    auto group = m.tester.find("group");
    ASSERT_TRUE(group);
    EXPECT_EQ(group->children.size(), 2u);
    auto outer = m.tester.findText("Outer");
    ASSERT_TRUE(outer);
    EXPECT_TRUE(outer->children.empty());
    EXPECT_FALSE(m.tester.findText("inner"));
    EXPECT_FALSE(m.tester.findText("Secret"));
    EXPECT_FALSE(m.tester.findText("Gone"));
    EXPECT_TRUE(m.tester.findText("Title")->hasTrait(AccessibilityTrait::header));
    EXPECT_TRUE(m.tester.find("chosen")->hasTrait(AccessibilityTrait::selected));
    EXPECT_EQ(m.tester.find("chosen")->label, "Chosen");
}

TEST(Accessibility, NestedIdentifiersStayFindable)
{
    int taps = 0;
    ManualHost m({400, 300});
    m.host.setRootView(VStack({Text("Card"), button("action", taps, 80, 30)}).padding(10).accessibilityIdentifier("card"));
    auto card = m.tester.find("card");
    ASSERT_TRUE(card);
    auto action = m.tester.find("action");
    ASSERT_TRUE(action);
    EXPECT_GE(action->frame.y, card->frame.y);
    EXPECT_LE(action->frame.maxY(), card->frame.maxY());
    m.tester.tap(*action);
    EXPECT_EQ(taps, 1);
}

TEST(HostWidgetAdapter, PaintsAtTheWidgetSize)
{
    HostWidget w;
    w.resize(120, 80);
    w.host().setRootView(View(Color::sRGB(1, 0, 0)));
    QImage img(120, 80, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    w.render(&img);
    EXPECT_EQ(img.pixelColor(60, 40), QColor(Qt::red));
    EXPECT_EQ(w.host().size(), (Size{120, 80}));
}

TEST(Taps, RotatedViewsAreHitAlongTheirDrawnShape)
{
    int taps = 0;
    ManualHost m({200, 200});
    m.host.setRootView(View(Color::blue()).frame(160, 20).onTapGesture([&] { ++taps; }).rotationEffect(Angle::degrees(90)));
    m.tester.tapAt({100, 30});   // on the drawn vertical bar
    EXPECT_EQ(taps, 1);
    m.tester.tapAt({30, 100});   // where the bar lay before turning
    EXPECT_EQ(taps, 1);
}

TEST(Taps, DisabledViewsAndTheirSubtreesIgnoreTaps)
{
    int taps = 0;
    ManualHost m;
    for (const View& v : {button("b", taps).disabled(true), VStack({button("b", taps)}).disabled(true)}) {
        m.host.setRootView(v);
        m.tester.tap("b");
    }
    EXPECT_EQ(taps, 0);
}

TEST(Layers, DismissingFromInsideTheLayersOwnHandler)
{
    int sheetTaps = 0;
    ManualHost m;
    m.host.setRootView(Text("content"));
    int id = 0;
    id = m.host.presentLayer([&] {
        return View(Color::red()).frame(80, 40).onTapGesture([&] {
            ++sheetTaps;
            m.host.dismissLayer(id);
        }).accessibilityIdentifier("sheet");
    }, true);
    ASSERT_TRUE(m.tester.tap("sheet"));
    m.runPending();
    m.tester.settle();
    EXPECT_EQ(sheetTaps, 1);
    EXPECT_EQ(m.host.layerCount(), 1u);
    EXPECT_FALSE(m.tester.exists("sheet"));
}

TEST(Events, KeysGoToTheFocusedViewFirst)
{
    std::string a, b;
    ManualHost m({300, 100});
    auto field = [](std::string& sink) {
        return View(Color::blue()).frame(100, 40).onKeyPress([&sink](const KeyPress& k) {
            sink += k.text;
            return true;
        }).focusable();
    };
    m.host.setRootView(HStack(VerticalAlignment::center, 0, {field(a).accessibilityIdentifier("a"), field(b).accessibilityIdentifier("b")}));
    m.tester.tap("b");
    m.host.key({0, "x", 0});
    m.tester.tap("a");
    m.host.key({0, "y", 0});
    EXPECT_EQ(a, "y");
    EXPECT_EQ(b, "x");
}

TEST(Hover, OnlyViewsThatTakeHitsHover)
{
    int enters = 0;
    ManualHost m({200, 200});
    m.host.setRootView(View(Color::blue()).frame(100, 100).onHover([&](bool in) { enters += in; }).allowsHitTesting(false));
    m.tester.hover({100, 100});
    EXPECT_EQ(enters, 0);
}

TEST(Rebuilds, RenderingAtTwiceTheScaleKeepsTheLayout)
{
    ManualHost m({120, 60});
    m.host.setRootView(HStack({Text("Scale"), box("b", 20, 20)}));
    m.tester.settle();
    const Rect before = m.tester.find("b")->frame;
    const QImage img = m.host.renderImage(2);
    EXPECT_EQ(img.size(), QSize(240, 120));
    EXPECT_EQ(m.tester.find("b")->frame, before);
    EXPECT_GT(img.pixelColor(int(before.midX() * 2), int(before.midY() * 2)).alpha(), 200);
}

namespace {
struct CounterStore : platform::ObservableObject {
    platform::Published<int> count{*this, 0};
};
}  // namespace

TEST(Rebuilds, ObservedStoreRedrawsOncePerFrame)
{
    CounterStore store;
    ManualHost m;
    m.host.observe(store);
    m.host.setRoot([&] { return Text("count " + std::to_string(store.count.get())); });
    m.runPending();
    const unsigned before = m.host.rebuildCount();
    store.count.set(1);
    store.count.set(2);
    store.count.set(3);
    EXPECT_EQ(m.pending.size(), 1u);  // three changes, one frame
    m.runPending();
    EXPECT_EQ(m.host.rebuildCount(), before + 1);
    EXPECT_TRUE(m.tester.findText("count 3"));
    m.host.stopObserving();
    store.count.set(4);
    EXPECT_TRUE(m.pending.empty());
}

TEST(State, RepeatedIdsInForEachKeepSeparateState)
{
    std::vector<std::string> items{"dup", "dup"};
    ManualHost m({300, 300});
    m.host.setRoot([&] {
        return VStack({ForEach<std::string>(items, [](const std::string& s) { return s; }, [](const std::string&) {
            return WithState<int>(0, [](Binding<int> n) {
                return Text("n=" + std::to_string(n.get())).onTapGesture([n] { n.set(n.get() + 1); });
            });
        })});
    });
    m.tester.tapText("n=0");
    EXPECT_EQ(m.host.stateSlotCount(), 2u);
    EXPECT_EQ(m.tester.findAll([](const AccessibilityNodeInfo& n) { return n.label == "n=1"; }).size(), 1u);
    EXPECT_EQ(m.tester.findAll([](const AccessibilityNodeInfo& n) { return n.label == "n=0"; }).size(), 1u);
}
