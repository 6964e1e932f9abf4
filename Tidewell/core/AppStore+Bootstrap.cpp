// The store's once-only start-up, the startup-disk refresh and seeding.

#include <algorithm>
#include <filesystem>

#include "core/AppFiles.h"
#include "core/AppStore.h"
#include "core/FolderAccess.h"
#include "core/FolderLook.h"
#include "core/LoginItemService.h"
#include "core/ModelTexts.h"
#include "core/ScanRoots.h"
#include "foundation/Files.h"
#include "foundation/Log.h"
#include "foundation/Paths.h"
#include "foundation/UserDefaults.h"

namespace tidewell {

namespace {
std::string joined(const std::vector<std::string>& list) {
    std::string out;
    for (const auto& item : list) {
        if (!out.empty()) out += ", ";
        out += item;
    }
    return out;
}

// What the launch found wrong with the settings: a file `defaults` cannot
// read (nothing else matters then), or any of: a file it may not replace, the
// file set aside, the scan folders reset to `resetRoots`.
std::string settingsNotice(const platform::UserDefaults& defaults, const std::optional<std::string>& aside,
                           const std::optional<std::vector<std::string>>& resetRoots) {
    if (const auto why = defaults.unreadableFileReason())
        return "The settings file " + defaults.filePath() + " cannot be read: " + midSentence(*why) +
               ". Tidewell runs with defaults and leaves the file as it is.";
    std::string text;
    if (const auto why = defaults.unwritableFileReason())
        text = settingsUnsavedNotice(defaults.filePath(), *why);
    if (aside)
        text += "The settings file could not be read and was set aside as " + *aside +
               ". The settings that could still be read were kept.";
    if (resetRoots) {
        std::vector<std::string> names;
        for (const auto& root : *resetRoots) names.push_back(scanRootDisplayName(root));
        if (!text.empty()) text += " ";
        text += "The scan folders could not be read, so they were reset to the defaults: " + joined(names) + ".";
    }
    return text;
}
}  // namespace

void AppStore::bootstrap() {
    if (bootstrapped) return;
    bootstrapped = true;
    auto defaults = platform::UserDefaults::standard();

    // The account store's changes are re-sent as the store's own, on the main actor.
    std::weak_ptr<int> alive = lifetime_;
    cancellables.push_back(accountSession->objectWillChange().subscribe([this, alive] {
        platform::postToMain([this, alive] {
            if (alive.lock()) sendWillChange();
        });
    }));

    const auto aside = defaults->setAsidePath();
    const auto storedRoots = defaults->stringArray(keys::scanRoots);
    const bool rootsStored = storedRoots && !storedRoots->empty();
    if (rootsStored) scanRoots = *storedRoots;
    // Roots that were stored but cannot be read give way to the defaults, and
    // the user hears of it before any scan walks them.
    const auto unreadable = defaults->unreadableKeys();
    const bool rootsReset =
        !storedRoots && (aside || defaults->contains(keys::scanRoots) ||
                         std::find(unreadable.begin(), unreadable.end(), keys::scanRoots) != unreadable.end());
    // The roots are normalised, seeded and opened once they have been looked
    // at, off the main actor: a folder whose server stopped answering must
    // not keep the window from opening. Scans wait for that look.
    scanFoldersChecked_ = false;
    lookAtScanFolders({}, [rootsStored, aside, rootsReset](AppStore& store, const FolderLooks& looks) {
        store.finishBootstrap(looks, rootsStored, aside, rootsReset);
    });

    const auto storedIdleDays = defaults->integerValue(keys::idleDays).value_or(0);
    idleDays = storedIdleDays == 0 ? 7 : storedIdleDays;
    automaticCleanEnabled = defaults->boolValue(keys::automaticClean).value_or(false);
    if (defaults->contains(keys::scanOnLaunch))
        scanOnLaunchEnabled = defaults->boolValue(keys::scanOnLaunch).value_or(false);
    if (auto hours = defaults->integerValue(keys::scheduledScanHours)) scheduledScanHours = *hours;

    refreshStartupDisk();
    startDiskTimer();
    hasFullDiskAccess = probeFullDiskAccess();
    loginItemEnabled = pending.openAtLoginEnabled ? pending.openAtLoginEnabled() : openAtLoginEnabled();
    isRestoringScan = true;
    // The end-of-day check follows the launch apply (LaunchRestore.cpp), so it
    // sees the restored dashboard.
    startScheduleTimer();
    restoreTask_ = platform::detachTask(platform::TaskPriority::utility, [this] { restoreLastSession(); });
}

void AppStore::finishBootstrap(const FolderLooks& looks, bool rootsStored, const std::optional<std::string>& aside,
                               bool rootsReset) {
    auto defaults = platform::UserDefaults::standard();
    const auto defaultRoots = defaultScanRoots(looks);
    if (!rootsStored) {
        // A folder chosen in onboarding while this look was held is already
        // among the roots: the defaults go in front of it, never over it.
        auto roots = defaultRoots;
        const auto added = scanRoots.get();
        for (const auto& root : added)
            if (isNotAmongRoots(root, roots)) roots.push_back(root);
        scanRoots = std::move(roots);
        if (!added.empty()) saveScanSettings();
    }
    auto normalized = normalizeScanRoots(scanRoots.get(), looks);
    if (normalized != scanRoots.get()) {
        scanRoots = normalized;
        saveScanSettings();
        platform::log("Tidewell scan roots rewritten to real folders: %@", joined(normalized));
    }
    seedStartupDisk();
    const auto filesNotice = appFilesNotice();
    if (aside || rootsReset || defaults->unreadableFileReason() || defaults->unwritableFileReason() ||
        !filesNotice.empty()) {
        auto notice = settingsNotice(*defaults, aside, rootsReset ? std::optional(defaultRoots) : std::nullopt);
        heldNotice = notice + (notice.empty() || filesNotice.empty() ? "" : " ") + filesNotice;
        lastError = heldNotice;
    }
    applyFolderAccess(looks);
    showSilentFolders();
    scanFoldersChecked_ = true;
    auto waiting = std::move(afterScanFoldersChecked_);
    afterScanFoldersChecked_.clear();
    for (auto& then : waiting) then(*this);
}

void AppStore::whenScanFoldersChecked(std::function<void(AppStore&)> then) {
    if (scanFoldersChecked_) return then(*this);
    afterScanFoldersChecked_.push_back(std::move(then));
}

void AppStore::startDiskTimer() {
    diskTimer.reset();
    diskTimer = std::make_unique<platform::RepeatingTimer>(std::chrono::seconds(20), std::chrono::seconds(0), [this] {
        onMainActor([](AppStore& store) { store.refreshStartupDisk(); });
    });
}

void AppStore::refreshStartupDisk() {
    // One read at a time: a disk that is slow to answer gathers no queue.
    if (readingStartupDisk_) return;
    readingStartupDisk_ = true;
    platform::detachTask(platform::TaskPriority::utility, [alive = std::weak_ptr<int>(lifetime_), store = this] {
        (void)rootVolumeDisplayName();  // read here once, so no page reads it on the main actor
        auto disk = readStartupDisk();
        hopToMain(alive, store, [disk](AppStore& s) {
            s.readingStartupDisk_ = false;
            s.startupDisk = disk;
        });
    });
}

void AppStore::seedStartupDisk() {
    auto defaults = platform::UserDefaults::standard();
    if (defaults->boolValue(keys::didSeedStartupDisk).value_or(false)) return;
    const auto& roots = scanRoots.get();
    const bool hasRoot = std::any_of(roots.begin(), roots.end(),
                                     [](const std::string& r) { return platform::standardizePath(r) == "/"; });
    if (!hasRoot) {
        auto next = roots;
        next.insert(next.begin(), "/");
        scanRoots = std::move(next);
    }
    defaults->setBool(keys::didSeedStartupDisk, true);
    saveScanSettings();
}

}  // namespace tidewell
