#include "AsOrdinaryUser.h"
#include "SilentFilesystem.h"
#include "core/EngineClient.h"

#include "core/AppSupport.h"
#include "foundation/ChildProcess.h"
#include "foundation/Log.h"
#include "foundation/Paths.h"
#include "foundation/ProcessInfo.h"
#include "Tidewell/core/EngineTestBundle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <system_error>
#include <thread>
#include <unistd.h>

using namespace tidewell;
using testing_support::EngineTestBundle;
using testing_support::offMainThread;
using Kind = EngineError::Kind;

namespace {

using Strings = std::vector<std::string>;

// Runs `f` off the main thread and returns the EngineError it threw.
template <class F>
EngineError engineErrorOf(F&& f) {
    return offMainThread([&]() -> EngineError {
        try {
            f();
        } catch (const EngineError& e) {
            return e;
        }
        ADD_FAILURE() << "no EngineError";
        return EngineError::failed("<none>");
    });
}

std::string rawRun(const Strings& args, double timeout = 30, EngineClient::ProgressHandler onProgress = {},
                   std::shared_ptr<EngineCancelToken> token = nullptr) {
    return offMainThread([&] { return EngineClient::run(args, timeout, onProgress, token); });
}

// A scan whose first progress line cancels every running engine.
EngineError cancelledScan() {
    return engineErrorOf([] {
        EngineClient::run({"scan"}, 60, [](const ScanProgressEvent&) { EngineClient::cancelRunning(); });
    });
}

const std::string kTimedOutText = "The scan or clean timed out. Try again with fewer folders.";
const std::string kHeldText =
    "The engine did not end when Tidewell stopped it, most likely held by a folder that does not answer. Tidewell no "
    "longer waits for it, so you can scan again.";

// Waits, guarded against a hang, until `reached`.
bool eventually(const std::function<bool()>& reached) {
    const auto guard = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!reached() && std::chrono::steady_clock::now() < guard) std::this_thread::yield();
    return reached();
}

// A FUSE server at `at` that answered once, in a mount namespace of the
// test's own.
std::unique_ptr<testsupport::SilentFilesystem> answeredOnce(const std::string& at) {
    EXPECT_TRUE(testsupport::enterOwnMountNamespace()) << "tests run as root";
    std::filesystem::create_directories(at);
    auto server = std::make_unique<testsupport::SilentFilesystem>(at);
    EXPECT_TRUE(server->answers());
    return server;
}

class EngineRunner : public ::testing::Test {
protected:
    void SetUp() override { EngineClient::setKillGracePeriodForTesting(std::chrono::milliseconds(200)); }
    void TearDown() override { EngineClient::setKillGracePeriodForTesting(std::chrono::seconds(5)); }
    Strings withDb(Strings args) const {
        args.insert(args.begin(), {"--db", bundle.databasePath()});
        return args;
    }
    EngineTestBundle bundle;
    platform::LogCapture log;
};

}  // namespace

TEST(EngineCommands, UnnamedSignalsAndScanDepth) {
    EXPECT_EQ(EngineClient::signalName(7), "signal 7");

    testing_support::ScopedEnvironment home("HOME", "/home/me");
    // Deeper walks for anything that is, or may be, a whole disk; paths are standardised first.
    for (auto [roots, depth] : std::vector<std::pair<Strings, int>>{
             {{"/home/me/Code"}, 8}, {{"/Volumes"}, 8}, {{}, 8}, {{"/home/me/Code", "/Volumes/Disk/Code"}, 12},
             {{"/"}, 12}, {{"/media/me/USB"}, 12}, {{"/run/media/me/USB"}, 12}, {{"/mnt/backup"}, 12},
             {{"/home/me/../.."}, 12}, {{"//media//me/x/"}, 12}, {{"~/../../mnt/x"}, 12}})
        EXPECT_EQ(EngineClient::scanDepth(roots), depth) << (roots.empty() ? "" : roots[0]);

}

