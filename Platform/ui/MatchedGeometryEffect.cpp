#include "ui/MatchedGeometryEffect.h"

#include "ui/Inspect.h"

#include <QPainter>

namespace platform::ui {

namespace {

struct MatchedState {
    detail::AnimationTrack<Rect> track;
};

struct MatchedScratch {
    std::shared_ptr<MatchedState> state;
    std::optional<Animation> change;
    Rect shown;
};

class MatchedGeometryNode final : public ModifierNode {
public:
    MatchedGeometryNode(View content, std::string key) : ModifierNode(std::move(content)), key_(std::move(key)) {}

    void build(Element& self, BuildContext& ctx) const override
    {
        auto state = std::static_pointer_cast<MatchedState>(
            ctx.stateSlot("matched:" + key_, [] { return std::static_pointer_cast<void>(std::make_shared<MatchedState>()); }));
        self.scratch = MatchedScratch{state, animationForChange(self, ctx), {}};
        ModifierNode::build(self, ctx);
    }

    void place(Element& self, Rect frame, LayoutContext& ctx) const override
    {
        ModifierNode::place(self, frame, ctx);
        auto* s = std::any_cast<MatchedScratch>(&self.scratch);
        if (!s || !ctx.builder()) return;
        // Tracked in the host's coordinates, so a move between containers reads as one path.
        Rect target = frame;
        if (self.parent) {
            const QRectF r = transformToRoot(*self.parent).mapRect(QRectF(frame.x, frame.y, frame.width, frame.height));
            target = {r.x(), r.y(), r.width(), r.height()};
        }
        const Rect shown = detail::advanceTrack(s->state->track, target, s->change, true, self, *ctx.builder());
        s->shown = {frame.x + shown.x - target.x, frame.y + shown.y - target.y, shown.width, shown.height};
    }

    bool transform(const Element& self, QTransform& out) const override
    {
        auto* s = std::any_cast<MatchedScratch>(&self.scratch);
        if (!s || self.frame.width <= 0 || self.frame.height <= 0 || s->shown == self.frame) return false;
        QTransform t;
        t.translate(s->shown.x, s->shown.y);
        t.scale(s->shown.width / self.frame.width, s->shown.height / self.frame.height);
        t.translate(-self.frame.x, -self.frame.y);
        out = t;
        return true;
    }

    void paint(const Element& self, PaintContext& pc) const override
    {
        QTransform t;
        if (!transform(self, t)) {
            Node::paint(self, pc);
            return;
        }
        pc.painter->save();
        pc.painter->setTransform(t, true);
        Node::paint(self, pc);
        pc.painter->restore();
    }

private:
    std::string key_;
};

}  // namespace

std::function<View(const View&)> matchedGeometryEffect(std::string id, std::string nameSpace)
{
    const std::string key = nameSpace + "/" + id;
    return [key](const View& v) { return View(detail::makeNode<MatchedGeometryNode>(v, key)); };
}

}  // namespace platform::ui
