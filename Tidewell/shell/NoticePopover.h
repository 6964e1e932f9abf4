#pragma once

#include <functional>

#include "core/AppStore.h"
#include "ui/View.h"

namespace tidewell {

// The bell's popover: the store's grove notices, each leading to a section.
platform::ui::View NoticePopover(AppStore& store, std::function<void()> onClose);

}  // namespace tidewell
