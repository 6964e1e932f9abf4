// Sheets, popovers and alerts share one mechanism: a node in the owner's
// tree keeps a host layer in step with the owner's binding.

#include "ui/Alert.h"
#include "ui/Animation.h"
#include "ui/Inspect.h"
#include "ui/Modifiers.h"
#include "ui/Popover.h"
#include "ui/Shape.h"
#include "ui/Sheet.h"
#include "ui/Text.h"
#include "ui/ViewHost.h"

#include <Qt>
#include <algorithm>
#include <array>

namespace platform::ui {

Color windowBackgroundColor() { return Color::dynamic(Color::white(0.97), Color::white(0.17)); }

Rect popoverFrame(Rect anchor, Size size, Edge edge, Size bounds, double gap)
{
    double x = anchor.midX() - size.width / 2, y = anchor.midY() - size.height / 2;
    switch (edge) {
    case Edge::bottom: y = anchor.maxY() + gap; break;
    case Edge::top: y = anchor.minY() - gap - size.height; break;
    case Edge::leading: x = anchor.minX() - gap - size.width; break;
    case Edge::trailing: x = anchor.maxX() + gap; break;
    }
    // Flip to the other side when it would leave the window, then keep inside.
    if (edge == Edge::bottom && y + size.height > bounds.height) y = anchor.minY() - gap - size.height;
    if (edge == Edge::top && y < 0) y = anchor.maxY() + gap;
    if (edge == Edge::trailing && x + size.width > bounds.width) x = anchor.minX() - gap - size.width;
    if (edge == Edge::leading && x < 0) x = anchor.maxX() + gap;
    x = std::clamp(x, 0.0, std::max(0.0, bounds.width - size.width));
    y = std::clamp(y, 0.0, std::max(0.0, bounds.height - size.height));
    return {x, y, size.width, size.height};
}

namespace {

// One presented layer, owned by the presenting view's state slot.
struct Presented {
    ViewHost* host = nullptr;
    int layer = 0;
    std::function<View()> content;  // the latest build's layer content
    Rect anchor;                    // popovers: the anchor's frame in host points
    std::function<void()> onDismiss;
    std::optional<ViewHost::LayerExit> exit;  // how the layer leaves (none under reduce motion)

