#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/EngineRecords.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// The folders the sheet lists: those that existed at scan time and have a
// size, largest first; equal sizes keep the project's order.
std::vector<ArtifactDTO> sortedArtifacts(const ProjectDTO& project);
// "1 folder", "3 folders".
std::string folderCountText(std::size_t count);
// The clean button's title and whether it may be pressed.
std::string filesSheetCleanTitle(const ProjectDTO& project);
bool filesSheetCanClean(const ProjectDTO& project, bool storeBusy);

// Parks a clean of this one project (caution included) for the main window
// and closes the sheet through the store; the main window hands the parked
// request to the store once the sheet is gone.
void parkCleanAndClose(AppStore& store, const ProjectDTO& project);

// One project's folders that can go to Trash, with its reclaimable total,
// the caution note, and Close, Show in Files and Clean.
platform::ui::View ProjectFilesSheet(AppStore& store, std::function<void()> dismiss, const ProjectDTO& project);

}  // namespace tidewell
