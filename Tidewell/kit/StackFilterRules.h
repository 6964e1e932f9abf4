#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/EngineRecords.h"

namespace tidewell {

// The largest reclaimable size among the stacks, at least 1 (so no token
// divides by zero, an empty bar included).
std::uint64_t stackFilterMaximum(const std::vector<TypeSummaryDTO>& summaries);
// 0.82 + 0.28 × √(reclaimable ÷ maximum): 1.10 for the largest stack, 0.82
// for one with nothing to reclaim.
double stackTokenScale(std::uint64_t reclaimable, std::uint64_t maximum);
// The canopy's diameter: 68 × scale, never below 52 points.
double stackCanopyDiameter(double scale);
// The share of the ring drawn: reclaimable ÷ total, at most a full circle
// and at least 0.08 of it (0.08 when the total is 0).
double stackCanopyArcFraction(std::uint64_t reclaimable, std::uint64_t total);

// Selection against the caller's filter: the stack is the filter, another
// stack is, or there is none.
bool stackTokenSelected(const std::optional<std::string>& filter, const std::string& type);
bool stackTokenDimmed(const std::optional<std::string>& filter, const std::string& type);
// The filter after a click on a stack token: cleared when it was this stack.
std::optional<std::string> stackFilterAfterClick(const std::optional<std::string>& filter, const std::string& type);

// "Flutter, 3 projects, 1.2 GB reclaimable" ("1 project" for one).
std::string stackTokenAccessibilityLabel(const TypeSummaryDTO& summary);
// The byte text under a canopy.
std::string stackTokenBytesText(std::uint64_t reclaimable);

}  // namespace tidewell
