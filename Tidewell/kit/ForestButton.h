#pragma once

#include <functional>
#include <optional>
#include <string>

#include "ui/Button.h"

namespace tidewell {

// The push button of every page, in five tones and any control size.
struct ForestButton {
    enum class Tone { accent, reclaim, caution, secondary, ghost };

    std::string title;  // shown verbatim
    std::optional<std::string> systemImage;
    Tone tone = Tone::accent;
    platform::ui::ControlSize size = platform::ui::ControlSize::regular;
    bool expand = false;  // fill the offered width, icon and title centred
    std::function<void()> action;

    platform::ui::View body() const;
    operator platform::ui::View() const { return body(); }
};

// How a tone is drawn: the platform style, its tint or foreground, and
// whether the control size applies (the plain ghost takes none).
struct ForestButtonTreatment {
    enum class Style { borderedProminent, bordered, plain };
    Style style = Style::bordered;
    std::optional<platform::ui::Color> tint;
    std::optional<platform::ui::Color> foreground;
    bool takesControlSize = true;
};
ForestButtonTreatment forestButtonTreatment(ForestButton::Tone tone);

// 15 pt semibold for large buttons, 13 pt for every other size.
platform::ui::Font forestButtonFont(platform::ui::ControlSize size);

}  // namespace tidewell
