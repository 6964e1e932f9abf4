#include "CleanLock.h"

#include "Home.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <thread>

#include "foundation/Files.h"

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

enum class Holders { None, Some, Unseen };

// Whether any process holds or waits for a lock on the file `st` names, as
// the kernel lists them for every process. By inode number alone: a device
// there need not be the one stat gives (btrfs subvolumes), and a lock on
// another file of that number only makes this answer yes.
Holders holdersOf(const struct stat& st) {
    if (inChildPidNamespace()) return Holders::Unseen;
    std::ifstream locks("/proc/locks");
    if (!locks) return Holders::Unseen;
    const std::string ino = ":" + std::to_string(static_cast<unsigned long long>(st.st_ino)) + " ";
    std::string line;
    while (std::getline(locks, line))
        if ((line + " ").find(ino) != std::string::npos) return Holders::Some;
    return Holders::None;
}

// The process that holds the flock on the file `fd` is open on, as the
// kernel lists it: 0 when none is listed (a holder in a PID namespace this
// one cannot see is left out). The same device and inode first; by inode
// alone after, as holdersOf judges.
pid_t holderOf(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return 0;
    std::ifstream locks("/proc/locks");
    std::ostringstream sameFile;
    sameFile << std::hex << std::setfill('0') << std::setw(2) << major(st.st_dev) << ':' << std::setw(2) << minor(st.st_dev) << ':' << std::dec
             << st.st_ino;
    const std::string ino = ":" + std::to_string(static_cast<unsigned long long>(st.st_ino));
    pid_t byInode = 0;
    std::string line;
    while (std::getline(locks, line)) {
        // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; a waiter's line has "->" after the number.
        std::istringstream fields(line);
        std::string number, type, kind, mode, file;
        long long pid = 0;
        if (!(fields >> number >> type) || type != "FLOCK" || !(fields >> kind >> mode >> pid >> file) || pid <= 0) continue;
        if (file == sameFile.str()) return static_cast<pid_t>(pid);
        if (!byInode && file.size() > ino.size() && file.ends_with(ino)) byInode = static_cast<pid_t>(pid);
    }
    return byInode;
}

std::string heldByAnotherClean(pid_t holder) {
    return "another clean" + (holder > 0 ? " (pid " + std::to_string(holder) + ")" : std::string()) +
           " is still running; clean again once it has finished";
}

std::string heldByAnother(const std::string& path) {
    return "the clean lock " + path + " is held by a process of another user (perhaps a clean run as root); clean again once it ends";
}

// A lock file this user cannot open and that no process is known to hold:
// waiting for it never helps.
std::string cannotOpen(const std::string& path, int error, Holders holders) {
    const std::string unopened = "the clean lock " + path + " cannot be opened by this user (" + std::strerror(error) + ")";
    if (holders == Holders::None) return unopened + " and no process holds it, so waiting will not help: remove it, or let this user read it, then clean again";
    return unopened + ", and whether a process holds it cannot be seen from here (" +
           (inChildPidNamespace() ? "this engine runs in a PID namespace of its own" : "/proc/locks cannot be read") +
           "): once no clean runs, remove it, or let this user read it, then clean again";
}

// No lock file, and none can be made: the folder's doing.
std::string cannotMake(const std::string& path, int error) {
    const std::string folder = folderOf(path);
    if (error != EACCES && error != EPERM) return "the clean lock " + path + " cannot be made in its folder " + folder + ": " + std::strerror(error);
    struct stat dir {};
    const bool theirs = stat(folder.c_str(), &dir) == 0 && dir.st_uid != geteuid();
    return "the clean lock " + path + " cannot be made: this user may not make files in its folder " + folder + " (" + std::strerror(error) + ")" +
           (theirs ? ", which belongs to another user" : "") + "; let this user write in it, then clean again";
}

}  // namespace

// Holds the lock on fd, waiting (in short steps, so a termination request is
// heard) while another process holds it, until `deadline`. False with errno
// set otherwise (EWOULDBLOCK: still held by another).
bool CleanLock::lock(int fd, Wait wait, std::chrono::steady_clock::time_point deadline, const std::atomic<bool>* stop) {
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK || wait == Wait::No) return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            errno = EWOULDBLOCK;
            return false;
        }
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
    return fstat(fd, &mine) == 0 && lstat(path_.c_str(), &now) == 0 && sameFile(mine, now);
}

