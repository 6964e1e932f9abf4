#include "social/BrowserLink.h"

#include "core/AppStore.h"
#include "desktop/Workspace.h"
#include "ui/Link.h"

namespace tidewell {

bool openInBrowser(const std::string& url, std::function<void()> failed) {
    return platform::Workspace::shared().openURL(url, [url, failed](const std::string& reason) {
        AppStore::showBrowserFailureInBanner(url, reason);
        if (failed) failed();
    });
}

platform::ui::View BrowserLink(std::string title, std::string url) {
    return platform::ui::Link(std::move(title), std::move(url))
        .environment<platform::ui::OpenURLKey>([](const std::string& address) { return openInBrowser(address); });
}

}  // namespace tidewell
