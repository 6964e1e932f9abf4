#pragma once
// The one store of application state. Every field that views read is
// published; every operation runs on the main actor and starts tasks for
// slow work, which hop back to the main actor to publish.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QImage>

#include "character/CharacterProfile.h"
#include "core/AppSection.h"
#include "core/CleanRules.h"
#include "core/EngineClient.h"
#include "core/EngineRecords.h"
#include "core/GroveNotice.h"
#include "core/ScanProgressRules.h"
#include "core/VolumeSpace.h"
#include "runtime/MainActor.h"
#include "runtime/Published.h"
#include "runtime/Task.h"
#include "runtime/Timer.h"
#include "social/ShareMoment.h"
#include "social/AccountSession.h"
#include "social/SocialServices.h"
#include "foundation/UserDefaults.h"

namespace platform {
class WakeObserver;
}

namespace tidewell {

class FolderLooks;

// What the launch restore gathered off the main thread.
struct RestoredSession {
    std::optional<DashboardDTO> dashboard;
    std::vector<OperationDTO> history;
    // This month's cleans as the engine's database records them.
    std::optional<std::vector<OperationDTO>> monthCleans;
};

// Own files first, then the engine's database, then the engine's `last` and
// `log`; writes what it found back to the files. Blocks; never on the main thread.
RestoredSession gatherLastSession();

// User-defaults keys of the store.
namespace keys {
inline constexpr const char* scanRoots = "scanRoots";
inline constexpr const char* idleDays = "idleDays";
inline constexpr const char* automaticClean = "automaticClean";
inline constexpr const char* scanOnLaunch = "scanOnLaunch";
inline constexpr const char* scheduledScanHours = "scheduledScanHours";
inline constexpr const char* didSeedStartupDisk = "didSeedStartupDisk";
inline constexpr const char* endOfDayHour = "endOfDayHour";
inline constexpr const char* endOfDayShown = "endOfDayShown";
inline constexpr const char* lifetimeBytes = "character.lifetimeBytes";
inline constexpr const char* hasCompletedOnboarding = "hasCompletedOnboarding";
}  // namespace keys

// Under "--ui-testing" the standard user defaults move to a file of their own,
// as the data folder does, so a test run never touches the user's settings.
void selectLaunchUserDefaults();

class AppStore final : public platform::ObservableObject {
public:
    template <class T>
    using Published = platform::Published<T>;

    struct QueuedClean {
        std::vector<ProjectDTO> projects;
        bool caution = false;
    };

    // The one instance, made on first use.
    static AppStore& shared();

    AppStore();
    ~AppStore() override;

    // Fields, in declaration order.
    Published<std::optional<DashboardDTO>> dashboard{*this};
    Published<bool> isScanning{*this, false};
    Published<bool> isRestoringScan{*this, false};
    Published<bool> isCleaning{*this, false};
    Published<std::optional<std::string>> lastError{*this};
    Published<AppSection> selectedSection{*this, AppSection::dashboard};
    Published<std::optional<ProjectDTO>> selectedProject{*this};
    Published<std::optional<std::string>> filterStack{*this};
    Published<bool> filterIdle{*this, false};
    Published<bool> hasFullDiskAccess{*this, false};
    Published<bool> loginItemEnabled{*this, false};
    Published<bool> runsInBackground{*this, false};
    Published<std::string> activityLog{*this, ""};
    Published<std::vector<OperationDTO>> operations{*this};
    Published<bool> showEndOfDay{*this, false};
    Published<bool> automaticCleanEnabled{*this, false};
    Published<bool> scanOnLaunchEnabled{*this, false};
    Published<std::int64_t> scheduledScanHours{*this, 8};
    Published<std::optional<VolumeSpace>> startupDisk{*this};
    Published<std::optional<ProjectDTO>> cleanConfirmProject{*this};
    Published<std::vector<ProjectDTO>> cleanConfirmProjects{*this};
    Published<std::optional<ProjectDTO>> filesPopupProject{*this};
    Published<std::optional<CleanReportDTO>> pendingCleanReport{*this};
    Published<bool> includeCaution{*this, false};
    Published<std::string> cleanStatus{*this, ""};
    Published<std::optional<ShareMoment>> sharePrompt{*this};
    Published<std::optional<ShareMoment>> shareSheet{*this};
    std::optional<QImage> shareWindowImage;
    // Written through the character setter below (a write of its own saves it).
    Published<CharacterProfile> character;
    // Every change to a different value is also stored under "character.lifetimeBytes".
    Published<std::uint64_t> lifetimeReclaimedBytes;
    Published<std::optional<CharacterMeal>> characterMeal{*this};
    Published<std::optional<CharacterAccessory>> newUnlock{*this};
    Published<std::vector<std::string>> scanRoots;
    Published<std::int64_t> idleDays{*this, 7};
    Published<ScanSnapshot> scanUI{*this};
    Published<double> scanGrowth{*this, 0};
    // Every clean the engine's database records for this month, read at
    // launch and after each clean: the month's figures count all of them,
    // not only those among the newest history entries.
    Published<std::vector<OperationDTO>> monthCleansRecorded{*this};
    // The one account session; its changes are re-sent as the store's own.
    std::shared_ptr<AccountSession> accountSession;
    EngineClient engine;
    std::unique_ptr<platform::RepeatingTimer> elapsedTimer;
    std::unique_ptr<platform::RepeatingTimer> diskTimer;
    std::unique_ptr<platform::RepeatingTimer> scheduleTimer;
    bool didRunLaunchScan = false;
    // The end-of-day check runs once per launch, right after the launch apply.
    bool didRunEndOfDayCheck = false;
    bool bootstrapped = false;
    std::chrono::system_clock::time_point lastScanUIFlush = std::chrono::system_clock::time_point::min();
    std::optional<ScanProgressEvent> pendingProgress;
    std::vector<std::string> pendingLog;
    std::optional<platform::WorkItem> scanUIFlushWork;
    double scanInRootPeak = 0;
    std::int64_t scanGrowthRootsDone = 0;
    std::vector<std::string> scopedRootURLs;
    std::optional<QueuedClean> queuedClean;
    std::vector<platform::Subscription> cancellables;
    std::unique_ptr<platform::WakeObserver> wakeObserver;

