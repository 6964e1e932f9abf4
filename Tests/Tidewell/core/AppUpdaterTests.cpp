#include <map>
#include <set>

#include "FlowTestSupport.h"
#include "core/AppUpdater.h"
#include "desktop/LoginItem.h"

using namespace tidewell;
using namespace tidewell::testing;

namespace {
auto info(std::map<std::string, std::string> values) {
    return [values](const std::string& key) -> std::optional<std::string> {
        auto it = values.find(key);
        if (it == values.end()) return std::nullopt;
        return it->second;
    };
}
auto environment(std::set<std::string> names) {
    return [names](const char* name) { return names.count(name) > 0; };
}
}  // namespace

TEST(AppUpdater, StartDecision) {
    const std::map<std::string, std::string> full{{"SUPublicEDKey", "k"}, {"SUFeedURL", "https://x/feed"}};
    EXPECT_TRUE(updaterMayStart(info(full), environment({})));
    EXPECT_FALSE(updaterMayStart(info({{"SUPublicEDKey", ""}, {"SUFeedURL", "f"}}), environment({})));
    EXPECT_FALSE(updaterMayStart(info({{"SUPublicEDKey", "k"}}), environment({})));
    EXPECT_FALSE(updaterMayStart(info(full), environment({"TIDEWELL_BIN"})));
    EXPECT_FALSE(updaterMayStart(info(full), environment({"XCTestConfigurationFilePath"})));
}

struct AppUpdaterBundle : FlowFixture {
    void writeInfo(const std::string& dict) {
        writeText(home.path("bundle/Resources/Info.plist"),
                  "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>" + dict + "</dict></plist>");
    }
};

TEST_F(AppUpdaterBundle, StaysOffAndTheSwitchHasNoEffect) {
    writeInfo("<key>SUPublicEDKey</key><string>k</string><key>SUFeedURL</key><string>f</string>");
    AppUpdater updater;
    EXPECT_TRUE(updater.mayStart());
    EXPECT_FALSE(updater.hasController()) << "there is no update framework to start here";
    updater.setAutomaticallyChecks(true);
    EXPECT_FALSE(updater.canCheckForUpdates.get());
}

TEST_F(AppUpdaterBundle, VersionLine) {
    writeInfo("<key>CFBundleShortVersionString</key><string>1.4.0</string>");
    EXPECT_EQ(AppUpdater::appVersionText(), "Version 1.4.0 (?)");
    writeInfo("<key>CFBundleShortVersionString</key><string>1.4.0</string><key>CFBundleVersion</key><string>140</string>");
    EXPECT_EQ(AppUpdater::appVersionText(), "Version 1.4.0 (140)");
}

TEST_F(AppUpdaterBundle, LoginItemStatusIsReadBackAndARefusalBecomesTheError) {
    AppStore store;
    store.setLoginItemEnabled(true);
    const auto entry = home.path("home/.config/autostart/tidewell.desktop");
    EXPECT_FALSE(store.lastError.get()) << store.lastError.get().value_or("");
    EXPECT_TRUE(store.loginItemEnabled.get() && std::filesystem::exists(entry));
    store.setLoginItemEnabled(false);
    EXPECT_FALSE(store.loginItemEnabled.get() || std::filesystem::exists(entry));
    store.setLoginItemEnabled(false);  // not enabled: nothing to do, nothing thrown
    EXPECT_FALSE(store.lastError.get());

    // The autostart folder cannot be made: a file stands where it should be.
    writeText(home.path("blocked"), "x");
    testing_support::ScopedEnvironment config("XDG_CONFIG_HOME", home.path("blocked").c_str());
    store.setLoginItemEnabled(true);
    ASSERT_TRUE(store.lastError.get());
    EXPECT_EQ(store.lastError.get()->rfind("Could not add the login item: ", 0), 0u) << *store.lastError.get();
    EXPECT_FALSE(store.loginItemEnabled.get());
}
