#pragma once
// The character views' way into the settings: one click stores "character"
// as the selected pane and opens (or raises) the settings window on it.

#include <string>

#include "ui/State.h"
#include "ui/View.h"

namespace tidewell {

void openCharacterSettings(const platform::ui::Binding<std::string>& settingsPane);

// A button with `label` that opens the character settings; `style` dresses it.
platform::ui::View CharacterSettingsLink(platform::ui::View label,
                                         std::function<platform::ui::View(const platform::ui::View&)> style);

// The sidebar's link: plain, with the pointing hand, its tooltip and label, identified "sidebar.character".
platform::ui::View SidebarCharacterLink(platform::ui::View label, std::string tooltip, std::string accessibilityLabel);

}  // namespace tidewell
