#pragma once

// A popover: content in a bubble beside the view it is attached to, on the
// `edge` side of it, kept inside the window. It closes on Escape, on a click
// outside it, or through the environment's dismiss action, all of which set
// the binding to false.

#include "ui/State.h"

namespace platform::ui {

std::function<View(const View&)> popover(Binding<bool> isPresented, std::function<View()> content, Edge edge = Edge::bottom);

// Where a popover of `size` goes beside `anchor` inside `bounds` (pure).
Rect popoverFrame(Rect anchor, Size size, Edge edge, Size bounds, double gap = 6);

}  // namespace platform::ui
