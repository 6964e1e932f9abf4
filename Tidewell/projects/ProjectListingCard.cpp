#include "projects/ProjectListingCard.h"

#include <algorithm>

#include "core/ModelTexts.h"
#include "foundation/Formatters.h"
#include "kit/IconTile.h"
#include "kit/SoftPressButtonStyle.h"
#include "kit/StackBadge.h"
#include "kit/StackVocabulary.h"
#include "kit/SymbolTile.h"
#include "kit/Theme.h"
#include "runtime/Clock.h"
#include "ui/Button.h"
#include "ui/Image.h"
#include "ui/Path.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

constexpr double kCorner = 14;

std::string bytes(std::uint64_t count) { return platform::formatByteCount(count); }

ui::View activityBadge(const std::string& text) {
    if (text.empty()) return ui::EmptyView();
    const ui::Color tint = text == "ACTIVE" ? Theme::accent() : Theme::caution();
    return ui::Text(text)
        .font(ui::Font::caption2().bold())
        .foregroundStyle(tint)
        .padding(ui::EdgeInsets{2, 6, 2, 6})
        .background(ui::Capsule().fill(tint.opacity(0.18)));
}

ui::View topRow(const ProjectDTO& project, bool selecting, bool selected) {
    ui::ViewList items;
    if (selecting) {
        items.push_back(
            ui::Image::systemName(selected ? "checkmark.circle.fill" : "circle")
                .font(ui::Font::title3())
                .foregroundStyle(selected ? ui::ShapeStyle(Theme::reclaim()) : ui::ShapeStyle::secondary().opacity(0.6))
                .accessibilityHidden(true));
    }
    items.push_back(project.types.empty() ? SymbolTile("folder.fill", Theme::accent(), 32)
                                          : IconTile(project.types.front(), 32, 8));
    // Names and paths from disk are plain text, never markup.
    items.push_back(ui::VStack(ui::HorizontalAlignment::leading, 1,
                               {
                                   ui::Text(project.name)
                                       .font(ui::Font::subheadline().weight(ui::FontWeight::semibold))
                                       .foregroundStyle(ui::ShapeStyle::primary())
                                       .lineLimit(1)
                                       .minimumScaleFactor(0.8),
                                   ui::Text(project.path)
                                       .font(ui::Font::system(ui::TextStyle::caption2, ui::FontDesign::monospaced))
                                       .foregroundStyle(ui::ShapeStyle::secondary())
                                       .lineLimit(1)
                                       .truncationMode(ui::TruncationMode::middle),
                               }));
    items.push_back(ui::Spacer(0));
    return ui::HStack(ui::VerticalAlignment::center, 8, std::move(items));
}

ui::View statusRow(const ProjectDTO& project, const ProjectCardTexts& texts) {
    ui::ViewList items{
        activityBadge(texts.badge),
        ui::Text(texts.lastUse)
            .font(ui::Font::caption2().weight(ui::FontWeight::medium))
            .foregroundStyle(ui::ShapeStyle::secondary())
            .monospacedDigit()
            .lineLimit(1),
        ui::Spacer(),
    };
    std::vector<std::pair<std::string, ui::View>> badges;
    for (std::size_t i = 1; i < project.types.size(); ++i)
        badges.emplace_back(project.types[i], StackBadge(project.types[i]).fixedSize());
    items.push_back(ui::ForEachIdentified(std::move(badges)));
    ui::FrameSpec height;
    height.minHeight = 24;
    height.alignment = ui::Alignment::leading;
    return ui::HStack(ui::VerticalAlignment::center, 6, std::move(items)).frame(height);
}

ui::View sizeRow(const ProjectDTO& project) {
    return ui::HStack(
        ui::VerticalAlignment::firstTextBaseline, std::nullopt,
        {
            ui::VStack(
                ui::HorizontalAlignment::leading, 1,
                {
                    ui::Text(bytes(project.total_bytes)).font(ui::Font::callout().bold()).monospacedDigit(),
                    ui::Text("Total Size").font(ui::Font::caption2()).foregroundStyle(ui::ShapeStyle::secondary()),
                }),
            ui::Spacer(),
            ui::VStack(
                ui::HorizontalAlignment::trailing, 1,
                {
                    ui::Text(bytes(project.reclaimable_bytes))
                        .font(ui::Font::callout().bold())
                        .foregroundStyle(Theme::reclaim())
                        .monospacedDigit(),
                    ui::Text("Reclaimable").font(ui::Font::caption2()).foregroundStyle(ui::ShapeStyle::secondary()),
                }),
        });
}

