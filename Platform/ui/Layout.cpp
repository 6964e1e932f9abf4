// Stacks, spacers, frames, padding and the other layout modifiers, following
// the proposal model: a parent proposes, the child chooses, the parent places.

#include "ui/Modifiers.h"
#include "ui/Painting.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

namespace platform::ui {

namespace {

double mainOf(Axis a, Size s) { return a == Axis::horizontal ? s.width : s.height; }
double crossOf(Axis a, Size s) { return a == Axis::horizontal ? s.height : s.width; }
Size sizeFor(Axis a, double main, double cross) { return a == Axis::horizontal ? Size{main, cross} : Size{cross, main}; }
ProposedSize proposalFor(Axis a, std::optional<double> main, std::optional<double> cross)
{
    return a == Axis::horizontal ? ProposedSize{main, cross} : ProposedSize{cross, main};
}
std::optional<double> mainOf(Axis a, const ProposedSize& p) { return a == Axis::horizontal ? p.width : p.height; }
std::optional<double> crossOf(Axis a, const ProposedSize& p) { return a == Axis::horizontal ? p.height : p.width; }

double alignOffset(HorizontalAlignment a, double container, double child) { return alignedOffset(a, container, child); }
double alignOffset(VerticalAlignment a, double container, double child)
{
    switch (a) {
    case VerticalAlignment::top:
    case VerticalAlignment::firstTextBaseline:
    case VerticalAlignment::lastTextBaseline: return 0;
    case VerticalAlignment::center: return (container - child) / 2;
    case VerticalAlignment::bottom: return container - child;
    }
    return 0;
}

Point aligned(Alignment a, Size container, Size child)
{
    return {alignOffset(a.horizontal, container.width, child.width), alignOffset(a.vertical, container.height, child.height)};
}

// --- Stacks -----------------------------------------------------------------

class StackNode final : public Node {
public:
    StackNode(Axis axis, HorizontalAlignment h, VerticalAlignment v, std::optional<double> spacing, ViewList children)
        : axis_(axis), h_(h), v_(v), spacing_(spacing.value_or(defaultSpacing)), children_(std::move(children)) {}

    void build(Element& self, BuildContext& ctx) const override { addContainerChildren(self, ctx, children_, axis_); }

    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const override
    {
        const Distribution& d = distribute(self, p, ctx);
        double main = spacingTotal(self);
        for (const Item& item : d.items) main += mainOf(axis_, item.size);
        return sizeFor(axis_, main, crossExtent(self, d, ctx).total);
    }

    void place(Element& self, Rect frame, LayoutContext& ctx) const override
    {
        const Distribution& keep = distribute(self, self.proposal, ctx);
        const Extent extent = crossExtent(self, keep, ctx);
        const double crossRoom = crossOf(axis_, frame.size());
        double blockOffset = 0;  // the aligned block inside a larger frame
        if (axis_ == Axis::horizontal)
            blockOffset = alignOffset(v_, crossRoom, extent.total);
        else
            blockOffset = alignOffset(h_, crossRoom, extent.total);
        double pos = 0;
        for (size_t i = 0; i < self.children.size(); ++i) {
            const Size s = keep.items[i].size;
            const double cross = blockOffset + extent.before - keep.items[i].guide;
            const Rect r = axis_ == Axis::horizontal ? Rect{frame.x + pos, frame.y + cross, s.width, s.height}
                                                    : Rect{frame.x + cross, frame.y + pos, s.width, s.height};
            self.children[i]->place(r, keep.items[i].proposal, ctx);
            pos += mainOf(axis_, s) + spacing_;
        }
    }

    std::optional<double> firstBaseline(Element& self, Size size, LayoutContext& ctx) const override
    {
        return baseline(self, size, ctx, true);
    }
    std::optional<double> lastBaseline(Element& self, Size size, LayoutContext& ctx) const override
    {
        return baseline(self, size, ctx, false);
    }

private:
    struct Extent {
        double before = 0;  // room above (left of) the alignment guide
        double total = 0;
    };
    // One allocation per distribution: each child's size, the offer that
    // gave it and, once asked for, its alignment guide.
    struct Item {
        Size size;
        ProposedSize proposal;  // what the child was offered
        double guide = 0;
    };
    struct Distribution {
        mutable std::vector<Item, detail::NodeAllocator<Item>> items;
        mutable Extent extent;
        mutable bool extentKnown = false;
    };

    double spacingTotal(const Element& self) const
    {
        return self.children.size() > 1 ? spacing_ * double(self.children.size() - 1) : 0;
    }

