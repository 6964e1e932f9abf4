#pragma once

#include "ui/View.h"

namespace tidewell {

// "Scanning complete" with a check mark in green on a faint green capsule,
// as tall as the row it sits in.
platform::ui::View ScanningCompleteBadge();

}  // namespace tidewell
