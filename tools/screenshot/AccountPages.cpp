// The account chip and popover signed in, signed out and behind a locked
// keyring, the leaderboard settings section in the same three states, the
// Account pane behind a locked keyring, and the leaderboard page loading,
// failed and (with --window under a display, the web view drawn by the
// engine) loaded from TIDEWELL_SITE.
#include "SampleStore.h"
#include "ScreenshotPages.h"
#include "foundation/UserDefaults.h"
#include "kit/Theme.h"
#include "shell/SettingsPane.h"
#include "shell/SettingsView.h"
#include "shell/TidewellApp.h"
#include "social/AccountPopover.h"
#include "social/LeaderboardSettingsSection.h"
#include "social/LeaderboardSync.h"
#include "social/LeaderboardView.h"
#include "social/LeaderboardWebModel.h"
#include "social/SidebarAccountChip.h"
#include "ui/Form.h"
#include "ui/Shape.h"
#include "ui/State.h"

namespace {

using namespace tidewell;
namespace ui = platform::ui;

AppStore& accountStore(bool signedIn) {
    auto& store = sampleStore();
    auto& account = *store.accountSession;
    account.isSignedIn = signedIn;
    account.keyringLocked = false;
    account.accountName = signedIn ? std::optional<std::string>("Jane Doe") : std::nullopt;
    account.accountEmail = signedIn ? std::optional<std::string>("jane.doe@example.com") : std::nullopt;
    if (!signedIn) account.signInMessage = std::string("This sign-in link has expired. Click Sign In and try again.");
    CharacterProfile profile = store.character.get();
    profile.name = "jane_doe";
    profile.leaderboardOptIn = true;
    profile.profileLink = "https://github.com/jane";
    store.setCharacter(profile);
    LeaderboardSync::shared()->status = std::string("On the leaderboard as jane_doe \u00B7 48.2 GB");
    return store;
}

ui::View onWindow(ui::View content) {
    return content.padding(24)
        .frame(ui::FrameSpec{.maxWidth = ui::infinity, .maxHeight = ui::infinity, .alignment = ui::Alignment::topLeading})
        .background(ui::View(Theme::windowBackground()));
}

// Signed in where the token is kept, behind a keyring whose unlock prompt was cancelled.
AppStore& lockedAccountStore() {
    AppStore& store = accountStore(false);
    auto& account = *store.accountSession;
    account.keyringLocked = true;
    account.accountName = std::string("Jane Doe");
    account.accountEmail = std::string("jane.doe@example.com");
    account.signInMessage = std::nullopt;
    return store;
}

// The chip at sidebar widths (wide and compact) beside the popover's content.
ui::View chipAndPopover(AppStore& store) {
    return onWindow(ui::HStack(
        ui::VerticalAlignment::top, 32,
        {ui::VStack(ui::HorizontalAlignment::leading, 16,
                    {SidebarAccountChip(store, false).frame(220, std::nullopt), SidebarAccountChip(store, true).frame(56, std::nullopt)}),
         AccountPopover(store, [] {}).background(
             ui::RoundedRectangle(12, ui::RoundedCornerStyle::continuous).fill(Theme::raisedSurface()))}));
}

ui::View section(AppStore& store) {
    return ui::Form({LeaderboardSettingsSection(store, *LeaderboardSync::shared())})
        .background(ui::View(Theme::windowBackground()));
}

ui::View leaderboard(bool failed) {
    static LeaderboardWebModel model;
    model.isLoading = !failed;
    model.failed = failed;
    return onWindow(LeaderboardPageBody(model));
}

const ScreenshotPage chipOut("account-signed-out", [] { return chipAndPopover(accountStore(false)); });
const ScreenshotPage chipIn("account-signed-in", [] { return chipAndPopover(accountStore(true)); });
const ScreenshotPage chipLocked("account-keyring-locked", [] { return chipAndPopover(lockedAccountStore()); });
const ScreenshotPage sectionIn("leaderboard-settings", [] { return section(accountStore(true)); });
const ScreenshotPage sectionOut("leaderboard-settings-signed-out", [] { return section(accountStore(false)); });
const ScreenshotPage sectionLocked("leaderboard-settings-keyring-locked", [] { return section(lockedAccountStore()); });
const ScreenshotPage paneLocked("settings-account-keyring-locked", [] {
    return SettingsView(lockedAccountStore(), ui::Binding<std::string>::constant(rawValue(SettingsPane::account)));
});
const ScreenshotPage loading("leaderboard-loading", [] { return leaderboard(false); });
const ScreenshotPage failedPage("leaderboard-failed", [] { return leaderboard(true); });
const ScreenshotPage live("leaderboard", [] { return onWindow(LeaderboardView(*LeaderboardWebModel::shared())); }, true);
// The page in the main window, signed in (the web view shows with --window).
const ScreenshotPage inWindow("shell-leaderboard", [] {
    AppStore& store = accountStore(true);
    platform::UserDefaults::standard()->setBool(keys::hasCompletedOnboarding, true);
    store.selectedSection = AppSection::leaderboard;
    return TidewellApp::mainWindowContent(store);
}, true);

}  // namespace
