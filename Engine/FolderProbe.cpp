#include "FolderProbe.h"

#include "Home.h"
#include "OpenResolved.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace tidewell::engine {

namespace {

// In the asking process, only system calls: it is forked from an engine that
// may run threads. It asks what the scan and the clean ask first: the folder
// opened, its attributes and entries, and the folders above it (each looked
// at for a repository). A "." says one of its questions was answered, so a
// slow share that answers each is waited for again; its last byte, "!",
// says it was answered whole.
[[noreturn]] void askAsItsOwnProcess(const char* path, int answerFd) {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGTERM, &dfl, nullptr);
    // Nothing of the engine's stays open in it: the application reads the
    // engine's output until no process holds it.
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int fd = 0; fd < 3; ++fd) dup2(null, fd);
    if (answerFd > 3) syscall(SYS_close_range, 3u, static_cast<unsigned>(answerFd - 1), 0u);
    syscall(SYS_close_range, static_cast<unsigned>(answerFd + 1), ~0u, 0u);

    const auto answered = [answerFd] { (void)!write(answerFd, ".", 1); };
    const int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    answered();
    struct stat st {};
    if (fd >= 0 && fstat(fd, &st) == 0) {
        answered();
        alignas(8) char entries[4096];
        (void)syscall(SYS_getdents64, fd, entries, sizeof entries);
        answered();
        for (int cur = fd;;) {
            struct stat above {}, git {};
            const int up = openat(cur, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (up < 0 || fstat(up, &above) != 0 || (above.st_dev == st.st_dev && above.st_ino == st.st_ino)) break;
            (void)fstatat(up, ".git", &git, AT_SYMLINK_NOFOLLOW);
            answered();
            st = above;
            cur = up;
        }
    }
    (void)!write(answerFd, "!", 1);
    _exit(0);
}

}  // namespace

FolderProbe::FolderProbe(const std::atomic<bool>& stop) : stop_(stop) {}

// Whoever is still asking is left to the filesystem: it ends when its
// server answers or goes away, and holds nothing of the engine's.
FolderProbe::~FolderProbe() {
    for (auto& [path, asked] : asked_)
        if (asked.answerFd >= 0) leave(asked, Answer::Silent);
}

namespace {

// Any kind of entry: a file a clone's config names is judged as a folder is,
// and a file mounted over another (a bind mount) is found by its own mount.
int openAt2(int dirFd, const std::string& path, std::uint64_t resolve) {
    return openResolved(dirFd, path.c_str(), O_PATH | O_CLOEXEC, resolve);
}

// `path` (normalized), reached through `links` links so far.
bool mayNotAnswerFrom(const std::string& path, MountTable& mounts, int links) {
    if (links > 40) return true;
    std::string held = path;
    int fd = -1;
    while ((fd = openAt2(AT_FDCWD, held, RESOLVE_CACHED)) < 0) {
        // Found, from what the kernel holds, to be missing or out of reach.
        if (errno != EAGAIN) return errno == ENOSYS || errno == EINVAL;
        if (held == "/") return true;
        held = held.substr(0, std::max<std::size_t>(held.rfind('/'), 1));
    }
    struct statx sx {};
    const bool told = statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_MNT_ID, &sx) == 0 && (sx.stx_mask & STATX_MNT_ID);
    if (told && !mounts.isRead()) mounts.read();
    if (!told || !mounts.whole() || mounts.mayNotAnswer(sx.stx_mnt_id)) {
        close(fd);
        return true;
    }
    std::string at = held;
    for (std::size_t from = held == "/" ? 1 : held.size() + 1; from < path.size();) {
        const std::size_t end = std::min(path.find('/', from), path.size());
        const std::string name = path.substr(from, end - from);
        const int step = openAt2(fd, name, RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS);
        if (step >= 0) {
            close(fd);
            fd = step;
            at = joinPath(at, name);
            from = end + 1;
            continue;
        }
        const int error = errno;
        char target[PATH_MAX];
        const ssize_t n = error == ELOOP ? readlinkat(fd, name.c_str(), target, sizeof target) : -1;
        close(fd);
        if (error == ELOOP && n > 0 && n < static_cast<ssize_t>(sizeof target)) {
            const std::string link(target, static_cast<std::size_t>(n));
            return mayNotAnswerFrom(normalizePath((link.front() == '/' ? link : joinPath(at, link)) + path.substr(end)), mounts, links + 1);
        }
        // A mount point, which the kernel always holds: judged by its own mount.
        if (error == EXDEV) return mayNotAnswerFrom(path, mounts, links + 1);
        // Missing, or out of reach: told by what opens it next.
        return error == ELOOP;
    }
    close(fd);
    return false;
}

}  // namespace

