#pragma once

#include "ui/Color.h"
#include "ui/View.h"

namespace tidewell {

// The vertical line of a day's timeline with one node on it: a segment above
// and below the node when the rail continues to the neighbouring rows, a
// faint halo and the node in `tint`, centred `nodeY` points from the top.
platform::ui::View TimelineRail(bool showsLineAbove, bool showsLineBelow, platform::ui::Color tint, double nodeY);

}  // namespace tidewell
