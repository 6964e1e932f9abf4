#include "UITestSupport.h"
#include "WindowBelowABar.h"

#include "ui/Controls.h"

#include <QAccessible>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPointer>
#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPainter>
#include <QWindow>

#include <cmath>

using namespace uitest;

namespace {

void send(QWidget& w, QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::LeftButton)
{
    QMouseEvent e(type, at, w.mapToGlobal(at), button, type == QEvent::MouseMove ? Qt::NoButton : button, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

}  // namespace

TEST(HostWidgetAdapter, MouseEventsBecomeTapsAndHover)
{
    int taps = 0;
    std::vector<bool> hovers;
    HostWidget w;
    w.resize(200, 100);
    w.host().setScheduler(nullptr);
    w.host().setRootView(View(Color::blue())
                             .frame(100, 50)
                             .onTapGesture([&] { ++taps; })
                             .onHover([&](bool in) { hovers.push_back(in); })
                             .cursor(CursorShape::pointingHand)
                             .help("Tip"));
    w.host().flush();

    send(w, QEvent::MouseMove, {100, 50});
    EXPECT_EQ(w.cursor().shape(), Qt::PointingHandCursor);
    send(w, QEvent::MouseButtonPress, {100, 50});
    send(w, QEvent::MouseButtonRelease, {100, 50});
    EXPECT_EQ(taps, 1);
    // Right clicks are not taps.
    send(w, QEvent::MouseButtonPress, {100, 50}, Qt::RightButton);
    send(w, QEvent::MouseButtonRelease, {100, 50}, Qt::RightButton);
    EXPECT_EQ(taps, 1);
    send(w, QEvent::MouseMove, {5, 5});
    EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(hovers, (std::vector<bool>{true, false}));
}

TEST(HostWidgetAdapter, WheelNotchesAndPixelsBecomePoints)
{
    ScrollDelta got;
    HostWidget w;
    w.resize(200, 100);
    w.host().setScheduler(nullptr);
    w.host().setRootView(View(Color::blue()).onScrollWheel([&](ScrollDelta d) { got = d; }));
    w.host().flush();
    QWheelEvent notch({50, 50}, w.mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&w, &notch);
    EXPECT_DOUBLE_EQ(got.dy, 40);  // one notch down: 40 points of content
    EXPECT_TRUE(got.fromWheel);
    QWheelEvent pixels({50, 50}, w.mapToGlobal(QPointF(50, 50)), QPoint(0, 7), QPoint(0, 21), Qt::NoButton, Qt::NoModifier,
                       Qt::ScrollUpdate, false);
    QApplication::sendEvent(&w, &pixels);
    EXPECT_DOUBLE_EQ(got.dy, -7);
    EXPECT_FALSE(got.fromWheel) << "a touchpad's pixels";
}

TEST(HostWidgetAdapter, ResizingLaysOutAgain)
{
    HostWidget w;
    w.host().setScheduler(nullptr);
    w.host().setRootView(View(Color::blue()).accessibilityIdentifier("fill"));
    w.resize(300, 120);
    QResizeEvent e(QSize(300, 120), QSize(0, 0));
    QApplication::sendEvent(&w, &e);
    UITester tester(w.host());
    EXPECT_EQ(tester.find("fill")->frame, (Rect{0, 0, 300, 120}));
}

TEST(HostWidgetAdapter, QtAccessibilitySeesTheSameElements)
{
    HostWidget w;
    w.resize(300, 200);
    w.host().setScheduler(nullptr);
    w.host().setRootView(VStack({Text("Title").accessibilityAddTraits(AccessibilityTrait::header),
                                 Text("Chosen").accessibilityAddTraits(AccessibilityTrait::selected).accessibilityIdentifier("chosen")}));
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&w);
    ASSERT_NE(root, nullptr);
    std::vector<QAccessibleInterface*> all;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* i) {
        all.push_back(i);
        for (int k = 0; k < i->childCount(); ++k)
            if (auto* c = i->child(k)) walk(c);
    };
    walk(root);
    QAccessibleInterface* title = nullptr;
    QAccessibleInterface* chosen = nullptr;
    for (auto* i : all) {
        if (i->text(QAccessible::Name) == "Title") title = i;
        if (i->text(QAccessible::Name) == "Chosen") chosen = i;
    }
    ASSERT_NE(title, nullptr);
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(title->role(), QAccessible::Heading);
    EXPECT_TRUE(chosen->state().selected);
    EXPECT_EQ(chosen->text(QAccessible::Help), "chosen");
    EXPECT_GT(title->rect().width(), 0);
    EXPECT_EQ(chosen->parent()->indexOfChild(chosen) >= 0, true);

