#pragma once

// Pages drawn with the view layer alone, for looking at the layer's output
// and for measuring it.

#include "ui/View.h"

#include <functional>
#include <map>
#include <string>

namespace samples {

// A page of cards, a growth ring, chips, rows and a canvas scene.
platform::ui::View samplePage();
// `rows` rows of text, symbols and shapes in a vertical stack that is
// offered the window's height (the stack must fit them into it).
platform::ui::View rowsPage(int rows);
// The same rows in a scroll view, as a list page shows them.
platform::ui::View scrollingRowsPage(int rows);

}  // namespace samples
