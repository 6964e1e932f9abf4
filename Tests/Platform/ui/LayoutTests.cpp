#include "UITestSupport.h"

#include "ui/Inspect.h"

using namespace uitest;

namespace {

// The host centres its root; the tests place stacks in a full-size frame
// aligned top-leading so frames read from the origin.
View topLeading(const View& v)
{
    FrameSpec f;
    f.maxWidth = infinity;
    f.maxHeight = infinity;
    f.alignment = Alignment::topLeading;
    return v.frame(f);
}

FrameSpec maxWidthFrame(double w = infinity)
{
    FrameSpec f;
    f.maxWidth = w;
    return f;
}

}  // namespace

TEST(StackLayout, SpacerPushesChildrenToBothEndsAtEveryWidth)
{
    for (double w = 60; w <= 200; w += 10) {
        auto laid = layOut(topLeading(HStack(VerticalAlignment::center, 0, {box("a", 30, 10), Spacer(), box("b", 20, 10)})),
                           {w, 50});
        SCOPED_TRACE(w);
        EXPECT_EQ(laid->frame("a"), (Rect{0, 0, 30, 10}));
        EXPECT_EQ(laid->frame("b"), (Rect{w - 20, 0, 20, 10}));
    }
}

TEST(StackLayout, SpacerKeepsItsMinimumWhenTheRowOverflows)
{
    auto laid = layOut(topLeading(HStack(VerticalAlignment::center, 0, {box("a", 50, 10), Spacer(20), box("b", 50, 10)})),
                       {100, 50});
    EXPECT_EQ(laid->frame("b").x - laid->frame("a").x, 70);
}

TEST(StackLayout, VStackAlignsAndSpaces)
{
    auto laid = layOut(topLeading(VStack(HorizontalAlignment::leading, 4, {box("a", 50, 10), box("b", 20, 10)})), {300, 300});
    EXPECT_EQ(laid->frame("a"), (Rect{0, 0, 50, 10}));
    EXPECT_EQ(laid->frame("b"), (Rect{0, 14, 20, 10}));

    auto trailing = layOut(topLeading(VStack(HorizontalAlignment::trailing, 0, {box("a", 50, 10), box("b", 20, 10)})), {300, 300});
    EXPECT_EQ(trailing->frame("b"), (Rect{30, 10, 20, 10}));

    auto centred = layOut(topLeading(VStack({box("a", 50, 10), box("b", 20, 10)})), {300, 300});
    EXPECT_EQ(centred->frame("b"), (Rect{15, 10 + defaultSpacing, 20, 10}));
}

TEST(StackLayout, LeastFlexibleChildIsOfferedItsShareFirst)
{
    FrameSpec bounded;
    bounded.minWidth = 10;
    bounded.maxWidth = 50;
    auto row = [&] {
        return topLeading(HStack(VerticalAlignment::top, 0,
                                 {tag(View(Color::red()).frame(bounded).frame(std::nullopt, 10), "bounded"),
                                  tag(View(Color::blue()).frame(std::nullopt, 10), "free")}));
    };
    struct Case { double width, bounded, free; };
    for (const Case c : {Case{100, 50, 50}, Case{60, 30, 30}, Case{30, 15, 15}, Case{200, 50, 150}}) {
        SCOPED_TRACE(c.width);
        auto laid = layOut(row(), {c.width, 40});
        EXPECT_DOUBLE_EQ(laid->frame("bounded").width, c.bounded);
        EXPECT_DOUBLE_EQ(laid->frame("free").width, c.free);
        EXPECT_DOUBLE_EQ(laid->frame("free").x, c.bounded);
    }
}

TEST(StackLayout, LayoutPriorityTakesRoomBeforeOthers)
{
    auto laid = layOut(topLeading(HStack(VerticalAlignment::top, 0,
                                         {tag(View(Color::red()).frame(std::nullopt, 10), "low"),
                                          tag(View(Color::blue()).frame(maxWidthFrame(80)).frame(std::nullopt, 10).layoutPriority(1), "high")})),
                       {100, 40});
    EXPECT_DOUBLE_EQ(laid->frame("high").width, 80);
    EXPECT_DOUBLE_EQ(laid->frame("low").width, 20);
}

