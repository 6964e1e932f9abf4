#include "GitIndex.h"

#include "Home.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <iterator>
#include <string_view>
#include <system_error>
#include <unordered_set>

namespace tidewell::engine {

namespace {

std::string errorText(int e) { return std::error_code(e, std::generic_category()).message(); }

}  // namespace

std::optional<std::string> readRegularFileAt(int dirFd, const std::string& name, int flags, std::size_t limit, std::string& error) {
    const int fd = openat(dirFd, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags);
    if (fd < 0) {
        error = errno == ELOOP && (flags & O_NOFOLLOW) ? "it is a symbolic link" : errorText(errno);
        return std::nullopt;
    }
    struct stat st {};
    const int saved = fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
    if (saved != 0) {
        error = saved == EINVAL ? "it is not a regular file" : errorText(saved);
        close(fd);
        errno = saved;
        return std::nullopt;
    }
    std::string data(std::min<std::size_t>(static_cast<std::size_t>(st.st_size), limit), '\0');
    std::size_t got = 0;
    while (got < data.size()) {
        const ssize_t n = read(fd, data.data() + got, data.size() - got);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int saved = errno;
            error = errorText(saved);
            close(fd);
            errno = saved;
            return std::nullopt;
        }
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    data.resize(got);
    return data;
}

namespace {

std::optional<std::string> readRegularFile(const std::string& path, std::size_t limit, std::string& error) {
    return readRegularFileAt(AT_FDCWD, path, 0, limit, error);
}

std::uint32_t be32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return (std::uint32_t{u[0]} << 24) | (std::uint32_t{u[1]} << 16) | (std::uint32_t{u[2]} << 8) | u[3];
}
std::uint16_t be16(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint16_t>((u[0] << 8) | u[1]);
}

// Keeps what answers for folders while the entries pass by, within a budget
// tied to the size of the files read: a version 4 index names long paths in
// few bytes, and a hostile one would otherwise need memory without end.
class Collector {
public:
    void allow(std::size_t bytes) { budget_ += 16 * bytes + 64 * 1024; }
    void clear() {
        folders_.clear();
        out_ = {};
        used_ = 0;
    }
    bool add(const GitIndexEntry& entry) {
        const std::string_view path = entry.path;
        if (path.empty()) return true;
        if ((entry.mode & 0170000) == 0160000) {
            out_.submodules.emplace_back(path);
            used_ += path.size();
        }
        // A sparse index's folder entry ends in "/": it answers for itself.
        const auto slash = path.rfind('/');
        const std::string_view folder = slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash);
        if (folders_.emplace(folder).second) {
            out_.files.emplace_back(path);
            used_ += folder.size() + path.size();
        }
        return used_ <= budget_;
    }
    GitIndexPaths take() {
        std::sort(out_.files.begin(), out_.files.end());
        std::sort(out_.submodules.begin(), out_.submodules.end());
        folders_.clear();
        return std::move(out_);
    }

private:
    std::unordered_set<std::string> folders_;
    GitIndexPaths out_;
    std::size_t used_ = 0;
    std::size_t budget_ = 0;
};

// Parses `data` as an index whose object names are `hashLen` bytes long,
// handing each entry to `visit`; false when it does not hold together that
// way, or `visit` said to stop. `sharedIndex` is set to the hex name of a
// split index's shared part.
template <class Visit>
bool parse(std::string_view data, std::size_t hashLen, Visit&& visit, std::string& sharedIndex) {
    constexpr std::size_t kStat = 40;  // times, device, inode, mode, owner, group, size
    constexpr std::size_t kMtimeAt = 8, kModeAt = 24, kSizeAt = 36;
    if (data.size() < 12 + hashLen || data.substr(0, 4) != "DIRC") return false;
    const std::uint32_t version = be32(data.data() + 4);
    if (version < 2 || version > 4) return false;
    const std::uint32_t count = be32(data.data() + 8);
    const std::size_t end = data.size() - hashLen;
    std::size_t at = 12;
    std::string path;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t start = at;
        if (end - at < kStat + hashLen + 2) return false;
        GitIndexEntry entry;
        entry.mtimeSeconds = be32(data.data() + at + kMtimeAt);
        entry.mtimeNanoseconds = be32(data.data() + at + kMtimeAt + 4);
        entry.mode = be32(data.data() + at + kModeAt);
        entry.size = be32(data.data() + at + kSizeAt);
        at += kStat + hashLen;
        const std::uint16_t flags = be16(data.data() + at);
        entry.stage = (flags >> 12) & 3;
        at += 2;
        if (flags & 0x4000) {  // extended flags follow
            if (version < 3 || end - at < 2) return false;
            entry.skipWorktree = be16(data.data() + at) & 0x4000;
            at += 2;
        }
        if (version == 4) {
            // The number of bytes to drop from the previous path, in Git's
            // offset encoding, then the rest of this one.
            std::size_t drop = 0;
            for (unsigned char c;;) {
                if (at >= end) return false;
                c = static_cast<unsigned char>(data[at++]);
                drop = (drop << 7) | (c & 127);
                if (!(c & 128)) break;
                if (drop > path.size()) return false;
                ++drop;
            }
            if (drop > path.size()) return false;
            path.resize(path.size() - drop);
        } else {
            path.clear();
        }
        const std::size_t nul = data.find('\0', at);
        if (nul == std::string_view::npos || nul >= end) return false;
        // No folder holds a path this long: Git could not have written it.
        if (path.size() + (nul - at) >= PATH_MAX) return false;
        path.append(data.substr(at, nul - at));
        const std::size_t nameLen = flags & 0xFFF;
        if (nameLen < 0xFFF && nameLen != path.size()) return false;
        if (version == 4) {
            at = nul + 1;
        } else {
            // 1 to 8 NUL bytes pad each entry to a multiple of 8.
            at = start + ((at - start + (nul - at) + 8) & ~std::size_t{7});
            if (at > end) return false;
        }
        // A split index names replaced entries without a path.
        entry.path = path;
        if (!visit(entry)) return false;
    }
    // Extensions, each a signature, a size and its data, up to the checksum.
    while (at < end) {
        if (end - at < 8) return false;
        const std::string_view signature = data.substr(at, 4);
        const std::uint32_t size = be32(data.data() + at + 4);
        at += 8;
        if (end - at < size) return false;
        if (signature == "link") {
            if (size < hashLen) return false;
            static const char* const hex = "0123456789abcdef";
            std::string name;
            bool zero = true;
            for (std::size_t k = 0; k < hashLen; ++k) {
                const auto b = static_cast<unsigned char>(data[at + k]);
                zero = zero && b == 0;
                name += hex[b >> 4];
                name += hex[b & 15];
            }
            if (!zero) sharedIndex = name;
        }
        at += size;
    }
    return at == end;
}

