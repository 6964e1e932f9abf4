#pragma once

// The desktop's appearance: the colour scheme and the reduce-motion wish,
// read from the desktop portal's settings over D-Bus and followed through
// its change signal; without a portal answer, the palette's lightness and
// motion on. Once started, every window's environment follows it.

#include "runtime/Signal.h"
#include "ui/Color.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct DesktopAppearance {
    ui::ColorScheme colorScheme = ui::ColorScheme::light;
    bool reduceMotion = false;
    bool operator==(const DesktopAppearance&) const = default;
};

// What the portal said, as far as it answered (pure): "color-scheme" is
// 1 for dark, 2 for light, 0 for no preference (the palette decides);
// "reduced-motion" 1 asks for less motion; without it, the desktop's
// "enable-animations" false does.
DesktopAppearance appearanceFrom(std::optional<std::uint32_t> colorScheme, std::optional<std::uint32_t> reducedMotion,
                                 std::optional<bool> animationsEnabled, bool paletteIsDark);

// The colour scheme "--appearance light|dark" forces, honoured only under
// "--ui-testing" (pure).
std::optional<ui::ColorScheme> forcedColorScheme(const std::vector<std::string>& arguments);

// Starts following the desktop (once; later calls only change the forced
// scheme) and pushes the appearance into every host window, present and
// future. A forced scheme wins over the desktop's.
void startAppearanceService(const std::vector<std::string>& arguments);

// The appearance windows get now.
DesktopAppearance currentAppearance();

// Calls `handler` with the appearance windows get, after they got it, each
// time it changes, for as long as the subscription is kept.
[[nodiscard]] Subscription observeAppearance(std::function<void(const DesktopAppearance&)> handler);

}  // namespace platform
