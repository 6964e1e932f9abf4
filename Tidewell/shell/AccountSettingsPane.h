#pragma once

#include "shell/SettingsRules.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// The Account pane: who is signed in, and "Sign In…" or "Sign Out".
platform::ui::View AccountSettingsPane(AppStore& store);

// The pane's body for a given account state and its two actions.
platform::ui::View AccountSettingsPane(const AccountPaneState& state, std::function<void()> signIn,
                                       std::function<void()> signOut);

}  // namespace tidewell
