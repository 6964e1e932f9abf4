#include "ui/Toggle.h"

#include "ui/Animation.h"
#include "ui/Button.h"
#include "ui/LabeledContent.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace platform::ui {

View SwitchFace(double position, bool enabled, Color onColor)
{
    const double w = 32, h = 18, knob = 14;
    const Color off = Color::dynamic(Color::white(0, 0.12), Color::white(1, 0.18));
    View track = ZStack(Alignment::leading, {
        Capsule().fill(off),
        Capsule().fill(onColor).opacity(position),
        Circle().fill(Color::white()).frame(knob, knob).shadow(Color::white(0, 0.25), 1, 0, 0.5)
            .offset(2 + (w - knob - 4) * position, 0),
    }).frame(w, h);
    return enabled ? track : track.opacity(0.5);
}

View Toggle(View label, Binding<bool> isOn)
{
    return EnvironmentReader([label, isOn](const EnvironmentValues& env) {
        const bool on = isOn.get();
        const bool enabled = env.isEnabled;
        const Color onColor = env.get<TintKey>().value_or(accentColor());
        View face = Animatable<double>(on ? 1.0 : 0.0, Animation::spring(0.3, 0.8),
                                       [enabled, onColor](const double& p) { return SwitchFace(p, enabled, onColor); });
        return LabeledContent(label, face)
            .contentShape(Rectangle())
            .accessibilityElement(AccessibilityChildBehavior::combine)
            .accessibilityValue(on ? "1" : "0")
            .accessibilityAddTraits(AccessibilityTrait::button)
            .onTapGesture([isOn] { isOn.set(!isOn.get()); });
    });
}

View Toggle(std::string label, Binding<bool> isOn) { return Toggle(Text(std::move(label)), std::move(isOn)); }

}  // namespace platform::ui