CleanLock::CleanLock(const std::string& dbPath, Wait wait, const std::atomic<bool>* stop) : path_(dbPath + ".lock") {
    // The whole wait, however often the file is replaced meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + kLongestWait;
    // A file replaced while this process waited for it is locked again as it
    // is now (a few times at most: each replacement ends another's wait).
    for (int attempt = 0; attempt < 16; ++attempt) {
        const Opened opened = open();
        if (opened == Opened::Finished) return;
        if (opened == Opened::Again) continue;
        if (!lock(fd_, wait, deadline, stop)) {
            if (stopped_) return;
            if (errno != EWOULDBLOCK) problem_ = "the clean lock " + path_ + " cannot be taken: " + std::strerror(errno);
            else if (wait == Wait::Briefly) problem_ = heldByAnotherClean(holderOf(fd_));
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

// The lock file as it stands, or a new one where nothing stands; never
// through a link, which would let whoever placed it choose the file that a
// run as root opens or makes.
CleanLock::Opened CleanLock::open() {
    constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    fd_ = ::open(path_.c_str(), O_RDWR | kFlags);
    const int e = errno;
    // A lock file this user may only read (or on a read-only filesystem)
    // still locks.
    if (fd_ < 0 && (e == EACCES || e == EROFS)) fd_ = ::open(path_.c_str(), O_RDONLY | kFlags);
    if (fd_ < 0 && e == ENOENT) {
        // Whoever makes the lock file, every user who can reach the database
        // beside it can lock it: a run as root must not shut its owner out,
        // whatever its umask. O_EXCL makes it only where no entry stands, not
        // even a link.
        const auto owner = platform::ownerForNewEntry(path_);
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | kFlags, 0644);
        if (fd_ < 0 && errno == EEXIST) return Opened::Again;
        if (fd_ < 0) {
            problem_ = cannotMake(path_, errno);
            return Opened::Finished;
        }
        fchmod(fd_, 0644);
        if (owner) (void)fchown(fd_, owner->uid, owner->gid);
    }
    struct stat st {};
    if (fd_ < 0) {
        if (e == EACCES) return unopenable(e) == TakeOver::Replaced ? Opened::Again : Opened::Finished;
        problem_ = e == ELOOP && lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)
                       ? "the clean lock " + path_ + " is a symbolic link to " + linkTarget(path_) +
                             "; a lock file is never opened or made through a link: remove the link, then clean again"
                       : "the clean lock " + path_ + " cannot be opened: " + std::strerror(e);
        return Opened::Finished;
    }
    if (fstat(fd_, &st) == 0 && !S_ISREG(st.st_mode)) {
        close(fd_);
        fd_ = -1;
        problem_ = "the clean lock " + path_ + " is not a regular file; remove it, then clean again";
        return Opened::Finished;
    }
    return Opened::File;
}

// A lock file this user cannot open waits only for a process that holds it.
// Nobody holding it, it is replaced where that is this user's to do (in a
// folder of this user's, who could remove it anyway); elsewhere it is said
// as it is.
CleanLock::TakeOver CleanLock::unopenable(int error) {
    struct stat st {}, dir {};
    if (lstat(path_.c_str(), &st) != 0) {
        problem_ = "the clean lock " + path_ + " cannot be opened: " + std::strerror(error);
        return TakeOver::Refused;
    }
    const Holders holders = holdersOf(st);
    if (holders == Holders::Some) {
        problem_ = heldByAnother(path_);
        return TakeOver::Refused;
    }
    if (holders == Holders::None && stat(folderOf(path_).c_str(), &dir) == 0 && dir.st_uid == geteuid()) return takeOver();
    problem_ = cannotOpen(path_, error, holders);
    return TakeOver::Refused;
}

// The lock file is replaced by one of this user's, locked: the new one takes
// its place in one step, and the old one is dropped only when no process
// holds or waits for it then. A process that opened the old one before and
// locks it after finds it replaced and locks the new one (the constructor
// checks what it locked).
// Another clean of this user's may swap the name at the same time: what was
// locked counts only while the lock file's name still leads to it.
CleanLock::TakeOver CleanLock::takeOver() {
    const std::string fresh = path_ + "." + std::to_string(getpid()) + ".new";
    const int fd = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        syscall(SYS_renameat2, AT_FDCWD, fresh.c_str(), AT_FDCWD, path_.c_str(), RENAME_EXCHANGE) != 0) {
        problem_ = "the clean lock " + path_ + " cannot be replaced by one of this user's: " + std::strerror(errno);
        if (fd >= 0) {
            unlink(fresh.c_str());
            close(fd);
        }
        return TakeOver::Refused;
    }
    if (afterSwap) afterSwap();
    // Judged by the file itself: a link there says nothing of who locks what.
    struct stat old {};
    const bool regular = lstat(fresh.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    const Holders holders = regular ? holdersOf(old) : Holders::Some;
    if (holders != Holders::None) {
        // The old one goes back in one step; whoever waits on the new one
        // finds it replaced.
        const bool back = rename(fresh.c_str(), path_.c_str()) == 0;
        close(fd);
        problem_ = !back                        ? "the clean lock " + path_ + " could not be put back from " + fresh + ": " + std::strerror(errno) +
                                                      "; move it back by hand before cleaning again"
                   : !regular                   ? "the clean lock " + path_ + " was replaced while it was being taken over; clean again"
                   : holders == Holders::Some ? heldByAnother(path_)
                                                : cannotOpen(path_, EACCES, holders);
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

namespace {

// The whole file, for the record lock around a helper's moves (which locks
// the file apart from the clean lock's flock).
struct flock wholeFile(short type) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    return range;
}

}  // namespace

bool CleanLock::moveInFlight() const {
    struct flock range = wholeFile(F_WRLCK);
    return fd_ >= 0 && fcntl(fd_, F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
}

void CleanLock::holdMove(const std::string& lockPath, bool hold) {
    static int fd = -1;
    if (fd < 0) fd = ::open(lockPath.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    // Shared: helpers left behind in their moves never hold up each other's.
    struct flock range = wholeFile(hold ? F_RDLCK : F_UNLCK);
    if (fd >= 0) (void)fcntl(fd, F_OFD_SETLKW, &range);
}

CleanLock::~CleanLock() {
    if (fd_ >= 0) close(fd_);
}

}  // namespace tidewell::engine
