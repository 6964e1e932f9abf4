#pragma once

#include <functional>

#include "ui/View.h"

namespace tidewell {

// The filter bar's first token, "All grove": a leaf in an accent circle
// that clears the filter. Never dimmed and without a selection ring.
platform::ui::View StackGroveAllToken(bool selected, std::function<void()> action);

}  // namespace tidewell
