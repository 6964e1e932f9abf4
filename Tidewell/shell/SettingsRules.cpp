#include "shell/SettingsRules.h"

#include "core/FolderAccess.h"
#include "foundation/Paths.h"

namespace tidewell {

std::string idleDaysLabel(std::int64_t days) {
    return "Idle after " + std::to_string(days) + (days == 1 ? " day" : " days");
}

const std::vector<std::int64_t>& rescanChoices() {
    static const std::vector<std::int64_t> choices{0, 4, 8, 12, 24};
    return choices;
}

std::string rescanChoiceTitle(std::int64_t hours) {
    return hours == 0 ? std::string("Never") : "Every " + std::to_string(hours) + " hours";
}

ScanRootRow scanRootRow(const std::string& path, bool hasFullDiskAccess) {
    ScanRootRow row;
    const bool wholeDisk = platform::standardizePath(path) == "/";
    row.symbol = isDiskWidePath(path) ? "internaldrive.fill" : "folder.fill";
    // The last component even with a trailing slash; the root's filesystem name for "/".
    row.name = folderDisplayName(path);
    row.tooltip = path;
    if (wholeDisk)
        // What stands between Linux and the whole disk is a sandbox, not a grant.
        row.subtitle = hasFullDiskAccess
                           ? "Startup disk · no sandbox limits what Tidewell reads"
                           : "Startup disk · a sandbox limits what Tidewell reads, so protected folders stay hidden";
    row.removeLabel = "Remove " + row.name;
    return row;
}

}  // namespace tidewell

namespace tidewell {

std::string updatesOffNote() {
    // No Linux build updates itself: new versions come through whatever installed it.
    return "Updates are off in this build. New versions come the way you installed Tidewell.";
}

std::string accountEmailText(const AccountPaneState& state) { return state.email.value_or("Not signed in"); }

}  // namespace tidewell
