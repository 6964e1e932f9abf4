#include "desktop/Window.h"

#include "ui/Menu.h"
#include "ui/Modifiers.h"

#include <QAbstractNativeEventFilter>
#include <QAction>
#include <QBitmap>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMenuBar>
#include <QEvent>
#include <QMouseEvent>
#include <QWindow>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QTimer>
#include <QWindowStateChangeEvent>

#include <nlohmann/json.hpp>

#include "foundation/UserDefaults.h"
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cmath>
#include <optional>
#include <cstdlib>
#include <cstring>

#include <algorithm>
#include <map>

namespace platform {

namespace {

std::vector<Window*>& live()
{
    static std::vector<Window*> windows;
    return windows;
}

struct Scenes {
    std::map<std::string, std::function<std::unique_ptr<Window>()>> makers;
    std::map<std::string, std::unique_ptr<Window>> made;
};
Scenes& scenes()
{
    static Scenes s;
    return s;
}

std::function<void()>& lastWindowClosedHandler()
{
    static std::function<void()> handler;
    return handler;
}

bool isWorkWindow(WindowKind kind) { return kind == WindowKind::standard || kind == WindowKind::settings; }

// Watches the top-level widget: visibility and minimising become scene phases;
// a secondary click opens the context menu of the view under it.
class WindowWatcher : public QObject {
public:
    WindowWatcher(Window* window, ui::HostWidget* host) : window_(window), host_(host) {}

    bool eventFilter(QObject* watched, QEvent* e) override
    {
        switch (e->type()) {
        // A window shown minimised is not on screen yet: it is active only once restored.
        case QEvent::Show:
            window_->phaseChanged(host_->window()->isMinimized() ? ui::ScenePhase::background : shownPhase());
            break;
        case QEvent::Hide: window_->phaseChanged(ui::ScenePhase::background); break;
        case QEvent::WindowStateChange:
            if (auto* w = qobject_cast<QWidget*>(watched); w && w->isWindow()) {
                if (w->isVisible()) window_->phaseChanged(w->isMinimized() ? ui::ScenePhase::background : shownPhase());
                window_->frameChanged();
            }
            break;
        case QEvent::Move:
        case QEvent::Resize:
            if (auto* w = qobject_cast<QWidget*>(watched); w && w->isWindow()) window_->frameChanged();
            break;
        case QEvent::MouseButtonPress:
            // A frameless panel moves when dragged by a part that isn't a control.
            if (watched == host_ && window_->kind() == WindowKind::floatingPanel) {
                auto* m = static_cast<QMouseEvent*>(e);
                const ui::Point p{m->position().x(), m->position().y()};
                if (m->button() == Qt::LeftButton && !hitsControl(p) && host_->window()->windowHandle()) {
                    host_->window()->windowHandle()->startSystemMove();
                    return true;
                }
            }
            break;
        case QEvent::Close:
            if (watched != host_ && !window_->requestClose()) {
                e->ignore();
                return true;
            }
            // Asked once the window is gone from the screen.
            if (watched != host_ && isWorkWindow(window_->kind()))
                QTimer::singleShot(0, qApp, [] {
                    if (lastWindowClosedHandler() && !Windows::anyOnScreen()) lastWindowClosedHandler()();
                });
            break;
        case QEvent::ContextMenu:
            if (watched == host_) {
                auto* c = static_cast<QContextMenuEvent*>(e);
                if (ui::showContextMenu(host_->host(), {double(c->pos().x()), double(c->pos().y())})) return true;
            }
            break;
        default: break;
        }
        return false;
    }

private:
    // Shown, the window is active once it can be seen.
    ui::ScenePhase shownPhase() const { return host_->onScreen() ? ui::ScenePhase::active : ui::ScenePhase::inactive; }

    bool hitsControl(ui::Point p) const
    {
        for (const ui::Element* e = host_->host().hitTest(p); e; e = e->parent)
            if (dynamic_cast<const ui::TapNode*>(e->node.get()) || dynamic_cast<const ui::FocusableNode*>(e->node.get())) return true;
        return false;
    }