TEST(EngineClientDeathTest, NeverRunsOnTheMainThread) {
    // Debug builds stop at once; release builds go on (here: no engine is found).
    EXPECT_DEBUG_DEATH(
        {
            try {
                EngineClient::run({"last"}, 1);
            } catch (const std::exception&) {
            }
        },
        "main thread");
}

// --- Locating the engine and rules ------------------------------------------

TEST_F(EngineRunner, MissingEngineIsBinaryMissingWithNoLogLine) {
    EngineError e = engineErrorOf([] { EngineClient::run({"last", "--json"}, 30); });
    EXPECT_EQ(e.kind(), Kind::binaryMissing);
    EXPECT_EQ(e.message(),
              "tidewell binary not found at Rust engine not found (refused to launch this app as tidewell)");
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(EngineRunner, NonExecutableEngineIsMissing) {
    bundle.dir().write("App/bin/tidewell-engine", "#!/bin/sh\n", 0644);
    EXPECT_EQ(testsupport::asOrdinaryUser([] { return !EngineClient::enginePath(); }), 0);
}

TEST_F(EngineRunner, EngineFoundBesideTheAppThenInResourcesButNeverTheAppItself) {
    bundle.dir().write("App/Resources/tidewell-engine", "#!/bin/sh\n", 0755);
    EXPECT_EQ(EngineClient::enginePath(), bundle.resourceDirectory() + "/tidewell-engine");
    bundle.installEngine("scripted.sh");
    EXPECT_EQ(EngineClient::enginePath(), bundle.enginePath());
    std::filesystem::rename(bundle.resourceDirectory() + "/tidewell-engine", bundle.dir() / "spare");

    // The "application" is the very file that sits where the engine should be,
    platform::Bundle::setMainForTesting(bundle.enginePath());
    EXPECT_FALSE(EngineClient::enginePath());
    // or a hard link to it under another name,
    std::filesystem::create_hard_link(bundle.enginePath(), bundle.dir() / "App/bin/tidewell");
    platform::Bundle::setMainForTesting(bundle.appExecutable());
    EXPECT_FALSE(EngineClient::enginePath());
    // or a path that cannot be looked at and names the candidate ignoring case.
    std::filesystem::remove(bundle.enginePath());
    std::filesystem::rename(bundle.dir() / "spare", bundle.resourceDirectory() + "/tidewell-engine");
    platform::Bundle::setMainForTesting(bundle.dir() / "App/RESOURCES/tidewell-engine", bundle.resourceDirectory());
    EXPECT_FALSE(EngineClient::enginePath());
    EXPECT_EQ(engineErrorOf([] { EngineClient::run({"last"}, 30); }).kind(), Kind::binaryMissing);
}

TEST_F(EngineRunner, RulesBesideTheBundleThenInTheCurrentFolderThenNone) {
    bundle.script("");
    const std::string before = platform::currentDirectory();
    const std::string work = bundle.dir() / "work";
    bundle.dir().write("work/rules/artifacts.yaml", "stacks: []\n");
    auto runIn = [&](const std::string& folder) {
        EXPECT_EQ(::chdir(folder.c_str()), 0);
        auto rules = EngineClient::rulesPath();
        rawRun({"last", "--json"});
        EXPECT_EQ(::chdir(before.c_str()), 0);
        return rules;
    };
    EXPECT_EQ(runIn(work), work + "/rules/artifacts.yaml");
    EXPECT_EQ(bundle.recordedArguments(),
              (Strings{"--rules", work + "/rules/artifacts.yaml", "--db", bundle.databasePath(), "last", "--json"}));
    EXPECT_FALSE(runIn(bundle.dir().path()));
    EXPECT_EQ(bundle.recordedArguments(), withDb({"last", "--json"}));

    bundle.dir().write("App/Resources/rules/artifacts.yaml", "stacks: []\n");
    EXPECT_EQ(runIn(work), bundle.resourceDirectory() + "/rules/artifacts.yaml");
    EXPECT_EQ(bundle.recordedArguments()[1], bundle.resourceDirectory() + "/rules/artifacts.yaml");
}

// --- One run ----------------------------------------------------------------

TEST_F(EngineRunner, TheEngineGetsTheRealHomeAsBothHomesAndTheStartIsLogged) {
    bundle.script("out");
    // $HOME other than the account's home (sudo -E, a container) is the home;
    // a TIDEWELL_HOME inherited from elsewhere never reaches the engine.
    testing_support::ScopedEnvironment home("HOME", "/other/home");
    testing_support::ScopedEnvironment engineHome("TIDEWELL_HOME", "/elsewhere");
    EXPECT_EQ(rawRun({"last", "--json"}), "out");
    EXPECT_EQ(bundle.recordedHomes(), (Strings{"/other/home", "/other/home"}));
    EXPECT_EQ(log.lines(), (Strings{"Tidewell engine start " + bundle.enginePath() + " --db " + bundle.databasePath() +
                                        " last --json",
                                    "Tidewell engine exit 0"}));
}

TEST_F(EngineRunner, ProgressLinesInPiecesWithCrLfBrokenJsonAndNoFinalNewline) {
    bundle.installEngine("progress.sh");
    std::vector<ScanProgressEvent> events;
    EXPECT_EQ(rawRun({"scan"}, 30, [&events](const ScanProgressEvent& e) { events.push_back(e); }), R"({"ok":true})");
    Strings phases;
    for (const auto& e : events) phases.push_back(e.phase);
    // The broken line left no trace; the last line had no newline.
    EXPECT_EQ(phases, (Strings{"start", "project", "skip", "error", "done"}));
    EXPECT_EQ(events[0].message, "Starting");  // joined across two reads
    EXPECT_EQ(events[1].path, "/p/a");         // the carriage return did not break it
    EXPECT_EQ(events[4].roots_done, 2);
    EXPECT_EQ(log.linesStartingWith("Tidewell scan "),
              (Strings{"Tidewell scan skip: Cannot read /p/locked", "Tidewell scan error: Root missing "}));
    EXPECT_TRUE(log.linesStartingWith("Tidewell engine: ").empty());
}

TEST_F(EngineRunner, ExitStatusThreeWithAndWithoutDiagnostics) {
    bundle.script("", "", 3);
    EngineError bare = engineErrorOf([] { EngineClient::run({"clean"}, 30); });
    EXPECT_EQ(bare.kind(), Kind::failed);
    EXPECT_EQ(bare.message(), "Engine exit 3");
    EXPECT_TRUE(log.contains("Tidewell engine failed: exit 3"));
    EXPECT_TRUE(log.linesStartingWith("Tidewell engine stderr:").empty());

    log.clear();
    bundle.script("partial json", "error: database is locked\r\n\nsecond problem", 3);
    EngineError withText = engineErrorOf([] { EngineClient::run({"clean"}, 30); });
    EXPECT_EQ(withText.kind(), Kind::failed);
    EXPECT_EQ(withText.message(), "error: database is locked\nsecond problem");
    EXPECT_TRUE(log.contains("Tidewell engine: error: database is locked"));
    EXPECT_TRUE(log.contains("Tidewell engine stderr:\nerror: database is locked\nsecond problem"));
}

TEST_F(EngineRunner, ManyDiagnosticsAreAllLoggedAndTheFirst2000Kept) {
    bundle.installEngine("diagnostics.sh");
    EngineError e = engineErrorOf([] { EngineClient::run({"scan"}, 60); });
    ASSERT_EQ(e.kind(), Kind::failed);
    EXPECT_EQ(log.linesStartingWith("Tidewell engine: diagnostic ").size(), 2500u);
    std::string expected;
    for (int i = 1; i <= 2000; ++i) expected += (i > 1 ? "\n" : "") + ("diagnostic " + std::to_string(i));
    EXPECT_EQ(e.message(), expected);
}

TEST_F(EngineRunner, HugeOutputIsCutAt32MiBWithoutBlockingTheEngine) {
    bundle.installEngine("big-output.sh");
    std::string out = rawRun({"scan"}, 120);
    EXPECT_EQ(out.size(), 33'554'432u);
    EXPECT_EQ(out.find_first_not_of('x'), std::string::npos);
    // The engine went on to its last line, so it was never stuck on a full pipe.
    EXPECT_TRUE(log.contains("Tidewell engine: wrote everything"));
}

TEST_F(EngineRunner, SigtermFromOutsideOrATimeOutIsTimedOutAndSigkillIsAFailure) {
    bundle.installEngine("sigterm-self.sh");
    EngineError e = engineErrorOf([] { EngineClient::run({"scan"}, 60); });
    EXPECT_EQ(e.kind(), Kind::timedOut);
    EXPECT_EQ(e.message(), kTimedOutText);
    EXPECT_TRUE(log.contains("Tidewell engine failed: signal 15 (SIGTERM)"));
    EXPECT_TRUE(log.contains("Tidewell engine stderr:\nabout to stop"));

    log.clear();
    bundle.installEngine("sleeper.sh");
    EXPECT_EQ(engineErrorOf([] { EngineClient::run({"scan"}, 0.3); }).kind(), Kind::timedOut);
    EXPECT_EQ(log.linesStartingWith("Tidewell engine timeout after "), Strings{"Tidewell engine timeout after 0s — terminating"});
    EXPECT_TRUE(log.contains("Tidewell engine failed: signal 15 (SIGTERM)"));

    bundle.dir().write("App/bin/tidewell-engine", "#!/bin/sh\nkill -KILL $$\n", 0755);
    EngineError killed = engineErrorOf([] { EngineClient::run({"scan"}, 60); });
    EXPECT_EQ(killed.kind(), Kind::failed);
    EXPECT_EQ(killed.message(), "Engine signal 9 (SIGKILL)");
}

TEST_F(EngineRunner, CancelStopsTheRunningEngine) {
    bundle.installEngine("sleeper.sh");
    EngineError e = cancelledScan();
    EXPECT_EQ(e.kind(), Kind::cancelled);
    EXPECT_STREQ(e.what(), "Cancelled");
    EXPECT_TRUE(log.contains("Tidewell engine failed: signal 15 (SIGTERM)"));
    EXPECT_TRUE(log.linesStartingWith("Tidewell engine timeout").empty());
}

TEST_F(EngineRunner, ACancelWhileNothingRunsDoesNotReachTheNextRun) {
    bundle.script("fine");
    EngineClient::cancelRunning();
    EngineClient::cancelRunning();
    EXPECT_EQ(rawRun({"last", "--json"}), "fine");
    // Nor does a cancel that came after the previous run ended.
    bundle.installEngine("sleeper.sh");
    auto token = std::make_shared<EngineCancelToken>();
    EngineError e = engineErrorOf([&] { EngineClient::run({"scan"}, 0.3, {}, token); });
    EXPECT_EQ(e.kind(), Kind::timedOut);  // not cancelled: nobody cancelled it
    EngineClient::cancelRunning();
    bundle.script("again");
    EXPECT_EQ(rawRun({"last", "--json"}), "again");
}

TEST_F(EngineRunner, AnEngineThatCatchesSigtermAndExitsOneHasFailed) {
    bundle.installEngine("trap-exit1.sh");
    // The time-out leaves the script ample room to set its trap first.
    EngineError timedOut = engineErrorOf([] { EngineClient::run({"scan"}, 1.5); });
    EXPECT_EQ(timedOut.kind(), Kind::failed);
    EXPECT_EQ(timedOut.message(), "Engine exit 1");
    EXPECT_EQ(log.linesStartingWith("Tidewell engine timeout after ").size(), 1u);
    EngineError cancelled = cancelledScan();
    EXPECT_EQ(cancelled.kind(), Kind::failed);
    EXPECT_EQ(cancelled.message(), "Engine exit 1");
}

TEST_F(EngineRunner, AnEngineThatIgnoresSigtermIsKilledAfterTheGracePeriod) {
    bundle.installEngine("ignore-term.sh");
    EXPECT_EQ(engineErrorOf([] { EngineClient::run({"scan"}, 1.5); }).kind(), Kind::timedOut);
    EXPECT_TRUE(log.contains("Tidewell engine failed: signal 9 (SIGKILL)"));
    EXPECT_EQ(log.linesStartingWith("Tidewell engine still running ").size(), 1u);
    EXPECT_EQ(cancelledScan().kind(), Kind::cancelled);
}

// An engine waiting in the kernel on a FUSE server that stopped answering
// (the test's own, in a mount namespace of its own) outlives even SIGKILL.
// The run stops waiting for it a grace period later, fails with a sentence a
// user reads, and the next run starts; once it ends, a later run reaps it. A
// process the engine left there holding its output open holds no run either.
TEST_F(EngineRunner, AnEngineThatSigkillDoesNotEndIsNoLongerWaitedFor) {
    const std::string remote = bundle.dir() / "remote";
    const auto server = answeredOnce(remote);
    server->fallSilent();
    bundle.dir().write("App/bin/silent.txt", remote);
    bundle.installEngine("held.sh");
    const auto pidFile = [&] {
        std::string pid;
        std::getline(std::ifstream(bundle.dir() / "App/bin/pid.txt"), pid);
        return pid;
    };

    auto token = std::make_shared<EngineCancelToken>();
    auto held = std::async(std::launch::async, [&] { return engineErrorOf([&] { EngineClient::run({"scan"}, 600, {}, token); }); });
    // Signalled only once the server holds its request: before, a signal would end it.
    ASSERT_TRUE(eventually([&] { return server->holdsRequestFrom(pidFile()) && testsupport::waitsOnServer(pidFile()); }));
    const std::string engine = pidFile();
    token->cancel();
    const EngineError e = held.get();
    EXPECT_EQ(e.kind(), Kind::held);
    EXPECT_EQ(e.message(), kHeldText);
    EXPECT_EQ(log.linesStartingWith("Tidewell engine still running 200ms after SIGKILL"),
              Strings{"Tidewell engine still running 200ms after SIGKILL — no longer waiting for it"});
    EXPECT_TRUE(testsupport::waitsOnServer(engine)) << "it still waits there";

    bundle.dir().write("App/bin/exits.txt", "");
    EXPECT_EQ(rawRun({"last", "--json"}), "done\n") << "its output is all it wrote before it ended";
    EXPECT_TRUE(log.contains("Tidewell engine ended, but its output was still open 200ms later — no longer reading it"));

    server->hangUp();
    ASSERT_TRUE(eventually([&] { return testsupport::procLine(engine, "stat").find(") Z ") != std::string::npos; })) << "it ends once the server is gone";
    bundle.script("again");
    EXPECT_EQ(rawRun({"last", "--json"}), "again");
    EXPECT_EQ(testsupport::procLine(engine, "stat"), "") << "the next run reaped it";
}

// A clean whose move waits in the kernel (the home trash's information folder
// on a share that falls silent as the move's info file is made, once the
// move is recorded) is such an engine. While it waits, no command settles
// the move recorded as pending; once it ends, the next one finds the folder
// in its place and settles the record: nothing is lost.
TEST_F(EngineRunner, ACleanWhoseMoveWaitsInTheKernelFailsAndLosesNothing) {
    std::filesystem::copy_file(std::string(TIDEWELL_BUILT_BUNDLE) + "/bin/tidewell-engine", bundle.enginePath());
    const std::string project = bundle.dir() / "app", trash = bundle.dir() / "data/Trash";
    bundle.dir().write("app/package.json", "{}");
    bundle.dir().write("app/node_modules/a.js", std::string(5000, 'x'));
    std::filesystem::create_directories(trash + "/files");
    const auto server = answeredOnce(trash + "/info");
    server->fallSilentAt(FUSE_TMPFILE);
    const auto pending = [&] {
        return platform::ChildProcess::run({"/usr/bin/sqlite3", {"-readonly", bundle.databasePath(), "SELECT count(*) FROM pending_moves;"}})
            .standardOutput;
    };
    const auto history = [] { return offMainThread([] { return EngineClient::log(10); }); };

    auto token = std::make_shared<EngineCancelToken>();
    auto held = std::async(std::launch::async, [&] {
        return engineErrorOf([&] { EngineClient::clean(project, true, true, token, {project + "/node_modules"}); });
    });
    std::string engine;
    ASSERT_TRUE(eventually([&] {
        engine = testsupport::childNamed("tidewell-engine");
        return server->holdsRequestFrom(engine) && testsupport::waitsOnServer(engine);
    }));
    token->cancel();
    EXPECT_EQ(held.get().message(), kHeldText);
    EXPECT_TRUE(history().empty());
    EXPECT_EQ(pending(), "1\n") << "recorded, and left for the clean that holds the lock";

    server->hangUp();
    ASSERT_TRUE(eventually([&] { return testsupport::procLine(engine, "stat").find(") Z ") != std::string::npos; }));
    EXPECT_TRUE(history().empty()) << "nothing moved";
    EXPECT_EQ(pending(), "0\n");
    EXPECT_TRUE(std::filesystem::exists(project + "/node_modules/a.js"));
    EXPECT_TRUE(std::filesystem::is_empty(trash + "/files"));
}

TEST_F(EngineRunner, ARefusedLaunchPassesTheSystemErrorOn) {
    // An executable the kernel cannot run: no interpreter behind its #! line.
    bundle.dir().write("App/bin/tidewell-engine", "#!/nonexistent/interpreter\n", 0755);
    offMainThread([] {
        try {
            EngineClient::run({"last"}, 30);
            ADD_FAILURE() << "launched";
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code().value(), ENOENT);
        }
    });
    EXPECT_EQ(log.linesStartingWith("Tidewell engine start ").size(), 1u);
    // The failed launch leaves nothing behind for a cancel to act on.
    bundle.script("ok");
    EngineClient::cancelRunning();
    EXPECT_EQ(rawRun({"last"}), "ok");
}

