#pragma once
// The clean of a project that may not answer (on FUSE, a network filesystem
// or a mount the kernel cannot resolve from what it holds) runs whole in a
// helper (HelperProcess.h), never in the engine: a share can answer a first
// look and stop a moment later, and a thread whose request its server has
// read waits in the kernel even against SIGKILL, holding the clean lock with
// it. The helper opens and re-checks the project, derives, measures and
// checks its folders and moves them, one at a time; the engine alone keeps
// the database, the journal and the report. The helper's standard input is a
// socket on which the engine answers it: before each move it asks the engine
// to record the move as pending and waits for the answer, and it asks for
// every other record the same way. Without an answer (the engine gone) it
// ends without moving. A helper silent past a few seconds fails the clean,
// naming the project, and the moves recorded so far stay pending for a
// later command to settle.

#include "CleanCommand.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell::engine {

inline constexpr std::string_view kCleanHelper = "clean";

// In the helper: cleans the project `args` name. Returns its exit status.
int cleanHelper(const std::vector<std::string>& args);

// In the engine: the clean of `op`'s project by a helper, its records kept
// by `records`; the helper holds a record lock on the clean lock file at
// `lockPath` around each move. None when no helper can be started here (a
// changed root without this executable). Throws CleanRefused when the helper
// was refused or did not finish, and DatabaseError when nothing moved and a
// record could not be made.
std::optional<CleanOutcome> cleanApart(const CleanOptions& options, const OperationDTO& op, CleanRecords& records,
                                       const std::string& dataHome, const std::string& lockPath, const std::atomic<bool>& stop);

// A helper silent for this long is left behind (a test may wait longer).
inline std::chrono::milliseconds cleanSilenceWithin{5000};

}  // namespace tidewell::engine
