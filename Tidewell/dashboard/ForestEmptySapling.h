#pragma once

#include "ui/View.h"

namespace tidewell {

// A single glowing sapling on a dark ground, drawn to whatever frame it is
// given; decoration only, hidden from accessibility.
platform::ui::View ForestEmptySapling();

}  // namespace tidewell