    double guide(Element& child, Size s, LayoutContext& ctx) const
    {
        if (axis_ == Axis::vertical) {
            switch (h_) {
            case HorizontalAlignment::leading: return 0;
            case HorizontalAlignment::center: return s.width / 2;
            case HorizontalAlignment::trailing: return s.width;
            }
        }
        switch (v_) {
        case VerticalAlignment::top: return 0;
        case VerticalAlignment::center: return s.height / 2;
        case VerticalAlignment::bottom: return s.height;
        case VerticalAlignment::firstTextBaseline: return child.firstBaseline(s, ctx).value_or(s.height);
        case VerticalAlignment::lastTextBaseline: return child.lastBaseline(s, ctx).value_or(s.height);
        }
        return 0;
    }

    // The cross-axis block of a distribution; the guides are kept with it,
    // so measuring and placing under the same proposal work them out once.
    Extent crossExtent(Element& self, const Distribution& d, LayoutContext& ctx) const
    {
        if (d.extentKnown)
            return d.extent;
        Extent e;
        double after = 0;
        for (size_t i = 0; i < d.items.size(); ++i) {
            const Size s = d.items[i].size;
            const double g = guide(*self.children[i], s, ctx);
            d.items[i].guide = g;
            e.before = std::max(e.before, g);
            after = std::max(after, crossOf(axis_, s) - g);
        }
        e.total = e.before + after;
        d.extent = e;
        d.extentKnown = true;
        return e;
    }

    std::optional<double> baseline(Element& self, Size size, LayoutContext& ctx, bool first) const
    {
        if (self.children.empty())
            return std::nullopt;
        const Distribution& d = distribute(self, ProposedSize::of(size), ctx);
        const size_t n = d.items.size();
        if (axis_ == Axis::vertical) {
            double pos = 0;
            std::optional<double> result;
            for (size_t i = 0; i < n; ++i) {
                const Size s = d.items[i].size;
                auto b = first ? self.children[i]->firstBaseline(s, ctx) : self.children[i]->lastBaseline(s, ctx);
                if (b) {
                    if (first) return pos + *b;
                    result = pos + *b;
                }
                pos += s.height + spacing_;
            }
            return result;
        }
        const Extent extent = crossExtent(self, d, ctx);
        const double blockOffset = alignOffset(v_, size.height, extent.total);
        std::optional<double> result;
        for (size_t i = 0; i < n; ++i) {
            const Size s = d.items[i].size;
            auto b = first ? self.children[i]->firstBaseline(s, ctx) : self.children[i]->lastBaseline(s, ctx);
            if (!b) continue;
            const double y = blockOffset + extent.before - d.items[i].guide + *b;
            if (!result || (first ? y < *result : y > *result)) result = y;
        }
        return result;
    }

    // The memo lives in a pooled block; the element's scratch holds only its
    // address, small enough for `std::any` to keep inline.
    struct Memo {
        unsigned pass = 0;
        unsigned next = 0;
        std::vector<std::pair<ProposedSize, Distribution>, detail::NodeAllocator<std::pair<ProposedSize, Distribution>>> entries;  // at most 12, reused
    };
    class MemoRef {
    public:
        MemoRef() : memo_(new (detail::nodeAllocate(sizeof(Memo))) Memo) {}
        MemoRef(const MemoRef& other) : MemoRef() { *memo_ = *other.memo_; }
        MemoRef(MemoRef&& other) noexcept : memo_(std::exchange(other.memo_, nullptr)) {}
        MemoRef& operator=(const MemoRef&) = delete;
        ~MemoRef()
        {
            if (!memo_) return;
            memo_->~Memo();
            detail::nodeDeallocate(memo_, sizeof(Memo));
        }
        Memo* get() const { return memo_; }

    private:
        Memo* memo_;
    };

    // Measuring, placing and baselines ask for the same proposals; each is
    // worked out once per layout pass. The result stays valid until this
    // element distributes again.
    const Distribution& distribute(Element& self, ProposedSize p, LayoutContext& ctx) const
    {
        auto* ref = std::any_cast<MemoRef>(&self.scratch);
        if (!ref) {
            self.scratch.emplace<MemoRef>();
            ref = std::any_cast<MemoRef>(&self.scratch);
        }
        Memo* memo = ref->get();
        if (memo->pass != ctx.pass()) {
            memo->pass = ctx.pass();
            memo->entries.clear();
            memo->next = 0;
        }
        for (const auto& [proposal, d] : memo->entries)
            if (proposal == p)
                return d;
        // Children are measured meanwhile; they never touch this element's memo.
        Distribution d = distributeUncached(self, p, ctx);
        if (memo->entries.empty()) memo->entries.reserve(4);
        if (memo->entries.size() < 12) {
            memo->entries.emplace_back(p, std::move(d));
            return memo->entries.back().second;
        }
        auto& slot = memo->entries[memo->next++ % 12];
        slot = {p, std::move(d)};
        return slot.second;
    }

