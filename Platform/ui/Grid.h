#pragma once

// A vertical grid: cells fill rows left to right across columns described
// by grid items. A fixed item is one column of its width; a flexible one
// shares the room left by the fixed ones within its bounds; an adaptive
// one becomes as many columns of at least its minimum as fit. Rows are as
// tall as their tallest cell. The grid is lazy (see LazyStack.h): only rows
// near the visible part of its scroll view are built.

#include "ui/View.h"

#include <optional>
#include <vector>

namespace platform::ui {

struct GridItem {
    enum class Kind { fixed, flexible, adaptive };
    Kind kind = Kind::flexible;
    double minimum = 10;
    double maximum = infinity;
    double spacing = defaultSpacing;  // after this column

    static GridItem fixed(double width, double spacing = defaultSpacing);
    static GridItem flexible(double minimum = 10, double maximum = infinity, double spacing = defaultSpacing);
    static GridItem adaptive(double minimum, double maximum = infinity, double spacing = defaultSpacing);
};

struct GridColumn {
    double x = 0;  // from the grid's leading edge
    double width = 0;
};

// The columns for `items` in `width` points (pure). With no width (an ideal
// size is asked), flexible and adaptive items take their minimum.
std::vector<GridColumn> gridColumns(const std::vector<GridItem>& items, std::optional<double> width);

View LazyVGrid(std::vector<GridItem> columns, ViewList content, HorizontalAlignment alignment = HorizontalAlignment::center,
               std::optional<double> rowSpacing = std::nullopt);

}  // namespace platform::ui
