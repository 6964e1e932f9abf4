#include "character/CharacterSettingsLink.h"

#include "shell/SettingsPane.h"
#include "shell/SettingsWindow.h"
#include "ui/AppStorage.h"
#include "kit/PointingHandCursorModifier.h"
#include "ui/Button.h"

namespace tidewell {

namespace ui = platform::ui;

void openCharacterSettings(const ui::Binding<std::string>& settingsPane) {
    settingsPane.set("character");
    openSettingsWindow();
}

ui::View CharacterSettingsLink(ui::View label, std::function<ui::View(const ui::View&)> style) {
    return ui::AppStorage<std::string>(kSelectedPaneKey, "general", [label, style](ui::Binding<std::string> pane) {
        ui::View button = ui::Button(label, [pane] { openCharacterSettings(pane); });
        return style ? style(button) : button;
    });
}

ui::View SidebarCharacterLink(ui::View label, std::string tooltip, std::string accessibilityLabel) {
    return CharacterSettingsLink(std::move(label), [tooltip, accessibilityLabel](const ui::View& link) {
        return PointingHandCursorModifier(link.modifier(ui::buttonStyle(ui::plainButtonStyle())))
            .foregroundStyle(ui::Color::primary())
            .help(tooltip)
            .accessibilityLabel(accessibilityLabel)
            .accessibilityIdentifier("sidebar.character");
    });
}

}  // namespace tidewell