// --- Cancel tokens ------------------------------------------------------------

TEST_F(EngineRunner, ATokenCancelsItsOwnRunAndLaterRunsWithIt) {
    bundle.installEngine("sleeper.sh");
    auto token = std::make_shared<EngineCancelToken>();
    EngineError first = engineErrorOf([&] {
        EngineClient::run({"scan"}, 60, [&token](const ScanProgressEvent&) { token->cancel(); }, token);
    });
    EXPECT_EQ(first.kind(), Kind::cancelled);

    log.clear();
    bundle.script("never");
    EXPECT_EQ(engineErrorOf([&] { EngineClient::run({"last"}, 30, {}, token); }).kind(), Kind::cancelled);
    EXPECT_TRUE(log.lines().empty());  // it never started
    // Another token, or none, is untouched.
    EXPECT_EQ(rawRun({"last"}, 30, {}, std::make_shared<EngineCancelToken>()), "never");
}

TEST_F(EngineRunner, ATokenOfAnEarlierRunDoesNotStopTheNextOne) {
    bundle.script("first");
    auto old = std::make_shared<EngineCancelToken>();
    EXPECT_EQ(rawRun({"last"}, 30, {}, old), "first");
    bundle.installEngine("progress.sh");
    // Cancelling the old generation while a new run is in progress leaves the new run alone.
    int events = 0;
    EXPECT_EQ(rawRun({"scan"}, 30, [&](const ScanProgressEvent&) { old->cancel(), ++events; }), R"({"ok":true})");
    EXPECT_EQ(events, 5);
}

