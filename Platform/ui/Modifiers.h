#pragma once

// The modifier nodes. Views are built with the View methods; the host, the
// renderer and the accessibility tree look for these node types.

#include "ui/Shape.h"
#include "ui/View.h"

#include <QTransform>

#include <algorithm>

namespace platform::ui {

// Containers that stack their children on top of each other (groups, ForEach
// outside a stack, ZStack) take the largest width and height among them.
inline Size largestChildSize(Element& self, ProposedSize p, LayoutContext& ctx)
{
    Size s;
    for (auto& c : self.children) {
        const Size cs = c->sizeThatFits(p, ctx);
        s.width = std::max(s.width, cs.width);
        s.height = std::max(s.height, cs.height);
    }
    return s;
}

// The common environment modifiers as one value: consecutive ones
// (`.font().foregroundStyle().lineLimit()`) share a node and one copy of the
// environment, and need no closures.
struct EnvironmentPatch {
    std::optional<Font> font;
    std::optional<ShapeStyle> foregroundStyle;
    std::optional<std::optional<int>> lineLimit;
    std::optional<TruncationMode> truncationMode;
    std::optional<double> minimumScaleFactor;
    std::optional<TextAlignment> multilineTextAlignment;
    std::optional<FontWeight> fontWeight;
    std::optional<double> tracking;
    bool monospacedDigit = false;
    bool disabled = false;

    // `inner` is nearer the view, so its values win.
    static EnvironmentPatch merge(EnvironmentPatch outer, const EnvironmentPatch& inner);
    // The same, in place: this patch is the inner one.
    void mergeOuter(EnvironmentPatch&& outer);
    void apply(EnvironmentValues& env) const;
};

class EnvironmentModifierNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    using Change = std::function<void(EnvironmentValues&)>;
    EnvironmentModifierNode(View content, EnvironmentPatch patch) : ModifierNode(std::move(content)), patch_(std::move(patch)) {}
    EnvironmentModifierNode(View content, Change change) : ModifierNode(std::move(content)), change_(std::move(change)) {}
    EnvironmentPtr childEnvironment(const Element& self) const override;
    const EnvironmentPatch& patch() const { return patch_; }
    bool isPatch() const { return !change_; }
    // Only for a node nobody else holds yet (see `patched`).
    void mergeOuter(EnvironmentPatch&& outer) { patch_.mergeOuter(std::move(outer)); }

private:
    EnvironmentPatch patch_;
    Change change_;
};

class IdNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    IdNode(View content, std::string id) : ModifierNode(std::move(content)), id_(std::move(id)) {}
    void build(Element& self, BuildContext& ctx) const override;
    const std::string& id() const { return id_; }

private:
    std::string id_;
};

class FrameNode final : public ModifierNode {
public:
    FrameNode(View content, FrameSpec config, bool fixed) : ModifierNode(std::move(content)), spec_(config), fixed_(fixed) {}
    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const override;
    void place(Element& self, Rect frame, LayoutContext& ctx) const override;

private:
    ProposedSize childProposal(ProposedSize p) const;
    FrameSpec spec_;  // for a fixed frame, ideal* hold the fixed sizes
    bool fixed_;
};

class PaddingNode final : public ModifierNode {
public:
    PaddingNode(View content, EdgeInsets insets) : ModifierNode(std::move(content)), insets_(insets) {}
    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const override;
    void place(Element& self, Rect frame, LayoutContext& ctx) const override;

private:
    EdgeInsets insets_;
};

class FixedSizeNode final : public ModifierNode {
public:
    FixedSizeNode(View content, bool h, bool v) : ModifierNode(std::move(content)), h_(h), v_(v) {}
    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const override;
    void place(Element& self, Rect frame, LayoutContext& ctx) const override;

private:
    ProposedSize childProposal(ProposedSize p) const;
    bool h_, v_;
};

class TraitNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    TraitNode(View content, std::optional<double> priority, std::optional<double> z)
        : ModifierNode(std::move(content)), priority_(priority), z_(z) {}
    void build(Element& self, BuildContext& ctx) const override;

private:
    std::optional<double> priority_, z_;
};

// Overlay and background: the secondary view is offered the content's size.
class LayeredNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    LayeredNode(View content, View secondary, Alignment alignment, bool behind)
        : ModifierNode(std::move(content)), secondary_(std::move(secondary)), alignment_(alignment), behind_(behind) {}
    void build(Element& self, BuildContext& ctx) const override;
    void place(Element& self, Rect frame, LayoutContext& ctx) const override;
    void paint(const Element& self, PaintContext& pc) const override;
    bool behind() const { return behind_; }
    // Child 0 is the content, child 1 the secondary view.

private:
    View secondary_;
    Alignment alignment_;
    bool behind_;
};

class PositionNode final : public ModifierNode {
public:
    PositionNode(View content, Point p) : ModifierNode(std::move(content)), p_(p) {}
    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const override;
    void place(Element& self, Rect frame, LayoutContext& ctx) const override;

private:
    Point p_;
};

class HiddenNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    using ModifierNode::ModifierNode;
    void paint(const Element&, PaintContext&) const override {}
};

class AspectRatioNode final : public ModifierNode {
public:
    AspectRatioNode(View content, std::optional<double> ratio, ContentMode mode)
        : ModifierNode(std::move(content)), ratio_(ratio), mode_(mode) {}
    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const override;
    void place(Element& self, Rect frame, LayoutContext& ctx) const override;

private:
    double ratioOf(Element& self, LayoutContext& ctx) const;
    std::optional<double> ratio_;
    ContentMode mode_;
};