// Opened from what the kernel holds already (a step that would ask a
// filesystem fails with EAGAIN instead of asking), a folder whose mount and
// the mounts it lies on are all local asks no server. So does one whose path
// the kernel holds only in part (a local disk after its caches were dropped,
// a link followed for the first time today, whose time is then written):
// from the last folder it holds, on a local filesystem, the rest is looked up
// one name at a time without leaving that mount, a link read and its target
// judged the same way, and another mount met on the way judged by itself.
// Anything else may ask a server.
bool mayNotAnswer(const std::string& path, MountTable& mounts) { return mayNotAnswerFrom(path, mounts, 0); }

std::uint64_t heldMountOf(const std::string& path, bool* whole) {
    std::string held = path;
    int fd = -1;
    while ((fd = openAt2(AT_FDCWD, held, RESOLVE_CACHED)) < 0) {
        if (held == "/") return 0;
        held = held.substr(0, std::max<std::size_t>(held.rfind('/'), 1));
    }
    if (whole) *whole = held == path;
    struct statx sx {};
    const bool told = statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_MNT_ID, &sx) == 0 && (sx.stx_mask & STATX_MNT_ID);
    close(fd);
    return told ? sx.stx_mnt_id : 0;
}

void FolderProbe::start(const std::string& path) {
    if (asked_.count(path)) return;
    Asked& asked = asked_[path];
    if (!mayNotAnswer(path, mounts_)) {
        asked.answer = Answer::Answers;
        return;
    }
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        asked.answer = Answer::Answers;  // asked as before, then
        return;
    }
    // Above the standard streams, which the asking process points elsewhere.
    const int answerFd = ends[1] >= 3 ? ends[1] : fcntl(ends[1], F_DUPFD_CLOEXEC, 3);
    const pid_t pid = answerFd < 0 ? -1 : fork();
    if (pid == 0) askAsItsOwnProcess(path.c_str(), answerFd);
    if (answerFd != ends[1] && answerFd >= 0) close(answerFd);
    close(ends[1]);
    if (pid < 0) {
        close(ends[0]);
        asked.answer = Answer::Answers;
        return;
    }
    asked.pid = pid;
    asked.answerFd = ends[0];
    asked.since = std::chrono::steady_clock::now();
}

FolderProbe::Answer FolderProbe::wait(const std::string& path) {
    start(path);
    Asked& asked = asked_[path];
    while (!asked.answer) {
        if (stop_.load()) {
            leave(asked, Answer::Stopped);
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(asked.since + answerWithin - std::chrono::steady_clock::now());
        // In short steps, so that a termination request that came just
        // before the wait is heard too. An answer that came while the scan
        // folders before this one were walked counts, however long ago.
        pollfd answer{asked.answerFd, POLLIN, 0};
        if (poll(&answer, 1, static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 100))) <= 0) {
            if (left.count() <= 0) leave(asked, Answer::Silent);
            continue;
        }
        char said[64];
        const ssize_t n = read(asked.answerFd, said, sizeof said);
        // Answered in part: its next question has the whole wait again.
        if (n > 0 && std::memchr(said, '!', static_cast<std::size_t>(n)) == nullptr) {
            asked.since = std::chrono::steady_clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        close(asked.answerFd);
        asked.answerFd = -1;
        while (waitpid(asked.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        asked.answer = Answer::Answers;
    }
    const Answer answer = *asked.answer;
    if (answer == Answer::Stopped) asked_.erase(path);
    return answer;
}

// A process still asking is killed, which ends it only while its question
// has not reached the server; otherwise it waits there, unreaped, as long as
// the filesystem does.
void FolderProbe::leave(Asked& asked, Answer answer) {
    if (asked.pid > 0) kill(asked.pid, SIGKILL);
    close(asked.answerFd);
    asked.answerFd = -1;
    asked.answer = answer;
}

}  // namespace tidewell::engine
