#include <ctime>
#include <sstream>

#include "FlowTestSupport.h"
#include "core/AppFiles.h"
#include "core/CleanRules.h"
#include "core/ModelTexts.h"
#include "core/ProtectedStacks.h"
#include "social/ShareMoment.h"

using namespace tidewell;
using namespace tidewell::testing;

namespace {
ArtifactDTO artifact(const std::string& path, std::uint64_t size, std::string safety = "safe") {
    ArtifactDTO a;
    a.absolute_path = path;
    a.relative_path = std::filesystem::path(path).filename().string();
    a.safetyClass = std::move(safety);
    a.size_bytes = size;
    a.exists = true;
    return a;
}
CleanItemDTO item(const std::string& path, std::uint64_t bytes, bool success, std::optional<std::string> error = {}) {
    return CleanItemDTO{path, bytes, "safe", success, std::move(error)};
}
CleanReportDTO report(std::vector<CleanItemDTO> items, std::optional<std::string> project = {}, bool dryRun = false) {
    CleanReportDTO r;
    r.dry_run = dryRun;
    r.project_path = std::move(project);
    r.items = std::move(items);
    for (const auto& i : r.items) r.bytes_reclaimed += i.success ? i.bytes : 0;
    r.operation_id = "op-" + std::to_string(r.items.size());
    return r;
}
ProjectDTO withArtifacts(ProjectDTO p, std::vector<ArtifactDTO> artifacts) {
    p.artifacts = std::move(artifacts);
    p.safe_bytes = p.caution_bytes = p.reclaimable_bytes = 0;
    for (const auto& a : p.artifacts) {
        (a.safetyClass == "safe" ? p.safe_bytes : p.caution_bytes) += a.size_bytes;
        p.reclaimable_bytes += a.size_bytes;
    }
    return p;
}
}  // namespace

TEST(CleanRules, EligibilityFollowsTheCautionFlag) {
    auto p = project("1", "/w/a", 100, 50);
    p.safe_bytes = 0;
    p.caution_bytes = 50;
    EXPECT_FALSE(isEligibleForClean(p, false)) << "only caution bytes, and caution is off";
    EXPECT_TRUE(isEligibleForClean(p, true));
    auto pinned = p;
    pinned.pinned = true;
    auto active = p;
    active.is_active = true;
    auto clean = project("2", "/w/b", 100, 0);
    EXPECT_TRUE(eligibleProjects({pinned, active, clean}, true).empty());
}

TEST(CleanRules, MergedReportAndTexts) {
    auto merged = mergeCleanReports({report({item("/w/a/node_modules", 10, true)}, "/w/a", true),
                                     report({item("/w/b/target", 5, true), item("/w/b/build", 1, false)}, "/w/b", true)});
    EXPECT_EQ(std::tie(merged.dry_run, merged.project_path, merged.bytes_reclaimed, merged.operation_id),
              std::make_tuple(true, std::optional<std::string>(), 15u, "op-2"));
    EXPECT_EQ(merged.items.size(), 3u);
    auto none = mergeCleanReports({});
    EXPECT_TRUE(none.dry_run);
    EXPECT_EQ(none.operation_id.size(), 36u) << "a fresh id";
    EXPECT_EQ(mergeCleanReports({report({}, "/w/a")}).project_path, "/w/a");

    auto api = project("1", "/w/api", 1, 1);
    EXPECT_EQ(calculatingText({api}), "Calculating api\u2026");
    EXPECT_EQ(calculatingText({api, api, api}), "Calculating 3 projects\u2026");
    EXPECT_EQ(calculatingStepText(0, 3), "Calculating 1 of 3\u2026");
    EXPECT_EQ(cleaningStepText(0, 1), "Moving to Trash\u2026");
    EXPECT_EQ(cleaningStepText(1, 3), "Cleaning 2 of 3\u2026");
    EXPECT_EQ(cleanOutcomeText(1, 1, 1'500'000), "Cleaned 1 project \u00B7 1 item \u00B7 1.5 MB to Trash");
    EXPECT_EQ(cleanOutcomeText(2, 3, 0), "Cleaned 2 projects \u00B7 3 items \u00B7 Zero KB to Trash");
}

