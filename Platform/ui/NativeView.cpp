#include "ui/NativeView.h"

#include "ui/Inspect.h"
#include "ui/Modifiers.h"
#include "ui/ViewHost.h"

#include <QGraphicsOpacityEffect>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <cmath>

namespace platform::ui {

namespace {

struct NativeSlot {
    QPointer<QWidget> widget;
    ~NativeSlot()
    {
        if (!widget) return;
        widget->hide();
        widget->deleteLater();
    }
};

double effectiveOpacity(const Element& e)
{
    double o = 1;
    for (const Element* cur = &e; cur; cur = cur->parent)
        if (auto* n = dynamic_cast<const OpacityNode*>(cur->node.get())) o *= std::clamp(n->opacity(), 0.0, 1.0);
    return o;
}

bool hiddenByAncestor(const Element& e)
{
    for (const Element* cur = &e; cur; cur = cur->parent)
        if (!cur->placed || dynamic_cast<const HiddenNode*>(cur->node.get())) return true;
    return false;
}

bool isAncestor(const Element* a, const Element* e)
{
    for (const Element* cur = e; cur; cur = cur->parent)
        if (cur == a) return true;
    return false;
}

// Whether a card with the modal trait (a prompt over the page) is drawn over `f`.
bool coveredByModalCard(const Element& root, const Element& self, const Rect& f)
{
    if (!root.placed) return false;
    if (auto* a = dynamic_cast<const AccessibilityNode*>(root.node.get());
        a && (a->props().traits & unsigned(AccessibilityTrait::isModal)) && !isAncestor(&root, &self)) {
        const Rect c = visualFrame(root);
        if (c.x < f.maxX() && f.x < c.maxX() && c.y < f.maxY() && f.y < c.maxY()) return true;
    }
    for (auto& child : root.children)
        if (coveredByModalCard(*child, self, f)) return true;
    return false;
}

class AboveNativeNode final : public ModifierNode {
public:
    using ModifierNode::ModifierNode;
    bool measuresAsContent() const override { return true; }
};

// The frames, as drawn, of the placed content marked to stand above native widgets.
void collectAbove(const Element& e, const Element& self, std::vector<Rect>& out)
{
    if (!e.placed || isAncestor(&e, &self)) {
        if (e.placed)
            for (auto& child : e.children) collectAbove(*child, self, out);
        return;
    }
    if (dynamic_cast<const AboveNativeNode*>(e.node.get())) {
        out.push_back(visualFrame(e));
        return;
    }
    for (auto& child : e.children) collectAbove(*child, self, out);
}

// The part of a widget at `f` left when what stands above it is cut away; none when nothing is.
std::optional<QRegion> uncovered(const Rect& f, const std::vector<Rect>& above)
{
    const QRect whole(0, 0, int(std::lround(f.width)), int(std::lround(f.height)));
    QRegion left(whole);
    for (const Rect& r : above) {
        const QRect cut(int(std::floor(r.x - f.x)), int(std::floor(r.y - f.y)), int(std::ceil(r.width)) + 1, int(std::ceil(r.height)) + 1);
        left -= QRegion(cut.intersected(whole));
    }
    if (left == QRegion(whole)) return std::nullopt;
    return left;
}

class NativeViewNode final : public Node {
public:
    NativeViewNode(std::function<QWidget*()> make, std::function<void(QWidget*)> update)
        : make_(std::move(make)), update_(std::move(update)) {}

    void build(Element& self, BuildContext& ctx) const override
    {
        auto* host = dynamic_cast<ViewHost*>(&ctx);
        if (!host || !host->nativeParent()) return;
        auto slot = std::static_pointer_cast<NativeSlot>(
            ctx.stateSlot(self.identity() + "#native", [] { return std::static_pointer_cast<void>(std::make_shared<NativeSlot>()); }));
        if (!slot->widget && make_) {
            slot->widget = make_();
            if (slot->widget) slot->widget->setParent(host->nativeParent());
        }
        self.scratch = slot;
    }

    Size sizeThatFits(Element&, ProposedSize p, LayoutContext&) const override { return p.replacingUnspecified({10, 10}); }

    void place(Element& self, Rect, LayoutContext& ctx) const override
    {
        auto* slotPtr = std::any_cast<std::shared_ptr<NativeSlot>>(&self.scratch);
        auto* host = dynamic_cast<ViewHost*>(ctx.builder());
        if (!slotPtr || !host) return;
        std::weak_ptr<NativeSlot> weak = *slotPtr;
        const Element* element = &self;
        auto update = update_;
        // After layout (and after the other layers are known), never inside it.
        host->afterBuild([weak, element, host, update] {
            auto slot = weak.lock();
            if (!slot || !slot->widget) return;
            QWidget* w = slot->widget;
            const Rect f = visualFrame(*element);
            const double opacity = effectiveOpacity(*element);
            const Element* root = host->rootElement();
            std::vector<Rect> above;
            if (root) collectAbove(*root, *element, above);
            // Content floating above the sheets stands above the widgets too.
            for (const Element* floating : host->floatingLayerRoots()) collectAbove(*floating, *element, above);
            const auto left = uncovered(f, above);
            const bool covered = host->layerCount() > 1 || host->closingLayerCount() > 0 || (root && coveredByModalCard(*root, *element, f)) ||
                                 (left && left->isEmpty());
            const bool visible = !covered && !hiddenByAncestor(*element) && opacity > 0.01 && f.width >= 1 && f.height >= 1;
            QRect geometry(int(std::lround(f.x)), int(std::lround(f.y)), int(std::lround(f.width)), int(std::lround(f.height)));
            // A widget drawn by the graphics card ignores a mask in its
            // picture: when what is left are bands across its whole width
            // (a banner over a page), the largest becomes its frame.
            std::optional<QRegion> mask = left;
            if (left && !left->isEmpty()) {
                QRect band;
                bool bands = true;
                for (const QRect& r : *left) {
                    bands = bands && r.width() == geometry.width();
                    if (r.height() > band.height()) band = r;
                }
                if (bands) {
                    geometry = band.translated(geometry.topLeft());
                    mask.reset();
                }
            }
            w->setGeometry(geometry);
            if (opacity < 0.99) {
                auto* effect = qobject_cast<QGraphicsOpacityEffect*>(w->graphicsEffect());
                if (!effect) {
                    effect = new QGraphicsOpacityEffect(w);
                    w->setGraphicsEffect(effect);
                }
                effect->setOpacity(opacity);
            } else if (w->graphicsEffect()) {
                w->setGraphicsEffect(nullptr);
            }
            if (mask && !mask->isEmpty()) w->setMask(*mask);
            else if (!w->mask().isEmpty()) w->clearMask();
            w->setVisible(visible);
            if (update) update(w);
        });
    }

private:
    std::function<QWidget*()> make_;
    std::function<void(QWidget*)> update_;
};

}  // namespace

View NativeView(std::function<QWidget*()> make, std::function<void(QWidget*)> update)
{
    return View(detail::makeNode<NativeViewNode>(std::move(make), std::move(update)));
}

View AboveNativeViews(View content) { return View(detail::makeNode<AboveNativeNode>(std::move(content))); }

}  // namespace platform::ui
