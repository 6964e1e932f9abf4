#include "AsOrdinaryUser.h"
#include "FeedingPipe.h"
#include "FlowTestSupport.h"
#include "HeldLook.h"
#include "SilentFilesystem.h"
#include "core/FolderAccess.h"
#include "core/FolderLook.h"
#include "core/ModelTexts.h"
#include "core/ScanProgressRules.h"
#include "core/ScanRoots.h"
#include "core/StoreRules.h"
#include "foundation/Log.h"
#include "foundation/PropertyList.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sstream>
#include <tuple>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>

using namespace tidewell;
using namespace tidewell::testing;
namespace fs = std::filesystem;

namespace {
struct FolderAccess : FlowFixture {
    // Runs the bookmark pass to its end and returns the roots it allowed.
    std::vector<std::string> prepare(AppStore& store) {
        std::optional<std::vector<std::string>> result;
        store.prepareScanRoots([&](std::vector<std::string> roots) { result = std::move(roots); });
        EXPECT_TRUE(runUntil([&] { return result.has_value(); }));
        return result.value_or(std::vector<std::string>{});
    }
};
const std::string absentDisk = "/media/tidewell-test-absent/Disk";
// What a round of looks finds of the roots and their bookmarks, as the store's task sees it.
FolderLooks looked(const std::vector<std::string>& roots) { return lookAtFolders(foldersToLookAt(roots)); }
}  // namespace

TEST_F(FolderAccess, ListableRootsAreGrantedQuietlyAndTheRestNamedWithoutAPanel) {
    const auto code = folder("home/Code");
    AppStore store;
    store.scanRoots = {"/", code + "/", absentDisk};
    ScriptedPanel panel;
    platform::LogCapture log;

    const auto allowed = prepare(store);

    EXPECT_TRUE(panel.shown.empty()) << "a panel cannot grant what Linux refuses";
    EXPECT_EQ(allowed, (std::vector<std::string>{"/", code}));
    const auto table = readBookmarks();
    EXPECT_TRUE(table.count("/") && table.count(code + "/"));
    EXPECT_EQ(table.count(absentDisk), 0u) << "the disk's grant is never an alias of another disk";
    EXPECT_EQ(store.lastError.get(), "Linux is still blocking Disk. Give yourself read access to those folders.");
    EXPECT_TRUE(log.contains("Tidewell still blocked: " + absentDisk));

    store.scanRoots = {absentDisk};
    EXPECT_TRUE(prepare(store).empty());
    EXPECT_EQ(store.lastError.get(), "Scan needs a folder you can read. Add one in Settings, or add the startup disk.");
    EXPECT_TRUE(log.contains("Tidewell folder access DENIED " + absentDisk));
    EXPECT_EQ(folderDisplayName("/a/Code/"), "Code");
    EXPECT_EQ(folderDisplayName("//"), rootVolumeDisplayName());
}

TEST_F(FolderAccess, TheBlockingNoticeStaysWhileTheOthersAreScannedAndOneRequestPreparesOnce) {
    const auto code = folder("home/Code");
    AppStore store;
    store.scanRoots = {code, absentDisk};
    // A scan that runs until it is stopped, however long the checks take.
    writeScript(home.path("bundle/bin/tidewell-engine"), "while :; do sleep 1 </dev/null >/dev/null 2>&1; done\n");
    int saves = 0;
    store.pending.saveFolderPermission = [&](const std::string& path, const std::vector<std::string>&) {
        ++saves;
        saveFolderPermission(path, {}, looked({path}));
    };
    store.startScan();
    store.startScan();  // a second click before the first one's roots are ready
    ASSERT_TRUE(runUntil([&] { return store.isScanning.get(); }));
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(store.lastError.get(), "Linux is still blocking Disk. Give yourself read access to those folders.");
    store.cancelScan();
    store.scanTask().wait();
    drain();
}