// --- Commands -----------------------------------------------------------------

namespace {
std::string dashboardJson() {
    return R"({"project_count":1,"idle_count":0,"total_bytes":10,"reclaimable_bytes":5,"by_type":[],)"
           R"("projects":[],"global_caches":[],"scanned_at_unix":1796576520,"roots":["/home/me"],"version":2})";
}
}  // namespace

TEST_F(EngineRunner, ScanPassesItsArgumentsAndDecodes) {
    bundle.script(dashboardJson());
    testing_support::ScopedEnvironment home("HOME", "/home/me");
    DashboardDTO d = offMainThread([&] { return EngineClient::scan({"/home/me/Code", "/media/me/Disk"}, 30); });
    EXPECT_EQ(d.roots, Strings{"/home/me"});
    EXPECT_EQ(bundle.recordedArguments(),
              withDb({"scan", "--json", "--progress", "--idle-days", "30", "--max-depth", "12", "--root",
                      "/home/me/Code", "--root", "/media/me/Disk"}));
}

TEST_F(EngineRunner, UndecodableScanOutputLogsAPreview) {
    // The first 500 bytes; a preview that is not UTF-8 ("é" cut at byte 500)
    // names the size of the whole output instead.
    for (auto [out, ending] : std::vector<std::pair<std::string, std::string>>{
             {std::string(600, 'a'), "\n" + std::string(500, 'a')},
             {std::string(499, 'b') + "\xC3\xA9" + std::string(100, 'c'), "\n<601 bytes>"},
             {"", ""}}) {
        log.clear();
        bundle.script(out);
        EXPECT_EQ(engineErrorOf([] { EngineClient::scan({"/x"}, 30); }).kind(), Kind::decode);
        auto lines = log.linesStartingWith("Tidewell scan JSON decode failed: ");
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_TRUE(lines[0].ends_with(ending)) << lines[0];
    }
}

