#include "ControlTestSupport.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

using namespace controltest;

TEST(Springs, ReachTheTargetAndSettle)
{
    const Animation kit = Animation::spring(0.42, 0.86);
    const double settle = kit.totalTime();
    EXPECT_GT(settle, 0.3);
    EXPECT_LT(settle, 3.0);
    EXPECT_DOUBLE_EQ(kit.progress(0), 0);
    EXPECT_DOUBLE_EQ(kit.progress(settle), 1);
    // Underdamped: it passes the target once before it settles.
    double peak = 0;
    for (double t = 0; t < settle; t += 0.005) peak = std::max(peak, kit.progress(t));
    EXPECT_GT(peak, 1.0);
    EXPECT_LT(peak, 1.05);
    // Critically damped and overdamped springs never overshoot.
    for (double zeta : {1.0, 1.6})
        for (double t = 0; t < 3; t += 0.01) ASSERT_LE(springProgress(0.5, zeta, t), 1.0 + 1e-9) << zeta;
    // Degenerate parameters don't divide by zero.
    EXPECT_TRUE(std::isfinite(Animation::spring(0, 0).totalTime()));
    EXPECT_TRUE(std::isfinite(Animation::spring(0, 0.5).progress(0.1)));
}

TEST(Curves, EaseOutIsAheadOfLinearAndBothEndOnTime)
{
    const Animation e = Animation::easeOut(0.4), l = Animation::linear(0.4);
    EXPECT_NEAR(l.progress(0.1), 0.25, 1e-9);
    EXPECT_GT(e.progress(0.1), 0.25);
    EXPECT_DOUBLE_EQ(e.progress(0.4), 1);
    EXPECT_TRUE(e.isFinished(0.4));
    EXPECT_FALSE(e.delayed(0.2).isFinished(0.5));
    EXPECT_DOUBLE_EQ(Animation::linear(0).progress(0.0001), 1) << "a zero duration ends at once";
}

namespace {

// A square whose offset animates; the shown offset is read back from its frame.
struct Mover : Rig {
    double target = 0;
    std::optional<Animation> own;
    Mover()
    {
        show([this] {
            return ZStack(Alignment::topLeading, {View(Color::clear()).frame(400, 100),
                                                  View(Color::blue()).frame(10, 10).accessibilityIdentifier("m").modifier(animatedOffset(target, 0))});
        });
    }
    double visualX() { return find("m")->frame.x; }
};

}  // namespace

TEST(ExplicitAnimation, SpringMovesTheValueOverTimeThenStops)
{
    Mover m;
    const double start = m.visualX();
    withAnimation(Animation::spring(0.42, 0.86), [&] {
        m.target = 200;
        m.host.setNeedsRebuild();
    });
    m.settle();
    EXPECT_NEAR(m.visualX(), start, 1e-6) << "the first frame shows the old value";
    EXPECT_TRUE(m.host.nextFrameDue());
    m.advance(0.1);
    const double early = m.visualX() - start;
    EXPECT_GT(early, 0);
    EXPECT_LT(early, 200);
    const int frames = m.runFrames();
    EXPECT_GT(frames, 10);
    EXPECT_NEAR(m.visualX() - start, 200, 1e-9);
    EXPECT_FALSE(m.host.nextFrameDue()) << "a settled spring asks for no more frames";
}

TEST(ExplicitAnimation, OnlyTheBuildRightAfterItAnimates)
{
    Mover m;
    const double start = m.visualX();
    withAnimation(Animation::linear(1), [] {});
    m.host.setNeedsRebuild();
    m.settle();  // the transaction's build passes with nothing changed
    m.target = 100;
    m.host.setNeedsRebuild();
    m.settle();
    EXPECT_NEAR(m.visualX() - start, 100, 1e-9) << "a later change is not animated";
}

