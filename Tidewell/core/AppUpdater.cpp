#include "core/AppUpdater.h"

#include <cstdlib>

#include "foundation/Bundle.h"

namespace tidewell {

bool updaterMayStart(const std::function<std::optional<std::string>(const std::string& key)>& infoValue,
                     const std::function<bool(const char* name)>& environmentHas) {
    const auto key = infoValue("SUPublicEDKey");
    if (!key || key->empty()) return false;
    if (!infoValue("SUFeedURL")) return false;
    return !environmentHas("XCTestConfigurationFilePath") && !environmentHas("TIDEWELL_BIN");
}

AppUpdater& AppUpdater::shared() {
    static AppUpdater* const instance = new AppUpdater();
    return *instance;
}

AppUpdater::AppUpdater() {
    const auto bundle = platform::Bundle::main();
    mayStart_ = updaterMayStart([&](const std::string& key) { return bundle.infoValue(key); },
                                [](const char* name) { return std::getenv(name) != nullptr; });
    // Even when allowed, there is no update framework to start on this platform.
}

void AppUpdater::setAutomaticallyChecks(bool value) { automaticallyChecks = value; }

std::string AppUpdater::appVersionText() {
    const auto bundle = platform::Bundle::main();
    return "Version " + bundle.infoValue("CFBundleShortVersionString").value_or("?") + " (" +
           bundle.infoValue("CFBundleVersion").value_or("?") + ")";
}

const std::string& AppUpdater::privacyPageURL() {
    static const std::string url = "https://tidewell.app/privacy";
    return url;
}

}  // namespace tidewell
