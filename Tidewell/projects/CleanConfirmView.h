#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/EngineRecords.h"
#include "ui/Sheet.h"
#include "ui/State.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// Which of its three faces the confirmation shows, and the text of the
// progress and plain faces.
struct CleanConfirmContent {
    enum class Kind { progress, preview, status };
    Kind kind = Kind::status;
    std::string text;
    bool operator==(const CleanConfirmContent&) const = default;
};
CleanConfirmContent cleanConfirmContent(bool isCleaning, bool hasReport, const std::string& cleanStatus);

// Whether Move to Trash has something to move: the folders of a preview;
// after a real clean that moved nothing, a folder it left that may still
// move (not one another clean took, nor one that is no longer a real folder).
bool confirmMovesSomething(const CleanReportDTO& report);
// "1 item · 12 KB → Trash", "3 items · …": what a preview would move, or
// what a real clean moved ("0 items · Zero KB → Trash" when nothing).
std::string cleanTotalsText(const CleanReportDTO& report);
// Of a real clean: "1 folder could not be moved", "2 folders …", and those
// another clean took since the preview ("1 folder already moved to the Trash
// by another clean"), joined by " · "; empty when none failed.
std::string notMovedText(const CleanReportDTO& report);
// Whether any item is exactly of the "caution" class.
bool reportIncludesCaution(const CleanReportDTO& report);
// The class with its first letter capitalised ("Safe", "Caution").
std::string cleanItemBadge(const std::string& safetyClass);
// The folder's own name: the last component of its path, trailing "/" ignored.
std::string cleanItemName(const std::string& path);
// The store's confirmation projects, or the sheet's own project when it has none.
std::vector<ProjectDTO> cleanConfirmProjects(const std::vector<ProjectDTO>& storeProjects, const ProjectDTO& project);

// The sheet through which every clean passes: the dry run's progress, the
// merged preview with Cancel and Move to Trash, then the real clean's
// progress until the store closes it.
platform::ui::View CleanConfirmView(AppStore& store, const ProjectDTO& project, std::function<void()> dismiss);

// How the main window presents the confirmation. It is shown while the store
// has a project to confirm. Nothing closes it during the real clean (Escape
// and the dismiss action are refused); a dry run can be left, and every close goes
// through the store's cancel, so no preview stays pending behind a closed sheet.
bool cleanConfirmMayClose(const AppStore& store);
platform::ui::Binding<std::optional<ProjectDTO>> cleanConfirmPresentation(AppStore& store);
platform::ui::SheetOptions cleanConfirmSheetOptions(AppStore& store);

}  // namespace tidewell