    Window* window_;
    ui::HostWidget* host_;
};

// Shows an X11 window on every workspace: _NET_WM_DESKTOP = all and the sticky
// state, as properties (read when it is mapped) and as requests to the window
// manager (for a window already mapped).
void makeStickyOnX11(QWidget* widget)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return;
    xcb_connection_t* c = x11->connection();
    auto atom = [c](const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return a;
    };
    const xcb_atom_t desktop = atom("_NET_WM_DESKTOP"), state = atom("_NET_WM_STATE"), sticky = atom("_NET_WM_STATE_STICKY");
    const auto window = xcb_window_t(widget->winId());
    const uint32_t all = 0xFFFFFFFF;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, desktop, XCB_ATOM_CARDINAL, 32, 1, &all);
    if (!widget->isVisible()) xcb_change_property(c, XCB_PROP_MODE_APPEND, window, state, XCB_ATOM_ATOM, 32, 1, &sticky);
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    auto request = [&](xcb_atom_t type, uint32_t d0, uint32_t d1) {
        xcb_client_message_event_t e{};
        e.response_type = XCB_CLIENT_MESSAGE;
        e.format = 32;
        e.window = window;
        e.type = type;
        e.data.data32[0] = d0;
        e.data.data32[1] = d1;
        e.data.data32[3] = 1;  // from an application
        xcb_send_event(c, 0, screen->root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&e));
    };
    request(desktop, all, 0);
    request(state, 1 /* add */, sticky);
    xcb_flush(c);
}

// X reports a window wholly covered by others only to clients that ask, and Qt
// asks only for windows that take no input: ask for ours too (the event mask
// is per client, so Qt's own selection stays as it is), and tell the host
// widget, whose timelines then stop. Under a compositor X always reports
// the window unobscured.
class X11VisibilityWatcher : public QAbstractNativeEventFilter {
public:
    static X11VisibilityWatcher& shared()
    {
        static auto* watcher = [] {
            auto* w = new X11VisibilityWatcher;
            qGuiApp->installNativeEventFilter(w);
            return w;
        }();
        return *watcher;
    }

    void watch(QWidget* top, ui::HostWidget* host)
    {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (!x11 || !x11->connection()) return;
        xcb_connection_t* c = x11->connection();
        const auto window = xcb_window_t(top->winId());
        if (hosts_.count(window) && hosts_[window] == host) return;
        hosts_[window] = host;
        xcb_get_window_attributes_reply_t* attributes =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
        if (!attributes) return;
        const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE;
        free(attributes);
        xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c);
    }

    void forget(ui::HostWidget* host)
    {
        std::erase_if(hosts_, [host](const auto& entry) { return entry.second == host || !entry.second; });
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t") return false;
        auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_VISIBILITY_NOTIFY) return false;
        auto* visibility = reinterpret_cast<xcb_visibility_notify_event_t*>(event);
        if (auto it = hosts_.find(visibility->window); it != hosts_.end() && it->second)
            it->second->setObscured(visibility->state == XCB_VISIBILITY_FULLY_OBSCURED);
        return false;
    }

private:
    std::map<xcb_window_t, QPointer<ui::HostWidget>> hosts_;
};

}  // namespace

std::string windowingSystemFor(const char* userChoice)
{
    // Qt itself takes an empty value as no choice.
    if (userChoice && *userChoice) return userChoice;
    return "xcb;wayland";
}

namespace {
// The user's own QT_QPA_PLATFORM before the start chose one; none when unset.
std::optional<QByteArray>& usersWindowingSystem()
{
    static std::optional<QByteArray> choice;
    return choice;
}
}  // namespace

void chooseWindowingSystem()
{
    const char* user = std::getenv("QT_QPA_PLATFORM");
    usersWindowingSystem() = user ? std::optional<QByteArray>(user) : std::nullopt;
    qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(windowingSystemFor(user)));
}

void restoreWindowingSystemChoice()
{
    if (const auto& user = usersWindowingSystem()) qputenv("QT_QPA_PLATFORM", *user);
    else qunsetenv("QT_QPA_PLATFORM");
}

bool desktopIsComposited()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return true;
    xcb_connection_t* c = x11->connection();
    // A compositing manager owns the selection _NET_WM_CM_S<screen>.
    // The default screen is the number after the dot of the display name.
    const QByteArray display = qgetenv("DISPLAY");
    const int dot = display.lastIndexOf('.');
    const int screen = dot > display.lastIndexOf(':') ? display.mid(dot + 1).toInt() : 0;
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, uint16_t(name.size()), name.constData()), nullptr);
    if (!atom || atom->atom == XCB_ATOM_NONE) {
        free(atom);
        return false;
    }
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
    const bool composited = owner && owner->owner != XCB_NONE;
    free(owner);
    free(atom);
    return composited;
}

