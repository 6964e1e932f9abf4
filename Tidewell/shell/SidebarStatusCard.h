#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/AppStore.h"
#include "core/ModelTexts.h"
#include "ui/View.h"

namespace tidewell {

// The card at the foot of the sidebar: this month's cleaning, the automatic
// clean time and, when the character is shown in the sidebar, its header and
// the all-time total. Absent in compact width and when it has nothing to say.
platform::ui::View SidebarStatusCard(AppStore& store, bool compact);

// The cleans (never dry runs, never a clean that moved nothing) dated at or
// after `monthStart`, in their stored order; no upper bound.
std::vector<OperationDTO> monthCleans(const std::vector<OperationDTO>& operations, std::int64_t monthStart);

// This month's cleans summed up: bytes (saturating) and distinct project paths.
struct MonthCleaning {
    std::uint64_t freedBytes = 0;
    std::int64_t projectCount = 0;
    bool operator==(const MonthCleaning&) const = default;
};
MonthCleaning monthCleaning(const std::vector<OperationDTO>& monthCleans);

// "Nothing cleaned yet this month" or "This month: 3 projects cleaned".
std::string monthLine(const MonthCleaning& month);

bool statusCardPresent(bool compact, std::uint64_t freedThisMonth, bool automaticClean, bool showsCharacter);

// The hour of the automatic clean ("endOfDayHour", 18 when unset or not a
// number) today, as a short time ("6:00 PM"); the present time when the hour
// forms no time of today.
std::string autoCleanTimeText(std::optional<std::int64_t> endOfDayHour, std::int64_t now);

}  // namespace tidewell
