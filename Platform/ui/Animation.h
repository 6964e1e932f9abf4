#pragma once

// Animations of values: timing curves, springs, explicit animations
// (`withAnimation`), implicit ones scoped to a subtree (`animation`), and
// `Animatable`, the view that interpolates a value from where it was to
// where the latest build put it.

#include "ui/View.h"

#include <any>
#include <concepts>
#include <functional>
#include <optional>
#include <vector>

namespace platform::ui {

struct Animation {
    enum class Curve { linear, easeIn, easeOut, easeInOut, spring };
    Curve curve = Curve::easeInOut;
    double duration = 0.35;         // timing curves, seconds
    double response = 0.55;         // springs: the period of the undamped oscillation, seconds
    double dampingFraction = 0.825; // springs: 1 = critically damped
    double delay = 0;
    // Reduce motion drops the animation unless the caller animates on purpose.
    bool respectsReduceMotion = true;
    // Runs again and again, never finishing; an auto-reversing one runs back
    // to the start every other time (a pulse).
    bool repeatsForever = false;
    bool autoreverses = true;

    static Animation linear(double duration = 0.35);
    static Animation easeIn(double duration = 0.35);
    static Animation easeOut(double duration = 0.35);
    static Animation easeInOut(double duration = 0.35);
    static Animation spring(double response = 0.55, double dampingFraction = 0.825);
    Animation delayed(double seconds) const;
    Animation ignoringReduceMotion() const;
    Animation repeatForever(bool autoreverses = true) const;

    // Fraction of the way from start to end after `elapsed` seconds (a spring
    // may overshoot 1 on the way).
    double progress(double elapsed) const;
    // Seconds from the start (delay included) until the value is at rest.
    double totalTime() const;
    bool isFinished(double elapsed) const { return elapsed >= totalTime(); }

