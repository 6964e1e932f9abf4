#pragma once
// The dashboard's hero card: the storage tree in a rounded, softly glowing frame.

#include "core/EngineRecords.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

platform::ui::View ForestHeroCard(AppStore& store, DashboardDTO dash);

}  // namespace tidewell
