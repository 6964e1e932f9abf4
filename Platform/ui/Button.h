#pragma once

// Buttons and the environment they read: style, control size, border
// shape, tint and keyboard shortcut. A style is a function from the button's
// configuration (label, pressed, enabled, size, tint, role) to its look, so a
// custom style (a press that scales the face) gets the pressed state.

#include "ui/State.h"
#include "ui/View.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform::ui {

enum class ControlSize { mini, small, regular, large };
enum class ButtonRole { none, cancel, destructive };
enum class ButtonBorderShape { automatic, capsule, roundedRectangle, circle };

struct ButtonStyleConfiguration {
    View label;
    bool isPressed = false;
    bool isEnabled = true;
    ControlSize controlSize = ControlSize::regular;
    std::optional<Color> tint;
    ButtonRole role = ButtonRole::none;
    ButtonBorderShape borderShape = ButtonBorderShape::automatic;
};

using ButtonStyle = std::function<View(const ButtonStyleConfiguration&)>;

// The label as it is, dimmed while pressed.
ButtonStyle plainButtonStyle();
// A light rounded face behind the label; a tint colours label and face.
ButtonStyle borderedButtonStyle();
// A face filled with the tint (the accent blue by default), white label.
ButtonStyle borderedProminentButtonStyle();
// No face; the label takes the tint.
ButtonStyle borderlessButtonStyle();

// The face and ink the standard styles draw. A disabled button of any style
// drops its tint for a faint neutral face and ink in both appearances: half
// the opacity of a saturated fill still reads as a live button on a dark page.
enum class ButtonStyleKind { plain, borderless, bordered, borderedProminent };
struct ButtonColors {
    Color face;                 // clear for the faceless styles
    std::optional<Color> ink;   // none: the label keeps its own colours
};
ButtonColors buttonColors(ButtonStyleKind kind, const ButtonStyleConfiguration& configuration);

// A key and modifiers that press the button while its window has the keys
// (and no focused field keeps them).
struct KeyboardShortcut {
    int key = 0;             // Qt key code
    unsigned modifiers = 0;  // Qt keyboard modifiers (Ctrl is Qt::ControlModifier)
    static KeyboardShortcut defaultAction();  // Return
    static KeyboardShortcut cancelAction();   // Escape
    bool matches(int key, unsigned modifiers) const;
    bool operator==(const KeyboardShortcut&) const = default;
};

struct ButtonStyleKey {
    using Value = std::shared_ptr<const ButtonStyle>;  // none: bordered
    static Value defaultValue() { return nullptr; }
};
struct ControlSizeKey {
    using Value = ControlSize;
    static Value defaultValue() { return ControlSize::regular; }
};
struct TintKey {
    using Value = std::optional<Color>;
    static Value defaultValue() { return std::nullopt; }
};
struct ButtonBorderShapeKey {
    using Value = ButtonBorderShape;
    static Value defaultValue() { return ButtonBorderShape::automatic; }
};
struct KeyboardShortcutKey {
    using Value = std::optional<KeyboardShortcut>;
    static Value defaultValue() { return std::nullopt; }
};

std::function<View(const View&)> buttonStyle(ButtonStyle style);
std::function<View(const View&)> controlSize(ControlSize size);
std::function<View(const View&)> tint(Color color);
std::function<View(const View&)> buttonBorderShape(ButtonBorderShape shape);
std::function<View(const View&)> keyboardShortcut(KeyboardShortcut shortcut);
std::function<View(const View&)> keyboardShortcut(int key, unsigned modifiers = 0);

View Button(View label, std::function<void()> action, ButtonRole role = ButtonRole::none);
View Button(std::string title, std::function<void()> action, ButtonRole role = ButtonRole::none);

// Sizes of the standard control faces.
struct ControlMetrics {
    double height;
    double horizontalPadding;
    double cornerRadius;
    Font font;
};
ControlMetrics controlMetrics(ControlSize size);

// The accent colour controls use when no tint is set.
Color accentColor();

}  // namespace platform::ui