    // Sizes of the children for a proposal: the least flexible child of the
    // highest priority is offered its share first; lower priorities keep
    // their minimum in reserve.
    Distribution distributeUncached(Element& self, ProposedSize p, LayoutContext& ctx) const
    {
        const size_t n = self.children.size();
        Distribution d;
        d.items.resize(n);
        auto& items = d.items;
        const auto mainP = mainOf(axis_, p);
        const auto crossP = crossOf(axis_, p);
        if (!mainP || std::isinf(*mainP)) {
            // No limit (an ideal size, or all the room there is): every child
            // gets the same offer, whatever the order, so no probing is needed.
            for (size_t i = 0; i < n; ++i) {
                items[i].proposal = proposalFor(axis_, mainP, crossP);
                items[i].size = self.children[i]->sizeThatFits(items[i].proposal, ctx);
            }
            return d;
        }
        // Working arrays on the stack for the usual handful of children.
        constexpr size_t kInline = 16;
        double inlineNumbers[3 * kInline];
        size_t inlineOrder[kInline];
        std::vector<double> heapNumbers;
        std::vector<size_t> heapOrder;
        double* numbers = inlineNumbers;
        size_t* order = inlineOrder;
        if (n > kInline) {
            heapNumbers.resize(3 * n);
            heapOrder.resize(n);
            numbers = heapNumbers.data();
            order = heapOrder.data();
        }
        double* minimum = numbers;
        double* flexibility = numbers + n;
        double* priority = numbers + 2 * n;
        for (size_t i = 0; i < n; ++i) {
            priority[i] = self.children[i]->layoutPriorityTrait;
            Element& c = *self.children[i];
            minimum[i] = mainOf(axis_, c.sizeThatFits(proposalFor(axis_, 0.0, crossP), ctx));
            const double maximum = mainOf(axis_, c.sizeThatFits(proposalFor(axis_, infinity, crossP), ctx));
            flexibility[i] = maximum - minimum[i];
            order[i] = i;
        }
        const auto before = [&](size_t a, size_t b) {
            if (priority[a] != priority[b]) return priority[a] > priority[b];
            return flexibility[a] < flexibility[b];
        };
        if (n <= kInline) {
            // A stable insertion sort: no buffer for the usual few children.
            for (size_t i = 1; i < n; ++i) {
                const size_t v = order[i];
                size_t j = i;
                for (; j > 0 && before(v, order[j - 1]); --j) order[j] = order[j - 1];
                order[j] = v;
            }
        } else {
            std::stable_sort(order, order + n, before);
        }
        double remaining = *mainP - spacingTotal(self);
        size_t i = 0;
        while (i < n) {
            const double group = priority[order[i]];
            size_t end = i;
            while (end < n && priority[order[end]] == group) ++end;
            double reserved = 0;
            for (size_t k = end; k < n; ++k) reserved += minimum[order[k]];
            // Spacers wait with their minimum until the views beside them
            // have chosen, then share what is left.
            size_t* mid = stablePartitionSpacers(self, order + i, order + end);
            const size_t views = size_t(mid - (order + i)), spacers = size_t((order + end) - mid);
            double spacerMinimum = 0;
            for (size_t k = 0; k < spacers; ++k) spacerMinimum += minimum[mid[k]];
            double budget = remaining - reserved;
            for (size_t k = 0; k < views + spacers; ++k) {
                const size_t idx = order[i + k];
                const bool spacer = k >= views;
                const double offer = spacer ? std::max(0.0, budget / double(views + spacers - k))
                                            : std::max(0.0, (budget - spacerMinimum) / double(views - k));
                items[idx].proposal = proposalFor(axis_, offer, crossP);
                items[idx].size = self.children[idx]->sizeThatFits(items[idx].proposal, ctx);
                budget -= mainOf(axis_, items[idx].size);
                remaining -= mainOf(axis_, items[idx].size);
            }
            i = end;
        }
        return d;
    }

    // Views first, spacers last, each in their order, without the heap
    // buffer std::stable_partition takes on every call.
    static size_t* stablePartitionSpacers(const Element& self, size_t* first, size_t* last)
    {
        constexpr size_t kInline = 16;
        size_t inlineSpacers[kInline];
        std::vector<size_t> heapSpacers;
        size_t spacers = 0;
        size_t* out = first;
        for (size_t* it = first; it != last; ++it) {
            if (!self.children[*it]->node->isSpacer()) {
                *out++ = *it;
                continue;
            }
            if (spacers < kInline) {
                inlineSpacers[spacers] = *it;
            } else {
                if (heapSpacers.empty()) heapSpacers.assign(inlineSpacers, inlineSpacers + kInline);
                heapSpacers.push_back(*it);
            }
            ++spacers;
        }
        const size_t* from = heapSpacers.empty() ? inlineSpacers : heapSpacers.data();
        std::copy(from, from + spacers, out);
        return out;
    }

