// The launch restore, the launch apply and the dashboard the store publishes.

#include <algorithm>
#include <ctime>

#include "core/AppFiles.h"
#include "core/AppStore.h"
#include "core/EngineDatabase.h"
#include "core/ModelTexts.h"
#include "core/StoreRules.h"
#include "foundation/Log.h"
#include "foundation/ProcessInfo.h"
#include "runtime/Clock.h"
#include "runtime/Task.h"

namespace tidewell {

RestoredSession gatherLastSession() {
    migrateLegacyDatabase();
    // The restore's own token: a cancel meant for a scan or clean never stops it.
    auto token = std::make_shared<EngineCancelToken>();

    RestoredSession session;
    session.dashboard = readLastDashboardFile();
    const bool dashboardFromFile = session.dashboard.has_value();
    if (!session.dashboard) session.dashboard = lastDashboardFromDatabase();
    if (!session.dashboard) {
        std::lock_guard lock(engineLock());
        try {
            session.dashboard = EngineClient::last(token);
        } catch (...) {
        }
    }

    auto history = readOperationsFile();
    if (!history || history->empty()) history = operationsFromDatabase();
    if (history->empty()) {
        std::lock_guard lock(engineLock());
        try {
            history = EngineClient::log(50, token);
        } catch (...) {
        }
    }
    session.history = std::move(*history);
    session.monthCleans = cleansRecordedSince(monthStartUnix(std::int64_t(platform::secondsSince1970(platform::now()))));

    // A scan may have finished while this waited for the engine: its newer
    // dashboard on file is never overwritten with the older one found here.
    if (session.dashboard && !dashboardFromFile) saveLastDashboardUnlessNewerOnFile(*session.dashboard);
    if (!session.history.empty()) saveOperations(session.history);
    return session;
}

void AppStore::restoreLastSession() {
    auto session = gatherLastSession();
    onMainActor([session = std::move(session)](AppStore& store) mutable {
        store.applyRestoredSession(std::move(session.dashboard), std::move(session.history),
                                   std::move(session.monthCleans));
    });
}

void AppStore::applyRestoredSession(std::optional<DashboardDTO> restored, std::vector<OperationDTO> history,
                                    std::optional<std::vector<OperationDTO>> monthCleans) {
    isRestoringScan = false;
    applyMonthCleansRecorded(std::move(monthCleans), history);
    // The same total the check after a clean uses, so a launch never
    // announces a milestone that was passed long ago.
    seedShareMilestone(lifetimeReclaimedBytes.get());
    seedUnlockCelebrated(lifetimeReclaimedBytes.get());
    leaderboardSync(character.get(), lifetimeReclaimedBytes.get(), 5.0);

    if (!isScanning.get() && !isCleaning.get()) {
        if (restored && (!dashboard.get() || restored->scanned_at_unix >= dashboard.get()->scanned_at_unix))
            applyDashboard(*restored);
        if (!history.empty()) operations = std::move(history);
        refreshActivityText();
    } else if (!isCleaning.get() && operations.get().empty()) {
        // A scan started at launch brings no history of its own: without this
        // one the activity page and the month's figures would say nothing was
        // ever cleaned until the next clean.
        operations = std::move(history);
    }

    if (!didRunEndOfDayCheck) {
        didRunEndOfDayCheck = true;
        checkEndOfDay();
    }

    // The launch scan, or the schedule, needs the scan folders looked at.
    whenScanFoldersChecked([](AppStore& store) { store.takeLaunchDecision(); });
}

void AppStore::takeLaunchDecision() {
    if (didRunLaunchScan) return;
    didRunLaunchScan = true;
    if (!scanOnLaunchEnabled.get()) return checkSchedule();
    if (!isCleaning.get()) return runAutomaticScan("launch");
    // The evening's automatic clean is preparing its preview: the launch
    // scan follows as soon as that run ends, instead of being lost.
    platform::log("Tidewell automatic scan deferred (%@): a clean is running", std::string("launch"));
    deferredLaunchScan_ = isCleaning.subscribe([this](const bool& cleaning) {
        if (cleaning) return;
        onMainActor([](AppStore& store) {
            if (!store.deferredLaunchScan_) return;
            store.deferredLaunchScan_.reset();
            store.runAutomaticScan("launch");
        });
    });
}

void AppStore::setLifetimeReclaimedBytes(std::uint64_t bytes) {
    if (bytes == lifetimeReclaimedBytes.get()) return;
    lifetimeReclaimedBytes = bytes;  // its observer stores the clamped value
}

bool AppStore::applyMonthCleansRecorded(std::optional<std::vector<OperationDTO>> monthCleans,
                                        const std::vector<OperationDTO>& history) {
    if (monthCleans) monthCleansRecorded = std::move(*monthCleans);
    const auto known = totalReclaimedBytes(withRecordedCleans(history, monthCleansRecorded.get()));
    if (known <= lifetimeReclaimedBytes.get()) return false;
    setLifetimeReclaimedBytes(known);
    return true;
}

void AppStore::applyDashboard(const DashboardDTO& delivered) {
    unlistedProjects_.clear();
    for (const auto& p : delivered.projects) {
        if (p.reclaimable_bytes != 0) continue;
        ProjectDTO place;
        place.id = p.id, place.name = p.name, place.path = p.path, place.types = p.types;
        unlistedProjects_.push_back(std::move(place));
    }
    dashboard = displayDashboard(delivered);
    const auto& projects = dashboard.get()->projects;
    if (selectedProject.get()) selectedProject = repointProject(*selectedProject.get(), projects);
    if (filesPopupProject.get()) filesPopupProject = repointProject(*filesPopupProject.get(), projects);
    // Reading a dashboard of thousands of projects leaves tens of megabytes
    // of freed parse data in the reading thread's heap.
    platform::detachTask(platform::TaskPriority::background, platform::releaseFreedMemory);
}

void AppStore::refreshActivityText() {
    if (auto text = activityText(dashboard.get(), operations.get())) activityLog = *text;
}

}  // namespace tidewell
