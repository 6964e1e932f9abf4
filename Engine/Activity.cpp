#include "Activity.h"

#include "Home.h"
#include "OpenResolved.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>

namespace tidewell::engine {

namespace {

// A folder's device and inode as the kernel holds them: asked without
// syncing, a FUSE or network filesystem is not asked, so a server that no
// longer answers (an sshfs folder of a host that is gone) never holds the
// scan.
bool heldIdentity(int fd, FolderId& id) {
    struct statx sx {};
    if (statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_INO, &sx) != 0) return false;
    id = {makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_ino};
    return true;
}

// Opens the folder `path` from `dirFd` through what the kernel holds
// already: a step that would ask the filesystem (a permission it must check
// again, a name it must look up) fails with EAGAIN instead of waiting. A
// kernel too old to tell opens it as ever.
int openHeld(int dirFd, const char* path, std::uint64_t resolve) {
    const int fd = openResolved(dirFd, path, O_PATH | O_DIRECTORY | O_CLOEXEC, RESOLVE_CACHED | resolve);
    if (fd >= 0 || (errno != ENOSYS && errno != EINVAL)) return fd;
    return resolve & RESOLVE_IN_ROOT ? -1 : openat(dirFd, path, O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// The folders around a process's working folder, found down from its root
// by the path it works in: where the way up would ask a filesystem (the
// working folder lies in one whose server may not answer), the folders above
// that filesystem are still met, each reached through folders the kernel
// holds.
void insertAroundByPath(const std::string& base, std::set<FolderId>& out) {
    char buf[PATH_MAX];
    const ssize_t n = readlink((base + "/cwd").c_str(), buf, sizeof buf - 1);
    if (n <= 1 || buf[0] != '/') return;
    const std::string path(buf + 1, static_cast<std::size_t>(n - 1));
    const int root = open((base + "/root").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) return;
    FolderId id{};
    if (heldIdentity(root, id)) out.insert(id);
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const int fd = openHeld(root, path.substr(0, slash).c_str(), RESOLVE_IN_ROOT | RESOLVE_NO_SYMLINKS);
        if (fd < 0) break;
        if (heldIdentity(fd, id)) out.insert(id);
        close(fd);
    }
    close(root);
}

}  // namespace

std::set<FolderId> userWorkingFolders() {
    std::set<FolderId> out;
    DIR* proc = opendir("/proc");
    if (!proc) return out;
    const uid_t me = getuid();
    const std::string self = std::to_string(getpid());
    while (const dirent* d = readdir(proc)) {
        if (d->d_name[0] < '0' || d->d_name[0] > '9' || self == d->d_name) continue;
        const std::string base = std::string("/proc/") + d->d_name;
        struct stat st {};
        if (stat(base.c_str(), &st) != 0 || st.st_uid != me) continue;
        // Up from the working folder itself, by "..", until the process's
        // root ("/" is its own parent) or a folder already met, whose own
        // parents are met already too.
        FolderId below{}, here{};
        bool stopped = false;
        for (int fd = open((base + "/cwd").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); fd >= 0;) {
            if (!heldIdentity(fd, here) || here == below || !out.insert(here).second) {
                close(fd);
                break;
            }
            below = here;
            const int up = openHeld(fd, "..", 0);
            stopped = up < 0 && errno == EAGAIN;
            close(fd);
            fd = up;
        }
        if (stopped) insertAroundByPath(base, out);
    }
    closedir(proc);
    return out;
}

std::uint64_t wholeDaysSince(std::int64_t last, std::int64_t now) {
    if (now <= last) return 0;
    return static_cast<std::uint64_t>(now - last) / kSecondsPerDay;
}

}  // namespace tidewell::engine
