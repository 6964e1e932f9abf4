#include "ui/Animation.h"

#include "ui/Modifiers.h"
#include "ui/ViewHost.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>

namespace platform::ui {

namespace {
constexpr double pi = 3.14159265358979323846;

double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }
}  // namespace

Animation Animation::linear(double d) { return Animation{Curve::linear, std::max(0.0, d)}; }
Animation Animation::easeIn(double d) { return Animation{Curve::easeIn, std::max(0.0, d)}; }
Animation Animation::easeOut(double d) { return Animation{Curve::easeOut, std::max(0.0, d)}; }
Animation Animation::easeInOut(double d) { return Animation{Curve::easeInOut, std::max(0.0, d)}; }

Animation Animation::spring(double response, double dampingFraction)
{
    Animation a;
    a.curve = Curve::spring;
    // A zero response would divide by zero; the spring then jumps.
    a.response = std::max(response, 1e-3);
    a.dampingFraction = std::max(dampingFraction, 0.0);
    return a;
}

Animation Animation::delayed(double seconds) const
{
    Animation a = *this;
    a.delay = std::max(0.0, seconds);
    return a;
}

Animation Animation::repeatForever(bool reverses) const
{
    Animation a = *this;
    a.repeatsForever = true;
    a.autoreverses = reverses;
    return a;
}

Animation Animation::ignoringReduceMotion() const
{
    Animation a = *this;
    a.respectsReduceMotion = false;
    return a;
}

double Animation::progress(double elapsed) const
{
    const double t = elapsed - delay;
    if (t <= 0) return 0;
    if (repeatsForever) {
        Animation once = *this;
        once.repeatsForever = false;
        once.delay = 0;
        const double period = once.totalTime();
        if (period <= 0) return 1;
        const double cycles = t / period;
        const double whole = std::floor(cycles);
        const double p = once.progress((cycles - whole) * period);
        // Odd passes of an auto-reversing animation run back to the start.
        return autoreverses && std::fmod(whole, 2.0) == 1.0 ? 1 - p : p;
    }
    if (curve == Curve::spring)
        return t >= totalTime() - delay ? 1.0 : springProgress(response, dampingFraction, t);
    if (duration <= 0 || t >= duration) return 1;
    const double x = t / duration;
    switch (curve) {
    case Curve::linear: return x;
    case Curve::easeIn: return cubicBezierProgress(0.42, 0, 1, 1, x);
    case Curve::easeOut: return cubicBezierProgress(0, 0, 0.58, 1, x);
    case Curve::easeInOut: return cubicBezierProgress(0.42, 0, 0.58, 1, x);
    case Curve::spring: break;
    }
    return 1;
}

double Animation::totalTime() const
{
    if (repeatsForever) return infinity;
    if (curve == Curve::spring) return delay + springSettleTime(response, dampingFraction);
    return delay + duration;
}

double springProgress(double response, double zeta, double t)
{
    if (t <= 0) return 0;
    const double w0 = 2 * pi / std::max(response, 1e-3);
    if (zeta < 1) {
        const double wd = w0 * std::sqrt(1 - zeta * zeta);
        return 1 - std::exp(-zeta * w0 * t) * (std::cos(wd * t) + (zeta * w0 / wd) * std::sin(wd * t));
    }
    if (zeta == 1) return 1 - std::exp(-w0 * t) * (1 + w0 * t);
    // Overdamped: two real roots.
    const double s = std::sqrt(zeta * zeta - 1);
    const double r1 = -w0 * (zeta - s), r2 = -w0 * (zeta + s);
    return 1 - (r2 * std::exp(r1 * t) - r1 * std::exp(r2 * t)) / (r2 - r1);
}

namespace {
double computeSpringSettleTime(double response, double zeta)
{
    // The envelope bounds the error: find when it drops under the tolerance,
    // then step back while the true error is still small.
    const double w0 = 2 * pi / std::max(response, 1e-3);
    const double tolerance = 1e-3;
    if (zeta <= 0) return 10 * response;  // undamped: give up after ten periods
    double t = 0;
    const double step = response / 240;
    // Walk forward until the error has stayed under the tolerance for a full period.
    double lastBad = 0;
    const double limit = 60 * response / std::min(zeta, 1.0) + 1;
    for (t = 0; t < limit; t += step) {
        if (std::abs(1 - springProgress(response, zeta, t)) > tolerance) lastBad = t;
        else if (t - lastBad > std::max(response, 2 * pi / w0)) break;
    }
    return std::min(lastBad + step, limit);
}
}  // namespace

double springSettleTime(double response, double zeta)
{
    // Asked for on every frame of every running spring, with a handful of
    // distinct parameters in a whole app: the walk is kept per pair.
    struct Entry {
        double response, zeta, time;
    };
    thread_local std::array<Entry, 16> memo{};
    thread_local size_t used = 0, next = 0;
    for (size_t i = 0; i < used; ++i)
        if (memo[i].response == response && memo[i].zeta == zeta)
            return memo[i].time;
    const double t = computeSpringSettleTime(response, zeta);
    memo[next] = {response, zeta, t};
    next = (next + 1) % memo.size();
    used = std::max(used, next == 0 ? memo.size() : next);
    return t;
}

