#pragma once

#include "ui/View.h"

namespace tidewell {

// The full-bleed window colour behind the main window's content.
platform::ui::View WindowBackground();

}  // namespace tidewell
