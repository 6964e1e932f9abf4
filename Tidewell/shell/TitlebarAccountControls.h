#pragma once

#include "core/AppStore.h"
#include "ui/View.h"

namespace tidewell {

// The strip at the trailing end of the main window's top edge: the bell with
// the notices popover and the scan-status pill. It adapts to the main
// window's width (compact pill and a smaller trailing inset when narrow).
platform::ui::View TitlebarAccountControls(AppStore& store);

struct TitlebarChrome {
    bool compactChrome = false;
    double trailingInset = 12;
    bool operator==(const TitlebarChrome&) const = default;
};
// The width rule for the main window's width in points.
TitlebarChrome titlebarChrome(double width);
// The main window's width, 1180 when there is no main window.
double measureTitlebarHost();

// "Notifications", or "Notifications, 2 new" with a badge of 2.
std::string bellAccessibilityLabel(int badgeCount);

}  // namespace tidewell
