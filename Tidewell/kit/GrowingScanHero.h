#pragma once
// The large rounded picture of the scan page: the growing tree, redrawn by a
// timeline, with the phase phrase and the folder being read as its caption.

#include "ui/TimelineView.h"
#include "ui/View.h"

#include <chrono>
#include <optional>
#include <string>

namespace tidewell {

// The growth at which the store starts every scan, and the picture with it.
inline constexpr double seedlingGrowth = 0.04;
// How long the picture takes to catch up with a new growth value.
inline constexpr double growthEaseSeconds = 0.45;

// The view state behind the hero's `displayedGrowth`, the growth the picture
// shows, eased towards the store's value; a fresh one shows the seedling.
// Kept by the host; `followGrowth` and `displayedGrowth` are its whole logic.
struct GrowthEasing {
    bool started = false;
    double lastGrowth = seedlingGrowth;  // the growth last handed in
    double to = seedlingGrowth;          // the growth being shown, or eased towards
    double from = seedlingGrowth;        // where the current easing began
    double start = 0;                    // clock time the easing began
    bool easing = false;
    std::optional<std::chrono::system_clock::time_point> scanStartedAt;
};

// Takes in the hero's inputs at clock time `now`: the first time the growth is
// shown as is; a new scan drops the picture to the seedling at once; a new
// growth eases in over 0.45 s, or at once under reduce motion.
GrowthEasing followGrowth(GrowthEasing state, double growth,
                          std::optional<std::chrono::system_clock::time_point> scanStartedAt, double now,
                          bool reduceMotion);
// `displayedGrowth`: the growth the picture shows at `now`.
double displayedGrowth(const GrowthEasing& state, double now);
bool isEasing(const GrowthEasing& state, double now);

// Up to 24 frames a second while the window is active and motion allowed;
// otherwise paused (the last frame stays).
platform::ui::TimelineSchedule heroTimelineSchedule(bool reduceMotion, platform::ui::ScenePhase scenePhase);

// The time a frame draws with: the timeline's while it runs; while it is
// paused, the time of the last frame drawn, so the picture stays as it was
// when the store's updates rebuild it.
double heroFrameTime(std::optional<double> lastDrawn, double timelineTime, bool paused);

// The caption's second line: the last three pieces of the path, or the
// waiting text before the first folder.
std::string heroPathLine(const std::string& currentPath);

struct GrowingScanHero {
    double growth = 0;
    long long buds = 0;
    std::string currentPath;
    std::string phaseTitle;
    bool reduceMotion = false;
    std::optional<std::chrono::system_clock::time_point> scanStartedAt;

    // The scene phase comes from the environment; the displayed growth is view state.
    platform::ui::View body() const;
};

}  // namespace tidewell
