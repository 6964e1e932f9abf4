#include "ControlTestSupport.h"

using namespace controltest;

namespace {

View rows(int n, double height = 40)
{
    std::vector<int> items(n);
    for (int i = 0; i < n; ++i) items[i] = i;
    return VStack(HorizontalAlignment::leading, 0, {ForEach<int>(items, [](const int& i) { return "row" + std::to_string(i); }, [height](const int& i) {
        // A filled block: its element's frame is the whole row.
        return View(Color::gray()).frame(200, height).accessibilityIdentifier("row" + std::to_string(i));
    })});
}

}  // namespace

TEST(ScrollViews, WheelMovesTheContentWithinItsEnds)
{
    Rig rig({300, 200});
    rig.show([] { return ScrollView(rows(20)).frame(300, 200).accessibilityIdentifier("list"); });
    const double y0 = rig.find("row0")->frame.y;
    EXPECT_TRUE(rig.host.scroll({150, 100}, {0, 120}));
    rig.settle();
    EXPECT_NEAR(rig.find("row0")->frame.y, y0 - 120, 1e-9);
    rig.host.scroll({150, 100}, {0, 10000});
    rig.settle();
    // 20 rows of 40 in 200 points: at most 600 down.
    EXPECT_NEAR(rig.find("row0")->frame.y, y0 - 600, 1e-9);
    rig.host.scroll({150, 100}, {0, -10000});
    rig.settle();
    EXPECT_NEAR(rig.find("row0")->frame.y, y0, 1e-9);
}

TEST(ScrollViews, RowsOutsideTheViewportTakeNoTaps)
{
    std::vector<std::string> taps;
    Rig rig({300, 300});
    rig.show([&] {
        const View clearBand = View(Color::clear()).frame(300, 100);
        return VStack(HorizontalAlignment::center, 0, {
            clearBand,
            ScrollView(VStack({Button("Top", [&] { taps.push_back("top"); }).accessibilityIdentifier("top"), View(Color::clear()).frame(10, 400),
                               Button("Hidden", [&] { taps.push_back("hidden"); }).accessibilityIdentifier("hidden")}))
                .frame(300, 100),
            clearBand,
        });
    });
    const Rect below = rig.find("hidden")->frame;
    ASSERT_GT(below.y, 200);
    rig.tester.tapAt({below.midX(), below.midY()});
    EXPECT_TRUE(taps.empty()) << "below the view: clipped away";

    rig.host.scroll({150, 150}, {0, 60});
    rig.settle();
    const Rect above = rig.find("top")->frame;
    ASSERT_LT(above.maxY(), 100);
    rig.tester.tapAt({above.midX(), above.midY()});
    EXPECT_TRUE(taps.empty()) << "scrolled out upward: clipped away too";

    rig.host.scroll({150, 150}, {0, -60});
    rig.settle();
    const Rect back = rig.find("top")->frame;
    rig.tester.tapAt({back.midX(), back.midY()});
    EXPECT_EQ(taps, std::vector<std::string>{"top"}) << "in the view it takes the tap";
}

TEST(ScrollViews, ScrollToAnIdBringsTheItemIntoView)
{
    ScrollProxy kept;
    Rig rig({300, 200});
    rig.show([&] {
        return ScrollViewReader([&](ScrollProxy proxy) {
            kept = proxy;
            return ScrollView(rows(50)).frame(300, 200);
        });
    });
    kept.scrollTo("row30");
    rig.settle();
    Rect f = rig.find("row30")->frame;
    EXPECT_NEAR(f.maxY(), 200, 1e-9) << "the least movement puts it at the bottom edge";
    kept.scrollTo("row10", UnitPoint::top);
    rig.settle();
    EXPECT_NEAR(rig.find("row10")->frame.y, 0, 1e-9);
    kept.scrollTo("row49", UnitPoint::top);
    rig.settle();
    EXPECT_NEAR(rig.find("row49")->frame.maxY(), 200, 1e-9) << "clamped at the end";
    kept.scrollTo("no-such-row");
    rig.settle();
    EXPECT_NEAR(rig.find("row49")->frame.maxY(), 200, 1e-9);
}

TEST(ScrollViews, AnimatedScrollToTravels)
{
    ScrollProxy kept;
    Rig rig({300, 200});
    rig.show([&] {
        return ScrollViewReader([&](ScrollProxy proxy) {
            kept = proxy;
            return ScrollView(rows(50)).frame(300, 200);
        });
    });
    withAnimation(Animation::linear(0.4), [&] { kept.scrollTo("row20", UnitPoint::top); });
    rig.settle();
    rig.advance(0.2);
    EXPECT_NEAR(rig.find("row20")->frame.y, 400, 1e-6);
    rig.runFrames();
    EXPECT_NEAR(rig.find("row20")->frame.y, 0, 1e-9);
}

