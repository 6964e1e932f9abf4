#pragma once
// The engine boundary: runs `tidewell-engine` once per command as a child
// process and turns what it printed into records or an EngineError.
//
// Every operation here blocks its thread for the whole run and must never be
// called on the main thread (debug builds assert it). Callers of scan, last
// and log hold engineLock() around the call; clean takes it itself.
//
// Cancelling: cancelRunning() stops the run in progress, and only that run; a
// cancel while no engine runs has no effect on any later run. To cancel one
// particular run (a given scan, or the dry runs of one clean request), pass an
// EngineCancelToken: cancelling it stops the run it is attached to, and every
// later run given the same token fails with `cancelled` without starting.
// An engine still running a grace period after SIGTERM is killed; the run
// still ends as timed out or cancelled. One still running a grace period
// after SIGKILL (waiting in the kernel on a filesystem that does not answer)
// is no longer waited for: the run fails, saying so, and it is reaped by a
// later run once it ends. Nor is its output waited for a grace period after
// it ended, when a process it left behind still holds it open.

#include "core/EngineError.h"
#include "core/EngineRecords.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tidewell {

// Keeps engine commands from overlapping (process-wide, recursive).
std::recursive_mutex& engineLock();
// Guards the cancel state of runs; held only for a few statements, never
// together with another lock.
std::mutex& cancelLock();

namespace detail {
struct EngineRun;
}

// A cancel handle owned by the caller, for one run or a series of runs.
class EngineCancelToken {
public:
    // Stops the attached run (SIGTERM, later SIGKILL) and marks the token, so
    // later runs with it fail at once. Callable from any thread.
    void cancel();
    bool isCancelled() const;

private:
    friend class EngineClient;
    bool cancelled_ = false;                            // guarded by cancelLock()
    std::vector<std::weak_ptr<detail::EngineRun>> runs_;  // guarded by cancelLock()
};

class EngineClient {
public:
    using ProgressHandler = std::function<void(const ScanProgressEvent&)>;

    static constexpr double scanTimeout = 1800;
    static constexpr double commandTimeout = 300;  // last, log and clean

    // Runs the engine with the fixed prefix ("--rules" FILE, "--db" FILE) and
    // `arguments`, waits for it to end and both streams to drain, and returns
    // its standard output (at most 32 MiB). `onProgress` is called on a
    // background thread, once per decoded progress line, in order. Throws
    // EngineError, or the system's own error when the launch is refused.
    static std::string run(const std::vector<std::string>& arguments, double timeout,
                           ProgressHandler onProgress = {},
                           std::shared_ptr<EngineCancelToken> cancelToken = nullptr);

    // The engine beside the application's executable, else in its resources;
    // never the application's own executable.
    static std::optional<std::string> enginePath();
    static std::optional<std::string> rulesPath();
    // Stops the run in progress, if any.
    static void cancelRunning();
    // "SIGKILL" for 9, "signal 7" for a signal without a name of its own.
    static std::string signalName(int signal);

    // The commands.
    static DashboardDTO scan(const std::vector<std::string>& roots, std::int64_t idleDays,
                             ProgressHandler onProgress = {},
                             std::shared_ptr<EngineCancelToken> cancelToken = nullptr);
    // None when the engine has no scan yet. A decoding error is passed on as it is.
    static std::optional<DashboardDTO> last(std::shared_ptr<EngineCancelToken> cancelToken = nullptr);
    static std::vector<OperationDTO> log(std::int64_t limit,
                                         std::shared_ptr<EngineCancelToken> cancelToken = nullptr);
    // A real clean given `artifacts` moves only those of them that still
    // qualify: the folders of the preview the user confirmed.
    static CleanReportDTO clean(const std::string& projectPath, bool execute, bool caution,
                                std::shared_ptr<EngineCancelToken> cancelToken = nullptr,
                                const std::vector<std::string>& artifacts = {});

    // The argument lists of the commands.
    static int scanDepth(const std::vector<std::string>& roots);
    static std::vector<std::string> scanArguments(const std::vector<std::string>& roots, std::int64_t idleDays);
    static std::vector<std::string> lastArguments();
    static std::vector<std::string> logArguments(std::int64_t limit);
    static std::vector<std::string> cleanArguments(const std::string& projectPath, bool execute, bool caution,
                                                   const std::vector<std::string>& artifacts = {});

    // How long an engine may go on after SIGTERM before it is killed, and
    // after SIGKILL (or, its output, after its end) before it is no longer
    // waited for (5 s).
    static void setKillGracePeriodForTesting(std::chrono::milliseconds grace);
};

}  // namespace tidewell
