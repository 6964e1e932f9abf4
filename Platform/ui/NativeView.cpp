#include "ui/NativeView.h"

#include "ui/Inspect.h"
#include "ui/Modifiers.h"
#include "ui/ViewHost.h"

#include <QGraphicsOpacityEffect>
#include <QPointer>
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
            const bool covered = host->layerCount() > 1 || host->closingLayerCount() > 0 || (root && coveredByModalCard(*root, *element, f));
            const bool visible = !covered && !hiddenByAncestor(*element) && opacity > 0.01 && f.width >= 1 && f.height >= 1;
            w->setGeometry(int(std::lround(f.x)), int(std::lround(f.y)), int(std::lround(f.width)), int(std::lround(f.height)));
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

}  // namespace platform::ui
