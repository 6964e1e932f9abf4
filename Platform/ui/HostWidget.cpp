#include "ui/HostWidget.h"

#include "ui/HostAccessibility.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTextDocument>
#include <QToolTip>
#include <QWheelEvent>
#include <QWindow>

#include <cmath>

namespace platform::ui {

namespace {
Point pointOf(const QPointF& p) { return {p.x(), p.y()}; }

Qt::CursorShape qtCursor(CursorShape c)
{
    switch (c) {
    case CursorShape::pointingHand: return Qt::PointingHandCursor;
    case CursorShape::iBeam: return Qt::IBeamCursor;
    case CursorShape::arrow: break;
    }
    return Qt::ArrowCursor;
}
}  // namespace

namespace {
std::vector<HostWidget*>& liveHosts()
{
    static std::vector<HostWidget*> hosts;
    return hosts;
}
std::function<void(EnvironmentValues&)>& environmentDefaults()
{
    static std::function<void(EnvironmentValues&)> apply;
    return apply;
}
}  // namespace

void HostWidget::setEnvironmentDefaults(std::function<void(EnvironmentValues&)> apply)
{
    environmentDefaults() = std::move(apply);
    for (HostWidget* w : liveHosts()) {
        if (environmentDefaults()) environmentDefaults()(w->host_.environment());
        w->host_.setNeedsRebuild();
    }
}

std::vector<HostWidget*> HostWidget::all() { return liveHosts(); }

HostWidget::~HostWidget()
{
    std::erase(liveHosts(), this);
    // The window is closed by QWidget's own destructor, after this one: its
    // visibility change must not reach a host that is already gone.
    if (watched_) {
        watched_->removeEventFilter(this);
        disconnect(watched_, nullptr, this, nullptr);
    }
}

bool HostWidget::focusNextPrevChild(bool) { return false; }

HostWidget::HostWidget(QWidget* parent) : QWidget(parent)
{
    liveHosts().push_back(this);
    host_.setNativeParent(this);
    if (environmentDefaults()) environmentDefaults()(host_.environment());
    installHostAccessibility();
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    host_.setRepaintHandler([this] {
        update(host_.takeDamage());
        scheduleFrame();
    });
    frameTimer_.setSingleShot(true);
    // A coarse timer may fire a few milliseconds late: every animation frame would.
    frameTimer_.setTimerType(Qt::PreciseTimer);
    connect(&frameTimer_, &QTimer::timeout, this, [this] {
        if (!onScreen()) return;
        host_.tick();
        scheduleFrame();
    });
}

bool HostWidget::onScreen() const
{
    if (!isVisible() || obscured_) return false;
    const QWidget* top = window();
    if (top->isMinimized()) return false;
    const QWindow* handle = top->windowHandle();
    return handle && handle->isExposed() && handle->visibility() != QWindow::Minimized;
}

void HostWidget::setObscured(bool obscured)
{
    if (obscured == obscured_) return;
    obscured_ = obscured;
    exposureChanged();
}

void HostWidget::watchWindow()
{
    QWindow* handle = window()->windowHandle();
    if (handle == watched_) return;
    if (watched_) watched_->removeEventFilter(this);
    watched_ = handle;
    if (!handle) return;
    handle->installEventFilter(this);
    connect(handle, &QWindow::visibilityChanged, this, [this] { exposureChanged(); });
}

bool HostWidget::eventFilter(QObject* watched, QEvent* e)
{
    // `isExposed` already holds the new state when the event arrives.
    if (watched == watched_ && e->type() == QEvent::Expose) exposureChanged();
    return QWidget::eventFilter(watched, e);
}

void HostWidget::exposureChanged()
{
    const bool now = onScreen();
    if (now == wasOnScreen_) return;
    wasOnScreen_ = now;
    if (onScreenChanged_) onScreenChanged_(now);
    // Back in sight, a frame asked for meanwhile comes at once; timelines read
    // the clock, so motion goes on from the time it is now.
    scheduleFrame();
}

void HostWidget::scheduleFrame()
{
    // A timeline on screen asked for its next frame; out of sight nothing ticks.
    if (!onScreen()) {
        frameTimer_.stop();
        return;
    }
    if (auto due = host_.nextFrameDue()) {
        const double wait = std::max(0.0, *due - host_.now());
        frameTimer_.start(int(std::lround(wait * 1000)));
    } else {
        frameTimer_.stop();
    }
}

void HostWidget::sync()
{
    host_.setSize({double(width()), double(height())});
    host_.flush();
}

void HostWidget::paintEvent(QPaintEvent* event)
{
    const double dpr = devicePixelRatioF();
    if (host_.environment().displayScale != dpr) {
        host_.environment().displayScale = dpr;
        host_.setNeedsRebuild();
    }
    sync();
    QPainter p(this);
    host_.render(p, event->region());
}

void HostWidget::resizeEvent(QResizeEvent*)
{
    host_.setSize({double(width()), double(height())});
}

void HostWidget::afterEvent(Point p)
{
    setCursor(qtCursor(host_.cursorAt(p)));
}

void HostWidget::mouseMoveEvent(QMouseEvent* e)
{
    sync();
    const Point p = pointOf(e->position());
    host_.pointerMove(p);
    afterEvent(p);
}

void HostWidget::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) return;
    sync();
    host_.pointerPress(pointOf(e->position()));
}

void HostWidget::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) return;
    sync();
    const Point p = pointOf(e->position());
    host_.pointerRelease(p);
    afterEvent(p);
}

void HostWidget::leaveEvent(QEvent*)
{
    host_.pointerLeave();
    unsetCursor();
}

void HostWidget::wheelEvent(QWheelEvent* e)
{
    // Pixel deltas from touchpads, else 120ths of a notch as 40 points a notch.
    sync();
    const QPoint pixels = e->pixelDelta();
    ScrollDelta d;
    if (!pixels.isNull()) {
        d = {-double(pixels.x()), -double(pixels.y())};
    } else {
        d = {-e->angleDelta().x() / 3.0, -e->angleDelta().y() / 3.0, true};
    }
    if (!host_.scroll(pointOf(e->position()), d))
        e->ignore();
}

void HostWidget::keyPressEvent(QKeyEvent* e)
{
    sync();
    KeyPress k{e->key(), e->text().toStdString(), unsigned(e->modifiers())};
    if (!host_.key(k))
        QWidget::keyPressEvent(e);
}

bool HostWidget::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
    case QEvent::WindowStateChange:
        watchWindow();
        exposureChanged();
        break;
    default: break;
    }
    if (e->type() == QEvent::ToolTip) {
        sync();
        auto* help = static_cast<QHelpEvent*>(e);
        if (auto text = host_.tooltipAt(pointOf(help->pos())))
            // Tooltips often carry names from disk: always plain text, never markup.
            QToolTip::showText(help->globalPos(), Qt::convertFromPlainText(QString::fromStdString(*text)), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(e);
}

}  // namespace platform::ui
