#include "kit/StackCanopyToken.h"

#include "kit/SoftPressButtonStyle.h"
#include "kit/StackFilterRules.h"
#include "kit/StackIcon.h"
#include "kit/StackVocabulary.h"
#include "kit/Theme.h"
#include "ui/MatchedGeometryEffect.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View StackCanopyToken(const TypeSummaryDTO& summary, bool selected, bool dimmed, double scale,
                          const std::string& matchedNamespace, std::function<void()> action) {
    const double d = stackCanopyDiameter(scale);
    const ui::Color tint = stackTint(summary.project_type);
    const double arc = stackCanopyArcFraction(summary.reclaimable_bytes, summary.total_bytes);

    ui::StrokeStyle arcStroke;
    arcStroke.lineWidth = 4;
    arcStroke.lineCap = ui::LineCap::round;
    ui::ViewList layers{
        ui::Circle().fill(tint.opacity(selected ? 0.32 : 0.14)),
        ui::Circle().stroke(tint.opacity(0.22), 4),
        // Starts at twelve o'clock and runs clockwise.
        ui::Circle().trim(0, arc).stroke(tint, arcStroke).rotationEffect(ui::Angle::degrees(-90)),
    };
    if (selected) {
        layers.push_back(ui::Circle()
                             .strokeBorder(Theme::accent().opacity(0.9), 2)
                             .modifier(ui::matchedGeometryEffect(kStackCanopySelectionID, matchedNamespace)));
    }
    layers.push_back(StackIcon(summary.project_type, 0.4 * d, true));
    const ui::View canopy = ui::ZStack(std::move(layers))
                                .frame(d, d)
                                .shadow(tint.opacity(selected ? 0.5 : 0.16), selected ? 10 : 4, 0, 3);

    const ui::View trunk = ui::Capsule(ui::RoundedCornerStyle::continuous)
                               .fill(tint.opacity(selected ? 0.7 : 0.28))
                               .frame(2, 12)
                               .padding(ui::Edge::top, 4);

    ui::FrameSpec captionFrame;
    captionFrame.minHeight = 52;
    captionFrame.alignment = ui::Alignment::top;
    const ui::View caption =
        ui::VStack(ui::HorizontalAlignment::center, 2,
                   {
                       ui::Text(summary.label)
                           .font(ui::Font::caption().weight(ui::FontWeight::semibold))
                           .foregroundStyle(ui::ShapeStyle::primary())
                           .lineLimit(1)
                           .minimumScaleFactor(0.75),
                       ui::Text(stackTokenBytesText(summary.reclaimable_bytes))
                           .font(ui::Font::caption().weight(ui::FontWeight::bold).monospacedDigit())
                           .foregroundStyle(Theme::reclaim())
                           .lineLimit(1)
                           .minimumScaleFactor(0.8),
                       ui::Text(std::to_string(summary.project_count))
                           .font(ui::Font::caption2())
                           .foregroundStyle(ui::ShapeStyle::secondary()),
                   })
            .padding(ui::Edge::top, 8)
            .frame(captionFrame);

    const ui::View label = ui::VStack(ui::HorizontalAlignment::center, 0, {canopy, trunk, caption})
                               .frame(104, std::nullopt)
                               .opacity(dimmed ? 0.42 : 1);
    ui::View token = softPressButtonStyle(ui::Button(label, std::move(action)))
                         .accessibilityLabel(stackTokenAccessibilityLabel(summary))
                         .help("Show only " + summary.label + " projects");
    if (selected) token = token.accessibilityAddTraits(ui::AccessibilityTrait::selected);
    return token;
}

}  // namespace tidewell
