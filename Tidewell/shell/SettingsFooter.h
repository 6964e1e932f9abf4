#pragma once

#include <string>

#include "ui/View.h"

namespace tidewell {

// The footer of a settings form section: callout, secondary, wrapping,
// stretched to the full width and aligned leading.
platform::ui::View SettingsFooter(platform::ui::View content);
platform::ui::View SettingsFooter(std::string text);

}  // namespace tidewell