    // A changed tree gives new elements; the old ones report themselves invalid.
    w.host().setRootView(Text("Other"));
    w.host().flush();
    EXPECT_FALSE(title->isValid());
    bool found = false;
    for (int k = 0; k < root->childCount(); ++k)
        if (auto* c = root->child(k)) {
            std::function<bool(QAccessibleInterface*)> has = [&](QAccessibleInterface* i) {
                if (i->text(QAccessible::Name) == "Other") return true;
                for (int j = 0; j < i->childCount(); ++j)
                    if (auto* d = i->child(j); d && has(d)) return true;
                return false;
            };
            found = found || has(c);
        }
    EXPECT_TRUE(found);
}

TEST(NativeViews, FollowTheirFrameAndOpacityHideUnderLayersAndGoWithTheirView)
{
    bool shown = true, sheetUp = false, cardUp = false;
    QPointer<QLabel> label;
    HostWidget widget;
    widget.host().setSize({400, 300});
    widget.host().setScheduler(nullptr);
    widget.host().setRoot([&] {
        View slot = NativeView([&] { return label = new QLabel("web"); }).frame(200, 100).offset(10, 20).opacity(0.5);
        View card = ViewIf(cardUp, Text("Share?").frame(300, 200).accessibilityAddTraits(AccessibilityTrait::isModal));
        return ZStack({ViewIf(shown, slot), card}).modifier(sheet(Binding<bool>::constant(sheetUp), [] { return Text("Sheet"); }));
    });
    auto settle = [&] {
        widget.host().setNeedsRebuild();
        widget.host().flush();
    };
    settle();
    ASSERT_TRUE(label);
    EXPECT_EQ(label->parentWidget(), &widget);
    EXPECT_EQ(label->geometry(), QRect(110, 120, 200, 100));
    EXPECT_FALSE(label->isHidden());
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(label->graphicsEffect());
    ASSERT_TRUE(effect);
    EXPECT_DOUBLE_EQ(effect->opacity(), 0.5);
    sheetUp = true;
    settle();
    EXPECT_TRUE(label->isHidden()) << "a sheet covers it";
    sheetUp = false;
    cardUp = true;
    settle();
    EXPECT_TRUE(label->isHidden()) << "a modal card over the page covers it";
    cardUp = false;
    shown = false;
    settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(label) << "the widget went with its view";
}

// A banner of the window over a web view shows and takes its clicks: the
// widget is cut away beneath it, and whole again once it goes; the same for
// a banner floating above the window's sheets.
TEST(NativeViews, LeaveOutWhatStandsAboveThem)
{
    for (const bool floating : {false, true}) {
        SCOPED_TRACE(floating ? "floating above the sheets" : "in the content");
        bool bannerUp = true, wide = false;
        QPointer<QLabel> label;
        HostWidget widget;
        widget.host().setSize({400, 300});
        widget.host().setScheduler(nullptr);
        widget.host().setRoot([&] {
            View page = NativeView([&] { return label = new QLabel("web"); }).frame(400, 300);
            const View banner = ViewIf(bannerUp, AboveNativeViews(Text("Error").frame(wide ? 400 : 360, 40)).padding(Edge::bottom, 16));
            return floating ? page.modifier(overlayAboveSheets(banner, Alignment::bottom)) : page.overlay(banner, Alignment::bottom);
        });
        auto settle = [&] {
            widget.host().setNeedsRebuild();
            widget.host().flush();
        };
        settle();
        ASSERT_TRUE(label);
        EXPECT_FALSE(label->isHidden()) << "the rest of the page stays";
        EXPECT_FALSE(label->mask().contains(QPoint(200, 264))) << "beneath the banner";
        EXPECT_TRUE(label->mask().contains(QPoint(200, 100)));
        EXPECT_TRUE(label->mask().contains(QPoint(10, 264))) << "beside the banner";
        wide = true;
        settle();
        EXPECT_EQ(label->geometry(), QRect(0, 0, 400, 244)) << "a band across the whole width: the widget ends above it";
        EXPECT_TRUE(label->mask().isEmpty());
        bannerUp = false;
        settle();
        EXPECT_EQ(label->geometry(), QRect(0, 0, 400, 300)) << "whole again";
        EXPECT_TRUE(label->mask().isEmpty());
        EXPECT_FALSE(label->isHidden());
    }
}

