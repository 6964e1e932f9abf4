#include "ui/Button.h"

#include "ui/Modifiers.h"
#include "ui/Shape.h"
#include "ui/Text.h"
#include "ui/ViewHost.h"

#include <Qt>

namespace platform::ui {

namespace {

Shape faceShape(ButtonBorderShape shape, double radius)
{
    switch (shape) {
    case ButtonBorderShape::capsule: return Capsule();
    case ButtonBorderShape::circle: return Circle();
    case ButtonBorderShape::roundedRectangle:
    case ButtonBorderShape::automatic: break;
    }
    return RoundedRectangle(radius);
}

View sizedLabel(const ButtonStyleConfiguration& c, const ControlMetrics& m)
{
    return c.label.font(m.font)
        .padding(EdgeInsets{0, m.horizontalPadding, 0, m.horizontalPadding})
        .frame(FrameSpec{.minHeight = m.height});
}

class ButtonNode final : public Node {
public:
    ButtonNode(View label, std::function<void()> action, ButtonRole role)
        : label_(std::move(label)), action_(std::move(action)), role_(role) {}

    void build(Element& self, BuildContext& ctx) const override
    {
        const EnvironmentValues& env = *self.env;
        const auto shortcut = env.get<KeyboardShortcutKey>();
        // The tap target's identity is fixed by the structure built below.
        const std::string tapIdentity = self.identity() + (shortcut ? "/k." : "/b");
        auto* host = dynamic_cast<ViewHost*>(&ctx);
        ButtonStyleConfiguration config;
        config.label = label_;
        config.isPressed = host && host->pressedIdentity() && *host->pressedIdentity() == tapIdentity;
        config.isEnabled = env.isEnabled;
        config.controlSize = env.get<ControlSizeKey>();
        config.tint = env.get<TintKey>();
        config.role = role_;
        config.borderShape = env.get<ButtonBorderShapeKey>();
        auto style = env.get<ButtonStyleKey>();
        View face = style && *style ? (*style)(config) : borderedButtonStyle()(config);
        auto action = action_;
        // Tab reaches the button (Space presses it); a click leaves the keys where they are.
        View tappable = View(detail::makeNode<FocusableNode>(face, env.isEnabled, false))
                            .contentShape(Rectangle())
                            .accessibilityElement(AccessibilityChildBehavior::combine)
                            .accessibilityAddTraits(AccessibilityTrait::button)
                            .onTapGesture([action] {
                                if (action) action();
                            });
        if (!shortcut) {
            ctx.addChild(self, tappable, "b");
            return;
        }
        const bool enabled = env.isEnabled;
        const KeyboardShortcut k = *shortcut;
        // Nested buttons don't inherit the shortcut.
        View inner = tappable.environment<KeyboardShortcutKey>(std::nullopt);
        ctx.addChild(self, View(detail::makeNode<KeyPressNode>(inner, [k, enabled, action](const KeyPress& press) {
                         if (!enabled || !k.matches(press.key, press.modifiers)) return false;
                         if (action) action();
                         return true;
                     })),
                     "k");
    }

private:
    View label_;
    std::function<void()> action_;
    ButtonRole role_;
};

template <class Key>
std::function<View(const View&)> setting(typename Key::Value value)
{
    return [value](const View& v) { return v.environment<Key>(value); };
}

}  // namespace

Color accentColor() { return Color::blue(); }

ControlMetrics controlMetrics(ControlSize size)
{
    switch (size) {
    case ControlSize::mini: return {16, 6, 4, Font::caption2()};
    case ControlSize::small: return {20, 8, 5, Font::subheadline()};
    case ControlSize::regular: return {24, 10, 6, Font::body()};
    case ControlSize::large: return {30, 14, 8, Font::body()};
    }
    return {24, 10, 6, Font::body()};
}

ButtonColors buttonColors(ButtonStyleKind kind, const ButtonStyleConfiguration& c)
{
    const bool faced = kind == ButtonStyleKind::bordered || kind == ButtonStyleKind::borderedProminent;
    if (!c.isEnabled)
        return {faced ? Color::dynamic(Color::white(0, 0.05), Color::white(1, 0.06)) : Color::clear(),
                Color::dynamic(Color::white(0, 0.35), Color::white(1, 0.35))};
    const std::optional<Color> roleInk = c.role == ButtonRole::destructive ? std::optional(Color::red()) : std::nullopt;
    switch (kind) {
    case ButtonStyleKind::plain: return {Color::clear(), std::nullopt};
    case ButtonStyleKind::borderless: return {Color::clear(), roleInk.value_or(c.tint.value_or(accentColor()))};
    case ButtonStyleKind::bordered: {
        const std::optional<Color> ink = roleInk ? roleInk : c.tint;
        const Color face = ink ? ink->opacity(c.isPressed ? 0.28 : 0.16)
                               : Color::dynamic(Color::white(0, c.isPressed ? 0.16 : 0.08), Color::white(1, c.isPressed ? 0.22 : 0.12));
        return {face, ink ? *ink : Color::primary()};
    }
    case ButtonStyleKind::borderedProminent:
        return {roleInk.value_or(c.tint.value_or(accentColor())), Color::white()};
    }
    return {Color::clear(), std::nullopt};
}

ButtonStyle plainButtonStyle()
{
    return [](const ButtonStyleConfiguration& c) {
        const ButtonColors colors = buttonColors(ButtonStyleKind::plain, c);
        View v = colors.ink ? c.label.foregroundStyle(*colors.ink) : c.label;
        if (c.isPressed) v = v.opacity(0.7);
        // Colours the label sets itself (a tinted symbol) fade as well.
        if (!c.isEnabled) v = v.opacity(0.7);
        return v;
    };
}

ButtonStyle borderlessButtonStyle()
{
    return [](const ButtonStyleConfiguration& c) {
        View v = c.label.foregroundStyle(*buttonColors(ButtonStyleKind::borderless, c).ink);
        if (c.isPressed) v = v.opacity(0.6);
        if (!c.isEnabled) v = v.opacity(0.7);
        return v;
    };
}

ButtonStyle borderedButtonStyle()
{
    return [](const ButtonStyleConfiguration& c) {
        const ControlMetrics m = controlMetrics(c.controlSize);
        const Shape shape = faceShape(c.borderShape, m.cornerRadius);
        const ButtonColors colors = buttonColors(ButtonStyleKind::bordered, c);
        View v = sizedLabel(c, m)
                     .foregroundStyle(*colors.ink)
                     .background(shape.fill(colors.face))
                     .overlay(shape.strokeBorder(Color::dynamic(Color::white(0, 0.12), Color::white(1, 0.14)), 0.5).allowsHitTesting(false));
        return v;
    };
}

ButtonStyle borderedProminentButtonStyle()
{
    return [](const ButtonStyleConfiguration& c) {
        const ControlMetrics m = controlMetrics(c.controlSize);
        const Shape shape = faceShape(c.borderShape, m.cornerRadius);
        const ButtonColors colors = buttonColors(ButtonStyleKind::borderedProminent, c);
        View v = sizedLabel(c, m).foregroundStyle(*colors.ink).background(shape.fill(colors.face));
        if (c.isPressed) v = v.overlay(shape.fill(Color::white(0, 0.15)).allowsHitTesting(false));
        if (!c.isEnabled) v = v.overlay(shape.strokeBorder(Color::dynamic(Color::white(0, 0.1), Color::white(1, 0.12)), 0.5).allowsHitTesting(false));
        return v;
    };
}

KeyboardShortcut KeyboardShortcut::defaultAction() { return {Qt::Key_Return, 0}; }
KeyboardShortcut KeyboardShortcut::cancelAction() { return {Qt::Key_Escape, 0}; }

bool KeyboardShortcut::matches(int k, unsigned mods) const
{
    constexpr unsigned relevant = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    const bool sameKey = k == key || (key == Qt::Key_Return && k == Qt::Key_Enter);
    return sameKey && (mods & relevant) == (modifiers & relevant);
}

std::function<View(const View&)> buttonStyle(ButtonStyle style)
{
    return setting<ButtonStyleKey>(std::make_shared<const ButtonStyle>(std::move(style)));
}
std::function<View(const View&)> controlSize(ControlSize size) { return setting<ControlSizeKey>(size); }
std::function<View(const View&)> tint(Color color) { return setting<TintKey>(color); }
std::function<View(const View&)> buttonBorderShape(ButtonBorderShape shape) { return setting<ButtonBorderShapeKey>(shape); }
std::function<View(const View&)> keyboardShortcut(KeyboardShortcut shortcut) { return setting<KeyboardShortcutKey>(shortcut); }
std::function<View(const View&)> keyboardShortcut(int key, unsigned modifiers) { return keyboardShortcut(KeyboardShortcut{key, modifiers}); }

View Button(View label, std::function<void()> action, ButtonRole role)
{
    return View(detail::makeNode<ButtonNode>(std::move(label), std::move(action), role));
}

View Button(std::string title, std::function<void()> action, ButtonRole role)
{
    return Button(Text(std::move(title)), std::move(action), role);
}

}  // namespace platform::ui