TEST(StackLayout, ForEachAndGroupsJoinTheStack)
{
    std::vector<std::string> ids{"x", "y", "z"};
    auto laid = layOut(topLeading(VStack(HorizontalAlignment::leading, 0,
                                         {box("first", 10, 10),
                                          ForEach<std::string>(ids, [](const std::string& s) { return s; },
                                                               [](const std::string& s) { return box(s, 10, 10); }),
                                          Group({box("g1", 10, 10), EmptyView(), box("g2", 10, 10)}),
                                          ViewIf(false, box("never", 10, 10))})),
                       {100, 100});
    EXPECT_EQ(laid->frame("x").y, 10);
    EXPECT_EQ(laid->frame("z").y, 30);
    EXPECT_EQ(laid->frame("g1").y, 40);
    EXPECT_EQ(laid->frame("g2").y, 50);
    EXPECT_FALSE(laid->has("never"));
}

TEST(FrameLayout, FixedFrameAlignsItsContent)
{
    auto laid = layOut(topLeading(box("inner", 20, 10).frame(100, 50, Alignment::bottomTrailing).accessibilityIdentifier("outer")),
                       {300, 300});
    EXPECT_EQ(laid->frame("outer"), (Rect{0, 0, 100, 50}));
    EXPECT_EQ(laid->frame("inner"), (Rect{80, 40, 20, 10}));
}

TEST(FrameLayout, FlexibleFrameClampsTheOffer)
{
    FrameSpec f;
    f.minWidth = 50;
    f.maxWidth = 120;
    for (double w : {30.0, 50.0, 80.0, 120.0, 400.0}) {
        SCOPED_TRACE(w);
        auto laid = layOut(topLeading(tag(box("in", 10, 10).frame(f), "frame")), {w, 100});
        EXPECT_DOUBLE_EQ(laid->frame("frame").width, std::clamp(w, 50.0, 120.0));
    }
}

TEST(FrameLayout, MaxWidthInfinityFillsTheRow)
{
    auto laid = layOut(topLeading(VStack(HorizontalAlignment::leading, 0, {tag(box("in", 10, 10).frame(maxWidthFrame()), "wide")})),
                       {240, 100});
    EXPECT_EQ(laid->frame("wide").width, 240);
    EXPECT_EQ(laid->frame("in").x, 115);  // centred in the wide frame
}

TEST(FrameLayout, PaddingAddsRoomOnTheChosenEdges)
{
    auto laid = layOut(topLeading(tag(box("in", 20, 20).padding(10), "p")), {300, 300});
    EXPECT_EQ(laid->frame("p"), (Rect{0, 0, 40, 40}));
    EXPECT_EQ(laid->frame("in"), (Rect{10, 10, 20, 20}));

    auto def = layOut(topLeading(tag(box("in", 20, 20).padding(), "p")), {300, 300});
    EXPECT_EQ(def->frame("p").width, 20 + 2 * defaultPadding);

    auto edges = layOut(topLeading(tag(box("in", 20, 20).padding(Edge::leading | Edge::top, 5), "p")), {300, 300});
    EXPECT_EQ(edges->frame("p"), (Rect{0, 0, 25, 25}));
    EXPECT_EQ(edges->frame("in"), (Rect{5, 5, 20, 20}));
}

TEST(FrameLayout, EqualHeightRowIdiom)
{
    // Each column takes the full row height; the row takes the tallest ideal height.
    FrameSpec tall;
    tall.maxHeight = infinity;
    auto column = [&](const std::string& id, double h) {
        return tag(VStack({box(id + ".content", 30, h)}).frame(tall).background(Color::red()), id);
    };
    for (double hostHeight : {100.0, 300.0, 800.0}) {
        SCOPED_TRACE(hostHeight);
        auto laid = layOut(topLeading(HStack(VerticalAlignment::top, 0, {column("left", 30), column("right", 60)}).fixedSize(false, true)),
                           {400, hostHeight});
        EXPECT_EQ(laid->frame("left").height, 60);
        EXPECT_EQ(laid->frame("right").height, 60);
        EXPECT_EQ(laid->frame("left").y, laid->frame("right").y);
    }
}

TEST(FrameLayout, FixedSizeKeepsTheIdealWidthOfText)
{
    const std::string text = "A line of text that is long";
    auto fixed = layOut(topLeading(tag(Text(text).fixedSize(), "t")), {40, 200});
    auto wrapped = layOut(topLeading(tag(Text(text), "t")), {40, 200});
    EXPECT_GT(fixed->frame("t").width, 40);
    EXPECT_LE(wrapped->frame("t").width, 40);
    EXPECT_GT(wrapped->frame("t").height, fixed->frame("t").height);
}

