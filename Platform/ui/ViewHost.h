#pragma once

#include "ui/Accessibility.h"
#include "ui/View.h"
#include "runtime/Published.h"

#include <QImage>
#include <QRegion>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QPainter;
class QWidget;

namespace platform::ui {

// The core of a window's content, independent of any widget: it builds the
// root view from state, lays it out at the host's size, paints it, routes
// pointer and key events, keeps view-local state by identity, and presents
// layers (sheets, popovers) above the content. `HostWidget` adapts it to Qt.
//
// Rebuilds are coalesced: `setNeedsRebuild` only marks the host dirty and asks
// the scheduler for one call on the next turn of the event loop, so a handler
// that changes state always finishes before its view tree is replaced.
class ViewHost : public BuildContext {
public:
    ViewHost();
    ~ViewHost() override;
    ViewHost(const ViewHost&) = delete;
    ViewHost& operator=(const ViewHost&) = delete;

    void setRoot(std::function<View()> root);
    void setRootView(View root);
    void setSize(Size size);
    Size size() const { return size_; }
    EnvironmentValues& environment() { return env_; }
    void setEnvironment(const EnvironmentValues& env);

    // --- Time: an injectable clock (seconds) and frame requests.
    void setClock(std::function<double()> clock);
    double now() const override;
    void requestFrame(double seconds) override;
    void requestFrame(double seconds, Element& reader) override;
    void forgetFrameReader(const Element& reader) override;
    // When a frame was asked for, the clock time it is due.
    std::optional<double> nextFrameDue() const;
    // Runs the frame that is due: when only views that read the time asked
    // for it, those alone are built and laid out again (the rest of the tree
    // stays as it is); anything else rebuilds the whole.
    void tick();
    // Frames that rebuilt only the views reading the time, and those among
    // them that changed their size and so laid out the whole window.
    unsigned readerRebuildCount() const { return readerRebuilds_; }
    unsigned escalationCount() const { return escalations_; }
    // The time of the frame under way (or the last one), on the host's clock:
    // when it was due, if it was asked for and came in time, else when it began.
    double frameTime() const { return frameTime_; }

    // --- Invalidation
    // Redraws (on the next frame) whenever the object announces a change.
    void observe(platform::ObservableObject& object);
    void stopObserving() { observations_.clear(); }
    void setNeedsRebuild();
    void requestRebuild() override { setNeedsRebuild(); }
    bool needsRebuild() const { return dirty_; }
    // Runs `f` on the next turn of the event loop; replaceable for tests.
    void setScheduler(std::function<void(std::function<void()>)> scheduler);
    // Called whenever the picture changed (the widget repaints).
    void setRepaintHandler(std::function<void()> handler) { repaint_ = std::move(handler); }
    // Rebuilds and lays out now when dirty (never while an event is being handled).
    void flush();
    unsigned rebuildCount() const { return rebuilds_; }
    // What changed on screen since the painter last took it, in host points:
    // the whole window after a full rebuild; after a frame that rebuilt only
    // the views reading the time, where they drew before and draw now.
    QRegion takeDamage();

    // --- Painting
    void render(QPainter& painter);
    // Paints only `area` (host points), one rectangle of it at a time, and
    // passes over views wholly outside it.
    void render(QPainter& painter, const QRegion& area);
    QImage renderImage(double scale);

    // --- Layers above the content, for sheets and popovers. A modal layer
    // takes every event; a non-modal one lets events it does not hit fall
    // through to what lies beneath.
    int presentLayer(std::function<View()> content, bool modal);
    // A floating layer stays above every other layer, those presented after
    // it included, and is never modal: what it does not hit falls through.
    // Keys, the focus and the native widgets' cover are the layers beneath's,
    // as if it were not there, and it counts in no `layerCount`.
    // With `takesFoot`, the layer stands in a strip at the window's foot, as
    // high as its content asks (none while it shows nothing): the content and
    // the other layers are laid out above the strip, so what it shows covers
    // none of their controls. Its focusable views come last in the Tab order,
    // whatever layer holds the rest.
    int presentFloatingLayer(std::function<View()> content, bool takesFoot = false);
    // The height of the window's foot that floating layers take.
    double footStrip() const { return footStrip_; }
    // With an exit, the layer leaves events, accessibility and the layer
    // count at once, and its last picture fades out (shrinking towards the
    // centre by `scale`) over `duration` seconds.
    struct LayerExit {
        double duration = 0.18;
        double scale = 1;
    };
    void dismissLayer(int id, std::optional<LayerExit> exit = std::nullopt);
    // The content and the layers presented above it (floating ones aside).
    size_t layerCount() const;
    size_t closingLayerCount() const { return closingLayers_.size(); }

    // The widget that shows this host, parent of native widgets placed by views.
    void setNativeParent(QWidget* parent) { nativeParent_ = parent; }
    QWidget* nativeParent() const { return nativeParent_; }

    // --- Events, in host points
    void pointerMove(Point p);
    void pointerLeave();
    void pointerPress(Point p);
    void pointerRelease(Point p);
    void tap(Point p);
    bool scroll(Point p, ScrollDelta delta);
    bool key(const KeyPress& key);
    std::optional<std::string> tooltipAt(Point p) const;
    CursorShape cursorAt(Point p) const;

