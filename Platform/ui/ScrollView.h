#pragma once

// Scroll views: content longer than the view along one axis, moved by the
// wheel or touchpad, optionally snapping to its children when a horizontal
// scroll comes to rest, and scrolled to an identified child on request.

#include "ui/Animation.h"

#include <memory>
#include <optional>
#include <string>

namespace platform::ui {

struct ScrollViewOptions {
    bool showsIndicators = true;
    // At the end of a scroll, settle with a child's leading edge at the leading edge.
    bool snapsToChildren = false;
};

View ScrollView(Axis axis, View content, ScrollViewOptions options = {});

// What an element is when it is a scroll view: its axis and options.
struct ScrollViewFacts {
    Axis axis = Axis::vertical;
    ScrollViewOptions options;
};
std::optional<ScrollViewFacts> scrollViewFacts(const Element& e);

// The frame of the nearest enclosing scroll view's viewport in host layout
// points, brought up to date whenever the scroll view is placed; lazy
// containers build only what lies near it.
struct VisibleRegionKey {
    using Value = std::shared_ptr<Rect>;
    static Value defaultValue() { return nullptr; }
};
inline View ScrollView(View content, ScrollViewOptions options = {}) { return ScrollView(Axis::vertical, std::move(content), options); }

// Handed out by `ScrollViewReader`: scrolls the scroll views inside the
// reader so the child with `id` (its `.id`, `ForEach` key or accessibility
// identifier) sits at `anchor` (nearest edge when none).
class ScrollProxy {
public:
    struct Request {
        std::string id;
        std::optional<UnitPoint> anchor;
        unsigned serial = 0;
        std::function<void()> invalidate;
    };
    ScrollProxy() : request_(std::make_shared<Request>()) {}
    explicit ScrollProxy(std::shared_ptr<Request> request) : request_(std::move(request)) {}
    void scrollTo(const std::string& id, std::optional<UnitPoint> anchor = std::nullopt) const;
    const std::shared_ptr<Request>& request() const { return request_; }

private:
    std::shared_ptr<Request> request_;
};

View ScrollViewReader(std::function<View(ScrollProxy)> content);

// How long after the last wheel event a scroll counts as ended.
inline constexpr double scrollEndDelay = 0.12;

// The offset that shows an item at [itemStart, itemStart + itemLength) in a
// viewport, at `anchor` (0 leading, 1 trailing) or, with none, by the least
// movement from `current`; clamped to [0, maxOffset] (pure).
double scrollOffsetFor(double itemStart, double itemLength, double viewport, double maxOffset, double current,
                       std::optional<double> anchor);
// The snap point nearest to `offset` among `starts` (children's leading
// edges), clamped to [0, maxOffset]. A scroll that began resting at `from`
// and would settle back there goes on to the next point the way it moved,
// so each notch of a wheel moves a card (pure).
double snapOffset(const std::vector<double>& starts, double offset, double maxOffset, std::optional<double> from = std::nullopt);

}  // namespace platform::ui
