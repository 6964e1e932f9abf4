#pragma once

#include <cstdint>
#include <string>

#include "projects/ActivityTimeline.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// "TODAY · 5 DEC 2026"; a day outside the calendar reads "UNKNOWN DATE" once.
std::string dayHeaderLine(const ActivityDay& day, std::int64_t now);
// "3 activities · 1.2 GB reclaimed", or the previews' sum and " previewed"
// when the day's cleans moved nothing.
std::string daySummary(const ActivityDay& day);

// One day of the timeline: its header, a hairline and its rows, joined by the rail.
platform::ui::View ActivityDaySection(AppStore& store, const ActivityDay& day);

}  // namespace tidewell
