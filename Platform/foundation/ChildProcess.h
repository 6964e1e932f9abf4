#pragma once
// A child process run with posix_spawn: an argument vector, an environment,
// standard input from /dev/null, standard output and error on pipes.
//
// Signals only ever reach this child: through a pidfd where the kernel has
// one, else the pid, and never after the child has been reaped (reaping and
// signalling are serialised, and a zombie keeps its pid), so a recycled pid
// is never hit.

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

// How a child ended.
struct ExitStatus {
    enum class Reason { exited, signaled };
    Reason reason = Reason::exited;
    int code = 0;  // the exit status, or the signal number

    bool exitedNormally() const { return reason == Reason::exited; }
    bool success() const { return reason == Reason::exited && code == 0; }
    bool operator==(const ExitStatus&) const = default;
};

// An owned file descriptor, closed on destruction.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

class ChildProcess {
public:
    struct Options {
        std::string executable;              // path of the program
        std::vector<std::string> arguments;  // after argv[0] (which is `executable`)
        // "NAME=value" entries; none inherits this process's environment.
        std::optional<std::vector<std::string>> environment;
        std::string workingDirectory;  // empty: this process's
    };

    // Starts the child. Throws std::system_error when the system refuses
    // (missing or non-executable file, no resources).
    static std::unique_ptr<ChildProcess> spawn(const Options& options);

    ~ChildProcess();  // kills and reaps a child still running, unless left behind
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Read ends of the child's standard output and error; the caller may take
    // them (each is close-on-exec).
    UniqueFd& standardOutput() { return stdout_; }
    UniqueFd& standardError() { return stderr_; }

    // Sends a signal unless the child has already been reaped. True when sent.
    bool sendSignal(int signal);
    bool terminate();  // SIGTERM
    bool kill();       // SIGKILL

    // True until the child has ended (does not reap it).
    bool isRunning();
    // Blocks until the child ends, reaps it and returns how it ended; later
    // calls return the same status. Safe to call from one thread while others signal.
    ExitStatus wait();
    // The status when the child has ended (reaping it), else none.
    std::optional<ExitStatus> tryWait();
    // Blocks until the child ends (reaping it, as wait()) or `wakeFd` turns
    // readable, whichever comes first; none in the second case. A child that
    // even SIGKILL does not end (a thread of it waits in the kernel on a
    // filesystem whose server is gone) need not hold its waiter for ever.
    std::optional<ExitStatus> waitUnless(int wakeFd);
    // The destructor neither kills nor waits for a child still running: it
    // is left to end on its own (tryWait reaps it then).
    void leaveBehind() { leftBehind_ = true; }
    bool hasPidfd() const { return pidfd_ >= 0; }

    // Convenience: runs to the end, collecting both streams. When `timeout`
    // passes, the child gets SIGTERM, then SIGKILL after `killGrace`.
    struct Output {
        ExitStatus status;
        std::string standardOutput;
        std::string standardError;
        bool timedOut = false;
    };
    static Output run(const Options& options,
                      std::optional<std::chrono::milliseconds> timeout = std::nullopt,
                      std::chrono::milliseconds killGrace = std::chrono::seconds(5));

private:
    ChildProcess() = default;
    bool reapLocked(int options);

    pid_t pid_ = -1;
    int pidfd_ = -1;
    UniqueFd stdout_;
    UniqueFd stderr_;
    std::mutex mutex_;  // serialises reaping with signalling
    bool reaped_ = false;
    bool leftBehind_ = false;
    ExitStatus status_;
};

}  // namespace platform
