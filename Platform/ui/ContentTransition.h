#pragma once

// Content transitions of small views: a number whose changed digits fade
// into the new ones, and a symbol that bounces when a value changes.

#include "ui/Animation.h"

#include <string>

namespace platform::ui {

// Text whose change cross-fades the characters that differ from the old
// value (the unchanged ones stay put). Takes the animation in effect, else a
// short ease-out; under reduce motion the new text shows at once.
View NumericText(std::string text);

// A bounce (a short grow and settle) each time `trigger` changes after the
// first build; none under reduce motion.
template <std::equality_comparable V>
std::function<View(const View&)> symbolBounce(V trigger);

// The scale of a bounce `elapsed` seconds after it started (1 when at rest).
double bounceScale(double elapsed);
inline constexpr double bounceDuration = 0.45;

namespace detail {
View bounceView(const View& content, std::any trigger, std::function<bool(const std::any&, const std::any&)> equal);
}

template <std::equality_comparable V>
std::function<View(const View&)> symbolBounce(V trigger)
{
    return [trigger](const View& v) {
        return detail::bounceView(v, std::any(trigger), [](const std::any& a, const std::any& b) {
            return std::any_cast<const V&>(a) == std::any_cast<const V&>(b);
        });
    };
}

}  // namespace platform::ui