TEST(ScrollViews, HorizontalRowSnapsToACardAtTheEndOfAScroll)
{
    Rig rig({400, 200});
    rig.show([] {
        ViewList cards;
        for (int i = 0; i < 10; ++i) cards.push_back(Text("Card " + std::to_string(i)).frame(120, 80).accessibilityIdentifier("c" + std::to_string(i)));
        return ScrollView(Axis::horizontal, HStack(VerticalAlignment::top, 10, cards), ScrollViewOptions{false, true}).frame(400, 100);
    });
    const double x0 = rig.find("c0")->frame.x;
    rig.host.scroll({200, 100}, {0, 100});  // a plain wheel turns a horizontal row
    rig.settle();
    EXPECT_NEAR(rig.find("c0")->frame.x, x0 - 100, 1e-9);
    ASSERT_TRUE(rig.host.nextFrameDue()) << "waiting for the scroll to end";
    rig.advance(scrollEndDelay);
    rig.runFrames();
    // 100 is nearest card 1's leading edge at 130.
    EXPECT_NEAR(rig.find("c0")->frame.x, x0 - 130, 1e-6);
    // Let go after a drag, it settles at once at the nearest card.
    rig.host.pointerPress({300, 50});
    rig.host.pointerMove({200, 50});
    rig.host.pointerRelease({200, 50});
    rig.settle();
    rig.runFrames();
    EXPECT_NEAR(rig.find("c0")->frame.x, x0 - 260, 1e-6) << "dragged to 230, nearest card 2 at 260";
    // A wheel's notch, nearer the card it left than the next, still moves one card either way.
    for (const auto& [notch, card] : {std::pair{40.0, 390.0}, std::pair{-40.0, 260.0}}) {
        rig.host.scroll({200, 50}, {0, notch, true});
        rig.settle();
        rig.advance(scrollEndDelay);
        rig.runFrames();
        EXPECT_NEAR(rig.find("c0")->frame.x, x0 - card, 1e-6) << notch;
    }
    EXPECT_DOUBLE_EQ(snapOffset({0, 130, 260}, 60, 1000), 0);
    EXPECT_DOUBLE_EQ(snapOffset({0, 130, 260}, 250, 200), 200) << "the end is as far as it goes";
    EXPECT_DOUBLE_EQ(snapOffset({0, 130, 260}, 40, 1000, 0), 130) << "moved from 0: on to the next";
    EXPECT_DOUBLE_EQ(snapOffset({0, 130, 260}, 90, 1000, 130), 0);
    EXPECT_DOUBLE_EQ(snapOffset({0, 130, 260}, 300, 1000, 260), 260) << "nothing further";
    EXPECT_DOUBLE_EQ(snapOffset({0, 130, 260}, 100, 1000, 0), 130) << "nearest is already ahead";
}

// Notches that carry the row past two or more cards: it settles on the card
// nearest where they left it, not on the one after where they began.
TEST(ScrollViews, ASnappingRowTurnedPastSeveralCardsSettlesOnTheNearest)
{
    Rig rig({400, 200});
    rig.show([] {
        ViewList cards;
        for (int i = 0; i < 10; ++i) cards.push_back(Text("Card " + std::to_string(i)).frame(120, 80).accessibilityIdentifier("c" + std::to_string(i)));
        return ScrollView(Axis::horizontal, HStack(VerticalAlignment::top, 10, cards), ScrollViewOptions{false, true}).frame(400, 100);
    });
    const double x0 = rig.find("c0")->frame.x;
    // Cards start every 130 points. Each turn: its notches, and where it rests.
    struct Turn {
        double notch;
        int notches;
        double rests;
    };
    for (const Turn& t : {Turn{100, 3, 260}, Turn{40, 9, 650}, Turn{-60, 5, 390}, Turn{-45, 6, 130}}) {
        for (int i = 0; i < t.notches; ++i) {
            rig.host.scroll({200, 50}, {0, t.notch, true});
            rig.settle();
        }
        rig.advance(scrollEndDelay);
        rig.runFrames();
        EXPECT_NEAR(rig.find("c0")->frame.x, x0 - t.rests, 1e-6) << t.notches << " notches of " << t.notch;
    }
}

TEST(ScrollViews, TakeTheOfferedHeightUpToAMaximum)
{
    Rig rig({300, 600});
    rig.show([] {
        return VStack({ScrollView(rows(3)).frame(FrameSpec{.maxHeight = 300}).accessibilityIdentifier("short"),
                       ScrollView(rows(30)).frame(FrameSpec{.maxHeight = 200}).accessibilityIdentifier("long")});
    });
    EXPECT_LE(rig.find("long")->frame.height, 200);
    EXPECT_GT(rig.find("long")->frame.height, 150);
}

