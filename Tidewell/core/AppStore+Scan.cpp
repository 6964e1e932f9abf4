// Scan start, the folder pass before a requested scan, the engine scan and
// its progress pipeline.

#include <algorithm>
#include <cmath>
#include <functional>

#include "core/AppFiles.h"
#include "core/AppStore.h"
#include "core/FolderAccess.h"
#include "core/FolderLook.h"
#include "core/ScanProgressRules.h"
#include "core/ScanRoots.h"
#include "foundation/Log.h"
#include "runtime/Clock.h"

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

double secondsBetween(platform::TimePoint from, platform::TimePoint to) {
    return platform::secondsSince1970(to) - platform::secondsSince1970(from);
}
}  // namespace

void AppStore::startScan() {
    if (isScanning.get() || isCleaning.get() || preparingScan_) return;
    onMainActor([](AppStore& store) { store.prepareAndRunScan(); });
}

void AppStore::prepareAndRunScan() {
    // A second request while the roots are being prepared would prepare them twice.
    if (isScanning.get() || isCleaning.get() || preparingScan_) return;
    preparingScan_ = true;
    // A scan asked for at launch waits for the start-up's look at the roots.
    whenScanFoldersChecked([](AppStore& store) {
        store.prepareScanRoots([&store](std::vector<std::string> roots) {
            store.preparingScan_ = false;
            if (roots.empty() || store.isScanning.get() || store.isCleaning.get()) return;
            const auto blocking = store.stillBlockingNotice_;
            store.runScan(roots);
            // The folders still blocked, or not answering, stay named while the others are scanned.
            if (blocking && store.isScanning.get()) store.lastError = *blocking;
        });
    });
}

void AppStore::prepareScanRoots(std::function<void(std::vector<std::string>)> done) {
    hasFullDiskAccess = probeFullDiskAccess();
    lookAtScanFolders({}, [done = std::move(done)](AppStore& s, const FolderLooks& looks) {
        // Linux grants no folder to one application: a root this user can
        // list is allowed, and its bookmark is saved quietly (never as an
        // alias of another disk). A root that cannot be listed stays blocked;
        // no panel could change that, so none is shown.
        for (const auto& root : s.scanRoots.get()) {
            if (isSilentScanRoot(root, looks) || hasWorkingBookmark(root, looks) ||
                !startFolderAccess(mapToRealHome(root), looks))
                continue;
            if (s.pending.saveFolderPermission) s.pending.saveFolderPermission(root, {});
            else saveFolderPermission(root, {}, looks);
        }

        s.stillBlockingNotice_.reset();
        s.applyFolderAccess(looks);
        std::vector<std::string> granted;
        for (const auto& folder : s.scopedRootURLs) granted.push_back(mapToRealHome(folder));
        const auto& silent = s.silentRoots_;
        if (granted.empty()) {
            // Folders that do not answer are no reason to ask for another one.
            s.lastError = silent.empty() ? std::string(kScanNeedsFolderText) : silentFoldersText(silent);
            return done({});
        }
        std::vector<std::string> blocked;
        for (const auto& root : s.scanRoots.get())
            if (isNotAmongRoots(root, granted) && !isSilentScanRoot(root, looks)) blocked.push_back(root);
        std::string notice;
        if (!blocked.empty()) {
            platform::log("Tidewell still blocked: %@", joined(blocked));
            notice = stillBlockingText(blocked);
        }
        if (!silent.empty()) notice += (notice.empty() ? "" : " ") + silentFoldersText(silent);
        if (!notice.empty()) {
            s.stillBlockingNotice_ = notice;
            s.lastError = notice;
        }
        platform::log("Tidewell allowed scan folders: %@", joined(granted));
        done(std::move(granted));
    });
}

void AppStore::runScan(const std::vector<std::string>& roots) {
    if (isScanning.get()) return;
    isScanning = true;
    clearLastError();
    const auto now = platform::now();
    scanUI = startSnapshot(roots, EngineClient::enginePath(), now);
    pendingProgress.reset();
    pendingLog.clear();
    lastScanUIFlush = now;
    scanGrowth = 0.04;
    scanInRootPeak = 0;
    scanGrowthRootsDone = 0;
    engineRootErrors_ = {};
    startElapsedTimer();
    platform::log("Tidewell scanning %@", joined(roots));
    const auto idle = idleDays.get();
    refreshFolderAccess();

    ++scanGeneration;
    scanCancelToken = std::make_shared<EngineCancelToken>();
    scanTask_ = platform::detachTask(platform::TaskPriority::userInitiated,
                                     [roots, idle, scan = currentScanTask()] { runEngineScan(roots, idle, scan); });
}

AppStore::EngineTask AppStore::currentScanTask() { return EngineTask{scanGeneration, scanCancelToken, lifetime_, this}; }

void AppStore::runEngineScan(const std::vector<std::string>& roots, std::int64_t idleDays, const EngineTask& scan) {
    std::optional<DashboardDTO> result;
    std::string description;
    bool cancelled = false, held = false;
    {
        std::lock_guard lock(engineLock());
        try {
            result = EngineClient::scan(roots, idleDays, std::bind_front(&AppStore::scanProgressHandler, scan), scan.token);
        } catch (const EngineError& e) {
            description = e.message();
            cancelled = e.kind() == EngineError::Kind::cancelled;
            held = e.kind() == EngineError::Kind::held;
        } catch (const std::exception& e) {
            description = e.what();
        }
    }
    if (!result) platform::log("Tidewell scan error: %@", description);
    hopToMain(scan.alive, scan.store, [=, generation = scan.generation](AppStore& s) {
        s.handleScanResult(generation, result, description, cancelled, held);
    });
    if (result && !scan.token->isCancelled()) saveLastDashboard(*result);
}

