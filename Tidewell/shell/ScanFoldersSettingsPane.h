#pragma once

#include "ui/View.h"

namespace tidewell {

class AppStore;

// The Scan Folders pane: one row per scan root with its remove button, then
// "Add Folder…", which hands the folders chosen in the panel to the store.
platform::ui::View ScanFoldersSettingsPane(AppStore& store);

}  // namespace tidewell
