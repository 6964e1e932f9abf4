#include "ui/ProgressView.h"

#include "ui/Button.h"
#include "ui/Shape.h"
#include "ui/Text.h"
#include "ui/TimelineView.h"

#include <algorithm>
#include <cmath>

namespace platform::ui {

View ProgressView(double fraction, std::string label)
{
    const double f = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
    View bar = EnvironmentReader([f](const EnvironmentValues& env) {
        const Color fill = env.get<TintKey>().value_or(accentColor());
        return GeometryReader([f, fill](const GeometryProxy& g) {
            return ZStack(Alignment::leading, {
                Capsule().fill(Color::dynamic(Color::white(0, 0.1), Color::white(1, 0.16))),
                Capsule().fill(fill).frame(g.size.width * f, std::nullopt),
            });
        }).frame(FrameSpec{.minWidth = 40, .idealWidth = 160, .maxWidth = infinity, .minHeight = 5, .maxHeight = 5});
    });
    View v = label.empty() ? bar : VStack(HorizontalAlignment::leading, 6, {Text(label), bar});
    return v.accessibilityElement(AccessibilityChildBehavior::combine).accessibilityValue(std::to_string(int(std::lround(f * 100))) + "%");
}

View ProgressView(std::string label)
{
    View spinner = EnvironmentReader([](const EnvironmentValues& env) {
        const ControlSize size = env.get<ControlSizeKey>();
        const double d = size == ControlSize::mini ? 10 : size == ControlSize::small ? 16 : size == ControlSize::large ? 32 : 22;
        return TimelineView(TimelineSchedule::animation(1.0 / 30), [d](double t) {
            return ZStack({
                Circle().stroke(Color::dynamic(Color::white(0, 0.1), Color::white(1, 0.15)), StrokeStyle{d / 9}),
                Circle().trim(0, 0.3).stroke(ShapeStyle::secondary(), StrokeStyle{d / 9, LineCap::round})
                    .rotationEffect(Angle::degrees(std::fmod(t * 360, 360))),
            }).frame(d, d);
        });
    });
    View v = label.empty() ? spinner : VStack(HorizontalAlignment::center, 6, {spinner, Text(label).foregroundStyle(ShapeStyle::secondary())});
    return v.accessibilityElement(AccessibilityChildBehavior::combine);
}

}  // namespace platform::ui