    ~Presented()
    {
        // The presenting view left the tree: its layer goes with it.
        if (host && layer) host->dismissLayer(layer, exit);
    }
};

// Centres its content, sized by the content's ideal size within the offer
// less a margin.
class SheetSizingNode final : public Node {
public:
    explicit SheetSizingNode(View content) : content_(std::move(content)) {}
    void build(Element& self, BuildContext& ctx) const override { ctx.addChild(self, content_, "c"); }
    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const override
    {
        return p.replacingUnspecified(self.children[0]->sizeThatFits({}, ctx));
    }
    void place(Element& self, Rect frame, LayoutContext& ctx) const override
    {
        Element& c = *self.children[0];
        const Size ideal = c.sizeThatFits({}, ctx);
        const Size room{std::max(0.0, frame.width - 40), std::max(0.0, frame.height - 40)};
        const Size s = c.sizeThatFits(ProposedSize::of({std::min(ideal.width, room.width), std::min(ideal.height, room.height)}), ctx);
        c.place({frame.x + (frame.width - s.width) / 2, frame.y + (frame.height - s.height) / 2, s.width, s.height}, ctx);
    }

private:
    View content_;
};

constexpr double arrowLength = 8, arrowWidth = 18;

// A triangle pointing from the card towards the anchor, its base on the card's edge.
Shape popoverArrow(Edge pointing, bool closed = true)
{
    return PathShape([pointing, closed](const Rect& r) {
        Path p;
        switch (pointing) {
        case Edge::top: p.move({r.minX(), r.maxY()}); p.addLine({r.midX(), r.minY()}); p.addLine({r.maxX(), r.maxY()}); break;
        case Edge::bottom: p.move({r.minX(), r.minY()}); p.addLine({r.midX(), r.maxY()}); p.addLine({r.maxX(), r.minY()}); break;
        case Edge::leading: p.move({r.maxX(), r.minY()}); p.addLine({r.minX(), r.midY()}); p.addLine({r.maxX(), r.maxY()}); break;
        case Edge::trailing: p.move({r.minX(), r.minY()}); p.addLine({r.maxX(), r.midY()}); p.addLine({r.minX(), r.maxY()}); break;
        }
        if (closed) p.closeSubpath();  // open: the two sides only, for the rim
        return p;
    });
}

// Places a popover card beside its anchor with an arrow pointing at it;
// child 0 is the backdrop, child 1 the card, child 2 the arrow.
class PopoverPlacementNode final : public Node {
public:
    PopoverPlacementNode(View backdrop, View card, std::weak_ptr<Presented> state, Edge edge)
        : backdrop_(std::move(backdrop)), card_(std::move(card)), state_(std::move(state)), edge_(edge) {}
    void build(Element& self, BuildContext& ctx) const override
    {
        ctx.addChild(self, backdrop_, "b");
        ctx.addChild(self, card_, "c");
        for (Edge e : {Edge::top, Edge::bottom, Edge::leading, Edge::trailing})
            ctx.addChild(self,
                         ZStack({popoverArrow(e).fill(windowBackgroundColor()),
                                 popoverArrow(e, false).stroke(Color::white(0.5, 0.3), 0.5)})
                             .allowsHitTesting(false),
                         "a" + std::to_string(unsigned(e)));
    }
    Size sizeThatFits(Element&, ProposedSize p, LayoutContext&) const override { return p.replacingUnspecified({0, 0}); }
    void place(Element& self, Rect frame, LayoutContext& ctx) const override
    {
        self.children[0]->place(frame, ctx);
        Element& card = *self.children[1];
        Size s = card.sizeThatFits({}, ctx);
        s = {std::min(s.width, frame.width), std::min(s.height, frame.height)};
        auto st = state_.lock();
        const Rect anchor = st ? st->anchor : Rect{frame.midX(), frame.midY(), 0, 0};
        // Room for the arrow between anchor and card.
        Rect r = popoverFrame(anchor, s, edge_, frame.size(), 4 + arrowLength);
        card.place(r.offsetBy(frame.x, frame.y), ctx);
        // The arrow on the card's side that faces the anchor (the card may have flipped).
        std::optional<Edge> side;
        if (r.minY() >= anchor.maxY()) side = Edge::top;
        else if (r.maxY() <= anchor.minY()) side = Edge::bottom;
        else if (r.minX() >= anchor.maxX()) side = Edge::leading;
        else if (r.maxX() <= anchor.minX()) side = Edge::trailing;
        for (size_t i = 2; i < self.children.size(); ++i) {
            Element& arrow = *self.children[i];
            const Edge e = std::array{Edge::top, Edge::bottom, Edge::leading, Edge::trailing}[i - 2];
            if (!side || e != *side) continue;  // unplaced arrows draw nothing
            const double cx = std::clamp(anchor.midX(), r.minX() + 14, r.maxX() - 14);
            const double cy = std::clamp(anchor.midY(), r.minY() + 14, r.maxY() - 14);
            Rect a;
            switch (e) {
            case Edge::top: a = {cx - arrowWidth / 2, r.minY() - arrowLength + 0.5, arrowWidth, arrowLength}; break;
            case Edge::bottom: a = {cx - arrowWidth / 2, r.maxY() - 0.5, arrowWidth, arrowLength}; break;
            case Edge::leading: a = {r.minX() - arrowLength + 0.5, cy - arrowWidth / 2, arrowLength, arrowWidth}; break;
            case Edge::trailing: a = {r.maxX() - 0.5, cy - arrowWidth / 2, arrowLength, arrowWidth}; break;
            }
            arrow.place(a.offsetBy(frame.x, frame.y), ctx);
        }
    }

private:
    View backdrop_, card_;
    std::weak_ptr<Presented> state_;
    Edge edge_;
};

View escapeCloses(View content, std::function<void()> onEscape)
{
    return content.onKeyPress([onEscape](const KeyPress& k) {
        if (k.key != Qt::Key_Escape) return false;
        onEscape();
        return true;
    });
}

class PresentingNode final : public ModifierNode {
public:
    enum class Kind { sheet, popover };
    PresentingNode(View base, Kind kind, Binding<bool> shown, std::function<View()> content, SheetOptions options, Edge edge)
        : ModifierNode(std::move(base)), kind_(kind), shown_(std::move(shown)), content_(std::move(content)),
          options_(std::move(options)), edge_(edge) {}

