#pragma once
// The page shown while a scan runs: the hero with the growing tree beside (or,
// in a narrow window, above) the side panel with the numbers. It reads the
// store's live scan state and changes nothing.

#include "kit/SizeClass.h"
#include "ui/View.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tidewell {

class AppStore;

// The phase in forest words, by exact comparison of the engine's phase; an
// unlisted phase shows the engine's message, else "Growing the forest".
std::string scanPhasePhrase(const std::string& phase, const std::string& message);
std::string scanPhasePhrase(const AppStore& store);

// The last three non-empty pieces of a path joined with "/"; a path with no
// pieces at all comes back unchanged.
std::string shortenedPath(const std::string& path);

// "Scanning the forest. 12 projects found. Reading the rings."
std::string growingScanAccessibilityLabel(std::int64_t projectsFound, const std::string& phrase);

// The side panel's width beside the hero; none when it sits below (compact).
std::optional<double> growingScanSideWidth(WidthClass widthClass);

struct GrowingScanView {
    const AppStore& store;
    bool reduceMotion = false;
    WidthClass widthClass = WidthClass::wide;

    platform::ui::View body() const;
};

// The page as its host places it: reduce motion and the width class come from
// the environment.
platform::ui::View GrowingScanPage(const AppStore& store);

}  // namespace tidewell
