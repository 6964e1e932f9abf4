#include <ctime>
#include <thread>

#include "FeedingPipe.h"
#include "FlowTestSupport.h"
#include "core/AppFiles.h"
#include "core/EngineDatabase.h"
#include "core/FolderAccess.h"
#include "core/ModelTexts.h"
#include "social/ShareMoment.h"

using namespace tidewell;
using namespace tidewell::testing;
namespace fs = std::filesystem;

namespace {
// A bundle whose `tidewell-engine` is a script: it records each command in
// "calls", waits while a "gate" file exists, and prints "<command>.json".
class FakeEngine {
public:
    explicit FakeEngine(const std::string& folder) : bin_(folder + "/bin") {
        writeText(bin_ + "/tidewell", "");
        writeScript(bin_ + "/tidewell-engine",
                  "dir=$(dirname \"$0\")\n"
                  "for a in \"$@\"; do case \"$a\" in last|log|scan|clean) cmd=$a;; esac; done\n"
                  "echo \"$cmd\" >> \"$dir/calls\"\n"
                  "while [ -f \"$dir/gate\" ]; do sleep 0.01; done\n"
                  "if [ -f \"$dir/$cmd.json\" ]; then cat \"$dir/$cmd.json\"; else echo 'engine: no answer' >&2; exit 1; fi\n");
        platform::Bundle::setMainForTesting(bin_ + "/tidewell");
    }
    ~FakeEngine() { platform::Bundle::resetMainForTesting(); }

    void answer(const std::string& command, const std::string& json) { writeText(bin_ + "/" + command + ".json", json); }
    void hold() { writeText(bin_ + "/gate", ""); }
    void release() { fs::remove(bin_ + "/gate"); }
    std::vector<std::string> calls() const {
        std::vector<std::string> out;
        std::ifstream in(bin_ + "/calls");
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }

private:
    std::string bin_;
};

struct LaunchRestore : ::testing::Test {
    ScratchHome home;
    FakeEngine engine{home.path("bundle")};

    static void bootAndWait(AppStore& store) {
        store.bootstrap();
        ASSERT_TRUE(platform::processMainEventsUntil([&] { return store.didRunLaunchScan; }));
    }
};
}  // namespace

TEST_F(LaunchRestore, OwnFilesWinAndAreWrittenBack) {
    auto d = dashboard({project("a", "/w/a", 10, 4)}, 500);
    saveLastDashboard(d);
    saveOperations({operation("c", 9, 4, false, "/w/a")});
    engine.answer("last", "null");
    AppStore store;
    bootAndWait(store);
    EXPECT_EQ(store.dashboard.get(), d);
    EXPECT_EQ(store.operations.get().size(), 1u);
    EXPECT_TRUE(engine.calls().empty()) << "the engine is only the last resort";
    EXPECT_EQ(store.activityLog.get(), "Cleaned a \u00B7 4 bytes to Trash");
}

TEST_F(LaunchRestore, CorruptDashboardFileIsReplacedFromTheDatabaseOrElseTheEngine) {
    const auto fromDb = dashboard({project("db", "/w/db", 100, 60)}, 700);
    const auto fromEngine = dashboard({project("e", "/w/e", 100, 60)}, 800);
    engine.answer("last", encode(fromEngine));
    engine.answer("log", "[]");
    for (bool withDatabase : {false, true}) {
        writeText(lastDashboardFilePath(), "{\"projects\": [tru");
        const auto db = engineDatabaseCandidates()[0];
        if (withDatabase) {
            ASSERT_TRUE(createEngineDatabase(db) && insertDashboard(db, fromDb));
        }
        AppStore store;
        bootAndWait(store);
        const auto& expected = withDatabase ? fromDb : fromEngine;
        EXPECT_EQ(store.dashboard.get(), expected);
        EXPECT_EQ(readLastDashboardFile(), expected);
    }
    EXPECT_EQ(std::ranges::count(engine.calls(), "last"), 1) << "the engine's dashboard only without a database";
}