// Content above a native widget that covers all of it, alone or in parts,
// leaves nothing of it to show: the widget is hidden, not shown whole.
TEST(NativeViews, AreHiddenWhenWhatStandsAboveCoversThemWholly)
{
    int covers = 0;
    QPointer<QLabel> label;
    HostWidget widget;
    widget.host().setSize({400, 300});
    widget.host().setScheduler(nullptr);
    widget.host().setRoot([&] {
        View page = NativeView([&] { return label = new QLabel("web"); }).frame(400, 300);
        const View top = ViewIf(covers == 1, AboveNativeViews(View(Color::white()).frame(400, 300)));
        const View halves = ViewIf(covers == 2, VStack(HorizontalAlignment::center, 0, {
                                                   AboveNativeViews(View(Color::white()).frame(400, 150)),
                                                   AboveNativeViews(View(Color::white()).frame(400, 150)),
                                               }));
        return ZStack({page, top, halves});
    });
    auto settle = [&] {
        widget.host().setNeedsRebuild();
        widget.host().flush();
    };
    settle();
    ASSERT_TRUE(label);
    EXPECT_FALSE(label->isHidden());
    for (int cover : {1, 2}) {
        covers = cover;
        settle();
        EXPECT_TRUE(label->isHidden()) << cover << " cover(s)";
        covers = 0;
        settle();
        EXPECT_FALSE(label->isHidden()) << "shown again once uncovered";
        EXPECT_EQ(label->geometry(), QRect(0, 0, 400, 300));
    }
}

