#pragma once

#include "ui/Button.h"

namespace tidewell {

// The press of the kit's custom buttons: the whole frame takes clicks, and
// the face shrinks to 0.98 while pressed with the theme spring. Under reduce
// motion it keeps its size and nothing animates.
platform::ui::ButtonStyle SoftPressButtonStyle(bool reduceMotion);

// The scale of a face: 0.98 pressed, 1 otherwise or under reduce motion.
double softPressScale(bool pressed, bool reduceMotion);

// Applies the style with the reduce-motion setting of the view's environment.
platform::ui::View softPressButtonStyle(const platform::ui::View& button);

}  // namespace tidewell