    void build(Element& self, BuildContext& ctx) const override
    {
        ModifierNode::build(self, ctx);
        auto* host = dynamic_cast<ViewHost*>(&ctx);
        if (!host) return;
        auto state = std::static_pointer_cast<Presented>(
            ctx.stateSlot(self.identity() + "#presents", [] { return std::static_pointer_cast<void>(std::make_shared<Presented>()); }));
        state->host = host;
        state->onDismiss = options_.onDismiss;
        if (self.env->reduceMotion) state->exit.reset();
        else state->exit = kind_ == Kind::sheet ? ViewHost::LayerExit{0.18, 0.96} : ViewHost::LayerExit{0.12, 1};
        const bool shown = shown_.get();
        if (shown) {
            state->content = layerContent(state);
            if (!state->layer) {
                std::weak_ptr<Presented> weak = state;
                state->layer = host->presentLayer([weak] {
                    auto s = weak.lock();
                    return s && s->content ? s->content() : View();
                }, true);
            }
        } else if (state->layer) {
            host->dismissLayer(state->layer, state->exit);
            state->layer = 0;
            state->content = nullptr;
            if (state->onDismiss) state->onDismiss();
        }
    }

    void place(Element& self, Rect frame, LayoutContext& ctx) const override
    {
        ModifierNode::place(self, frame, ctx);
        if (kind_ != Kind::popover) return;
        if (auto* host = dynamic_cast<ViewHost*>(ctx.builder())) {
            auto state = std::static_pointer_cast<Presented>(host->stateSlot(self.identity() + "#presents", [] {
                return std::static_pointer_cast<void>(std::make_shared<Presented>());
            }));
            state->anchor = visualFrame(self);
        }
    }

private:
    std::function<View()> layerContent(const std::shared_ptr<Presented>& state) const
    {
        auto shown = shown_;
        auto canClose = options_.canClose;
        auto onCancel = options_.onCancel;
        std::function<bool()> dismiss = [shown, canClose] {
            if (canClose && !canClose()) return false;  // the owner is busy: refused
            shown.set(false);
            return true;
        };
        auto content = content_;
        const FrameSpec frame = options_.frame;
        if (kind_ == Kind::sheet) {
            return [content, dismiss, onCancel, frame] {
                View card = (content ? content() : View())
                                .frame(frame)
                                .environment<DismissKey>(dismiss)
                                .background(RoundedRectangle(10).fill(windowBackgroundColor()))
                                .clipShape(RoundedRectangle(10))
                                .overlay(RoundedRectangle(10).strokeBorder(Color::white(0.5, 0.3), 0.5).allowsHitTesting(false))
                                .shadow(Color::white(0, 0.3), 18, 0, 8);
                // The card eases in (at once under reduce motion).
                card = AnimatableFrom<double>(0, 1, Animation::easeOut(0.2), [card](const double& p) {
                    return p >= 1 ? card : card.scaleEffect(0.96 + 0.04 * p).opacity(p);
                });
                View sized = escapeCloses(View(detail::makeNode<SheetSizingNode>(card)), [dismiss, onCancel] {
                    if (onCancel) onCancel();
                    else dismiss();
                });
                // The scrim takes every click outside the sheet.
                return ZStack({Color::white(0, 0.22), sized}).contentShape(Rectangle()).onTapGesture([] {});
            };
        }
        const Edge edge = edge_;
        std::weak_ptr<Presented> placement = state;
        return [content, shown, edge, placement] {
            std::function<bool()> close = [shown] {
                shown.set(false);
                return true;
            };
            View card = (content ? content() : View())
                            .environment<DismissKey>(close)
                            .background(RoundedRectangle(10).fill(windowBackgroundColor()))
                            .clipShape(RoundedRectangle(10))
                            .overlay(RoundedRectangle(10).strokeBorder(Color::white(0.5, 0.3), 0.5).allowsHitTesting(false))
                            .shadow(Color::white(0, 0.25), 10, 0, 4);
            card = AnimatableFrom<double>(0, 1, Animation::easeOut(0.15), [card](const double& p) {
                return p >= 1 ? card : card.opacity(p);
            });
            // A click outside closes the popover (transient).
            View backdrop = View(Color::clear()).contentShape(Rectangle()).onTapGesture([shown] { shown.set(false); });
            return escapeCloses(View(detail::makeNode<PopoverPlacementNode>(backdrop, card, placement, edge)), [shown] { shown.set(false); });
        };
    }

    Kind kind_;
    Binding<bool> shown_;
    std::function<View()> content_;
    SheetOptions options_;
    Edge edge_;
};

// Keeps a floating layer of the host showing `content` for as long as the
// view is in the tree.
class FloatingOverlayNode final : public ModifierNode {
public:
    FloatingOverlayNode(View base, View content, Alignment alignment, bool takesFoot)
        : ModifierNode(std::move(base)), content_(std::move(content)), alignment_(alignment), takesFoot_(takesFoot) {}