// The paths of the index file `file`: the top one (`top`), which may be
// missing and may name a shared part, or a shared part, which may do neither.
std::optional<GitIndexPaths> readIndexFile(const std::string& file, bool top, std::string& sharedIndex, std::string& error) {
    const auto data = readRegularFile(file, SIZE_MAX, error);
    if (!data) {
        if (top && errno == ENOENT) return GitIndexPaths{};  // nothing added yet
        return std::nullopt;
    }
    Collector out;
    out.allow(data->size());
    const auto collect = [&out](const GitIndexEntry& e) { return out.add(e); };
    // Object names are SHA-1 (20 bytes) or, in a SHA-256 repository, 32.
    if (!parse(*data, 20, collect, sharedIndex)) {
        out.clear();
        sharedIndex.clear();
        if (!parse(*data, 32, collect, sharedIndex)) {
            error = "it is damaged or not an index";
            return std::nullopt;
        }
    }
    if (!top && !sharedIndex.empty()) {
        error = "its shared part is damaged: it names another";
        return std::nullopt;
    }
    return out.take();
}

}  // namespace

std::optional<GitIndexPaths> readGitIndexPaths(const std::string& gitDir, const std::string& file, std::string& error) {
    std::string sharedIndex;
    auto paths = readIndexFile(file, true, sharedIndex, error);
    if (!paths || sharedIndex.empty()) return paths;
    // A split index: the shared part holds the rest, and must be there.
    // Entries it marks as deleted are still counted: a folder is never taken
    // for untracked by mistake.
    std::string unused;
    auto shared = readIndexFile(joinPath(gitDir, "sharedindex." + sharedIndex), false, unused, error);
    if (!shared) {
        error = "its shared part cannot be read: " + error;
        return std::nullopt;
    }
    const auto merge = [](std::vector<std::string>& into, std::vector<std::string>& from) {
        const auto middle = static_cast<std::ptrdiff_t>(into.size());
        into.insert(into.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
        std::inplace_merge(into.begin(), into.begin() + middle, into.end());
    };
    merge(paths->files, shared->files);
    merge(paths->submodules, shared->submodules);
    return paths;
}

std::string gitfileTarget(std::string_view text) {
    const std::string_view line = text.substr(0, text.find_first_of("\r\n"));
    return line.substr(0, 8) == "gitdir: " ? std::string(line.substr(8)) : std::string();
}

std::string gitDirOf(const std::string& dotGit, std::string& error) {
    struct stat st {};
    if (stat(dotGit.c_str(), &st) != 0) {
        error = errorText(errno);
        return {};
    }
    if (S_ISDIR(st.st_mode)) return dotGit;
    // A gitfile is one short line.
    const auto text = readRegularFile(dotGit, 64 * 1024, error);
    if (!text) return {};
    const std::string named = gitfileTarget(*text);
    if (named.empty()) {
        error = "its .git file names no repository";
        return {};
    }
    const std::string folder = dotGit.substr(0, dotGit.rfind('/'));
    return normalizePath(named.front() == '/' ? named : joinPath(folder.empty() ? "/" : folder, named));
}

}  // namespace tidewell::engine
