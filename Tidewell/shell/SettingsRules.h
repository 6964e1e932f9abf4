#pragma once
// The pure rules of the settings panes: the texts of the General pane's
// controls and what a scan-root row shows.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tidewell {

// "Idle after N days", as the stepper reads; "1 day" in the singular.
std::string idleDaysLabel(std::int64_t days);
inline constexpr int kIdleDaysMinimum = 1;
inline constexpr int kIdleDaysMaximum = 90;

// The rescan choices, in hours, in the picker's order; 0 is never.
const std::vector<std::int64_t>& rescanChoices();
// "Never" for 0, else "Every N hours".
std::string rescanChoiceTitle(std::int64_t hours);

struct ScanRootRow {
    std::string symbol;  // the drive for the whole disk and other volumes, else a folder
    std::string name;
    std::string tooltip;                  // the path as stored
    std::optional<std::string> subtitle;  // the startup-disk line, only for "/"
    std::string removeLabel;
    bool operator==(const ScanRootRow&) const = default;
};
ScanRootRow scanRootRow(const std::string& path, bool hasFullDiskAccess);

}  // namespace tidewell

namespace tidewell {

// The note the Updates pane shows where the updater is off.
std::string updatesOffNote();

// What the Account pane shows.
struct AccountPaneState {
    bool isSignedIn = false;
    std::optional<std::string> name;
    std::optional<std::string> email;
    bool keyringLocked = false;  // the account stored, its token behind a locked keyring
};
// "Not signed in" without an e-mail.
std::string accountEmailText(const AccountPaneState& state);

}  // namespace tidewell
