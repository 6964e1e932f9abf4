#include "kit/GrowingScanSide.h"

#include "core/AppStore.h"
#include "core/ModelTexts.h"
#include "foundation/Paths.h"
#include "kit/ForestPanel.h"
#include "kit/Theme.h"
#include "ui/Image.h"
#include "ui/ScrollView.h"
#include "ui/Shape.h"
#include "ui/Text.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace tidewell {

namespace ui = platform::ui;

ScanRootState scanRootState(const std::string& root, const std::vector<std::string>& roots, const ScanSnapshot& scan)
{
    const auto found = std::find(roots.begin(), roots.end(), root);
    const std::optional<std::int64_t> index =
        found == roots.end() ? std::nullopt : std::optional<std::int64_t>(found - roots.begin());
    if (index && *index < scan.rootsDone)
        return ScanRootState::done;
    const std::string& path = scan.currentPath;
    if (!path.empty()) {
        if (path == root)
            return ScanRootState::active;
        const std::string prefix = !root.empty() && root.back() == '/' ? root : root + "/";
        if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0)
            return ScanRootState::active;
        return ScanRootState::waiting;
    }
    if (index && *index == scan.rootsDone && scan.phase != "done")
        return ScanRootState::active;
    return ScanRootState::waiting;
}

std::string scanRootLabel(const std::string& root)
{
    return "~/" + platform::lastPathComponent(root);
}

std::string saplingsCounterText(std::int64_t projectsFound) { return std::to_string(projectsFound); }

std::string rootsCounterText(std::int64_t rootsDone, std::int64_t rootsTotal)
{
    return std::to_string(rootsDone) + "/" + std::to_string(std::max<std::int64_t>(rootsTotal, 1));
}

std::string canopyCounterText(double growth)
{
    const double percent = std::isfinite(growth) ? std::trunc(growth * 100) : 0;
    // Whole numbers well inside the range of a 64-bit integer.
    const double bounded = std::clamp(percent, -1e15, 1e15);
    return std::to_string(static_cast<long long>(bounded)) + "%";
}

double growthRingFraction(double growth)
{
    if (!std::isfinite(growth))
        return 0.06;
    return std::max(growth, 0.06);
}

std::vector<std::string> scanRootRowKeys(const std::vector<std::string>& roots)
{
    std::vector<std::string> keys;
    std::set<std::string> seen;
    for (size_t i = 0; i < roots.size(); ++i) {
        std::string key = roots[i];
        if (!seen.insert(key).second) {
            key += "#" + std::to_string(i);
            seen.insert(key);
        }
        keys.push_back(std::move(key));
    }
    return keys;
}

namespace {

ui::View growthRing(double growth)
{
    ui::StrokeStyle arc;
    arc.lineWidth = 9;
    arc.lineCap = ui::LineCap::round;
    return ui::ZStack({
                          ui::Circle().stroke(ui::Color::primary().opacity(0.08), 9),
                          ui::Circle()
                              .trim(0, std::min(growthRingFraction(growth), 1.0))
                              .stroke(ui::AngularGradient{ui::Gradient{Theme::reclaim(), ui::Color::rgb255(139, 195, 74),
                                                                       Theme::accent()},
                                                          ui::UnitPoint::center, ui::Angle{}},
                                      arc)
                              .rotationEffect(ui::Angle::degrees(-90)),
                          ui::Image::systemName("leaf.fill")
                              .font(ui::Font::title3())
                              .foregroundStyle(Theme::reclaim())
                              .accessibilityHidden(true),
                      })
        .frame(72, 72);
}

ui::View counterTile(const std::string& label, const std::string& symbol, const std::string& value)
{
    ui::FrameSpec share;
    share.maxWidth = ui::infinity;
    return ui::VStack(ui::HorizontalAlignment::center, 4,
                      {
                          ui::Image::systemName(symbol).font(ui::Font::caption()).foregroundStyle(ui::ShapeStyle::secondary()),
                          ui::Text(value)
                              .font(ui::Font::callout().weight(ui::FontWeight::semibold).monospacedDigit())
                              .lineLimit(1)
                              .minimumScaleFactor(0.7),
                          ui::Text(label).font(ui::Font::caption2()).foregroundStyle(ui::ShapeStyle::secondary()),
                      })
        .frame(share)
        .accessibilityElement(ui::AccessibilityChildBehavior::combine)
        .accessibilityLabel(label + ", " + value);
}

ui::View rootRow(const std::string& root, ScanRootState state)
{
    const char* symbol = state == ScanRootState::done     ? "checkmark.circle.fill"
                         : state == ScanRootState::active ? "leaf.circle.fill"
                                                          : "circle";
    const ui::ShapeStyle tint = state == ScanRootState::done     ? ui::ShapeStyle(Theme::reclaim())
                                : state == ScanRootState::active ? ui::ShapeStyle(Theme::accent())
                                                                 : ui::ShapeStyle::secondary();
    return ui::HStack(ui::VerticalAlignment::center, 8,
                      {
                          ui::Image::systemName(symbol).foregroundStyle(tint).frame(16, std::nullopt),
                          ui::Text(scanRootLabel(root))
                              .font(ui::Font::system(ui::TextStyle::caption, ui::FontDesign::monospaced))
                              .lineLimit(1)
                              .truncationMode(ui::TruncationMode::middle)
                              .minimumScaleFactor(0.8)
                              .foregroundStyle(state == ScanRootState::active ? ui::ShapeStyle::primary()
                                                                               : ui::ShapeStyle::secondary()),
                          ui::Spacer(0),
                      });
}

}  // namespace

