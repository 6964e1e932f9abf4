#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/AppStore.h"
#include "ui/View.h"

namespace tidewell {

// How full the startup disk is: name, free and total space and a usage bar
// that turns orange at nine tenths. `wide` is a card of the dashboard,
// `menu` a bare block of the tray widget. Nothing at all until the disk has
// been measured.
struct StartupDiskCardStyle {
    enum Value { wide, menu };
};
using StartupDiskStyle = StartupDiskCardStyle::Value;

platform::ui::View StartupDiskCard(AppStore& store, StartupDiskStyle style, bool matchesRowHeight = false,
                                   std::optional<std::string> cardMarkerID = std::nullopt);

// Used over total, 0 for a disk of no size, floored at 0 and capped at 1.
double usedFraction(std::int64_t totalBytes, std::int64_t remainingBytes);
bool isDiskAlmostFull(double usedFraction);
// "Macintosh HD, 120 GB remaining of 500 GB total" for the volume's name and figures.
std::string accessibilitySummary(const std::string& name, std::int64_t totalBytes, std::int64_t remainingBytes);
// The bar's fill: never narrower than 4 points.
double usageBarFillWidth(double barWidth, double usedFraction);

}  // namespace tidewell
