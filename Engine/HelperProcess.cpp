#include "HelperProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

extern char** environ;

namespace tidewell::engine {

namespace {

// Helpers killed but not yet reaped: a process stuck in a filesystem's
// request stays so until the server answers or goes away.
std::mutex gLeftM;
std::vector<pid_t> gLeft;

void reapLeftBehind() {
    std::lock_guard lock(gLeftM);
    std::erase_if(gLeft, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; });
}

// Above the standard streams, which the helper points elsewhere.
int aboveStandard(int fd) {
    if (fd < 0 || fd > 2) return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    return moved;
}

std::string statusText(int status) {
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "exit status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

bool HelperSlots::take(const std::atomic<bool>& stop) {
    std::unique_lock lock(m_);
    while (free_ == 0) {
        if (stop.load()) return false;
        // In short steps, so that a termination request is heard.
        freed_.wait_for(lock, std::chrono::milliseconds(100));
    }
    --free_;
    return true;
}

void HelperSlots::give() {
    {
        std::lock_guard lock(m_);
        ++free_;
    }
    freed_.notify_one();
}

HelperProcess::HelperProcess(const std::string& mode, const std::vector<std::string>& args, const HelperLimits& limits,
                             HelperSlots& slots, const std::atomic<bool>& stop, bool answered)
    : limits_(limits), slots_(slots), stop_(stop) {
    reapLeftBehind();
    if (!slots_.take(stop_)) {
        end_ = End::Stopped;
        return;
    }
    haveSlot_ = true;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        finish(End::Died, std::string("no pipe: ") + std::strerror(errno));
        return;
    }
    outFd_ = aboveStandard(ends[0]);
    const int inFd = aboveStandard(ends[1]);
    if (outFd_ < 0 || inFd < 0) {
        if (inFd >= 0) close(inFd);
        finish(End::Died, "no descriptor to spare");
        return;
    }
    int asked = -1;  // the helper's end of the answers
    if (answered) {
        int pair[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0 || (answerFd_ = aboveStandard(pair[0])) < 0 ||
            (asked = aboveStandard(pair[1])) < 0) {
            close(inFd);
            finish(End::Died, std::string("no socket for its answers: ") + std::strerror(errno));
            return;
        }
    }

    std::vector<std::string> argv = {executable, std::string(kHelperFlag), mode, std::to_string(limits_.addressSpace)};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (asked >= 0) posix_spawn_file_actions_adddup2(&actions, asked, 0);
    else posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, inFd, 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Whatever else is open, close-on-exec or not, stays behind.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    // Never holding the folder the engine was started in, which may lie on a
    // filesystem that stops answering.
    posix_spawn_file_actions_addchdir_np(&actions, "/");
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int failed = posix_spawn(&pid_, executable.c_str(), &actions, &attributes, cargv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(inFd);
    if (asked >= 0) close(asked);
    if (failed != 0) {
        pid_ = -1;
        startError_ = failed;
        finish(End::Died, "it cannot be started: " + std::string(std::strerror(failed)));
        return;
    }
    endedFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    started_ = heard_ = std::chrono::steady_clock::now();
}

HelperProcess::~HelperProcess() {
    if (end_ == End::Running) leaveBehind(End::Stopped);
    if (answerFd_ >= 0) close(answerFd_);
    if (outFd_ >= 0) close(outFd_);
    if (endedFd_ >= 0) close(endedFd_);
    if (haveSlot_) slots_.give();
}

bool HelperProcess::nextLine(std::string& line) {
    constexpr auto kNever = std::chrono::milliseconds(std::chrono::hours(24 * 365));
    for (;;) {
        if (const auto newline = buffer_.find('\n', scanned_); newline != std::string::npos) {
            line.assign(buffer_, taken_, newline - taken_);
            taken_ = scanned_ = newline + 1;
            return true;
        }
        // The lines taken are dropped only now, once for all of them.
        buffer_.erase(0, taken_);
        taken_ = 0;
        scanned_ = buffer_.size();
        if (end_ != End::Running) return false;
        if (buffer_.size() > kLongestLine) {
            leaveBehind(End::Died);
            endText_ = "a line longer than " + std::to_string(kLongestLine) + " bytes";
            return false;
        }
        if (outFd_ < 0 && pid_ < 0) {
            finish(WIFEXITED(status_) && WEXITSTATUS(status_) == 0 ? End::Finished : End::Died, statusText(status_));
            continue;
        }
        if (stop_.load()) {
            leaveBehind(End::Stopped);
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        const auto due = std::min(heard_ + std::min(limits_.silence, kNever), started_ + std::min(limits_.overall, kNever));
        if (now >= due) {
            leaveBehind(End::Silent);
            return false;
        }
        // In short steps, so that a termination request, which reaches any
        // thread of the engine, is heard here too; once its output has ended
        // without a pidfd to tell its end, its end is looked for often.
        // Once reaped, its pidfd tells nothing more (and stays readable).
        const bool endTold = endedFd_ >= 0 && pid_ > 0;
        const int step = static_cast<int>(std::clamp<std::int64_t>(std::chrono::ceil<std::chrono::milliseconds>(due - now).count(), 1,
                                                                   outFd_ < 0 && !endTold ? 10 : 100));
        pollfd waits[2];
        nfds_t count = 0;
        if (outFd_ >= 0) waits[count++] = {outFd_, POLLIN, 0};
        if (endTold) waits[count++] = {endedFd_, POLLIN, 0};
        if (poll(waits, count, step) < 0 && errno != EINTR) {
            leaveBehind(End::Died);
            endText_ = std::string("its output cannot be waited for: ") + std::strerror(errno);
            return false;
        }
        if (outFd_ >= 0 && (waits[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            char chunk[65536];
            const ssize_t n = read(outFd_, chunk, sizeof chunk);
            if (n > 0) {
                buffer_.append(chunk, static_cast<std::size_t>(n));
                heard_ = std::chrono::steady_clock::now();
                continue;
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            close(outFd_);
            outFd_ = -1;
        }
        const bool mayHaveEnded = endTold ? (waits[count - 1].revents & POLLIN) != 0 : outFd_ < 0;
        // Never waitpid(-1): that would reap another helper in its place.
        if (!mayHaveEnded || pid_ <= 0) continue;
        const pid_t reaped = waitpid(pid_, &status_, WNOHANG);
        if (reaped == pid_) pid_ = -1;
        if (reaped < 0 && errno == ECHILD) {
            pid_ = -1;
            finish(End::Died, "its end cannot be told");
        }
    }
}

bool HelperProcess::answer(std::string_view line) {
    // Its silence counts from the answer: it waited for the engine till then.
    heard_ = std::chrono::steady_clock::now();
    std::string whole(line);
    whole.push_back('\n');
    for (std::size_t at = 0; answerFd_ >= 0 && at < whole.size();) {
        const ssize_t n = send(answerFd_, whole.data() + at, whole.size() - at, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += static_cast<std::size_t>(n);
    }
    return answerFd_ >= 0;
}

void HelperProcess::finish(End end, std::string text) {
    end_ = end;
    endText_ = std::move(text);
    if (outFd_ >= 0) close(outFd_);
    outFd_ = -1;
    if (haveSlot_) slots_.give();
    haveSlot_ = false;
}

// Killed, which ends it unless it waits on a filesystem's server; reaped
// now if it ended at once, else later, without ever waiting for it.
void HelperProcess::leaveBehind(End end) {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        if (waitpid(pid_, nullptr, WNOHANG) == 0) {
            std::lock_guard lock(gLeftM);
            gLeft.push_back(pid_);
        }
        pid_ = -1;
    }
    finish(end, end == End::Silent ? "silent past its deadline" : end == End::Stopped ? "stopped" : "");
}

namespace {
bool gIsHelper = false;
}  // namespace

bool isHelper() { return gIsHelper; }

void enterHelper([[maybe_unused]] std::uint64_t addressSpace) {
    gIsHelper = true;
    // The address sanitizer reserves terabytes for its shadow before main:
    // a sanitized build's helper runs without the cap.
#if !defined(__SANITIZE_ADDRESS__)
    const rlimit cap{addressSpace, addressSpace};
    setrlimit(RLIMIT_AS, &cap);
#endif
    prctl(PR_SET_PDEATHSIG, SIGKILL);
}

void helperPrint(std::string_view line) {
    std::string whole(line);
    whole.push_back('\n');
    for (std::size_t at = 0; at < whole.size();) {
        const ssize_t n = write(STDOUT_FILENO, whole.data() + at, whole.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) _exit(1);  // nobody reads it any more
        at += static_cast<std::size_t>(n);
    }
}

void HelperOutput::print(std::initializer_list<std::string_view> fields) {
    const std::string line = helperRecord(fields);
    std::lock_guard lock(m_);
    helperPrint(line);
}

void HelperOutput::print(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) line += (i ? "\t" : "") + helperRecord({fields[i]});
    std::lock_guard lock(m_);
    helperPrint(line);
}

namespace {

// Context switches of the process's threads other than the calling one.
long switchesOfOthers() {
    rusage all{}, own{};
    getrusage(RUSAGE_SELF, &all);
    getrusage(RUSAGE_THREAD, &own);
    return all.ru_nvcsw + all.ru_nivcsw - own.ru_nvcsw - own.ru_nivcsw;
}

}  // namespace

HelperHeartbeat::HelperHeartbeat(HelperOutput& out) {
    try {
        thread_ = std::thread([this, &out] {
            long seen = switchesOfOthers();
            std::unique_lock lock(m_);
            while (!done_) {
                ended_.wait_for(lock, std::chrono::milliseconds(250));
                const long now = switchesOfOthers();
                if (now != seen) out.print({"alive"});
                seen = now;
            }
        });
    } catch (const std::system_error&) {
    }
}

HelperHeartbeat::~HelperHeartbeat() {
    {
        std::lock_guard lock(m_);
        done_ = true;
    }
    ended_.notify_one();
    if (thread_.joinable()) thread_.join();
}

std::optional<std::string> helperAnswer() {
    // Read a byte at a time: what follows the line is the next answer's.
    std::string line;
    for (char c;;) {
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        if (c == '\n') return line;
        line.push_back(c);
    }
}

std::string helperRecord(std::initializer_list<std::string_view> fields) {
    std::string out;
    bool first = true;
    for (const std::string_view field : fields) {
        if (!first) out.push_back('\t');
        first = false;
        for (const char c : field) {
            if (c == '\\') out += "\\\\";
            else if (c == '\t') out += "\\t";
            else if (c == '\n') out += "\\n";
            else out.push_back(c);
        }
    }
    return out;
}

std::vector<std::string> helperFields(std::string_view line) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            const char e = line[++i];
            fields.back().push_back(e == 't' ? '\t' : e == 'n' ? '\n' : e);
        } else {
            fields.back().push_back(c);
        }
    }
    return fields;
}

}  // namespace tidewell::engine
