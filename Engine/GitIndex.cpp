#include "GitIndex.h"

#include "Home.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <system_error>

namespace tidewell::engine {

namespace {

std::string errorText(int e) { return std::error_code(e, std::generic_category()).message(); }

// The whole file, or nothing with errno set.
std::optional<std::string> readWhole(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string data;
    struct stat st {};
    if (fstat(fd, &st) == 0 && st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
    char buf[64 * 1024];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int saved = errno;
            close(fd);
            errno = saved;
            return std::nullopt;
        }
        data.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    return data;
}

std::uint32_t be32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return (std::uint32_t{u[0]} << 24) | (std::uint32_t{u[1]} << 16) | (std::uint32_t{u[2]} << 8) | u[3];
}
std::uint16_t be16(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<std::uint16_t>((u[0] << 8) | u[1]);
}

struct Parsed {
    std::vector<std::string> paths;
    std::string sharedIndex;  // the hex name of a split index's shared part, if any
};

// Parses `data` as an index whose object names are `hashLen` bytes long;
// false when it does not hold together that way.
bool parse(std::string_view data, std::size_t hashLen, Parsed& out) {
    constexpr std::size_t kStat = 40;  // times, device, inode, mode, owner, group, size
    if (data.size() < 12 + hashLen || data.substr(0, 4) != "DIRC") return false;
    const std::uint32_t version = be32(data.data() + 4);
    if (version < 2 || version > 4) return false;
    const std::uint32_t count = be32(data.data() + 8);
    const std::size_t end = data.size() - hashLen;
    std::size_t at = 12;
    std::string path;
    out.paths.clear();
    out.paths.reserve(std::min<std::size_t>(count, end / (kStat + hashLen + 3)));
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t start = at;
        if (end - at < kStat + hashLen + 2) return false;
        at += kStat + hashLen;
        const std::uint16_t flags = be16(data.data() + at);
        at += 2;
        if (flags & 0x4000) {  // extended flags follow
            if (version < 3 || end - at < 2) return false;
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
        if (!path.empty()) out.paths.push_back(path);  // a split index names replaced entries without a path
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
            if (!zero) out.sharedIndex = name;
        }
        at += size;
    }
    return at == end;
}

}  // namespace

std::optional<std::vector<std::string>> readGitIndexPaths(const std::string& gitDir, const std::string& file, std::string& error) {
    const auto data = readWhole(file);
    if (!data) {
        if (errno == ENOENT) return std::vector<std::string>{};  // nothing added yet
        error = errorText(errno);
        return std::nullopt;
    }
    Parsed parsed;
    // Object names are SHA-1 (20 bytes) or, in a SHA-256 repository, 32.
    if (!parse(*data, 20, parsed) && !parse(*data, 32, parsed)) {
        error = "it is damaged or not an index";
        return std::nullopt;
    }
    if (!parsed.sharedIndex.empty()) {
        // A split index: the shared part holds the rest. Entries it marks as
        // deleted are still counted: a folder is never taken for untracked
        // by mistake.
        auto shared = readGitIndexPaths(gitDir, joinPath(gitDir, "sharedindex." + parsed.sharedIndex), error);
        if (!shared) return std::nullopt;
        parsed.paths.insert(parsed.paths.end(), shared->begin(), shared->end());
    }
    return std::move(parsed.paths);
}

std::string gitDirOf(const std::string& dotGit, std::string& error) {
    struct stat st {};
    if (stat(dotGit.c_str(), &st) != 0) {
        error = errorText(errno);
        return {};
    }
    if (S_ISDIR(st.st_mode)) return dotGit;
    const auto text = readWhole(dotGit);
    if (!text) {
        error = errorText(errno);
        return {};
    }
    std::string_view line(*text);
    line = line.substr(0, line.find_first_of("\r\n"));
    if (line.substr(0, 8) != "gitdir: " || line.size() == 8) {
        error = "its .git file names no repository";
        return {};
    }
    const std::string named(line.substr(8));
    const std::string folder = dotGit.substr(0, dotGit.rfind('/'));
    return normalizePath(named.front() == '/' ? named : joinPath(folder.empty() ? "/" : folder, named));
}

}  // namespace tidewell::engine
