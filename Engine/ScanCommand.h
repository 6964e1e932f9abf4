#pragma once
// `scan`: walks the roots, measures projects and global caches, stores the
// dashboard and returns it.

#include "Database.h"
#include "ProjectDetector.h"
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
};

// The global caches of the rules that exist here, measured now.
std::vector<GlobalCacheDTO> measureCaches(const Rules& rules, const std::atomic<bool>& stop, Progress* progress);

// Returns nothing when stopped by a termination request (nothing is stored).
std::optional<DashboardDTO> runScan(const ScanOptions& options, const ProjectDetector& detector, Database& db,
                                    const std::atomic<bool>& stop, std::FILE* progressOut);

}  // namespace tidewell::engine
