#pragma once

// Windows of the view layer: the main window, the settings window, the
// frameless always-on-top floating panel and the popup that holds the tray
// popover. Each hosts a view tree; the registry knows every window by its
// identifier and title and opens the registered scenes, so views ask for a
// window through `OpenWindowKey` and never make widgets themselves.

#include "desktop/Appearance.h"
#include "runtime/Signal.h"
#include "ui/HostWidget.h"
#include "ui/TimelineView.h"

#include <QColor>
#include <QKeySequence>
#include <QPalette>
#include <QPointer>
#include <QWidget>

class QTimer;

#include <nlohmann/json_fwd.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class WindowKind {
    standard,       // a normal window with the system frame
    settings,       // a normal window of a fixed size (its default size)
    floatingPanel,  // frameless, always on top, never takes the keys from other windows' owner
    popup,          // frameless, closes on a click outside (the tray popover)
};

struct WindowSpec {
    std::string identifier;
    std::string title;
    WindowKind kind = WindowKind::standard;
    ui::Size defaultSize{800, 600};
    std::optional<ui::Size> minimumSize;
};

// A command of the window: a shortcut and an action, refused while `enabled` says no.
struct WindowCommand {
    std::string title;
    QKeySequence shortcut;
    std::function<void()> action;
    std::function<bool()> enabled;
    // Calls its argument whenever `enabled` may answer differently, for as
    // long as the subscription is kept; none when it is only asked on use.
    std::function<Subscription(std::function<void()>)> enabledChanges;
};

class Window {
public:
    explicit Window(WindowSpec config);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    const std::string& identifier() const { return spec_.identifier; }
    const std::string& title() const { return spec_.title; }
    WindowKind kind() const { return spec_.kind; }
    void setTitle(std::string title);

    void setContent(std::function<ui::View()> root);
    ui::ViewHost& host();
    QWidget* widget() const { return widget_; }

    void show();
    void hide();
    // Brings the window above the others without asking for the keys.
    void orderFront();
    // Shows, raises and gives the window the keys.
    void activate();
    bool isVisible() const;
    bool isMinimized() const;
    void minimize();
    bool isMaximized() const;

    // Keeps the frame and the maximised state across runs, in the user
    // defaults under "window." + `name`: restored now when the saved frame
    // still shows on a screen, saved whenever they change.
    void setFrameAutosaveName(const std::string& name);

    // Frame of the content in screen points; a size below the minimum is
    // raised to it. A floating panel's window is larger by its shadow margin.
    ui::Rect frame() const;
    void setFrame(ui::Rect frame);
    void moveTo(ui::Point topLeft);
    ui::Size minimumSize() const;
    // The least the content gets, and so the window (the menu bar comes on top).
    void setMinimumSize(ui::Size size);

    // What the window draws above its content (its menu bar, and the menus
    // that open from it): painted in `background`, its text in `foreground`.
    void setTitlebarColors(QColor background, QColor foreground);
    // Those colours as a palette, once set.
    const std::optional<QPalette>& titlebarPalette() const { return titlebarPalette_; }
    // Called whenever the appearance the window's views follow changes.
    void setAppearanceHandler(std::function<void(const DesktopAppearance&)> handler);

    // The view tree drawn into an image at the window's scale (its device
    // pixel ratio set, so its size in points is the content's); none when the
    // content is 1 point wide or less.
    std::optional<QImage> capture();

    // The content's ideal size (what it takes when offered nothing).
    ui::Size fittingSize();
    // Resizes the window to the content's ideal size, keeping its origin.
    void sizeToFit();

    void addCommand(WindowCommand command);
    // Runs the command bound to `shortcut`; false when none is or it is disabled.
    bool trigger(const QKeySequence& shortcut);

    // Asked when the user closes the window; false keeps it open (the
    // owner may hide it instead). Without a handler the window hides.
    void setCloseHandler(std::function<bool()> handler) { onClose_ = std::move(handler); }
    bool requestClose();

    // Called when the window is shown or hidden (by us, the user or the window manager).
    void setVisibilityHandler(std::function<void(bool visible)> handler) { onVisibility_ = std::move(handler); }

    // Called by the window's event filter; the phase reaches timelines through the environment.
    void phaseChanged(ui::ScenePhase phase);
    ui::ScenePhase phase() const { return phase_; }
    // Called by the window's event filter when it moved, was resized or changed state.
    void frameChanged();

