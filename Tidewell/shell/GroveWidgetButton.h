#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/AppStore.h"
#include "ui/View.h"

namespace tidewell {

// The capsule of the top strip: the brand mark and the scan state or project
// count; opens the tray widget in a popover. `compact` shows the mark only.
platform::ui::View GroveWidgetButton(AppStore& store, bool compact);

// "Scanning 12" while scanning, "Scan" before any dashboard, else "1 project" / "3 projects".
std::string grovePillText(bool isScanning, std::int64_t projectsFound, std::optional<std::int64_t> projectCount);
std::string grovePillText(const AppStore& store);

}  // namespace tidewell