    Axis axis_;
    HorizontalAlignment h_;
    VerticalAlignment v_;
    double spacing_;
    ViewList children_;
};

class ZStackNode final : public Node {
public:
    ZStackNode(Alignment alignment, ViewList children) : alignment_(alignment), children_(std::move(children)) {}

    void build(Element& self, BuildContext& ctx) const override { addContainerChildren(self, ctx, children_); }

    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const override
    {
        return largestChildSize(self, p, ctx);
    }

    void place(Element& self, Rect frame, LayoutContext& ctx) const override
    {
        for (auto& c : self.children) {
            const Size cs = c->sizeThatFits(self.proposal, ctx);
            const Point o = aligned(alignment_, frame.size(), cs);
            c->place({frame.x + o.x, frame.y + o.y, cs.width, cs.height}, self.proposal, ctx);
        }
    }

    std::optional<double> firstBaseline(Element& self, Size size, LayoutContext& ctx) const override
    {
        for (auto& c : self.children) {
            const Size cs = c->sizeThatFits(ProposedSize::of(size), ctx);
            if (auto b = c->firstBaseline(cs, ctx))
                return aligned(alignment_, size, cs).y + *b;
        }
        return std::nullopt;
    }

private:
    Alignment alignment_;
    ViewList children_;
};

class SpacerNode final : public Node {
public:
    explicit SpacerNode(std::optional<double> minLength) : minLength_(minLength) {}
    bool isSpacer() const override { return true; }
    std::optional<double> spacerMinLength() const override { return minLength_; }

    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext&) const override
    {
        const double minimum = minLength_.value_or(defaultSpacing);
        auto along = [&](std::optional<double> offer) { return std::max(minimum, offer.value_or(minimum)); };
        if (!self.stackAxis) {
            // Outside a stack a spacer takes what it is offered on both axes.
            return {along(p.width), along(p.height)};
        }
        if (*self.stackAxis == Axis::horizontal)
            return {along(p.width), 0};
        return {0, along(p.height)};
    }

private:
    std::optional<double> minLength_;
};

class DividerNode final : public Node {
public:
    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext&) const override
    {
        if (self.stackAxis == Axis::horizontal)
            return {1, std::isfinite(p.height.value_or(0)) ? p.height.value_or(0) : 0};
        return {std::isfinite(p.width.value_or(0)) ? p.width.value_or(0) : 0, 1};
    }
    void paint(const Element& self, PaintContext& pc) const override
    {
        pc.painter->fillRect(QRectF(self.frame.x, self.frame.y, self.frame.width, self.frame.height),
                             toQColor(Color::primary().opacity(0.12 / 0.85), *self.env));
    }
};

class GeometryReaderNode final : public Node {
public:
    explicit GeometryReaderNode(std::function<View(const GeometryProxy&)> f) : f_(std::move(f)) {}

    Size sizeThatFits(Element&, ProposedSize p, LayoutContext&) const override { return p.replacingUnspecified({10, 10}); }

    void place(Element& self, Rect frame, LayoutContext& ctx) const override
    {
        // Content depends on the final size, so it is built here.
        self.children.clear();
        if (!f_ || !ctx.builder())
            return;
        Element& child = ctx.builder()->addChild(self, f_(GeometryProxy{frame.size(), frame}), ".g");
        const Size cs = child.sizeThatFits(ProposedSize::of(frame.size()), ctx);
        child.place({frame.x, frame.y, cs.width, cs.height}, ctx);
    }

private:
    std::function<View(const GeometryProxy&)> f_;
};

class ViewThatFitsNode final : public Node {
public:
    ViewThatFitsNode(Axes axes, ViewList candidates) : axes_(axes), candidates_(std::move(candidates)) {}

    void build(Element& self, BuildContext& ctx) const override
    {
        for (size_t i = 0; i < candidates_.size(); ++i) ctx.addChild(self, candidates_[i], std::to_string(i));
    }

    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const override
    {
        if (self.children.empty()) return {0, 0};
        return self.children[choose(self, p, ctx)]->sizeThatFits(p, ctx);
    }

    void place(Element& self, Rect frame, LayoutContext& ctx) const override
    {
        if (self.children.empty()) return;
        const size_t i = choose(self, self.proposal, ctx);
        self.children[i]->place(frame, self.proposal, ctx);
    }

    std::optional<double> firstBaseline(Element& self, Size size, LayoutContext& ctx) const override
    {
        if (self.children.empty()) return std::nullopt;
        return self.children[choose(self, ProposedSize::of(size), ctx)]->firstBaseline(size, ctx);
    }

private:
    size_t choose(Element& self, ProposedSize p, LayoutContext& ctx) const
    {
        for (size_t i = 0; i < self.children.size(); ++i) {
            const ProposedSize idealOffer{axes_.horizontal ? std::nullopt : p.width, axes_.vertical ? std::nullopt : p.height};
            const Size ideal = self.children[i]->sizeThatFits(idealOffer, ctx);
            const bool fitsW = !axes_.horizontal || !p.width || ideal.width <= *p.width + 1e-9;
            const bool fitsH = !axes_.vertical || !p.height || ideal.height <= *p.height + 1e-9;
            if (fitsW && fitsH)
                return i;
        }
        return self.children.size() - 1;
    }

