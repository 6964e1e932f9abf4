#pragma once

#include <string>

#include "ui/View.h"

namespace tidewell {

// Stands where a page or sheet of another area goes until that area lands it.
platform::ui::View PagePlaceholder(const std::string& title);

}  // namespace tidewell
