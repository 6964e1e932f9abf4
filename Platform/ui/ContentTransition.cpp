#include "ui/ContentTransition.h"

#include "ui/Text.h"
#include "ui/Characters.h"

#include <cmath>

namespace platform::ui {

namespace {

constexpr double pi = 3.14159265358979323846;

struct NumericState {
    bool started = false;
    std::string current, previous;
    double start = 0;
    std::optional<Animation> animation;
};

class NumericTextNode final : public Node {
public:
    explicit NumericTextNode(std::string text) : text_(std::move(text)) {}

    void build(Element& self, BuildContext& ctx) const override
    {
        auto s = std::static_pointer_cast<NumericState>(
            ctx.stateSlot(self.identity() + "#numeric", [] { return std::static_pointer_cast<void>(std::make_shared<NumericState>()); }));
        const double now = ctx.now();
        if (!s->started) {
            *s = {true, text_, text_, now, std::nullopt};
        } else if (text_ != s->current) {
            std::optional<Animation> a = animationForChange(self, ctx);
            if (!a && !self.env->reduceMotion) a = Animation::easeOut(0.3);
            s->previous = s->current;
            s->current = text_;
            s->start = now;
            s->animation = a;
        }
        if (!s->animation || s->animation->isFinished(now - s->start)) {
            s->animation.reset();
            ctx.addChild(self, Text(text_), "t");
            return;
        }
        ctx.requestFrame(1.0 / 60);
        const double p = std::clamp(s->animation->progress(now - s->start), 0.0, 1.0);
        // Characters are aligned from the trailing end, as digits of a number are.
        const auto oldChars = splitCharacters(s->previous), newChars = splitCharacters(s->current);
        std::vector<View> cells;
        const size_t n = std::max(oldChars.size(), newChars.size());
        for (size_t i = 0; i < n; ++i) {
            const std::string* o = i + oldChars.size() >= n ? &oldChars[i + oldChars.size() - n] : nullptr;
            const std::string* c = i + newChars.size() >= n ? &newChars[i + newChars.size() - n] : nullptr;
            if (o && c && *o == *c) {
                cells.push_back(Text(*c));
                continue;
            }
            // The old glyph fades out upwards while the new one fades in from below.
            View oldCell = o ? Text(*o).opacity(1 - p).offset(0, -6 * p).accessibilityHidden(true) : View();
            View newCell = c ? Text(*c).opacity(p).offset(0, 6 * (1 - p)) : View();
            cells.push_back(ZStack(Alignment::center, {oldCell, newCell}).fixedSize());
        }
        ctx.addChild(self, HStack(VerticalAlignment::firstTextBaseline, 0, std::move(cells))
                               .accessibilityElement(AccessibilityChildBehavior::ignore)
                               .accessibilityLabel(text_),
                     "x");
    }

private:
    std::string text_;
};

struct BounceState {
    bool has = false;
    std::any last;
    std::optional<double> start;
};

class BounceNode final : public ModifierNode {
public:
    BounceNode(View content, std::any trigger, std::function<bool(const std::any&, const std::any&)> equal)
        : ModifierNode(std::move(content)), trigger_(std::move(trigger)), equal_(std::move(equal)) {}

    void build(Element& self, BuildContext& ctx) const override
    {
        auto s = std::static_pointer_cast<BounceState>(
            ctx.stateSlot(self.identity() + "#bounce", [] { return std::static_pointer_cast<void>(std::make_shared<BounceState>()); }));
        const double now = ctx.now();
        if (s->has && !equal_(s->last, trigger_) && !self.env->reduceMotion) s->start = now;
        s->has = true;
        s->last = trigger_;
        double scale = 1;
        if (s->start) {
            const double t = now - *s->start;
            if (t >= bounceDuration) s->start.reset();
            else {
                scale = bounceScale(t);
                ctx.requestFrame(1.0 / 60);
            }
        }
        ctx.addChild(self, scale == 1 ? content_ : content_.scaleEffect(scale), ".");
    }

private:
    std::any trigger_;
    std::function<bool(const std::any&, const std::any&)> equal_;
};

}  // namespace

double bounceScale(double t)
{
    if (t <= 0 || t >= bounceDuration) return 1;
    // Up to 1.2 and back, with a small dip below 1 before it rests.
    const double x = t / bounceDuration;
    return 1 + 0.2 * std::sin(pi * std::min(1.0, x * 1.25)) * (x < 0.8 ? 1 : 0) - (x >= 0.8 ? 0.04 * std::sin(pi * (x - 0.8) / 0.2) : 0);
}

View NumericText(std::string text) { return View(detail::makeNode<NumericTextNode>(std::move(text))); }

namespace detail {
View bounceView(const View& content, std::any trigger, std::function<bool(const std::any&, const std::any&)> equal)
{
    return View(detail::makeNode<BounceNode>(content, std::move(trigger), std::move(equal)));
}
}  // namespace detail

}  // namespace platform::ui