TEST_F(LaunchRestore, AScanThatFinishesWhileTheRestoreWaitsKeepsItsDashboardOnFile) {
    const auto older = dashboard({project("old", "/w/old", 10, 4)}, 500);
    const auto newer = dashboard({project("new", "/w/new", 10, 4)}, 900);
    engine.answer("last", encode(older));
    engine.answer("log", "[]");
    engine.hold();
    std::thread restore([] { (void)gatherLastSession(); });
    ASSERT_TRUE(platform::processMainEventsUntil([&] { return !engine.calls().empty(); }));
    saveLastDashboard(newer);  // the scan's result lands meanwhile
    engine.release();
    restore.join();
    EXPECT_EQ(readLastDashboardFile(), newer);
}

TEST_F(LaunchRestore, EmptyHistoryFileFallsThroughToTheDatabaseThenTheEngineLog) {
    saveLastDashboard(dashboard({}, 5));
    writeText(operationsFilePath(), "[]");
    const auto db = engineDatabaseCandidates()[0];
    ASSERT_TRUE(createEngineDatabase(db));  // no rows: empty history
    engine.answer("log", encodeArray(std::vector<OperationDTO>{operation("from-log", 3, 11)}));
    AppStore store;
    bootAndWait(store);
    EXPECT_EQ(store.operations.get(), std::vector<OperationDTO>{operation("from-log", 3, 11)});
    EXPECT_EQ(engine.calls(), (std::vector<std::string>{"log"}));
    EXPECT_EQ(readOperationsFile(), store.operations.get());
}

TEST_F(LaunchRestore, OwnFilesThatAreNamedPipesAreNotWaitedOnNamedAndNeverReplaced) {
    testsupport::FeedingPipe dashboardPipe(lastDashboardFilePath(), encode(dashboard({project("p", "/w/p", 1, 1)}, 900)));
    testsupport::FeedingPipe historyPipe(operationsFilePath(),
                                         encodeArray(std::vector<OperationDTO>{operation("from-pipe", 3, 11)}));
    testsupport::FeedingPipe bookmarksPipe(bookmarksFilePath(), "<plist/>");
    const auto fromDb = dashboard({project("db", "/w/db", 100, 60)}, 700);
    const auto db = engineDatabaseCandidates()[0];
    ASSERT_TRUE(createEngineDatabase(db) && insertDashboard(db, fromDb));
    engine.answer("log", encodeArray(std::vector<OperationDTO>{operation("from-log", 3, 11)}));
    AppStore store;
    bootAndWait(store);
    EXPECT_EQ(store.dashboard.get(), fromDb);
    EXPECT_EQ(store.operations.get(), std::vector<OperationDTO>{operation("from-log", 3, 11)});
    const auto named = [](const std::string& path, const std::string& what) {
        return "The file " + path + " cannot be read: it is a named pipe, not a regular file. Tidewell leaves it as "
               "it is and saves no " + what + " there.";
    };
    EXPECT_EQ(store.lastError.get(), named(lastDashboardFilePath(), "scan result") + " " +
                                         named(operationsFilePath(), "clean history") + " " +
                                         named(bookmarksFilePath(), "folder permissions"));
    fs::create_directories(home.path("code"));
    store.addScanRoots({home.path("code")});  // a change of scan folders saves the permissions
    for (const auto& path : {lastDashboardFilePath(), operationsFilePath(), bookmarksFilePath()})
        EXPECT_TRUE(fs::is_fifo(path)) << path << " is still the pipe";
}

