#include "core/ScanProgressRules.h"

#include <algorithm>
#include <cmath>

#include "core/FolderAccess.h"
#include "core/ModelTexts.h"
#include "foundation/Formatters.h"
#include "foundation/Paths.h"

namespace tidewell {

namespace {
std::string plural(std::int64_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}
}  // namespace

ScanSnapshot startSnapshot(const std::vector<std::string>& roots, const std::optional<std::string>& enginePath,
                           platform::TimePoint now) {
    ScanSnapshot s;
    s.elapsed = 0;
    s.phase = "start";
    s.message = "Starting scan of " + plural(static_cast<std::int64_t>(roots.size()), "folder");
    s.currentPath = roots.empty() ? std::string() : roots.front();
    s.rootsTotal = static_cast<std::int64_t>(roots.size());
    s.startedAt = now;
    s.log.push_back("Engine " + (enginePath && !enginePath->empty() ? *enginePath : std::string("MISSING")));
    for (const auto& root : roots) s.log.push_back("Queued " + platform::lastPathComponent(root));
    return s;
}

std::string progressLogLine(const ScanProgressEvent& e) {
    if (!e.path) return e.message;
    return e.message + " \u2014 " + platform::lastPathComponent(*e.path);
}

bool flushesAtOnce(const ScanProgressEvent& e, const ScanSnapshot& shown, double secondsSinceFlush) {
    return e.phase != shown.phase || e.projects_found != shown.projectsFound || e.roots_done != shown.rootsDone ||
           secondsSinceFlush >= kScanFlushInterval;
}

ScanSnapshot foldProgress(ScanSnapshot s, const std::optional<ScanProgressEvent>& e,
                          const std::vector<std::string>& lines, platform::TimePoint now) {
    if (s.startedAt)
        s.elapsed = std::max(0.0, platform::secondsSince1970(now) - platform::secondsSince1970(*s.startedAt));
    if (e) {
        s.phase = e->phase;
        s.message = e->message;
        if (e->path) s.currentPath = *e->path;
        s.projectsFound = e->projects_found;
        s.rootsDone = e->roots_done;
        s.rootsTotal = std::max<std::int64_t>(e->roots_total, 1);
    }
    s.log.insert(s.log.end(), lines.begin(), lines.end());
    if (s.log.size() > kScanLogLimit) s.log.erase(s.log.begin(), s.log.end() - kScanLogLimit);
    return s;
}

double inRootProgress(const std::string& phase, double peak) {
    if (phase == "start") return 0.06;
    if (phase == "root") return 0.1;
    if (phase == "walk") return 0.38;
    if (phase == "project") return 0.62;
    if (phase == "measure") return 0.86;
    if (phase == "skip" || phase == "root_done" || phase == "caches" || phase == "cache" || phase == "done")
        return 1.0;
    return peak;
}

double growthTarget(const ScanSnapshot& s, double peak) {
    const double total = static_cast<double>(std::max<std::int64_t>(s.rootsTotal, 1));
    const double done = static_cast<double>(std::max<std::int64_t>(s.rootsDone, 0));
    if (s.phase == "caches" || s.phase == "cache") return 0.94;
    if (s.phase == "done") return 1.0;
    if (s.phase == "root_done") return std::min(done, total) * 0.88 / total;
    return (done + peak) * 0.88 / total;
}

std::string scanCompletionText(const DashboardDTO& d) {
    return "Scan finished \u00B7 " + plural(d.project_count, "project") + " \u00B7 " +
           platform::formatByteCount(d.reclaimable_bytes) + " reclaimable";
}

std::string stillBlockingText(const std::vector<std::string>& blocked) {
    return "Linux is still blocking " + joinedDisplayNames(blocked) + ". Give yourself read access to those folders.";
}

namespace {
// Named in full (the home folder as "~"): a share's last folder name alone
// does not say which server is gone.
std::string silentFolderName(const std::string& path) {
    return platform::isOtherVolumePath(platform::standardizePath(path)) ? path : scanRootDisplayName(path);
}
}  // namespace

std::string revealSilentText(const std::string& path) {
    return "Could not show " + silentFolderName(path) + " in Files: it does not answer.";
}

std::string silentFoldersText(const std::vector<std::string>& silent) {
    std::string names;
    for (const auto& root : silent) {
        if (!names.empty()) names += ", ";
        names += silentFolderName(root);
    }
    if (silent.size() == 1)
        return "The scan folder " + names + " does not answer, so Tidewell leaves it out until it does. It stays "
               "among your scan folders.";
    return "The scan folders " + names + " do not answer, so Tidewell leaves them out until they do. They stay "
           "among your scan folders.";
}

std::optional<std::string> silentRootOf(const ScanProgressEvent& event) {
    if (event.phase != "error" || !event.path) return std::nullopt;
    const auto& root = *event.path;
    for (const char* reason : {"its filesystem does not answer.", "its filesystem stopped answering."})
        if (event.message == "Cannot scan " + root + ": " + reason) return root;
    return std::nullopt;
}

void EngineRootErrors::note(const ScanProgressEvent& event) {
    if (event.phase != "error" || !event.path) return;
    const auto addOnce = [](std::vector<std::string>& list, std::string item) {
        if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(std::move(item));
    };
    if (auto root = silentRootOf(event)) addOnce(silentRoots, std::move(*root));
    else addOnce(sentences, event.message);
}

std::string EngineRootErrors::text() const {
    std::string text = silentRoots.empty() ? std::string() : silentFoldersText(silentRoots);
    for (const auto& sentence : sentences) text += (text.empty() ? "" : " ") + sentence;
    return text;
}

}  // namespace tidewell
