#include "ui/ScrollView.h"

#include "ui/Inspect.h"
#include "ui/Modifiers.h"
#include "ui/Painting.h"
#include "ui/Shape.h"
#include "ui/ViewHost.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace platform::ui {

double scrollOffsetFor(double start, double length, double viewport, double maxOffset, double current, std::optional<double> anchor)
{
    double o = current;
    if (anchor) {
        o = start - (viewport - length) * *anchor;
    } else if (start < current) {
        o = start;
    } else if (start + length > current + viewport) {
        o = start + length - viewport;
    }
    return std::clamp(o, 0.0, std::max(0.0, maxOffset));
}

double snapOffset(const std::vector<double>& starts, double offset, double maxOffset, std::optional<double> from)
{
    const auto clamped = [maxOffset](double o) { return std::clamp(o, 0.0, std::max(0.0, maxOffset)); };
    if (starts.empty()) return clamped(offset);
    double best = offset, bestDistance = infinity;
    for (double s : starts) {
        const double c = clamped(s);
        if (std::abs(c - offset) < bestDistance) {
            bestDistance = std::abs(c - offset);
            best = c;
        }
    }
    if (!from || offset == *from || std::abs(best - clamped(*from)) > 1e-9) return best;
    // Back where it began: the next point the way it moved instead.
    const double direction = offset > *from ? 1 : -1;
    double next = best, nextDistance = infinity;
    for (double s : starts) {
        const double c = clamped(s), ahead = (c - *from) * direction;
        if (ahead > 1e-9 && ahead < nextDistance) {
            nextDistance = ahead;
            next = c;
        }
    }
    return next;
}

void ScrollProxy::scrollTo(const std::string& id, std::optional<UnitPoint> anchor) const
{
    request_->id = id;
    request_->anchor = anchor;
    ++request_->serial;
    if (request_->invalidate) request_->invalidate();
}