// Own files kept in a dotfiles folder and linked into place are read through
// the link, and saves go to the file it points to; the link stays.
TEST_F(LaunchRestore, OwnFilesThatAreLinksToFilesAreReadAndWrittenThroughTheLink) {
    const auto onFile = dashboard({project("a", "/w/a", 10, 4)}, 500);
    writeText(home.path("dotfiles/dashboard.json"), encode(onFile));
    writeText(home.path("dotfiles/history.json"), encodeArray(std::vector<OperationDTO>{operation("linked", 3, 11)}));
    writeText(home.path("dotfiles/bookmarks.plist"), "<plist/>");
    const std::pair<std::string, std::string> links[] = {{lastDashboardFilePath(), home.path("dotfiles/dashboard.json")},
                                                         {operationsFilePath(), home.path("dotfiles/history.json")},
                                                         {bookmarksFilePath(), "../../../../dotfiles/bookmarks.plist"}};
    for (const auto& [link, to] : links) fs::create_symlink(to, link);
    AppStore store;
    bootAndWait(store);
    EXPECT_EQ(store.dashboard.get(), onFile) << "read through the link";
    EXPECT_EQ(store.operations.get(), std::vector<OperationDTO>{operation("linked", 3, 11)});
    EXPECT_FALSE(store.lastError.get().has_value());
    const auto scanned = dashboard({project("b", "/w/b", 20, 8)}, 900);
    saveLastDashboard(scanned);
    saveOperations({operation("later", 4, 12)});
    fs::create_directories(home.path("code"));
    store.addScanRoots({home.path("code")});
    ASSERT_TRUE(platform::processMainEventsUntil([&] { return !store.lookingAtFolders(); }));
    for (const auto& [link, to] : links) EXPECT_TRUE(fs::is_symlink(link)) << link << " is still the link";
    EXPECT_EQ(readLastDashboardFile(), scanned);
    EXPECT_EQ(platform::readFileContents(home.path("dotfiles/dashboard.json")), encode(scanned));
    EXPECT_EQ(platform::readFileContents(home.path("dotfiles/history.json")),
              encodeArray(std::vector<OperationDTO>{operation("later", 4, 12)}));
    EXPECT_NE(platform::readFileContents(home.path("dotfiles/bookmarks.plist")).value_or("").find(home.path("code")),
              std::string::npos);
    EXPECT_FALSE(store.lastError.get().has_value());
}

