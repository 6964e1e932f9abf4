#pragma once
// Every address the application hands the browser goes through here, so a
// desktop with nothing to open it says so in the banner instead of failing in
// silence.

#include <functional>
#include <string>

#include "ui/View.h"

namespace tidewell {

// Hands `url` to the browser. When the desktop cannot open it, the banner
// names the address and why, and `failed` runs. False for an address that is
// never handed to the browser (not http or https).
bool openInBrowser(const std::string& url, std::function<void()> failed = {});

// A link that opens `url` through `openInBrowser`.
platform::ui::View BrowserLink(std::string title, std::string url);

}  // namespace tidewell