    // Each scan and each clean request has a generation and a cancel token of
    // its own: a cancel reaches only the run it was meant for, and results of
    // a cancelled or superseded request are dropped when they come back.
    std::uint64_t scanGeneration = 0;
    std::shared_ptr<EngineCancelToken> scanCancelToken;
    std::uint64_t cleanGeneration = 0;
    std::shared_ptr<EngineCancelToken> cleanCancelToken;

    // A notice about the user's settings or files: what this launch found
    // wrong with them (a file it cannot read, the file set aside, the scan
    // folders reset to the defaults), or a settings or application file
    // refused while this runs. It heads the banner, above any later message,
    // until the user dismisses the banner, so a scan starting does not take
    // it away before anyone read it.
    std::optional<std::string> heldNotice;
    // Puts `notice` at the head of the banner, after one held already.
    void holdSettingsNotice(const std::string& notice);
    // The banner's dismiss button: the held notice goes with the rest.
    void dismissBanner();
    // Clears `lastError` at the start of a scan or clean, except that notice.
    void clearLastError();
    // Puts `sentence` in the banner of the store the application runs (in
    // tests, the one made last), for a failure that happens away from the
    // store, such as a file manager that could not be reached. Main actor only.
    static void showErrorInBanner(std::string sentence);
    // The banner's "Could not open <url> in a browser: <reason>." for an
    // address nothing on the desktop could open.
    static void showBrowserFailureInBanner(const std::string& url, const std::string& reason);

    // Start-up.
    void bootstrap();
    void startDiskTimer();
    // Reads the startup disk's figures off the main actor and publishes them.
    void refreshStartupDisk();
    void seedStartupDisk();

    // Settings and roots.
    void saveScanSettings();
    // Looks at the folders off the main actor, then saves each one's
    // permission and adds it (a folder that is none is named in the banner).
    void addScanRoots(const std::vector<std::string>& folderPaths);
    void removeScanRoot(const std::string& path);
    void setAutomaticClean(bool enabled);
    void setLoginItemEnabled(bool enabled);
    void setCharacter(CharacterProfile profile);

    // The titlebar bell.
    std::vector<GroveNotice> groveNotices() const;
    int groveNoticeBadgeCount() const;
    void openNotice(const GroveNotice& notice);
    // The projects of the last dashboard that the shown one leaves out: one of
    // a protected stack still keeps the folders inside it from every batch
    // clean, so the bell and the end-of-day review leave those out too.
    const std::vector<ProjectDTO>& unlistedProjects() const { return unlistedProjects_; }

    // Launch restore and dashboard apply.
    void restoreLastSession();
    void applyRestoredSession(std::optional<DashboardDTO> restored, std::vector<OperationDTO> history,
                              std::optional<std::vector<OperationDTO>> monthCleans = std::nullopt);
    void setLifetimeReclaimedBytes(std::uint64_t bytes);
    // Takes this month's cleans as the engine's database records them (when
    // read) and raises the lifetime total to the bytes of every clean known
    // from them and `history`, each counted once: cleans made outside the
    // app count too, and the month never reads more than all time. Never
    // lowers the total; true when it raised it.
    bool applyMonthCleansRecorded(std::optional<std::vector<OperationDTO>> monthCleans,
                                  const std::vector<OperationDTO>& history);
    void applyDashboard(const DashboardDTO& dashboard);
    void refreshActivityText();

