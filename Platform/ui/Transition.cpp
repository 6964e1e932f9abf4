#include "ui/Transition.h"

#include "ui/Modifiers.h"

#include <QPainter>

namespace platform::ui {

namespace {

// Translates its content by a fraction of its own size.
class FractionalOffsetNode final : public ModifierNode {
public:
    FractionalOffsetNode(View content, double fx, double fy) : ModifierNode(std::move(content)), fx_(fx), fy_(fy) {}
    bool transform(const Element& self, QTransform& out) const override
    {
        out = QTransform::fromTranslate(fx_ * self.frame.width, fy_ * self.frame.height);
        return true;
    }
    void paint(const Element& self, PaintContext& pc) const override
    {
        QTransform t;
        transform(self, t);
        pc.painter->save();
        pc.painter->setTransform(t, true);
        Node::paint(self, pc);
        pc.painter->restore();
    }

private:
    double fx_, fy_;
};

struct PresenceState {
    detail::AnimationTrack<double> track;
    View last;
    bool inserting = true;
};

class TransitionIfNode final : public Node {
public:
    TransitionIfNode(bool present, Transition transition, View content)
        : present_(present), transition_(std::move(transition)), content_(std::move(content)) {}

    void build(Element& self, BuildContext& ctx) const override
    {
        auto state = std::static_pointer_cast<PresenceState>(
            ctx.stateSlot(self.identity() + "#presence", [] { return std::static_pointer_cast<void>(std::make_shared<PresenceState>()); }));
        const double target = present_ ? 1 : 0;
        if (present_) state->last = content_;
        if (state->track.started && target != state->track.to) state->inserting = present_;
        const double shown = detail::advanceTrack(state->track, target, std::nullopt, false, self, ctx);
        if (shown <= 0 && !present_) {
            state->last = View();  // the removal has finished: drop the view and its closures
            return;
        }
        View v = transition_.apply(state->last, shown, state->inserting);
        if (!present_) v = v.allowsHitTesting(false).accessibilityHidden(true);
        ctx.addChild(self, v, "p");
    }

private:
    bool present_;
    Transition transition_;
    View content_;
};

}  // namespace

Transition Transition::identity() { return Transition(); }

Transition Transition::opacity()
{
    Transition t;
    t.fade_ = true;
    return t;
}

Transition Transition::scale(double scale, UnitPoint anchor)
{
    Transition t;
    t.scale_ = scale;
    t.anchor_ = anchor;
    return t;
}

Transition Transition::move(Edge edge)
{
    Transition t;
    t.edge_ = edge;
    return t;
}

Transition Transition::asymmetric(Transition insertion, Transition removal)
{
    Transition t;
    t.insertion_ = std::make_shared<Transition>(std::move(insertion));
    t.removal_ = std::make_shared<Transition>(std::move(removal));
    return t;
}

Transition Transition::combined(const Transition& other) const
{
    if (insertion_ || other.insertion_) {
        const Transition in = (insertion_ ? *insertion_ : *this).combined(other.insertion_ ? *other.insertion_ : other);
        const Transition out = (removal_ ? *removal_ : *this).combined(other.removal_ ? *other.removal_ : other);
        return asymmetric(in, out);
    }
    Transition t = *this;
    t.fade_ = fade_ || other.fade_;
    if (other.scale_) {
        t.scale_ = other.scale_;
        t.anchor_ = other.anchor_;
    }
    if (other.edge_) t.edge_ = other.edge_;
    return t;
}

View Transition::apply(const View& view, double presence, bool insertion) const
{
    if (insertion_ && removal_)
        return (insertion ? *insertion_ : *removal_).apply(view, presence, insertion);
    if (presence >= 1) return view;
    View v = view;
    const double gone = 1 - presence;
    if (edge_) {
        double fx = 0, fy = 0;
        switch (*edge_) {
        case Edge::leading: fx = -gone; break;
        case Edge::trailing: fx = gone; break;
        case Edge::top: fy = -gone; break;
        case Edge::bottom: fy = gone; break;
        }
        v = View(detail::makeNode<FractionalOffsetNode>(v, fx, fy));
    }
    if (scale_) v = v.scaleEffect(interpolate(*scale_, 1.0, presence), anchor_);
    if (fade_) v = v.opacity(std::clamp(presence, 0.0, 1.0));
    return v;
}

View TransitionIf(bool present, Transition transition, View content)
{
    return View(detail::makeNode<TransitionIfNode>(present, std::move(transition), std::move(content)));
}

}  // namespace platform::ui