TEST(FrameLayout, OverlayBackgroundOffsetAndPosition)
{
    auto laid = layOut(topLeading(box("base", 100, 60)
                                      .overlay(box("badge", 10, 10), Alignment::topTrailing)
                                      .background(box("under", 120, 80))),
                       {300, 300});
    EXPECT_EQ(laid->frame("base"), (Rect{0, 0, 100, 60}));
    EXPECT_EQ(laid->frame("badge"), (Rect{90, 0, 10, 10}));
    // A background is offered the content's size but may choose its own.
    EXPECT_EQ(laid->frame("under"), (Rect{-10, -10, 120, 80}));

    auto moved = layOut(topLeading(VStack(HorizontalAlignment::leading, 0, {box("a", 10, 10).offset(5, 7), box("b", 10, 10)})),
                        {300, 300});
    EXPECT_EQ(moved->frame("a"), (Rect{5, 7, 10, 10}));
    EXPECT_EQ(moved->frame("b").y, 10);  // the offset does not move its neighbours

    auto placed = layOut(topLeading(box("p", 10, 10).position(50, 40)), {300, 300});
    EXPECT_EQ(placed->frame("p"), (Rect{45, 35, 10, 10}));
}

TEST(FrameLayout, ZStackAlignsEveryLayer)
{
    auto laid = layOut(topLeading(ZStack(Alignment::bottomLeading, {box("big", 80, 40), box("small", 10, 10)})), {300, 300});
    EXPECT_EQ(laid->frame("small"), (Rect{0, 30, 10, 10}));
}

TEST(FrameLayout, AspectRatioFitsInsideTheOffer)
{
    auto laid = layOut(topLeading(tag(View(Color::red()).aspectRatio(2.0, ContentMode::fit).frame(100, 100), "r")), {300, 300});
    auto e = laid->tester.find("r");
    ASSERT_TRUE(e);
    const Element* root = laid->host->rootElement();
    const Element* colour = findElement(*root, [](const Element& el) { return el.children.empty() && el.frame.width == 100 && el.frame.height == 50; });
    EXPECT_NE(colour, nullptr);
}

TEST(TextLayoutInStacks, FirstBaselineAlignment)
{
    auto laid = layOut(topLeading(HStack(VerticalAlignment::firstTextBaseline, 4,
                                         {tag(Text("Big").font(Font::system(30)), "big"), tag(Text("small").font(Font::system(10)), "small")})),
                       {400, 200});
    const double bigBaseline = laid->frame("big").y + resolveFont(Font::system(30)).ascent;
    const double smallBaseline = laid->frame("small").y + resolveFont(Font::system(10)).ascent;
    EXPECT_NEAR(bigBaseline, smallBaseline, 0.01);
    EXPECT_GT(laid->frame("small").y, laid->frame("big").y);

    // Centre alignment differs, which is what makes the test meaningful.
    auto centred = layOut(topLeading(HStack({tag(Text("Big").font(Font::system(30)), "big"), tag(Text("small").font(Font::system(10)), "small")})),
                          {400, 200});
    const double c1 = centred->frame("big").y + resolveFont(Font::system(30)).ascent;
    const double c2 = centred->frame("small").y + resolveFont(Font::system(10)).ascent;
    EXPECT_GT(std::abs(c1 - c2), 1);
}

TEST(ViewThatFitsLayout, ChoosesTheFirstCandidateThatFits)
{
    auto candidates = [] {
        return topLeading(ViewThatFits(Axes::horizontalOnly(), {box("wide", 300, 10), box("middle", 200, 10), box("narrow", 100, 10)}));
    };
    struct Case { double width; const char* chosen; };
    for (const Case c : {Case{1000, "wide"}, Case{300, "wide"}, Case{250, "middle"}, Case{120, "narrow"}, Case{50, "narrow"}}) {
        SCOPED_TRACE(c.width);
        auto laid = layOut(candidates(), {c.width, 100});
        for (const char* id : {"wide", "middle", "narrow"})
            EXPECT_EQ(laid->has(id), std::string(id) == c.chosen) << id;
    }
}

TEST(GeometryAndPreferences, GeometryReaderSeesItsSize)
{
    Size seen;
    auto laid = layOut(topLeading(GeometryReader([&](const GeometryProxy& g) {
                           seen = g.size;
                           return box("inside", g.size.width / 2, 10);
                       }).frame(200, 100)),
                       {400, 400});
    EXPECT_EQ(seen, (Size{200, 100}));
    EXPECT_EQ(laid->frame("inside"), (Rect{0, 0, 100, 10}));
}