ui::View sizeBar(double ratio) {
    return ui::GeometryReader([ratio](const ui::GeometryProxy& g) {
               const double fill = std::max(6.0, g.size.width * ratio);
               return ui::ZStack(ui::Alignment::leading,
                                 {
                                     ui::Capsule().fill(ui::Color::primary().opacity(0.08)),
                                     ui::Capsule().fill(Theme::reclaim()).frame(fill, std::nullopt),
                                 });
           })
        .frame(std::nullopt, 5);
}

// The first stack's colour down the card's leading edge, following its rounded corners.
ui::View accentStripe(const ProjectDTO& project) {
    if (project.types.empty()) return ui::EmptyView();
    // The card's own outline cut to its first 4 points, so the stripe's
    // left corners are the card's.
    return ui::PathShape([](const ui::Rect& r) {
               return ui::Path(
                   ui::Path::roundedRect(r, kCorner)
                       .qt()
                       .intersected(ui::Path::rect(ui::Rect{r.x, r.y, std::min(4.0, r.width), r.height}).qt()));
           })
        .fill(stackTint(project.types.front()))
        .allowsHitTesting(false);
}

}  // namespace

ProjectCardTexts projectCardTexts(const ProjectDTO& project, bool selecting, bool selected,
                                  std::chrono::system_clock::time_point now) {
    ProjectCardTexts t;
    t.state = project.is_active ? "active" : project.is_idle ? "idle" : "recent";
    t.badge = project.is_active ? "ACTIVE" : project.is_idle ? "IDLE" : "";
    t.lastUse = project.last_activity_unix ? relativeTimeText(now, *project.last_activity_unix) : "Not used yet";
    const bool selectable = !project.pinned && project.reclaimable_bytes != 0;
    if (!selecting) {
        t.help = "Show folders that can be moved to Trash";
    } else if (selectable) {
        t.help = "Add this project to the clean selection";
    } else {
        t.help = "Pinned projects or empty ones cannot be selected";
        t.takesTaps = false;
        t.opacity = 0.45;
    }
    const std::string tail = !selecting ? "Show files to delete" : selected ? "selected" : "not selected";
    t.accessibilityLabel = project.name + ", " + t.state + ", last used " + t.lastUse + ", " +
                           bytes(project.reclaimable_bytes) + " reclaimable of " + bytes(project.total_bytes) + ". " +
                           tail + ".";
    return t;
}

double projectCardFillRatio(std::uint64_t reclaimable, std::uint64_t total) {
    if (total == 0) return 0;
    return std::min(1.0, static_cast<double>(reclaimable) / static_cast<double>(total));
}

ui::View ProjectListingCard(AppStore&, const ProjectDTO& project, bool selecting, bool selected,
                            std::function<void()> onOpenFiles) {
    const ProjectCardTexts texts = projectCardTexts(project, selecting, selected, platform::now());
    const bool markSelected = selecting && selected;
    const ui::Shape card = ui::RoundedRectangle(kCorner);

    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.alignment = ui::Alignment::topLeading;
    const ui::View face =
        ui::VStack(ui::HorizontalAlignment::leading, 10,
                   {
                       topRow(project, selecting, selected),
                       statusRow(project, texts),
                       sizeRow(project),
                       sizeBar(projectCardFillRatio(project.reclaimable_bytes, project.total_bytes)),
                   })
            .padding(12)
            .padding(ui::Edge::leading, 6)
            .frame(fill)
            .background(card.fill(markSelected ? Theme::accent().opacity(0.16) : ui::Color::primary().opacity(0.05)))
            .overlay(accentStripe(project), ui::Alignment::leading)
            .overlay((markSelected ? card.strokeBorder(Theme::reclaim().opacity(0.85), 2)
                                   : card.strokeBorder(ui::Color::primary().opacity(0.08), 1))
                         .allowsHitTesting(false))
            .contentShape(card);

    ui::FrameSpec frame;
    frame.maxWidth = ui::infinity;
    frame.minHeight = 156;
    frame.alignment = ui::Alignment::top;
    ui::View button = softPressButtonStyle(ui::Button(face, std::move(onOpenFiles)))
                          .frame(frame)
                          .opacity(texts.opacity)
                          .allowsHitTesting(texts.takesTaps)
                          .help(texts.help)
                          .accessibilityLabel(texts.accessibilityLabel);
    if (selected) button = button.accessibilityAddTraits(ui::AccessibilityTrait::selected);
    return button;
}

}  // namespace tidewell
