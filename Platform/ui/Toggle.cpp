#include "ui/Toggle.h"

#include "ui/Animation.h"
#include "ui/Button.h"
#include "ui/LabeledContent.h"
#include "ui/Modifiers.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace platform::ui {

View SwitchFace(double position, bool enabled, Color onColor, double scale)
{
    const double w = 32 * scale, h = 18 * scale, knob = 14 * scale, inset = 2 * scale;
    const Color off = Color::dynamic(Color::white(0, 0.12), Color::white(1, 0.18));
    View track = ZStack(Alignment::leading, {
        Capsule().fill(off),
        Capsule().fill(onColor).opacity(position),
        Circle().fill(Color::white()).frame(knob, knob).shadow(Color::white(0, 0.25), 1, 0, 0.5)
            .offset(inset + (w - knob - 2 * inset) * position, 0),
    }).frame(w, h);
    return enabled ? track : track.opacity(0.5);
}

View CheckboxFace(double position, bool enabled, Color onColor)
{
    const double side = 14;
    const Color border = Color::dynamic(Color::white(0, 0.28), Color::white(1, 0.3));
    View mark = PathShape([](const Rect& r) {
                    Path p;
                    p.move({r.x + r.width * 0.24, r.y + r.height * 0.52});
                    p.addLine({r.x + r.width * 0.43, r.y + r.height * 0.72});
                    p.addLine({r.x + r.width * 0.77, r.y + r.height * 0.3});
                    return p;
                })
                    .stroke(Color::white(), StrokeStyle{.lineWidth = 1.8, .lineCap = LineCap::round, .lineJoin = LineJoin::round});
    View box = ZStack({
        RoundedRectangle(3.5).fill(Color::dynamic(Color::white(), Color::white(1, 0.08))),
        RoundedRectangle(3.5).strokeBorder(border, 1).opacity(1 - position),
        RoundedRectangle(3.5).fill(onColor).opacity(position),
        mark.opacity(position),
    }).frame(side, side);
    return enabled ? box : box.opacity(0.5);
}

std::function<View(const View&)> toggleStyle(ToggleStyle style)
{
    return [style](const View& v) { return v.environment<ToggleStyleKey>(style); };
}

View Toggle(View label, Binding<bool> isOn)
{
    return EnvironmentReader([label, isOn](const EnvironmentValues& env) {
        const bool on = isOn.get();
        const bool enabled = env.isEnabled;
        const Color onColor = env.get<TintKey>().value_or(accentColor());
        const bool checkbox = env.get<ToggleStyleKey>() == ToggleStyle::checkbox;
        const ControlSize size = env.get<ControlSizeKey>();
        const double scale = size == ControlSize::mini ? 0.6 : size == ControlSize::small ? 0.75 : 1;
        View face = checkbox ? Animatable<double>(on ? 1.0 : 0.0, Animation::easeOut(0.12),
                                                  [enabled, onColor](const double& p) { return CheckboxFace(p, enabled, onColor); })
                             : Animatable<double>(on ? 1.0 : 0.0, Animation::spring(0.3, 0.8), [enabled, onColor, scale](const double& p) {
                                   return SwitchFace(p, enabled, onColor, scale);
                               });
        View row = checkbox ? HStack(VerticalAlignment::center, 6, {face, label}) : LabeledContent(label, face);
        return View(detail::makeNode<FocusableNode>(row, enabled, false))
            .contentShape(Rectangle())
            .accessibilityElement(AccessibilityChildBehavior::combine)
            .accessibilityValue(on ? "1" : "0")
            .accessibilityAddTraits(AccessibilityTrait::button)
            .onTapGesture([isOn, enabled] {
                if (enabled) isOn.set(!isOn.get());
            });
    });
}

View Toggle(std::string label, Binding<bool> isOn) { return Toggle(Text(std::move(label)), std::move(isOn)); }

}  // namespace platform::ui
