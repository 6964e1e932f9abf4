#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/EngineRecords.h"
#include "ui/State.h"
#include "ui/View.h"

namespace tidewell {

// A horizontal strip of canopy tokens, "All" first and then one per stack
// in the given order, with which the caller narrows a list to one stack.
// The selection lives in the caller's binding; every click changes it with
// the theme spring.
platform::ui::View StackFilterBar(std::vector<TypeSummaryDTO> summaries,
                                  platform::ui::Binding<std::optional<std::string>> filterType);

}  // namespace tidewell