    // The transparent band around a floating panel's content where its
    // shadow is painted. Only where a compositor blends it: without one,
    // transparent pixels show black, so there is no band and frameless
    // windows are cut to the shape their content draws instead.
    double shadowMargin() const;

private:
    void saveFrame();
    void updateShapeMask();
    void placeInsideAvailableArea();
    void fitInsideAvailableArea();
    void fitOnceFramed();
    bool fitWhenFramed_ = false;
    std::string autosaveKey_;
    QTimer* saveTimer_ = nullptr;
    bool composited_ = true;
    WindowSpec spec_;
    QPointer<QWidget> widget_;
    ui::HostWidget* hostWidget_ = nullptr;
    std::vector<std::pair<WindowCommand, QObject*>> commands_;
    std::function<void(bool)> onVisibility_;
    std::function<ui::View()> content_;
    std::function<bool()> onClose_;
    std::optional<QPalette> titlebarPalette_;
    Subscription appearanceWatch_;
    ui::ScenePhase phase_ = ui::ScenePhase::background;
    QObject* filter_ = nullptr;
};

constexpr double kFloatingPanelShadowMargin = 24;

// A saved frame: the normal frame and whether the window was maximised.
struct SavedWindowFrame {
    ui::Rect frame;
    bool maximized = false;
};
std::optional<SavedWindowFrame> decodeSavedWindowFrame(const nlohmann::json& saved);
nlohmann::json encodeSavedWindowFrame(const SavedWindowFrame& saved);
// Where a saved frame goes back: as it was when at least 100 × 50 points of
// it lie on one of `screens` (usable areas); else its size, capped to the
// first screen, centred there; none without screens (pure).
std::optional<ui::Rect> placeSavedFrame(ui::Rect saved, const std::vector<ui::Rect>& screens);

// Where a window of `size` opens in a screen's usable `area`: at `current`
// (where it was, or was put back) moved the least that brings it inside, or
// centred when it has no place yet; a window larger than the area keeps its
// top-left corner, and so its title bar, in it (pure).
ui::Rect placeInsideArea(std::optional<ui::Point> current, ui::Size size, ui::Rect area);
// The same for a window the user may resize: first made no larger than the
// area, never below `minimum`, then placed as above (pure).
ui::Rect fitInsideArea(std::optional<ui::Point> current, ui::Size size, ui::Size minimum, ui::Rect area);

// Whether the desktop blends translucent windows (always, off X11).
bool desktopIsComposited();

// The windowing systems a start asks Qt for, in order: the user's own
// QT_QPA_PLATFORM when it is set; else X11 first, under XWayland too, since
// the scan panel and the popovers place themselves where Wayland lets no
// window go, and Wayland only where no X server answers (pure).
std::string windowingSystemFor(const char* userChoice);
// Sets that for this process; called before the application object is made.
void chooseWindowingSystem();
// Puts the user's own setting back once the application object has read it,
// so the programs this one starts (a file manager or browser through
// xdg-open) choose their windowing system as they would have.
void restoreWindowingSystemChoice();

// Qt window flags for a kind (pure, so tests can check them without a display).
Qt::WindowFlags windowFlagsFor(WindowKind kind);

// The size `view` takes when offered nothing (its ideal size), capped at `limit`.
ui::Size idealSize(const ui::View& view, ui::Size limit = {2000, 2000});

// The usable area (without panels) of the screen under `p`, else of the
// primary screen; none without any screen.
std::optional<ui::Rect> visibleScreenFrameAt(ui::Point p);
// Every screen's whole and usable area, the primary screen first.
struct ScreenAreas {
    ui::Rect frame;
    ui::Rect visibleFrame;
};
std::vector<ScreenAreas> screenAreas();
// The origin that puts a window of `size` in the top-right corner of
// `screen`, `margin` points in from the right and top edges (pure).
ui::Point topRightOrigin(ui::Rect screen, ui::Size size, double margin);

// Every live window, and the scenes that make them on demand.
class Windows {
public:
    static std::vector<Window*> all();
    static Window* find(const std::string& identifier);
    // The first window whose identifier is `identifier` or whose title is `title`.
    static Window* findByIdentifierOrTitle(const std::string& identifier, const std::string& title);
    // The same, passing over windows that are not on screen.
    static Window* findVisible(const std::string& identifier, const std::string& title);

    // Registers how to make the window `identifier`; `open` makes it once and brings it forward.
    static void registerScene(const std::string& identifier, std::function<std::unique_ptr<Window>()> make);
    static Window* open(const std::string& identifier);
    // Makes the window once, without showing it.
    static Window* make(const std::string& identifier);
    // Drops every window and scene the registry made (tests, shutdown).
    static void reset();

    // Whether a window the user works in (a standard or a settings window,
    // not a panel or a popup) is on screen, minimised ones included.
    static bool anyOnScreen();
    // Called on a later turn after the user closed such a window and none is
    // left on screen; nothing when none is set.
    static void setLastWindowClosedHandler(std::function<void()> handler);

private:
    friend class Window;
    static void add(Window* w);
    static void remove(Window* w);
};

// How views ask for a window: the application sets it to `Windows::open`.
struct OpenWindowKey {
    using Value = std::function<void(const std::string& identifier)>;
    static Value defaultValue() { return [](const std::string& id) { Windows::open(id); }; }
};

}  // namespace platform
