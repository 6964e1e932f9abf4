#pragma once

#include <string>

#include "character/CharacterProfile.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// Which of its four pages the dashboard shows; the first that applies wins,
// so a scan hides everything else and a dashboard already present outranks a
// restore still running.
enum class DashboardState { scanning, restoring, empty, result };
DashboardState dashboardState(bool isScanning, bool isRestoringScan, bool hasDashboard);

// "Hi, I'm Byte!" with the character's display name.
std::string dashboardGreeting(const CharacterProfile& profile);

// The main window's first page: the scan scene while scanning, the restore
// indicator, the empty forest, or the scan's cards over the storage tree,
// arranged by the size classes of the environment. Its buttons all belong to
// the cards; the page only places them.
platform::ui::View DashboardView(AppStore& store);

}  // namespace tidewell
