#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/EngineRecords.h"
#include "projects/ActivityTimeline.h"
#include "social/ShareMoment.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// What a timeline row shows of its session, derived afresh on every redraw.
struct ActivityRowTexts {
    std::optional<std::string> projectPath;  // the cleanup's, else the preview's; never empty
    std::string projectName;                 // its last component, or "Unknown project"
    bool isClean = false;                    // a session with a cleanup
    std::string title;                       // "Moved to Trash" or "Dry-run"
    std::string figureText;                  // the cleanup's bytes for a clean, else the preview's
    std::string figureLabel;                 // "Reclaimed" or "Preview"
    std::optional<std::string> previewNote;  // "Previewed … before cleanup", with both kinds only
    std::optional<std::string> stackType;    // from the last scan's project at that path
    std::string clockText;                   // "3:07 PM"
    std::string dayText;                     // "Today", "Yesterday", "5 Dec"

    bool operator==(const ActivityRowTexts&) const = default;
};
ActivityRowTexts activityRowTexts(const ActivitySession& session, const std::optional<DashboardDTO>& dashboard,
                                  std::int64_t now);

// The stack of the first scanned project whose path equals `projectPath`
// once both are standardised, ignoring letter case; none without a path, a
// scan, an equal project, or a stack on that project.
std::optional<std::string> activityStackType(const std::optional<std::string>& projectPath,
                                             const std::optional<DashboardDTO>& dashboard);

// The row's one accessibility label: clock, day, title, project, figure and
// its label in lower case, path and note when present, then the stack's name.
std::string accessibilitySummary(const ActivityRowTexts& texts);

// A clean that moved something can be shared as a one-project clean moment.
std::optional<ShareMoment> activityShareMoment(const ActivitySession& session);

// One session of a day's timeline: the full layout (time column, rail,
// reveal button on hover, figures) or the compact one, by the window's width
// class; a context menu to show the project or share the clean.
platform::ui::View ActivityTimelineRow(AppStore& store, const ActivitySession& session, bool showsLineAbove,
                                       bool showsLineBelow);

}  // namespace tidewell