    Axes axes_;
    ViewList candidates_;
};

}  // namespace

// --- Modifier node layout -----------------------------------------------------

EnvironmentPatch EnvironmentPatch::merge(EnvironmentPatch outer, const EnvironmentPatch& inner)
{
    EnvironmentPatch& m = outer;
    if (inner.font) m.font = inner.font;
    if (inner.foregroundStyle) m.foregroundStyle = inner.foregroundStyle;
    if (inner.lineLimit) m.lineLimit = inner.lineLimit;
    if (inner.truncationMode) m.truncationMode = inner.truncationMode;
    if (inner.minimumScaleFactor) m.minimumScaleFactor = inner.minimumScaleFactor;
    if (inner.multilineTextAlignment) m.multilineTextAlignment = inner.multilineTextAlignment;
    if (inner.fontWeight) m.fontWeight = inner.fontWeight;
    if (inner.tracking) m.tracking = inner.tracking;
    m.monospacedDigit = m.monospacedDigit || inner.monospacedDigit;
    m.disabled = m.disabled || inner.disabled;
    return outer;
}

void EnvironmentPatch::mergeOuter(EnvironmentPatch&& outer)
{
    if (!font) font = std::move(outer.font);
    if (!foregroundStyle) foregroundStyle = std::move(outer.foregroundStyle);
    if (!lineLimit) lineLimit = outer.lineLimit;
    if (!truncationMode) truncationMode = outer.truncationMode;
    if (!minimumScaleFactor) minimumScaleFactor = outer.minimumScaleFactor;
    if (!multilineTextAlignment) multilineTextAlignment = outer.multilineTextAlignment;
    if (!fontWeight) fontWeight = outer.fontWeight;
    if (!tracking) tracking = outer.tracking;
    monospacedDigit = outer.monospacedDigit || monospacedDigit;
    disabled = outer.disabled || disabled;
}

void EnvironmentPatch::apply(EnvironmentValues& env) const
{
    if (fontWeight) env.fontWeight = fontWeight;
    if (monospacedDigit) env.monospacedDigit = true;
    if (font) env.font = *font;
    if (env.fontWeight) env.font = env.font.weight(*env.fontWeight);
    if (env.monospacedDigit && !env.font.hasMonospacedDigits()) env.font = env.font.monospacedDigit();
    if (tracking) env.tracking = tracking;
    if (env.tracking && env.font.tracking() != *env.tracking) env.font = env.font.tracking(*env.tracking);
    if (foregroundStyle) env.foregroundStyle = *foregroundStyle;
    if (lineLimit) env.lineLimit = *lineLimit;
    if (truncationMode) env.truncationMode = *truncationMode;
    if (minimumScaleFactor) env.minimumScaleFactor = *minimumScaleFactor;
    if (multilineTextAlignment) env.multilineTextAlignment = *multilineTextAlignment;
    if (disabled) env.isEnabled = false;
}

EnvironmentPtr EnvironmentModifierNode::childEnvironment(const Element& self) const
{
    auto env = detail::makeNode<EnvironmentValues>(*self.env);
    if (change_)
        change_(*env);
    else
        patch_.apply(*env);
    return env;
}

namespace {
// `expiring`: `v` is a temporary (the chain being written), so when nothing
// else holds its patch node, the new patch is merged into that node in place.
View patched(const View& v, EnvironmentPatch&& patch, bool expiring = false)
{
    const Node* node = v.node().get();
    if (typeid(*node) != typeid(EnvironmentModifierNode))  // final: no subclasses to miss
        return View(detail::makeNode<EnvironmentModifierNode>(v, std::move(patch)));
    auto* inner = static_cast<const EnvironmentModifierNode*>(node);
    if (!inner->isPatch())
        return View(detail::makeNode<EnvironmentModifierNode>(v, std::move(patch)));
    if (expiring && v.node().use_count() == 1) {
        const_cast<EnvironmentModifierNode*>(inner)->mergeOuter(std::move(patch));
        return v;
    }
    return View(detail::makeNode<EnvironmentModifierNode>(inner->content(), EnvironmentPatch::merge(std::move(patch), inner->patch())));
}
}  // namespace

void IdNode::build(Element& self, BuildContext& ctx) const
{
    Element& child = ctx.addChild(self, content_, "#" + id_);
    self.layoutPriorityTrait = child.layoutPriorityTrait;
    self.zIndexTrait = child.zIndexTrait;
}

void TraitNode::build(Element& self, BuildContext& ctx) const
{
    ModifierNode::build(self, ctx);
    if (priority_) self.layoutPriorityTrait = *priority_;
    if (z_) self.zIndexTrait = *z_;
}

