#include "kit/ForestButton.h"

#include "kit/PointingHandCursorModifier.h"
#include "kit/Theme.h"
#include "ui/Image.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

ForestButtonTreatment forestButtonTreatment(ForestButton::Tone tone) {
    using Style = ForestButtonTreatment::Style;
    // The glass styles are for a newer desktop than any we run on; the
    // bordered styles are the look everywhere.
    switch (tone) {
    case ForestButton::Tone::accent: return {Style::borderedProminent, Theme::accent(), std::nullopt, true};
    case ForestButton::Tone::reclaim: return {Style::borderedProminent, Theme::reclaim(), std::nullopt, true};
    case ForestButton::Tone::caution: return {Style::borderedProminent, Theme::caution(), std::nullopt, true};
    case ForestButton::Tone::secondary: return {Style::bordered, std::nullopt, std::nullopt, true};
    case ForestButton::Tone::ghost: return {Style::plain, std::nullopt, Theme::accent(), false};
    }
    return {};
}

ui::Font forestButtonFont(ui::ControlSize size) {
    return size == ui::ControlSize::large ? Theme::largeButtonFont() : Theme::buttonFont();
}

ui::View ForestButton::body() const {
    ui::ViewList row;
    if (expand) row.push_back(ui::Spacer(0));
    if (systemImage) row.push_back(ui::Image::systemName(*systemImage).frame(16, 16));
    row.push_back(ui::Text(title).lineLimit(1));
    if (expand) row.push_back(ui::Spacer(0));
    ui::FrameSpec width;
    if (expand) width.maxWidth = ui::infinity;
    const ui::View label =
        ui::HStack(ui::VerticalAlignment::center, 6, std::move(row)).font(forestButtonFont(size)).frame(width).contentShape(ui::Rectangle());

    const ForestButtonTreatment t = forestButtonTreatment(tone);
    ui::View button = ui::Button(label, action);
    switch (t.style) {
    case ForestButtonTreatment::Style::borderedProminent:
        button = button.modifier(ui::buttonStyle(ui::borderedProminentButtonStyle()));
        break;
    case ForestButtonTreatment::Style::bordered:
        button = button.modifier(ui::buttonStyle(ui::borderedButtonStyle()));
        break;
    case ForestButtonTreatment::Style::plain:
        button = button.modifier(ui::buttonStyle(ui::plainButtonStyle()));
        break;
    }
    if (t.tint) button = button.modifier(ui::tint(*t.tint));
    if (t.foreground) button = button.foregroundStyle(*t.foreground);
    if (t.takesControlSize) button = button.modifier(ui::controlSize(size));
    return PointingHandCursorModifier(button.contentShape(ui::Rectangle()));
}

}  // namespace tidewell