TEST(Forms, SectionsShowHeadersFootersAndRows)
{
    bool sound = true;
    Rig rig({420, 400});
    rig.show([&] {
        return Form({Section("General", {Toggle("Sound", Binding<bool>([&] { return sound; }, [&](bool v) { sound = v; })),
                                         LabeledContent("Version", Text("1.0"))},
                             "Changes apply at once.")});
    });
    EXPECT_TRUE(rig.hasText("General"));
    EXPECT_TRUE(rig.hasText("Changes apply at once."));
    const Rect label = rig.tester.findText("Version")->frame, value = rig.tester.findText("1.0")->frame;
    EXPECT_GT(value.x - label.maxX(), 200) << "the value sits at the trailing edge";
}

TEST(ScrollViews, AReplacedDetailStartsFromItsTop)
{
    // A pane identified by its name: switching panes and back shows each from the top.
    std::string pane = "general";
    Rig rig({300, 200});
    rig.show([&] { return ScrollView(rows(20)).frame(300, 200).id(pane); });
    const double top = rig.find("row0")->frame.y;
    rig.host.scroll({150, 100}, {0, 200});
    rig.settle();
    ASSERT_NEAR(rig.find("row0")->frame.y, top - 200, 1e-9);
    pane = "privacy";
    rig.host.setNeedsRebuild();
    rig.settle();
    EXPECT_NEAR(rig.find("row0")->frame.y, top, 1e-9);
    pane = "general";
    rig.host.setNeedsRebuild();
    rig.settle();
    EXPECT_NEAR(rig.find("row0")->frame.y, top, 1e-9);
}

TEST(ScrollViews, AVerticalSwipeOverARowScrollsThePage)
{
    Rig rig({400, 300});
    rig.show([] {
        ViewList cards;
        for (int i = 0; i < 10; ++i) cards.push_back(View(Color::gray()).frame(120, 80).accessibilityIdentifier("c" + std::to_string(i)));
        return ScrollView(VStack(HorizontalAlignment::leading, 0, {
                              ScrollView(Axis::horizontal, HStack(VerticalAlignment::top, 10, cards), ScrollViewOptions{false, false}).frame(400, 100),
                              rows(20),
                          }))
            .frame(400, 300);
    });
    const Rect c0 = rig.find("c0")->frame;
    const Point over{c0.midX(), c0.midY()};
    rig.host.scroll(over, {0, 50});
    rig.settle();
    EXPECT_NEAR(rig.find("c0")->frame.y, c0.y - 50, 1e-9) << "the page moved up";
    EXPECT_NEAR(rig.find("c0")->frame.x, c0.x, 1e-9) << "the row stayed";
    rig.host.scroll({c0.midX(), c0.midY() - 50}, {60, 5});
    rig.settle();
    EXPECT_NEAR(rig.find("c0")->frame.x, c0.x - 60, 1e-9) << "a sideways swipe moves the row";
}

TEST(ScrollViews, AnOffsetPastTheEndOfShrunkContentIsClampedAndStaysSo)
{
    int count = 20;
    Rig rig({300, 200});
    rig.show([&] { return ScrollView(rows(count)).frame(300, 200); });
    rig.host.scroll({150, 100}, {0, 10000});
    rig.settle();
    ASSERT_NEAR(rig.find("row0")->frame.y, -600, 1e-9);
    count = 6;  // 240 points of content: at most 40 down
    rig.host.setNeedsRebuild();
    rig.settle();
    EXPECT_NEAR(rig.find("row5")->frame.maxY(), 200, 1e-9) << "the last row rests at the bottom, not above the view";
    count = 20;
    rig.host.setNeedsRebuild();
    rig.settle();
    EXPECT_NEAR(rig.find("row0")->frame.y, -40, 1e-9) << "the clamped offset is kept, not the old one";
}

namespace {

// A page that scrolls down, holding a row of `cards` 120-point cards that scrolls sideways in 400 points.
View pageWithRow(int cards)
{
    ViewList row;
    for (int i = 0; i < cards; ++i) row.push_back(View(Color::gray()).frame(120, 80).accessibilityIdentifier("c" + std::to_string(i)));
    return ScrollView(VStack(HorizontalAlignment::leading, 0, {
                          ScrollView(Axis::horizontal, HStack(VerticalAlignment::top, 10, row), ScrollViewOptions{false, false}).frame(400, 100),
                          rows(20),
                      }))
        .frame(400, 300);
}

}  // namespace