ProposedSize FrameNode::childProposal(ProposedSize p) const
{
    if (fixed_)
        return {spec_.idealWidth ? spec_.idealWidth : p.width, spec_.idealHeight ? spec_.idealHeight : p.height};
    auto axis = [](std::optional<double> offer, std::optional<double> lo, std::optional<double> ideal,
                   std::optional<double> hi) -> std::optional<double> {
        if (!offer) return ideal;
        double v = *offer;
        if (lo) v = std::max(v, *lo);
        if (hi) v = std::min(v, *hi);
        return v;
    };
    return {axis(p.width, spec_.minWidth, spec_.idealWidth, spec_.maxWidth),
            axis(p.height, spec_.minHeight, spec_.idealHeight, spec_.maxHeight)};
}

Size FrameNode::sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const
{
    const ProposedSize cp = childProposal(p);
    if (fixed_ && spec_.idealWidth && spec_.idealHeight)
        return {*spec_.idealWidth, *spec_.idealHeight};
    const Size child = self.children.empty() ? Size{} : self.children.front()->sizeThatFits(cp, ctx);
    if (fixed_)
        return {spec_.idealWidth.value_or(child.width), spec_.idealHeight.value_or(child.height)};
    auto axis = [](double childSize, std::optional<double> offer, std::optional<double> lo,
                   std::optional<double> ideal, std::optional<double> hi) {
        if (!offer && ideal) {
            double v = *ideal;
            if (lo) v = std::max(v, *lo);
            if (hi) v = std::min(v, *hi);
            return v;
        }
        double r = childSize;
        if (!lo && !hi) return r;
        const double room = offer ? *offer : childSize;
        if (lo) r = std::max(*lo, std::min(r, room));
        if (hi) r = std::min(*hi, std::max(r, room));
        return r;
    };
    return {axis(child.width, p.width, spec_.minWidth, spec_.idealWidth, spec_.maxWidth),
            axis(child.height, p.height, spec_.minHeight, spec_.idealHeight, spec_.maxHeight)};
}

void FrameNode::place(Element& self, Rect frame, LayoutContext& ctx) const
{
    if (self.children.empty()) return;
    Element& c = *self.children.front();
    const ProposedSize cp = childProposal(self.proposal);
    const Size cs = c.sizeThatFits(cp, ctx);
    const Point o = aligned(spec_.alignment, frame.size(), cs);
    c.place({frame.x + o.x, frame.y + o.y, cs.width, cs.height}, cp, ctx);
}

Size PaddingNode::sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const
{
    const double h = insets_.leading + insets_.trailing, v = insets_.top + insets_.bottom;
    ProposedSize cp;
    if (p.width) cp.width = std::max(0.0, *p.width - h);
    if (p.height) cp.height = std::max(0.0, *p.height - v);
    const Size c = self.children.empty() ? Size{} : self.children.front()->sizeThatFits(cp, ctx);
    return {c.width + h, c.height + v};
}

void PaddingNode::place(Element& self, Rect frame, LayoutContext& ctx) const
{
    if (self.children.empty()) return;
    const Rect inner{frame.x + insets_.leading, frame.y + insets_.top,
                     std::max(0.0, frame.width - insets_.leading - insets_.trailing),
                     std::max(0.0, frame.height - insets_.top - insets_.bottom)};
    ProposedSize cp;
    if (self.proposal.width) cp.width = std::max(0.0, *self.proposal.width - insets_.leading - insets_.trailing);
    if (self.proposal.height) cp.height = std::max(0.0, *self.proposal.height - insets_.top - insets_.bottom);
    self.children.front()->place(inner, cp, ctx);
}

ProposedSize FixedSizeNode::childProposal(ProposedSize p) const
{
    return {h_ ? std::nullopt : p.width, v_ ? std::nullopt : p.height};
}

Size FixedSizeNode::sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const
{
    return self.children.empty() ? Size{} : self.children.front()->sizeThatFits(childProposal(p), ctx);
}

void FixedSizeNode::place(Element& self, Rect frame, LayoutContext& ctx) const
{
    if (self.children.empty()) return;
    Element& c = *self.children.front();
    // The fixed axes keep their ideal size, centred in whatever room is given.
    const Size ideal = c.sizeThatFits(childProposal(self.proposal), ctx);
    const double w = h_ ? ideal.width : frame.width, hgt = v_ ? ideal.height : frame.height;
    // Placed under its ideal size as a firm offer, so flexible parts inside
    // (a column with an unbounded height) grow to it.
    c.place({frame.x + (frame.width - w) / 2, frame.y + (frame.height - hgt) / 2, w, hgt}, ProposedSize::of({w, hgt}), ctx);
}