TEST(CleanRules, ALeftOutProjectIsToldInAUsersWordsNotTheEngines) {
    const std::string engine = "tidewell-engine: project path /w/my app ";
    const std::pair<std::string, std::string> failures[] = {
        {engine + "cannot be found: No such file or directory", "its folder cannot be found"},
        {engine + "cannot be found: Permission denied", "its folder cannot be reached by you"},
        {engine + "cannot be found: Not a directory", "its folder cannot be found (Not a directory)"},
        {engine + "cannot be opened: Permission denied", "its folder cannot be opened by you"},
        {engine + "is not a project (it holds no marker of any stack)", "it is no longer a project: no project file is left in it"},
        // A project folder named by a link is cleaned where the link leads; a link that leads nowhere is told so.
        {engine + "cannot be found: Too many levels of symbolic links", "its folder cannot be found (Too many levels of symbolic links)"},
        {engine + "is not a folder", "it is no longer a folder"},
        {engine + "lies inside an artifact folder of the project /w", "it lies inside an artifact folder of the project /w"},
        // Not about the project: the engine's words without its name, one line after another.
        {"tidewell-engine: database /d/t.sqlite cannot be opened: disk I/O error\ntidewell-engine: another line",
         "database /d/t.sqlite cannot be opened: disk I/O error; another line"},
        {"The scan or clean timed out. Try again with fewer folders.",
         "The scan or clean timed out. Try again with fewer folders."},
    };
    for (const auto& [failure, reason] : failures) EXPECT_EQ(leftOutReason(failure, "/w/my app"), reason) << failure;

    EXPECT_EQ(nothingOfferedReason(report({item("/w/a/node_modules", 5, true), item("/w/a/.cache", 1, false, "x")})),
              std::nullopt);
    EXPECT_EQ(nothingOfferedReason(report({})), "there is nothing left in it to move");
    EXPECT_EQ(nothingOfferedReason(report({item("/w/a/.cache", 1, false,
                                                "/w/a/.cache cannot be moved by this user: there is no write permission "
                                                "on it; left in place")})),
              "nothing in it can be moved by you");
    EXPECT_EQ(nothingOfferedReason(report({item("/w/a/node_modules", 1, false,
                                                "/w/a/node_modules is a mount point, which cannot be moved to the "
                                                "trash; left in place")})),
              "nothing in it can be moved to the Trash (node_modules is a mount point, which cannot be moved to the trash)");
    const auto locked = item("/w/a/.cache", 1, false, "/w/a/.cache cannot be moved by this user: there is no write "
                                                      "permission on it; left in place");
    const auto mounted = item("/w/a/out", 1, false, "/w/a/out is a mount point, which cannot be moved to the trash; left in place");
    EXPECT_EQ(nothingOfferedReason(report({locked, mounted})),
              "nothing in it can be moved to the Trash (.cache cannot be moved by this user: there is no write "
              "permission on it)")
        << "one folder refused for another reason than permissions";

    // Folders left in place are named by their project and their path inside it.
    auto web = project("w", "/w/a", 1, 1);
    web.name = "web";
    const auto acrossDevices =
        item("/w/a/build/out", 1, false, "/w/a/build/out cannot be moved to the trash across filesystems; it was left in place");
    EXPECT_EQ(leftInPlaceReason(acrossDevices, folderInProjectName(acrossDevices, web)),
              "web/build/out cannot be moved to the trash across filesystems");
    EXPECT_EQ(folderInProjectName(item("/w/ab/out", 1, false), web), "/w/ab/out") << "not inside the project";
    EXPECT_EQ(leftInPlaceText({"web/out is a mount point"}), "Left in place: web/out is a mount point");
    EXPECT_EQ(leftInPlaceText({"a/x r", "b/y s"}), "Left in place 2 folders: a/x r \u00B7 b/y s");
}

TEST(CleanRules, ACleanHeldBackByAnotherIsToldInTheApplicationsWords) {
    const std::string waits = " is still running; clean again once it has finished";
    const std::pair<std::string, std::string> failures[] = {
        {"tidewell-engine: another clean (pid 12)" + waits, "Another clean (pid 12)" + waits + "."},
        {"tidewell-engine: another clean" + waits, "Another clean" + waits + "."},
        // Anything else as the engine said it.
        {"tidewell-engine: database /d/t.sqlite cannot be written: disk I/O error",
         "tidewell-engine: database /d/t.sqlite cannot be written: disk I/O error"},
        {"tidewell-engine: another clean (pid 12)" + waits + "\ntidewell-engine: another line",
         "tidewell-engine: another clean (pid 12)" + waits + "\ntidewell-engine: another line"},
        {"The scan or clean timed out. Try again with fewer folders.", "The scan or clean timed out. Try again with fewer folders."},
    };
    for (const auto& [failure, told] : failures) EXPECT_EQ(cleanFailureText(failure), told) << failure;
}

