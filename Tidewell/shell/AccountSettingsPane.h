#pragma once

#include "shell/SettingsRules.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// The Account pane: who is signed in, and "Sign In…", "Sign Out", or
// "Unlock Keyring…" while the keyring keeping the token is locked.
platform::ui::View AccountSettingsPane(AppStore& store);

// The pane's body for a given account state and its actions.
platform::ui::View AccountSettingsPane(const AccountPaneState& state, std::function<void()> signIn,
                                       std::function<void()> signOut, std::function<void()> unlockKeyring = nullptr);

}  // namespace tidewell