void LayeredNode::build(Element& self, BuildContext& ctx) const
{
    self.children.reserve(2);
    ModifierNode::build(self, ctx);
    ctx.addChild(self, secondary_, behind_ ? ".b" : ".o");
}

void LayeredNode::place(Element& self, Rect frame, LayoutContext& ctx) const
{
    self.children[0]->place(frame, self.proposal, ctx);
    Element& s = *self.children[1];
    const Size ss = s.sizeThatFits(ProposedSize::of(frame.size()), ctx);
    const Point o = aligned(alignment_, frame.size(), ss);
    s.place({frame.x + o.x, frame.y + o.y, ss.width, ss.height}, ctx);
}

void LayeredNode::paint(const Element& self, PaintContext& pc) const
{
    if (behind_) {
        self.children[1]->paint(pc);
        self.children[0]->paint(pc);
    } else {
        self.children[0]->paint(pc);
        self.children[1]->paint(pc);
    }
}

Size PositionNode::sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const
{
    const Size ideal = self.children.empty() ? Size{} : self.children.front()->sizeThatFits(p, ctx);
    Size s = p.replacingUnspecified(ideal);
    if (!std::isfinite(s.width)) s.width = ideal.width;
    if (!std::isfinite(s.height)) s.height = ideal.height;
    return s;
}

void PositionNode::place(Element& self, Rect frame, LayoutContext& ctx) const
{
    if (self.children.empty()) return;
    Element& c = *self.children.front();
    const Size cs = c.sizeThatFits(ProposedSize::of(frame.size()), ctx);
    c.place({frame.x + p_.x - cs.width / 2, frame.y + p_.y - cs.height / 2, cs.width, cs.height}, ctx);
}

double AspectRatioNode::ratioOf(Element& self, LayoutContext& ctx) const
{
    if (ratio_ && *ratio_ > 0) return *ratio_;
    if (self.children.empty()) return 1;
    const Size ideal = self.children.front()->sizeThatFits(ProposedSize::unspecified(), ctx);
    return ideal.height > 0 ? ideal.width / ideal.height : 1;
}

Size AspectRatioNode::sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const
{
    if (self.children.empty()) return {0, 0};
    const double r = ratioOf(self, ctx);
    Size target;
    if (!p.width && !p.height) {
        const Size ideal = self.children.front()->sizeThatFits(ProposedSize::unspecified(), ctx);
        target = {ideal.width, ideal.width / r};
    } else if (!p.height || !std::isfinite(*p.height)) {
        const double w = p.width.value_or(0);
        target = {w, w / r};
    } else if (!p.width || !std::isfinite(*p.width)) {
        target = {*p.height * r, *p.height};
    } else {
        const double w = *p.width, h = *p.height;
        const bool widthBound = (w / r <= h) == (mode_ == ContentMode::fit);
        target = widthBound ? Size{w, w / r} : Size{h * r, h};
    }
    return self.children.front()->sizeThatFits(ProposedSize::of(target), ctx);
}

void AspectRatioNode::place(Element& self, Rect frame, LayoutContext& ctx) const
{
    if (self.children.empty()) return;
    const Size s = sizeThatFits(self, ProposedSize::of(frame.size()), ctx);
    self.children.front()->place({frame.midX() - s.width / 2, frame.midY() - s.height / 2, s.width, s.height}, ctx);
}

// --- Factories ----------------------------------------------------------------

View VStack(HorizontalAlignment alignment, std::optional<double> spacing, ViewList children)
{
    return View(detail::makeNode<StackNode>(Axis::vertical, alignment, VerticalAlignment::center, spacing, std::move(children)));
}
View VStack(ViewList children) { return VStack(HorizontalAlignment::center, std::nullopt, std::move(children)); }
View HStack(VerticalAlignment alignment, std::optional<double> spacing, ViewList children)
{
    return View(detail::makeNode<StackNode>(Axis::horizontal, HorizontalAlignment::center, alignment, spacing, std::move(children)));
}
View HStack(ViewList children) { return HStack(VerticalAlignment::center, std::nullopt, std::move(children)); }
View ZStack(Alignment alignment, ViewList children) { return View(detail::makeNode<ZStackNode>(alignment, std::move(children))); }
View ZStack(ViewList children) { return ZStack(Alignment::center, std::move(children)); }
View Spacer(std::optional<double> minLength) { return View(detail::makeNode<SpacerNode>(minLength)); }
View Divider() { return View(detail::makeNode<DividerNode>()); }
View GeometryReader(std::function<View(const GeometryProxy&)> content)
{
    return View(detail::makeNode<GeometryReaderNode>(std::move(content)));
}
View ViewThatFits(Axes axes, ViewList candidates) { return View(detail::makeNode<ViewThatFitsNode>(axes, std::move(candidates))); }
View ViewThatFits(ViewList candidates) { return ViewThatFits(Axes::both(), std::move(candidates)); }

