#include "foundation/Files.h"

#include "foundation/Paths.h"

#include <cerrno>
#include <cstdlib>
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

}  // namespace

std::optional<std::string> readFileContents(const std::string& path, int* error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = errno;
        return std::nullopt;
    }
    std::string out;
    char buffer[65536];
    while (true) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (error) *error = errno;
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

bool writeFileAtomically(const std::string& path, std::string_view contents) {
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
