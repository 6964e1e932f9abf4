// Scheduled scans, the automatic scan, the wake check and the end-of-day check.

#include <algorithm>

#include "core/AppStore.h"
#include "core/ScanRoots.h"
#include "core/ScheduleRules.h"
#include "core/ShellServices.h"
#include "core/StoreRules.h"
#include "desktop/WakeObserver.h"
#include "foundation/Bundle.h"
#include "foundation/Log.h"
#include "foundation/UserDefaults.h"
#include "runtime/Clock.h"

namespace tidewell {

void AppStore::setScheduledScanHours(std::int64_t hours) {
    scheduledScanHours = std::max<std::int64_t>(hours, 0);
    platform::UserDefaults::standard()->setInteger(keys::scheduledScanHours, scheduledScanHours.get());
    checkSchedule();
}

void AppStore::checkSchedule() {
    if (pending.checkSchedule) return pending.checkSchedule(*this);
    const auto hours = scheduledScanHours.get();
    if (hours <= 0 || !didRunLaunchScan || isRestoringScan.get()) return;
    const auto& d = dashboard.get();
    if (scheduleIsDue(platform::now(), d ? std::optional(d->scanned_at_unix) : std::nullopt, hours))
        runAutomaticScan(scheduleReason(hours));
}

void AppStore::runAutomaticScan(const std::string& reason) {
    if (pending.runAutomaticScan) return pending.runAutomaticScan(*this, reason);
    if (!automaticScansAllowed() || isScanning.get() || isCleaning.get()) return;
    refreshFolderAccess([reason](AppStore& s) {
        // The look took a moment: another run may have started meanwhile.
        if (s.isScanning.get() || s.isCleaning.get()) return;
        std::vector<std::string> roots;
        for (const auto& folder : s.scopedRootURLs) roots.push_back(mapToRealHome(folder));
        if (roots.empty()) {
            platform::log("Tidewell automatic scan skipped (%@): no allowed folders", reason);
            s.showSilentFolders();
            return;
        }
        platform::log("Tidewell automatic scan (%@)", reason);
        s.runScan(roots);
        // The folders that do not answer stay named while the others are scanned.
        s.showSilentFolders();
        s.stillBlockingNotice_ = s.silentRoots_.empty() ? std::nullopt : s.lastError.get();
        if (!s.runsInBackground.get()) return;
        if (auto& show = shellHooks().showScanPanel) show();
        if (platform::Bundle::main().infoValue("CFBundleIdentifier")) {
            platform::postToMain([] {
                if (auto& post = shellHooks().postScanStartedNotification) post();
            });
        }
    });
}

void AppStore::startScheduleTimer() {
    if (pending.startScheduleTimer) return pending.startScheduleTimer(*this);
    scheduleTimer.reset();
    scheduleTimer = std::make_unique<platform::RepeatingTimer>(
        std::chrono::seconds(900), std::chrono::seconds(60),
        [this] { onMainActor([](AppStore& store) { store.checkSchedule(); }); });
    if (!wakeObserver) wakeObserver = std::make_unique<platform::WakeObserver>([this] { scheduleCheckAfterWake(); });
}

void AppStore::scheduleCheckAfterWake() {
    std::weak_ptr<int> alive = lifetime_;
    wakeCheck_ = platform::postToMainAfter(std::chrono::seconds(30), [this, alive] {
        if (alive.lock()) checkSchedule();
    });
}

void AppStore::checkEndOfDay() {
    if (pending.checkEndOfDay) return pending.checkEndOfDay(*this);
    auto defaults = platform::UserDefaults::standard();
    const auto hour = defaults->integerValue(keys::endOfDayHour).value_or(18);
    const auto day = localDay(platform::now());
    const auto action = endOfDayAction(day, static_cast<int>(std::clamp<std::int64_t>(hour, -1, 25)),
                                       defaults->doubleValue(keys::endOfDayShown), automaticCleanEnabled.get(),
                                       dashboard.get());
    switch (action) {
    case EndOfDayAction::none: return;
    case EndOfDayAction::automaticClean:
        defaults->setDouble(keys::endOfDayShown, day.startUnix);
        automaticClean();
        return;
    case EndOfDayAction::showReview:
        showEndOfDay = true;
        defaults->setDouble(keys::endOfDayShown, day.startUnix);
        return;
    }
}

void AppStore::automaticClean() {
    if (!automaticCleanEnabled.get() || isScanning.get() || isCleaning.get()) return;
    auto projects = automaticCleanProjects(dashboard.get());
    if (!projects.empty()) requestClean(projects, true, CleanScope::batch);
}

}  // namespace tidewell