TEST_F(EngineRunner, LastGivesNothingForNullEmptyOrNonUtf8) {
    for (const std::string out : {"null\n", "", "  \n\t null \r\n", "\n\n", "\xff\xfe"}) {
        bundle.script(out);
        EXPECT_FALSE(offMainThread([] { return EngineClient::last(); })) << out;
    }
    EXPECT_EQ(bundle.recordedArguments(), withDb({"last", "--json"}));

    bundle.script("\n" + dashboardJson() + "\n");
    auto d = offMainThread([] { return EngineClient::last(); });
    ASSERT_TRUE(d);
    EXPECT_EQ(d->scanned_at_unix, 1796576520);

    // An undecodable dashboard is the decoder's own error, not logged.
    bundle.script(R"({"project_count":"many"})");
    log.clear();
    offMainThread([] { EXPECT_THROW(EngineClient::last(), DecodeError); });
    EXPECT_TRUE(log.linesStartingWith("Tidewell scan JSON").empty());
}

TEST_F(EngineRunner, LogGivesAnEmptyHistoryForEmptyOutput) {
    bundle.script("");
    EXPECT_TRUE(offMainThread([] { return EngineClient::log(50); }).empty());
    EXPECT_EQ(bundle.recordedArguments(), withDb({"log", "--limit", "50", "--json"}));
    bundle.script(R"([{"id":"op1","timestamp_unix":5,"bytes_reclaimed":7,"dry_run":true}])");
    EXPECT_EQ(offMainThread([] { return EngineClient::log(50); }).size(), 1u);
    bundle.script("{}");
    offMainThread([] { EXPECT_THROW(EngineClient::log(50), DecodeError); });
}

