#pragma once
// The account popover: sign-in when signed out; the account and "Sign Out"
// when signed in; the account and "Unlock Keyring…" while the keyring that
// keeps the token is locked; the last sign-in failure under any.

#include <functional>

#include "ui/View.h"

namespace tidewell {

class AppStore;

platform::ui::View AccountPopover(AppStore& store, std::function<void()> onClose);

}  // namespace tidewell
