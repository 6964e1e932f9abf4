#pragma once
// The round badge with the account's initials, used by the sidebar chip and
// the account popover. It draws only what it is given.

#include <optional>
#include <string>

#include "ui/View.h"

namespace tidewell {

// The first character of each of the first two pieces of `name` split at
// " ", "@" and ".", upper-cased in full ("ß" gives "SS"); none when nothing
// is left (pure).
std::optional<std::string> accountInitials(const std::optional<std::string>& name);

struct AccountAvatar {
    std::optional<std::string> name;  // none: signed out
    double size = 30;

    platform::ui::View body() const;
    operator platform::ui::View() const { return body(); }
};

}  // namespace tidewell
