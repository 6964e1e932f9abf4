#pragma once

#include "ui/State.h"

#include <string>

namespace platform::ui {

// A switch beside its label; a tap anywhere on the row flips it. The
// accessibility value is "1" when on and "0" when off.
View Toggle(View label, Binding<bool> isOn);
View Toggle(std::string label, Binding<bool> isOn);

// The switch alone, drawn at `position` (0 = off, 1 = on).
View SwitchFace(double position, bool enabled, Color onColor);

}  // namespace platform::ui
