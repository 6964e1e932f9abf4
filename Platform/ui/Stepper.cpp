#include "ui/Stepper.h"

#include "ui/Button.h"
#include "ui/Image.h"
#include "ui/LabeledContent.h"
#include "ui/Shape.h"
#include "ui/Text.h"

#include <algorithm>
#include <cmath>

namespace platform::ui {

double stepValue(double value, double step, double minimum, double maximum, bool up)
{
    if (minimum > maximum) std::swap(minimum, maximum);
    if (!std::isfinite(value)) value = minimum;
    const double next = value + (up ? std::abs(step) : -std::abs(step));
    return std::clamp(next, minimum, maximum);
}

View Stepper(View label, Binding<double> value, double step, double minimum, double maximum)
{
    const double v = value.get();
    auto half = [&](const std::string& symbol, const std::string& name, bool up) {
        const bool atBound = up ? v >= maximum : v <= minimum;
        return Button(Image::systemName(symbol).font(Font::caption()).frame(18, 16),
                      [value, step, minimum, maximum, up] { value.set(stepValue(value.get(), step, minimum, maximum, up)); })
            .modifier(buttonStyle(plainButtonStyle()))
            .accessibilityLabel(name)
            .disabled(atBound);
    };
    View buttons = HStack(VerticalAlignment::center, 0, {half("minus", "Decrement", false), Rectangle().fill(Color::dynamic(Color::white(0, 0.15), Color::white(1, 0.2))).frame(1, 12), half("plus", "Increment", true)})
                       .padding(EdgeInsets{1, 2, 1, 2})
                       .background(RoundedRectangle(5).fill(Color::dynamic(Color::white(0, 0.07), Color::white(1, 0.12))));
    return LabeledContent(label, buttons);
}

View Stepper(std::string label, Binding<int> value, int step, int minimum, int maximum)
{
    Binding<double> asDouble([value] { return double(value.get()); }, [value](double d) { value.set(int(std::lround(d))); });
    return Stepper(Text(std::move(label)), asDouble, step, minimum, maximum);
}

}  // namespace platform::ui