double cubicBezierProgress(double x1, double y1, double x2, double y2, double t)
{
    t = clamp01(t);
    auto bez = [](double a, double b, double s) { return 3 * a * s * (1 - s) * (1 - s) + 3 * b * s * s * (1 - s) + s * s * s; };
    // Solve x(s) = t by bisection (monotonic for x1, x2 in [0, 1]).
    double lo = 0, hi = 1, s = t;
    for (int i = 0; i < 40; ++i) {
        s = (lo + hi) / 2;
        if (bez(x1, x2, s) < t) lo = s;
        else hi = s;
    }
    return bez(y1, y2, s);
}

RGBA interpolate(const RGBA& a, const RGBA& b, double p)
{
    return {clamp01(interpolate(a.red, b.red, p)), clamp01(interpolate(a.green, b.green, p)),
            clamp01(interpolate(a.blue, b.blue, p)), clamp01(interpolate(a.alpha, b.alpha, p))};
}

std::vector<double> interpolate(const std::vector<double>& a, const std::vector<double>& b, double p)
{
    // Values that appear or vanish grow from or shrink to zero.
    std::vector<double> out(std::max(a.size(), b.size()));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = interpolate(i < a.size() ? a[i] : 0.0, i < b.size() ? b[i] : 0.0, p);
    return out;
}

// --- Transactions -----------------------------------------------------------------

namespace {
struct Transaction {
    bool open = false;
    std::optional<Animation> animation;
    unsigned serial = 0;
    std::map<const void*, unsigned> firstBuild;  // host -> the rebuild that took it
};
Transaction& transaction()
{
    static Transaction t;
    return t;
}
}  // namespace

void withAnimation(std::optional<Animation> animation, const std::function<void()>& body)
{
    Transaction& t = transaction();
    t.open = true;
    t.animation = animation;
    t.firstBuild.clear();
    const unsigned serial = ++t.serial;
    if (body) body();
    // Hosts rebuild on the next turn of the event loop; the transaction ends after that.
    if (auto* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [serial] {
            if (transaction().serial == serial) transaction().open = false;
        }, Qt::QueuedConnection);
}

namespace detail {

std::optional<std::optional<Animation>> explicitTransaction(BuildContext& ctx)
{
    Transaction& t = transaction();
    if (!t.open) return std::nullopt;
    if (auto* host = dynamic_cast<ViewHost*>(&ctx)) {
        auto [it, inserted] = t.firstBuild.emplace(host, host->rebuildCount());
        if (!inserted && it->second != host->rebuildCount()) return std::nullopt;
    }
    return t.animation;
}

void buildFinished(const void* host, unsigned rebuildCount)
{
    Transaction& t = transaction();
    if (t.open) t.firstBuild.emplace(host, rebuildCount);
}

void ImplicitAnimationNode::build(Element& self, BuildContext& ctx) const
{
    struct Last {
        bool has = false;
        std::any value;
    };
    auto last = std::static_pointer_cast<Last>(
        ctx.stateSlot(self.identity() + "#implicit", [] { return std::static_pointer_cast<void>(std::make_shared<Last>()); }));
    const bool changed = last->has && !equal_(last->value, value_);
    last->has = true;
    last->value = value_;
    EnvironmentPtr env = self.env;
    if (changed) {
        auto e = detail::makeNode<EnvironmentValues>(*self.env);
        e->set<ImplicitScopeKey>(ImplicitScopeKey::Value(animation_));
        env = e;
    }
    Element& child = ctx.addChild(self, content_, ".", env);
    self.layoutPriorityTrait = child.layoutPriorityTrait;
    self.zIndexTrait = child.zIndexTrait;
}

}  // namespace detail

std::optional<Animation> animationForChange(const Element& self, BuildContext& ctx)
{
    std::optional<Animation> a;
    if (auto scope = self.env->get<detail::ImplicitScopeKey>())
        a = *scope;
    else if (auto t = detail::explicitTransaction(ctx))
        a = *t;
    if (a && a->respectsReduceMotion && self.env->reduceMotion)
        a.reset();
    return a;
}

// --- Animated modifiers -----------------------------------------------------------------

std::function<View(const View&)> animatedOpacity(double opacity)
{
    return [opacity](const View& v) { return Animatable<double>(opacity, [v](const double& o) { return v.opacity(o); }); };
}

std::function<View(const View&)> animatedScale(double scale, UnitPoint anchor)
{
    return [scale, anchor](const View& v) {
        return Animatable<double>(scale, [v, anchor](const double& s) { return v.scaleEffect(s, anchor); });
    };
}

std::function<View(const View&)> animatedOffset(double x, double y)
{
    return [x, y](const View& v) { return Animatable<Point>({x, y}, [v](const Point& p) { return v.offset(p.x, p.y); }); };
}

std::function<View(const View&)> animatedFrame(double width, double height, Alignment alignment)
{
    return [width, height, alignment](const View& v) {
        return Animatable<Size>({width, height}, [v, alignment](const Size& s) { return v.frame(s.width, s.height, alignment); });
    };
}

View AnimatedTrim(Shape shape, double from, double to, ShapeStyle style, StrokeStyle stroke)
{
    return Animatable<Point>({from, to}, [shape, style, stroke](const Point& p) { return shape.trim(p.x, p.y).stroke(style, stroke); });
}

View AnimatedColor(Color color)
{
    return EnvironmentReader([color](const EnvironmentValues& env) {
        return Animatable<RGBA>(env.resolve(color), [](const RGBA& c) { return View(Color::sRGB(c.red, c.green, c.blue, c.alpha)); });
    });
}

}  // namespace platform::ui
