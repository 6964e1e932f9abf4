#include "ProjectDetector.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>

namespace tidewell::engine {

namespace {
bool hasWildcard(std::string_view s) { return s.find_first_of("*?[") != std::string_view::npos; }

int componentCount(const std::string& rel) { return 1 + static_cast<int>(std::count(rel.begin(), rel.end(), '/')); }
}  // namespace

ProjectDetector::ProjectDetector(const Rules& rules) : rules_(rules) {
    for (std::size_t i = 0; i < rules.stacks.size(); ++i) {
        const StackMask bit = StackMask{1} << i;
        for (const auto& m : rules.stacks[i].markers) {
            if (!hasWildcard(m)) {
                exactMarkers_[m] |= bit;
            } else if (m.size() > 1 && m[0] == '*' && !hasWildcard(m.substr(1))) {
                suffixMarkers_.emplace_back(m.substr(1), bit);
            } else if (m.size() > 1 && m.back() == '*' && !hasWildcard(m.substr(0, m.size() - 1))) {
                prefixMarkers_.emplace_back(m.substr(0, m.size() - 1), bit);
            } else {
                globMarkers_.emplace_back(m, bit);
            }
        }
        for (const auto& a : rules.stacks[i].artifacts) {
            if (a.path.rfind("**/", 0) == 0) {
                anywhere_.push_back({a.path.substr(3), {bit, a.safetyClass}});
                anywhereMask_ |= bit;
            }
            else maxArtifactDepth_ = std::max(maxArtifactDepth_, componentCount(a.path));
        }
        if (!rules.stacks[i].confirm.empty()) needsConfirm_ |= bit;
        for (const auto& e : rules.stacks[i].enclosedBy) {
            enclosers_[e] |= bit;
            enclosableMask_ |= bit;
        }
    }
    skipPaths_ = rules.skipPaths;
    skipNames_ = rules.skipNames;
}

StackMask ProjectDetector::stacksMarkedBy(std::string_view entry) const {
    StackMask mask = 0;
    if (auto it = exactMarkers_.find(std::string(entry)); it != exactMarkers_.end()) mask |= it->second;
    for (const auto& [suffix, bit] : suffixMarkers_)
        if (entry.size() > suffix.size() && entry.substr(entry.size() - suffix.size()) == suffix) mask |= bit;
    for (const auto& [prefix, bit] : prefixMarkers_)
        if (entry.size() > prefix.size() && entry.compare(0, prefix.size(), prefix) == 0) mask |= bit;
    if (!globMarkers_.empty()) {
        const std::string name(entry);
        for (const auto& [glob, bit] : globMarkers_)
            if (fnmatch(glob.c_str(), name.c_str(), FNM_PERIOD) == 0) mask |= bit;
    }
    return mask;
}

StackMask ProjectDetector::stacksEnclosedBy(std::string_view entry) const {
    if (enclosers_.empty()) return 0;
    const auto it = enclosers_.find(std::string(entry));
    return it == enclosers_.end() ? 0 : it->second;
}

std::vector<std::string> ProjectDetector::typeIds(StackMask mask) const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < rules_.stacks.size(); ++i)
        if (mask & (StackMask{1} << i)) out.push_back(rules_.stacks[i].id);
    return out;
}

std::vector<ArtifactSpec> ProjectDetector::artifacts(StackMask mask) const {
    std::vector<ArtifactSpec> out;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < rules_.stacks.size(); ++i) {
        if (!(mask & (StackMask{1} << i))) continue;
        for (const auto& a : rules_.stacks[i].artifacts)
            if (a.path.rfind("**/", 0) != 0 && seen.insert(a.path).second) out.push_back({a.path, a.safetyClass, a.confirm});
    }
    return out;
}

StackMask ProjectDetector::anywhereStacks(std::string_view name) const {
    StackMask mask = 0;
    for (const auto& [n, rule] : anywhere_)
        if (n == name) mask |= rule.first;
    return mask;
}

std::string ProjectDetector::anywhereClass(std::string_view name, StackMask mask) const {
    for (const auto& [n, rule] : anywhere_)
        if (n == name && (rule.first & mask)) return rule.second;
    return {};
}

