#pragma once

// Transitions: how a view looks while it is inserted or removed. A view
// shown by `TransitionIf` runs its transition with the animation in effect
// when its condition changes, and a removed view stays on screen (not
// hit-testable) until its removal animation has finished.

#include "ui/Animation.h"

#include <memory>
#include <optional>

namespace platform::ui {

class Transition {
public:
    // No visual change: the view appears and disappears at once.
    static Transition identity();
    static Transition opacity();
    // Scales from `scale` (absent) to 1 (present) about `anchor`.
    static Transition scale(double scale = 0, UnitPoint anchor = UnitPoint::center);
    // Moves in from (and out to) an edge by the view's own size.
    static Transition move(Edge edge);
    static Transition asymmetric(Transition insertion, Transition removal);

    // Both effects at once.
    Transition combined(const Transition& other) const;

    // The view at `presence` (0 = absent, 1 = present), for an insertion or a removal.
    View apply(const View& view, double presence, bool insertion) const;

    bool fades() const { return fade_; }

private:
    bool fade_ = false;
    std::optional<double> scale_;
    UnitPoint anchor_ = UnitPoint::center;
    std::optional<Edge> edge_;
    std::shared_ptr<const Transition> insertion_, removal_;
};

// `content` while `present`, with `transition` on insertion and removal.
View TransitionIf(bool present, Transition transition, View content);

}  // namespace platform::ui
