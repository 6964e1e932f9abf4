#pragma once

#include "ui/View.h"

namespace tidewell {

// The surface of the error banner: an elevated kit panel, 12 points around
// the content and corners of 14.
platform::ui::View ErrorBannerSurface(platform::ui::View content);

}  // namespace tidewell