ui::View GrowingScanSide::body() const
{
    const ScanSnapshot& scan = store.scanUI.get();
    const std::vector<std::string>& roots = store.scanRoots.get();

    const ui::View growthCard = ForestPanel(
        18, 20, true, false, std::nullopt,
        ui::VStack(ui::HorizontalAlignment::leading, 16,
                   {
                       ui::HStack(ui::VerticalAlignment::center, 14,
                                  {
                                      growthRing(growth),
                                      ui::VStack(ui::HorizontalAlignment::leading, 2,
                                                 {
                                                     ui::Text(formatElapsed(scan.elapsed))
                                                         .font(ui::Font::system(28, ui::FontWeight::bold, ui::FontDesign::rounded)
                                                                   .monospacedDigit()),
                                                     ui::Text("Growing")
                                                         .font(ui::Font::callout().weight(ui::FontWeight::medium))
                                                         .foregroundStyle(ui::ShapeStyle::secondary()),
                                                 }),
                                  }),
                       ui::HStack(ui::VerticalAlignment::center, 0,
                                  {
                                      counterTile("Saplings", "leaf.fill", saplingsCounterText(scan.projectsFound)),
                                      counterTile("Roots", "arrow.triangle.branch",
                                                  rootsCounterText(scan.rootsDone, scan.rootsTotal)),
                                      counterTile("Canopy", "tree", canopyCounterText(growth)),
                                  }),
                   }));

    std::vector<std::pair<std::string, ui::View>> rows;
    const std::vector<std::string> keys = scanRootRowKeys(roots);
    for (size_t i = 0; i < roots.size(); ++i)
        rows.emplace_back(keys[i], rootRow(roots[i], scanRootState(roots[i], roots, scan)));
    ui::FrameSpec listHeight;
    listHeight.maxHeight = 140;
    const ui::View rootsCard = ForestPanel(
        14, 20, true, false, std::nullopt,
        ui::VStack(ui::HorizontalAlignment::leading, 10,
                   {
                       ui::Text("Scan roots").font(ui::Font::headline()),
                       ui::ScrollView(ui::VStack(ui::HorizontalAlignment::leading, 8,
                                                 {ui::ForEachIdentified(std::move(rows))}),
                                      ui::ScrollViewOptions{true, false})
                           .frame(listHeight),
                       ui::Text(phaseTitle)
                           .font(ui::Font::caption())
                           .foregroundStyle(ui::ShapeStyle::secondary())
                           .lineLimit(2)
                           .padding(ui::Edge::top, 2),
                   }));

    ui::ViewList cards{growthCard, rootsCard};
    if (!scan.log.empty())
        cards.push_back(ForestPanel(12, 16, false, false, std::nullopt,
                                    ui::HStack(ui::VerticalAlignment::top, 8,
                                               {
                                                   ui::Image::systemName("leaf.fill")
                                                       .font(ui::Font::caption())
                                                       .foregroundStyle(Theme::reclaim())
                                                       .accessibilityHidden(true),
                                                   ui::Text(scan.log.back())
                                                       .font(ui::Font::caption())
                                                       .foregroundStyle(ui::ShapeStyle::secondary())
                                                       .lineLimit(3),
                                               })));
    return ui::VStack(ui::HorizontalAlignment::center, 14, std::move(cards));
}

}  // namespace tidewell
