#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/EngineRecords.h"
#include "ui/View.h"

namespace tidewell {

// "1 project", "0 projects", "3 projects".
std::string projectCountText(std::int64_t count);

// "Flutter, 3 projects, 1.2 GB reclaimable of 4 GB"
std::string projectTypeCardAccessibilityLabel(const TypeSummaryDTO& summary);

// One stack of the last scan as a pressable card: icon, name, project count,
// total and reclaimable size and a bar of the two. It reads nothing from the
// store; `selected` and `action` come from its strip.
platform::ui::View ProjectTypeCard(const TypeSummaryDTO& summary, bool selected, std::function<void()> action);

}  // namespace tidewell