TEST(ExplicitAnimation, ReduceMotionJumpsToTheEndAtOnce)
{
    Mover m;
    EnvironmentValues env;
    env.reduceMotion = true;
    m.host.setEnvironment(env);
    m.settle();
    const double start = m.visualX();
    withAnimation(Animation::spring(0.42, 0.86), [&] {
        m.target = 120;
        m.host.setNeedsRebuild();
    });
    m.settle();
    EXPECT_NEAR(m.visualX() - start, 120, 1e-9);
    EXPECT_FALSE(m.host.nextFrameDue());
    // An animation that ignores reduce motion on purpose still runs.
    withAnimation(Animation::spring(0.42, 0.86).ignoringReduceMotion(), [&] {
        m.target = 0;
        m.host.setNeedsRebuild();
    });
    m.settle();
    EXPECT_TRUE(m.host.nextFrameDue());
}

TEST(ImplicitAnimation, AnimatesWhenItsValueChanges)
{
    int selected = 0;
    Rig rig;
    rig.show([&] {
        return Animatable<double>(selected * 100.0, [](const double& x) { return Text("x").offset(x, 0).accessibilityIdentifier("t"); })
            .modifier(animation(Animation::linear(0.5), selected));
    });
    const double x0 = rig.find("t")->frame.x;
    selected = 1;
    rig.host.setNeedsRebuild();
    rig.settle();
    rig.advance(0.25);
    EXPECT_NEAR(rig.find("t")->frame.x - x0, 50, 1e-6);
    rig.advance(0.3);
    EXPECT_NEAR(rig.find("t")->frame.x - x0, 100, 1e-6);
}

TEST(ImplicitAnimation, RetargetingStartsFromWhereTheValueIs)
{
    double target = 0;
    Rig rig;
    rig.show([&] {
        return Animatable<double>(target, Animation::linear(1), [](const double& x) { return Text("x").offset(x, 0).accessibilityIdentifier("t"); });
    });
    const double x0 = rig.find("t")->frame.x;
    target = 100;
    rig.host.setNeedsRebuild();
    rig.settle();
    rig.advance(0.5);
    target = 0;  // turn back half-way
    rig.host.setNeedsRebuild();
    rig.settle();
    EXPECT_NEAR(rig.find("t")->frame.x - x0, 50, 1e-6) << "no jump when the target changes mid-flight";
    rig.advance(0.5);
    EXPECT_NEAR(rig.find("t")->frame.x - x0, 25, 1e-6);
}

TEST(Interpolation, ColoursAndTrimsStayInRange)
{
    const RGBA a{0, 0, 0, 1}, b{1, 1, 1, 0};
    const RGBA over = interpolate(a, b, 1.1);  // a spring's overshoot
    EXPECT_DOUBLE_EQ(over.red, 1);
    EXPECT_DOUBLE_EQ(over.alpha, 0);
    EXPECT_EQ(interpolate(std::vector<double>{1, 2}, std::vector<double>{3}, 0.5), (std::vector<double>{2, 1}));
}

TEST(Transitions, RemovedViewStaysUntilTheAnimationEnds)
{
    bool shown = true;
    Rig rig;
    rig.show([&] {
        return ZStack({View(Color::clear()).frame(300, 300),
                       TransitionIf(shown, Transition::scale(0.92).combined(Transition::opacity()), Text("Share prompt").accessibilityIdentifier("prompt"))});
    });
    ASSERT_TRUE(rig.exists("prompt"));
    withAnimation(Animation::easeOut(0.3), [&] {
        shown = false;
        rig.host.setNeedsRebuild();
    });
    rig.settle();
    rig.advance(0.1);
    // Still drawn (hidden from accessibility and taps) while it fades.
    EXPECT_NE(findElement(*rig.host.rootElement(), [](const Element& e) { return e.identity().find("#presence") == std::string::npos && textOfNode(e.node.get()) == std::optional<std::string>("Share prompt"); }), nullptr);
    EXPECT_FALSE(rig.exists("prompt"));
    rig.advance(0.25);
    EXPECT_EQ(findElement(*rig.host.rootElement(), [](const Element& e) { return textOfNode(e.node.get()) == std::optional<std::string>("Share prompt"); }), nullptr);
    EXPECT_FALSE(rig.host.nextFrameDue());
    // Insertion without an animation appears at once.
    shown = true;
    rig.host.setNeedsRebuild();
    rig.settle();
    EXPECT_TRUE(rig.exists("prompt"));
    EXPECT_FALSE(rig.host.nextFrameDue());
}

