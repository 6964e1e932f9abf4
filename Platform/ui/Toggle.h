#pragma once

#include "ui/State.h"

#include <string>

namespace platform::ui {

// A switch beside its label (or a check box before it, by the toggle style
// in the environment); a tap anywhere on the row flips it. The
// accessibility value is "1" when on and "0" when off. A small or mini
// control size gives the small switch.
View Toggle(View label, Binding<bool> isOn);
View Toggle(std::string label, Binding<bool> isOn);

enum class ToggleStyle { switch_, checkbox };
struct ToggleStyleKey {
    using Value = ToggleStyle;
    static Value defaultValue() { return ToggleStyle::switch_; }
};
std::function<View(const View&)> toggleStyle(ToggleStyle style);

// The switch alone, drawn at `position` (0 = off, 1 = on); `scale` 1 is the
// regular size.
View SwitchFace(double position, bool enabled, Color onColor, double scale = 1);
// The check box alone, checked at `position` 1.
View CheckboxFace(double position, bool enabled, Color onColor);

}  // namespace platform::ui
