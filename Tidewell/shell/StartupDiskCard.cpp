#include "shell/StartupDiskCard.h"

#include <algorithm>
#include <cctype>

#include "foundation/Formatters.h"
#include "kit/ForestPanel.h"
#include "kit/Theme.h"
#include "ui/ContentTransition.h"
#include "ui/Label.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

double usedFraction(std::int64_t totalBytes, std::int64_t remainingBytes) {
    if (totalBytes <= 0) return 0;
    // Worked in doubles so a remaining figure far below zero can't overflow.
    const double used = std::max(0.0, double(totalBytes) - double(remainingBytes));
    return std::min(1.0, used / double(totalBytes));
}

bool isDiskAlmostFull(double fraction) { return fraction >= 0.9; }

namespace {
// Sizes are never negative on screen.
std::string bytes(std::int64_t count) { return platform::formatByteCount(std::uint64_t(std::max<std::int64_t>(0, count))); }
}  // namespace

std::string accessibilitySummary(const std::string& name, std::int64_t totalBytes, std::int64_t remainingBytes) {
    return name + ", " + bytes(remainingBytes) + " remaining of " + bytes(totalBytes) + " total";
}

double usageBarFillWidth(double barWidth, double fraction) { return std::max(barWidth * fraction, 4.0); }

namespace {

ui::View usageBar(double fraction, bool almostFull) {
    ui::FrameSpec fullWidth;
    fullWidth.maxWidth = ui::infinity;
    const ui::Shape capsule = ui::Capsule(ui::RoundedCornerStyle::continuous);
    return ui::View(ui::Color::clear())
        .frame(std::nullopt, 6)
        .frame(fullWidth)
        .overlay(ui::GeometryReader([=](const ui::GeometryProxy& proxy) {
            return ui::ZStack(ui::Alignment::leading,
                              {capsule.fill(ui::Color::primary().opacity(0.08)),
                               capsule.fill(almostFull ? Theme::caution() : Theme::accent())
                                   .frame(usageBarFillWidth(proxy.size.width, fraction), 6)});
        }))
        .clipShape(capsule)
        .accessibilityHidden(true);
}

std::string upper(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

ui::View figure(const std::string& title, const std::string& value, bool warning) {
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.alignment = ui::Alignment::leading;
    return ui::VStack(ui::HorizontalAlignment::leading, 2,
                      {ui::Text(upper(title))
                           .font(ui::Font::caption2().weight(ui::FontWeight::semibold))
                           .foregroundStyle(ui::ShapeStyle::secondary())
                           .tracking(0.4),
                       ui::NumericText(value)
                           .font(ui::Font::system(22, ui::FontWeight::bold, ui::FontDesign::rounded))
                           .foregroundStyle(warning ? Theme::caution() : ui::Color::primary())
                           .lineLimit(1)
                           .minimumScaleFactor(0.6)})
        .frame(fill);
}

ui::View wideLayout(const VolumeSpace& disk, bool matchesRowHeight, const std::optional<std::string>& marker) {
    const double fraction = usedFraction(disk.totalBytes, disk.remainingBytes);
    const bool almostFull = isDiskAlmostFull(fraction);
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.alignment = ui::Alignment::topLeading;
    ui::FrameSpec top;
    top.maxWidth = ui::infinity;
    top.alignment = ui::Alignment::top;
    const ui::View header =
        ui::HStack(ui::VerticalAlignment::firstTextBaseline, 8,
                   {ui::Label(disk.name, "internaldrive")
                        .font(ui::Font::subheadline().weight(ui::FontWeight::semibold))
                        .foregroundStyle(ui::ShapeStyle::secondary())
                        .lineLimit(1)
                        .minimumScaleFactor(0.75),
                    ui::Spacer(8),
                    ui::Text(almostFull ? "Disk is almost full" : "Startup disk")
                        .font(ui::Font::caption().weight(ui::FontWeight::semibold))
                        .foregroundStyle(almostFull ? ui::ShapeStyle(Theme::caution()) : ui::ShapeStyle::secondary())
                        .lineLimit(1)
                        .minimumScaleFactor(0.75)});
    const ui::View figures = ui::HStack(ui::VerticalAlignment::top, 12,
                                        {figure("Remaining", bytes(disk.remainingBytes), almostFull),
                                         figure("Total", bytes(disk.totalBytes), false)});
    return ForestPanel(14, 16, false, matchesRowHeight, marker,
                       ui::VStack(ui::HorizontalAlignment::leading, 12, {header, figures, usageBar(fraction, almostFull)})
                           .frame(fill))
        .frame(top)
        .accessibilityElement(ui::AccessibilityChildBehavior::ignore)
        .accessibilityLabel(accessibilitySummary(disk.name, disk.totalBytes, disk.remainingBytes));
}

ui::View menuLayout(const VolumeSpace& disk) {
    const double fraction = usedFraction(disk.totalBytes, disk.remainingBytes);
    const bool almostFull = isDiskAlmostFull(fraction);
    const auto caption = [](const std::string& text) {
        return ui::Text(text).font(ui::Font::caption()).foregroundStyle(ui::ShapeStyle::secondary());
    };
    return ui::VStack(ui::HorizontalAlignment::leading, 6,
                      {ui::HStack(ui::VerticalAlignment::firstTextBaseline, std::nullopt,
                                  {ui::Text(bytes(disk.remainingBytes))
                                       .font(ui::Font::system(16, ui::FontWeight::semibold, ui::FontDesign::rounded))
                                       .foregroundStyle(almostFull ? Theme::caution() : ui::Color::primary()),
                                   caption("remaining"), ui::Spacer(8),
                                   ui::Text(bytes(disk.totalBytes))
                                       .font(ui::Font::caption().weight(ui::FontWeight::semibold))
                                       .foregroundStyle(ui::ShapeStyle::secondary()),
                                   caption("total")}),
                       usageBar(fraction, almostFull)})
        .accessibilityElement(ui::AccessibilityChildBehavior::ignore)
        .accessibilityLabel(accessibilitySummary(disk.name, disk.totalBytes, disk.remainingBytes));
}

}  // namespace

ui::View StartupDiskCard(AppStore& store, StartupDiskStyle style, bool matchesRowHeight,
                         std::optional<std::string> cardMarkerID) {
    const auto& disk = store.startupDisk.get();
    if (!disk) return ui::EmptyView();
    return style == StartupDiskCardStyle::wide ? wideLayout(*disk, matchesRowHeight, cardMarkerID) : menuLayout(*disk);
}

}  // namespace tidewell
