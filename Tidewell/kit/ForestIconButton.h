#pragma once

#include <functional>
#include <string>

#include "ui/View.h"

namespace tidewell {

// An icon-only button with a tooltip and an accessibility label, both shown
// verbatim.
struct ForestIconButton {
    std::string systemImage;
    std::string help;
    std::string accessibilityLabel;
    std::function<void()> action;

    platform::ui::View body() const;
    operator platform::ui::View() const { return body(); }
};

}  // namespace tidewell
