#include "UITestSupport.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QWheelEvent>

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
    QWheelEvent pixels({50, 50}, w.mapToGlobal(QPointF(50, 50)), QPoint(0, 7), QPoint(0, 21), Qt::NoButton, Qt::NoModifier,
                       Qt::ScrollUpdate, false);
    QApplication::sendEvent(&w, &pixels);
    EXPECT_DOUBLE_EQ(got.dy, -7);
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