TEST(CleanRules, AStoppedCleanCreditsOnlyWhatThisRunMoved) {
    auto op = [](std::string id, std::int64_t at, std::string path, std::uint64_t bytes, bool dryRun = false) {
        OperationDTO o;
        o.id = std::move(id);
        o.timestamp_unix = at;
        o.project_path = std::move(path);
        o.bytes_reclaimed = bytes;
        o.dry_run = dryRun;
        return o;
    };
    // Five old 1 GB cleans in the log, none of them in the shown history.
    std::vector<OperationDTO> log;
    for (int i = 0; i < 5; ++i) log.push_back(op("old" + std::to_string(i), 100 + i, "/w/a", 1'000'000'000));
    EXPECT_EQ(unaccountedCleanBytes(log, {}, {"/w/a"}, 1000), 0u) << "nothing this run moved";

    log.push_back(op("reported", 1000, "/w/a", 7));           // has its report
    log.push_back(op("stopped", 1001, "/w/b", 40));           // the project the run was in
    log.push_back(op("preview", 1001, "/w/b", 99, true));     // a dry run moves nothing
    log.push_back(op("elsewhere", 1002, "/w/c", 500));        // not one of this run's projects
    log.push_back(op("same-second", 1000, "/w/b", 3));        // written in the second the run started
    auto reported = report({item("/w/a/node_modules", 7, true)}, "/w/a");
    reported.operation_id = "reported";
    EXPECT_EQ(unaccountedCleanBytes(log, {reported}, {"/w/a", "/w/b"}, 1000), 43u);
}

TEST(CleanRules, ReportAppliedToTheDashboardMatchesWholePathsAndKeepsLabels) {
    auto app = withArtifacts(project("a", "/w/app", 500, 0), {artifact("/w/app/node_modules", 300),
                                                              artifact("/w/app/.next", 50)});
    auto app2 = withArtifacts(project("b", "/w/app2", 400, 0, {"node", "rust"}), {artifact("/w/app2/target", 200)});
    auto d = dashboard({app, app2});
    d.by_type = {TypeSummaryDTO{"node", "Node.js", 2, 900, 550}, TypeSummaryDTO{"rust", "Rust", 1, 400, 200}};

    // No project path: "/w/app2/target" is inside /w/app2, not inside /w/app.
    auto next = dashboardAfterClean(d, report({item("/w/app2/target", 200, true)}));
    ASSERT_TRUE(next);
    const auto& changed = next->projects.back();
    EXPECT_EQ(changed.path, "/w/app2");
    EXPECT_TRUE(changed.artifacts.empty());
    EXPECT_EQ(std::tie(changed.reclaimable_bytes, changed.total_bytes), std::make_tuple(0u, 200u));
    EXPECT_EQ(next->projects.front(), app) << "the other project is untouched";
    EXPECT_EQ(std::tie(next->reclaimable_bytes, next->total_bytes), std::make_tuple(350u, 700u));
    ASSERT_EQ(next->by_type.size(), 2u);
    EXPECT_EQ(next->by_type[0].label, "Node.js") << "the engine's labels stay";
    EXPECT_EQ(next->by_type[1].label, "Rust");
    EXPECT_EQ(next->by_type[1].reclaimable_bytes, 0u);

    EXPECT_FALSE(dashboardAfterClean(d, report({item("/w/app2/target", 200, false)})));
    EXPECT_FALSE(dashboardAfterClean(d, report({item("/elsewhere/x", 1, true)})));
    EXPECT_TRUE(isPathInside("/w/app", "/w/app"));
    EXPECT_FALSE(isPathInside("/w/app2", "/w/app"));
}

TEST(CleanRules, AfterACleanANestedProjectIsCountedOnceInTheTotals) {
    // /w/app's 1000 bytes already hold /w/app/web and its 400.
    auto outer = withArtifacts(project("a", "/w/app", 1000, 0), {artifact("/w/app/node_modules", 300)});
    auto inner = withArtifacts(project("b", "/w/app/web", 400, 0), {artifact("/w/app/web/dist", 100)});
    auto next = dashboardAfterClean(dashboard({outer, inner}), report({item("/w/app/web/dist", 100, true)}, "/w/app/web"));
    ASSERT_TRUE(next);
    // The moved folder was in /w/app's bytes too.
    EXPECT_EQ(std::tie(next->total_bytes, next->reclaimable_bytes), std::make_tuple(900u, 300u));
    ASSERT_EQ(next->by_type.size(), 1u);
    EXPECT_EQ(std::tie(next->by_type[0].total_bytes, next->by_type[0].project_count), std::make_tuple(900u, 2));

    // A Node package inside a Python project counts in Node's size, as its folders count in Node's reclaimable bytes.
    auto mono = project("m", "/w/mono", 1700, 0, {"python"});
    auto web = withArtifacts(project("w", "/w/mono/web", 1000, 0), {artifact("/w/mono/web/node_modules", 600), artifact("/w/mono/web/dist", 100)});
    auto y1 = withArtifacts(project("y", "/w/y1", 1000, 0), {artifact("/w/y1/node_modules", 600)});
    next = dashboardAfterClean(dashboard({mono, web, y1}), report({item("/w/mono/web/node_modules", 600, true)}, "/w/mono/web"));
    ASSERT_TRUE(next);
    std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> stacks;  // size, reclaimable
    for (const auto& s : next->by_type) stacks[s.project_type] = {s.total_bytes, s.reclaimable_bytes};
    EXPECT_EQ(stacks["node"], std::make_pair(std::uint64_t{1400}, std::uint64_t{700}));
    EXPECT_EQ(stacks["python"], std::make_pair(std::uint64_t{1100}, std::uint64_t{0}));
    EXPECT_EQ(next->total_bytes, 2100u);
}

namespace {
struct CleanFinish : FlowFixture {
    AppStore store;
    CleanFinish() {
        auto app = withArtifacts(project("a", "/w/app", 5'000'000'000, 0),
                                 {artifact("/w/app/node_modules", 1'500'000)});
        store.applyDashboard(dashboard({app}));
        store.cleanConfirmProject = app;
        store.cleanConfirmProjects = {app};
        store.isCleaning = true;
        store.cleanStatus = "Moving to Trash\u2026";
    }
};
}  // namespace

TEST_F(CleanFinish, NothingMovedKeepsTheConfirmationWithTheRealReport) {
    store.finishClean({report({item("/w/app/node_modules", 1'500'000, false)}, "/w/app")}, 0, std::nullopt, {});
    EXPECT_EQ(store.lastError.get(), "Could not move those folders to Trash.");
    EXPECT_FALSE(store.isCleaning.get());
    EXPECT_TRUE(store.cleanConfirmProject.get().has_value());
    ASSERT_TRUE(store.pendingCleanReport.get());
    EXPECT_FALSE(store.pendingCleanReport.get()->items.front().success);
    EXPECT_EQ(store.lifetimeReclaimedBytes.get(), 0u);
    EXPECT_FALSE(store.sharePrompt.get());
}

TEST_F(CleanFinish, OneMovedItemWithoutAFreshDashboardUpdatesEverything) {
    bool synced = false;
    socialHooks().leaderboardSync = [&](const CharacterProfile&, std::uint64_t bytes, double delay) {
        synced = bytes == 1'500'000 && delay == 2.0;
    };
    auto profile = store.character.get();
    profile.leaderboardOptIn = true;
    store.setCharacter(profile);
    store.finishClean({report({item("/w/app/node_modules", 1'500'000, true)}, "/w/app")}, 1, std::nullopt, {});
    EXPECT_EQ(store.activityLog.get(), "Cleaned 1 project \u00B7 1 item \u00B7 1.5 MB to Trash");
    EXPECT_FALSE(store.lastError.get());
    EXPECT_FALSE(store.cleanConfirmProject.get());
    EXPECT_TRUE(store.dashboard.get()->projects.empty()) << "nothing left to reclaim, so the project is not shown";
    EXPECT_EQ(home.defaults().integerValue(keys::lifetimeBytes), 1'500'000);
    ASSERT_TRUE(store.characterMeal.get());
    EXPECT_EQ(store.characterMeal.get()->bytes, 1'500'000u);
    EXPECT_TRUE(synced);
    ASSERT_TRUE(store.sharePrompt.get());
    EXPECT_EQ(std::tie(store.sharePrompt.get()->kind, store.sharePrompt.get()->bytes),
              std::make_tuple(ShareMoment::Kind::clean, 1'500'000u));
}

TEST_F(CleanFinish, PartialFailureReportsBothTheOutcomeAndTheFirstError) {
    store.finishClean({report({item("/w/app/node_modules", 1'000, true), item("/w/app/.next", 5, false, "busy")},
                              "/w/app")},
                      1, std::nullopt, {});
    EXPECT_EQ(store.activityLog.get(), "Cleaned 1 project \u00B7 1 item \u00B7 1 KB to Trash");
    EXPECT_EQ(store.lastError.get(), "busy");
}

TEST_F(CleanFinish, MilestoneRouteUsesTheLifetimeTotalWhenTheHistoryIsShorter) {
    // The history shows less than was ever reclaimed (older entries rolled off).
    store.setLifetimeReclaimedBytes(900'000'000);
    seedShareMilestone(0);
    bool captured = false;
    socialHooks().findMainWindow = [] { return true; };
    socialHooks().captureMainWindowImage = [&]() -> std::optional<QImage> {
        captured = true;
        return QImage(4, 4, QImage::Format_ARGB32);
    };
    int broughtUp = 0;
    shellHooks().bringUpMainWindow = [&] { ++broughtUp; };
    store.selectedSection = AppSection::activity;
    store.finishClean({report({item("/w/app/node_modules", 200'000'000, true)}, "/w/app")}, 1, std::nullopt,
                      {operation("1", 1, 200'000'000)});
    EXPECT_EQ(store.lifetimeReclaimedBytes.get(), 1'100'000'000u);
    EXPECT_FALSE(store.sharePrompt.get()) << "a milestone replaces the prompt";
    ASSERT_TRUE(runUntil([&] { return store.shareSheet.get().has_value(); }));
    EXPECT_EQ(broughtUp, 1);
    EXPECT_EQ(store.selectedSection.get(), AppSection::dashboard);
    EXPECT_TRUE(captured && store.shareWindowImage.has_value());
    EXPECT_EQ(std::tie(store.shareSheet.get()->kind, store.shareSheet.get()->bytes),
              std::make_tuple(ShareMoment::Kind::milestone, 1'000'000'000u));
}

TEST_F(CleanFinish, MilestoneWithoutAMainWindowGetsTheOrdinaryPromptAndShareTotalNeverShrinks) {
    seedShareMilestone(0);
    store.setLifetimeReclaimedBytes(5'000'000'000);
    store.finishClean({report({item("/w/app/node_modules", 1'500'000, true)}, "/w/app")}, 1, std::nullopt,
                      {operation("1", 1, 1'500'000, false, std::string("/w/app")),
                       operation("2", 1, 9, true, std::string("/w/other"))});
    ASSERT_TRUE(store.sharePrompt.get());
    EXPECT_EQ(store.sharePrompt.get()->kind, ShareMoment::Kind::clean);

    store.shareTotal();
    EXPECT_FALSE(store.sharePrompt.get());
    ASSERT_TRUE(runUntil([&] { return store.shareSheet.get().has_value(); }));
    const auto& sheet = *store.shareSheet.get();
    EXPECT_EQ(std::tie(sheet.kind, sheet.bytes, sheet.projectCount),
              std::make_tuple(ShareMoment::Kind::total, 5'001'500'000u, 1))
        << "the lifetime total, larger than the history's";
}

TEST_F(CleanFinish, RequestsThatCannotStart) {
    store.isCleaning = false;
    auto pinned = project("p", "/w/p", 10, 10);
    pinned.pinned = true;
    store.requestClean({pinned}, true);
    EXPECT_EQ(store.lastError.get(), std::string(kNoProjectsReadyText));
    EXPECT_FALSE(store.isCleaning.get());

    store.applyDashboard(dashboard({}));
    store.cleanAll();
    EXPECT_EQ(store.lastError.get(), std::string(kNothingToCleanText));

    store.lastError = std::nullopt;
    store.isScanning = true;
    store.requestClean({project("q", "/w/q", 10, 10)}, true);
    EXPECT_FALSE(store.isCleaning.get());
    EXPECT_FALSE(store.lastError.get());

    store.isScanning = false;
    store.pendingCleanReport = std::nullopt;
    store.confirmClean();
    EXPECT_FALSE(store.isCleaning.get()) << "no preview, no clean";
}

using CleanCancel = FlowFixture;

TEST_F(CleanCancel, CancelBetweenProjectsRunsNoFurtherEngine) {
    writeScript(home.path("bundle/bin/tidewell-engine"), "here=$(dirname \"$0\")\n"
                                                         "echo run >> \"$here/runs.txt\"\n"
                                                         // Runs until stopped, however late the cancel comes.
                                                         "while :; do sleep 0.05 </dev/null >/dev/null 2>&1; done\n");
    AppStore store;
    store.requestClean({project("a", "/w/a", 10, 10), project("b", "/w/b", 10, 10)}, true);
    // The shell makes the file before it writes the line: wait for the line.
    ASSERT_TRUE(runUntil([&] { return platform::readFileContents(home.path("bundle/bin/runs.txt")) == "run\n"; }));
    store.cancelClean();
    store.cleanTask().wait();
    drain();
    EXPECT_EQ(platform::readFileContents(home.path("bundle/bin/runs.txt")), "run\n") << "the second project never ran";
    EXPECT_FALSE(store.pendingCleanReport.get() || store.lastError.get() || store.isCleaning.get());
}

namespace {
// A fake engine for clean runs that answers as the real one does: records each
// run's arguments as one line, refuses a project folder named "broken" (gone
// since the scan), and otherwise reports one node_modules per project (moved
// under --execute), with a .cache this user cannot move in a project named
// "mixed" or alone in one named "locked"; nothing at all in one named
// "emptied"; in one named "flaky" a node_modules that the preview offers
// and the real clean cannot move; in one named "twice" a mount point "out"
// beside both; in one named "refused" the .cache and "out" alone; and in one
// named "outer" Python caches inside its nested projects "web" and "tools"
// beside its node_modules.
struct CleanEngine : FlowFixture {
    CleanEngine() {
        writeScript(home.path("bundle/bin/tidewell-engine"), R"(here=$(dirname "$0")
echo "$*" >> "$here/runs.txt"
dry=true
while [ $# -gt 0 ]; do
  case "$1" in --project) p=$2;; --execute) dry=false;; esac; shift
done
moved='{"path":"'$p'/node_modules","bytes":5,"class":"caution","success":true}'
stuck='{"path":"'$p'/.cache","bytes":7,"class":"safe","success":false,"error":"'$p'/.cache cannot be moved by this user: there is no write permission on it; left in place"}'
mount='{"path":"'$p'/out","bytes":3,"class":"safe","success":false,"error":"'$p'/out is a mount point, which cannot be moved to the trash; left in place"}'
bytes=5
case "$p" in
  */broken) echo "tidewell-engine: project path $p cannot be found: No such file or directory" >&2; exit 1;;
  */mixed) items="$moved,$stuck";;
  */locked) items="$stuck"; bytes=0;;
  */emptied) items=""; bytes=0;;
  */twice) items="$moved,$stuck,$mount";;
  */refused) items="$stuck,$mount"; bytes=0;;
  */flaky) if [ $dry = true ]; then items="$moved"; else items="$stuck"; bytes=0; fi;;
  */outer) items="$moved"',{"path":"'$p'/web/__pycache__","bytes":2,"class":"safe","success":true},{"path":"'$p'/tools/lib/__pycache__","bytes":2,"class":"safe","success":true}'; bytes=9;;
  *) items="$moved";;
esac
printf '{"dry_run":%s,"project_path":"%s","items":[%s],"bytes_reclaimed":%s,"operation_id":"op"}' "$dry" "$p" "$items" "$bytes"
)");
    }
    std::vector<std::string> runs() {
        std::vector<std::string> out;
        std::istringstream in(platform::readFileContents(home.path("bundle/bin/runs.txt")).value_or(""));
        for (std::string line; std::getline(in, line);)
            if (auto at = line.find(" clean "); at != std::string::npos) out.push_back(line.substr(at + 1));
        return out;
    }
    void waitForIdle(AppStore& store) {
        ASSERT_TRUE(runUntil([&] { return !store.isCleaning.get(); }));
        store.cleanTask().wait();
        drain();
    }
};
const std::string kLockedCache = "/w/locked/.cache cannot be moved by this user: there is no write permission on it; left in place";
}  // namespace

TEST_F(CleanEngine, AProjectWhoseDryRunFailsIsLeftOutOfABatchAndTheCleanMovesOnlyThePreview) {
    AppStore store;
    store.requestClean(
        {project("a", "/w/a", 10, 10), project("x", "/w/broken", 10, 10), project("c", "/w/mixed", 10, 10)}, true);
    waitForIdle(store);
    ASSERT_TRUE(store.pendingCleanReport.get()) << store.lastError.get().value_or("");
    EXPECT_EQ(store.pendingCleanReport.get()->items.size(), 2u) << "only what can move is listed";
    ASSERT_EQ(store.cleanConfirmProjects.get().size(), 2u);
    EXPECT_EQ(store.cleanConfirmProjects.get()[1].path, "/w/mixed");
    EXPECT_EQ(store.lastError.get(), "Left out broken: its folder cannot be found. Left in place: mixed/.cache cannot be "
                                     "moved by this user: there is no write permission on it");

    store.confirmClean();
    waitForIdle(store);
    const auto all = runs();
    ASSERT_EQ(all.size(), 5u) << "three dry runs, two cleans";
    EXPECT_EQ(all[3], "clean --project /w/a --json --execute --caution --artifact /w/a/node_modules");
    EXPECT_EQ(all[4], "clean --project /w/mixed --json --execute --caution --artifact /w/mixed/node_modules");
}

TEST_F(CleanEngine, ARequestWithNothingThatCanMoveSaysWhyAndOffersNothing) {
    const std::vector<std::pair<ProjectDTO, std::string>> cases = {
        {project("l", "/w/locked", 10, 10), kLockedCache},
        // One project: the request ends with the engine's own text.
        {project("x", "/w/broken", 10, 10), "tidewell-engine: project path /w/broken cannot be found: No such file or directory"},
    };
    AppStore store;
    for (const auto& [single, error] : cases) {
        store.requestClean({single}, true);
        waitForIdle(store);
        EXPECT_EQ(store.lastError.get(), error);
        EXPECT_FALSE(store.cleanConfirmProject.get() || store.pendingCleanReport.get());
    }

    store.requestClean({project("x", "/w/broken", 10, 10), project("y", "/w/broken", 10, 10)}, true);
    waitForIdle(store);
    EXPECT_EQ(store.lastError.get(), "Left out 2 projects: broken: its folder cannot be found \u00B7 "
                                     "broken: its folder cannot be found");
    EXPECT_FALSE(store.cleanConfirmProject.get() || store.pendingCleanReport.get());
}

TEST_F(CleanEngine, ABatchNamesEveryProjectItLeavesOutWithItsReasonInTheOneBanner) {
    AppStore store;
    const auto a = project("a", "/w/a", 10, 10), c = project("c", "/w/c", 10, 10);
    store.requestClean({a, project("l", "/w/locked", 10, 10), project("x", "/w/broken", 10, 10),
                        project("e", "/w/emptied", 10, 10)},
                       true);
    waitForIdle(store);
    ASSERT_TRUE(store.pendingCleanReport.get()) << store.lastError.get().value_or("");
    ASSERT_EQ(store.cleanConfirmProjects.get().size(), 1u);
    EXPECT_EQ(store.cleanConfirmProjects.get()[0].path, "/w/a");
    EXPECT_EQ(store.lastError.get(), "Left out 3 projects: locked: nothing in it can be moved by you \u00B7 "
                                     "broken: its folder cannot be found \u00B7 "
                                     "emptied: there is nothing left in it to move");

    // One project this user cannot move among movable ones.
    store.cancelClean();
    store.requestClean({a, project("l", "/w/locked", 10, 10), c}, true);
    waitForIdle(store);
    ASSERT_EQ(store.cleanConfirmProjects.get().size(), 2u);
    EXPECT_EQ(store.lastError.get(), "Left out locked: nothing in it can be moved by you");

    // A batch in which no dry run lists anything has nothing to move.
    store.cancelClean();
    store.requestClean({project("e", "/w/emptied", 10, 10), project("f", "/w/f/emptied", 10, 10)}, true);
    waitForIdle(store);
    EXPECT_EQ(store.lastError.get(), std::string(kNothingToMoveText));

    // Projects the request passes over before any preview are named too, in
    // the order asked, beside those their previews leave out.
    auto busy = project("b", "/w/busy", 10, 10);
    busy.is_active = true;
    auto kept = project("k", "/w/kept", 10, 10);
    kept.pinned = true;
    store.cancelClean();
    store.requestClean({busy, a, project("l", "/w/locked", 10, 10), kept}, true);
    waitForIdle(store);
    ASSERT_EQ(store.cleanConfirmProjects.get().size(), 1u);
    EXPECT_EQ(store.lastError.get(),
              "Left out 3 projects: busy: it is active: it changed in the last day, or a program is working in it \u00B7 "
              "locked: nothing in it can be moved by you \u00B7 kept: it is pinned: a .tidewell-keep file keeps it");

    // Even when nothing is left to confirm, each is named.
    store.cancelClean();
    store.requestClean({busy, project("e", "/w/emptied", 10, 10)}, true);
    waitForIdle(store);
    EXPECT_FALSE(store.pendingCleanReport.get());
    EXPECT_EQ(store.lastError.get(), "Left out 2 projects: busy: it is active: it changed in the last day, or a program "
                                     "is working in it \u00B7 emptied: there is nothing left in it to move");
}

TEST_F(CleanEngine, ABatchNamesEveryFolderItLeavesInPlaceAndEveryProjectWhenItsOnlyPreviewFails) {
    AppStore store;
    store.requestClean({project("m", "/w/mixed", 10, 10), project("t", "/w/twice", 10, 10), project("a", "/w/a", 10, 10)},
                       true);
    waitForIdle(store);
    ASSERT_EQ(store.cleanConfirmProjects.get().size(), 3u) << store.lastError.get().value_or("");
    EXPECT_EQ(store.lastError.get(),
              "Left in place 3 folders: mixed/.cache cannot be moved by this user: there is no write permission on it "
              "\u00B7 twice/.cache cannot be moved by this user: there is no write permission on it \u00B7 twice/out is "
              "a mount point, which cannot be moved to the trash");

    // Several projects asked for, one of them eligible, and its preview fails:
    // every project is named, none by the engine's raw line.
    auto busy = project("b", "/w/busy", 10, 10);
    busy.is_active = true;
    store.cancelClean();
    store.requestClean({busy, project("x", "/w/broken", 10, 10)}, true);
    waitForIdle(store);
    EXPECT_FALSE(store.cleanConfirmProject.get() || store.pendingCleanReport.get());
    EXPECT_EQ(store.lastError.get(), "Left out 2 projects: busy: it is active: it changed in the last day, or a program "
                                     "is working in it \u00B7 broken: its folder cannot be found");

    // A preview that offers nothing, one folder refused for permissions and
    // another for another reason: not that nothing can be moved by you.
    store.requestClean({project("r", "/w/refused", 10, 10), project("a", "/w/a", 10, 10)}, true);
    waitForIdle(store);
    EXPECT_EQ(store.lastError.get(), "Left out refused: nothing in it can be moved to the Trash (.cache cannot be moved "
                                     "by this user: there is no write permission on it)");
}

TEST_F(CleanEngine, EveryCleanOfManyProjectsLeavesOutThoseOfAProtectedStackAndNamesThem) {
    home.defaults().setString(protectedStacksKey, "go,node");
    auto web = project("w", "/w/web", 30, 30, {"vite", "node"}, true);
    auto api = project("a", "/w/a", 10, 10, {"rust"}, true);
    auto tool = project("t", "/w/tool", 20, 20, {"go"}, true);
    auto d = dashboard({web, tool, api});
    d.by_type = {TypeSummaryDTO{"node", "Node / JS", 1, 30, 30}, TypeSummaryDTO{"rust", "Rust", 1, 10, 10}};
    AppStore store;
    store.automaticCleanEnabled = true;
    store.applyDashboard(d);
    const std::vector<std::pair<std::string, std::function<void()>>> paths = {
        {"Clean All or a selection's Clean",
         [&] { store.requestClean({web, tool, api}, true, AppStore::CleanScope::batch); }},
        {"the popover's Clean", [&] { store.cleanAll(); }},
        {"the end-of-day clean", [&] { store.automaticClean(); }},
    };
    for (const auto& [path, clean] : paths) {
        clean();
        waitForIdle(store);
        ASSERT_EQ(store.cleanConfirmProjects.get().size(), 1u) << path;
        EXPECT_EQ(store.cleanConfirmProjects.get()[0].path, "/w/a") << path;
        EXPECT_EQ(store.lastError.get(), "Left out 2 projects: web: its stack Node / JS is protected · tool: its "
                                         "stack go is protected")
            << path;
        store.cancelClean();
    }
    // A project's own Clean asks for that one project by name.
    store.requestClean({web}, true);
    waitForIdle(store);
    ASSERT_EQ(store.cleanConfirmProjects.get().size(), 1u);
    EXPECT_EQ(store.cleanConfirmProjects.get()[0].path, "/w/web");
    store.cancelClean();
    // Nothing left once they are left out: each is still named.
    store.requestClean({web}, true, AppStore::CleanScope::batch);
    EXPECT_FALSE(store.cleanConfirmProject.get());
    EXPECT_EQ(store.lastError.get(), "Left out web: its stack Node / JS is protected");
}

// The popover's Clean hands active and pinned projects with something to
// move to the request too, so the banner names each one it passes over, with
// only those and protected ones left as beside a project it cleans.
TEST_F(CleanEngine, ThePopoversCleanNamesTheActiveAndPinnedProjectsItPassesOver) {
    home.defaults().setString(protectedStacksKey, "go");
    const auto active = [](std::string id, std::string path, std::uint64_t bytes) {
        auto p = project(std::move(id), std::move(path), bytes, bytes);
        p.is_active = true;
        return p;
    };
    auto kept = project("k", "/w/kept", 40, 40);
    kept.pinned = true;
    const auto tool = project("t", "/w/tool", 50, 50, {"go"});
    const auto empty = active("e", "/w/empty", 0);
    const std::string activeReason = "it is active: it changed in the last day, or a program is working in it";
    struct Case { std::vector<ProjectDTO> projects; std::string told; std::vector<std::string> previewed; };
    const Case cases[] = {
        {{active("1", "/w/one", 10), tool, active("2", "/w/two", 30), empty, active("3", "/w/three", 20)},
         "Left out 4 projects: tool: its stack go is protected \u00B7 two: " + activeReason + " \u00B7 three: " +
             activeReason + " \u00B7 one: " + activeReason,
         {}},
        {{active("1", "/w/one", 10), kept, project("a", "/w/a", 20, 20)},
         "Left out 2 projects: kept: it is pinned: a .tidewell-keep file keeps it \u00B7 one: " + activeReason,
         {"/w/a"}},
        {{active("1", "/w/one", 10), kept}, std::string(kNothingToCleanText), {}},
    };
    for (const auto& c : cases) {
        AppStore store;
        store.applyDashboard(dashboard(c.projects));
        store.cleanAll();
        waitForIdle(store);
        std::vector<std::string> previewed;
        for (const auto& p : store.cleanConfirmProjects.get()) previewed.push_back(p.path);
        EXPECT_EQ(store.lastError.get(), c.told);
        EXPECT_EQ(previewed, c.previewed) << c.told;
        store.cancelClean();
    }
}

TEST_F(CleanEngine, AFolderInsideANestedProjectOfAProtectedStackStaysWithThatProject) {
    home.defaults().setString(protectedStacksKey, "node");
    auto outer = project("o", "/w/outer", 30, 30, {"python"}, true);
    auto web = project("w", "/w/outer/web", 10, 10, {"node"}, true);
    // With nothing of its own to reclaim, the shown dashboard leaves it out; it is still protected.
    auto tools = project("t", "/w/outer/tools", 5, 0, {"node"});
    AppStore store;
    store.applyDashboard(dashboard({outer, web, tools}));
    const std::vector<std::tuple<std::string, std::function<void()>, std::string>> paths = {
        {"Clean All", [&] { store.cleanAll(); },
         "Left out 2 projects: tools: its stack node is protected \u00B7 web: its stack node is protected"},
        {"a selection's Clean", [&] { store.requestClean({outer}, true, AppStore::CleanScope::batch); },
         "Left out 2 projects: web: its stack node is protected \u00B7 tools: its stack node is protected"},
    };
    // This engine gives no dashboard after a clean: the second request starts
    // from the one worked out from the first clean's report, which must still
    // know tools.
    for (const auto& [path, clean, told] : paths) {
        clean();
        waitForIdle(store);
        ASSERT_TRUE(store.pendingCleanReport.get()) << path;
        ASSERT_EQ(store.pendingCleanReport.get()->items.size(), 1u) << path;
        EXPECT_EQ(store.pendingCleanReport.get()->items[0].path, "/w/outer/node_modules") << path;
        EXPECT_EQ(store.pendingCleanReport.get()->bytes_reclaimed, 5u) << path;
        EXPECT_EQ(store.lastError.get(), told) << path;
        store.confirmClean();
        waitForIdle(store);
        EXPECT_EQ(runs().back(), "clean --project /w/outer --json --execute --caution --artifact /w/outer/node_modules")
            << path;
    }
    // A project's own Clean asks for all of that one project.
    store.requestClean({outer}, true);
    waitForIdle(store);
    ASSERT_TRUE(store.pendingCleanReport.get());
    EXPECT_EQ(store.pendingCleanReport.get()->items.size(), 3u);
}

TEST_F(CleanEngine, AfterACleanTheStoreHoldsEveryCleanTheDatabaseRecordsForTheMonth) {
    const MidMonthClock clock;
    const std::int64_t now = clock.unixNow(), start = monthStartUnix(now);
    const auto db = engineDatabaseCandidates()[0];
    ASSERT_TRUE(createEngineDatabase(db));
    for (const auto& op : {operation("c1", start, 10, false, "/w/x"), operation("c2", now, 20, false, "/w/y"),
                           operation("p", now, 30, true, "/w/y"), operation("old", start - 1, 40, false, "/w/z")})
        ASSERT_TRUE(insertOperation(db, op));
    AppStore store;
    // The store holds some already, read at a launch before the month turned.
    store.monthCleansRecorded = std::vector<OperationDTO>{operation("old", start - 1, 40, false, "/w/z"),
                                                          operation("c1", start, 10, false, "/w/x")};
    store.requestClean({project("a", "/w/a", 10, 10)}, true);
    waitForIdle(store);
    store.confirmClean();
    waitForIdle(store);
    std::vector<std::string> ids;
    for (const auto& op : store.monthCleansRecorded.get()) ids.push_back(op.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"c2", "c1"})) << "no preview, nothing of last month, each once";
}

