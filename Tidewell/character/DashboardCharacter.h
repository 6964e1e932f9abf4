#pragma once
// The character on the dashboard: grown to its size for the lifetime total,
// hopping gently, with an optional caption above it. Empty when the user
// chose not to show it there.

#include <optional>
#include <string>

#include "ui/View.h"

namespace tidewell {

class AppStore;

// `size` is the figure frame's width; its height is size × 130 / 110.
platform::ui::View DashboardCharacter(AppStore& store, double size, std::optional<std::string> caption);

}  // namespace tidewell