TEST(Transitions, UnderReduceMotionRemovalIsImmediate)
{
    bool shown = true;
    Rig rig;
    EnvironmentValues env;
    env.reduceMotion = true;
    rig.host.setEnvironment(env);
    rig.show([&] { return TransitionIf(shown, Transition::move(Edge::bottom).combined(Transition::opacity()), Text("Banner")); });
    withAnimation(Animation::spring(0.42, 0.86), [&] {
        shown = false;
        rig.host.setNeedsRebuild();
    });
    rig.settle();
    EXPECT_EQ(findElement(*rig.host.rootElement(), [](const Element& e) { return textOfNode(e.node.get()).has_value(); }), nullptr);
}

TEST(Transitions, MoveFromAnEdgeStartsAFullSizeAway)
{
    const View v = Transition::move(Edge::bottom).apply(View(Color::red()).frame(40, 20).accessibilityIdentifier("b"), 0, true);
    Rig rig({200, 200});
    rig.show([&] { return v; });
    const Rect f = rig.find("b")->frame;
    EXPECT_NEAR(f.y, 90 + 20, 1e-9) << "one height below its place";
}

TEST(MatchedGeometry, SelectionPillTravelsBetweenRows)
{
    int selected = 0;
    Rig rig({300, 300});
    rig.show([&] {
        ViewList rows;
        for (int i = 0; i < 3; ++i) {
            View pill = ViewIf(selected == i, View(Color::blue()).accessibilityIdentifier("pill").modifier(matchedGeometryEffect("selection", "sidebar")));
            rows.push_back(Text("Row " + std::to_string(i)).frame(200, 30).background(pill));
        }
        return VStack(HorizontalAlignment::leading, 0, rows);
    });
    const double y0 = rig.find("pill")->frame.y;
    withAnimation(Animation::linear(0.2), [&] {
        selected = 2;
        rig.host.setNeedsRebuild();
    });
    rig.settle();
    EXPECT_NEAR(rig.find("pill")->frame.y, y0, 1e-6) << "drawn where it was";
    rig.advance(0.1);
    EXPECT_NEAR(rig.find("pill")->frame.y, y0 + 30, 1e-6) << "half-way to the third row";
    rig.advance(0.15);
    EXPECT_NEAR(rig.find("pill")->frame.y, y0 + 60, 1e-6);
    // Without an animation it jumps.
    selected = 0;
    rig.host.setNeedsRebuild();
    rig.settle();
    EXPECT_NEAR(rig.find("pill")->frame.y, y0, 1e-6);
}

TEST(ContentTransitions, NumericTextCrossFadesChangedDigitsOnly)
{
    std::string value = "120 MB";
    Rig rig;
    rig.show([&] { return NumericText(value).accessibilityIdentifier("n"); });
    EXPECT_EQ(rig.find("n")->label, "120 MB");
    value = "180 MB";
    rig.host.setNeedsRebuild();
    rig.settle();
    rig.advance(0.1);
    // Mid-fade the element reads the new value; the old digit is drawn but hidden.
    EXPECT_EQ(rig.find("n")->label, "180 MB");
    int texts = 0;
    std::function<void(const Element&)> count = [&](const Element& e) {
        if (textOfNode(e.node.get())) ++texts;
        for (auto& c : e.children) count(*c);
    };
    count(*rig.host.rootElement());
    EXPECT_EQ(texts, 7) << "five unchanged characters, the old and the new digit";
    rig.runFrames();
    texts = 0;
    count(*rig.host.rootElement());
    EXPECT_EQ(texts, 1);
}

TEST(ContentTransitions, SymbolBounceRunsOncePerChange)
{
    int step = 0;
    Rig rig;
    rig.show([&] { return Image::systemName("checkmark.circle.fill").modifier(symbolBounce(step)); });
    EXPECT_FALSE(rig.host.nextFrameDue()) << "no bounce on first appearance";
    step = 1;
    rig.host.setNeedsRebuild();
    rig.settle();
    EXPECT_TRUE(rig.host.nextFrameDue());
    EXPECT_LT(rig.runFrames(), 60);
    EXPECT_DOUBLE_EQ(bounceScale(0), 1);
    EXPECT_GT(bounceScale(bounceDuration * 0.4), 1.1);
    EXPECT_DOUBLE_EQ(bounceScale(bounceDuration), 1);
}