namespace {
struct WidestKey {
    using Value = double;
    static Value defaultValue() { return 0; }
    static void reduce(Value& acc, Value next) { acc = std::max(acc, next); }
};
}  // namespace

TEST(GeometryAndPreferences, WidestChildIsMeasuredAfterLayout)
{
    std::vector<double> reported;
    auto measured = [](double w) {
        return box("m" + std::to_string(int(w)), w, 10)
            .background(GeometryReader([](const GeometryProxy& g) { return View(Color::clear()).preference<WidestKey>(g.size.width); }));
    };
    auto view = VStack({measured(40), measured(120), measured(70)}).onPreferenceChange<WidestKey>([&](const double& v) {
        reported.push_back(v);
    });
    auto laid = layOut(view, {400, 400});
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported.front(), 120);
    // A relayout with the same value does not report again.
    laid->host->setSize({500, 400});
    laid->tester.settle();
    EXPECT_EQ(reported.size(), 1u);
}

TEST(EnvironmentValues, CustomKeysFlowDownAndDefault)
{
    struct DepthKey {
        using Value = int;
        static Value defaultValue() { return 7; }
    };
    int outside = 0, inside = 0;
    auto view = VStack({EnvironmentReader([&](const EnvironmentValues& e) {
                            outside = e.get<DepthKey>();
                            return View();
                        }),
                        EnvironmentReader([&](const EnvironmentValues& e) {
                            inside = e.get<DepthKey>();
                            return View();
                        }).environment<DepthKey>(3)});
    layOut(view, {100, 100});
    EXPECT_EQ(outside, 7);
    EXPECT_EQ(inside, 3);
}

TEST(StackLayout, SpacersYieldToTheirNeighboursAndShareTheRest)
{
    // The view beside a spacer gets its ideal width, not half the row.
    auto laid = layOut(topLeading(HStack(VerticalAlignment::center, 0,
                                         {tag(View(Color::red()).frame(FrameSpec{.minWidth = 10, .maxWidth = 150}).frame(std::nullopt, 10), "v"),
                                          Spacer(), box("end", 10, 10)})),
                       {200, 50});
    EXPECT_EQ(laid->frame("v").width, 150);
    EXPECT_EQ(laid->frame("end").x, 190);

    auto two = layOut(topLeading(HStack(VerticalAlignment::center, 0, {Spacer(0), box("mid", 20, 10), Spacer(0)})), {120, 50});
    EXPECT_EQ(two->frame("mid").x, 50);
}

TEST(TextLayoutInStacks, CentredMultilineTextCentresEachLine)
{
    auto laid = layOut(topLeading(Text("a long first line\nshort").multilineTextAlignment(TextAlignment::center)), {400, 200});
    const Element* t = findElement(*laid->host->rootElement(), [](const Element& e) { return textOfNode(e.node.get()).has_value(); });
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(textLinesOf(*t).size(), 2u);
    // The paint of a centred short line starts right of the frame's edge.
    const QImage img = laid->host->renderImage(1);
    int firstInkShort = -1;
    const int y = int(t->frame.y + t->frame.height * 0.75);
    for (int x = 0; x < 400 && firstInkShort < 0; ++x)
        if (img.pixelColor(x, y).alpha() > 60) firstInkShort = x;
    EXPECT_GT(firstInkShort, int(t->frame.x) + 20);
}

TEST(TextLayoutInStacks, LayoutPriorityKeepsTheLabelWhole)
{
    const std::string label = "Reclaimable space";
    const std::string other = "a very long path that can be shortened without harm";
    auto laid = layOut(topLeading(HStack(VerticalAlignment::center, 8,
                                         {tag(Text(other).lineLimit(1), "other"), tag(Text(label).lineLimit(1).layoutPriority(1), "label")})),
                       {260, 50});
    const double labelWidth = resolveFont(Font::body()).advance(QString::fromStdString(label));
    EXPECT_NEAR(laid->frame("label").width, std::ceil(labelWidth * 1000) / 1000, 0.01);
    EXPECT_LE(laid->frame("other").width, 260 - labelWidth - 8 + 0.01);
}

TEST(TextLayoutInStacks, SweepingWidthsNeverOverflowTheRow)
{
    // Two texts and a fixed badge in widths from 0 to 300: the texts give way
    // first and the row never grows wider than offered once the badge fits.
    for (double w = 0; w <= 300; w += 20) {
        SCOPED_TRACE(w);
        auto laid = layOut(topLeading(tag(HStack(VerticalAlignment::center, 0,
                                                 {Text("first words").lineLimit(1), Text("second words").lineLimit(1), box("badge", 40, 10)}),
                                          "row")),
                           {w, 60});
        const Rect row = laid->frame("row");
        EXPECT_LE(row.width, std::max(w, 40.0) + 0.01);
        EXPECT_EQ(laid->frame("badge").width, 40);
    }
}