// An own file made unusable while Tidewell runs is named in the banner at the
// next save, as the launch names it, and left as it is.
TEST_F(LaunchRestore, OwnFilesMadeUnusableWhileItRunsAreNamedAtTheNextSaveAndNeverReplaced) {
    AppStore store;
    bootAndWait(store);
    const auto saved = dashboard({project("a", "/w/a", 10, 4)}, 500);
    saveLastDashboard(saved);
    struct Spoiling {
        const char* what;
        std::function<std::string()> spoil;  // what the file's place holds afterwards
        std::function<void()> save;
        std::string path;
        std::string sentence;
    };
    const auto dashboardFile = lastDashboardFilePath();
    const auto tell = [](const std::string& path, const std::string& why, const std::string& what) {
        return "The file " + path + " cannot " + why + ". Tidewell leaves it as it is and saves no " + what + " there.";
    };
    const auto save = [&] { saveLastDashboard(dashboard({project("b", "/w/b", 20, 8)}, 900)); };
    const auto nowhere = home.path("dotfiles/gone.json");
    const auto danglingAt = [nowhere](const std::string& path) {
        return [path, nowhere] {
            fs::remove(path);
            fs::create_symlink(nowhere, path);
            return "link";
        };
    };
    fs::create_directories(home.path("code"));
    const Spoiling spoilings[] = {
        {"the dashboard file made read-only",
         [&] {
             fs::permissions(dashboardFile, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
             return encode(saved);
         },
         save, dashboardFile, tell(dashboardFile, "be saved: it is read-only", "scan result")},
        {"a link to nothing at the dashboard file", danglingAt(dashboardFile), save, dashboardFile,
         tell(dashboardFile, "be saved: it is a symbolic link to " + nowhere + ", which does not exist", "scan result")},
        {"a link to nothing at the bookmarks file", danglingAt(bookmarksFilePath()),
         [&] {
             store.addScanRoots({home.path("code")});
             ASSERT_TRUE(platform::processMainEventsUntil([&] { return !store.lookingAtFolders(); }));
         },
         bookmarksFilePath(),
         tell(bookmarksFilePath(), "be saved: it is a symbolic link to " + nowhere + ", which does not exist",
              "folder permissions")},
        {"a named pipe at the history file",
         [&] {
             fs::remove(operationsFilePath());
             EXPECT_EQ(::mkfifo(operationsFilePath().c_str(), 0644), 0);
             return "pipe";
         },
         [] { saveOperations({operation("later", 4, 12)}); }, operationsFilePath(),
         tell(operationsFilePath(), "be read: it is a named pipe, not a regular file", "clean history")},
    };
    for (const auto& s : spoilings) {
        const auto left = s.spoil();
        store.dismissBanner();
        s.save();
        EXPECT_TRUE(platform::processMainEventsUntil([&] { return store.lastError.get().has_value(); })) << s.what;
        EXPECT_EQ(store.lastError.get(), s.sentence) << s.what;
        store.clearLastError();
        EXPECT_EQ(store.lastError.get(), s.sentence) << s.what << ": a scan or clean starting leaves it";
        if (left == "link") EXPECT_TRUE(fs::is_symlink(s.path)) << s.what;
        else if (left == "pipe") EXPECT_TRUE(fs::is_fifo(s.path)) << s.what;
        else EXPECT_EQ(platform::readFileContents(s.path), left) << s.what;
        EXPECT_FALSE(fs::exists(nowhere)) << s.what;
        store.dismissBanner();
        s.save();
        bool turned = false;
        platform::postToMain([&] { turned = true; });
        platform::processMainEventsUntil([&] { return turned; });
        EXPECT_FALSE(store.lastError.get().has_value()) << s.what << ": told once";
    }
}

TEST_F(LaunchRestore, NoSourceAtAllStillTakesTheLaunchDecision) {
    AppStore store;  // the engine answers nothing and fails
    int schedules = 0;
    store.pending.checkSchedule = [&](AppStore&) { ++schedules; };
    bootAndWait(store);
    EXPECT_TRUE(!store.dashboard.get() && store.operations.get().empty());
    EXPECT_FALSE(store.lastError.get().has_value()) << "restore failures are never shown";
    EXPECT_EQ(schedules, 1);
    EXPECT_FALSE(fs::exists(lastDashboardFilePath()) || fs::exists(operationsFilePath()));
}

TEST_F(LaunchRestore, LifetimeTotalNeverDecreasesAtLaunch) {
    saveOperations({operation("big", 2, 5'000), operation("preview", 3, 90'000, true)});
    for (std::int64_t stored : {1'000, 9'000}) {
        home.defaults().setInteger(keys::lifetimeBytes, stored);
        AppStore store;
        bootAndWait(store);
        const auto expected = std::max<std::int64_t>(stored, 5'000);  // the history's total, not the preview
        EXPECT_EQ(store.lifetimeReclaimedBytes.get(), static_cast<std::uint64_t>(expected));
        EXPECT_EQ(home.defaults().integerValue(keys::lifetimeBytes), expected);
    }
}

TEST_F(LaunchRestore, CleansOfTheMonthMadeOutsideTheAppRaiseTheLifetimeTotalOnce) {
    const MidMonthClock clock;
    const std::int64_t now = clock.unixNow();
    const auto db = engineDatabaseCandidates()[0];
    ASSERT_TRUE(createEngineDatabase(db));
    // The app's own history knows one clean; the engine's database also holds
    // two made from the terminal this month, a preview and last month's clean.
    for (const auto& op : {operation("app", now, 5'000), operation("term1", now, 3'000), operation("term2", now, 4'000),
                           operation("preview", now, 90'000, true), operation("old", monthStartUnix(now) - 1, 8'000)})
        ASSERT_TRUE(insertOperation(db, op));
    saveOperations({operation("app", now, 5'000)});
    home.defaults().setInteger(keys::lifetimeBytes, 5'000);
    for (int launch = 0; launch < 2; ++launch) {
        AppStore store;
        bootAndWait(store);
        EXPECT_EQ(store.lifetimeReclaimedBytes.get(), 12'000u) << "launch " << launch << ": each clean of the month once";
        EXPECT_EQ(home.defaults().integerValue(keys::lifetimeBytes), 12'000);
    }
    home.defaults().setInteger(keys::lifetimeBytes, 50'000);
    AppStore store;
    bootAndWait(store);
    EXPECT_EQ(store.lifetimeReclaimedBytes.get(), 50'000u) << "never lowered";
}

TEST_F(LaunchRestore, CelebrationRecordsAndTheReportAreSeeded) {
    saveOperations({operation("c", 1, 60'000'000'000)});
    std::vector<double> reports;
    socialHooks().leaderboardSync = [&](const CharacterProfile&, std::uint64_t bytes, double delay) {
        EXPECT_EQ(bytes, 60'000'000'000u);
        reports.push_back(delay);
    };
    AppStore store;
    auto p = store.character.get();
    p.leaderboardOptIn = true;
    store.setCharacter(p);
    bootAndWait(store);
    socialHooks() = {};
    EXPECT_EQ(reports, (std::vector<double>{5.0}));
    EXPECT_EQ(home.defaults().integerValue("shareMilestoneCelebrated"), 50'000'000'000);
    EXPECT_EQ(home.defaults().integerValue("character.unlockCelebrated"), 50'000'000'000);
}

TEST_F(LaunchRestore, MilestonesAreSeededFromTheLifetimeTotalWhenTheHistoryIsShorter) {
    home.defaults().setInteger(keys::lifetimeBytes, 120'000'000'000);  // the history was trimmed long ago
    saveOperations({operation("c", 1, 2'000'000'000)});
    AppStore store;
    bootAndWait(store);
    EXPECT_EQ(home.defaults().integerValue("shareMilestoneCelebrated"),
              static_cast<std::int64_t>(*highestShareMilestone(120'000'000'000)));
    EXPECT_EQ(nextShareMilestone(store.lifetimeReclaimedBytes.get() + 1), std::nullopt)
        << "the next clean announces nothing passed long ago";
}

TEST_F(LaunchRestore, RunningScanKeepsItsStateButTheDecisionIsStillTaken) {
    saveLastDashboard(dashboard({project("a", "/a", 1, 1)}, 900));
    saveOperations({operation("c", 1, 7)});
    AppStore store;
    std::vector<std::string> scans;
    store.pending.runAutomaticScan = [&](AppStore&, const std::string& r) { scans.push_back(r); };
    store.scanOnLaunchEnabled = true;
    home.defaults().setBool(keys::scanOnLaunch, true);
    store.isScanning = true;
    bootAndWait(store);
    EXPECT_TRUE(!store.dashboard.get() && store.activityLog.get().empty());
    // A scan brings no history: without the restored one the activity page
    // and the month's figures would say nothing was ever cleaned.
    ASSERT_EQ(store.operations.get().size(), 1u);
    EXPECT_EQ(store.operations.get()[0].id, "c");
    EXPECT_EQ(scans, (std::vector<std::string>{"launch"}));
}

TEST_F(LaunchRestore, HistoryAlreadyHeldDuringAScanIsNotReplacedByTheRestoredOne) {
    saveOperations({operation("old", 1, 7)});
    AppStore store;
    store.operations = std::vector<OperationDTO>{operation("new", 2, 9)};
    store.isScanning = true;
    bootAndWait(store);
    ASSERT_EQ(store.operations.get().size(), 1u);
    EXPECT_EQ(store.operations.get()[0].id, "new");
}

TEST_F(LaunchRestore, OlderRestoredDashboardIsDropped) {
    AppStore store;
    auto newer = dashboard({project("n", "/n", 1, 1)}, 2000);
    store.applyDashboard(newer);
    store.applyRestoredSession(dashboard({project("o", "/o", 1, 1)}, 1000), {});
    EXPECT_EQ(store.dashboard.get(), newer);
    auto same = dashboard({project("s", "/s", 1, 1)}, 2000);
    store.applyRestoredSession(same, {});
    EXPECT_EQ(store.dashboard.get(), same) << "an equal scan time replaces";
}

TEST_F(LaunchRestore, SelectionIsRepointedByPathAndClearedWhenNothingIsLeft) {
    AppStore store;
    store.applyDashboard(dashboard({project("id1", "/w/app", 10, 5), project("id2", "/w/lib", 10, 5)}));
    store.selectedProject = store.dashboard.get()->projects[0];
    store.filesPopupProject = store.dashboard.get()->projects[1];
    int popupWrites = 0;
    auto sub = store.filesPopupProject.subscribe([&](const auto&) { ++popupWrites; });

    auto renamed = project("id9", "/w/app", 20, 8);
    store.applyDashboard(dashboard({renamed, project("id2", "/w/lib", 10, 0), project("x", "/x", 1, 1)}));
    EXPECT_EQ(store.selectedProject.get(), renamed);
    EXPECT_FALSE(store.filesPopupProject.get().has_value()) << "nothing left to reclaim: deselected";

    store.applyDashboard(dashboard({project("x", "/x", 1, 1)}));
    EXPECT_FALSE(store.selectedProject.get().has_value());
    EXPECT_EQ(popupWrites, 1) << "an empty files sheet publishes nothing";
}

TEST_F(LaunchRestore, NestedExampleIsPublishedAsItsNumbersSay) {
    auto d = dashboard({project("A", "/w/app", 200, 50), project("B", "/w/app/sub", 80, 30),
                        project("C", "/w/c", 999, 0)});
    d.by_type = {{"node", "Node", 3, 1279, 80}};
    saveLastDashboard(d);
    AppStore store;
    bootAndWait(store);
    const auto& shown = *store.dashboard.get();
    EXPECT_EQ(std::tie(shown.project_count, shown.total_bytes, shown.reclaimable_bytes), std::make_tuple(2, 200u, 80u));
    EXPECT_EQ(shown.by_type, (std::vector<TypeSummaryDTO>{{"node", "Node", 2, 200, 80}}));
    EXPECT_EQ(readLastDashboardFile(), d) << "the file keeps the engine's dashboard";
}

TEST_F(LaunchRestore, MainThreadKeepsServingWhileASlowEngineAnswers) {
    engine.answer("last", "null");
    engine.answer("log", "[]");
    engine.hold();
    AppStore store;
    store.bootstrap();
    // The engine is held, so the restore cannot finish; the main thread must
    // still run posted work and published writes meanwhile.
    ASSERT_TRUE(platform::processMainEventsUntil([&] { return !engine.calls().empty(); }));
    int served = 0;
    for (int i = 0; i < 5; ++i) platform::postToMain([&] { ++served; });
    ASSERT_TRUE(platform::processMainEventsUntil([&] { return served == 5; }));
    store.filterIdle = true;
    EXPECT_TRUE(store.isRestoringScan.get() && !store.didRunLaunchScan);
    engine.release();
    ASSERT_TRUE(platform::processMainEventsUntil([&] { return store.didRunLaunchScan; }));
    EXPECT_FALSE(store.isRestoringScan.get());
    EXPECT_EQ(engine.calls(), (std::vector<std::string>{"last", "log"}));
}

TEST(LaunchRestoreUiTesting, ReadsAndWritesOnlyItsOwnFolderAndDefaults) {
    ScratchHome home({"tidewell", "--ui-testing"});
    FakeEngine engine(home.path("bundle"));
    // The user's own data and settings, which the test launch must not see or change.
    writeText(home.dataFolder("Tidewell") + "/last-dashboard.json", encode(dashboard({project("u", "/u", 1, 1)}, 9)));
    ASSERT_TRUE(createEngineDatabase(home.dataFolder("Tidewell") + "/tidewell.sqlite"));
    ASSERT_TRUE(insertOperation(home.dataFolder("Tidewell") + "/tidewell.sqlite", operation("user", 1, 1)));
    home.defaults().setStringArray(keys::scanRoots, {"/user-root"});
    const auto userDefaultsFile = home.defaults().filePath();
    const auto userDefaultsBefore = platform::readFileContents(userDefaultsFile);

    selectLaunchUserDefaults();
    auto testDefaults = platform::UserDefaults::standard();
    EXPECT_EQ(testDefaults->filePath(), platform::UserDefaults::standardFilePath("defaults-UITests.json"));

    auto own = dashboard({project("t", "/t", 2, 2)}, 10);
    saveLastDashboard(own);
    AppStore store;
    LaunchRestore::bootAndWait(store);
    EXPECT_EQ(store.dashboard.get(), own);
    EXPECT_TRUE(store.operations.get().empty());
    EXPECT_EQ(std::ranges::count(store.scanRoots.get(), "/user-root"), 0);
    EXPECT_EQ(platform::readFileContents(userDefaultsFile), userDefaultsBefore);
    EXPECT_TRUE(testDefaults->contains(keys::didSeedStartupDisk));
    EXPECT_FALSE(fs::exists(home.dataFolder("Tidewell") + "/operations.json"));
    EXPECT_TRUE(fs::exists(home.dataFolder("Tidewell-UITests") + "/last-dashboard.json"));
}
