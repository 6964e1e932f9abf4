#pragma once

#include <functional>
#include <string>

#include "core/EngineRecords.h"
#include "ui/View.h"

namespace tidewell {

// One stack in the filter bar: a canopy sized by its reclaimable bytes with
// an arc of its reclaimable share, a trunk and three caption lines. The
// selected token wears the accent ring that moves between tokens of the
// same namespace.
platform::ui::View StackCanopyToken(const TypeSummaryDTO& summary, bool selected, bool dimmed, double scale,
                                    const std::string& matchedNamespace, std::function<void()> action);

// The identifier the selection ring shares across tokens.
inline constexpr const char* kStackCanopySelectionID = "stack-canopy-selection";

}  // namespace tidewell