Qt::WindowFlags windowFlagsFor(WindowKind kind)
{
    switch (kind) {
    case WindowKind::standard:
    case WindowKind::settings: return Qt::Window;
    case WindowKind::floatingPanel: return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus;
    case WindowKind::popup: return Qt::Popup | Qt::FramelessWindowHint;
    }
    return Qt::Window;
}

Window::Window(WindowSpec config) : spec_(std::move(config))
{
    auto* w = new QWidget(nullptr, windowFlagsFor(spec_.kind));
    widget_ = w;
    composited_ = desktopIsComposited();
    w->setWindowTitle(QString::fromStdString(spec_.title));
    w->setObjectName(QString::fromStdString(spec_.identifier));
    if (spec_.kind == WindowKind::floatingPanel || spec_.kind == WindowKind::popup) {
        w->setAttribute(Qt::WA_TranslucentBackground);
        w->setAttribute(Qt::WA_ShowWithoutActivating, spec_.kind == WindowKind::floatingPanel);
    }
    auto* layout = new QVBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    hostWidget_ = new ui::HostWidget(w);
    layout->addWidget(hostWidget_);
    // The least the content needs: the layout adds the menu bar to it, so at
    // its minimum the window still gives the content all of it.
    if (spec_.minimumSize) hostWidget_->setMinimumSize(int(spec_.minimumSize->width), int(spec_.minimumSize->height));
    if (spec_.kind == WindowKind::settings) w->setFixedSize(int(spec_.defaultSize.width), int(spec_.defaultSize.height));
    const ui::Size min = minimumSize();
    const double m = shadowMargin();
    w->resize(int(std::max(spec_.defaultSize.width, min.width) + 2 * m), int(std::max(spec_.defaultSize.height, min.height) + 2 * m));
    filter_ = new WindowWatcher(this, hostWidget_);
    filter_->setParent(w);
    w->installEventFilter(filter_);
    hostWidget_->installEventFilter(filter_);
    hostWidget_->setContextMenuPolicy(Qt::DefaultContextMenu);
    // Shown but out of sight (unmapped, on another workspace, covered), the window is inactive.
    hostWidget_->setOnScreenHandler([this](bool onScreen) {
        if (widget_ && widget_->isVisible() && !widget_->isMinimized())
            phaseChanged(onScreen ? ui::ScenePhase::active : ui::ScenePhase::inactive);
    });
    phaseChanged(ui::ScenePhase::background);
    Windows::add(this);
}

Window::~Window()
{
    // A change still waiting to be saved is saved now: the application may be quitting.
    if (saveTimer_ && saveTimer_->isActive()) saveFrame();
    Windows::remove(this);
    // Tearing the widget down hides it: nobody hears about that any more.
    onVisibility_ = nullptr;
    if (QGuiApplication::platformName() == QLatin1String("xcb")) X11VisibilityWatcher::shared().forget(hostWidget_);
    if (widget_) {
        widget_->removeEventFilter(filter_);
        hostWidget_->removeEventFilter(filter_);
    }
    delete widget_.data();
}

void Window::setTitle(std::string title)
{
    spec_.title = std::move(title);
    if (widget_) widget_->setWindowTitle(QString::fromStdString(spec_.title));
}

double Window::shadowMargin() const
{
    return spec_.kind == WindowKind::floatingPanel && composited_ ? kFloatingPanelShadowMargin : 0;
}

void Window::updateShapeMask()
{
    if (composited_ || !widget_ || (spec_.kind != WindowKind::floatingPanel && spec_.kind != WindowKind::popup)) return;
    // A hidden widget hears of its new size only when shown: lay the host
    // out at the window's size now.
    host().setSize({double(widget_->width()), double(widget_->height())});
    const QImage drawn = host().renderImage(1);
    widget_->setMask(QBitmap::fromImage(drawn.createAlphaMask(Qt::ThresholdAlphaDither)));
}