TEST_F(FolderAccess, SavedRootsNeedNoPanel) {
    const auto work = folder("home/Work");
    AppStore store;
    store.scanRoots = {work};
    saveFolderPermission(work, {}, looked({work}));
    ScriptedPanel panel;
    EXPECT_EQ(prepare(store), (std::vector<std::string>{work}));
    EXPECT_TRUE(panel.shown.empty());
    EXPECT_FALSE(store.lastError.get().has_value());
}

TEST_F(FolderAccess, SandboxAndRealHomeKeysAndRemovalByEitherPath) {
    // The process's home differs from the user's real one, as in a sandbox.
    const auto real = folder("real");
    setRealHomeForTesting(real);
    const auto sandboxWork = folder("home/Work");
    const auto realWork = folder("real/Work");
    saveFolderPermission(sandboxWork, {}, looked({sandboxWork}));
    EXPECT_TRUE(readBookmarks().count(sandboxWork) && readBookmarks().count(realWork));

    removeFolderPermission(realWork);
    EXPECT_TRUE(readBookmarks().empty()) << "the real path removes the sandbox entry as well";

    saveFolderPermission(sandboxWork, {}, looked({sandboxWork}));
    removeFolderPermission(sandboxWork);
    EXPECT_TRUE(readBookmarks().empty());
}

TEST_F(FolderAccess, RestoreFindsTheRealHomeKeyAndRejectsARootWithoutAFolder) {
    const auto real = folder("real");
    setRealHomeForTesting(real);
    const auto realWork = folder("real/Work");
    writeBookmarks({{realWork, *makeBookmark(realWork, looked({realWork}))}});
    platform::LogCapture log;
    const std::vector<std::string> roots{home.home() + "/Work", absentDisk};
    EXPECT_EQ(restoreFolderAccess(roots, looked(roots)), (std::vector<std::string>{realWork}));
    EXPECT_TRUE(log.contains("Tidewell folder access granted " + realWork));
    EXPECT_TRUE(log.contains("Tidewell folder access DENIED " + absentDisk));
}

TEST_F(FolderAccess, StaleBookmarkIsSavedAgainAndBrokenEntriesArePassedOver) {
    const auto work = folder("home/Work");
    saveFolderPermission(work, {}, looked({work}));
    const auto before = readBookmarks().at(work);
    fs::create_directories(work + "-new");
    fs::remove_all(work);
    fs::rename(work + "-new", work);  // another folder now stands at the path
    ASSERT_TRUE(resolveBookmark(before, looked({work}))->stale);

    platform::LogCapture log;
    EXPECT_EQ(restoreFolderAccess({work}, looked({work})), (std::vector<std::string>{work}));
    EXPECT_TRUE(log.contains("Tidewell saved folder permission for " + work));
    const auto after = readBookmarks().at(work);
    EXPECT_NE(after, before);
    EXPECT_FALSE(resolveBookmark(after, looked({work}))->stale);

    EXPECT_FALSE(resolveBookmark(BookmarkData{'<', 'x'}, looked({})).has_value());
    EXPECT_FALSE(makeBookmark(home.path("nothing"), looked({home.path("nothing")})).has_value());
    log.clear();
    saveFolderPermission(home.path("nothing"), {}, looked({home.path("nothing")}));
    EXPECT_TRUE(log.contains("Tidewell could not save folder permission for " + home.path("nothing")));
}

