// The main window's content as the application shows it (top strip, sidebar,
// page), with the notices popover open, an error banner, the banner of a batch
// clean that left projects out and folders in place, an unlock toast above an
// error banner, an error banner raised while a sheet is open, the
// startup-disk card in both styles, and onboarding and the pages with
// settings that cannot be saved.

#include "ScreenshotPages.h"
#include "SampleStore.h"

#include "core/AppFiles.h"
#include "core/CleanRules.h"
#include "foundation/UserDefaults.h"
#include "kit/Theme.h"
#include "shell/NoticePopover.h"
#include "shell/StartupDiskCard.h"
#include "shell/TidewellApp.h"

namespace {

using namespace tidewell;
namespace ui = platform::ui;

AppStore& shellStore(AppSection section) {
    AppStore& store = sampleStore();
    platform::UserDefaults::standard()->setBool(keys::hasCompletedOnboarding, true);
    store.isScanning = false;
    store.selectedSection = section;
    store.lastError = std::nullopt;
    store.newUnlock = std::nullopt;
    store.startupDisk = VolumeSpace{"File System", 500'000'000'000, 48'000'000'000};
    return store;
}

const ScreenshotPage onboarding("shell-onboarding", [] {
    platform::UserDefaults::standard()->setBool(keys::hasCompletedOnboarding, false);
    return TidewellApp::mainWindowContent(sampleStore());
});
// A first launch whose settings folder takes no file: the banner says so on
// onboarding, and on the pages once onboarding is done.
const std::string unsavedSettings =
    settingsUnsavedNotice("/home/ana/.config/Tidewell/defaults.json", "its folder is read-only");
const ScreenshotPage onboardingUnsaved("shell-onboarding-unsaved", [] {
    AppStore& store = sampleStore();
    platform::UserDefaults::standard()->setBool(keys::hasCompletedOnboarding, false);
    store.lastError = unsavedSettings;
    return TidewellApp::mainWindowContent(store);
});
// A first run's notice as long as they come (a settings file that cannot be
// saved, files of the application's that cannot be either): the banner's
// text scrolls, and onboarding keeps its buttons above it.
const ScreenshotPage onboardingLongNotice("shell-onboarding-long-notice", [] {
    AppStore& store = sampleStore();
    platform::UserDefaults::standard()->setBool(keys::hasCompletedOnboarding, false);
    store.lastError = unsavedSettings +
                      " The file /home/ana/.local/share/Tidewell/last-dashboard.json cannot be saved: it is read-only. "
                      "Tidewell leaves it as it is and saves no scan result there. The file "
                      "/home/ana/.local/share/Tidewell/operations.json cannot be saved: it is a symbolic link to "
                      "/home/ana/dotfiles/gone.json, which does not exist. Tidewell leaves it as it is and saves no clean "
                      "history there.";
    return TidewellApp::mainWindowContent(store);
});
const ScreenshotPage unsaved("shell-unsaved-settings", [] {
    AppStore& store = shellStore(AppSection::dashboard);
    store.lastError = unsavedSettings;
    return TidewellApp::mainWindowContent(store);
});
const ScreenshotPage window("shell", [] { return TidewellApp::mainWindowContent(shellStore(AppSection::dashboard)); });
const ScreenshotPage projects("shell-projects", [] { return TidewellApp::mainWindowContent(shellStore(AppSection::projects)); });
const ScreenshotPage error("shell-error", [] {
    AppStore& store = shellStore(AppSection::activity);
    store.lastError = "Could not move 2 folders to the Trash. They are still where they were.";
    return TidewellApp::mainWindowContent(store);
});
const ScreenshotPage batch("shell-batch-banner", [] {
    AppStore& store = shellStore(AppSection::projects);
    store.lastError = leftOutText({{"busy", "it is active: it changed in the last day, or a program is working in it"},
                                   {"api", "its folder cannot be found"},
                                   {"locked", "nothing in it can be moved by you"}}) +
                      ". " +
                      leftInPlaceText({"web/.cache cannot be moved by this user: there is no write permission on it",
                                       "web/out is a mount point, which cannot be moved to the trash"});
    return TidewellApp::mainWindowContent(store);
});
const ScreenshotPage unlock("shell-unlock", [] {
    AppStore& store = shellStore(AppSection::projects);
    store.newUnlock = CharacterAccessory::scarf;
    store.lastError = "Could not move 2 folders to the Trash. They are still where they were.";
    return TidewellApp::mainWindowContent(store);
});
const ScreenshotPage sheetError("shell-sheet-error", [] {
    AppStore& store = shellStore(AppSection::projects);
    store.showEndOfDay = true;
    store.lastError = "Could not show ~/remote/dir in Files: it does not answer.";
    return TidewellApp::mainWindowContent(store);
});
const ScreenshotPage notices("shell-notices", [] {
    AppStore& store = shellStore(AppSection::dashboard);
    return ui::VStack(ui::HorizontalAlignment::leading, 20,
                      {NoticePopover(store, [] {}).background(ui::View(Theme::raisedSurface())),
                       StartupDiskCard(store, StartupDiskCardStyle::wide).frame(360, std::nullopt),
                       StartupDiskCard(store, StartupDiskCardStyle::menu).frame(300, std::nullopt)})
        .padding(24)
        .background(ui::View(Theme::windowBackground()));
});

}  // namespace
