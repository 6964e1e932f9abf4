#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/EngineRecords.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// The width of every type card in a row `rowWidth` wide: as many cards of at
// least 168 as fit with gaps of 10 share the row exactly; before the row is
// measured (a width of 1 or less) every card is 168.
double projectTypeCardWidth(double rowWidth);

// The store's stack filter after a press on `type`'s card: the same stack
// again clears it, any other stack takes its place.
std::optional<std::string> stackFilterAfterToggle(const std::optional<std::string>& current, const std::string& type);
void toggleStack(AppStore& store, const TypeSummaryDTO& summary);

// Clears both filters, then opens the project list.
void viewAll(AppStore& store);

// The "Project Types" card: a snapping horizontal row of one card per stack,
// in the order given, and "View All".
platform::ui::View ProjectTypesStrip(AppStore& store, std::vector<TypeSummaryDTO> summaries, bool matchesRowHeight,
                                     std::optional<std::string> cardMarkerID);

}  // namespace tidewell
