#pragma once
// The account popover: sign-in when signed out; the account and "Sign Out"
// when signed in; the last sign-in failure under either.

#include <functional>

#include "ui/View.h"

namespace tidewell {

class AppStore;

platform::ui::View AccountPopover(AppStore& store, std::function<void()> onClose);

}  // namespace tidewell
