#pragma once

#include <string>

#include "core/EngineRecords.h"
#include "ui/Color.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// Only the exact class "safe" counts as safe; anything else the engine sends
// is shown with caution.
bool artifactIsSafe(const std::string& safetyClass);
// The reclaim green for safe folders, the caution orange otherwise.
platform::ui::Color artifactSafetyTint(const std::string& safetyClass);
// "Safe" or "Caution".
std::string artifactSafetyBadge(const std::string& safetyClass);

// One artifact folder of a project on one line: its tinted folder symbol, the
// path inside the project over its safety badge, its size, and a button that
// shows the folder in the file manager. It changes nothing in the store.
platform::ui::View ArtifactRow(AppStore& store, const ArtifactDTO& artifact);

}  // namespace tidewell
