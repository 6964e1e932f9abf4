#include "shell/SettingsPane.h"

#include <algorithm>

namespace tidewell {

namespace {

struct PaneInfo {
    const char* raw;
    const char* title;
    const char* symbol;
};

PaneInfo info(SettingsPane pane) {
    switch (pane) {
    case SettingsPane::general: return {"general", "General", "gearshape"};
    case SettingsPane::folders: return {"folders", "Scan Folders", "folder"};
    case SettingsPane::account: return {"account", "Account", "person.crop.circle"};
    case SettingsPane::character: return {"character", "Character", "face.smiling"};
    case SettingsPane::updates: return {"updates", "Updates", "arrow.triangle.2.circlepath"};
    case SettingsPane::privacy: return {"privacy", "Privacy", "hand.raised"};
    }
    return {"general", "General", "gearshape"};
}

}  // namespace

std::string rawValue(SettingsPane pane) { return info(pane).raw; }
std::string settingsPaneTitle(SettingsPane pane) { return info(pane).title; }
std::string settingsPaneSymbol(SettingsPane pane) { return info(pane).symbol; }

std::optional<SettingsPane> settingsPaneFromRaw(std::string_view raw) {
    for (auto pane : allSettingsPanes)
        if (raw == info(pane).raw) return pane;
    return std::nullopt;
}

std::vector<SettingsPaneGroup> settingsPaneGroups() {
    return {
        {"Scanning", {SettingsPane::general, SettingsPane::folders}},
        {"Account", {SettingsPane::account}},
        {"App", {SettingsPane::character, SettingsPane::updates, SettingsPane::privacy}},
    };
}

SettingsPane currentSettingsPane(std::string_view stored) {
    const auto parsed = settingsPaneFromRaw(stored).value_or(SettingsPane::general);
    for (const auto& group : settingsPaneGroups())
        if (std::find(group.panes.begin(), group.panes.end(), parsed) != group.panes.end()) return parsed;
    return SettingsPane::general;
}

}  // namespace tidewell