TEST(Timelines, TickOnScheduleAndHoldStillUnderReduceMotion)
{
    std::vector<double> times;
    Rig rig;
    rig.clock = 10.02;
    rig.show([&] {
        return TimelineView(TimelineSchedule::periodic(1), [&](double t) {
            times.push_back(t);
            return Text("tick");
        });
    });
    EXPECT_DOUBLE_EQ(times.back(), 10);
    ASSERT_TRUE(rig.host.nextFrameDue());
    EXPECT_NEAR(*rig.host.nextFrameDue(), 11, 1e-9) << "the next whole period";

    // A slow build doesn't stretch an animation's period: it runs from the frame's start.
    Rig slow;
    slow.clock = 20;
    slow.show([&] {
        return TimelineView(TimelineSchedule::animation(0.25), [&](double) {
            slow.clock += 0.1;
            return Text("slow");
        });
    });
    ASSERT_TRUE(slow.host.nextFrameDue());
    EXPECT_NEAR(*slow.host.nextFrameDue(), 20.25, 1e-9);
    EXPECT_DOUBLE_EQ(timelineTime(TimelineSchedule::animation(), 5.5, true), 0);
    EnvironmentValues env;
    env.reduceMotion = true;
    rig.host.setEnvironment(env);
    rig.settle();
    EXPECT_DOUBLE_EQ(times.back(), 0);
    EXPECT_FALSE(rig.host.nextFrameDue());
}

TEST(Timelines, PauseWhenHiddenOrOffScreen)
{
    ScenePhase phase = ScenePhase::active;
    double y = 0;
    Rig rig({200, 200});
    rig.show([&] {
        return ZStack(Alignment::topLeading, {View(Color::clear()).frame(200, 200),
                                              TimelineView(TimelineSchedule::animation(1.0 / 24), [](double) { return Text("scene"); }).offset(0, y)})
            .environment<ScenePhaseKey>(phase);
    });
    EXPECT_TRUE(rig.host.nextFrameDue());
    phase = ScenePhase::background;
    rig.host.setNeedsRebuild();
    rig.settle();
    EXPECT_FALSE(rig.host.nextFrameDue());
    phase = ScenePhase::active;
    y = 500;  // scrolled out of the window
    rig.host.setNeedsRebuild();
    rig.settle();
    EXPECT_FALSE(rig.host.nextFrameDue());
}

TEST(Timelines, AFrameRebuildsOnlyTheViewsThatReadTheTime)
{
    int outsideBuilds = 0, outsidePlaces = 0, insideBuilds = 0, insidePlaces = 0, appeared = 0, gone = 0;
    Binding<int> kept;
    Rig rig({300, 200});
    rig.clock = 1;
    rig.show([&] {
        return VStack({
            WithState<int>(0, [&](Binding<int> b) {
                kept = b;
                ++outsideBuilds;
                return GeometryReader([&](const GeometryProxy&) {
                           ++outsidePlaces;
                           return View(Color::blue());
                       })
                    .frame(50, 20)
                    .accessibilityIdentifier("outside")
                    .onAppear([&] { ++appeared; });
            }),
            TimelineView(TimelineSchedule::animation(1.0 / 24), [&](double t) {
                ++insideBuilds;
                const bool even = std::lround(t * 24) % 2 == 0;
                return GeometryReader([&, even](const GeometryProxy&) {
                           ++insidePlaces;
                           return ViewIf(even, Text("even").onDisappear([&] { ++gone; }), Text("odd"));
                       })
                    .frame(100, 40);
            }),
        });
    });
    kept.set(7);
    rig.settle();
    const Rect outside = rig.tester.find("outside")->frame;
    rig.host.takeDamage();
    outsideBuilds = outsidePlaces = insideBuilds = insidePlaces = 0;
    for (int i = 0; i < 10; ++i) {
        rig.clock += 1.0 / 24;
        rig.host.tick();
    }
    // Only where the timeline draws (100×40) is painted again.
    const QRect damage = rig.host.takeDamage().boundingRect();
    EXPECT_FALSE(damage.isEmpty());
    EXPECT_FALSE(damage.intersects(QRectF(outside.x, outside.y, outside.width, outside.height).toRect()));
    EXPECT_LE(damage.height(), 48);
    EXPECT_EQ(outsideBuilds, 0);
    EXPECT_EQ(outsidePlaces, 0);
    EXPECT_EQ(insideBuilds, 10);
    EXPECT_EQ(insidePlaces, 10);
    EXPECT_EQ(gone, 5);
    EXPECT_EQ(rig.host.escalationCount(), 0u);
    // What was built before the frames is still there in the next whole rebuild.
    rig.host.setNeedsRebuild();
    rig.settle();
    EXPECT_EQ(kept.get(), 7);
    EXPECT_EQ(appeared, 1);
}

