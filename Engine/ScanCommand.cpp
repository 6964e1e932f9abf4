#include "ScanCommand.h"

#include "Activity.h"
#include "CacheHelper.h"
#include "CleanJournal.h"
#include "Dashboard.h"
#include "FolderProbe.h"
#include "Home.h"
#include "Movability.h"
#include "Progress.h"
#include "WalkHelper.h"
#include "Walker.h"

#include <sys/stat.h>

#include <ctime>

namespace tidewell::engine {

ScanWalk::ScanWalk(const ProjectDetector& detector, Progress& progress, const std::atomic<bool>& stop, int maxDepth,
                   const std::string& dataHome, const std::string& databasePath)
    : movability(dataHome),
      tracked([&progress](const std::string& top, const std::string& why) {
          progress.emit("skip", "Cannot read the Git repository here (" + why + "); its folders are not offered for cleaning.", top);
      }),
      walker(detector, progress, stop, maxDepth, Walker::defaultThreads()) {
    walker.ignoreEngineFiles(databasePath);
    walker.offerOnlyMovable(movability);
    walker.offerOnlyUntracked(tracked);
}

std::vector<GlobalCacheDTO> measureCaches(const std::vector<CacheRule>& caches, const std::atomic<bool>& stop, Progress* progress) {
    std::vector<GlobalCacheDTO> out;
    for (const auto& c : caches) {
        if (stop.load()) break;
        // A cache this machine does not have is no card of its own.
        struct stat st {};
        if (stat(c.path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        out.push_back(cacheCard(c, measureFolder(c.path, false, true, stop, progress).value_or(0)));
        if (progress) progress->emit("cache", "Measured " + c.label + ".", c.path);
    }
    return out;
}

std::optional<DashboardDTO> runScan(const ScanOptions& options, const ProjectDetector& detector, Database& db,
                                    const std::atomic<bool>& stop, std::FILE* progressOut) {
    CleanJournal journal(db);
    // Cleans recorded from here on may move folders this scan measures.
    const std::int64_t historyMark = journal.historyMark();
    Progress progress(options.progress ? progressOut : nullptr, static_cast<std::int64_t>(options.roots.size()));
    progress.emit("start", "Scan started.");
    const std::string trashHome = options.dataHome.empty() ? dataHome() : options.dataHome;
    ScanWalk scanWalk(detector, progress, stop, options.maxDepth, trashHome, db.path());
    Walker& walker = scanWalk.walker;
    // A root that may not answer is walked in a helper, one per filesystem;
    // all of them at once, beside the walks of the local roots: however
    // many fall silent, the scan waits for them about once.
    WalkSettings settings;
    settings.maxDepth = options.maxDepth;
    settings.rulesFile = options.rulesFile;
    settings.databasePath = db.path();
    settings.dataHome = trashHome;
    WalksApart apart(settings, stop);
    MountTable mounts;
    // The caches on a filesystem that may not answer ($HOME on a share) are
    // measured in a helper, begun now to work beside the walks.
    std::vector<CacheRule> nearCaches, farCaches;
    for (const auto& c : detector.rules().caches) (mayNotAnswer(c.path, mounts) ? farCaches : nearCaches).push_back(c);
    CachesApart cachesApart(std::move(farCaches), stop);
    // Where no helper can be started (a root changed to one without this
    // executable), such a root is walked here once a process of its own has
    // seen it answer.
    FolderProbe probe(stop);
    std::vector<bool> local;
    for (const auto& root : options.roots) {
        local.push_back(!mayNotAnswer(normalizePath(root), mounts));
        if (!local.back() && !apart.add(root)) probe.start(normalizePath(root));
    }
    apart.begin();
    for (std::size_t i = 0; i < options.roots.size(); ++i) {
        const std::string& root = options.roots[i];
        if (stop.load()) return std::nullopt;
        progress.emit("root", "Scanning " + root + ".", root);
        std::string error;
        if (!local[i]) {
            WalksApart::Outcome outcome = apart.finish(root, progress);
            using Kind = WalksApart::Outcome::Kind;
            switch (outcome.kind) {
                case Kind::Stopped: return std::nullopt;
                case Kind::Walked:
                    if (!walker.walkedBefore(outcome.folders)) apart.keep(root);
                    break;
                case Kind::Unreadable: error = outcome.why; break;
                case Kind::NeverAnswered: error = "its filesystem does not answer"; break;
                case Kind::StoppedAnswering: error = "its filesystem stopped answering"; break;
                case Kind::Died: error = "the process walking it ended (" + outcome.why + ")"; break;
                case Kind::NotStarted: error = "no process could be started to walk it (" + outcome.why + ")"; break;
                case Kind::NoHelper: {
                    const FolderProbe::Answer answer = probe.wait(normalizePath(root));
                    if (answer == FolderProbe::Answer::Stopped) return std::nullopt;
                    if (answer == FolderProbe::Answer::Silent) error = "its filesystem does not answer";
                    local[i] = answer == FolderProbe::Answer::Answers;
                    break;
                }
            }
        }
        if (local[i]) walker.walkRoot(root, error);
        if (!error.empty()) progress.emit("error", "Cannot scan " + root + ": " + error + ".", root);
        progress.rootDone(root);
    }
    if (stop.load()) return std::nullopt;
    WalkResult walk = walker.finish();
    for (auto& w : apart.takeKept()) addWalk(walk, std::move(w));

    progress.emit("caches", "Measuring global caches.");
    auto measured = measureCaches(nearCaches, stop, &progress);
    auto measuredApart = cachesApart.finish(progress);
    if (stop.load() || !measuredApart) return std::nullopt;
    measured.insert(measured.end(), measuredApart->begin(), measuredApart->end());
    // In the rules' order, wherever each was measured.
    std::vector<GlobalCacheDTO> caches;
    for (const auto& c : detector.rules().caches)
        for (auto& card : measured)
            if (card.id == c.id) caches.push_back(std::move(card));

    ScanContext ctx;
    ctx.now = static_cast<std::int64_t>(std::time(nullptr));
    ctx.idleDays = options.idleDays;
    ctx.workingFolders = userWorkingFolders();
    DashboardDTO dashboard = buildDashboard(walk, detector, std::move(caches), options.roots, ctx);
    journal.storeScan(dashboard, historyMark);
    progress.emit("done", "Scan complete: " + std::to_string(dashboard.project_count) + " projects found.");
    return dashboard;
}

}  // namespace tidewell::engine