    void build(Element& self, BuildContext& ctx) const override
    {
        ModifierNode::build(self, ctx);
        auto* host = dynamic_cast<ViewHost*>(&ctx);
        if (!host) return;
        auto state = std::static_pointer_cast<Presented>(
            ctx.stateSlot(self.identity() + "#floats", [] { return std::static_pointer_cast<void>(std::make_shared<Presented>()); }));
        state->host = host;
        FrameSpec fill;
        fill.maxWidth = infinity;
        fill.maxHeight = infinity;
        fill.alignment = alignment_;
        const View placed = content_.frame(fill);
        state->content = [placed] { return placed; };
        if (!state->layer) {
            std::weak_ptr<Presented> weak = state;
            state->layer = host->presentFloatingLayer([weak] {
                auto s = weak.lock();
                return s && s->content ? s->content() : View();
            }, takesFoot_);
        }
    }

private:
    View content_;
    Alignment alignment_;
    bool takesFoot_;
};

}  // namespace

std::function<View(const View&)> overlayAboveSheets(View content, Alignment alignment)
{
    return [=](const View& v) { return View(detail::makeNode<FloatingOverlayNode>(v, content, alignment, false)); };
}

std::function<View(const View&)> footAboveSheets(View content)
{
    return [=](const View& v) { return View(detail::makeNode<FloatingOverlayNode>(v, content, Alignment::bottom, true)); };
}

std::function<View(const View&)> sheet(Binding<bool> isPresented, std::function<View()> content, SheetOptions options)
{
    return [=](const View& v) {
        return View(detail::makeNode<PresentingNode>(v, PresentingNode::Kind::sheet, isPresented, content, options, Edge::bottom));
    };
}

std::function<View(const View&)> popover(Binding<bool> isPresented, std::function<View()> content, Edge edge)
{
    return [=](const View& v) {
        return View(detail::makeNode<PresentingNode>(v, PresentingNode::Kind::popover, isPresented, content, SheetOptions{}, edge));
    };
}

namespace {

View alertCard(const std::string& title, const std::string& message, const std::vector<AlertButton>& buttons,
               Binding<bool> shown, bool dialog)
{
    ViewList row;
    bool defaultGiven = false;
    for (const AlertButton& b : buttons) {
        auto action = b.action;
        View button = Button(b.title, [action, shown] {
            shown.set(false);
            if (action) action();
        }, b.role);
        if (b.role != ButtonRole::cancel && !defaultGiven) {
            button = button.modifier(buttonStyle(borderedProminentButtonStyle())).modifier(keyboardShortcut(KeyboardShortcut::defaultAction()));
            defaultGiven = true;
        }
        row.push_back(button.modifier(controlSize(ControlSize::large)));
    }
    ViewList column{Text(title).font(Font::headline()).multilineTextAlignment(TextAlignment::center)};
    if (!message.empty())
        column.push_back(Text(message).font(Font::callout()).foregroundStyle(ShapeStyle::secondary()).multilineTextAlignment(TextAlignment::center));
    column.push_back(dialog ? VStack(HorizontalAlignment::center, 8, row) : HStack(VerticalAlignment::center, 8, row));
    return VStack(HorizontalAlignment::center, 12, column).padding(20).frame(FrameSpec{.minWidth = 260, .maxWidth = 420});
}

std::function<View(const View&)> alertModifier(std::string title, Binding<bool> shown, std::vector<AlertButton> buttons,
                                               std::string message, bool dialog)
{
    if (buttons.empty()) buttons.push_back({"OK", nullptr, ButtonRole::none});
    std::function<void()> cancelAction;
    for (const AlertButton& b : buttons)
        if (b.role == ButtonRole::cancel) cancelAction = b.action ? b.action : [] {};
    SheetOptions options;
    options.onCancel = [shown, cancelAction] {
        shown.set(false);
        if (cancelAction) cancelAction();
    };
    return sheet(shown, [=] { return alertCard(title, message, buttons, shown, dialog); }, options);
}

}  // namespace

std::function<View(const View&)> alert(std::string title, Binding<bool> isPresented, std::vector<AlertButton> buttons, std::string message)
{
    return alertModifier(std::move(title), std::move(isPresented), std::move(buttons), std::move(message), false);
}

std::function<View(const View&)> confirmationDialog(std::string title, Binding<bool> isPresented, std::vector<AlertButton> buttons,
                                                    std::string message)
{
    return alertModifier(std::move(title), std::move(isPresented), std::move(buttons), std::move(message), true);
}

}  // namespace platform::ui
