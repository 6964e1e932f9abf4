#pragma once

#include "ui/View.h"

#include <functional>
#include <string>

namespace platform::ui {

// How views hand an address to the browser. The default opens http and
// https addresses with the desktop's handler and refuses anything else; the
// application installs its workspace here.
struct OpenURLKey {
    using Value = std::function<bool(const std::string& url)>;
    static Value defaultValue();
};

// Text in the link colour with a pointing hand; a tap opens `url`.
View Link(std::string title, std::string url);

}  // namespace platform::ui