// Render transforms: offset, scale and rotation. Layout is untouched.
class TransformNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    enum class Kind { offset, scale, rotation };
    TransformNode(View content, Kind kind, double a, double b, UnitPoint anchor)
        : ModifierNode(std::move(content)), kind_(kind), a_(a), b_(b), anchor_(anchor) {}
    bool transform(const Element& self, QTransform& out) const override;
    void paint(const Element& self, PaintContext& pc) const override;

private:
    Kind kind_;
    double a_, b_;
    UnitPoint anchor_;
};

class OpacityNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    OpacityNode(View content, double opacity) : ModifierNode(std::move(content)), opacity_(opacity) {}
    void paint(const Element& self, PaintContext& pc) const override;
    double opacity() const { return opacity_; }

private:
    double opacity_;
};

class ClipNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    ClipNode(View content, Shape shape) : ModifierNode(std::move(content)), shape_(std::move(shape)) {}
    void paint(const Element& self, PaintContext& pc) const override;
    // Nothing inside draws beyond the clip (and its antialiased edge).
    Rect inkBounds(const Element& self, const std::optional<Rect>& children) const override;
    const Shape& shape() const { return shape_; }

private:
    Shape shape_;
};

class ShadowNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    ShadowNode(View content, Color color, double radius, double x, double y)
        : ModifierNode(std::move(content)), color_(color), radius_(radius), x_(x), y_(y) {}
    void paint(const Element& self, PaintContext& pc) const override;
    Rect inkBounds(const Element& self, const std::optional<Rect>& children) const override;

private:
    Color color_;
    double radius_, x_, y_;
};

// --- Interaction: marker nodes the host looks for --------------------------

class TapNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    TapNode(View content, std::function<void()> action) : ModifierNode(std::move(content)), action_(std::move(action)) {}
    const std::function<void()>& action() const { return action_; }

private:
    std::function<void()> action_;
};

class HoverNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    HoverNode(View content, std::function<void(bool)> onHover, std::function<void(HoverPhase)> continuous)
        : ModifierNode(std::move(content)), onHover_(std::move(onHover)), continuous_(std::move(continuous)) {}
    const std::function<void(bool)>& onHover() const { return onHover_; }
    const std::function<void(HoverPhase)>& continuous() const { return continuous_; }

private:
    std::function<void(bool)> onHover_;
    std::function<void(HoverPhase)> continuous_;
};

class ScrollWheelNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    ScrollWheelNode(View content, std::function<void(ScrollDelta)> action)
        : ModifierNode(std::move(content)), action_(std::move(action)) {}
    const std::function<void(ScrollDelta)>& action() const { return action_; }

private:
    std::function<void(ScrollDelta)> action_;
};

// Content the pointer moves when held down over it and dragged along `axis`:
// once the pointer has gone the desktop's drag distance that way, the press
// is no longer a tap, and `action` hears each movement along the axis
// (points, positive to the right or downwards), then the release (`ended`).
class DragNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    using Action = std::function<void(double moved, bool ended)>;
    DragNode(View content, Axis axis, Action action) : ModifierNode(std::move(content)), axis_(axis), action_(std::move(action)) {}
    Axis axis() const { return axis_; }
    const Action& action() const { return action_; }

private:
    Axis axis_;
    Action action_;
};

class KeyPressNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    KeyPressNode(View content, std::function<bool(const KeyPress&)> action)
        : ModifierNode(std::move(content)), action_(std::move(action)) {}
    const std::function<bool(const KeyPress&)>& action() const { return action_; }

private:
    std::function<bool(const KeyPress&)> action_;
};

// Takes the keys on a click (fields) or only from Tab (controls: buttons,
// toggles, which Space then presses); draws the focus ring while Tab put the
// focus there.
class FocusableNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    FocusableNode(View content, bool focusable, bool takesFocusOnClick = true)
        : ModifierNode(std::move(content)), focusable_(focusable), onClick_(takesFocusOnClick) {}
    bool focusable() const { return focusable_; }
    bool takesFocusOnClick() const { return onClick_; }
    void build(Element& self, BuildContext& ctx) const override;
    void paint(const Element& self, PaintContext& pc) const override;
    Rect inkBounds(const Element& self, const std::optional<Rect>& children) const override;

private:
    bool focusable_;
    bool onClick_;
};

class HelpNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    HelpNode(View content, std::string text) : ModifierNode(std::move(content)), text_(std::move(text)) {}
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

class CursorNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    CursorNode(View content, CursorShape shape) : ModifierNode(std::move(content)), shape_(shape) {}
    CursorShape shape() const { return shape_; }

private:
    CursorShape shape_;
};

class ContentShapeNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    ContentShapeNode(View content, Shape shape) : ModifierNode(std::move(content)), shape_(std::move(shape)) {}
    const Shape& shape() const { return shape_; }

private:
    Shape shape_;
};

class HitTestingNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    HitTestingNode(View content, bool enabled) : ModifierNode(std::move(content)), enabled_(enabled) {}
    bool enabled() const { return enabled_; }

private:
    bool enabled_;
};

// --- Accessibility ----------------------------------------------------------

struct AccessibilityProps {
    std::optional<std::string> identifier, label, value, hint;
    std::optional<AccessibilityChildBehavior> children;
    std::optional<bool> hidden;
    unsigned traits = 0;
    std::vector<std::pair<std::string, std::function<void()>>> actions;
};

class AccessibilityNode final : public ModifierNode {
public:
    bool measuresAsContent() const override { return true; }
    AccessibilityNode(View content, AccessibilityProps props) : ModifierNode(std::move(content)), props_(std::move(props)) {}
    const AccessibilityProps& props() const { return props_; }

private:
    AccessibilityProps props_;
};

}  // namespace platform::ui