    // Seams for tests: a hook that is set replaces the real operation.
    struct PendingOperations {
        std::function<void(AppStore&)> refreshFolderAccess;
        std::function<void(AppStore&)> checkEndOfDay;
        std::function<void(AppStore&)> startScheduleTimer;
        std::function<void(AppStore&)> checkSchedule;
        std::function<void(AppStore&, const std::string& reason)> runAutomaticScan;
        std::function<void(const std::string& path, const std::vector<std::string>& aliases)> saveFolderPermission;
        std::function<void(const std::string& path)> removeFolderPermission;
        // Throws std::exception carrying the platform's description on refusal.
        std::function<void(bool)> setOpenAtLogin;
        std::function<bool()> openAtLoginEnabled;
    };
    PendingOperations pending;

    // Folder access. No folder the user named is looked at on the main actor:
    // a round of looks runs in a task and hands what it saw back here, and a
    // folder that does not answer within a few seconds is named in the banner
    // and kept among the scan folders.
    // Looks at the scan folders (and `extra`), then runs `then` on the main actor.
    void lookAtScanFolders(std::vector<std::string> extra, std::function<void(AppStore&, const FolderLooks&)> then);
    bool lookingAtFolders() const { return folderLooksRunning_ > 0; }
    // Looks, then starts access to the scan folders; `then` follows on the main actor.
    void refreshFolderAccess(std::function<void(AppStore&)> then = nullptr);
    // The same with what a round of looks found.
    void applyFolderAccess(const FolderLooks& looks);
    // Runs `then` once the start-up has looked at the stored scan folders
    // (at once outside the start-up): scans wait for them.
    void whenScanFoldersChecked(std::function<void(AppStore&)> then);
    // The scan folders that did not answer at the last look.
    const std::vector<std::string>& silentScanRoots() const { return silentRoots_; }

    // Schedules, automatic scans and the end-of-day check.
    void setScheduledScanHours(std::int64_t hours);
    void checkEndOfDay();
    void startScheduleTimer();
    void checkSchedule();
    void runAutomaticScan(const std::string& reason);
    void automaticClean();
    // After a wake: the schedule is checked 30 s later.
    void scheduleCheckAfterWake();

    // Scan start.
    void startScan();
    // The work of a requested scan, whoever asks (startScan, the rescan
    // button): folder access for the roots, then the engine scan, with the
    // folders still blocked named in the banner while the others are scanned.
    // Does nothing while a scan or clean runs or the roots are being prepared.
    void prepareAndRunScan();
    // Resolves folder access for the roots, asking for blocked ones; `done`
    // gets the roots that may be scanned (possibly none).
    void prepareScanRoots(std::function<void(std::vector<std::string>)> done);
    void runScan(const std::vector<std::string>& roots);
    void cancelScan();

    // One engine request (a scan, or the dry runs or real cleans of one clean
    // request) as its task sees it: which request it is, its cancel token,
    // and the way back to the store while the store lives.
    struct EngineTask {
        std::uint64_t generation = 0;
        std::shared_ptr<EngineCancelToken> token;
        std::weak_ptr<int> alive;
        AppStore* store = nullptr;
    };
    // The scan started last.
    EngineTask currentScanTask();
    // The body of the scan's detached task, never on the main actor: the
    // engine scan under engineLock, its end handed to the main actor.
    static void runEngineScan(const std::vector<std::string>& roots, std::int64_t idleDays, const EngineTask& scan);
    // The scan's progress callback, on the engine's reader thread: queues the
    // event for enqueueScanProgress on the main actor, one block per event;
    // an event of a scan that was cancelled or replaced meanwhile is dropped.
    static void scanProgressHandler(const EngineTask& scan, const ScanProgressEvent& event);

    // Scan progress.
    void enqueueScanProgress(const ScanProgressEvent& event);
    void flushScanProgress();
    void updateScanGrowth(const ScanSnapshot& snapshot);
    void startElapsedTimer();
    void tickElapsed();
    void scanSucceeded(const DashboardDTO& dashboard);
    // `cancelled` for the engine's cancelled error, whose description is never shown.
    void scanFailed(const std::string& description, bool cancelled);
    void finishScan(const std::optional<std::string>& message);

    // Cleans. A clean of many projects (Clean All, a selection's Clean, the
    // popover's Clean, the end-of-day clean) leaves out the projects of a
    // protected stack and names them; a project's own Clean does not.
    enum class CleanScope { project, batch };
    void requestClean(const std::vector<ProjectDTO>& projects, bool caution, CleanScope scope = CleanScope::project);
    void cleanAll();
    void confirmClean();
    void cancelClean();
    void finishClean(const std::vector<CleanReportDTO>& reports, std::int64_t cleanedProjects,
                     const std::optional<DashboardDTO>& engineDashboard, const std::vector<OperationDTO>& history);
    void applyCleanReports(const CleanReportDTO& report);
    void recordReclaim(std::uint64_t bytes);
    void offerSharePrompt(std::uint64_t bytes, std::int64_t projectCount);
    void shareTotal();
    void presentShare(const ShareMoment& moment);

