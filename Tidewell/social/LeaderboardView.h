#pragma once
// The leaderboard page: the service's leaderboard in a web view under the
// page header, the skeleton while it loads and a panel when loading fails.

#include "ui/View.h"

namespace tidewell {

class LeaderboardWebModel;

platform::ui::View LeaderboardView(LeaderboardWebModel& model);
// The page as the model stands, without the load on appearing (pictures).
platform::ui::View LeaderboardPageBody(LeaderboardWebModel& model);
// The web view in the view tree (an empty frame in pictures).
platform::ui::View LeaderboardWebView(LeaderboardWebModel& model);

// "Open in Browser": the page shown now, else the leaderboard, in the
// browser; when nothing can open it, the banner says so.
void openLeaderboardInBrowser(const LeaderboardWebModel& model);

}  // namespace tidewell
