#include "foundation/Files.h"

#include "foundation/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// `path` with its folder named without links or "..", when that folder is there.
std::string inRealFolder(const std::string& path) {
    char* real = ::realpath(deletingLastPathComponent(path).c_str(), nullptr);
    if (!real) return path;
    std::string out = appendPathComponent(real, lastPathComponent(path));
    std::free(real);
    return out;
}

std::string notARegularFile(mode_t mode) {
    const char* what = S_ISFIFO(mode)                    ? "a named pipe"
                       : S_ISSOCK(mode)                  ? "a socket"
                       : S_ISDIR(mode)                   ? "a folder"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                                                         : "something else";
    return std::string("it is ") + what + ", not a regular file";
}

int failed(FileError* error, int number, std::string reason = {}) {
    if (error) *error = {number, reason.empty() ? std::generic_category().message(number) : std::move(reason)};
    return -1;
}

// Opening a named pipe waits for its other end, for good when there is none.
// A look first keeps anything but a regular file from being opened at all (a
// device may act on being opened); opening without waiting and looking again
// covers one put in its place meanwhile.
int openRegularFile(const std::string& path, int flags, FileError* error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return failed(error, EINVAL, notARegularFile(st.st_mode));
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return failed(error, errno);
    struct stat opened {};
    const int number = ::fstat(fd, &opened) != 0 ? errno : S_ISREG(opened.st_mode) ? 0 : EINVAL;
    if (number != 0) {
        ::close(fd);
        return failed(error, number, number == EINVAL ? notARegularFile(opened.st_mode) : std::string());
    }
    // A regular file's reads and writes go on as usual.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// The owner of the home folder; none when it cannot be looked at.
std::optional<uid_t> homeOwner() {
    struct stat st {};
    if (::stat(homeDirectory().c_str(), &st) != 0) return std::nullopt;
    return st.st_uid;
}

// For a run as root, who a file or folder made in `folder` (which is there)
// is given to: that folder's owner and group when the folder is the home's
// owner's (root with a user's HOME), so nothing of root's is left among the
// user's files; none when root makes it as its own.
std::optional<FileOwner> ownerOfNewEntryIn(const std::string& folder) {
    if (::geteuid() != 0) return std::nullopt;
    struct stat st {};
    if (::stat(folder.empty() ? "." : folder.c_str(), &st) != 0 || st.st_uid == 0 || st.st_uid != homeOwner())
        return std::nullopt;
    return FileOwner{st.st_uid, st.st_gid};
}

// The nearest folder above `path` that is there: the one that must take a
// new file at `path`, or the first folder made on the way to it. None, with
// the system's error number in `error`, when one on the way cannot be looked at.
std::optional<std::string> nearestExistingFolder(const std::string& path, int& error) {
    std::string folder = deletingLastPathComponent(path);
    while (true) {
        const std::string looked = folder.empty() ? std::string(".") : folder;
        struct stat st {};
        if (::stat(looked.c_str(), &st) == 0) return looked;
        const std::string parent = deletingLastPathComponent(folder);
        if (errno != ENOENT || parent == folder || parent.empty()) {
            error = errno;
            return std::nullopt;
        }
        folder = parent;
    }
}

}  // namespace

int openRegularFileForReading(const std::string& path, FileError* error) {
    return openRegularFile(path, O_RDONLY, error);
}

int openRegularFileForWriting(const std::string& path, FileError* error) {
    // Emptied only once it is known to be a regular file.
    const int fd = openRegularFile(path, O_WRONLY | O_CREAT, error);
    if (fd >= 0 && ::ftruncate(fd, 0) != 0) {
        const int number = errno;
        ::close(fd);
        return failed(error, number);
    }
    return fd;
}