View View::id(std::string identifier) const { return View(detail::makeNode<IdNode>(*this, std::move(identifier))); }

View View::frame(std::optional<double> width, std::optional<double> height, Alignment alignment) const
{
    FrameSpec config;
    config.idealWidth = width;
    config.idealHeight = height;
    config.alignment = alignment;
    return View(detail::makeNode<FrameNode>(*this, config, true));
}

View View::frame(const FrameSpec& config) const { return View(detail::makeNode<FrameNode>(*this, config, false)); }
View View::padding() const { return padding(Edges::all(), defaultPadding); }
View View::padding(double amount) const { return padding(Edges::all(), amount); }
View View::padding(Edges edges) const { return padding(edges, defaultPadding); }
View View::padding(Edges edges, double amount) const { return padding(EdgeInsets::on(edges, amount)); }
View View::padding(EdgeInsets insets) const { return View(detail::makeNode<PaddingNode>(*this, insets)); }
View View::fixedSize(bool horizontal, bool vertical) const
{
    return View(detail::makeNode<FixedSizeNode>(*this, horizontal, vertical));
}
View View::layoutPriority(double priority) const { return View(detail::makeNode<TraitNode>(*this, priority, std::nullopt)); }
View View::zIndex(double z) const { return View(detail::makeNode<TraitNode>(*this, std::nullopt, z)); }
View View::overlay(View content, Alignment alignment) const
{
    return View(detail::makeNode<LayeredNode>(*this, std::move(content), alignment, false));
}
View View::background(View content, Alignment alignment) const
{
    return View(detail::makeNode<LayeredNode>(*this, std::move(content), alignment, true));
}
View View::position(double x, double y) const { return View(detail::makeNode<PositionNode>(*this, Point{x, y})); }
View View::hidden() const { return View(detail::makeNode<HiddenNode>(*this)); }
View View::aspectRatio(std::optional<double> ratio, ContentMode mode) const
{
    return View(detail::makeNode<AspectRatioNode>(*this, ratio, mode));
}

View View::environment(std::function<void(EnvironmentValues&)> change) const
{
    return View(detail::makeNode<EnvironmentModifierNode>(*this, std::move(change)));
}
View View::font(Font f) const& { return patched(*this, EnvironmentPatch{.font = std::move(f)}); }
View View::font(Font f) && { return patched(*this, EnvironmentPatch{.font = std::move(f)}, true); }
View View::foregroundStyle(ShapeStyle s) const& { return patched(*this, EnvironmentPatch{.foregroundStyle = std::move(s)}); }
View View::foregroundStyle(ShapeStyle s) && { return patched(*this, EnvironmentPatch{.foregroundStyle = std::move(s)}, true); }
View View::lineLimit(std::optional<int> lines) const& { return patched(*this, EnvironmentPatch{.lineLimit = lines}); }
View View::lineLimit(std::optional<int> lines) && { return patched(*this, EnvironmentPatch{.lineLimit = lines}, true); }
View View::truncationMode(TruncationMode m) const& { return patched(*this, EnvironmentPatch{.truncationMode = m}); }
View View::truncationMode(TruncationMode m) && { return patched(*this, EnvironmentPatch{.truncationMode = m}, true); }
View View::minimumScaleFactor(double f) const&
{
    return patched(*this, EnvironmentPatch{.minimumScaleFactor = std::clamp(f, 0.01, 1.0)});
}
View View::minimumScaleFactor(double f) && { return patched(*this, EnvironmentPatch{.minimumScaleFactor = std::clamp(f, 0.01, 1.0)}, true); }
View View::multilineTextAlignment(TextAlignment a) const& { return patched(*this, EnvironmentPatch{.multilineTextAlignment = a}); }
View View::multilineTextAlignment(TextAlignment a) && { return patched(*this, EnvironmentPatch{.multilineTextAlignment = a}, true); }
View View::fontWeight(FontWeight w) const& { return patched(*this, EnvironmentPatch{.fontWeight = w}); }
View View::fontWeight(FontWeight w) && { return patched(*this, EnvironmentPatch{.fontWeight = w}, true); }
View View::monospacedDigit() const& { return patched(*this, EnvironmentPatch{.monospacedDigit = true}); }
View View::monospacedDigit() && { return patched(*this, EnvironmentPatch{.monospacedDigit = true}, true); }
View View::tracking(double points) const& { return patched(*this, EnvironmentPatch{.tracking = points}); }
View View::tracking(double points) && { return patched(*this, EnvironmentPatch{.tracking = points}, true); }
View View::scaledToFit() const { return aspectRatio(std::nullopt, ContentMode::fit); }
View View::scaledToFill() const { return aspectRatio(std::nullopt, ContentMode::fill); }
View View::disabled(bool d) const
{
    if (!d) return *this;
    return patched(*this, EnvironmentPatch{.disabled = true});
}

}  // namespace platform::ui
