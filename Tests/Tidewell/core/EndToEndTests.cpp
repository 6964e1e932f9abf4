// Scans and cleans through the real engine of the build's bundle, on a
// generated tree of projects, with the Trash and every data folder in a
// scratch home.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "FlowTestSupport.h"
#include "SilentFilesystem.h"
#include "core/AppFiles.h"
#include "core/AppSupport.h"
#include "core/EngineClient.h"
#include "core/FolderAccess.h"
#include "core/FolderLook.h"
#include "core/ModelTexts.h"
#include "foundation/Log.h"

using namespace tidewell;
using namespace tidewell::testing;
namespace fs = std::filesystem;

namespace {

// What a clean of every listed project says of the pinned one among them.
const std::string kGammaLeftOut = "Left out gamma: it is pinned: a .tidewell-keep file keeps it";

void writeFile(const std::string& path, std::size_t bytes) { writeText(path, std::string(bytes, 'x')); }

// Every entry 40 days old, so no project counts as active and all are idle.
void age(const fs::path& root) {
    const auto old = ::time(nullptr) - 40 * 86400;
    const struct timespec times[2] = {{old, 0}, {old, 0}};
    std::vector<fs::path> all;
    for (const auto& e : fs::recursive_directory_iterator(root)) all.push_back(e.path());
    all.push_back(root);
    for (const auto& p : all) ::utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

struct EndToEnd : FlowFixture {
    std::string fixture;
    std::string trash;
    EndToEnd() {
        const char* bundle = std::getenv("TIDEWELL_BUNDLE");
        if (!bundle || !fs::exists(std::string(bundle) + "/bin/tidewell-engine")) return;
        platform::Bundle::setMainForTesting(std::string(bundle) + "/bin/tidewell");
        fixture = home.path("fixture");
        writeFile(fixture + "/alpha/package.json", 2);
        writeFile(fixture + "/alpha/src/index.js", 100);
        writeFile(fixture + "/alpha/node_modules/left/index.js", 40'000);
        writeFile(fixture + "/alpha/node_modules/right/lib/main.js", 60'000);
        writeFile(fixture + "/beta/Cargo.toml", 20);
        writeFile(fixture + "/beta/src/main.rs", 100);
        writeFile(fixture + "/beta/target/debug/beta", 120'000);
        writeFile(fixture + "/gamma/package.json", 2);
        writeFile(fixture + "/gamma/.tidewell-keep", 0);
        writeFile(fixture + "/gamma/node_modules/kept/index.js", 30'000);
        age(fixture);
        trash = home.path("home/.local/share/Trash");
    }
    void SetUp() override {
        ASSERT_FALSE(fixture.empty()) << "the engine was not built";
    }
    std::optional<ProjectDTO> shown(const std::string& name) {
        if (!store_->dashboard.get()) return std::nullopt;
        for (const auto& p : store_->dashboard.get()->projects)
            if (p.name == name) return p;
        return std::nullopt;
    }
    // Scans the fixture through the requested-scan road and waits for the end.
    void scan(AppStore& store, ScriptedPanel& panel) {
        store_ = &store;
        store.scanRoots = {fixture};
        panel.answer(std::vector<std::string>{fixture});
        store.startScan();
        ASSERT_TRUE(runUntil([&] { return store.isScanning.get(); }));
        ASSERT_TRUE(runUntil([&] { return !store.isScanning.get(); }));
        store.scanTask().wait();
        drain();
    }
    AppStore* store_ = nullptr;
};

}  // namespace

TEST_F(EndToEnd, ScanPreviewConfirmAndTheFoldersAreInTheTrash) {
    AppStore store;
    ScriptedPanel panel;
    std::vector<ScanSnapshot> published;
    auto watch = store.scanUI.subscribe([&](const ScanSnapshot& s) { published.push_back(s); });
    store.setLifetimeReclaimedBytes(10'000'000'000 - 1);  // one byte short of an accessory

    scan(store, panel);

    // Folder access: a folder this user can list needs no panel and is remembered.
    EXPECT_TRUE(panel.shown.empty());
    EXPECT_EQ(readBookmarks().count(fixture), 1u);
    // The published progress: a start snapshot, the engine's phases, the end.
    ASSERT_FALSE(published.empty());
    EXPECT_EQ(published.front().phase, "start");
    std::set<std::string> phases;
    for (const auto& s : published) phases.insert(s.phase);
    for (const char* phase : {"start", "project", "root_done", "done"}) EXPECT_TRUE(phases.count(phase)) << phase;
    for (std::size_t i = 1; i < published.size(); ++i)
        EXPECT_FALSE(published[i] == published[i - 1]) << "an unchanged snapshot is never published again";
    const auto& last = store.scanUI.get();
    EXPECT_EQ(last.projectsFound, 3);
    EXPECT_TRUE(last.elapsed >= 0.0 && last.startedAt.has_value());
    EXPECT_NE(std::find(last.log.begin(), last.log.end(), "Found alpha. \u2014 alpha"), last.log.end());
    EXPECT_EQ(store.scanGrowth.get(), 1.0);
    EXPECT_FALSE(store.lastError.get()) << store.lastError.get().value_or("");
    // The dashboard and its file.
    EXPECT_EQ(store.activityLog.get().rfind("Scan finished \u00B7 3 projects \u00B7 ", 0), 0u);
    ASSERT_TRUE(runUntil([] { return readLastDashboardFile().has_value(); }));
    EXPECT_EQ(readLastDashboardFile()->roots, std::vector<std::string>{fixture});
    ASSERT_TRUE(shown("alpha") && shown("beta") && shown("gamma"));
    EXPECT_TRUE(shown("gamma")->pinned);

    // The preview: gamma is pinned and not offered.
    std::vector<std::string> statuses;
    auto statusWatch = store.cleanStatus.subscribe([&](const std::string& s) { statuses.push_back(s); });
    store.requestClean(store.dashboard.get()->projects, true);
    EXPECT_EQ(store.cleanStatus.get(), "Calculating 2 projects\u2026");
    ASSERT_TRUE(runUntil([&] { return !store.isCleaning.get(); }));
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Calculating 2 of 2\u2026"), statuses.end());
    ASSERT_TRUE(store.pendingCleanReport.get()) << store.lastError.get().value_or("");
    const auto preview = *store.pendingCleanReport.get();
    EXPECT_TRUE(preview.dry_run && preview.bytes_reclaimed > 0);
    EXPECT_EQ(preview.items.size(), 2u);
    EXPECT_TRUE(fs::exists(fixture + "/alpha/node_modules")) << "a preview moves nothing";
    EXPECT_EQ(store.cleanConfirmProjects.get().size(), 2u);

    // Confirmation: the folders move to this home's Trash.
    store.confirmClean();
    EXPECT_TRUE(store.isCleaning.get());
    store.confirmClean();  // a second confirmation while the first runs is refused
    ASSERT_TRUE(runUntil([&] { return !store.isCleaning.get(); }));
    store.cleanTask().wait();
    drain();
    // The pinned project the whole list held is named, and nothing else went wrong.
    EXPECT_EQ(store.lastError.get(), kGammaLeftOut);
    EXPECT_FALSE(fs::exists(fixture + "/alpha/node_modules"));
    EXPECT_FALSE(fs::exists(fixture + "/beta/target"));
    EXPECT_TRUE(fs::exists(fixture + "/alpha/src/index.js"));
    EXPECT_TRUE(fs::exists(fixture + "/gamma/node_modules")) << "a pinned project is never touched";
    EXPECT_TRUE(fs::exists(trash + "/files/node_modules"));
    EXPECT_TRUE(fs::exists(trash + "/files/target"));
    EXPECT_TRUE(fs::exists(trash + "/info/node_modules.trashinfo"));

    // The reloaded dashboard and history, the total, the unlock and the prompt.
    EXPECT_TRUE(store.activityLog.get().rfind("Cleaned 2 projects \u00B7 2 items \u00B7 ", 0) == 0)
        << store.activityLog.get();
    EXPECT_TRUE(!shown("alpha") && !shown("beta") && shown("gamma"));
    EXPECT_FALSE(store.cleanConfirmProject.get());
    const auto& history = store.operations.get();
    ASSERT_FALSE(history.empty());
    EXPECT_FALSE(history.front().dry_run);
    const auto moved = totalReclaimedBytes(history);
    EXPECT_EQ(moved, preview.bytes_reclaimed);
    EXPECT_EQ(store.lifetimeReclaimedBytes.get(), 10'000'000'000 - 1 + moved);
    EXPECT_EQ(store.newUnlock.get(), CharacterAccessory::headphones);
    ASSERT_TRUE(store.sharePrompt.get());
    EXPECT_EQ(std::tie(store.sharePrompt.get()->bytes, store.sharePrompt.get()->projectCount),
              std::make_tuple(preview.bytes_reclaimed, 2));
    ASSERT_TRUE(readOperationsFile());
    EXPECT_EQ(readOperationsFile()->front().id, history.front().id);
    EXPECT_FALSE(readLastDashboardFile()->projects.empty());
}

// The banner's words come from the engine's own refusals: a project gone
// since the scan is told in a user's words, never in the engine's.
TEST_F(EndToEnd, ABatchNamesAProjectGoneSinceTheScanInAUsersWords) {
    AppStore store;
    ScriptedPanel panel;
    scan(store, panel);
    ASSERT_TRUE(shown("alpha") && shown("beta"));
    fs::rename(fixture + "/beta", fixture + "/beta-moved");
    store.requestClean({*shown("alpha"), *shown("beta")}, true);
    ASSERT_TRUE(runUntil([&] { return !store.isCleaning.get(); }));
    ASSERT_TRUE(store.pendingCleanReport.get()) << store.lastError.get().value_or("");
    EXPECT_EQ(store.cleanConfirmProjects.get().size(), 1u);
    EXPECT_EQ(store.lastError.get(), "Left out beta: its folder cannot be found");
    store.cancelClean();
}

// Another clean holding the clean lock (this process, here) never leaves the
// confirmation empty: the preview comes, a press of Move to Trash is refused
// after a brief wait with the banner naming the holder, and the preview stays
// for a second press, which moves the folders once the holder has let go.
TEST_F(EndToEnd, ACleanHeldBackByAnotherSaysSoAndKeepsItsPreviewForASecondPress) {
    AppStore store;
    ScriptedPanel panel;
    scan(store, panel);
    ASSERT_TRUE(shown("alpha"));
    struct HeldLock {
        int fd;
        ~HeldLock() { release(); }
        void release() {
            if (fd >= 0) ::close(fd);
            fd = -1;
        }
    } lock{::open((appSupportDirectory() + "/tidewell.sqlite.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)};
    ASSERT_GE(lock.fd, 0);
    ASSERT_EQ(::flock(lock.fd, LOCK_EX), 0);
    // Fail-safes only: the engine waits a few seconds for the lock, no more.
    const auto ended = [&] { return platform::processMainEventsUntil([&] { return !store.isCleaning.get(); }, std::chrono::seconds(120)); };

    store.requestClean({*shown("alpha")}, true);
    ASSERT_TRUE(ended()) << "the preview waited for the lock";
    ASSERT_TRUE(store.pendingCleanReport.get()) << store.lastError.get().value_or("");
    const CleanReportDTO preview = *store.pendingCleanReport.get();
    EXPECT_EQ(preview.items.size(), 1u);

    store.confirmClean();
    ASSERT_TRUE(ended()) << "the clean waited for the lock";
    store.cleanTask().wait();
    drain();
    EXPECT_EQ(store.lastError.get(),
              "Another clean (pid " + std::to_string(::getpid()) + ") is still running; clean again once it has finished.");
    ASSERT_TRUE(store.pendingCleanReport.get());
    EXPECT_EQ(*store.pendingCleanReport.get(), preview) << "the preview stays for a second press";
    EXPECT_TRUE(store.cleanConfirmProject.get());
    EXPECT_TRUE(fs::exists(fixture + "/alpha/node_modules"));

    lock.release();
    store.confirmClean();
    ASSERT_TRUE(ended());
    store.cleanTask().wait();
    drain();
    EXPECT_FALSE(fs::exists(fixture + "/alpha/node_modules"));
    EXPECT_FALSE(store.lastError.get()) << "the second press tells its own outcome";
    EXPECT_FALSE(store.cleanConfirmProject.get());
}

TEST_F(EndToEnd, CancellingAScanPublishesNothingOfIt) {
    AppStore store;
    ScriptedPanel panel;
    store_ = &store;
    store.scanRoots = {fixture};
    saveFolderPermission(fixture, {}, lookAtFolders({fixture}));
    store.startScan();
    ASSERT_TRUE(runUntil([&] { return store.isScanning.get(); }));
    store.cancelScan();
    EXPECT_FALSE(store.isScanning.get());
    EXPECT_EQ(store.lastError.get(), "Scan cancelled.");
    store.scanTask().wait();
    drain();
    drain();
    EXPECT_EQ(store.lastError.get(), "Scan cancelled.") << "the cancelled run's end changes nothing";
    EXPECT_FALSE(store.dashboard.get()) << "a result that raced the cancel is dropped";
    EXPECT_NE(store.scanUI->phase, "done");
    EXPECT_EQ(store.activityLog.get(), "");
}

TEST_F(EndToEnd, CancellingEachCleanPhase) {
    AppStore store;
    ScriptedPanel panel;
    scan(store, panel);
    ASSERT_TRUE(store.dashboard.get());
    const auto projects = store.dashboard.get()->projects;

    // During the dry runs: no error, nothing left to confirm, and the late end is dropped.
    store.requestClean(projects, true);
    ASSERT_TRUE(store.isCleaning.get());
    store.cancelClean();
    store.cleanTask().wait();
    drain();
    EXPECT_FALSE(store.lastError.get() || store.pendingCleanReport.get() || store.cleanConfirmProject.get() ||
                 store.isCleaning.get());
    EXPECT_TRUE(store.cleanConfirmProjects.get().empty());
    EXPECT_EQ(store.cleanStatus.get(), "");

    // During the real clean: the screens stay dismissed, and whatever the
    // engine had already moved is credited, no more and no less.
    store.requestClean(projects, true);
    ASSERT_TRUE(runUntil([&] { return !store.isCleaning.get(); }));
    ASSERT_TRUE(store.pendingCleanReport.get());
    store.confirmClean();
    store.cancelClean();
    EXPECT_FALSE(store.isCleaning.get());
    store.cleanTask().wait();
    drain();
    EXPECT_EQ(store.lastError.get(), kGammaLeftOut);
    EXPECT_FALSE(store.pendingCleanReport.get() || store.sharePrompt.get());
    EXPECT_EQ(store.lifetimeReclaimedBytes.get(), totalReclaimedBytes(store.operations.get()));
    const bool anythingMoved = !fs::exists(fixture + "/alpha/node_modules") || !fs::exists(fixture + "/beta/target");
    EXPECT_EQ(anythingMoved, store.lifetimeReclaimedBytes.get() > 0);
}

// An engine that the cancel's SIGTERM and SIGKILL cannot end (it waits on a
// share that stopped answering, in a mount namespace of the test's own) is
// no longer waited for: the banner says why, and the next scan runs.
TEST_F(EndToEnd, AScanWhoseEngineACancelCannotEndSaysSoAndTheNextScanRuns) {
    ASSERT_TRUE(testsupport::enterOwnMountNamespace()) << "tests run as root";
    const std::string remote = home.path("remote");
    fs::create_directories(remote);
    testsupport::SilentFilesystem server(remote);
    ASSERT_TRUE(server.answers());
    server.fallSilent();
    writeScript(home.path("bundle/bin/tidewell-engine"), "exec stat " + remote + "\n");
    platform::Bundle::setMainForTesting(home.path("bundle/bin/tidewell"));
    EngineClient::setKillGracePeriodForTesting(std::chrono::milliseconds(200));
    AppStore store;
    store.runScan({fixture});
    // Cancelled only once the server holds its request: before, the cancel's signal would end it.
    ASSERT_TRUE(runUntil([&] {
        const std::string engine = testsupport::childNamed("stat");
        return server.holdsRequestFrom(engine) && testsupport::waitsOnServer(engine);
    }));
    store.cancelScan();
    ASSERT_TRUE(runUntil([&] { return store.lastError.get() != std::optional<std::string>("Scan cancelled."); }));
    EXPECT_EQ(store.lastError.get(), EngineError::held().message());

    platform::Bundle::setMainForTesting(std::string(std::getenv("TIDEWELL_BUNDLE")) + "/bin/tidewell");
    store.runScan({fixture});
    ASSERT_TRUE(runUntil([&] { return store.dashboard.get().has_value(); }));
    EngineClient::setKillGracePeriodForTesting(std::chrono::seconds(5));
}

TEST_F(EndToEnd, EngineThatFailsMidScan) {
    // An engine that reports progress, then gives up.
    writeScript(home.path("bundle/bin/tidewell-engine"),
                "echo 'PROGRESS:{\"phase\":\"start\",\"message\":\"Scan started.\",\"projects_found\":0,\"roots_done\":0,\"roots_total\":1}' >&2\n"
                "echo 'PROGRESS:{\"phase\":\"walk\",\"message\":\"Looking for projects\\u2026\",\"path\":\"/w\",\"projects_found\":0,\"roots_done\":0,\"roots_total\":1}' >&2\n"
                "echo 'tidewell-engine: database is corrupt' >&2\n"
                "exit 1\n");
    platform::Bundle::setMainForTesting(home.path("bundle/bin/tidewell"));
    AppStore store;
    platform::LogCapture log;
    store.runScan({fixture});
    ASSERT_TRUE(runUntil([&] { return !store.isScanning.get(); }));
    drain();
    ASSERT_TRUE(store.lastError.get());
    EXPECT_NE(store.lastError.get()->find("database is corrupt"), std::string::npos) << *store.lastError.get();
    EXPECT_EQ(store.scanUI->phase, "walk") << "a failed scan keeps its last snapshot";
    EXPECT_EQ(store.scanGrowth.get(), 1.0);
    EXPECT_FALSE(store.dashboard.get());
    EXPECT_EQ(log.linesStartingWith("Tidewell scan error: ").size(), 1u);
    EXPECT_FALSE(readLastDashboardFile());
}
