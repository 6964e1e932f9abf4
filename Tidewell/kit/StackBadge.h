#pragma once

#include <string>

#include "ui/View.h"

namespace tidewell {

// A capsule naming a stack: its icon tile and display name.
platform::ui::View StackBadge(const std::string& type);

}  // namespace tidewell