    // The identity of the tap target held down under the pointer; buttons
    // styled by their pressed state read it while building.
    const std::optional<std::string>& pressedIdentity() const { return pressed_; }

    void setFocus(std::string identity)
    {
        focus_ = std::move(identity);
        focusRing_ = false;
    }
    const std::string& focus() const { return focus_; }
    // Whether the focus got where it is from the keyboard (Tab), so it shows a ring.
    bool focusRingVisible() const { return focusRing_; }
    // Tab and Shift+Tab: the next or previous focusable view, in reading
    // order, of the topmost modal layer or card (else the content), then
    // those of the floating layers; wraps.
    bool moveFocus(bool forward);

    // --- Inspection
    // The deepest element drawn at `p` that takes hits (topmost layer first).
    const Element* hitTest(Point p) const;
    const Element* rootElement() const;
    // The trees of the floating layers, bottom first.
    std::vector<const Element*> floatingLayerRoots() const;
    // The trees of the content and the layers above it (floating ones aside), bottom first.
    std::vector<const Element*> layerRoots() const;
    AccessibilityNodeInfo accessibilityTree() const;
    size_t stateSlotCount() const { return slots_.size(); }

    std::shared_ptr<void> stateSlot(const std::string& identity, const std::function<std::shared_ptr<void>()>& make) override;
    void afterBuild(std::function<void()> f) override;
    bool markPresent(const std::string& identity, std::function<void()> gone) override;
    void retainState(const std::string& identityPrefix) override;

private:
    struct HostLayer {
        int id = 0;
        std::function<View()> content;
        bool modal = false;
        std::unique_ptr<Element> tree;
        bool floating = false;
        bool takesFoot = false;
    };
    struct Slot {
        std::shared_ptr<void> value;
        unsigned generation = 0;
    };

    void rebuild();
    // Builds and lays out `reader` again in place; false when its size changed
    // (or it changed more than itself), and the whole must be rebuilt.
    bool rebuildReader(Element& reader);
    // State and presence of views within `scope` (everything when empty) that
    // were not built this time: slots go, disappearance handlers are queued.
    void dropGone(const std::string& scope);
    QRect wholeWindow() const;
    // Where `e` draws, in whole host points.
    QRect inkOnScreen(const Element& e) const;
    void layoutAll();
    HostLayer* findLayer(int id);
    // Whether the layer is drawn and hears events: it has a tree and was not dismissed.
    static bool shown(const HostLayer& layer);
    void runPreferences();
    void runHooks();
    void schedule();
    void repaint();
    std::vector<HostLayer*> eventLayers(Point p) const;
    // The layers that hear keys and hold the focus: those of `eventLayers`
    // that are not floating.
    std::vector<HostLayer*> keyLayers() const;
    void updateHover(Point p, bool inside);
    void moveDrag(Point p);

    std::function<View()> root_;
    std::vector<HostLayer> layers_;  // [0] is the content
    struct ClosingLayer {
        std::unique_ptr<Element> tree;
        double start = 0;
        LayerExit exit;
    };
    std::vector<ClosingLayer> closingLayers_;
    QWidget* nativeParent_ = nullptr;
    int nextLayerId_ = 1;
    Size size_{800, 600};
    EnvironmentValues env_;
    std::function<double()> clock_;
    std::optional<double> nextFrame_;
    double frameTime_ = 0;
    std::function<void(std::function<void()>)> scheduler_;
    std::function<void()> repaint_;
    std::shared_ptr<bool> alive_;
    bool dirty_ = true;
    bool freshTrees_ = false;  // built and not yet laid out
    bool scheduled_ = false;
    int dispatching_ = 0;
    bool building_ = false;
    bool layingOut_ = false;
    double footStrip_ = 0;
    unsigned generation_ = 0;
    unsigned layoutPass_ = 0;
    unsigned rebuilds_ = 0;
    std::map<std::string, Slot> slots_;
    std::vector<platform::Subscription> observations_;
    std::map<std::string, std::any> lastPreferences_;
    std::map<std::string, bool> hovered_;  // identity -> still present
    std::optional<std::string> pressed_;   // identity of the tap target under a press
    // A press over content the pointer can drag (a row that scrolls sideways).
    struct Drag {
        Point start, last;
        Axis axis = Axis::horizontal;
        std::function<void(double, bool)> action;
        bool moving = false;  // past the drag distance: no longer a tap
    };
    std::optional<Drag> drag_;
    std::string focus_;
    bool focusRing_ = false;
    // Life-cycle hooks: views seen in the latest build (with what runs when
    // they go), and handlers waiting for the build to end.
    struct Presence {
        unsigned generation = 0;
        std::function<void()> gone;
    };
    std::map<std::string, Presence> present_;
    std::vector<std::function<void()>> pendingHooks_;
    std::vector<std::function<void()>> goneHooks_;
    // Elements that asked for frames of their own, and when.
    std::vector<std::pair<Element*, double>> readers_;
    QRegion damage_;
    unsigned readerRebuilds_ = 0;
    unsigned escalations_ = 0;
    std::vector<std::string> retained_;  // state kept for views not built (lazy rows)
    bool closing_ = false;
};

// Lays out `view` at `size` and renders it at `scale` into an image.
QImage renderToImage(const View& view, Size size, double scale, const EnvironmentValues& env = {});

}  // namespace platform::ui
