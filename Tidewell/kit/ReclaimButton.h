#pragma once

#include <functional>
#include <string>

#include "ui/View.h"

namespace tidewell {

// A regular-size forest button in the reclaim tone, or the caution tone
// when the reclaim includes caution items.
struct ReclaimButton {
    std::string title;
    bool caution = false;
    std::function<void()> action;

    platform::ui::View body() const;
    operator platform::ui::View() const { return body(); }
};

}  // namespace tidewell