void Window::setContent(std::function<ui::View()> root)
{
    content_ = root;
    if (const double margin = shadowMargin(); margin > 0) {
        root = [content = std::move(root), margin] {
            return content().shadow(ui::Color::sRGB(0, 0, 0, 0.3), 14, 0, 5).padding(margin);
        };
    }
    hostWidget_->host().setRoot(std::move(root));
}
ui::ViewHost& Window::host() { return hostWidget_->host(); }

void Window::phaseChanged(ui::ScenePhase phase)
{
    // Owners hear of showing and hiding; being covered and uncovered is no news to them.
    const bool shownChanged = (phase == ui::ScenePhase::background) != (phase_ == ui::ScenePhase::background);
    phase_ = phase;
    hostWidget_->host().environment().set<ui::ScenePhaseKey>(phase);
    hostWidget_->host().setNeedsRebuild();
    if (shownChanged && onVisibility_) onVisibility_(phase != ui::ScenePhase::background);
}

void Window::show()
{
    if (!widget_) return;
    if (spec_.kind == WindowKind::floatingPanel && QGuiApplication::platformName() == QLatin1String("xcb"))
        makeStickyOnX11(widget_);
    updateShapeMask();
    if (spec_.kind == WindowKind::settings || spec_.kind == WindowKind::standard) placeInsideAvailableArea();
    // The title bar and borders are known once the window manager has framed
    // the window: a resizable window is fitted again then, once.
    fitWhenFramed_ = spec_.kind == WindowKind::standard && !widget_->isVisible() && !widget_->isMaximized();
    // A restore keeps a maximised window maximised.
    if (widget_->isMinimized()) widget_->setWindowState(widget_->windowState() & ~Qt::WindowMinimized);
    widget_->show();
    fitOnceFramed();
    if (QGuiApplication::platformName() == QLatin1String("xcb")) X11VisibilityWatcher::shared().watch(widget_, hostWidget_);
    // Lay the host out at the window's size now, not at the first paint, so
    // what is on screen (timelines, hit-testing) is known from the start.
    if (widget_->layout()) widget_->layout()->activate();
}

// A window opens where it can be seen whole: the window manager may put a
// new window anywhere, a screen may have gone since it was last up, and a
// screen smaller than the window's default or saved size would leave part of
// the window, and its controls, out of reach.
void Window::placeInsideAvailableArea()
{
    if (widget_->isVisible() || widget_->isMaximized() || widget_->isFullScreen()) return;
    fitInsideAvailableArea();
}

void Window::fitInsideAvailableArea()
{
    const bool placed = widget_->testAttribute(Qt::WA_Moved);
    // With its title bar and borders, where the window manager has drawn them.
    const QRect g = widget_->frameGeometry();
    QScreen* screen = placed ? QGuiApplication::screenAt(g.center()) : nullptr;
    if (!screen && QGuiApplication::focusWindow()) screen = QGuiApplication::focusWindow()->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect a = screen->availableGeometry();
    const std::optional<ui::Point> at = placed ? std::optional<ui::Point>({double(g.x()), double(g.y())}) : std::nullopt;
    const ui::Rect area{double(a.x()), double(a.y()), double(a.width()), double(a.height())};
    if (spec_.kind != WindowKind::standard) {
        const ui::Rect frame = placeInsideArea(at, {double(g.width()), double(g.height())}, area);
        widget_->move(int(frame.x), int(frame.y));
        return;
    }
    const QSize borders = g.size() - widget_->size();
    const QSize least = widget_->minimumSize().expandedTo(widget_->minimumSizeHint()) + borders;
    const ui::Rect frame = fitInsideArea(at, {double(g.width()), double(g.height())},
                                         {double(least.width()), double(least.height())}, area);
    widget_->resize(int(frame.width) - borders.width(), int(frame.height) - borders.height());
    // A framed window asked to move where it already is can be moved by its
    // frame's extents again by the window manager: it moves only when it must.
    if (QPoint(int(frame.x), int(frame.y)) != g.topLeft()) widget_->move(int(frame.x), int(frame.y));
}

void Window::hide()
{
    if (widget_) widget_->hide();
}

void Window::orderFront()
{
    show();
    if (widget_) widget_->raise();
}

