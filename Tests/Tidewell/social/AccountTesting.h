#pragma once
// The account side's tests run against the stand-in service on loopback,
// reached through TIDEWELL_SITE, with the keychain, browser and settings kept
// in memory and a temporary folder.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "StandInService.h"
#include "desktop/Keychain.h"
#include "desktop/RecordingWorkspace.h"
#include "foundation/UserDefaults.h"
#include "runtime/MainActor.h"

namespace accounttest {

class AccountTest : public ::testing::Test {
protected:
    AccountTest() {
        service.listen();
        ::setenv("TIDEWELL_SITE", service.origin().c_str(), 1);
        platform::Keychain::setShared(&keychain);
        platform::UserDefaults::setStandard(defaults);
    }
    ~AccountTest() override {
        ::unsetenv("TIDEWELL_SITE");
        platform::Keychain::setShared(nullptr);
        platform::UserDefaults::setStandard(nullptr);
        std::filesystem::remove_all(dir);
    }
    std::optional<std::string> token() {
        const auto it = keychain.items.find(sessionItem);
        return it == keychain.items.end() ? std::nullopt : std::optional(it->second);
    }
    void storeToken(const std::string& token) { keychain.items[sessionItem] = token; }
    const platform::KeychainItem sessionItem{"com.brisvane.tidewell.account", "session"};
    // The limit only turns a hang into a failure: a loaded machine may take long to start the web engine.
    void settle(const std::function<bool()>& done) { platform::processMainEventsUntil(done, std::chrono::seconds(60)); }
    // Runs the main loop for a short while, so what should not happen has had its chance.
    void idle(double seconds = 0.15) {
        bool over = false;
        platform::postToMainAfter(std::chrono::duration<double>(seconds), [&] { over = true; });
        settle([&] { return over; });
    }
    int countOf(const std::string& method) {
        int n = 0;
        for (const auto& r : service.requests) n += r.method == method;
        return n;
    }

    tidewell::service::StandInService service{":memory:", {.servesRequestRecord = true}};
    platform::MemoryKeychain keychain;
    platform::RecordingWorkspace workspace;
    platform::ScopedWorkspace scopedWorkspace{workspace};
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("tidewell-account-" + std::to_string(::getpid()) + "-" + std::to_string(std::rand()));
    std::shared_ptr<platform::UserDefaults> defaults = std::make_shared<platform::UserDefaults>(dir / "defaults.json");
};

}  // namespace accounttest
