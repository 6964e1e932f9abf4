#pragma once

// The pointer: where it is on screen, and a shape shown over the whole
// application while some work runs (pushed and popped in pairs).

#include "ui/Geometry.h"
#include <qnamespace.h>
#include "ui/View.h"

namespace platform::cursor {

ui::Point position();
void push(ui::CursorShape shape);
void pop();
// The Qt shape for a view-layer cursor shape.
Qt::CursorShape qtShape(ui::CursorShape shape);

}  // namespace platform::cursor
