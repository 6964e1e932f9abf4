#include "CleanLock.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

namespace tidewell::engine {

namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// /proc/locks lists only the locks of processes this one's PID namespace can
// see: inside a sandbox or container, a holder outside is invisible.
bool inChildPidNamespace() {
    constexpr unsigned long long kInitialPidNamespace = 0xEFFFFFFCULL;
    struct stat ns {};
    return stat("/proc/self/ns/pid", &ns) != 0 || ns.st_ino != kInitialPidNamespace;
}

// Whether any process holds or waits for a lock on the file `st` names, as
// the kernel lists them for every process. By inode number alone: a device
// there need not be the one stat gives (btrfs subvolumes), and a lock on
// another file of that number only makes this answer yes. Unknown is yes.
bool lockedByAnyone(const struct stat& st) {
    if (inChildPidNamespace()) return true;
    std::ifstream locks("/proc/locks");
    if (!locks) return true;
    const std::string ino = ":" + std::to_string(static_cast<unsigned long long>(st.st_ino)) + " ";
    std::string line;
    while (std::getline(locks, line))
        if ((line + " ").find(ino) != std::string::npos) return true;
    return false;
}

}  // namespace

// Holds the lock on fd, waiting (in short steps, so a termination request is
// heard) while another process holds it. False with errno set otherwise.
bool CleanLock::lock(int fd, Wait wait, const std::atomic<bool>* stop) {
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK || wait == Wait::No) return false;
        if (stop && stop->load()) {
            stopped_ = true;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

bool CleanLock::namesLocked(int fd) const {
    struct stat mine {}, now {};
    return fstat(fd, &mine) == 0 && stat(path_.c_str(), &now) == 0 && sameFile(mine, now);
}

CleanLock::CleanLock(const std::string& dbPath, Wait wait, const std::atomic<bool>* stop) : path_(dbPath + ".lock") {
    // A file replaced while this process waited for it is locked again as it
    // is now (a few times at most: each replacement ends another's wait).
    for (int attempt = 0; attempt < 16; ++attempt) {
        // Whoever makes the lock file, every user who can reach the database
        // beside it can lock it: a run as root must not shut its owner out.
        fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        const int e = errno;
        // A lock file this user may only read (or on a read-only filesystem)
        // still locks.
        if (fd_ < 0 && (e == EACCES || e == EROFS)) fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            if (e == EACCES) {
                const TakeOver t = takeOver();
                if (t == TakeOver::Done) return;
                if (t == TakeOver::Replaced) continue;
            }
            if (problem_.empty())
                problem_ = "the clean lock " + path_ + " cannot be opened: " + std::strerror(e) +
                           (e == EACCES ? " (it belongs to another user, perhaps left by a run as root); remove it to clean again" : "");
            return;
        }
        if (!lock(fd_, wait, stop)) {
            if (!stopped_ && errno != EWOULDBLOCK) problem_ = "the clean lock " + path_ + " cannot be taken: " + std::strerror(errno);
            return;
        }
        if (namesLocked(fd_)) {
            held_ = true;
            return;
        }
        close(fd_);
        fd_ = -1;
    }
    problem_ = "the clean lock " + path_ + " keeps being replaced; clean again";
}

// A lock file this user cannot open, in a folder of this user's (who could
// remove it anyway), is replaced by one of this user's, locked, when nobody
// holds the old one: the new one takes its place in one step, and the old one
// is dropped only when no process holds or waits for it then. A process that
// opened the old one before and locks it after finds it replaced and locks
// the new one (the constructor checks what it locked).
// Another clean of this user's may swap the name at the same time: what was
// locked counts only while the lock file's name still leads to it.
CleanLock::TakeOver CleanLock::takeOver() {
    const std::string folder = folderOf(path_);
    struct stat dir {};
    if (stat(folder.c_str(), &dir) != 0 || dir.st_uid != getuid()) return TakeOver::Refused;
    const std::string fresh = path_ + "." + std::to_string(getpid()) + ".new";
    const int fd = open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return TakeOver::Refused;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        syscall(SYS_renameat2, AT_FDCWD, fresh.c_str(), AT_FDCWD, path_.c_str(), RENAME_EXCHANGE) != 0) {
        unlink(fresh.c_str());
        close(fd);
        return TakeOver::Refused;
    }
    if (afterSwap) afterSwap();
    // Judged by the file itself: a link there says nothing of who locks what.
    struct stat old {};
    if (lstat(fresh.c_str(), &old) != 0 || !S_ISREG(old.st_mode) || lockedByAnyone(old)) {
        // The old one goes back in one step; whoever waits on the new one
        // finds it replaced.
        const bool back = rename(fresh.c_str(), path_.c_str()) == 0;
        close(fd);
        problem_ = back ? "the clean lock " + path_ +
                              " is held by a process of another user (perhaps a clean run as root); clean again once it ends"
                        : "the clean lock " + path_ + " could not be put back from " + fresh + ": " + std::strerror(errno) +
                              "; move it back by hand before cleaning again";
        return TakeOver::Refused;
    }
    unlink(fresh.c_str());
    if (!namesLocked(fd)) {
        close(fd);
        return TakeOver::Replaced;
    }
    fd_ = fd;
    held_ = true;
    return TakeOver::Done;
}

CleanLock::~CleanLock() {
    if (fd_ >= 0) close(fd_);
}

}  // namespace tidewell::engine
