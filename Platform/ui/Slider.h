#pragma once

#include "ui/State.h"

#include <optional>

namespace platform::ui {

// A track with a knob for `value` in [minimum, maximum]. A click or a drag
// along the track sets the value at the pointer; the arrow keys move it by
// `step` (a twentieth of the range without one) while the slider has focus.
View Slider(Binding<double> value, double minimum, double maximum, std::optional<double> step = std::nullopt);

// The value at `fraction` (0–1) of the range, snapped to `step` (pure).
double sliderValue(double fraction, double minimum, double maximum, std::optional<double> step);

}  // namespace platform::ui
