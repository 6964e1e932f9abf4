#include "foundation/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
}

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

namespace {

[[noreturn]] void throwErrno(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

int openPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
    long fd = ::syscall(SYS_pidfd_open, pid, 0);
    if (fd >= 0) {
        ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
        return static_cast<int>(fd);
    }
#endif
    (void)pid;
    return -1;
}

ExitStatus statusFrom(int raw) {
    if (WIFSIGNALED(raw)) return {ExitStatus::Reason::signaled, WTERMSIG(raw)};
    return {ExitStatus::Reason::exited, WIFEXITED(raw) ? WEXITSTATUS(raw) : raw};
}

// RAII for the spawn attribute objects.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::spawn(const Options& options) {
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) throwErrno(errno, "pipe");
    UniqueFd outRead(outPipe[0]), outWrite(outPipe[1]);
    if (::pipe2(errPipe, O_CLOEXEC) != 0) throwErrno(errno, "pipe");
    UniqueFd errRead(errPipe[0]), errWrite(errPipe[1]);

    SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, outWrite.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions, errWrite.get(), STDERR_FILENO);
    if (!options.workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&setup.actions, options.workingDirectory.c_str());

    // The child starts with no blocked signals and default dispositions, so a
    // SIGTERM always reaches it whatever this process's threads did with theirs.
    sigset_t empty, all;
    sigemptyset(&empty);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&setup.attributes, &empty);
    posix_spawnattr_setsigdefault(&setup.attributes, &all);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> argvStrings;
    argvStrings.push_back(options.executable);
    argvStrings.insert(argvStrings.end(), options.arguments.begin(), options.arguments.end());
    std::vector<char*> argv;
    for (auto& s : argvStrings) argv.push_back(s.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStrings;
    std::vector<char*> envp;
    char** environment = environ;
    if (options.environment) {
        envStrings = *options.environment;
        for (auto& s : envStrings) envp.push_back(s.data());
        envp.push_back(nullptr);
        environment = envp.data();
    }

    pid_t pid = -1;
    int error = ::posix_spawn(&pid, options.executable.c_str(), &setup.actions, &setup.attributes, argv.data(),
                              environment);
    if (error != 0) throwErrno(error, "posix_spawn " + options.executable);

    std::unique_ptr<ChildProcess> child(new ChildProcess);
    child->pid_ = pid;
    child->pidfd_ = openPidfd(pid);
    child->stdout_ = std::move(outRead);
    child->stderr_ = std::move(errRead);
    // outWrite and errWrite close here, so the readers see the end of each
    // stream as soon as the child (and anything it started) has exited.
    return child;
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !leftBehind_) {
        bool running;
        {
            std::lock_guard lock(mutex_);
            running = !reaped_;
        }
        if (running) {
            kill();
            wait();
        }
    }
    if (pidfd_ >= 0) ::close(pidfd_);
}

bool ChildProcess::sendSignal(int signal) {
    std::lock_guard lock(mutex_);
    if (reaped_) return false;
#ifdef SYS_pidfd_send_signal
    if (pidfd_ >= 0) return ::syscall(SYS_pidfd_send_signal, pidfd_, signal, nullptr, 0) == 0;
#endif
    // Not yet reaped: the pid is still ours (at worst a zombie), never a recycled one.
    return ::kill(pid_, signal) == 0;
}

bool ChildProcess::terminate() { return sendSignal(SIGTERM); }
bool ChildProcess::kill() { return sendSignal(SIGKILL); }

bool ChildProcess::reapLocked(int options) {
    if (reaped_) return true;
    int raw = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &raw, options);
    } while (r < 0 && errno == EINTR);
    if (r == pid_) {
        status_ = statusFrom(raw);
        reaped_ = true;
        return true;
    }
    if (r < 0) {
        // Someone else reaped it (ECHILD); nothing of ours remains to signal.
        status_ = {ExitStatus::Reason::signaled, 0};
        reaped_ = true;
        return true;
    }
    return false;
}

bool ChildProcess::isRunning() {
    std::lock_guard lock(mutex_);
    if (reaped_) return false;
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return false;
    return info.si_pid == 0;
}

ExitStatus ChildProcess::wait() {
    {
        std::lock_guard lock(mutex_);
        if (reaped_) return status_;
    }
    // Wait for the end without reaping, so signals sent meanwhile still reach
    // our child; then reap under the lock.
    siginfo_t info{};
    int r;
    do {
        r = ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT);
    } while (r < 0 && errno == EINTR);
    std::lock_guard lock(mutex_);
    reapLocked(0);
    return status_;
}

std::optional<ExitStatus> ChildProcess::tryWait() {
    std::lock_guard lock(mutex_);
    if (reapLocked(WNOHANG)) return status_;
    return std::nullopt;
}

std::optional<ExitStatus> ChildProcess::waitUnless(int wakeFd) {
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {pidfd_, POLLIN, 0}};
    while (true) {
        if (auto status = tryWait()) return status;
        // The pidfd turns readable at the end; without one, look again soon.
        const int r = ::poll(fds, pidfd_ >= 0 ? 2 : 1, pidfd_ >= 0 ? -1 : 20);
        if (r < 0 && errno != EINTR) return tryWait();
        if (r > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) return tryWait();
    }
}

ChildProcess::Output ChildProcess::run(const Options& options, std::optional<std::chrono::milliseconds> timeout,
                                       std::chrono::milliseconds killGrace) {
    using clock = std::chrono::steady_clock;
    auto child = spawn(options);
    Output output;
    const auto never = clock::time_point::max();
    auto terminateAt = timeout ? clock::now() + *timeout : never;
    auto killAt = never;

    // Both streams and, where there is one, the pidfd, which turns readable at exit.
    pollfd fds[3] = {{child->stdout_.get(), POLLIN, 0}, {child->stderr_.get(), POLLIN, 0}, {child->pidfd_, POLLIN, 0}};
    std::string* sinks[2] = {&output.standardOutput, &output.standardError};
    char buffer[65536];
    int openStreams = 2;
    bool exited = false;
    while (openStreams > 0 || !exited) {
        auto now = clock::now();
        if (now >= terminateAt) {
            terminateAt = never;
            output.timedOut = true;
            child->terminate();
            killAt = now + killGrace;
        }
        if (now >= killAt) {
            killAt = never;
            child->kill();
        }
        auto until = std::min(terminateAt, killAt);
        int waitMs = until == never ? -1
                                    : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(until - now).count());
        if (openStreams == 0 && fds[2].fd < 0) waitMs = waitMs < 0 ? 20 : std::min(waitMs, 20);  // no pidfd: look again soon
        int r = ::poll(fds, 3, waitMs);
        if (r < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --openStreams;
            }
        }
        if (fds[2].fd >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) fds[2].fd = -1;
        if (!exited && !child->isRunning()) {
            exited = true;
            fds[2].fd = -1;
            terminateAt = killAt = never;
        }
    }
    output.status = child->wait();
    return output;
}

}  // namespace platform
