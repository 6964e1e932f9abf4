#pragma once
// Software updates. The update framework does not exist on this platform, so
// the updater is never started: the check stays disabled and the switch has
// no effect. The start decision is still taken, so a build that ships an
// updater behaves as the rules below say.

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "runtime/Published.h"

namespace tidewell {

// Whether the updater may start: a signing key of at least one character, a
// feed, and neither of the test variables in the environment.
bool updaterMayStart(const std::function<std::optional<std::string>(const std::string& key)>& infoValue,
                     const std::function<bool(const char* name)>& environmentHas);

class AppUpdater final : public platform::ObservableObject {
public:
    static AppUpdater& shared();
    AppUpdater();

    platform::Published<bool> canCheckForUpdates{*this, false};
    platform::Published<bool> automaticallyChecks{*this, false};

    // Stores the switch; passed on only to a running updater (never here).
    void setAutomaticallyChecks(bool value);
    bool hasController() const { return false; }
    // The "Check for Updates…" action: nothing runs without an updater.
    void checkForUpdates() {}
    // The decision taken at start, kept for the updates pane and tests.
    bool mayStart() const { return mayStart_; }

    // "Version <short> (<build>)", "?" for a missing key.
    static std::string appVersionText();
    static const std::string& privacyPageURL();

private:
    bool mayStart_ = false;
};

}  // namespace tidewell
