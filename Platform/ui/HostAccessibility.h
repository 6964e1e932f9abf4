#pragma once

// The host's accessibility tree handed to Qt's accessibility, so assistive
// technologies see the same elements the interface tests find.

class QWidget;

namespace platform::ui {

// Makes Qt ask the host widgets for their elements; safe to call repeatedly.
void installHostAccessibility();

}  // namespace platform::ui