void Window::activate()
{
    orderFront();
    if (widget_ && spec_.kind != WindowKind::floatingPanel) widget_->activateWindow();
}

bool Window::isVisible() const { return widget_ && widget_->isVisible(); }
bool Window::isMinimized() const { return widget_ && widget_->isMinimized(); }

void Window::minimize()
{
    if (widget_) widget_->showMinimized();
}

bool Window::isMaximized() const { return widget_ && widget_->isMaximized(); }

void Window::setFrameAutosaveName(const std::string& name)
{
    autosaveKey_ = "window." + name;
    if (!widget_) return;
    const auto stored = UserDefaults::standard()->object(autosaveKey_);
    const auto saved = stored ? decodeSavedWindowFrame(*stored) : std::nullopt;
    if (!saved) return;
    std::vector<ui::Rect> screens;
    for (const ScreenAreas& s : screenAreas()) screens.push_back(s.visibleFrame);
    if (const auto frame = placeSavedFrame(saved->frame, screens)) setFrame(*frame);
    if (saved->maximized) widget_->setWindowState(widget_->windowState() | Qt::WindowMaximized);
}

void Window::fitOnceFramed()
{
    if (!widget_ || !fitWhenFramed_ || !widget_->isVisible() || widget_->frameGeometry() == widget_->geometry()) return;
    fitWhenFramed_ = false;
    if (!widget_->isMaximized() && !widget_->isFullScreen()) fitInsideAvailableArea();
}

void Window::frameChanged()
{
    fitOnceFramed();
    if (autosaveKey_.empty() || !widget_) return;
    // A drag moves the window many times a second: the frame is saved once it rests.
    if (!saveTimer_) {
        saveTimer_ = new QTimer(widget_);
        saveTimer_->setSingleShot(true);
        saveTimer_->setInterval(300);
        QObject::connect(saveTimer_, &QTimer::timeout, saveTimer_, [this] { saveFrame(); });
    }
    saveTimer_->start();
}

void Window::saveFrame()
{
    if (autosaveKey_.empty() || !widget_) return;
    // Minimised says nothing about how the window should come back.
    if (widget_->isMinimized()) return;
    const bool maximized = widget_->isMaximized() || widget_->isFullScreen();
    const QRect g = maximized ? widget_->normalGeometry() : widget_->geometry();
    if (g.width() <= 0 || g.height() <= 0) return;
    const SavedWindowFrame saved{{double(g.x()), double(g.y()), double(g.width()), double(g.height())}, maximized};
    UserDefaults::standard()->setObject(autosaveKey_, encodeSavedWindowFrame(saved));
}

ui::Rect Window::frame() const
{
    if (!widget_) return {};
    const QRect g = widget_->geometry();
    const double m = shadowMargin();
    return {double(g.x()) + m, double(g.y()) + m, double(g.width()) - 2 * m, double(g.height()) - 2 * m};
}

ui::Size Window::minimumSize() const
{
    return spec_.minimumSize.value_or(ui::Size{0, 0});
}

void Window::setMinimumSize(ui::Size size)
{
    spec_.minimumSize = size;
    // The layout adds the menu bar to it, so at its minimum the window still gives the content all of it.
    if (hostWidget_) hostWidget_->setMinimumSize(int(size.width), int(size.height));
}

void Window::setTitlebarColors(QColor background, QColor foreground)
{
    QPalette p = widget_ ? widget_->palette() : QPalette();
    for (auto role : {QPalette::Window, QPalette::Button, QPalette::Base, QPalette::AlternateBase}) p.setColor(role, background);
    for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) p.setColor(role, foreground);
    QColor faint = foreground;
    faint.setAlphaF(0.4);
    for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) p.setColor(QPalette::Disabled, role, faint);
    // The style etches disabled text with a light copy beneath it, which on
    // a dark background reads brighter than the enabled entries: no etch.
    p.setColor(QPalette::Disabled, QPalette::Light, Qt::transparent);
    titlebarPalette_ = p;
    if (!widget_) return;
    widget_->setPalette(p);
    // The menu bar takes it from the window; its menus open as windows of
    // their own, which take no palette from their parent.
    if (auto* bar = widget_->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly))
        for (QMenu* menu : bar->findChildren<QMenu*>()) menu->setPalette(p);
}