TEST(Timelines, AFrameThatChangesItsSizeLaysOutTheWholeWindow)
{
    auto page = [] {
        return HStack(VerticalAlignment::center, 4, {
            TimelineView(TimelineSchedule::animation(1.0 / 24), [](double t) { return Text(std::string(1 + std::lround(t * 24) % 5, 'W')); }),
            View(Color::red()).frame(20, 20),
            Spacer(),
        });
    };
    Rig rig({300, 60});
    rig.clock = 1;
    rig.show(page);
    for (int i = 0; i < 6; ++i) {
        rig.clock += 1.0 / 24;
        rig.host.tick();
        Rig fresh({300, 60});
        fresh.clock = rig.clock;
        fresh.show(page);
        EXPECT_EQ(rig.host.renderImage(1), fresh.host.renderImage(1)) << "frame " << i;
    }
    EXPECT_GT(rig.host.escalationCount(), 0u);
}

namespace {

// Repaints `screen` only where the host says the last frame changed it, as a
// window does (what lay there is cleared first), and counts the pixels that
// differ from a whole repaint of the same frame.
int staleAfterPartialRepaint(ViewHost& host, QImage& screen)
{
    const QRegion damage = host.takeDamage();
    {
        QPainter p(&screen);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect& r : damage) p.fillRect(r, Qt::transparent);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        host.render(p, damage);
    }
    const QImage whole = host.renderImage(1);
    int stale = 0;
    for (int y = 0; y < whole.height(); ++y)
        for (int x = 0; x < whole.width(); ++x) {
            const QColor a = screen.pixelColor(x, y), b = whole.pixelColor(x, y);
            if (std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue()),
                          std::abs(a.alpha() - b.alpha())}) > 8)
                ++stale;
        }
    return stale;
}

}  // namespace

TEST(Timelines, AFrameRepaintsWhereItsViewDrewAndDrawsItsShadowAndTheShadowsReachingIt)
{
    // A square that steps sideways within its timeline, the timeline under a
    // shadow, beside a still card whose shadow reaches where the timeline
    // draws; and a square that a timeline moves well past its own frame.
    const auto shadowed = [](View v) { return v.shadow(Color::white(0, 0.6), 6, 0, 3); };
    const auto stepping = [](double distance, Color color) {
        return TimelineView(TimelineSchedule::animation(1.0 / 24), [=](double t) {
            const long step = std::lround(t * 24) % 4;
            return View(color).frame(20, 20).offset(distance * step, 10.0 * (step % 2)).frame(60, 60, Alignment::topLeading);
        });
    };
    Rig rig({400, 140});
    rig.clock = 1;
    rig.show([&] {
        return ZStack(Alignment::topLeading, {
            View(Color::white()).frame(400, 140),
            HStack(VerticalAlignment::top, 12, {
                shadowed(View(Color::sRGB(0.1, 0.4, 0.9)).frame(60, 60)),
                shadowed(stepping(12, Color::sRGB(0.9, 0.1, 0.1))),
                stepping(45, Color::sRGB(0.1, 0.7, 0.2)),
            }).padding(30),
        });
    });
    QImage screen = rig.host.renderImage(1);
    rig.host.takeDamage();
    for (int frame = 0; frame < 8; ++frame) {
        rig.clock += 1.0 / 24;
        rig.host.tick();
        ASSERT_EQ(rig.host.escalationCount(), 0u) << "a frame of the timeline alone";
        EXPECT_EQ(staleAfterPartialRepaint(rig.host, screen), 0) << "frame " << frame;
    }
}

