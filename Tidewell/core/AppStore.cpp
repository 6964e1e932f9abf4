#include "core/AppStore.h"

#include <algorithm>
#include <atomic>
#include <limits>

#include "core/AppFiles.h"
#include "core/FolderAccess.h"
#include "core/LoginItemService.h"
#include "core/ModelTexts.h"
#include "core/ProtectedStacks.h"
#include "core/ScanRoots.h"
#include "core/StoreRules.h"
#include "foundation/ProcessInfo.h"
#include "foundation/UserDefaults.h"
#include "desktop/WakeObserver.h"

namespace tidewell {

namespace {
// The store whose banner shows failures from elsewhere.
std::atomic<AppStore*> bannerStore{nullptr};

std::vector<std::string> lookOf(const CharacterProfile& p) {
    return {std::string(rawValue(p.body)), std::string(rawValue(p.accessory)), std::to_string(p.colorIndex)};
}
}  // namespace

void selectLaunchUserDefaults() {
    if (!platform::hasArgument("--ui-testing")) return;
    platform::UserDefaults::setStandard(std::make_shared<platform::UserDefaults>(
        platform::UserDefaults::standardFilePath("defaults-UITests.json")));
}

AppStore& AppStore::shared() {
    // Made once and kept for the whole run, as the application expects.
    static AppStore* const instance = [] {
        selectLaunchUserDefaults();
        return new AppStore();
    }();
    return *instance;
}

AppStore::AppStore()
    : character(*this, loadCharacterProfile()),
      lifetimeReclaimedBytes(*this, loadLifetimeBytes()),
      // The defaults take a look at folders: the bootstrap finds them off the main actor.
      scanRoots(*this, {}),
      accountSession(AccountSession::shared()) {
    bannerStore.store(this);
    // Files protected while this runs are told when a save first meets them,
    // as the launch tells those it found.
    setAppFileRefusalHandler([](std::string sentence) {
        platform::postToMain([sentence = std::move(sentence)] {
            if (auto* store = bannerStore.load()) store->holdSettingsNotice(sentence);
        });
    });
    // Those there now are the launch's to tell, in one notice: a save in the
    // meantime (the launch restore's) must not tell them over it.
    (void)appFilesNotice();
    std::weak_ptr<platform::UserDefaults> defaults = platform::UserDefaults::standard();
    settingsRefusalWatch_ = platform::UserDefaults::standard()->observeRefusal(
        [this, defaults, alive = std::weak_ptr<int>(lifetime_)] {
            const auto settings = defaults.lock();
            const auto why = settings ? settings->unwritableFileReason() : std::nullopt;
            if (!why) return;
            hopToMain(alive, this, [notice = settingsUnsavedNotice(settings->filePath(), *why)](AppStore& store) {
                store.holdSettingsNotice(notice);
            });
        });
    // Whatever the banner says next, the held notice stays at its head.
    lastError.onDidSet([this](const std::optional<std::string>&) {
        if (!heldNotice) return;
        const auto& shown = lastError.get();
        if (shown && shown->starts_with(*heldNotice)) return;
        lastError = shown ? *heldNotice + "\n\n" + *shown : *heldNotice;
    });
    accountSession->onSignedIn = [this] { leaderboardSync(character.get(), lifetimeReclaimedBytes.get(), 2.0); };
    accountSession->onBrowserFailed = showBrowserFailureInBanner;
    character.onDidSet([this](const CharacterProfile& old) {
        const auto& now = character.get();
        if (now == old) return;
        saveCharacterProfile(now);
        if (lookOf(now) != lookOf(old)) leaderboardSync(now, lifetimeReclaimedBytes.get(), 2.0);
    });
    lifetimeReclaimedBytes.onDidSet([this](const std::uint64_t& old) {
        const auto now = lifetimeReclaimedBytes.get();
        if (now == old) return;
        constexpr auto maxStored = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        platform::UserDefaults::standard()->setInteger(keys::lifetimeBytes,
                                                       static_cast<std::int64_t>(std::min(now, maxStored)));
    });
}

AppStore::~AppStore() {
    AppStore* self = this;
    bannerStore.compare_exchange_strong(self, nullptr);
    accountSession->onSignedIn = nullptr;
    accountSession->onBrowserFailed = nullptr;
    // Engine tasks hop back only while the store lives; stop them and wait, so
    // none outlives what it reads.
    if (scanCancelToken) scanCancelToken->cancel();
    if (cleanCancelToken) cleanCancelToken->cancel();
    lifetime_.reset();
    restoreTask_.wait();
    scanTask_.wait();
    cleanTask_.wait();
}

void AppStore::onMainActor(std::function<void(AppStore&)> work) { hopToMain(lifetime_, this, std::move(work)); }

void AppStore::hopToMain(std::weak_ptr<int> alive, AppStore* store, std::function<void(AppStore&)> work) {
    platform::postToMain([store, alive = std::move(alive), work = std::move(work)] {
        if (alive.lock()) work(*store);
    });
}

void AppStore::saveScanSettings() {
    auto defaults = platform::UserDefaults::standard();
    defaults->setStringArray(keys::scanRoots, scanRoots.get());
    defaults->setInteger(keys::idleDays, idleDays.get());
}

void AppStore::clearLastError() {
    if (heldNotice && lastError.get() == heldNotice) return;
    lastError = std::nullopt;
}

void AppStore::holdSettingsNotice(const std::string& notice) {
    // What shows below the notice held until now stays below the new one.
    std::optional<std::string> below = lastError.get();
    if (heldNotice && below && below->starts_with(*heldNotice)) {
        const auto rest = below->substr(heldNotice->size());
        below = rest.starts_with("\n\n") ? std::optional(rest.substr(2)) : std::nullopt;
    }
    if (!heldNotice) heldNotice = notice;
    else if (heldNotice->find(notice) == std::string::npos) heldNotice = *heldNotice + " " + notice;
    lastError = below;
}

void AppStore::dismissBanner() {
    heldNotice.reset();
    lastError = std::nullopt;
}

void AppStore::showErrorInBanner(std::string sentence) {
    if (auto* store = bannerStore.load()) store->lastError = std::move(sentence);
}

void AppStore::showBrowserFailureInBanner(const std::string& url, const std::string& reason) {
    showErrorInBanner("Could not open " + url + " in a browser: " + reason + ".");
}

void AppStore::removeScanRoot(const std::string& path) {
    auto next = scanRoots.get();
    next.erase(std::remove(next.begin(), next.end(), path), next.end());
    scanRoots = std::move(next);
    if (pending.removeFolderPermission) pending.removeFolderPermission(path);
    else removeFolderPermission(path);
    saveScanSettings();
    if (!isScanning.get()) refreshFolderAccess();
}

void AppStore::setAutomaticClean(bool enabled) {
    automaticCleanEnabled = enabled;
    platform::UserDefaults::standard()->setBool(keys::automaticClean, enabled);
}

void AppStore::setLoginItemEnabled(bool enabled) {
    try {
        if (pending.setOpenAtLogin) pending.setOpenAtLogin(enabled);
        else setOpenAtLogin(enabled);
    } catch (const std::exception& e) {
        lastError = std::string(e.what());
        return;
    }
    loginItemEnabled = pending.openAtLoginEnabled ? pending.openAtLoginEnabled() : openAtLoginEnabled();
}

void AppStore::setCharacter(CharacterProfile profile) { character = std::move(profile); }

std::vector<GroveNotice> AppStore::groveNotices() const {
    const auto& d = dashboard.get();
    return tidewell::groveNotices(d, isScanning.get(), d ? lastScanLabel(d->scanned_at_unix) : std::string(),
                                  storedProtectedStacks(), unlistedProjects_);
}

int AppStore::groveNoticeBadgeCount() const { return tidewell::groveNoticeBadgeCount(groveNotices()); }

void AppStore::openNotice(const GroveNotice& notice) {
    if (notice.destination == NoticeDestination::dashboard) {
        selectedSection = AppSection::dashboard;
    } else {
        filterIdle = true;
        selectedSection = AppSection::projects;
    }
}

}  // namespace tidewell