void AppStore::scanProgressHandler(const EngineTask& scan, const ScanProgressEvent& event) {
    hopToMain(scan.alive, scan.store, [event, generation = scan.generation](AppStore& s) {
        if (generation == s.scanGeneration && !s.scanCancelToken->isCancelled()) s.enqueueScanProgress(event);
    });
}

void AppStore::handleScanResult(std::uint64_t generation, std::optional<DashboardDTO> result,
                                const std::string& description, bool cancelled, bool held) {
    // A superseded scan, or one cancelled after its engine had already
    // answered, publishes nothing.
    if (generation != scanGeneration) return;
    if (result) {
        if (scanCancelToken && scanCancelToken->isCancelled()) return;
        scanSucceeded(*result);
    } else {
        scanFailed(description, cancelled || (!held && scanCancelToken && scanCancelToken->isCancelled()));
    }
}

void AppStore::cancelScan() {
    if (!isScanning.get()) return;
    // Only this scan's own run is stopped; a restore or clean is never hit.
    if (scanCancelToken) scanCancelToken->cancel();
    isScanning = false;
    lastError = std::string(kScanCancelledText);
}

void AppStore::enqueueScanProgress(const ScanProgressEvent& event) {
    engineRootErrors_.note(event);
    pendingProgress = event;
    const auto line = progressLogLine(event);
    const auto& shownLog = scanUI.get().log;
    const bool repeatsParked = !pendingLog.empty() && pendingLog.back() == line;
    const bool repeatsShown = !shownLog.empty() && shownLog.back() == line;
    if (!repeatsParked && !repeatsShown) pendingLog.push_back(line);

    if (flushesAtOnce(event, scanUI.get(), secondsBetween(lastScanUIFlush, platform::now()))) {
        if (scanUIFlushWork) scanUIFlushWork->cancel();
        flushScanProgress();
        return;
    }
    if (scanUIFlushWork) return;
    std::weak_ptr<int> alive = lifetime_;
    scanUIFlushWork = platform::postToMainAfter(std::chrono::duration<double>(kScanFlushInterval), [this, alive] {
        if (!alive.lock()) return;
        scanUIFlushWork.reset();
        flushScanProgress();
    });
}

void AppStore::flushScanProgress() {
    scanUIFlushWork.reset();
    const auto now = platform::now();
    lastScanUIFlush = now;
    auto next = foldProgress(scanUI.get(), pendingProgress, pendingLog, now);
    pendingLog.clear();
    pendingProgress.reset();
    if (!(next == scanUI.get())) scanUI = next;
    updateScanGrowth(next);
}

void AppStore::updateScanGrowth(const ScanSnapshot& snapshot) {
    if (scanGrowthRootsDone < snapshot.rootsDone) {
        scanInRootPeak = 0;
        scanGrowthRootsDone = snapshot.rootsDone;
    }
    scanInRootPeak = std::max(scanInRootPeak, inRootProgress(snapshot.phase, scanInRootPeak));
    const double target = growthTarget(snapshot, scanInRootPeak);
    scanGrowth = std::min(std::max(scanGrowth.get(), target), 1.0);
}

void AppStore::startElapsedTimer() {
    elapsedTimer.reset();
    elapsedTimer = std::make_unique<platform::RepeatingTimer>(
        std::chrono::seconds(1), std::chrono::milliseconds(200),
        [this] { onMainActor([](AppStore& store) { store.tickElapsed(); }); });
}

void AppStore::tickElapsed() {
    const auto& shown = scanUI.get();
    if (!isScanning.get() || !shown.startedAt) return;
    const double seconds = std::max(0.0, secondsBetween(*shown.startedAt, platform::now()));
    if (std::floor(seconds) == std::floor(shown.elapsed)) return;
    auto next = shown;
    next.elapsed = seconds;
    scanUI = std::move(next);
}

void AppStore::scanSucceeded(const DashboardDTO& result) {
    applyDashboard(result);
    // Counted on the dashboard the pages show, not the engine's, which also
    // holds the projects with nothing to reclaim.
    finishScan(scanCompletionText(*dashboard.get()));
    // A root the engine could not scan (a share that fell silent after the
    // look before the scan, or whose walking process ended) has no projects
    // in the result: the banner says why, beside what the look named.
    if (engineRootErrors_.empty()) return;
    const auto text = engineRootErrors_.text();
    const auto& shown = lastError.get();
    if (stillBlockingNotice_ && shown == stillBlockingNotice_ && shown != heldNotice)
        lastError = *stillBlockingNotice_ + " " + text;
    else showFolderNotice(text);
}

void AppStore::scanFailed(const std::string& description, bool cancelled) {
    if (cancelled) {
        if (isScanning.get()) finishScan(std::nullopt);
        return;
    }
    lastError = description;
    finishScan(std::nullopt);
}

void AppStore::finishScan(const std::optional<std::string>& message) {
    elapsedTimer.reset();
    if (scanUIFlushWork) scanUIFlushWork->cancel();
    scanUIFlushWork.reset();
    flushScanProgress();
    isScanning = false;
    scanGrowth = 1.0;
    if (message) {
        activityLog = *message;
        auto next = scanUI.get();
        next.message = *message;
        next.phase = "done";
        scanUI = std::move(next);
    }
}

}  // namespace tidewell