TEST_F(EngineRunner, CleanTakesTheEngineLockAndDecodes) {
    bundle.script(R"({"dry_run":false,"items":[],"bytes_reclaimed":0,"operation_id":"op"})");
    EXPECT_EQ(offMainThread([] { return EngineClient::clean("/p", true, true); }).operation_id, "op");
    EXPECT_EQ(bundle.recordedArguments(), withDb({"clean", "--project", "/p", "--json", "--execute", "--caution"}));

    // While another thread holds the engine lock, clean waits for it.
    std::unique_lock held(engineLock());
    std::atomic<bool> finished{false};
    auto pending = std::async(std::launch::async, [&finished] {
        auto r = EngineClient::clean("/p", false, false);
        finished = true;
        return r;
    });
    EXPECT_EQ(pending.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    EXPECT_FALSE(finished);
    held.unlock();
    EXPECT_EQ(pending.get().operation_id, "op");
    EXPECT_EQ(bundle.recordedArguments(), withDb({"clean", "--project", "/p", "--json"}));

    bundle.script("");
    EngineError e = engineErrorOf([] { EngineClient::clean("/p", false, false); });
    EXPECT_EQ(e.kind(), Kind::decode);
    EXPECT_EQ(e.message(), "Could not decode engine output");
    bundle.script("{\"dry_run\":true}");
    offMainThread([] { EXPECT_THROW(EngineClient::clean("/p", false, false), DecodeError); });
}

TEST_F(EngineRunner, TheDataFolderFollowsUiTestingAndIsNamedEvenWhenItCannotBeMade) {
    bundle.script("");
    platform::setProcessArguments({bundle.appExecutable(), "--ui-testing"});
    EXPECT_EQ(appSupportDirectory(), bundle.dir() / "data/Tidewell-UITests");
    rawRun({"last"});
    EXPECT_EQ(bundle.recordedArguments()[1], bundle.dir() / "data/Tidewell-UITests/tidewell.sqlite");
    EXPECT_TRUE(std::filesystem::is_directory(bundle.dir() / "data/Tidewell-UITests"));
    platform::setProcessArguments({bundle.appExecutable(), "--ui-testing=no"});
    EXPECT_EQ(appSupportDirectory(), bundle.dir() / "data/Tidewell");

    bundle.dir().write("blocked", "a file where the data folder should be");
    testing_support::ScopedEnvironment data("XDG_DATA_HOME", (bundle.dir() / "blocked").c_str());
    EXPECT_EQ(appSupportDirectory(), bundle.dir() / "blocked/Tidewell");
}

// An application that returns from main while an engine it ran waits in the
// kernel (where even SIGKILL leaves it) ends all the same: the engines its
// runs left behind never make its exit wait on one.
TEST_F(EngineRunner, AnApplicationThatReturnsFromMainBesideAHeldEngineEnds) {
    const std::string remote = bundle.dir() / "remote";
    const auto server = answeredOnce(remote);
    server->fallSilent();
    bundle.dir().write("App/bin/silent.txt", remote);
    bundle.installEngine("held.sh");
    std::filesystem::copy_file(TIDEWELL_QUIT_BESIDE_HELD_ENGINE, bundle.appExecutable());
    const auto app = platform::ChildProcess::spawn({bundle.appExecutable(), {}, std::nullopt, {}});
    std::string engine;
    ASSERT_TRUE(eventually([&] {
        std::getline(std::ifstream(bundle.dir() / "App/bin/pid.txt"), engine);
        return server->holdsRequestFrom(engine) && testsupport::waitsOnServer(engine);
    }));
    bundle.dir().write("App/bin/stop.txt", "");
    std::optional<platform::ExitStatus> ended;
    eventually([&] { return (ended = app->tryWait()).has_value(); });
    ASSERT_TRUE(ended) << "the application did not end";
    EXPECT_TRUE(ended->success()) << ended->code;
    EXPECT_EQ(platform::readFileContents(bundle.dir() / "App/bin/quit.txt"), "held");
    EXPECT_TRUE(testsupport::waitsOnServer(engine)) << "the engine outlived it";
    server->hangUp();
}