namespace {

struct ScrollReaderKey {
    using Value = std::shared_ptr<ScrollProxy::Request>;
    static Value defaultValue() { return nullptr; }
};

struct ScrollState {
    double offset = 0;  // where the content rests
    detail::AnimationTrack<double> track;
    std::optional<double> lastWheel;  // clock time of the last wheel event
    std::optional<double> notchesFrom;  // where a scroll by wheel notches began
    unsigned servedRequest = 0;
    double viewport = 0, maxOffset = 0;
    std::function<void()> rebuild;
    std::shared_ptr<Rect> visible = std::make_shared<Rect>();
};

double along(Axis a, Size s) { return a == Axis::horizontal ? s.width : s.height; }
double across(Axis a, Size s) { return a == Axis::horizontal ? s.height : s.width; }

bool isTarget(const Element& e, const std::string& id)
{
    if (auto* n = dynamic_cast<const IdNode*>(e.node.get()); n && n->id() == id) return true;
    if (auto* a = dynamic_cast<const AccessibilityNode*>(e.node.get()); a && a->props().identifier == id) return true;
    const std::string suffix = "#" + id;
    return e.key.size() >= suffix.size() && e.key.compare(e.key.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The leading edges of the content's items: the children of the first stack inside.
void itemStarts(const Element& e, Axis axis, double origin, std::vector<double>& out)
{
    std::vector<const Element*> items;
    for (auto& c : e.children)
        if (c->stackAxis == axis && c->placed) items.push_back(c.get());
    if (!items.empty()) {
        for (auto* c : items) out.push_back((axis == Axis::horizontal ? c->frame.x : c->frame.y) - origin);
        return;
    }
    for (auto& c : e.children) {
        itemStarts(*c, axis, origin, out);
        if (!out.empty()) return;
    }
}

class ViewportNode final : public Node {
public:
    ViewportNode(Axis axis, View content, ScrollViewOptions options, std::shared_ptr<ScrollState> state)
        : axis_(axis), content_(std::move(content)), options_(options), state_(std::move(state)) {}

    void build(Element& self, BuildContext& ctx) const override { ctx.addChild(self, content_, "c"); }

    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const override
    {
        if (self.children.empty()) return {};
        const Size cs = self.children[0]->sizeThatFits(contentProposal(p), ctx);
        auto pick = [](std::optional<double> offered, double content) {
            return offered && std::isfinite(*offered) ? *offered : content;
        };
        return {pick(p.width, cs.width), pick(p.height, cs.height)};
    }

    void place(Element& self, Rect frame, LayoutContext& ctx) const override
    {
        if (self.children.empty()) return;
        Element& content = *self.children[0];
        const Size cs = content.sizeThatFits(contentProposal(ProposedSize::of(frame.size())), ctx);
        ScrollState& s = *state_;
        *s.visible = frame;
        s.viewport = along(axis_, frame.size());
        s.maxOffset = std::max(0.0, along(axis_, cs) - s.viewport);
        BuildContext* builder = ctx.builder();
        const double now = builder ? builder->now() : 0;

        // Lay out at the resting offset first, so targets can be measured.
        auto placeAt = [&](double offset) {
            const double crossSpace = across(axis_, frame.size()) - across(axis_, cs);
            const double crossShift = std::max(0.0, crossSpace) / 2;
            const Rect r = axis_ == Axis::vertical ? Rect{frame.x + crossShift, frame.y - offset, cs.width, cs.height}
                                                   : Rect{frame.x - offset, frame.y + crossShift, cs.width, cs.height};
            content.place(r, ctx);
            return r;
        };
        s.offset = std::clamp(s.offset, 0.0, s.maxOffset);
        double placedAt = s.track.started && s.track.animation ? s.track.from : s.offset;
        Rect placed = placeAt(placedAt);
        std::optional<Animation> move;

        auto reader = self.env->get<ScrollReaderKey>();
        if (reader && reader->serial != s.servedRequest && !reader->id.empty()) {
            const std::string id = reader->id;
            if (const Element* t = findElement(content, [&](const Element& e) { return e.placed && isTarget(e, id); })) {
                s.servedRequest = reader->serial;
                const double start = along(axis_, Size{t->frame.x - placed.x, t->frame.y - placed.y});
                (void)placedAt;
                const double length = along(axis_, t->frame.size());
                std::optional<double> anchor;
                if (reader->anchor) anchor = axis_ == Axis::horizontal ? reader->anchor->x : reader->anchor->y;
                s.offset = scrollOffsetFor(start, length, s.viewport, s.maxOffset, s.offset, anchor);
                move = builder ? animationForChange(self, *builder) : std::nullopt;
            }
        }
        if (options_.snapsToChildren && s.lastWheel) {
            if (now - *s.lastWheel >= scrollEndDelay) {
                std::vector<double> starts;
                itemStarts(content, axis_, axis_ == Axis::horizontal ? placed.x : placed.y, starts);
                s.offset = snapOffset(starts, s.offset, s.maxOffset, s.notchesFrom);
                s.lastWheel.reset();
                s.notchesFrom.reset();
                move = self.env->reduceMotion ? std::nullopt : std::optional(Animation::spring(0.35, 1));
            } else if (builder) {
                builder->requestFrame(scrollEndDelay - (now - *s.lastWheel));
            }
        }
        double shown = s.offset;
        if (builder) {
            if (move) {
                // A jump to a new resting place, animated from where the content is now.
                s.track.animation.reset();
                shown = detail::advanceTrack(s.track, s.offset, move, true, self, *builder);
            } else if (s.track.animation) {
                shown = detail::advanceTrack(s.track, s.offset, std::nullopt, true, self, *builder);
            } else {
                s.track = {true, s.offset, s.offset, now, std::nullopt};
            }
        }
        if (shown != placedAt) placeAt(shown);
        self.scratch = shown;
    }

    void paint(const Element& self, PaintContext& pc) const override
    {
        Node::paint(self, pc);
        const ScrollState& s = *state_;
        if (!options_.showsIndicators || s.maxOffset <= 0 || s.viewport <= 0) return;
        const double shown = self.scratch.has_value() ? std::any_cast<double>(self.scratch) : s.offset;
        const double total = s.viewport + s.maxOffset;
        const double length = std::max(20.0, s.viewport * s.viewport / total);
        const double pos = (s.viewport - length) * std::clamp(shown / s.maxOffset, 0.0, 1.0);
        const Rect f = self.frame;
        const Rect bar = axis_ == Axis::vertical ? Rect{f.maxX() - 7, f.y + pos + 2, 5, length - 4}
                                                 : Rect{f.x + pos + 2, f.maxY() - 7, length - 4, 5};
        pc.painter->save();
        pc.painter->setPen(Qt::NoPen);
        pc.painter->setBrush(toQColor(Color::dynamic(Color::white(0, 0.35), Color::white(1, 0.4)), *self.env));
        pc.painter->drawRoundedRect(QRectF(bar.x, bar.y, bar.width, bar.height), 2.5, 2.5);
        pc.painter->restore();
    }

private:
    ProposedSize contentProposal(ProposedSize p) const
    {
        // The scrolled axis is unbounded; the other is the view's.
        return axis_ == Axis::vertical ? ProposedSize{p.width, std::nullopt} : ProposedSize{std::nullopt, p.height};
    }

    Axis axis_;
    View content_;
    ScrollViewOptions options_;
    std::shared_ptr<ScrollState> state_;
};

struct EnclosingScroll {
    std::weak_ptr<ScrollState> state;
    Axis axis = Axis::vertical;
};
struct EnclosingScrollKey {
    using Value = EnclosingScroll;
    static Value defaultValue() { return {}; }
};

class ScrollNode final : public Node {
public:
    ScrollNode(Axis axis, View content, ScrollViewOptions options) : axis_(axis), content_(std::move(content)), options_(options) {}
    ScrollViewFacts facts() const { return {axis_, options_}; }

    void build(Element& self, BuildContext& ctx) const override
    {
        auto state = std::static_pointer_cast<ScrollState>(
            ctx.stateSlot(self.identity() + "#scroll", [] { return std::static_pointer_cast<void>(std::make_shared<ScrollState>()); }));
        BuildContext* builder = &ctx;
        const Axis axis = axis_;
        const bool snaps = options_.snapsToChildren;
        std::weak_ptr<ScrollState> weak = state;
        // The scroll view around this one, for movement across this one's axis.
        const EnclosingScroll outer = self.env->get<EnclosingScrollKey>();
        View v = View(detail::makeNode<ViewportNode>(axis_, content_, options_, state))
                     .clipped()
                     .contentShape(Rectangle())
                     .onScrollWheel([weak, builder, axis, snaps, outer](ScrollDelta d) {
                         auto s = weak.lock();
                         if (!s) return;
                         const double along = axis == Axis::vertical ? d.dy : d.dx;
                         const double across = axis == Axis::vertical ? d.dx : d.dy;
                         auto o = outer.state.lock();
                         // A mouse wheel turns a row that scrolls only sideways, as lists
                         // do on Linux, wherever it lies, while it has somewhere to go.
                         const bool turnsRow = axis == Axis::horizontal && d.fromWheel && s->maxOffset > 0;
                         if (o && outer.axis != axis && std::abs(across) > std::abs(along) && !turnsRow) {
                             // Mostly across this view: the enclosing page scrolls.
                             o->offset = std::clamp(o->offset + across, 0.0, o->maxOffset);
                             o->track.animation.reset();
                             builder->requestRebuild();
                             return;
                         }
                         // Alone, a plain swipe turns a horizontal list too.
                         const double delta = along != 0 ? along : across;
                         if (snaps && d.fromWheel && !s->lastWheel) s->notchesFrom = s->offset;
                         if (!d.fromWheel) s->notchesFrom.reset();
                         s->offset = std::clamp(s->offset + delta, 0.0, s->maxOffset);
                         s->track.animation.reset();
                         if (snaps) s->lastWheel = builder->now();
                         builder->requestRebuild();
                     });
        if (axis_ == Axis::horizontal) {
            // With a mouse, a row is also dragged sideways; a click on what it holds stays a click.
            v = View(detail::makeNode<DragNode>(v, axis_, [weak, builder, snaps](double moved, bool ended) {
                auto s = weak.lock();
                if (!s) return;
                if (ended) {
                    // Let go: a snapping row settles at once.
                    if (snaps) s->lastWheel = builder->now() - scrollEndDelay;
                } else {
                    s->offset = std::clamp(s->offset - moved, 0.0, s->maxOffset);
                    s->track.animation.reset();
                    s->lastWheel.reset();
                    s->notchesFrom.reset();
                }
                builder->requestRebuild();
            }));
        }
        auto env = detail::makeNode<EnvironmentValues>(*self.env);
        env->set<EnclosingScrollKey>(EnclosingScroll{state, axis_});
        env->set<VisibleRegionKey>(state->visible);
        ctx.addChild(self, v, "v", env);
    }

private:
    Axis axis_;
    View content_;
    ScrollViewOptions options_;
};

class ScrollReaderNode final : public Node {
public:
    explicit ScrollReaderNode(std::function<View(ScrollProxy)> content) : content_(std::move(content)) {}
    void build(Element& self, BuildContext& ctx) const override
    {
        // One request object per reader identity, so a proxy kept by a
        // closure still reaches the scroll views after a rebuild.
        auto request = std::static_pointer_cast<ScrollProxy::Request>(
            ctx.stateSlot(self.identity() + "#reader", [] { return std::static_pointer_cast<void>(std::make_shared<ScrollProxy::Request>()); }));
        BuildContext* builder = &ctx;
        request->invalidate = [builder] { builder->requestRebuild(); };
        ScrollProxy proxy(request);
        auto env = detail::makeNode<EnvironmentValues>(*self.env);
        env->set<ScrollReaderKey>(request);
        ctx.addChild(self, content_ ? content_(proxy) : View(), "r", env);
    }

private:
    std::function<View(ScrollProxy)> content_;
};

}  // namespace

View ScrollView(Axis axis, View content, ScrollViewOptions options)
{
    return View(detail::makeNode<ScrollNode>(axis, std::move(content), options));
}

std::optional<ScrollViewFacts> scrollViewFacts(const Element& e)
{
    if (auto* n = dynamic_cast<const ScrollNode*>(e.node.get())) return n->facts();
    return std::nullopt;
}

View ScrollViewReader(std::function<View(ScrollProxy)> content)
{
    return View(detail::makeNode<ScrollReaderNode>(std::move(content)));
}

}  // namespace platform::ui
