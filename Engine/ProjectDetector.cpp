#include "ProjectDetector.h"

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
            } else {
                globMarkers_.emplace_back(m, bit);
            }
        }
        for (const auto& a : rules.stacks[i].artifacts) maxArtifactDepth_ = std::max(maxArtifactDepth_, componentCount(a.path));
    }
    skipPaths_ = rules.skipPaths;
    skipNames_ = rules.skipNames;
}

StackMask ProjectDetector::stacksMarkedBy(std::string_view entry) const {
    StackMask mask = 0;
    if (auto it = exactMarkers_.find(std::string(entry)); it != exactMarkers_.end()) mask |= it->second;
    for (const auto& [suffix, bit] : suffixMarkers_)
        if (entry.size() > suffix.size() && entry.substr(entry.size() - suffix.size()) == suffix) mask |= bit;
    if (!globMarkers_.empty()) {
        const std::string name(entry);
        for (const auto& [glob, bit] : globMarkers_)
            if (fnmatch(glob.c_str(), name.c_str(), FNM_PERIOD) == 0) mask |= bit;
    }
    return mask;
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
            if (seen.insert(a.path).second) out.push_back({a.path, a.safetyClass});
    }
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