// A damaged file is the application's to replace; a named pipe in its place
// is someone else's, never waited on and never replaced.
TEST_F(FolderAccess, ABookmarksFileThatDoesNotReadCountsAsEmptyAndOnlyADamagedOneIsReplacedOnSave) {
    const auto work = folder("home/Work");
    const auto saved = platform::writePropertyList(platform::PropertyValue::Dictionary{{work, *makeBookmark(work, looked({work}))}});
    for (bool pipe : {false, true}) {
        fs::remove(bookmarksFilePath());
        std::optional<testsupport::FeedingPipe> fed;
        if (pipe) fed.emplace(bookmarksFilePath(), saved);
        else writeText(bookmarksFilePath(), "<plist><dict><key>x</key>");
        EXPECT_TRUE(readBookmarks().empty() && !hasWorkingBookmark(work, looked({work}))) << pipe;
        platform::LogCapture log;
        saveFolderPermission(work, {}, looked({work}));
        EXPECT_EQ(readBookmarks().size() == 1 && hasWorkingBookmark(work, looked({work})), !pipe) << pipe;
        EXPECT_EQ(fs::is_fifo(bookmarksFilePath()), pipe);
        EXPECT_TRUE(log.contains(std::string(pipe ? "Tidewell could not save" : "Tidewell saved") +
                                 " folder permission for " + work));
    }
}

TEST_F(FolderAccess, StoreRefreshKeepsTheStartedFoldersAndRootChangesRefreshThem) {
    const auto a = folder("a");
    const auto b = folder("b");
    AppStore store;
    store.scanRoots = {a};
    const auto looked = [&] { return runUntil([&] { return !store.lookingAtFolders(); }); };
    store.refreshFolderAccess();
    ASSERT_TRUE(looked());
    EXPECT_EQ(store.scopedRootURLs, (std::vector<std::string>{a}));
    store.addScanRoots({b});
    ASSERT_TRUE(looked());
    EXPECT_EQ(store.scopedRootURLs, (std::vector<std::string>{a, b}));
    EXPECT_TRUE(readBookmarks().count(b)) << "a chosen folder is remembered";
    store.removeScanRoot(b);
    ASSERT_TRUE(looked());
    EXPECT_EQ(store.scopedRootURLs, (std::vector<std::string>{a}));
    EXPECT_FALSE(readBookmarks().count(b));
}

TEST_F(FolderAccess, ScanFolderPanelTexts) {
    ScriptedPanel panel;
    panel.answer(std::vector<std::string>{"/x"});
    std::optional<std::vector<std::string>> chosen;
    presentScanFolderPicker([&](std::vector<std::string> paths) { chosen = std::move(paths); });
    EXPECT_TRUE(panel.shown.empty()) << "the picker opens on a later main-queue turn";
    ASSERT_TRUE(runUntil([&] { return chosen.has_value(); }));
    EXPECT_EQ(*chosen, (std::vector<std::string>{"/x"}));
    ASSERT_EQ(panel.shown.size(), 1u);
    EXPECT_EQ(std::tie(panel.shown[0].prompt, panel.shown[0].message, panel.shown[0].directory),
              std::make_tuple("Add", "Choose folders to scan for development projects.", home.home()));

    chosen.reset();
    chooseScanFolders([&](std::vector<std::string> paths) { chosen = std::move(paths); });
    ASSERT_TRUE(runUntil([&] { return chosen.has_value(); }));
    EXPECT_TRUE(chosen->empty()) << "a cancelled panel gives no folders";
    EXPECT_FALSE(openFullDiskAccessSettings());
}

