#pragma once
// `scan`: walks the roots, measures projects and global caches, stores the
// dashboard and returns it.

#include "Database.h"
#include "Movability.h"
#include "ProjectDetector.h"
#include "TrackedFiles.h"
#include "Walker.h"
#include "core/EngineRecords.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace tidewell::engine {

class Progress;

struct ScanOptions {
    std::vector<std::string> roots;
    std::int64_t idleDays = 30;
    int maxDepth = 8;
    bool progress = false;
    std::string dataHome;  // holds the home Trash; empty: the user's own
    std::string rulesFile;  // the rules given, for walks in helpers; empty: the built-in ones
};

// The walk of a scan, in the engine as in a helper: the engine's own files
// left out, and only folders this user can move and that no version control
// tracks offered (a repository whose index cannot be read is named in a
// "skip" event).
struct ScanWalk {
    ScanWalk(const ProjectDetector& detector, Progress& progress, const std::atomic<bool>& stop, int maxDepth,
             const std::string& dataHome, const std::string& databasePath);
    Movability movability;
    TrackedFiles tracked;
    Walker walker;
};

// The cards of the caches given that exist here, measured now.
std::vector<GlobalCacheDTO> measureCaches(const std::vector<CacheRule>& caches, const std::atomic<bool>& stop, Progress* progress);

// Returns nothing when stopped by a termination request (nothing is stored).
std::optional<DashboardDTO> runScan(const ScanOptions& options, const ProjectDetector& detector, Database& db,
                                    const std::atomic<bool>& stop, std::FILE* progressOut);

}  // namespace tidewell::engine
