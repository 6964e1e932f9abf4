#pragma once
// `clean`: re-checks one project now, then reports (dry run) or moves to the
// Trash (execute) its artifact folders, and records the operation.

#include "CleanJournal.h"
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
    // The rules the detector was made of (empty: the built-in ones), for a
    // helper that cleans in the engine's place.
    std::string rulesFile;
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

// Runs once each folder of a clean is measured, before its move: lets a
// test change the mounts there.
inline void (*whileCleanMeasured)() = nullptr;

CleanOutcome runClean(const CleanOptions& options, const ProjectDetector& detector, Database& db, TrashMover& mover,
                      const std::atomic<bool>& stop);

// What the work on a project's folders asks of the engine's records: the
// engine's own journal, or, for a helper that cleans in its place, the
// engine through the helper's socket.
class CleanRecords {
public:
    virtual ~CleanRecords() = default;
    // The project is open and is a project: whether the clean goes on
    // (false: stopped). A real clean holds the clean lock from here on.
    // Throws CleanRefused.
    virtual bool opened() = 0;
    virtual void recordMove(const OperationDTO& op, int seq, const RecordedMove& move) = 0;
    virtual void dropMove(const std::string& id, int seq) = 0;
    // Whether a clean recorded since the last preview that listed `path`
    // moved it.
    virtual bool movedByAnotherClean(const std::string& project, const std::string& path) = 0;
    // Around each move: a process that may be left behind in the middle of
    // one says so to whoever would settle it (CleanLock::moveInFlight).
    virtual void moving(bool /*now*/) {}
    struct Moving {
        explicit Moving(CleanRecords& records) : records_(records) { records_.moving(true); }
        ~Moving() { records_.moving(false); }
        Moving(const Moving&) = delete;
        Moving& operator=(const Moving&) = delete;
        CleanRecords& records_;
    };
};

// The clean of the project `op` names, up to its report: opens and re-checks
// it, derives, measures and checks its folders and (a real clean) moves them,
// each move recorded by `records` first. Records nothing else.
CleanOutcome cleanFolders(const CleanOptions& options, const OperationDTO& op, const ProjectDetector& detector, CleanRecords& records,
                          TrashMover& mover, const std::atomic<bool>& stop);

}  // namespace tidewell::engine