void Window::setAppearanceHandler(std::function<void(const DesktopAppearance&)> handler)
{
    appearanceWatch_ = handler ? observeAppearance(std::move(handler)) : Subscription();
}

void Window::setFrame(ui::Rect f)
{
    if (!widget_) return;
    const ui::Size min = minimumSize();
    const double m = shadowMargin();
    widget_->setGeometry(int(f.x - m), int(f.y - m), int(std::max(f.width, min.width) + 2 * m),
                         int(std::max(f.height, min.height) + 2 * m));
    if (widget_->isVisible()) updateShapeMask();
}

void Window::moveTo(ui::Point p)
{
    const double m = shadowMargin();
    if (widget_) widget_->move(int(p.x - m), int(p.y - m));
}

bool Window::requestClose() { return !onClose_ || onClose_(); }

std::optional<QImage> Window::capture()
{
    if (!widget_) return std::nullopt;
    ui::ViewHost& h = host();
    const double scale = widget_->devicePixelRatioF();
    if (h.size().width <= 1) return std::nullopt;
    QImage image = h.renderImage(scale);
    image.setDevicePixelRatio(scale);
    return image;
}

ui::Size Window::fittingSize()
{
    return idealSize(content_ ? content_() : ui::View());
}

void Window::sizeToFit()
{
    const ui::Size s = fittingSize();
    const ui::Rect f = frame();
    setFrame({f.x, f.y, std::max(1.0, s.width), std::max(1.0, s.height)});
}

void Window::addCommand(WindowCommand command)
{
    auto* action = new QAction(QString::fromStdString(command.title), widget_);
    action->setShortcut(command.shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    auto run = command.action;
    auto enabled = command.enabled;
    QObject::connect(action, &QAction::triggered, action, [run, enabled] {
        if (enabled && !enabled()) return;
        if (run) run();
    });
    widget_->addAction(action);
    commands_.emplace_back(std::move(command), action);
}

bool Window::trigger(const QKeySequence& shortcut)
{
    for (auto& [command, action] : commands_) {
        if (command.shortcut != shortcut) continue;
        if (command.enabled && !command.enabled()) return false;
        if (command.action) command.action();
        return true;
    }
    return false;
}

ui::Size idealSize(const ui::View& view, ui::Size limit)
{
    ui::ViewHost measure;
    measure.setScheduler(nullptr);
    measure.setSize(limit);
    measure.setRootView(view.fixedSize());
    measure.flush();
    const ui::Element* root = measure.rootElement();
    if (!root) return {};
    return {std::min(root->frame.width, limit.width), std::min(root->frame.height, limit.height)};
}

std::optional<ui::Rect> visibleScreenFrameAt(ui::Point p)
{
    QScreen* screen = QGuiApplication::screenAt(QPoint(int(p.x), int(p.y)));
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen && !QGuiApplication::screens().isEmpty()) screen = QGuiApplication::screens().first();
    if (!screen) return std::nullopt;
    const QRect a = screen->availableGeometry();
    return ui::Rect{double(a.x()), double(a.y()), double(a.width()), double(a.height())};
}

std::vector<ScreenAreas> screenAreas()
{
    auto rect = [](const QRect& r) { return ui::Rect{double(r.x()), double(r.y()), double(r.width()), double(r.height())}; };
    std::vector<ScreenAreas> areas;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary) areas.push_back({rect(primary->geometry()), rect(primary->availableGeometry())});
    for (QScreen* s : QGuiApplication::screens())
        if (s != primary) areas.push_back({rect(s->geometry()), rect(s->availableGeometry())});
    return areas;
}

std::optional<SavedWindowFrame> decodeSavedWindowFrame(const nlohmann::json& saved)
{
    if (!saved.is_object()) return std::nullopt;
    SavedWindowFrame frame;
    double* fields[] = {&frame.frame.x, &frame.frame.y, &frame.frame.width, &frame.frame.height};
    const char* names[] = {"x", "y", "width", "height"};
    for (int i = 0; i < 4; ++i) {
        const auto it = saved.find(names[i]);
        if (it == saved.end() || !it->is_number()) return std::nullopt;
        *fields[i] = it->get<double>();
        if (!std::isfinite(*fields[i]) || std::abs(*fields[i]) > 1e6) return std::nullopt;
    }
    if (frame.frame.width < 1 || frame.frame.height < 1) return std::nullopt;
    const auto maximized = saved.find("maximized");
    frame.maximized = maximized != saved.end() && maximized->is_boolean() && maximized->get<bool>();
    return frame;
}