namespace {
// Whether `c` holds in the folder `fd`: the path is there (no link on the
// way) and, when asked, its first 64 KiB hold the text.
bool confirmHolds(int fd, const ConfirmRule& c) {
    const int parent = openParentNoFollow(fd, c.path);
    if (parent < 0) return false;
    const auto slash = c.path.rfind('/');
    const std::string name = slash == std::string::npos ? c.path : c.path.substr(slash + 1);
    bool holds = false;
    if (c.contains.empty()) {
        struct stat st {};
        holds = fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISLNK(st.st_mode);
    } else if (const int f = openat(parent, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK); f >= 0) {
        std::string text(64 * 1024, '\0');
        const ssize_t n = read(f, text.data(), text.size());
        holds = n > 0 && text.substr(0, static_cast<std::size_t>(n)).find(c.contains) != std::string::npos;
        close(f);
    }
    close(parent);
    return holds;
}
}  // namespace

StackMask ProjectDetector::confirmed(int fd, StackMask found) const {
    if (!(found & needsConfirm_)) return found;
    for (std::size_t i = 0; i < rules_.stacks.size(); ++i) {
        const StackMask bit = StackMask{1} << i;
        if (!(found & needsConfirm_ & bit)) continue;
        const auto& confirm = rules_.stacks[i].confirm;
        if (std::none_of(confirm.begin(), confirm.end(), [&](const ConfirmRule& c) { return confirmHolds(fd, c); })) found &= ~bit;
    }
    return found;
}

std::vector<std::string> matchArtifactPaths(int dirFd, const ArtifactSpec& rule) {
    const std::string& rel = rule.relPath;
    const auto slash = rel.rfind('/');
    const std::string last = slash == std::string::npos ? rel : rel.substr(slash + 1);
    std::vector<std::string> out;
    if (!hasWildcard(last)) {
        out.push_back(rel);
    } else if (const int parent = openParentNoFollow(dirFd, rel); parent >= 0) {
        DIR* dir = fdopendir(parent);
        if (!dir) {
            close(parent);
            return out;
        }
        rewinddir(dir);  // a duplicate of `dirFd` shares its read position
        const std::string prefix = slash == std::string::npos ? "" : rel.substr(0, slash + 1);
        while (const dirent* d = readdir(dir))
            if (fnmatch(last.c_str(), d->d_name, FNM_PERIOD) == 0) out.push_back(prefix + d->d_name);
        closedir(dir);
        std::sort(out.begin(), out.end());
    }
    if (!rule.confirm.empty())
        std::erase_if(out, [&](const std::string& folder) {
            return std::none_of(rule.confirm.begin(), rule.confirm.end(),
                                [&](const ConfirmRule& c) { return confirmHolds(dirFd, {folder + "/" + c.path, c.contains}); });
        });
    return out;
}

bool ProjectDetector::skipsFolder(const std::string& path, std::string_view name) const {
    if (!name.empty() && name.front() == '.') return true;
    for (const auto& p : skipPaths_)
        if (p == path) return true;
    const std::string n(name);
    for (const auto& s : skipNames_)
        if (fnmatch(s.c_str(), n.c_str(), 0) == 0) return true;
    return false;
}

bool ProjectDetector::isVersionControl(std::string_view name) { return name == ".git" || name == ".hg" || name == ".svn"; }

int openParentNoFollow(int dirFd, const std::string& rel) {
    int fd = fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return -1;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = rel.find('/', start);
        if (slash == std::string::npos) return fd;
        const std::string part = rel.substr(start, slash - start);
        const int next = openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int saved = errno;
        close(fd);
        if (next < 0) {
            errno = saved;
            return -1;
        }
        fd = next;
        start = slash + 1;
    }
}

FolderState probeRealFolder(int dirFd, const std::string& rel) {
    const int parent = openParentNoFollow(dirFd, rel);
    if (parent < 0) return errno == ENOENT ? FolderState::Missing : FolderState::NotRealFolder;
    const std::size_t slash = rel.rfind('/');
    const std::string name = slash == std::string::npos ? rel : rel.substr(slash + 1);
    struct stat st {};
    const int rc = fstatat(parent, name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
    const int saved = errno;
    close(parent);
    if (rc != 0) return saved == ENOENT ? FolderState::Missing : FolderState::NotRealFolder;
    return S_ISDIR(st.st_mode) ? FolderState::RealFolder : FolderState::NotRealFolder;
}

}  // namespace tidewell::engine
