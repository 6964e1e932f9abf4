#include "TrashMover.h"

#include "Home.h"
#include "MountTable.h"
#include "Movability.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <ctime>
#include <climits>
#include <optional>
#include <sstream>
#include <vector>

#include "foundation/Files.h"

namespace tidewell::engine {

namespace {

int renameNoReplace(int fromFd, const char* from, int toFd, const char* to) {
#ifdef SYS_renameat2
    const long rc = syscall(SYS_renameat2, fromFd, from, toFd, to, RENAME_NOREPLACE);
    if (rc == 0 || (errno != EINVAL && errno != ENOSYS)) return static_cast<int>(rc);
#endif
    // Filesystems without RENAME_NOREPLACE: refuse a clash ourselves.
    struct stat st {};
    if (fstatat(toFd, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return renameat(fromFd, from, toFd, to);
}

std::string errnoText(int e) { return std::strerror(e); }

struct Closer {
    int fd;
    ~Closer() {
        if (fd >= 0) close(fd);
    }
};

// Creates `path` and its parents with mode 0700 where missing.
bool makeFolders(const std::string& path) {
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i != path.size() && path[i] != '/') continue;
        const std::string part = path.substr(0, i);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A trash folder of ours: a real folder owned by us, with files/ and info/.
bool prepareTrash(const std::string& trash, bool create, std::string& error) {
    struct stat st {};
    if (create && !makeFolders(trash)) {
        error = "cannot be moved to the trash: the trash folder " + trash + " cannot be created: " + errnoText(errno);
        return false;
    }
    if (lstat(trash.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) {
        error = "cannot be moved to the trash: the trash folder " + trash + " is not a folder of this user";
        return false;
    }
    for (const char* sub : {"/files", "/info"}) {
        const std::string p = trash + sub;
        if (mkdir(p.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "cannot be moved to the trash: " + p + " cannot be created: " + errnoText(errno);
            return false;
        }
        if (lstat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            error = "cannot be moved to the trash: " + p + " is not a folder";
            return false;
        }
    }
    return true;
}

// The mount point of the mount that holds the entry `name` of `parentFd`.
std::optional<std::string> ownMountPoint(int parentFd, const std::string& name, const MountTable& mounts) {
    struct statx sx {};
    if (statx(parentFd, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_MNT_ID, &sx) != 0 || !(sx.stx_mask & STATX_MNT_ID))
        return std::nullopt;
    return mounts.mountPoint(sx.stx_mnt_id);
}

// The path, without links, of the entry `name` of the open folder `parentFd`.
std::optional<std::string> realPathOf(int parentFd, const std::string& name) {
    std::string buf(PATH_MAX, '\0');
    const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(parentFd)).c_str(), buf.data(), buf.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buf.size() || buf[0] != '/') return std::nullopt;
    buf.resize(static_cast<std::size_t>(n));
    return joinPath(buf, name);
}

bool writeAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Makes info/`name` appear with the whole `text` or not at all, failing with
// EEXIST when the name is taken (the reservation O_EXCL gave): the text goes
// into a file without a name (or, where the filesystem has none, a temporary
// one whose name no trash reader takes for an info file), which is then
// linked to `name`. Its data is made durable (`durable`) before it gets the
// name: after a power loss, an info file is whole or absent, never empty.
// Returns 0 or the errno.
int placeWhole(int infoFd, const std::string& name, const std::string& text, bool unnamed,
               const std::function<int(int)>& durable) {
    if (unnamed) {
        const int fd = openat(infoFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0) {
            const int written = writeAll(fd, text) ? durable(fd) : errno;
            if (written != 0) {
                close(fd);
                return written;
            }
            const std::string self = "/proc/self/fd/" + std::to_string(fd);
            const int rc = linkat(AT_FDCWD, self.c_str(), infoFd, name.c_str(), AT_SYMLINK_FOLLOW);
            const int e = errno;
            if (close(fd) != 0 && rc == 0) {
                const int closeError = errno;
                unlinkat(infoFd, name.c_str(), 0);
                return closeError;
            }
            if (rc == 0 || e == EEXIST) return rc == 0 ? 0 : e;
            // Without /proc, a temporary name instead.
        }
    }
    std::string temp;
    int fd = -1;
    for (int i = 0; fd < 0 && i < 1000; ++i) {
        temp = ".tidewell-" + std::to_string(getpid()) + "-" + std::to_string(i) + ".tmp";
        fd = openat(infoFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) return errno;
    }
    if (fd < 0) return EAGAIN;  // not EEXIST: the name itself may be free
    int e = writeAll(fd, text) ? durable(fd) : errno;
    if (close(fd) != 0 && e == 0) e = errno;
    if (e == 0) {
        // A link keeps the name's reservation; a filesystem without links
        // renames without replacing.
        if (linkat(infoFd, temp.c_str(), infoFd, name.c_str(), 0) != 0) {
            e = errno;
            if (e != EEXIST && renameNoReplace(infoFd, temp.c_str(), infoFd, name.c_str()) == 0) return 0;
            if (e != EEXIST) e = errno;
        }
    }
    unlinkat(infoFd, temp.c_str(), 0);
    return e;
}

std::string infoText(const std::string& encodedPath, const std::string& date) {
    return "[Trash Info]\nPath=" + encodedPath + "\nDeletionDate=" + date + "\n";
}

// Whether `text` is what infoText() gives for `encodedPath`, whole or cut
// short while it was written (the date is any).
bool writtenFor(const std::string& text, const std::string& encodedPath) {
    const std::string head = infoText(encodedPath, "");
    const std::string_view withoutEnd(head.data(), head.size() - 1);
    if (text.size() <= withoutEnd.size()) return withoutEnd.compare(0, text.size(), text) == 0;
    return text.compare(0, withoutEnd.size(), withoutEnd) == 0 && text.find('\n', withoutEnd.size()) >= text.size() - 1;
}

}  // namespace

std::string trashPathEncode(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                          c == '.' || c == '~' || c == '/';
        if (keep) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

namespace {

// The start of a regular file, up to 1 MiB (info files of long paths outgrow
// any one read); nullopt when it cannot be read.
std::optional<std::string> readInfoFile(const std::string& infoFile) {
    const int fd = open(infoFile.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return std::nullopt;
    }
    std::string text;
    char buf[8192];
    ssize_t n;
    while (text.size() < (1u << 20) && ((n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)))
        if (n > 0) text.append(buf, static_cast<std::size_t>(n));
    close(fd);
    return text;
}

}  // namespace

bool holdsInfoText(const std::string& infoFile, const std::string& text) { return readInfoFile(infoFile) == text; }

bool isOwnInfoFileFor(const std::string& infoFile, const std::string& path) {
    const auto read = readInfoFile(infoFile);
    if (!read) return false;
    const std::string& text = *read;
    // The whole path, or the part of it below any folder (a volume's top).
    const std::string encoded = trashPathEncode(path);
    for (std::size_t from = 0; from != std::string::npos; from = encoded.find('/', from + 1))
        if (writtenFor(text, encoded.substr(from == 0 ? 0 : from + 1))) return true;
    return false;
}

std::string mountPointFor(const std::string& path, const std::string& mountinfo) {
    MountTable mounts;
    mounts.parse(mountinfo);
    return mounts.mountPointAbove(path);
}

std::string trashDeletionDate(long long unixSeconds) {
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

std::optional<std::string> rootMakesNoTrash(const std::string& trash) {
    struct stat there {};
    if (lstat(trash.c_str(), &there) == 0 || !platform::ownerForNewEntry(trash)) return std::nullopt;
    return "the trash folder " + trash + " is not there, and a run as root makes none among another user's files";
}

TrashMover::TrashMover(std::string dataHome) : dataHome_(std::move(dataHome)) {}

TrashResult TrashMover::trashPath(const std::string& absolutePath) {
    const auto slash = absolutePath.rfind('/');
    if (absolutePath.empty() || absolutePath.front() != '/' || slash == std::string::npos || slash + 1 == absolutePath.size())
        return {false, {}, "not an absolute path"};
    const std::string parent = slash == 0 ? "/" : absolutePath.substr(0, slash);
    const int pfd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (pfd < 0) return {false, {}, {}, absolutePath + " cannot be moved to the trash: its folder cannot be opened: " + errnoText(errno)};
    TrashResult r = trash(pfd, absolutePath.substr(slash + 1), absolutePath);
    close(pfd);
    return r;
}

TrashResult TrashMover::trash(int parentFd, const std::string& name, const std::string& absolutePath,
                              const FolderIdentity* expected, const BeforeMove& beforeMove) {
    TrashResult result = move(parentFd, name, absolutePath, expected, beforeMove);
    if (!result.moved) result.error = absolutePath + " " + result.error;
    return result;
}

TrashResult TrashMover::move(int parentFd, const std::string& name, const std::string& absolutePath,
                             const FolderIdentity* expected, const BeforeMove& beforeMove) {
    TrashResult result;
    struct stat st {};
    if (fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        result.error = "cannot be read: " + errnoText(errno);
        return result;
    }
    if (expected && (!S_ISDIR(st.st_mode) || st.st_dev != expected->dev || st.st_ino != expected->ino)) {
        result.error = "is not the folder that was measured any more; left in place";
        return result;
    }

    // The home trash when the folder is on the home trash's filesystem, else
    // the trash at the top of the folder's own volume.
    std::string trash = dataHome_ + "/Trash";
    std::string infoPath = absolutePath;
    // Nothing is made before the checks: a home trash on a share that may
    // not answer is never asked (it takes no folder here), and a run as root
    // makes no folder among a user's files.
    if (!homePlaced_) {
        MountTable mounts;
        home_ = placeWithoutAsking(trash, mounts);
        homePlaced_ = true;
    }
    if (home_ && home_->dev == st.st_dev) {
        if (const auto refusal = rootMakesNoTrash(trash)) {
            result.error = "cannot be moved to the trash: " + *refusal;
            return result;
        }
        if (!prepareTrash(trash, true, result.error)) return result;
    } else {
        mounts_.refresh();
        std::string top = mounts_.mountPointAbove(absolutePath);
        std::string onVolume = absolutePath;  // where the folder lies, as the volume's trash records it
        // A path through a link above the project may name another volume
        // than the folder's: its own mount tells its top, and the kernel
        // where it really lies.
        if (const auto own = ownMountPoint(parentFd, name, mounts_); own && !isInsideOrEqual(absolutePath, *own)) {
            top = *own;
            onVolume = realPathOf(parentFd, name).value_or(absolutePath);
        }
        // A mount point is not moved by renaming, and its trash would be
        // made inside the folder itself.
        if (isInsideOrEqual(top, absolutePath)) {
            result.error = "is a mount point, which cannot be moved to the trash; it was left in place";
            return result;
        }
        const std::string uid = std::to_string(getuid());
        const std::string shared = (top == "/" ? "" : top) + "/.Trash";
        struct stat sh {};
        std::string err;
        if (lstat(shared.c_str(), &sh) == 0 && S_ISDIR(sh.st_mode) && (sh.st_mode & S_ISVTX) &&
            (mkdir((shared + "/" + uid).c_str(), 0700) == 0 || errno == EEXIST) && prepareTrash(shared + "/" + uid, false, err)) {
            trash = shared + "/" + uid;
        } else {
            trash = (top == "/" ? "" : top) + "/.Trash-" + uid;
            if (mkdir(trash.c_str(), 0700) != 0 && errno != EEXIST) {
                result.error = "cannot be moved to the trash: the trash folder " + trash + " cannot be created: " + errnoText(errno);
                return result;
            }
            if (!prepareTrash(trash, false, result.error)) return result;
        }
        // Paths in a volume's trash are relative to the volume's top.
        if (top != "/" && isInsideOrEqual(onVolume, top)) infoPath = onVolume.substr(top.size() + 1);
        struct stat ts {};
        if (stat(trash.c_str(), &ts) != 0 || ts.st_dev != st.st_dev) {
            result.error = "cannot be moved to the trash: there is no trash on its own filesystem; it was left in place";
            return result;
        }
    }

    const int filesFd = open((trash + "/files").c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int infoFd = open((trash + "/info").c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const Closer closeFiles{filesFd}, closeInfo{infoFd};
    if (filesFd < 0 || infoFd < 0) {
        result.error = "cannot be moved to the trash: the trash folder " + trash + " cannot be opened: " + errnoText(errno);
        return result;
    }

    const std::string encoded = trashPathEncode(infoPath);
    const std::string info = infoText(encoded, trashDeletionDate(static_cast<long long>(std::time(nullptr))));
    // Names are tried in turn: a trash that holds a thousand folders of one name
    // (node_modules, __pycache__) still takes the next, and the next move of
    // that name starts after the last one taken.
    int& next = nextNumber_[trash][name];
    for (int attempt = std::max(next, 1); attempt <= 1000000; ++attempt) {
        std::string trashName = name;
        if (attempt > 1) trashName += "." + std::to_string(attempt);
        const std::string infoName = trashName + ".trashinfo";
        struct stat taken {};
        if (fstatat(infoFd, infoName.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0 ||
            fstatat(filesFd, trashName.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0)
            continue;
        // Announced before the info file exists: a process that dies at any
        // later step leaves a record that names what to complete or remove.
        if (beforeMove) beforeMove(trash + "/info/" + infoName, trash + "/files/" + trashName, info);
        // The info file reserves the name, and appears whole.
        if (const int e = placeWhole(infoFd, infoName, info, unnamedInfoFiles(), [this](int fd) { return makeDurable(fd); }); e != 0) {
            if (e == EEXIST) continue;
            result.error = "cannot be moved to the trash: its trash information cannot be written: " + errnoText(e);
            break;
        }
        next = attempt + 1;
        // The info file's name reaches the disk before the folder moves:
        // the trash never holds a folder without it after a power loss.
        if (const int e = makeDurable(infoFd); e != 0) {
            unlinkat(infoFd, infoName.c_str(), 0);
            result.error = "cannot be moved to the trash: its trash information cannot be written: " + errnoText(e);
            break;
        }
        infoWritten(trash + "/info/" + infoName);
        if (renameNoReplace(parentFd, name.c_str(), filesFd, trashName.c_str()) == 0) {
            struct statx moved {};
            const bool folder = statx(filesFd, trashName.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                                      STATX_TYPE | STATX_INO | STATX_MNT_ID, &moved) == 0 &&
                                S_ISDIR(moved.stx_mode);
            const dev_t dev = makedev(moved.stx_dev_major, moved.stx_dev_minor);
            const bool same = !expected || (folder && dev == expected->dev && moved.stx_ino == expected->ino);
            // One more look, now that it has left its place: a mount made
            // inside it since it was checked (an automount in a build folder)
            // would have gone with it.
            std::optional<std::string> mount;
            bool unchecked = false;
            if (same && folder) {
                mounts_.refresh();
                const auto mountId = (moved.stx_mask & STATX_MNT_ID) ? std::optional(moved.stx_mnt_id) : std::nullopt;
                mount = mounts_.mountBelow(dev, moved.stx_ino, mountId, absolutePath);
                unchecked = !mount && !mounts_.whole();
            }
            const std::string why = mount       ? "holds another mounted filesystem at " + *mount + ", mounted while it was being moved"
                                    : unchecked ? "could not be checked for mounted filesystems inside it once moved, as the mount table cannot be read"
                                                : "was replaced by something else while it was being moved";
            if (same && !mount && !unchecked) {
                result.moved = true;
                result.trashedPath = trash + "/files/" + trashName;
                result.infoPath = trash + "/info/" + infoName;
            } else if (renameNoReplace(filesFd, trashName.c_str(), parentFd, name.c_str()) == 0) {
                unlinkat(infoFd, infoName.c_str(), 0);
                result.error = why + "; " + (mount || unchecked ? "it" : "that") + " was put back and nothing was moved";
            } else {
                result.error = why + "; its place is taken again, so what moved stays in the trash as " + trash + "/files/" + trashName +
                               ", restorable";
            }
            break;
        }
        const int e = errno;
        unlinkat(infoFd, infoName.c_str(), 0);
        if (e == EEXIST || e == ENOTEMPTY) continue;
        result.error = e == EXDEV ? "cannot be moved to the trash across filesystems; it was left in place"
                                  : "cannot be moved to the trash: " + errnoText(e);
        break;
    }
    if (!result.moved && result.error.empty()) result.error = "cannot be moved to the trash: no free name is left in it";
    return result;
}

int TrashMover::makeDurable(int fd) {
    struct stat st {};
    const bool folder = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    if ((folder ? fsync(fd) : fdatasync(fd)) == 0) return 0;
    // A filesystem that cannot sync has nothing more to give.
    return errno == EINVAL ? 0 : errno;
}

}  // namespace tidewell::engine