TEST(ViewThatFitsLayout, VerticalAxisUsesIdealHeights)
{
    auto laid = layOut(topLeading(ViewThatFits(Axes::verticalOnly(), {box("tall", 10, 200), box("short", 10, 50)})), {100, 100});
    EXPECT_FALSE(laid->has("tall"));
    EXPECT_TRUE(laid->has("short"));
    auto roomy = layOut(topLeading(ViewThatFits(Axes::verticalOnly(), {box("tall", 10, 200), box("short", 10, 50)})), {100, 300});
    EXPECT_TRUE(roomy->has("tall"));
}

TEST(FrameLayout, SpacerOutsideAStackTakesBothAxes)
{
    auto laid = layOut(tag(Spacer(), "s"), {120, 80});
    const Element* s = findElement(*laid->host->rootElement(), [](const Element& e) { return e.node->isSpacer(); });
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->frame, (Rect{0, 0, 120, 80}));
}

TEST(FrameLayout, DividersFollowTheirStack)
{
    auto laid = layOut(topLeading(VStack(HorizontalAlignment::leading, 0, {box("a", 80, 10), Divider(), box("b", 30, 10)})), {200, 200});
    const Element* d = findElement(*laid->host->rootElement(), [](const Element& e) { return e.stackAxis && e.children.empty() && e.frame.height == 1; });
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->frame.width, 200);  // it takes the offered width, widening its stack
    EXPECT_EQ(laid->frame("b").y, 11);
}

TEST(FrameLayout, ResizableImageKeepsItsAspectRatioWhenFitted)
{
    const QByteArray svg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="40" height="20" viewBox="0 0 40 20"><rect width="40" height="20"/></svg>)";
    auto laid = layOut(topLeading(tag(View(Image::svgData(svg, "wide").resizable()).aspectRatio(std::nullopt, ContentMode::fit).frame(100, 100), "f")),
                       {300, 300});
    const Element* img = findElement(*laid->host->rootElement(), [](const Element& e) { return e.children.empty() && e.frame.width == 100; });
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->frame, (Rect{0, 25, 100, 50}));
    // A non-resizable image keeps its own size whatever it is offered.
    auto fixed = layOut(topLeading(tag(View(Image::svgData(svg, "wide")), "i")), {10, 10});
    EXPECT_EQ(fixed->frame("i").size(), (Size{40, 20}));
}

TEST(GeometryAndPreferences, NestedHandlersSeeTheirOwnSubtrees)
{
    double outer = 0, inner = 0;
    auto leaf = [](double w) { return box("w" + std::to_string(int(w)), w, 5).preference<WidestKey>(w); };
    auto view = VStack({leaf(30), VStack({leaf(90), leaf(50)}).onPreferenceChange<WidestKey>([&](const double& v) { inner = v; }), leaf(70)})
                    .onPreferenceChange<WidestKey>([&](const double& v) { outer = v; });
    layOut(view, {300, 300});
    EXPECT_EQ(inner, 90);
    EXPECT_EQ(outer, 90);
}

TEST(GeometryAndPreferences, HandlerThatStoresTheValueSettles)
{
    // The measuring layer of a strip: a width read after layout decides the
    // card width, which re-runs layout once and then stays.
    ViewHost host;
    host.setScheduler(nullptr);
    host.setSize({600, 200});
    host.setRootView(WithState<double>(0, [](Binding<double> rowWidth) {
        const double w = rowWidth.get() > 1 ? rowWidth.get() : 168;
        const int n = std::max(1, int((w + 10) / 178));
        const double card = (w - 10 * (n - 1)) / n;
        return HStack(VerticalAlignment::top, 10, {box("card", card, 20), Spacer(0)})
            .background(GeometryReader([](const GeometryProxy& g) { return View(Color::clear()).preference<WidestKey>(g.size.width); }))
            .onPreferenceChange<WidestKey>([rowWidth](const double& v) { rowWidth.set(v); });
    }));
    UITester tester(host);
    tester.settle();
    const unsigned rebuilds = host.rebuildCount();
    tester.settle();
    EXPECT_EQ(host.rebuildCount(), rebuilds);
    EXPECT_NEAR(tester.find("card")->frame.width, (600 - 20) / 3.0, 0.01);
}
