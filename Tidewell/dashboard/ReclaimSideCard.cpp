#include "dashboard/ReclaimSideCard.h"

#include <algorithm>

#include "core/AppStore.h"
#include "core/ModelTexts.h"
#include "foundation/Formatters.h"
#include "kit/ControlGlassGroup.h"
#include "kit/ForestButton.h"
#include "kit/ForestPanel.h"
#include "kit/Theme.h"
#include "ui/ContentTransition.h"
#include "ui/Image.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

double reclaimableFraction(std::uint64_t reclaimableBytes, std::uint64_t totalBytes) {
    if (totalBytes == 0) return 0;
    return std::min(double(reclaimableBytes) / double(totalBytes), 1.0);
}

std::string idleProjectsSentence(std::int64_t idleCount, std::int64_t idleDays) {
    const bool one = idleCount == 1;
    return std::to_string(idleCount) + (one ? " project hasn\u2019t" : " projects haven\u2019t") + " been touched in " +
           std::to_string(idleDays) + "+ days.";
}

void openProjects(AppStore& store, bool idleOnly) {
    store.filterIdle = idleOnly;
    store.selectedSection = AppSection::projects;
}

namespace {

ui::FrameSpec fullWidth(ui::Alignment alignment = ui::Alignment::center) {
    ui::FrameSpec f;
    f.maxWidth = ui::infinity;
    f.alignment = alignment;
    return f;
}

ui::View ring(double fraction) {
    ui::StrokeStyle track;
    track.lineWidth = 6;
    ui::StrokeStyle progress;
    progress.lineWidth = 6;
    progress.lineCap = ui::LineCap::round;
    const ui::AngularGradient sweep{ui::Gradient{Theme::accent(), ui::Color::rgb255(100, 210, 255), Theme::reclaim()},
                                    ui::UnitPoint::center, ui::Angle::degrees(0)};
    // A round cap on an empty arc would still leave a dot at twelve.
    return ui::ZStack({
                          ui::Circle().stroke(ui::Color::primary().opacity(0.08), track),
                          ui::ViewIf(fraction > 0, ui::Circle().trim(0, fraction).stroke(sweep, progress).rotationEffect(ui::Angle::degrees(-90))),
                          ui::Image::systemName("leaf.fill")
                              .font(ui::Font::body().weight(ui::FontWeight::semibold))
                              .foregroundStyle(Theme::reclaim()),
                      })
        .frame(44, 44)
        .accessibilityHidden();
}

ui::View amountBlock(std::uint64_t reclaimableBytes) {
    const std::string amount = platform::formatByteCount(reclaimableBytes);
    ui::FrameSpec atLeast;
    atLeast.minWidth = 96;
    atLeast.alignment = ui::Alignment::leading;
    return ui::VStack(ui::HorizontalAlignment::leading, 0,
                      {
                          ui::NumericText(amount)
                              .font(ui::Font::system(22, ui::FontWeight::bold, ui::FontDesign::rounded))
                              .foregroundStyle(ui::ShapeStyle::primary())
                              .lineLimit(1)
                              .minimumScaleFactor(0.7),
                          ui::Text("Reclaimable")
                              .font(ui::Font::caption().weight(ui::FontWeight::medium))
                              .foregroundStyle(ui::ShapeStyle::secondary()),
                      })
        .frame(atLeast)
        .accessibilityElement(ui::AccessibilityChildBehavior::ignore)
        .accessibilityLabel(amount + " reclaimable");
}

ui::View tile(const std::string& symbol, const std::string& value, const std::string& caption, const std::string& spoken) {
    return ui::VStack(ui::HorizontalAlignment::center, 1,
                      {
                          ui::Image::systemName(symbol).font(ui::Font::caption2()).foregroundStyle(ui::ShapeStyle::secondary()),
                          ui::Text(value)
                              .font(ui::Font::caption().weight(ui::FontWeight::semibold).monospacedDigit())
                              .lineLimit(1)
                              .minimumScaleFactor(0.7),
                          ui::Text(caption).font(ui::Font::caption2()).foregroundStyle(ui::ShapeStyle::secondary()).lineLimit(1),
                      })
        .frame(fullWidth())
        .accessibilityElement(ui::AccessibilityChildBehavior::ignore)
        .accessibilityLabel(spoken + ", " + value);
}

ui::View buttons(AppStore& store) {
    AppStore* s = &store;
    const ui::View review = ForestButton{"Review & Clean", "leaf.fill", ForestButton::Tone::accent, ui::ControlSize::regular,
                                         true, [s] { openProjects(*s, false); }}
                                .body()
                                .frame(fullWidth());
    const ui::View idle = ForestButton{"View Idle Projects", "clock", ForestButton::Tone::caution, ui::ControlSize::regular,
                                       true, [s] { openProjects(*s, true); }}
                              .body()
                              .frame(fullWidth());
    // Side by side the two share the width equally, so they fit only when
    // each half holds the wider of them: each slot measures both.
    const auto slot = [](const ui::View& shown, const ui::View& other) { return ui::ZStack({other.hidden(), shown}); };
    return ControlGlassGroup(10, ui::ViewThatFits(ui::Axes::horizontalOnly(),
                                                  {
                                                      ui::HStack(ui::VerticalAlignment::center, 10, {slot(review, idle), slot(idle, review)}),
                                                      ui::VStack(ui::HorizontalAlignment::leading, 8, {review, idle}),
                                                  }));
}

}  // namespace

ui::View ReclaimSideCard(AppStore& store, const DashboardDTO& dash, bool matchesRowHeight,
                         std::optional<std::string> cardMarkerID) {
    const std::string scanned = lastScanLabel(dash.scanned_at_unix);
    const ui::View summary = ui::HStack(
        ui::VerticalAlignment::center, 12,
        {
            ring(reclaimableFraction(dash.reclaimable_bytes, dash.total_bytes)),
            amountBlock(dash.reclaimable_bytes),
            ui::HStack(ui::VerticalAlignment::top, 8,
                       {
                           tile("square.stack.3d.up", std::to_string(dash.project_count), "Total", "Total Projects"),
                           tile("clock", std::to_string(dash.idle_count), "Idle", "Idle Projects"),
                           tile("calendar", scanned, "Scan", "Last Scan"),
                       })
                .frame(fullWidth(ui::Alignment::trailing)),
        });
    const ui::View sentence = ui::Text(idleProjectsSentence(dash.idle_count, store.idleDays.get()))
                                  .font(ui::Font::caption())
                                  .foregroundStyle(ui::ShapeStyle::secondary())
                                  .lineLimit(2)
                                  .fixedSize(false, true)
                                  .frame(fullWidth(ui::Alignment::leading));
    return ForestPanel(14, 16, true, matchesRowHeight, std::move(cardMarkerID),
                       ui::VStack(ui::HorizontalAlignment::leading, 10, {summary, sentence, buttons(store)})
                           .frame(fullWidth(ui::Alignment::top)))
        .frame(fullWidth(ui::Alignment::top));
}

}  // namespace tidewell