TEST(ScrollViews, AMouseWheelTurnsARowThatScrollsOnlySidewaysWhileItHasSomewhereToGo)
{
    Rig rig({400, 300});
    rig.show([] { return pageWithRow(10); });
    const Rect c0 = rig.find("c0")->frame;
    const Point over{c0.midX(), c0.midY()};
    rig.host.scroll(over, {0, 40, true});  // one notch down
    rig.settle();
    EXPECT_NEAR(rig.find("c0")->frame.x, c0.x - 40, 1e-9) << "the row turned";
    EXPECT_NEAR(rig.find("c0")->frame.y, c0.y, 1e-9) << "the page stayed";
    rig.host.scroll(over, {0, -40, true});
    rig.settle();
    EXPECT_NEAR(rig.find("c0")->frame.x, c0.x, 1e-9);
    // The same movement from a touchpad is a swipe down the page.
    rig.host.scroll(over, {0, 40});
    rig.settle();
    EXPECT_NEAR(rig.find("c0")->frame.x, c0.x, 1e-9);
    EXPECT_NEAR(rig.find("c0")->frame.y, c0.y - 40, 1e-9);

    // A row whose cards all fit has nowhere to go: the wheel scrolls the page.
    Rig fits({400, 300});
    fits.show([] { return pageWithRow(3); });
    const Rect f0 = fits.find("c0")->frame;
    fits.host.scroll({f0.midX(), f0.midY()}, {0, 40, true});
    fits.settle();
    EXPECT_NEAR(fits.find("c0")->frame.y, f0.y - 40, 1e-9);
    EXPECT_NEAR(fits.find("c0")->frame.x, f0.x, 1e-9);
}

TEST(ScrollViews, ADragMovesARowWithinItsEndsAndAClickOnWhatItHoldsStillTaps)
{
    std::vector<int> taps;
    Rig rig({400, 300});
    rig.show([&] {
        ViewList buttons;
        for (int i = 0; i < 10; ++i)
            buttons.push_back(Button(View(Color::gray()).frame(120, 80), [&taps, i] { taps.push_back(i); }).accessibilityIdentifier("b" + std::to_string(i)));
        return VStack({ScrollView(Axis::horizontal, HStack(VerticalAlignment::top, 10, buttons), ScrollViewOptions{false, false}).frame(400, 100),
                       ScrollView(rows(20)).frame(400, 200).accessibilityIdentifier("list")});
    });
    const Rect b1 = rig.find("b1")->frame;
    const Point on{b1.midX(), b1.midY()};
    auto drag = [&](Point from, std::vector<Point> through) {
        rig.host.pointerPress(from);
        rig.settle();
        for (Point p : through) {
            rig.host.pointerMove(p);
            rig.settle();
        }
        rig.host.pointerRelease(through.empty() ? from : through.back());
        rig.settle();
    };

    drag(on, {{on.x - 30, on.y}, {on.x - 90, on.y + 4}, {on.x - 150, on.y}});
    EXPECT_NEAR(rig.find("b1")->frame.x, b1.x - 150, 1e-9) << "the content followed the pointer from where it was pressed";
    EXPECT_TRUE(taps.empty()) << "a drag is not a click";
    drag(on, {{on.x + 1000, on.y}});
    EXPECT_NEAR(rig.find("b1")->frame.x, b1.x, 1e-9) << "no further than the start";
    drag(on, {{on.x - 5000, on.y}});
    EXPECT_NEAR(rig.find("b9")->frame.maxX(), 400, 1e-9) << "no further than the end";
    drag(on, {{on.x + 5000, on.y}});

    // While it moves, the button it began on no longer looks pressed.
    rig.host.pointerPress(on);
    ASSERT_TRUE(rig.host.pressedIdentity());
    rig.host.pointerMove({on.x - 40, on.y});
    EXPECT_FALSE(rig.host.pressedIdentity());
    rig.host.pointerRelease({on.x - 40, on.y});
    rig.settle();
    drag(on, {{on.x + 40, on.y}});

    // A click, and a click with a hand's small wobble, land on the button.
    rig.tester.tapAt(on);
    drag(on, {{on.x - 3, on.y + 2}});
    EXPECT_EQ(taps, (std::vector<int>{1, 1}));
    EXPECT_NEAR(rig.find("b1")->frame.x, b1.x, 1e-9);
    // Up and down is not along the row: it stays.
    drag(on, {{on.x, on.y + 30}});
    EXPECT_NEAR(rig.find("b1")->frame.x, b1.x, 1e-9);

    // A list that scrolls down is not dragged: the press may be selecting text.
    const Rect row0 = rig.find("row0")->frame;
    drag({row0.midX(), row0.midY() + 100}, {{row0.midX(), row0.midY()}});
    EXPECT_NEAR(rig.find("row0")->frame.y, row0.y, 1e-9);
}