    // The launch restore's task, for tests and an orderly end.
    const platform::TaskHandle& restoreTask() const { return restoreTask_; }
    // The engine task of the latest scan and clean request, for tests.
    const platform::TaskHandle& scanTask() const { return scanTask_; }
    const platform::TaskHandle& cleanTask() const { return cleanTask_; }

private:
    // Runs `work` on the main actor later, unless the store is gone by then.
    // Safe to call from any thread while the store exists.
    void onMainActor(std::function<void(AppStore&)> work);
    // The bootstrap's steps that need the stored scan folders looked at.
    void finishBootstrap(const FolderLooks& looks, bool rootsStored, const std::optional<std::string>& aside,
                         bool rootsReset);
    // The launch decision: a launch scan or the schedule check.
    void takeLaunchDecision();
    // Adds the looked-at paths in their normalised form, each once.
    void addScanRootPaths(const std::vector<std::string>& paths, const FolderLooks& looks);
    // Puts a folder notice in the banner, beside the launch's settings notice when that is up.
    void showFolderNotice(const std::string& text);
    void showSilentFolders();
    // The same for tasks that may outlive the store: they keep `alive` instead.
    static void hopToMain(std::weak_ptr<int> alive, AppStore* store, std::function<void(AppStore&)> work);

    // `reports` and `leftOut` carry the index of their project in the request.
    void dryRunFinished(std::uint64_t generation, std::vector<std::pair<std::size_t, CleanReportDTO>> reports,
                        std::vector<std::pair<std::size_t, std::string>> leftOut);
    void dryRunFailed(std::uint64_t generation, const std::string& description, bool cancelled);
    // The real cleans of a confirmed request, one project after another, then
    // the reload of the dashboard and history; never on the main actor.
    static void executeCleans(const std::vector<std::string>& paths,
                              const std::vector<std::vector<std::string>>& folders, bool caution,
                              const EngineTask& clean);
    void cleanEnded(std::uint64_t generation, std::vector<CleanReportDTO> reports, std::int64_t cleanedProjects,
                    std::optional<DashboardDTO> engineDashboard, std::vector<OperationDTO> history,
                    std::optional<std::pair<std::string, bool>> failure, std::uint64_t stranded);
    // `held`: the engine outlived the kill that a cancel or the time-out sent,
    // which the banner tells even after a cancel.
    void handleScanResult(std::uint64_t generation, std::optional<DashboardDTO> dashboard,
                          const std::string& description, bool cancelled, bool held = false);

    // The folders each project's preview listed, in request order: a real
    // clean moves these and nothing the engine might find since.
    std::vector<std::pair<std::string, std::vector<std::string>>> previewedArtifacts_;
    // The last press of Move to Trash failed before anything moved (another
    // clean held the lock): the banner tells that press, not the preview.
    bool pressFailed_ = false;
    // The projects of the running request in the order asked, with why the
    // request passed over it (none for those it previews): a batch names all
    // it leaves out.
    std::vector<std::pair<std::string, std::optional<std::string>>> requestedProjects_;
    // For each project the request previews, the projects of a protected
    // stack nested in it: its folders inside them stay with them.
    std::vector<std::vector<ShieldedProject>> shieldedInside_;
    // The projects of the last dashboard that the shown one leaves out (none
    // to reclaim of their own), by place and stacks: one of a protected stack
    // still shields the folders inside it.
    std::vector<ProjectDTO> unlistedProjects_;
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
    // Puts a settings file protected while this runs in the banner.
    platform::UserDefaults::Observation settingsRefusalWatch_;
    platform::TaskHandle restoreTask_;
    platform::TaskHandle scanTask_;
    platform::TaskHandle cleanTask_;
    platform::WorkItem wakeCheck_;
    bool preparingScan_ = false;
    int folderLooksRunning_ = 0;
    bool scanFoldersChecked_ = true;
    std::vector<std::function<void(AppStore&)>> afterScanFoldersChecked_;
    std::vector<std::string> silentRoots_;
    // The roots the running scan's engine could not scan, named when it ends.
    EngineRootErrors engineRootErrors_;
    bool readingStartupDisk_ = false;
    // What the last folder pass before a scan put in the banner of the folders
    // it leaves out (still blocked, or not answering); none when it left none out.
    std::optional<std::string> stillBlockingNotice_;
    // Set while the launch scan waits for a clean that started before it.
    std::optional<platform::Subscription> deferredLaunchScan_;
};

}  // namespace tidewell
