#include "dashboard/ProjectTypeCard.h"

#include <algorithm>

#include "dashboard/ReclaimSideCard.h"
#include "foundation/Formatters.h"
#include "kit/IconTile.h"
#include "kit/SoftPressButtonStyle.h"
#include "kit/Theme.h"
#include "ui/Button.h"
#include "ui/Canvas.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

std::string projectCountText(std::int64_t count) {
    return std::to_string(count) + (count == 1 ? " project" : " projects");
}

std::string projectTypeCardAccessibilityLabel(const TypeSummaryDTO& summary) {
    return summary.label + ", " + projectCountText(summary.project_count) + ", " +
           platform::formatByteCount(summary.reclaimable_bytes) + " reclaimable of " +
           platform::formatByteCount(summary.total_bytes);
}

namespace {

ui::View figure(std::uint64_t bytes, const std::string& caption, const ui::ShapeStyle& colour) {
    ui::FrameSpec full;
    full.maxWidth = ui::infinity;
    full.alignment = ui::Alignment::leading;
    return ui::VStack(ui::HorizontalAlignment::leading, 1,
                      {
                          ui::Text(platform::formatByteCount(bytes))
                              .font(ui::Font::callout().bold().monospacedDigit())
                              .foregroundStyle(colour)
                              .lineLimit(1)
                              .minimumScaleFactor(0.7),
                          ui::Text(caption).font(ui::Font::caption2()).foregroundStyle(ui::ShapeStyle::secondary()).lineLimit(1),
                      })
        .frame(full);
}

// The track and, over it, the reclaimable share: never thinner than 6 points,
// so an empty stack still shows where its bar starts.
ui::View bar(double fraction) {
    ui::FrameSpec full;
    full.maxWidth = ui::infinity;
    full.minHeight = 5;
    full.maxHeight = 5;
    return ui::Canvas([fraction](ui::GraphicsContext& ctx, ui::Size size) {
               const ui::Rect track{0, 0, size.width, size.height};
               const double radius = size.height / 2;
               ui::Path capsule = ui::Path::roundedRect(track, radius);
               ctx.fill(capsule, ui::Shading::style(ui::Color::primary().opacity(0.08), track));
               ui::GraphicsContext clipped = ctx;
               clipped.clip(capsule);
               const double width = std::max(size.width * fraction, 6.0);
               clipped.fill(ui::Path::roundedRect({0, 0, width, size.height}, radius), Theme::reclaim());
           })
        .frame(full);
}

}  // namespace

ui::View ProjectTypeCard(const TypeSummaryDTO& summary, bool selected, std::function<void()> action) {
    const ui::View identity = ui::HStack(
        ui::VerticalAlignment::center, 8,
        {
            IconTile(summary.project_type, 28, 7),
            ui::VStack(ui::HorizontalAlignment::leading, 1,
                       {
                           ui::Text(summary.label)
                               .font(ui::Font::subheadline().weight(ui::FontWeight::semibold))
                               .foregroundStyle(ui::ShapeStyle::primary())
                               .lineLimit(1)
                               .minimumScaleFactor(0.8),
                           ui::Text(projectCountText(summary.project_count))
                               .font(ui::Font::caption2())
                               .foregroundStyle(ui::ShapeStyle::secondary())
                               .lineLimit(1),
                       }),
            ui::Spacer(0),
        });
    const ui::View figures = ui::HStack(ui::VerticalAlignment::top, 8,
                                        {
                                            figure(summary.total_bytes, "Total Size", ui::ShapeStyle::primary()),
                                            figure(summary.reclaimable_bytes, "Reclaimable", Theme::reclaim()),
                                        });
    const ui::Shape face = ui::RoundedRectangle(14, ui::RoundedCornerStyle::continuous);
    const ui::View label =
        ui::VStack(ui::HorizontalAlignment::leading, 10,
                   {identity, figures, bar(reclaimableFraction(summary.reclaimable_bytes, summary.total_bytes))})
            .padding(12)
            .background(face.fill(selected ? Theme::accent().opacity(0.16) : ui::Color::primary().opacity(0.05)))
            .overlay(selected ? face.strokeBorder(Theme::accent().opacity(0.55), 1.5)
                              : face.strokeBorder(ui::Color::primary().opacity(0.08), 1));
    ui::View card = softPressButtonStyle(ui::Button(label, std::move(action)))
                        .accessibilityLabel(projectTypeCardAccessibilityLabel(summary));
    if (selected) card = card.accessibilityAddTraits(ui::AccessibilityTrait::selected);
    return card;
}

}  // namespace tidewell
