#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "core/EngineRecords.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// What the card says about a project, apart from its drawing.
struct ProjectCardTexts {
    std::string state;    // "active", "idle" or "recent"
    std::string badge;    // "ACTIVE", "IDLE" or empty
    std::string lastUse;  // "3 days ago", or "Not used yet"
    std::string help;     // the tooltip for the mode
    std::string accessibilityLabel;
    bool takesTaps = true;
    double opacity = 1;
    bool operator==(const ProjectCardTexts&) const = default;
};
ProjectCardTexts projectCardTexts(const ProjectDTO& project, bool selecting, bool selected,
                                  std::chrono::system_clock::time_point now);

// The reclaimable share of the size bar, 0 to 1 (0 when the total is 0).
double projectCardFillRatio(std::uint64_t reclaimable, std::uint64_t total);

// One project of the list as a single button: stacks, name and folder,
// activity, sizes with a bar, and the selection mark in selection mode. A tap
// runs `onOpenFiles`; the card changes nothing itself.
platform::ui::View ProjectListingCard(AppStore& store, const ProjectDTO& project, bool selecting, bool selected,
                                      std::function<void()> onOpenFiles);

}  // namespace tidewell