// A scan folder on a FUSE filesystem whose server stopped answering (the
// test's own, in a mount namespace of its own): the start-up ends, the other
// folder is opened and scanned, the silent one is named and stays stored.
TEST_F(FolderAccess, AScanFolderWhoseServerStoppedAnsweringIsNamedAndTheStartUpEnds) {
    ASSERT_EQ(::unshare(CLONE_NEWNS), 0) << "tests run as root";
    ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    const auto code = folder("home/code");
    const auto remote = folder("home/remote");
    testsupport::SilentFilesystem server(remote);
    ASSERT_TRUE(server.mounted());
    home.defaults().setStringArray(keys::scanRoots, {code, remote});
    home.defaults().setBool(keys::didSeedStartupDisk, true);
    home.defaults().setInteger(keys::scheduledScanHours, 0);
    struct stat answered {};
    ASSERT_EQ(::stat(remote.c_str(), &answered), 0) << "it answered once, as a share does until its host is gone";
    server.fallSilent();

    AppStore store;
    store.bootstrap();
    // A long guard against a hang; the folder has a few seconds to answer.
    ASSERT_TRUE(platform::processMainEventsUntil([&] { return store.didRunLaunchScan; }, std::chrono::minutes(2)));
    // The look still waiting is a child process's: no thread of ours waits
    // on the server, so nothing keeps the application from ending.
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::string waits;
        std::getline(std::ifstream(task.path() / "wchan"), waits);
        EXPECT_NE(waits, "request_wait_answer") << task.path();
    }
    EXPECT_EQ(store.scopedRootURLs, std::vector<std::string>{code});
    EXPECT_EQ(home.defaults().stringArray(keys::scanRoots), (std::vector<std::string>{code, remote}));
    const std::string named =
        "The scan folder ~/remote does not answer, so Tidewell leaves it out until it does. It stays among your scan "
        "folders.";
    EXPECT_EQ(store.lastError.get(), named);
    EXPECT_EQ(prepare(store), std::vector<std::string>{code});
    EXPECT_EQ(store.lastError.get(), named);
}

// A look held by a silent server holds nothing of ours, our standard error
// neither (as under `tidewell 2>&1 | cat`), and is the one look at its
// folder: a later launch waits for it to end, then looks afresh.
TEST_F(FolderAccess, AHeldLookHoldsNoOutputOfOursAndALaterLaunchWaitsForItInsteadOfAskingAgain) {
    // Records a launch cannot trust are passed over: the folder is looked at.
    const auto code = folder("home/code");
    const auto record = heldLookRecordPath(code);
    fs::create_directories(fs::path(record).parent_path());
    // The second names a process that started after the recorded one: its pid was reused.
    for (const std::string& bad : {std::string("garbage"), std::to_string(::getppid()) + " 1\n" + code}) {
        writeText(record, bad);
        const auto looks = lookAtFolders({code}, std::chrono::minutes(1));
        EXPECT_TRUE(looks.facts(code) && looks.facts(code)->listable) << bad;
    }

    ASSERT_EQ(::unshare(CLONE_NEWNS), 0) << "tests run as root";
    ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    const auto remote = folder("home/remote");
    testsupport::SilentFilesystem server(remote);
    ASSERT_TRUE(server.mounted());
    struct stat answered {};
    ASSERT_EQ(::stat(remote.c_str(), &answered), 0);
    server.fallSilent();

    int output[2];
    ASSERT_EQ(::pipe2(output, O_CLOEXEC | O_NONBLOCK), 0);
    const int standardError = ::dup(2);
    ::dup2(output[1], 2);
    ::close(output[1]);
    EXPECT_TRUE(lookAtFolders({remote}, std::chrono::milliseconds(1)).silent(remote));
    ASSERT_TRUE(server.waitUntilHolding(1));
    ::dup2(standardError, 2);
    ::close(standardError);
    char bytes[512];
    ssize_t n = 0;
    while ((n = ::read(output[0], bytes, sizeof bytes)) > 0) {
    }
    EXPECT_EQ(n, 0) << "the held look keeps our standard error open";
    ::close(output[0]);

    const auto recorded = [&] { return fs::exists(heldLookRecordPath(remote)); };
    ASSERT_TRUE(runUntil(recorded));
    forgetFolderLooksForTesting();  // a later launch
    EXPECT_TRUE(lookAtFolders({remote}).silent(remote));
    EXPECT_EQ(server.holding(), 1) << "a second look is held beside the first";

    server.hangUp();  // the earlier look ends; the waiting one looks now
    const auto looks = lookAtFolders({remote}, std::chrono::minutes(1));
    EXPECT_TRUE(looks.facts(remote));
    EXPECT_TRUE(runUntil([&] { return !recorded(); })) << "a look that ended stays recorded";
}

