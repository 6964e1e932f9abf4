#include "ui/Slider.h"

#include "ui/Button.h"
#include "ui/Modifiers.h"
#include "ui/Shape.h"
#include "ui/ViewHost.h"

#include <Qt>
#include <algorithm>
#include <cmath>

namespace platform::ui {

double sliderValue(double fraction, double minimum, double maximum, std::optional<double> step)
{
    if (!std::isfinite(fraction)) fraction = 0;
    fraction = std::clamp(fraction, 0.0, 1.0);
    double v = minimum + (maximum - minimum) * fraction;
    if (step && *step > 0) v = minimum + std::round((v - minimum) / *step) * *step;
    return std::clamp(v, std::min(minimum, maximum), std::max(minimum, maximum));
}

namespace {

constexpr double knob = 16;

struct SliderState {
    bool pressed = false;
    double width = 0;
    double lastX = -1;  // the pointer's last place over the track
};

class SliderNode final : public Node {
public:
    SliderNode(Binding<double> value, double minimum, double maximum, std::optional<double> step)
        : value_(std::move(value)), min_(minimum), max_(maximum), step_(step) {}

    void build(Element& self, BuildContext& ctx) const override
    {
        auto state = std::static_pointer_cast<SliderState>(
            ctx.stateSlot(self.identity() + "#slider", [] { return std::static_pointer_cast<void>(std::make_shared<SliderState>()); }));
        auto* host = dynamic_cast<ViewHost*>(&ctx);
        // The tap target is the outermost node of child "s" (see below).
        state->pressed = host && host->pressedIdentity() && *host->pressedIdentity() == self.identity() + "/s";
        const double range = max_ - min_;
        const double fraction = range != 0 ? std::clamp((value_.get() - min_) / range, 0.0, 1.0) : 0;
        const Color fill = self.env->get<TintKey>().value_or(accentColor());
        auto setAt = [value = value_, min = min_, max = max_, step = step_, state](double x) {
            const double usable = std::max(1.0, state->width - knob);
            value.set(sliderValue((x - knob / 2) / usable, min, max, step));
        };
        View face = GeometryReader([fraction, fill, state](const GeometryProxy& g) {
            state->width = g.size.width;
            const double usable = std::max(0.0, g.size.width - knob);
            return ZStack(Alignment::leading, {
                Capsule().fill(Color::dynamic(Color::white(0, 0.12), Color::white(1, 0.18))).frame(std::nullopt, 4),
                Capsule().fill(fill).frame(knob / 2 + usable * fraction, 4),
                Circle().fill(Color::white()).overlay(Circle().strokeBorder(Color::white(0, 0.18), 0.5))
                    .shadow(Color::white(0, 0.25), 1.5, 0, 0.5).frame(knob, knob).offset(usable * fraction, 0),
            });
        }).frame(FrameSpec{.minWidth = 60, .idealWidth = 160, .maxWidth = infinity, .minHeight = 20, .maxHeight = 20});
        const double step = step_.value_or((max_ - min_) / 20);
        View slider = face.contentShape(Rectangle())
                          .onContinuousHover([state, setAt](HoverPhase phase) {
                              if (phase.kind != HoverPhaseKind::active) return;
                              state->lastX = phase.location.x;
                              if (state->pressed) setAt(phase.location.x);  // a drag
                          })
                          .focusable()
                          .onKeyPress([value = value_, step, min = min_, max = max_](const KeyPress& k) {
                              if (k.key != Qt::Key_Left && k.key != Qt::Key_Right) return false;
                              const double d = k.key == Qt::Key_Right ? step : -step;
                              value.set(std::clamp(value.get() + d, std::min(min, max), std::max(min, max)));
                              return true;
                          })
                          .accessibilityElement(AccessibilityChildBehavior::ignore)
                          .accessibilityValue(std::to_string(value_.get()))
                          .opacity(self.env->isEnabled ? 1 : 0.5)
                          .onTapGesture([setAt, state] {
                              if (state->lastX >= 0) setAt(state->lastX);
                          });
        ctx.addChild(self, slider, "s");
    }

private:
    Binding<double> value_;
    double min_, max_;
    std::optional<double> step_;
};

}  // namespace

View Slider(Binding<double> value, double minimum, double maximum, std::optional<double> step)
{
    return View(detail::makeNode<SliderNode>(std::move(value), minimum, maximum, step));
}

}  // namespace platform::ui