TEST(HostWidgetAdapter, TimelinesRunOnlyWhileTheWindowCanBeSeen)
{
    double clock = 10;
    std::vector<double> drawn;
    HostWidget w;
    w.resize(200, 100);
    w.host().setClock([&] { return clock; });
    w.host().setRootView(TimelineView(TimelineSchedule::animation(1.0 / 24), [&](double t) {
        drawn.push_back(t);
        return Text("scene");
    }));
    auto pumpUntil = [](const std::function<bool()>& done) {
        for (int i = 0; i < 5000 && !done(); ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
        return done();
    };
    w.show();
    ASSERT_TRUE(pumpUntil([&] { return w.onScreen() && w.frameScheduled(); }));

    for (int hidden = 0; hidden < 2; ++hidden) {
        if (hidden) w.hide();
        else w.setObscured(true);
        EXPECT_FALSE(w.onScreen());
        const size_t before = drawn.size();
        clock += 1;
        for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_FALSE(w.frameScheduled()) << "nothing ticks out of sight";
        EXPECT_EQ(drawn.size(), before);

        // Back in sight: one frame at once, at the time it is now.
        if (hidden) w.show();
        else w.setObscured(false);
        ASSERT_TRUE(pumpUntil([&] { return drawn.size() > before; }));
        EXPECT_EQ(drawn.size(), before + 1);
        EXPECT_DOUBLE_EQ(drawn.back(), clock);
    }
}

namespace {

// A child of a host widget that notes, while QWidget's own destructor runs
// (after the host's), whether the host still listens to its window.
struct ListeningProbe : QObject {
    QPointer<QWindow> window;
    QWidget* host = nullptr;
    bool* listening = nullptr;
    ~ListeningProbe() override
    {
        if (window) *listening = QObject::disconnect(window, &QWindow::visibilityChanged, host, nullptr);
    }
};

}  // namespace

TEST(HostWidgetAdapter, AWindowClosedAsItIsDestroyedTellsItsHostNothing)
{
    // QWidget's destructor closes the window once the host's own part is
    // gone: its visibility change must not call into what is left of it.
    std::vector<bool> heard;
    bool listening = true;
    auto* w = new HostWidget;
    w->resize(200, 100);
    w->host().setRootView(TimelineView(TimelineSchedule::animation(1.0 / 24), [](double) { return Text("scene"); }));
    w->setOnScreenHandler([&heard](bool on) { heard.push_back(on); });
    w->show();
    for (int i = 0; i < 5000 && !w->onScreen(); ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(w->onScreen());
    ASSERT_EQ(heard, std::vector<bool>{true});
    auto* probe = new ListeningProbe;
    probe->window = w->windowHandle();
    probe->host = w;
    probe->listening = &listening;
    probe->setParent(w);
    delete w;
    EXPECT_FALSE(listening);
    EXPECT_EQ(heard, std::vector<bool>{true});
}

namespace {

// Where the pixels of one colour lie in a picture: the middle of the box
// around them, and their distances from a point.
struct Inked {
    QPointF centre;
    std::vector<double> distances;
};

Inked pixelsWhere(const QImage& picture, const std::function<bool(QRgb)>& match, QPointF from)
{
    Inked out;
    const QImage& image = picture;
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (match(image.pixel(x, y))) {
                box |= QRect(x, y, 1, 1);
                out.distances.push_back(std::hypot(x + 0.5 - from.x(), y + 0.5 - from.y()));
            }
    out.centre = QRectF(box).center();
    return out;
}

}  // namespace

// A window's host widget rarely starts at the window's corner: a menu bar
// stands above it. A face kept as pixels, with a ring turning around it, both
// repainted frame by frame in the parts that changed, stand where the host
// places them, the ring centred on the face.
TEST(HostWidgetAdapter, KeptDrawingsAndATurningRingStandWhereLaidOutInAWidgetBelowABar)
{
    double clock = 10;
    double drawnAt = 0;
    int paintsBefore = 0;
    WindowBelowABar shown;
    shown.host().setClock([&] { return clock; });
    static CanvasCache faceCache, markCache;
    StrokeStyle line;
    line.lineWidth = 2;
    line.lineCap = LineCap::round;
    const auto turning = [line, &drawnAt, &paintsBefore, &shown](double t) {
        drawnAt = t;
        paintsBefore = shown.paints.count;
        const View face = CachedDrawing(View(Circle().fill(Color::green())).frame(100, 100), faceCache, "face");
        return View(face.overlay(Circle()
                                     .trim(0, 0.22)
                                     .stroke(Color::white(), line)
                                     .rotationEffect(Angle::degrees(std::fmod(t * 36, 360)))
                                     .frame(106, 106)));
    };
    // A canvas's kept drawing, a blue square at (40, 180)-(60, 200).
    const View mark = Canvas([](GraphicsContext& g, Size) {
        g.drawCached(markCache, "mark", {40, 180, 20, 20},
                     [](GraphicsContext& c) { c.fill(Path::rect({40, 180, 20, 20}), Color::blue()); });
    });
    shown.host().setRootView(ZStack(Alignment::topLeading,
                                 {View(Color::black()), mark, Text("still").foregroundStyle(Color::gray()).padding(4),
                                  TimelineView(TimelineSchedule::animation(1.0 / 24), turning)
                                      .scaleEffect(1.05)
                                      .position(200, 120)}));
    shown.window.resize(400, 270);
    shown.window.show();
    ASSERT_TRUE(pumpUntil([&] { return shown.widget->onScreen() && shown.widget->frameScheduled(); }));
    const QPointF origin = shown.origin();
    ASSERT_EQ(origin, QPointF(0, 30));
    const QPointF centre = QPointF(200, 120) + origin;
    for (int frame = 0; frame < 6; ++frame) {
        clock += 0.7;  // a quarter turn in 2.5 s: every frame shows the arc somewhere else
        // The frame, then the repaint it asked for.
        ASSERT_TRUE(pumpUntil([&] { return drawnAt == clock && shown.paints.count > paintsBefore; }));
        // The window's picture, without the bar.
        QImage picture = shown.picture();
        {
            QPainter p(&picture);
            p.fillRect(QRect(QPoint(0, 0), shown.bar->size()), Qt::black);
        }
        const Inked face = pixelsWhere(picture, [](QRgb c) { return qGreen(c) > 100 && qRed(c) < 60 && qBlue(c) < 60; }, centre);
        ASSERT_FALSE(face.distances.empty()) << "frame " << frame;
        EXPECT_NEAR(face.centre.x(), centre.x(), 1) << "frame " << frame;
        EXPECT_NEAR(face.centre.y(), centre.y(), 1) << "frame " << frame;
        // The ring (radius 53, scaled 1.05, line 2 with its antialiased
        // edges) about the face's centre, nowhere else.
        const Inked ring = pixelsWhere(picture, [](QRgb c) { return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) > 200; },
                                       face.centre);
        ASSERT_GT(ring.distances.size(), 20u) << "frame " << frame;
        const auto [nearest, farthest] = std::minmax_element(ring.distances.begin(), ring.distances.end());
        EXPECT_GT(*nearest, 55.65 - 3) << "frame " << frame;
        EXPECT_LT(*farthest, 55.65 + 3) << "frame " << frame;
        const Inked blue = pixelsWhere(picture, [](QRgb c) { return qBlue(c) > 200 && qRed(c) < 60; }, {});
        EXPECT_EQ(blue.distances.size(), 400u) << "frame " << frame;
        EXPECT_EQ(blue.centre, QPointF(50, 190) + origin) << "frame " << frame;
    }
}