nlohmann::json encodeSavedWindowFrame(const SavedWindowFrame& saved)
{
    return {{"x", saved.frame.x}, {"y", saved.frame.y}, {"width", saved.frame.width}, {"height", saved.frame.height},
            {"maximized", saved.maximized}};
}

std::optional<ui::Rect> placeSavedFrame(ui::Rect saved, const std::vector<ui::Rect>& screens)
{
    if (screens.empty()) return std::nullopt;
    for (const ui::Rect& s : screens) {
        const double w = std::min(saved.maxX(), s.maxX()) - std::max(saved.minX(), s.minX());
        const double h = std::min(saved.maxY(), s.maxY()) - std::max(saved.minY(), s.minY());
        if (w >= 100 && h >= 50) return saved;
    }
    // Its screen is gone: the same size, where it can be seen.
    const ui::Rect& s = screens.front();
    const double width = std::min(saved.width, s.width), height = std::min(saved.height, s.height);
    return ui::Rect{s.x + (s.width - width) / 2, s.y + (s.height - height) / 2, width, height};
}

ui::Rect placeInsideArea(std::optional<ui::Point> current, ui::Size size, ui::Rect area)
{
    const ui::Point centred{area.x + (area.width - size.width) / 2, area.y + (area.height - size.height) / 2};
    const ui::Point at = current.value_or(centred);
    const auto inside = [](double v, double low, double room) { return std::max(low, std::min(v, low + room)); };
    return {inside(at.x, area.x, area.width - size.width), inside(at.y, area.y, area.height - size.height), size.width,
            size.height};
}

ui::Rect fitInsideArea(std::optional<ui::Point> current, ui::Size size, ui::Size minimum, ui::Rect area)
{
    const ui::Size fitted{std::max(minimum.width, std::min(size.width, area.width)),
                          std::max(minimum.height, std::min(size.height, area.height))};
    return placeInsideArea(current, fitted, area);
}

ui::Point topRightOrigin(ui::Rect screen, ui::Size size, double margin)
{
    return {screen.maxX() - size.width - margin, screen.minY() + margin};
}

// --- Registry ---------------------------------------------------------------------

void Windows::add(Window* w) { live().push_back(w); }
void Windows::remove(Window* w) { live().erase(std::remove(live().begin(), live().end(), w), live().end()); }
std::vector<Window*> Windows::all() { return live(); }

Window* Windows::find(const std::string& identifier)
{
    for (Window* w : live())
        if (w->identifier() == identifier) return w;
    return nullptr;
}

Window* Windows::findByIdentifierOrTitle(const std::string& identifier, const std::string& title)
{
    for (Window* w : live())
        if (w->identifier() == identifier || w->title() == title) return w;
    return nullptr;
}

Window* Windows::findVisible(const std::string& identifier, const std::string& title)
{
    for (Window* w : live())
        if ((w->identifier() == identifier || w->title() == title) && w->isVisible()) return w;
    return nullptr;
}

void Windows::registerScene(const std::string& identifier, std::function<std::unique_ptr<Window>()> make)
{
    scenes().makers[identifier] = std::move(make);
}

Window* Windows::make(const std::string& identifier)
{
    if (Window* w = find(identifier)) return w;
    auto it = scenes().makers.find(identifier);
    if (it == scenes().makers.end() || !it->second) return nullptr;
    auto made = it->second();
    if (!made) return nullptr;
    Window* w = made.get();
    scenes().made[identifier] = std::move(made);
    return w;
}

Window* Windows::open(const std::string& identifier)
{
    Window* w = make(identifier);
    if (w) w->activate();
    return w;
}

void Windows::reset()
{
    scenes().made.clear();
    scenes().makers.clear();
}

bool Windows::anyOnScreen()
{
    return std::any_of(live().begin(), live().end(), [](const Window* w) { return isWorkWindow(w->kind()) && w->isVisible(); });
}

void Windows::setLastWindowClosedHandler(std::function<void()> handler) { lastWindowClosedHandler() = std::move(handler); }

}  // namespace platform
