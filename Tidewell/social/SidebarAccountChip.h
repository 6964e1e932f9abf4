#pragma once
// The account chip at the foot of the sidebar: avatar, name and e-mail (the
// avatar alone when compact); a click toggles the account popover.

#include <optional>
#include <string>

#include "ui/View.h"

namespace tidewell {

class AppStore;

struct AccountChipTexts {
    std::string title;
    std::optional<std::string> subtitle;  // the e-mail, under a name
    std::string tooltip;
    std::string accessibilityLabel;
    bool operator==(const AccountChipTexts&) const = default;
};
// What the chip says for an account state (pure). While the keyring is
// locked it says so, above the account it keeps.
AccountChipTexts accountChipTexts(bool isSignedIn, const std::optional<std::string>& name,
                                  const std::optional<std::string>& email, bool keyringLocked = false);

platform::ui::View SidebarAccountChip(AppStore& store, bool compact);

}  // namespace tidewell
