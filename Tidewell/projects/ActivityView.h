#pragma once

#include "ui/View.h"

namespace tidewell {

class AppStore;

// The activity section's page: the history of previews and cleans as days,
// newest first, with "Share Total" once a clean reclaimed something.
platform::ui::View ActivityView(AppStore& store);

}  // namespace tidewell
