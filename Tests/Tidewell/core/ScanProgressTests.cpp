#include <cmath>
#include <thread>

#include "FlowTestSupport.h"
#include "core/AppFiles.h"
#include "core/ScanProgressRules.h"
#include "foundation/Log.h"

using namespace tidewell;
using namespace tidewell::testing;
using namespace std::chrono_literals;

namespace {
ScanProgressEvent event(std::string phase, std::string message, std::optional<std::string> path = std::nullopt,
                        std::int64_t found = 0, std::int64_t done = 0, std::int64_t total = 1) {
    return ScanProgressEvent{std::move(phase), std::move(message), std::move(path), found, done, total};
}

// A store in the state runScan leaves it in, without an engine behind it.
struct ScanProgress : FlowFixture {
    FixedClock time{platform::fromUnixSeconds(1'800'000'000)};
    AppStore store;
    int publications = 0;
    platform::Subscription counter;
    ScanProgress() {
        store.isScanning = true;
        store.scanUI = startSnapshot({"/w"}, std::string("/e"), time.clock.now());
        store.lastScanUIFlush = time.clock.now();
        store.scanGrowth = 0.04;
        counter = store.scanUI.subscribe([this](const ScanSnapshot&) { ++publications; });
    }
};
}  // namespace

TEST(ScanProgressRules, StartSnapshotNamesTheEngineAndQueuesEachRoot) {
    const auto now = platform::fromUnixSeconds(100);
    auto one = startSnapshot({"/home/u/Code"}, std::string("/b/tidewell-engine"), now);
    EXPECT_EQ(std::tie(one.message, one.phase, one.currentPath, one.rootsTotal),
              std::make_tuple("Starting scan of 1 folder", "start", "/home/u/Code", 1));
    EXPECT_EQ(one.startedAt, now);
    EXPECT_EQ(one.log, (std::vector<std::string>{"Engine /b/tidewell-engine", "Queued Code"}));
    auto three = startSnapshot({"/a", "/b", "/c"}, std::string(), now);
    EXPECT_EQ(three.message, "Starting scan of 3 folders");
    EXPECT_EQ(three.log, (std::vector<std::string>{"Engine MISSING", "Queued a", "Queued b", "Queued c"}));
    EXPECT_EQ(startSnapshot({}, std::nullopt, now).currentPath, "");
}

TEST(ScanProgressRules, GrowthFollowsTheWorkedExample) {
    ScanSnapshot s;
    s.rootsTotal = 1;
    s.phase = "walk";
    EXPECT_NEAR(growthTarget(s, inRootProgress("walk", 0)), 0.3344, 1e-9);
    s.phase = "measure";
    EXPECT_NEAR(growthTarget(s, inRootProgress("measure", 0)), 0.7568, 1e-9);
    s.phase = "root_done";
    s.rootsDone = 5;  // more roots done than there are
    EXPECT_NEAR(growthTarget(s, 1.0), 0.88, 1e-9);
    s.phase = "cache";
    EXPECT_EQ(growthTarget(s, 1.0), 0.94);
    s.phase = "done";
    EXPECT_EQ(growthTarget(s, 1.0), 1.0);
    EXPECT_EQ(inRootProgress("mystery", 0.62), 0.62);
    s = {};
    s.phase = "walk";  // no roots at all: no division by zero
    EXPECT_TRUE(std::isfinite(growthTarget(s, 0.38)));
}

TEST_F(ScanProgress, BurstInOnePhaseGivesOneImmediateAndOneDeferredFlush) {
    store.lastScanUIFlush = time.clock.now() - 1s;
    store.enqueueScanProgress(event("start", "Scan started."));
    EXPECT_EQ(publications, 1) << "an old flush lets the first event through at once";
    EXPECT_FALSE(store.scanUIFlushWork.has_value());
    for (int i = 1; i < 100; ++i) store.enqueueScanProgress(event("start", "Step " + std::to_string(i), "/w/p" + std::to_string(i)));
    EXPECT_EQ(publications, 1);
    EXPECT_TRUE(store.scanUIFlushWork.has_value()) << "one deferred flush is armed";
    ASSERT_TRUE(runUntil([&] { return !store.scanUIFlushWork.has_value(); }));
    EXPECT_EQ(publications, 2);
    EXPECT_EQ(std::tie(store.scanUI->message, store.scanUI->currentPath), std::make_tuple("Step 99", "/w/p99"));
    EXPECT_EQ(store.scanUI->log.size(), 40u) << "the rolling log keeps its newest 40 lines";
    EXPECT_EQ(store.scanUI->log.back(), "Step 99 \u2014 p99");
}

TEST_F(ScanProgress, TheProgressHandlerHandsEachEventToTheMainActorInOrderAndOnlyForTheScanItServes) {
    store.scanGeneration = 7;
    store.scanCancelToken = std::make_shared<EngineCancelToken>();
    const auto scan = store.currentScanTask();
    const std::vector<std::string> before = store.scanUI->log;
    std::thread reader([&] {
        AppStore::scanProgressHandler(scan, event("root", "Scanning", std::string("/w"), 0, 0, 1));
        AppStore::scanProgressHandler(scan, event("walk", "Looking", std::string("/w/a"), 0, 0, 1));
        AppStore::scanProgressHandler(scan, event("project", "Found", std::string("/w/a"), 1, 0, 1));
    });
    reader.join();
    EXPECT_EQ(publications, 0) << "nothing is published from the engine's reader thread";
    drain();
    auto expected = before;
    for (const char* line : {"Scanning \u2014 w", "Looking \u2014 a", "Found \u2014 a"}) expected.push_back(line);
    EXPECT_EQ(store.scanUI->log, expected) << "one queued block per event, in order";
    EXPECT_EQ(std::tie(store.scanUI->phase, store.scanUI->projectsFound), std::make_tuple("project", 1));

    // Late events of a scan that was replaced, or of one that was cancelled, change nothing.
    store.scanGeneration = 8;
    store.scanCancelToken = std::make_shared<EngineCancelToken>();
    AppStore::scanProgressHandler(scan, event("measure", "Old scan", std::string("/w/b"), 5, 1, 1));
    const auto current = store.currentScanTask();
    store.scanCancelToken->cancel();
    AppStore::scanProgressHandler(current, event("measure", "Cancelled scan", std::string("/w/c"), 6, 1, 1));
    drain();
    EXPECT_EQ(store.scanUI->log, expected);
    EXPECT_EQ(store.scanUI->phase, "project");
}

TEST_F(ScanProgress, PhaseOrCountChangesShowAtOnceAndCancelTheArmedFlush) {
    store.enqueueScanProgress(event("start", "again"));  // same phase, within 0.15 s
    EXPECT_EQ(publications, 0);
    ASSERT_TRUE(store.scanUIFlushWork.has_value());
    store.enqueueScanProgress(event("walk", "Looking", std::string("/w")));
    EXPECT_EQ(publications, 1);
    EXPECT_FALSE(store.scanUIFlushWork.has_value());
    store.enqueueScanProgress(event("walk", "Found", std::string("/w/a"), 1));
    store.enqueueScanProgress(event("walk", "Found", std::string("/w/a"), 1, 1));
    EXPECT_EQ(std::tie(store.scanUI->projectsFound, store.scanUI->rootsDone), std::make_tuple(1, 1))
        << "a new count is never late";
    time.clock.advance(0.15s);
    store.enqueueScanProgress(event("walk", "Later", std::string("/w/b"), 1, 1));
    EXPECT_EQ(store.scanUI->message, "Later") << "0.15 s after the last flush anything shows";
    drain();
}

TEST_F(ScanProgress, LogLinesAreDeduplicatedAndPathlessEventsLogTheirMessage) {
    store.enqueueScanProgress(event("walk", "Looking", std::string("/w/app")));
    store.enqueueScanProgress(event("walk", "Looking", std::string("/w/app")));
    store.flushScanProgress();
    store.enqueueScanProgress(event("walk", "Looking", std::string("/w/app")));
    store.enqueueScanProgress(event("caches", "Measuring global caches."));
    EXPECT_EQ(store.scanUI->log,
              (std::vector<std::string>{"Engine /e", "Queued w", "Looking \u2014 app", "Measuring global caches."}));
    drain();
}

TEST_F(ScanProgress, ZeroRootsTotalAndGrowthThatNeverFalls) {
    store.enqueueScanProgress(event("measure", "Measuring", std::nullopt, 0, 0, 0));
    EXPECT_EQ(store.scanUI->rootsTotal, 1);
    EXPECT_NEAR(store.scanGrowth.get(), 0.7568, 1e-9);
    store.enqueueScanProgress(event("start", "Restarted?", std::nullopt, 0, 0, 0));
    EXPECT_NEAR(store.scanGrowth.get(), 0.7568, 1e-9) << "growth never decreases";
    store.enqueueScanProgress(event("root_done", "Finished", std::nullopt, 0, 3, 1));
    EXPECT_NEAR(store.scanGrowth.get(), 0.88, 1e-9);
    EXPECT_EQ(store.scanInRootPeak, 1.0);
    drain();
}

TEST_F(ScanProgress, ElapsedTicksOncePerWholeSecondWhileScanning) {
    time.clock.advance(0.6s);
    store.tickElapsed();
    EXPECT_EQ(publications, 0);
    time.clock.advance(0.6s);
    store.tickElapsed();
    EXPECT_EQ(publications, 1);
    EXPECT_NEAR(store.scanUI->elapsed, 1.2, 1e-6);
    store.isScanning = false;
    time.clock.advance(5s);
    store.tickElapsed();
    EXPECT_EQ(publications, 1);
}

TEST_F(ScanProgress, SuccessPublishesTheDashboardAndTheCompletionText) {
    store.startElapsedTimer();
    auto d = dashboard({project("1", "/w/app", 3'000'000, 1'500'000)});
    store.scanSucceeded(d);
    EXPECT_FALSE(store.isScanning.get() || store.elapsedTimer);
    EXPECT_EQ(store.scanGrowth.get(), 1.0);
    const auto text = "Scan finished \u00B7 1 project \u00B7 1.5 MB reclaimable";
    EXPECT_EQ(store.activityLog.get(), text);
    EXPECT_EQ(store.scanUI->message, text);
    EXPECT_EQ(store.scanUI->phase, "done");
    EXPECT_EQ(store.dashboard.get(), d);
}

// Projects with nothing to reclaim never reach the pages, so the text at the
// end of a scan counts only those the dashboard shows, as the text after a
// restart does.
TEST_F(ScanProgress, CompletionTextCountsOnlyTheProjectsTheDashboardShows) {
    store.scanSucceeded(dashboard({project("1", "/w/app", 3'000'000, 1'500'000), project("2", "/w/clean", 40'000, 0),
                                   project("3", "/w/done", 90'000, 0)}));
    const auto text = "Scan finished \u00B7 1 project \u00B7 1.5 MB reclaimable";
    EXPECT_EQ(store.activityLog.get(), text);
    EXPECT_EQ(store.scanUI->message, text);
    EXPECT_EQ(store.dashboard.get()->project_count, 1);
}

// Every root the engine could not scan is named when the scan ends: the
// silent ones as the look would name them, then the engine's own sentence for
// each other one (a share whose walking process ended, an unreadable root).
TEST_F(ScanProgress, EveryRootTheEngineCouldNotScanIsNamedWhenTheScanEnds) {
    const std::string ended = "Cannot scan /s: the process walking it ended (killed by signal 9).";
    const std::string denied = "Cannot scan /u: Permission denied.";
    store.enqueueScanProgress(event("error", "Cannot scan /w: its filesystem does not answer.", "/w"));
    store.enqueueScanProgress(event("error", ended, "/s"));
    store.enqueueScanProgress(event("error", "Cannot scan /w: its filesystem does not answer.", "/w"));
    store.enqueueScanProgress(event("error", "Cannot scan /v: its filesystem stopped answering.", "/v"));
    store.enqueueScanProgress(event("error", denied, "/u"));
    store.enqueueScanProgress(event("error", ended, "/s"));
    store.enqueueScanProgress(event("skip", "Cannot read the Git repository here (bad); its folders are not offered for cleaning.", "/w/g"));
    store.scanSucceeded(dashboard({}));
    EXPECT_EQ(store.lastError.get(), silentFoldersText({"/w", "/v"}) + " " + ended + " " + denied);
    EXPECT_EQ(store.scanUI->phase, "done");

    // The next scan starts with none named.
    store.isScanning = false;
    store.runScan({home.home()});
    ASSERT_TRUE(runUntil([&] { return !store.isScanning.get(); }));
    store.enqueueScanProgress(event("error", ended, "/s"));
    store.scanSucceeded(dashboard({}));
    EXPECT_EQ(store.lastError.get(), ended);
}

TEST_F(ScanProgress, CancelledScanKeepsItsTextAndIsNotFinishedAgain) {
    store.cancelScan();
    EXPECT_FALSE(store.isScanning.get());
    store.scanFailed("cancelled", true);
    EXPECT_EQ(store.lastError.get(), "Scan cancelled.");
    EXPECT_TRUE(store.scanUI->phase != "done" && store.scanGrowth.get() != 1.0);
}

TEST_F(ScanProgress, MissingEngineFailsTheScanWithItsText) {
    store.isScanning = false;
    platform::LogCapture log;
    store.runScan({home.home()});
    EXPECT_TRUE(store.isScanning.get());
    EXPECT_EQ(store.scanUI->log.front(), "Engine MISSING");
    ASSERT_TRUE(store.elapsedTimer);
    EXPECT_EQ(store.elapsedTimer->interval(), std::chrono::duration<double>(1));
    ASSERT_TRUE(runUntil([&] { return !store.isScanning.get(); }));
    EXPECT_TRUE(store.lastError.get().value_or("").starts_with("tidewell binary not found at "));
    EXPECT_EQ(log.linesStartingWith("Tidewell scan error: ").size(), 1u);
    EXPECT_TRUE(log.contains("Tidewell scanning " + home.home()));
}

TEST_F(ScanProgress, RequestedScanDoesNothingWhileAScanOrCleanRuns) {
    ScriptedPanel panel;
    store.startScan();
    store.isScanning = false;
    store.isCleaning = true;
    store.startScan();
    drain();
    EXPECT_TRUE(panel.shown.empty());
    EXPECT_FALSE(store.lastError.get() || store.isScanning.get());
}

namespace {
// An engine that answers a scan with the dashboard kept beside it under its
// root's name, once the test takes the gate away.
struct SlowEngine : FlowFixture {
    SlowEngine() {
        writeScript(home.path("bundle/bin/tidewell-engine"),
                    "root=\n"
                    "while [ $# -gt 0 ]; do [ \"$1\" = --root ] && root=$2; shift; done\n"
                    "here=$(dirname \"$0\")\n"
                    "while [ -f \"$here/gate\" ]; do sleep 0.01 </dev/null >/dev/null 2>&1; done\n"
                    "cat \"$here/$(basename \"$root\").json\"\n");
        writeText(home.path("bundle/bin/gate"), "");
        for (const char* name : {"first", "second"}) {
            auto d = dashboard({project(name, std::string("/w/") + name, 10, 10)});
            d.roots = {std::string("/w/") + name};
            writeText(home.path(std::string("bundle/bin/") + name + ".json"), encode(d));
        }
    }
};
}  // namespace

TEST_F(SlowEngine, ACancelledScanNeverFinishesTheNextOne) {
    AppStore store;
    store.runScan({"/w/first"});
    store.cancelScan();
    store.scanTask().wait();  // the first run's end is now waiting on the main queue
    store.runScan({"/w/second"});
    EXPECT_FALSE(store.lastError.get()) << "the new scan clears the cancel text";
    drain();
    // The first run's cancelled end must not end the second scan early.
    EXPECT_TRUE(store.isScanning.get()) << store.lastError.get().value_or("no error");
    std::filesystem::remove(home.path("bundle/bin/gate"));
    ASSERT_TRUE(runUntil([&] { return !store.isScanning.get(); }));
    store.scanTask().wait();
    drain();
    ASSERT_TRUE(store.dashboard.get());
    EXPECT_EQ(store.dashboard.get()->roots, std::vector<std::string>{"/w/second"});
    EXPECT_EQ(store.scanUI->phase, "done");
    EXPECT_FALSE(store.lastError.get());
}

using ScanCancel = FlowFixture;

TEST_F(ScanCancel, AScanOrARescanCancelledAfterTheEngineAnsweredPublishesNothingAndSavesNothing) {
    // An engine that answers as the cancel reaches it, and ends well.
    writeScript(home.path("bundle/bin/tidewell-engine"),
                "here=$(dirname \"$0\")\n"
                "trap 'cat \"$here/answer.json\"; exit 0' TERM\n"
                "touch \"$here/started\"\n"
                "while :; do sleep 1 </dev/null >/dev/null 2>&1 & wait $!; done\n");
    writeText(home.path("bundle/bin/answer.json"), encode(dashboard({project("new", "/w/new", 10, 10)})));
    const auto saved = dashboard({project("old", "/w/old", 20, 20)});
    saveLastDashboard(saved);
    AppStore store;
    store.applyDashboard(saved);
    store.scanRoots = std::vector<std::string>{folder("code")};
    const std::vector<std::pair<std::string, std::function<void()>>> starts = {
        {"a scan", [&] { store.runScan({folder("code")}); }},
        {"a Rescan", [&] { store.prepareAndRunScan(); }},
    };
    for (const auto& [what, start] : starts) {
        platform::LogCapture log;
        std::filesystem::remove(home.path("bundle/bin/started"));
        start();
        ASSERT_TRUE(runUntil([&] { return std::filesystem::exists(home.path("bundle/bin/started")); })) << what;
        store.cancelScan();
        store.scanTask().wait();
        drain();
        ASSERT_TRUE(log.contains("Tidewell engine exit 0")) << what << ": the engine answered";
        EXPECT_EQ(store.dashboard.get(), saved) << what;
        EXPECT_EQ(readLastDashboardFile(), saved) << what;
        EXPECT_FALSE(store.isScanning.get()) << what;
    }
}

TEST_F(ScanCancel, NeverStopsTheLaunchRestoresEngineRun) {
    // Runs until the test, after its cancel, takes the gate away.
    writeScript(home.path("bundle/bin/tidewell-engine"),
                "here=$(dirname \"$0\")\ntouch \"$here/started\"\n"
                "while [ -f \"$here/gate\" ]; do sleep 0.01 </dev/null >/dev/null 2>&1; done\necho null\n");
    writeText(home.path("bundle/bin/gate"), "");
    AppStore store;
    std::optional<std::string> outcome;
    auto restore = platform::detachTask(platform::TaskPriority::utility, [&] {
        std::lock_guard lock(engineLock());
        try {
            outcome = EngineClient::last(std::make_shared<EngineCancelToken>()) ? "dashboard" : "none";
        } catch (const std::exception& e) {
            outcome = e.what();
        }
    });
    ASSERT_TRUE(runUntil([&] { return std::filesystem::exists(home.path("bundle/bin/started")); }));
    store.isScanning = true;  // a scan the user stops while the restore's `last` runs
    store.cancelScan();
    std::filesystem::remove(home.path("bundle/bin/gate"));
    restore.wait();
    EXPECT_EQ(outcome, "none");
}
