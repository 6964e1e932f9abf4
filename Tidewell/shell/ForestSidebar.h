#pragma once

#include "core/AppStore.h"
#include "ui/View.h"

namespace tidewell {

// The left column of the main window: brand title, one row per section with
// the selection pill gliding between rows, and at the foot the character row,
// the status card, Settings and the account chip. Reads the width class from
// the environment; compact shows icons only.
platform::ui::View ForestSidebar(AppStore& store);

// The title, symbol and accessibility identifier of a section's row.
struct SidebarRow {
    std::string title;
    std::string symbol;
    std::string identifier;
};
SidebarRow sidebarRow(AppSection section);

}  // namespace tidewell
