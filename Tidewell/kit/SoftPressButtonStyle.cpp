#include "kit/SoftPressButtonStyle.h"

#include "kit/ForestSpring.h"
#include "ui/Shape.h"

namespace tidewell {

namespace ui = platform::ui;

double softPressScale(bool pressed, bool reduceMotion) { return pressed && !reduceMotion ? 0.98 : 1.0; }

ui::ButtonStyle SoftPressButtonStyle(bool reduceMotion) {
    return [reduceMotion](const ui::ButtonStyleConfiguration& c) {
        const ui::View face = c.label.contentShape(ui::Rectangle());
        if (reduceMotion) return face;
        return face.modifier(ui::animatedScale(softPressScale(c.isPressed, false)))
            .modifier(ui::animation(std::optional(forestSpring()), c.isPressed));
    };
}

ui::View softPressButtonStyle(const ui::View& button) {
    return ui::EnvironmentReader([button](const ui::EnvironmentValues& env) {
        return button.modifier(ui::buttonStyle(SoftPressButtonStyle(env.reduceMotion)));
    });
}

}  // namespace tidewell
