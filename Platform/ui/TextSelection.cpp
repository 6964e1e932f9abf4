// Selectable read-only text: a click selects the whole text (a path, an
// address) and gives it the keys; Ctrl+C copies it, a click elsewhere or
// Escape drops the selection.

#include "ui/Button.h"
#include "ui/Inspect.h"
#include "ui/Modifiers.h"
#include "ui/Shape.h"
#include "ui/ViewHost.h"

#include <QClipboard>
#include <QGuiApplication>
#include <Qt>

namespace platform::ui {

namespace {

void collectTexts(const Element& e, std::string& out)
{
    if (auto t = textOfNode(e.node.get())) {
        if (!out.empty()) out += '\n';
        out += *t;
    }
    for (auto& c : e.children) collectTexts(*c, out);
}

struct SelectionSlot {
    std::string text;  // what the last build shows
};

class TextSelectionNode final : public ModifierNode {
public:
    using ModifierNode::ModifierNode;
    void build(Element& self, BuildContext& ctx) const override
    {
        auto slot = std::static_pointer_cast<SelectionSlot>(
            ctx.stateSlot(self.identity() + "#selection", [] { return std::static_pointer_cast<void>(std::make_shared<SelectionSlot>()); }));
        auto* host = dynamic_cast<ViewHost*>(&ctx);
        // The focusable node's identity, fixed by the structure below.
        const std::string focusIdentity = self.identity() + "/f.";
        const bool selected = host && host->focus() == focusIdentity;
        View shown = selected ? content_.background(RoundedRectangle(2).fill(accentColor().opacity(0.28))) : content_;
        View v = shown.cursor(CursorShape::iBeam).focusable().onKeyPress([slot, host, focusIdentity](const KeyPress& k) {
            if (!host || host->focus() != focusIdentity) return false;
            const bool ctrl = k.modifiers & (Qt::ControlModifier | Qt::MetaModifier);
            if (ctrl && k.key == Qt::Key_C) {
                if (auto* clipboard = QGuiApplication::clipboard()) clipboard->setText(QString::fromStdString(slot->text));
                return true;
            }
            if (ctrl && k.key == Qt::Key_A) return true;  // everything is selected already
            if (k.key == Qt::Key_Escape) {
                host->setFocus({});
                host->setNeedsRebuild();
                return true;
            }
            return false;
        });
        Element& child = ctx.addChild(self, v, "f");
        slot->text.clear();
        collectTexts(child, slot->text);
    }
};

}  // namespace

View View::textSelection(bool enabled) const
{
    if (!enabled) return *this;
    return View(detail::makeNode<TextSelectionNode>(*this));
}

}  // namespace platform::ui