TEST_F(CleanEngine, AfterACleanTheLifetimeTotalCoversTheMonthsRecordedCleansOnce) {
    const MidMonthClock clock;
    const std::int64_t now = clock.unixNow();
    const auto db = engineDatabaseCandidates()[0];
    ASSERT_TRUE(createEngineDatabase(db));
    // The database holds this clean as the engine records it ("op") and one
    // made from the terminal this month.
    for (const auto& op : {operation("op", now, 5, false, "/w/a"), operation("term", now, 20, false, "/w/t")})
        ASSERT_TRUE(insertOperation(db, op));
    std::vector<std::uint64_t> reported;
    socialHooks().leaderboardSync = [&](const CharacterProfile&, std::uint64_t bytes, double) { reported.push_back(bytes); };
    AppStore store;
    auto p = store.character.get();
    p.leaderboardOptIn = true;
    store.setCharacter(p);
    store.requestClean({project("a", "/w/a", 10, 10)}, true);
    waitForIdle(store);
    store.confirmClean();
    waitForIdle(store);
    socialHooks() = {};
    EXPECT_EQ(store.lifetimeReclaimedBytes.get(), 25u) << "the terminal's clean joins, this one counts once";
    EXPECT_EQ(home.defaults().integerValue(keys::lifetimeBytes), 25);
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported.back(), 25u) << "the leaderboard hears the raised total";
    store.shareTotal();
    ASSERT_TRUE(runUntil([&] { return store.shareSheet.get().has_value(); }));
    EXPECT_EQ(store.shareSheet.get()->bytes, 25u);
}

