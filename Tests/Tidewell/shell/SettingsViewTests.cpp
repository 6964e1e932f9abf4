// The settings window: the pane a stored value shows, the General pane's
// controls against the store, and what a scan-root row shows.
#include <stdexcept>

#include "Tidewell/core/StoreTestEnvironment.h"
#include "Tidewell/kit/KitViewTesting.h"
#include "core/AppStore.h"
#include "core/ModelTexts.h"
#include "shell/SettingsPane.h"
#include "shell/SettingsRules.h"
#include "shell/SettingsView.h"

using namespace kittest;
using tidewell::SettingsPane;

namespace {

TEST(SettingsPaneTest, StoredValuesChooseAListedPaneElseGeneral) {
    const std::pair<const char*, SettingsPane> cases[] = {
        {"general", SettingsPane::general}, {"folders", SettingsPane::folders},     {"account", SettingsPane::account},
        {"character", SettingsPane::character}, {"updates", SettingsPane::updates}, {"privacy", SettingsPane::privacy},
        {"", SettingsPane::general},         {"Character", SettingsPane::general}, {"leaderboard", SettingsPane::general},
    };
    for (const auto& [stored, pane] : cases) EXPECT_EQ(tidewell::currentSettingsPane(stored), pane) << stored;
    EXPECT_FALSE(tidewell::settingsPaneFromRaw("privacy ").has_value());
}

TEST(SettingsRootRowTest, DisksGetTheDriveAndOnlyTheWholeDiskASubtitle) {
    const auto root = tidewell::scanRootRow("/", false);
    EXPECT_EQ(root.symbol, "internaldrive.fill");
    EXPECT_EQ(root.name, tidewell::rootVolumeDisplayName());
    EXPECT_EQ(root.subtitle, "Startup disk · a sandbox limits what Tidewell reads, so protected folders stay hidden");
    EXPECT_EQ(tidewell::scanRootRow("/", true).subtitle, "Startup disk · no sandbox limits what Tidewell reads");

    using Row = tidewell::ScanRootRow;
    EXPECT_EQ(tidewell::scanRootRow("/a/b/", true), (Row{"folder.fill", "b", "/a/b/", std::nullopt, "Remove b"}));
    EXPECT_EQ(tidewell::scanRootRow("/media/sam/Archive", true),
              (Row{"internaldrive.fill", "Archive", "/media/sam/Archive", std::nullopt, "Remove Archive"}));
    EXPECT_EQ(tidewell::scanRootRow("/Volumes/Backup/", false).symbol, "internaldrive.fill");
}

class SettingsOnStore : public ::testing::Test {
protected:
    tidewell::testing::ScratchHome home;
    std::optional<tidewell::AppStore> store;
    std::unique_ptr<Laid> laid;

    void SetUp() override { store.emplace(); }
    void show() {
        laid = layOut(tidewell::SettingsView(*store), {720, 500});
        laid->host->observe(*store);
    }
    std::optional<std::string> storedPane() { return home.defaults().stringValue(tidewell::kSelectedPaneKey); }
    bool selected(const std::string& id) {
        auto row = laid->tester.find(id);
        return row && row->hasTrait(AccessibilityTrait::selected);
    }
    std::string value(const std::string& text) {
        auto e = laid->tester.findText(text);
        return e ? e->value : "missing";
    }
};

TEST_F(SettingsOnStore, AStaleValueShowsGeneralAndStaysUntilARowIsPicked) {
    home.defaults().setString(tidewell::kSelectedPaneKey, "leaderboard");
    show();
    EXPECT_TRUE(selected("settings.general"));
    EXPECT_TRUE(laid->shows("Idle after 7 days"));
    EXPECT_EQ(storedPane(), "leaderboard");

    ASSERT_TRUE(laid->tester.tap("settings.folders"));
    EXPECT_EQ(storedPane(), "folders");
    EXPECT_TRUE(selected("settings.folders"));
    EXPECT_FALSE(selected("settings.general"));
    EXPECT_TRUE(laid->shows("Scan roots"));
    EXPECT_TRUE(laid->shows("Each folder, including the startup disk, needs to be readable by you. Full Disk Access is "
                            "optional and only reveals protected folders after that disk is allowed. Rescan after you "
                            "change this list."));
}

TEST_F(SettingsOnStore, APaneChosenInAnotherWindowSwitchesTheOpenOne) {
    show();
    auto other = layOut(tidewell::SettingsView(*store), {720, 500});
    ASSERT_TRUE(other->tester.tap("settings.privacy"));
    EXPECT_TRUE(selected("settings.privacy"));
    EXPECT_TRUE(laid->tester.findText("Keep your forest on-device. Paths are never uploaded."));
    // A plain write of the key, as the character row makes before opening the window.
    home.defaults().setString(tidewell::kSelectedPaneKey, "updates");
    EXPECT_TRUE(selected("settings.updates"));
}

TEST_F(SettingsOnStore, GeneralControlsWriteThroughTheStore) {
    std::vector<bool> loginCalls;
    bool refuse = true, registered = false;
    store->pending.setOpenAtLogin = [&](bool on) {
        loginCalls.push_back(on);
        if (refuse) throw std::runtime_error("Autostart entry could not be written");
        registered = on;
    };
    store->pending.openAtLoginEnabled = [&] { return registered; };
    store->pending.checkSchedule = [](tidewell::AppStore&) {};
    store->idleDays = 90;
    show();

    // At the top bound the increment does nothing; a decrement is saved at once.
    ASSERT_TRUE(laid->tester.tapText("Increment"));
    EXPECT_EQ(store->idleDays.get(), 90);
    ASSERT_TRUE(laid->tester.tapText("Decrement"));
    EXPECT_EQ(home.defaults().integerValue("idleDays"), 89);
    EXPECT_TRUE(laid->shows("Idle after 89 days"));
    EXPECT_EQ(tidewell::idleDaysLabel(1), "Idle after 1 day");

    ASSERT_TRUE(laid->tester.tapText("Scan when Tidewell opens"));
    EXPECT_TRUE(store->scanOnLaunchEnabled.get());
    EXPECT_EQ(home.defaults().boolValue("scanOnLaunch"), true);

    // A refused autostart springs back and leaves the reason for the banner.
    ASSERT_TRUE(laid->tester.tapText("Open at login"));
    EXPECT_EQ(value("Open at login"), "0");
    EXPECT_EQ(store->lastError.get(), "Autostart entry could not be written");
    refuse = false;
    ASSERT_TRUE(laid->tester.tapText("Open at login"));
    EXPECT_EQ(value("Open at login"), "1");
    EXPECT_EQ(loginCalls, (std::vector<bool>{true, true}));

    ASSERT_TRUE(laid->tester.tapText("Automatic clean"));
    EXPECT_EQ(home.defaults().boolValue("automaticClean"), true);
}

TEST_F(SettingsOnStore, RescanPickerSelectsOnlyListedHours) {
    store->scheduledScanHours = 6;
    show();
    // The closed menu shows only the selected title: none for six hours.
    for (auto hours : tidewell::rescanChoices()) EXPECT_FALSE(laid->shows(tidewell::rescanChoiceTitle(hours)));
    store->scheduledScanHours = 24;
    EXPECT_TRUE(laid->shows("Every 24 hours"));
}

}  // namespace
