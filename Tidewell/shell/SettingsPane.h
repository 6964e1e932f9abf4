#pragma once
// The panes of the settings window, their titles, symbols and groups, and the
// choice of the pane shown for a stored "settings.selectedPane" value.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell {

enum class SettingsPane { general, folders, account, character, updates, privacy };

inline constexpr std::array<SettingsPane, 6> allSettingsPanes{SettingsPane::general,   SettingsPane::folders,
                                                              SettingsPane::account,   SettingsPane::character,
                                                              SettingsPane::updates,   SettingsPane::privacy};

// The user-defaults key of the selected pane; views that open the window on a
// pane write its raw value here first.
inline constexpr const char* kSelectedPaneKey = "settings.selectedPane";

std::string rawValue(SettingsPane pane);
std::string settingsPaneTitle(SettingsPane pane);
std::string settingsPaneSymbol(SettingsPane pane);
// None for any string that is not a raw value.
std::optional<SettingsPane> settingsPaneFromRaw(std::string_view raw);

struct SettingsPaneGroup {
    std::string title;
    std::vector<SettingsPane> panes;
};
std::vector<SettingsPaneGroup> settingsPaneGroups();

// The pane a stored value shows: the parsed pane when a group lists it,
// otherwise General. The stored value itself is left alone.
SettingsPane currentSettingsPane(std::string_view stored);

}  // namespace tidewell
