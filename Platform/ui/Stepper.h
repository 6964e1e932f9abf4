#pragma once

#include "ui/State.h"

#include <string>

namespace platform::ui {

// A pair of − and + buttons that change `value` by `step` within
// [minimum, maximum]; a button is disabled at its bound. The buttons carry
// the labels "Decrement" and "Increment".
View Stepper(View label, Binding<double> value, double step, double minimum, double maximum);
View Stepper(std::string label, Binding<int> value, int step, int minimum, int maximum);

// The value one step up or down, kept inside the bounds (pure).
double stepValue(double value, double step, double minimum, double maximum, bool up);

}  // namespace platform::ui
