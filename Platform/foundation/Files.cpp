#include "foundation/Files.h"

#include "foundation/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>
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
    std::string parent = deletingLastPathComponent(path);
    if (!parent.empty() && parent != path && !createDirectories(parent)) return false;
    if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    return false;
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
    // private: the replacement takes the permissions of the file it replaces.
    struct stat existing {};
    const mode_t mode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    bool ok = writeAll(fd, contents) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
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

}  // namespace platform
