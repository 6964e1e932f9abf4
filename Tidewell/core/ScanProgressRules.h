#pragma once
// The scan's published state as pure functions: the start snapshot, log
// lines, when a parked event is shown at once, folding parked data into a
// snapshot, the growth of the scan scene, and the texts of a scan.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/EngineRecords.h"
#include "runtime/Clock.h"

namespace tidewell {

inline constexpr std::size_t kScanLogLimit = 40;
inline constexpr double kScanFlushInterval = 0.15;

// "Starting scan of N folder(s)", the engine line and one "Queued" line per root.
ScanSnapshot startSnapshot(const std::vector<std::string>& roots, const std::optional<std::string>& enginePath,
                           platform::TimePoint now);
// The message, with " — " and the last path component when there is a path.
std::string progressLogLine(const ScanProgressEvent& event);
// A new phase or count is shown at once, and anything once 0.15 s have passed.
bool flushesAtOnce(const ScanProgressEvent& event, const ScanSnapshot& shown, double secondsSinceFlush);
// The snapshot with the parked event and log lines applied and the elapsed
// time brought up to `now`; the log keeps its newest 40 lines.
ScanSnapshot foldProgress(ScanSnapshot snapshot, const std::optional<ScanProgressEvent>& event,
                          const std::vector<std::string>& lines, platform::TimePoint now);

// Progress within the current root for a phase; unknown phases keep `peak`.
double inRootProgress(const std::string& phase, double peak);
// The growth the snapshot asks for, before the never-decrease rule.
double growthTarget(const ScanSnapshot& snapshot, double peak);

// "Scan finished · N project(s) · X reclaimable".
std::string scanCompletionText(const DashboardDTO& dashboard);
// "Linux is still blocking A, B. Give yourself read access to those folders."
std::string stillBlockingText(const std::vector<std::string>& blocked);
// The banner's words for scan folders that did not answer when looked at.
std::string silentFoldersText(const std::vector<std::string>& silent);
// The root of an engine "error" event that names a root whose filesystem did
// not answer the engine ("Cannot scan ROOT: its filesystem does not answer."
// or "... stopped answering."); none for any other event.
std::optional<std::string> silentRootOf(const ScanProgressEvent& event);
// What the engine's "error" events said of the roots it could not scan: the
// roots whose filesystem did not answer, and the sentence of each other one.
struct EngineRootErrors {
    std::vector<std::string> silentRoots;
    std::vector<std::string> sentences;
    void note(const ScanProgressEvent& event);
    bool empty() const { return silentRoots.empty() && sentences.empty(); }
    // The silent roots as a look names them, then each sentence as the engine wrote it.
    std::string text() const;
};
// "Could not show X in Files: it does not answer." for a path that did not answer.
std::string revealSilentText(const std::string& path);
inline constexpr const char* kScanNeedsFolderText =
    "Scan needs a folder you can read. Add one in Settings, or add the startup disk.";
inline constexpr const char* kScanCancelledText = "Scan cancelled.";

}  // namespace tidewell