TEST_F(CleanEngine, ABatchInWhichOneProjectMovesNothingCountsTheProjectsThatMoved) {
    AppStore store;
    store.requestClean({project("a", "/w/a", 10, 10), project("f", "/w/flaky", 10, 10)}, true);
    waitForIdle(store);
    ASSERT_EQ(store.cleanConfirmProjects.get().size(), 2u) << store.lastError.get().value_or("");
    store.confirmClean();
    waitForIdle(store);
    EXPECT_EQ(store.activityLog.get(), "Cleaned 1 project \u00B7 1 item \u00B7 5 bytes to Trash");
    EXPECT_EQ(store.lastError.get(), "/w/flaky/.cache cannot be moved by this user: there is no write permission on it; "
                                     "left in place");
    ASSERT_TRUE(store.sharePrompt.get());
    EXPECT_EQ(store.sharePrompt.get()->projectCount, 1);
}

namespace {
// Two projects previewed and confirmed: /w/a moves 1,000 bytes and reports
// them; the real run for /w/b ends without a report (it fails, or is stopped
// while it sleeps) after recording a 40-byte move in its history.
struct StrandedClean : FlowFixture {
    void engine(const std::string& whenB) {
        writeText(home.path("bundle/bin/a.json"), encode(report({item("/w/a/node_modules", 1'000, true)}, "/w/a")));
        writeText(home.path("bundle/bin/a-dry.json"),
                  encode(report({item("/w/a/node_modules", 1'000, true)}, "/w/a", true)));
        writeText(home.path("bundle/bin/b-dry.json"), encode(report({item("/w/b/target", 40, true)}, "/w/b", true)));
        OperationDTO moved{"stopped", 1234567, "/w/b", 40, false, std::vector<CleanItemDTO>{item("/w/b/target", 40, true)}};
        writeText(home.path("bundle/bin/log.json"), "[" + encode(moved) + "]");
        writeScript(home.path("bundle/bin/tidewell-engine"),
                    "here=$(dirname \"$0\")\n"
                    "run=dry\n"
                    "for a in \"$@\"; do case \"$a\" in clean|last|log) cmd=$a;; --execute) run=real;; /w/a) p=a;; /w/b) p=b;; esac; done\n"
                    "case \"$cmd-$run-$p\" in\n"
                    "  clean-dry-*) cat \"$here/$p-dry.json\" ;;\n"
                    "  clean-real-a) cat \"$here/a.json\" ;;\n"
                    "  clean-real-b) " + whenB + " ;;\n"
                    "  last-*) echo null ;;\n"
                    "  log-*) sed \"s/1234567/$(date +%s)/\" \"$here/log.json\" ;;\n"
                    "esac\n");
    }
    void confirm(AppStore& store) {
        store.requestClean({project("a", "/w/a", 10, 10), project("b", "/w/b", 10, 10)}, true);
        ASSERT_TRUE(runUntil([&] { return store.pendingCleanReport.get().has_value(); }));
        store.confirmClean();
        ASSERT_TRUE(store.isCleaning.get());
    }
};
}  // namespace

TEST_F(StrandedClean, AFailureInTheSecondProjectCreditsWhatItHadAlreadyMoved) {
    engine("echo 'No space left on device' >&2; exit 1");
    AppStore store;
    confirm(store);
    store.cleanTask().wait();
    drain();
    EXPECT_EQ(store.lifetimeReclaimedBytes.get(), 1'040u) << "the reported 1,000 and the 40 the failing run moved";
    EXPECT_TRUE(store.lastError.get());
}

TEST_F(StrandedClean, ACancelCreditsWhatTheEngineMovedInTheStoppedProject) {
    engine("touch \"$here/b-started\"; exec sleep 30");
    AppStore store;
    confirm(store);
    ASSERT_TRUE(runUntil([&] { return std::filesystem::exists(home.path("bundle/bin/b-started")); }));
    store.cancelClean();
    store.cleanTask().wait();
    drain();
    EXPECT_EQ(store.lifetimeReclaimedBytes.get(), 1'040u) << "not only what was reported";
    EXPECT_FALSE(store.lastError.get());
}