std::optional<std::string> readFileContents(const std::string& path, FileError* error) {
    const int fd = openRegularFileForReading(path, error);
    if (fd < 0) return std::nullopt;
    std::string out;
    char buffer[65536];
    while (true) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            failed(error, errno);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

std::optional<std::string> followLinks(const std::string& path, int* error) {
    // The kernel's own limit on links followed in one lookup.
    constexpr int maxLinks = 40;
    std::string current = path;
    for (int followed = 0; followed <= maxLinks; ++followed) {
        struct stat st {};
        const bool missing = ::lstat(current.c_str(), &st) != 0;
        if (missing && errno != ENOENT) {
            if (error) *error = errno;
            return std::nullopt;
        }
        if (missing || !S_ISLNK(st.st_mode)) return followed == 0 ? current : inRealFolder(current);
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        ssize_t n;
        while ((n = ::readlink(current.c_str(), target.data(), target.size())) == ssize_t(target.size()))
            target.resize(target.size() * 2);
        if (n < 0) {
            if (error) *error = errno;
            return std::nullopt;
        }
        target.resize(static_cast<std::size_t>(n));
        const std::string folder = deletingLastPathComponent(current);
        current = target[0] == '/' || folder.empty() ? target : appendPathComponent(folder, target);
    }
    if (error) *error = ELOOP;
    return std::nullopt;
}

bool createDirectories(const std::string& path) {
    if (path.empty()) return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    // The folders to make, the outermost last; the one above them is there.
    std::vector<std::string> missing{path};
    for (std::string parent = deletingLastPathComponent(path); !parent.empty() && parent != missing.back();
         parent = deletingLastPathComponent(parent)) {
        if (::stat(parent.c_str(), &st) == 0) break;
        missing.push_back(parent);
    }
    const auto owner = ownerOfNewEntryIn(deletingLastPathComponent(missing.back()));
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), 0755) == 0) {
            if (owner && ::lchown(it->c_str(), owner->uid, owner->gid) != 0) return false;
        } else if (errno != EEXIST) {
            return false;
        }
    }
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> whyNoRegularFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return std::nullopt;
    return notARegularFile(st.st_mode);
}

bool writeFileAtomically(const std::string& path, std::string_view contents) {
    // A named pipe, a socket or a device where a file belongs is someone's.
    if (whyNoRegularFile(path)) return false;
    const std::string parent = deletingLastPathComponent(path);
    const std::string folder = parent.empty() ? std::string(".") : parent;
    if (!createDirectories(folder)) return false;
    std::string temp = path + ".tmp-XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    // A file the user keeps private (0600 settings in a dotfiles folder) stays
    // private: the replacement takes the permissions of the file it replaces,
    // and, written by root, its owner.
    struct stat existing {};
    const bool replaces = ::stat(path.c_str(), &existing) == 0;
    const mode_t mode = replaces ? (existing.st_mode & 07777) : 0644;
    auto owner = ownerOfNewEntryIn(folder);
    if (replaces && ::geteuid() == 0) owner = FileOwner{existing.st_uid, existing.st_gid};
    bool ok = writeAll(fd, contents) && (!owner || ::fchown(fd, owner->uid, owner->gid) == 0) &&
              ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    int dirfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd >= 0) {
        ::fsync(dirfd);  // makes the rename itself durable; a failure here loses nothing
        ::close(dirfd);
    }
    return true;
}

std::optional<std::string> whyNotReplaceable(const std::string& path, RootSaves root) {
    const uid_t me = ::geteuid();
    const auto notMine = [&](uid_t owner) {
        return owner != me && !(me == 0 && root == RootSaves::asTheHomeOwner && owner == homeOwner());
    };
    const auto message = [](int number) { return std::generic_category().message(number); };
    const std::string file = followLinks(path).value_or(path);
    std::string folder;
    struct stat st {};
    const bool isThere = ::stat(path.c_str(), &st) == 0;
    if (isThere) {
        if (notMine(st.st_uid)) return "it belongs to another user";
        if (!(st.st_mode & S_IWUSR)) return "it is read-only";
        if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return message(errno);
        // The new content is written beside the file and renamed over it: the
        // folder the file is in (through a link, the one it points into) must
        // take a new file.
        const std::string parent = deletingLastPathComponent(file);
        folder = parent.empty() ? std::string(".") : parent;
    } else {
        if (errno != ENOENT) return message(errno);
        int error = 0;
        const auto nearest = nearestExistingFolder(file, error);
        if (!nearest) return message(error);
        folder = *nearest;
    }
    struct stat dir {};
    if (::stat(folder.c_str(), &dir) != 0) return message(errno);
    if (!S_ISDIR(dir.st_mode)) return message(ENOTDIR);
    // Root is held to the folder's owner's write bit too.
    if (!(dir.st_mode & S_IWUSR) && (dir.st_uid == me || me == 0)) return "its folder is read-only";
    // What root makes in another user's folder would be root's, and never
    // that user's to write again.
    if (!isThere && me == 0 && dir.st_uid != 0 && notMine(dir.st_uid)) return "its folder belongs to another user";
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0) return std::nullopt;
    if (dir.st_uid != me) return "its folder belongs to another user";
    return message(errno);
}

std::optional<FileOwner> ownerForNewEntry(const std::string& path) {
    if (::geteuid() != 0) return std::nullopt;
    int error = 0;
    const auto folder = nearestExistingFolder(path, error);
    return folder ? ownerOfNewEntryIn(*folder) : std::nullopt;
}

}  // namespace platform
