#include "kit/StackGroveAllToken.h"

#include "kit/SoftPressButtonStyle.h"
#include "kit/Theme.h"
#include "ui/Image.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View StackGroveAllToken(bool selected, std::function<void()> action) {
    const ui::Color accent = Theme::accent();
    const ui::View canopy =
        ui::ZStack({
                       ui::Circle().fill(selected ? accent.opacity(0.22) : Theme::raisedSurface()),
                       selected ? ui::Circle().strokeBorder(accent.opacity(0.85), 2.5)
                                : ui::Circle().strokeBorder(accent.opacity(0.28), 1.5),
                       ui::Image::systemName("leaf.fill")
                           .font(ui::Font::system(22, ui::FontWeight::semibold))
                           .foregroundStyle(accent),
                   })
            .frame(58, 58)
            .shadow(accent.opacity(selected ? 0.35 : 0), 8, 0, 2);
    const ui::View trunk = ui::Capsule(ui::RoundedCornerStyle::continuous)
                               .fill(accent.opacity(selected ? 0.55 : 0.18))
                               .frame(2, 12)
                               .padding(ui::Edge::top, 4);
    ui::FrameSpec captionFrame;
    captionFrame.minHeight = 52;
    captionFrame.alignment = ui::Alignment::top;
    const ui::View caption = ui::VStack(ui::HorizontalAlignment::center, 2,
                                        {
                                            ui::Text("All")
                                                .font(ui::Font::caption().weight(ui::FontWeight::semibold))
                                                .foregroundStyle(ui::ShapeStyle::primary()),
                                            ui::Text("grove")
                                                .font(ui::Font::caption2())
                                                .foregroundStyle(ui::ShapeStyle::secondary()),
                                            // Keeps the caption as tall as a stack token's three lines.
                                            ui::Text(" ").font(ui::Font::caption2()).hidden(),
                                        })
                                 .padding(ui::Edge::top, 8)
                                 .frame(captionFrame);
    const ui::View label = ui::VStack(ui::HorizontalAlignment::center, 0, {canopy, trunk, caption}).frame(104, std::nullopt);
    ui::View token = softPressButtonStyle(ui::Button(label, std::move(action)))
                         .accessibilityLabel("All stacks")
                         .help("Show every stack");
    if (selected) token = token.accessibilityAddTraits(ui::AccessibilityTrait::selected);
    return token;
}

}  // namespace tidewell
