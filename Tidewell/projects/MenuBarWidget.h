#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "core/AppStore.h"
#include "ui/View.h"

namespace tidewell {

// The tray popover's panel: the brand title, what the store is doing or what
// the last scan found, the startup disk, the one-press clean and the rows
// that rescan, open the window or open the project list. When `embedded`,
// every action then calls `onClose` (the popover closes).
platform::ui::View MenuBarWidget(AppStore& store, bool embedded, std::function<void()> onClose);

// Projects the Clean button could take: neither active nor pinned, with
// bytes to reclaim; 0 without a dashboard.
std::int64_t eligibleProjectCount(const std::optional<DashboardDTO>& dashboard);

}  // namespace tidewell