    bool operator==(const Animation&) const = default;
};

// The step response of a spring from 0 to 1 at time t (seconds).
double springProgress(double response, double dampingFraction, double t);
// When the spring stays within 0.1 % of its target for good.
double springSettleTime(double response, double dampingFraction);
// A CSS-style cubic Bézier timing curve through (0,0), (x1,y1), (x2,y2), (1,1).
double cubicBezierProgress(double x1, double y1, double x2, double y2, double t);

// --- Interpolation of animatable values -----------------------------------------

inline double interpolate(double a, double b, double p) { return a + (b - a) * p; }
inline Point interpolate(Point a, Point b, double p) { return {interpolate(a.x, b.x, p), interpolate(a.y, b.y, p)}; }
inline Size interpolate(Size a, Size b, double p) { return {interpolate(a.width, b.width, p), interpolate(a.height, b.height, p)}; }
inline Rect interpolate(const Rect& a, const Rect& b, double p)
{
    return {interpolate(a.x, b.x, p), interpolate(a.y, b.y, p), interpolate(a.width, b.width, p), interpolate(a.height, b.height, p)};
}
RGBA interpolate(const RGBA& a, const RGBA& b, double p);  // clamped to 0–1
std::vector<double> interpolate(const std::vector<double>& a, const std::vector<double>& b, double p);

template <class T>
concept AnimatableValue = std::equality_comparable<T> && requires(const T& a, const T& b, double p) {
    { interpolate(a, b, p) } -> std::convertible_to<T>;
};

// --- Transactions ----------------------------------------------------------------

// Runs `body` (which changes state) so that the values it changes animate
// with `animation` at the next build of each host; nullopt changes them at once.
void withAnimation(std::optional<Animation> animation, const std::function<void()>& body);

// The animation a value changing in this build of `self` takes: the nearest
// implicit scope, else the explicit transaction, else none; dropped under
// reduce motion unless it ignores it.
std::optional<Animation> animationForChange(const Element& self, BuildContext& ctx);

// The subtree animates its changes with `animation` in any build where
// `value` differs from the previous build's (nullopt: changes jump).
template <std::equality_comparable V>
std::function<View(const View&)> animation(std::optional<Animation> animation, V value);

// A value animated across builds: `content` is called with the value to
// show now; when `target` changes, the value runs from where it is to the new
// target with the animation in effect (see `animationForChange`).
template <AnimatableValue T>
View Animatable(T target, std::function<View(const T&)> content);

// The same, with its own animation regardless of transactions.
template <AnimatableValue T>
View Animatable(T target, std::optional<Animation> animation, std::function<View(const T&)> content);

// The same, starting from `initial` on the view's first build: an entrance.
template <AnimatableValue T>
View AnimatableFrom(T initial, T target, std::optional<Animation> animation, std::function<View(const T&)> content);

// Common animated modifiers.
std::function<View(const View&)> animatedOpacity(double opacity);
std::function<View(const View&)> animatedScale(double scale, UnitPoint anchor = UnitPoint::center);
std::function<View(const View&)> animatedOffset(double x, double y);
std::function<View(const View&)> animatedFrame(double width, double height, Alignment alignment = Alignment::center);
// A shape stroked along the part between `from` and `to` (0–1) of its outline.
View AnimatedTrim(Shape shape, double from, double to, ShapeStyle style, StrokeStyle stroke);
// A colour fill that animates between colours (resolved in the current scheme).
View AnimatedColor(Color color);

// ---------------------------------------------------------------------------------
// Implementation details

namespace detail {

// Whether the host building `ctx` is in the first build after the explicit
// transaction was opened; returns the transaction's animation then.
std::optional<std::optional<Animation>> explicitTransaction(BuildContext& ctx);
// Called by a host when a build ends: a transaction open then is spent for it.
void buildFinished(const void* host, unsigned rebuildCount);

struct ImplicitScopeKey {
    // Outer optional: a scope is in effect; inner: its animation (none = jump).
    using Value = std::optional<std::optional<Animation>>;
    static Value defaultValue() { return std::nullopt; }
};

class ImplicitAnimationNode final : public ModifierNode {
public:
    ImplicitAnimationNode(View content, std::optional<Animation> animation, std::any value,
                          std::function<bool(const std::any&, const std::any&)> equal)
        : ModifierNode(std::move(content)), animation_(animation), value_(std::move(value)), equal_(std::move(equal)) {}
    void build(Element& self, BuildContext& ctx) const override;

private:
    std::optional<Animation> animation_;
    std::any value_;
    std::function<bool(const std::any&, const std::any&)> equal_;
};

template <class T>
struct AnimationTrack {
    bool started = false;
    T from{}, to{};
    double start = 0;
    std::optional<Animation> animation;
};

// Requests the next frame while a track runs; returns the value to show.
template <class T>
T advanceTrack(AnimationTrack<T>& track, const T& target, const std::optional<Animation>& change, bool own,
               const Element& self, BuildContext& ctx)
{
    const double now = ctx.now();
    auto valueAt = [&](double t) -> T {
        if (!track.animation || track.animation->isFinished(t - track.start)) return track.to;
        return interpolate(track.from, track.to, track.animation->progress(t - track.start));
    };
    if (!track.started) {
        track = {true, target, target, now, std::nullopt};
    } else if (!(target == track.to)) {
        std::optional<Animation> a = own ? change : animationForChange(self, ctx);
        if (own && a && a->respectsReduceMotion && self.env->reduceMotion) a.reset();
        const T current = valueAt(now);
        track = {true, a ? current : target, target, now, a};
    }
    if (track.animation && !track.animation->isFinished(now - track.start)) {
        ctx.requestFrame(1.0 / 60);
        return valueAt(now);
    }
    track.animation.reset();
    track.from = track.to;
    return track.to;
}

template <class T>
class AnimatableNode final : public Node {
public:
    AnimatableNode(T target, std::optional<Animation> own, bool hasOwn, std::function<View(const T&)> content,
                   std::optional<T> initial = std::nullopt)
        : target_(std::move(target)), own_(own), hasOwn_(hasOwn), content_(std::move(content)), initial_(std::move(initial)) {}
    void build(Element& self, BuildContext& ctx) const override
    {
        auto slot = std::static_pointer_cast<AnimationTrack<T>>(
            ctx.stateSlot(self.identity() + "#anim", [] { return std::static_pointer_cast<void>(std::make_shared<AnimationTrack<T>>()); }));
        if (!slot->started && initial_) {
            // An entrance: the first build runs from the initial value.
            slot->started = true;
            slot->from = slot->to = *initial_;
            slot->start = ctx.now();
        }
        const T shown = advanceTrack(*slot, target_, own_, hasOwn_, self, ctx);
        ctx.addChild(self, content_ ? content_(shown) : View(), "a");
    }

private:
    T target_;
    std::optional<Animation> own_;
    bool hasOwn_;
    std::function<View(const T&)> content_;
    std::optional<T> initial_;
};

}  // namespace detail

template <std::equality_comparable V>
std::function<View(const View&)> animation(std::optional<Animation> animation, V value)
{
    return [animation, value](const View& v) {
        return View(detail::makeNode<detail::ImplicitAnimationNode>(
            v, animation, std::any(value),
            [](const std::any& a, const std::any& b) { return std::any_cast<const V&>(a) == std::any_cast<const V&>(b); }));
    };
}

template <AnimatableValue T>
View Animatable(T target, std::function<View(const T&)> content)
{
    return View(detail::makeNode<detail::AnimatableNode<T>>(std::move(target), std::nullopt, false, std::move(content)));
}

template <AnimatableValue T>
View Animatable(T target, std::optional<Animation> animation, std::function<View(const T&)> content)
{
    return View(detail::makeNode<detail::AnimatableNode<T>>(std::move(target), animation, true, std::move(content)));
}

template <AnimatableValue T>
View AnimatableFrom(T initial, T target, std::optional<Animation> animation, std::function<View(const T&)> content)
{
    return View(detail::makeNode<detail::AnimatableNode<T>>(std::move(target), animation, true, std::move(content), std::move(initial)));
}

}  // namespace platform::ui
