#pragma once
// `clean`: re-checks one project now, then reports (dry run) or moves to the
// Trash (execute) its artifact folders, and records the operation.

#include "Database.h"
#include "ProjectDetector.h"
#include "TrashMover.h"
#include "core/EngineRecords.h"

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

namespace tidewell::engine {

struct CleanOptions {
    std::string projectPath;
    bool execute = false;
    bool caution = false;
    // The folders of the confirmed preview (absolute paths): only those are
    // moved, each if it still qualifies. Empty: every artifact.
    std::vector<std::string> artifacts;
};

// The clean cannot be done at all (the path is missing, a link, not a project).
class CleanRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CleanOutcome {
    CleanReportDTO report;
    bool interrupted = false;  // stopped by a termination request; what moved is recorded
    std::string unrecorded;    // the database failure that kept this clean out of the history, if any
};

CleanOutcome runClean(const CleanOptions& options, const ProjectDetector& detector, Database& db, TrashMover& mover,
                      const std::atomic<bool>& stop);

}  // namespace tidewell::engine