// A round waits for all its looks at once: five held looks give up after
// one patience in all, not one for each.
TEST_F(FolderAccess, ARoundOfHeldLooksGivesUpAfterOnePatienceNotOneForEach) {
    // A clock whose every wait for a look that has not answered runs out at
    // its deadline at once, so the round's time is what it asked to wait.
    struct RunningOut : FolderLookClock {
        mutable std::chrono::steady_clock::time_point at{};
        std::chrono::steady_clock::time_point now() const override { return at; }
        void waitUntil(std::condition_variable&, std::unique_lock<std::mutex>&,
                       std::chrono::steady_clock::time_point deadline,
                       const std::function<bool()>& answered) const override {
            if (!answered()) at = std::max(at, deadline);
        }
    };
    std::vector<std::string> five;
    for (const char* name : {"a", "b", "c", "d", "e"}) five.push_back(home.path(name));
    HeldLook held(five);
    const RunningOut clock;
    const auto looks = lookAtFolders(five, kFolderLookPatience, clock);
    EXPECT_TRUE(std::all_of(five.begin(), five.end(), [&](const std::string& p) { return looks.silent(p); }));
    EXPECT_EQ(clock.at - std::chrono::steady_clock::time_point{}, kFolderLookPatience)
        << "the round waited a patience for each held look";
}

// A launch scan names the folder its look found silent while the others are
// scanned; a folder that fell silent before the engine reached it is named
// beside it when the scan ends, never in its place.
TEST_F(FolderAccess, AFolderTheEngineFoundSilentIsNamedBesideTheOneTheLookFoundSilent) {
    const auto code = folder("home/code");
    const auto remote = folder("home/remote");
    HeldLook held(remote);
    home.defaults().setBool(kHasCompletedOnboardingKey, true);
    const ScanProgressEvent silent{"error", "Cannot scan " + code + ": its filesystem stopped answering.", code, 0, 0, 1};
    writeText(home.path("bundle/bin/progress"), "PROGRESS:" + encode(silent) + "\n");
    writeText(home.path("bundle/bin/answer.json"), encode(dashboard({})));
    writeScript(home.path("bundle/bin/tidewell-engine"),
                "here=$(dirname \"$0\")\ncat \"$here/progress\" >&2\ncat \"$here/answer.json\"\n");
    AppStore store;
    store.scanRoots = {code, remote};
    store.runAutomaticScan("launch");
    ASSERT_TRUE(runUntil([&] { return store.dashboard.get().has_value(); }));
    EXPECT_EQ(store.lastError.get(), silentFoldersText({remote}) + " " + silentFoldersText({code}));
}

namespace {
// A clock that counts the waits for a look that has not answered, and waits none.
struct CountingWaits : FolderLookClock {
    mutable int waits = 0;
    void waitUntil(std::condition_variable&, std::unique_lock<std::mutex>&, std::chrono::steady_clock::time_point,
                   const std::function<bool()>& answered) const override {
        if (!answered()) ++waits;
    }
};
}  // namespace

// A round that starts once the last one returned asks the folder again: it
// never takes the answer of a look that was only on its way out.
TEST_F(FolderAccess, EachRoundOfLooksAsksAfresh) {
    const auto code = folder("home/code");
    const auto asked = std::make_shared<std::atomic<int>>(0);
    setFolderLookForTesting([asked](const std::string& path) {
        ++*asked;
        return std::optional(lookInThisProcess(path));
    });
    for (int round = 1; round <= 300; ++round) {
        ASSERT_TRUE(lookAtFolders({code}, std::chrono::minutes(1)).facts(code)) << round;
        ASSERT_EQ(asked->load(), round) << "a round took the answer of the one before";
    }
    setFolderLookForTesting(nullptr);
}

