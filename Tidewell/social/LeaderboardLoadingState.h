#pragma once
// The leaderboard's placeholder while it loads: six faint rows that pulse
// unless motion is reduced.

#include "ui/View.h"

namespace tidewell {

platform::ui::View LeaderboardLoadingState();

}  // namespace tidewell