TEST(Timelines, ALateFrameKeepsTheTimeItWasDueAndItsCadence)
{
    // Timers fire a few milliseconds late; the frame is the one that was due,
    // and the next comes one interval after it, not after the late one ran.
    for (const bool growing : {false, true}) {
        Rig rig({300, 60});
        rig.clock = 1;
        rig.show([growing] {
            return HStack(VerticalAlignment::center, 4, {
                TimelineView(TimelineSchedule::animation(1.0 / 24), [growing](double t) {
                    // Growing, each frame lays out the whole window.
                    return Text(growing ? std::string(1 + std::lround(t * 24) % 5, 'W') : std::string("W"));
                }),
                Spacer(),
            });
        });
        for (int frame = 0; frame < 6; ++frame) {
            ASSERT_TRUE(rig.host.nextFrameDue());
            const double due = *rig.host.nextFrameDue();
            rig.clock = due + 0.005;
            rig.host.tick();
            EXPECT_DOUBLE_EQ(rig.host.frameTime(), due) << growing << " frame " << frame;
            ASSERT_TRUE(rig.host.nextFrameDue());
            EXPECT_NEAR(*rig.host.nextFrameDue(), due + 1.0 / 24, 1e-9) << growing << " frame " << frame;
        }
        EXPECT_EQ(rig.host.escalationCount() > 0, growing);
        // A frame long overdue (the window was out of sight) starts from now.
        rig.clock = *rig.host.nextFrameDue() + 1;
        rig.host.tick();
        EXPECT_DOUBLE_EQ(rig.host.frameTime(), rig.clock) << growing;
    }
}

namespace {
struct FrameTimeKey {
    using Value = double;
    static Value defaultValue() { return -1; }
    static void reduce(Value& acc, Value next) { acc = std::max(acc, next); }
};
}  // namespace

TEST(Timelines, APreferenceSetInsideReachesItsAncestorsOnAFrame)
{
    std::vector<double> heard;
    Rig rig({200, 100});
    rig.clock = 1;
    rig.show([&] {
        return VStack({
                   Text("still"),
                   TimelineView(TimelineSchedule::animation(1.0 / 24), [](double t) { return Text("scene").preference<FrameTimeKey>(t); }),
               })
            .onPreferenceChange<FrameTimeKey>([&](const double& t) { heard.push_back(t); });
    });
    ASSERT_EQ(heard, std::vector<double>{1});
    for (int frame = 0; frame < 3; ++frame) {
        rig.clock = *rig.host.nextFrameDue();
        rig.host.tick();
        EXPECT_EQ(rig.host.escalationCount(), 0u);
        ASSERT_EQ(heard.size(), size_t(frame + 2));
        EXPECT_DOUBLE_EQ(heard.back(), rig.clock);
    }
}

TEST(ExplicitAnimation, ColoursBlendThroughTheMiddle)
{
    bool warm = true;
    Rig rig({20, 20});
    rig.show([&] { return AnimatedColor(warm ? Color::sRGB(1, 0, 0) : Color::sRGB(0, 0, 1)).frame(20, 20); });
    withAnimation(Animation::linear(1), [&] {
        warm = false;
        rig.host.setNeedsRebuild();
    });
    rig.settle();
    rig.advance(0.5);
    const QColor mid = rig.host.renderImage(1).pixelColor(10, 10);
    EXPECT_NEAR(mid.redF(), 0.5, 0.02);
    EXPECT_NEAR(mid.blueF(), 0.5, 0.02);
    rig.runFrames();
    const QColor end = rig.host.renderImage(1).pixelColor(10, 10);
    EXPECT_NEAR(end.blueF(), 1, 0.01);
    EXPECT_NEAR(end.redF(), 0, 0.01);
}
