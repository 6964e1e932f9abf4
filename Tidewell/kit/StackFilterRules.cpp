#include "kit/StackFilterRules.h"

#include <algorithm>
#include <cmath>

#include "foundation/Formatters.h"

namespace tidewell {

std::uint64_t stackFilterMaximum(const std::vector<TypeSummaryDTO>& summaries) {
    std::uint64_t maximum = 0;
    for (const auto& s : summaries) maximum = std::max(maximum, s.reclaimable_bytes);
    return maximum == 0 ? 1 : maximum;
}

double stackTokenScale(std::uint64_t reclaimable, std::uint64_t maximum) {
    const double ratio = maximum == 0 ? 0 : static_cast<double>(reclaimable) / static_cast<double>(maximum);
    return 0.82 + 0.28 * std::sqrt(ratio);
}

double stackCanopyDiameter(double scale) { return std::max(68 * scale, 52.0); }

double stackCanopyArcFraction(std::uint64_t reclaimable, std::uint64_t total) {
    if (total == 0) return 0.08;
    const double share = std::min(static_cast<double>(reclaimable) / static_cast<double>(total), 1.0);
    return std::max(share, 0.08);
}

bool stackTokenSelected(const std::optional<std::string>& filter, const std::string& type) {
    return filter.has_value() && *filter == type;
}

bool stackTokenDimmed(const std::optional<std::string>& filter, const std::string& type) {
    return filter.has_value() && *filter != type;
}

std::optional<std::string> stackFilterAfterClick(const std::optional<std::string>& filter, const std::string& type) {
    if (filter == type) return std::nullopt;
    return type;
}

std::string stackTokenBytesText(std::uint64_t reclaimable) { return platform::formatByteCount(reclaimable); }

std::string stackTokenAccessibilityLabel(const TypeSummaryDTO& summary) {
    return summary.label + ", " + std::to_string(summary.project_count) + " " +
           (summary.project_count == 1 ? "project" : "projects") + ", " + stackTokenBytesText(summary.reclaimable_bytes) +
           " reclaimable";
}

}  // namespace tidewell
