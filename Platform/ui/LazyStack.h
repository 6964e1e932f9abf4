#pragma once

// Lazy containers: a vertical stack (and, in Grid.h, a grid) that builds and
// lays out only the rows near the visible part of the scroll view around it.
// Rows keep their identity (their `ForEach` id), so a row that scrolls out
// and back finds its state again; rows it has not measured yet count at the
// average height of those it has. Outside a scroll view every row is built.
//
// Items come from `ForEach`, `ForEachIndex` or `ForEachIdentified` children
// (taken one item at a time) and any other children (one row each).

#include "ui/Grid.h"
#include "ui/View.h"

#include <optional>
#include <vector>

namespace platform::ui {

// Rows as wide as the stack (which takes the width it is offered), placed
// across by `alignment`.
View LazyVStack(HorizontalAlignment alignment, std::optional<double> spacing, ViewList content);
View LazyVStack(ViewList content);

// How far beyond the visible part rows are still built, in points.
inline constexpr double lazyBuildMargin = 120;

namespace detail {
// The lazy rows of a grid (`columns` set) or a stack (none).
View lazyRows(std::optional<std::vector<GridItem>> columns, ViewList content, HorizontalAlignment alignment, double spacing);
}

}  // namespace platform::ui
