#pragma once
// The dashboard's hero card: the storage tree in a rounded, softly glowing frame.

#include "core/EngineRecords.h"
#include "ui/View.h"

#include <memory>

namespace tidewell {

class AppStore;

platform::ui::View ForestHeroCard(AppStore& store, DashboardDTO dash);
// The same over a dashboard shared with the caller, which a page rebuilt every
// frame keeps instead of copying thousands of projects into each build.
platform::ui::View ForestHeroCard(AppStore& store, std::shared_ptr<const DashboardDTO> dash);

}  // namespace tidewell