// The record a held look leaves is trusted only when it is this user's and
// names another process that runs now, by the start time the kernel gives it
// (field 22 of /proc/PID/stat): any other record is passed over at once.
TEST_F(FolderAccess, OnlyAHeldLookRecordOfThisUserNamingAnotherRunningProcessIsWaitedOn) {
    const auto code = folder("home/code");
    const auto record = heldLookRecordPath(code);
    fs::create_directories(fs::path(record).parent_path());
    const pid_t sleeper = ::fork();
    if (sleeper == 0) {
        ::pause();
        ::_exit(0);
    }
    ASSERT_GT(sleeper, 0);
    const auto startTime = [](pid_t pid) {
        const auto stat = testsupport::procLine(std::to_string(pid), "stat");
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        for (int number = 3; number <= 22 && fields >> field; ++number) {
        }
        return field;
    };
    const auto line = [&](pid_t pid, const std::string& started) { return std::to_string(pid) + " " + started + "\n" + code; };
    // The record, its owner, and whether a launch waits on it.
    const std::tuple<std::string, uid_t, bool> records[] = {
        {line(sleeper, startTime(sleeper)), testsupport::kNobody, false},
        {line(::getpid(), startTime(::getpid())), 0, false},
        {line(sleeper, "0"), 0, false},
        {line(sleeper, startTime(sleeper)), 0, true},
    };
    for (const auto& [text, owner, waited] : records) {
        writeText(record, text);
        ASSERT_EQ(::chown(record.c_str(), owner, owner), 0);
        forgetFolderLooksForTesting();  // a later launch
        const auto looks = lookAtFolders({code}, waited ? std::chrono::milliseconds(300) : std::chrono::minutes(1));
        EXPECT_EQ(looks.silent(code), waited) << text << " owned by " << owner;
    }
    ::kill(sleeper, SIGKILL);
    ::waitpid(sleeper, nullptr, 0);
    EXPECT_TRUE(lookAtFolders({code}, std::chrono::minutes(1)).facts(code)) << "the waiting look goes on once it ends";
}

// Folders on one share whose server stopped answering are asked in turn,
// so the server holds one process; once a round gave up, a folder on that
// share, or inside the folder, is answered as silent at once and nothing
// more is started. A folder elsewhere is asked as ever.
TEST_F(FolderAccess, FoldersOnAShareThatStoppedAnsweringHoldOneLookBetweenThem) {
    ASSERT_TRUE(testsupport::enterOwnMountNamespace()) << "tests run as root";
    const auto code = folder("home/code");
    const auto remote = folder("home/remote");
    testsupport::SilentFilesystem server(remote, {{"a/x", 1}, {"b/x", 1}, {"c/x", 1}, {"d/x", 1}});
    ASSERT_TRUE(server.mounted());
    ASSERT_TRUE(server.answers());
    server.fallSilent();

    const auto silentAll = [](const FolderLooks& looks, const std::vector<std::string>& paths) {
        return std::all_of(paths.begin(), paths.end(), [&](const std::string& p) { return looks.silent(p); });
    };
    const std::vector<std::string> first{remote + "/a", remote + "/b", remote + "/c"};
    EXPECT_TRUE(silentAll(lookAtFolders(first, std::chrono::milliseconds(300)), first));
    ASSERT_TRUE(server.waitUntilHolding(1));
    EXPECT_EQ(testsupport::runningChildren(), 1) << "each folder on the share held a process of its own";

    const std::vector<std::string> second{remote + "/d", remote + "/a/x", remote + "/b/x", remote};
    const CountingWaits clock;
    EXPECT_TRUE(silentAll(lookAtFolders(second, std::chrono::minutes(1), clock), second));
    EXPECT_EQ(clock.waits, 0) << "a folder known not to answer was waited on";
    const auto local = lookAtFolders({code}, std::chrono::minutes(1));
    EXPECT_TRUE(local.facts(code) && local.facts(code)->listable);
    EXPECT_EQ(testsupport::runningChildren(), 1);
    EXPECT_EQ(server.holding(), 1);
}
