#include "ScanCommand.h"

#include "Activity.h"
#include "CleanJournal.h"
#include "Dashboard.h"
#include "FolderProbe.h"
#include "Home.h"
#include "Movability.h"
#include "Progress.h"
#include "Walker.h"

#include <sys/stat.h>

#include <ctime>

namespace tidewell::engine {

std::vector<GlobalCacheDTO> measureCaches(const Rules& rules, const std::atomic<bool>& stop, Progress* progress) {
    std::vector<GlobalCacheDTO> out;
    for (const auto& c : rules.caches) {
        if (stop.load()) break;
        // A cache this machine does not have is no card of its own.
        struct stat st {};
        if (stat(c.path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        GlobalCacheDTO dto;
        dto.id = c.id;
        dto.label = c.label;
        dto.path = c.path;
        dto.safetyClass = c.safetyClass;
        dto.exists = true;
        dto.size_bytes = measureFolder(c.path, false, true, stop, progress).value_or(0);
        if (progress) progress->emit("cache", "Measured " + c.label + ".", c.path);
        out.push_back(std::move(dto));
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
    Walker walker(detector, progress, stop, options.maxDepth, Walker::defaultThreads());
    walker.ignoreEngineFiles(db.path());
    Movability movability(options.dataHome.empty() ? dataHome() : options.dataHome);
    walker.offerOnlyMovable(movability);
    TrackedFiles tracked([&progress](const std::string& top, const std::string& why) {
        progress.emit("skip", "Cannot read the Git repository here (" + why + "); its folders are not offered for cleaning.", top);
    });
    walker.offerOnlyUntracked(tracked);
    // Every root that may not answer is asked at once: however many do not,
    // the scan waits for them once.
    FolderProbe probe(stop);
    for (const auto& root : options.roots) probe.start(normalizePath(root));
    for (const auto& root : options.roots) {
        if (stop.load()) return std::nullopt;
        progress.emit("root", "Scanning " + root + ".", root);
        const FolderProbe::Answer answer = probe.wait(normalizePath(root));
        if (answer == FolderProbe::Answer::Stopped) return std::nullopt;
        std::string error = "its filesystem does not answer";
        if (answer == FolderProbe::Answer::Silent || !walker.walkRoot(root, error))
            progress.emit("error", "Cannot scan " + root + ": " + error + ".", root);
        progress.rootDone(root);
    }
    if (stop.load()) return std::nullopt;
    const WalkResult walk = walker.finish();

    progress.emit("caches", "Measuring global caches.");
    auto caches = measureCaches(detector.rules(), stop, &progress);
    if (stop.load()) return std::nullopt;

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
