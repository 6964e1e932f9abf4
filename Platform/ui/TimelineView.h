#pragma once

// A view redrawn on a schedule. Its content gets the time in seconds; the
// host is asked for the next frame only while the view is on screen, its
// window is active and reduce motion is off. Under reduce motion the time is
// held at 0, so time-driven drawing stands still.

#include "ui/View.h"

namespace platform::ui {

enum class ScenePhase { active, inactive, background };

// The phase of the window showing the view; windows set it as they are
// shown, hidden or minimised.
struct ScenePhaseKey {
    using Value = ScenePhase;
    static Value defaultValue() { return ScenePhase::active; }
};

struct TimelineSchedule {
    enum class Kind { periodic, animation };
    Kind kind = Kind::animation;
    double interval = 1.0 / 60;  // periodic: the period; animation: the minimum interval
    bool paused = false;

    static TimelineSchedule periodic(double interval) { return {Kind::periodic, interval > 0 ? interval : 1.0, false}; }
    static TimelineSchedule animation(double minimumInterval = 1.0 / 60, bool paused = false)
    {
        return {Kind::animation, minimumInterval > 0 ? minimumInterval : 1.0 / 60, paused};
    }
};

View TimelineView(TimelineSchedule schedule, std::function<View(double time)> content);

// The time a timeline shows at clock time `now` (pure).
double timelineTime(const TimelineSchedule& schedule, double now, bool reduceMotion);

}  // namespace platform::ui
