#pragma once

#include <functional>

#include "core/AppStore.h"
#include "ui/View.h"

namespace tidewell {

// The floating scan card: while scanning its progress, the projects found
// and the folder being walked; after it, the reclaimable total and counts.
platform::ui::View ScanWidgetView(AppStore& store, std::function<void()> onOpen, std::function<void()> onClose);

}  // namespace tidewell
