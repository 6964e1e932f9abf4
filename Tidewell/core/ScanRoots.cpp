#include "core/ScanRoots.h"

#include <algorithm>
#include <cerrno>
#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

#include "core/FolderLook.h"
#include "foundation/Log.h"
#include "foundation/Paths.h"

namespace tidewell {

namespace {
std::mutex homeMutex;
std::optional<std::string> homeOverride;

bool isDirectory(const FolderLooks& looks, const std::string& path) {
    const auto* f = looks.facts(path);
    return f && f->statError == 0 && f->isDirectory;
}

std::string trimmed(const std::string& s) {
    const char* blanks = " \t\n\r\v\f";
    const auto b = s.find_first_not_of(blanks);
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

std::string sandboxHome() { return platform::homeDirectory(); }

enum class Absent { drop, keepUnlessGone };

// An absent root is plainly gone only when its parent is a folder that is
// there and in use: the root itself was removed. A missing parent, or an
// empty one (an unmounted disk or network share leaves its mount point
// empty), may come back, so the root is kept.
bool isPlainlyGone(const std::string& path, const FolderFacts& facts) {
    // A sandbox container's own home never comes back as a scan root.
    if (path.find("/Library/Containers/") != std::string::npos) return true;
    return facts.parentIsDirectory && facts.parentHasEntries;
}

// The folder a stored or typed root stands for, before anything looks at it.
std::string rootPathToLook(const std::string& input) {
    auto path = trimmed(input);
    if (path.empty()) return path;
    const auto home = scanRootsRealHome();
    if (path == "~") path = home;
    else if (path.rfind("~/", 0) == 0) path = platform::appendPathComponent(home, path.substr(2));
    return mapToRealHome(path);
}

std::optional<std::string> normalize(const std::string& input, Absent absent, const FolderLooks& looks) {
    const auto path = rootPathToLook(input);
    if (path.empty()) return std::nullopt;
    const auto* facts = looks.facts(path);
    // A folder that does not answer is there, only not now.
    if (!facts) return path;
    if (facts->statError == 0 && facts->isDirectory) return path;
    if (facts->statError != 0) {
        if (facts->accessError != 0 && facts->accessError != ENOENT) return path;  // hidden, not missing
        if (absent == Absent::keepUnlessGone &&
            (platform::isOtherVolumePath(platform::standardizePath(path)) || !isPlainlyGone(path, *facts)))
            return path;
    }
    platform::log("Tidewell skipping scan root (not a folder): %@", path);
    return std::nullopt;
}
}  // namespace

std::string scanRootsRealHome() {
    {
        std::lock_guard lock(homeMutex);
        if (homeOverride) return *homeOverride;
    }
    // $HOME, as every Linux program takes it: under sudo -E or in a
    // container it is not the account's home, and folders under it are kept.
    return platform::homeDirectory();
}

void setRealHomeForTesting(std::optional<std::string> home) {
    std::lock_guard lock(homeMutex);
    homeOverride = std::move(home);
}

std::vector<std::string> defaultScanRootCandidates() {
    std::vector<std::string> paths{scanRootsRealHome()};
    for (const char* name : {"Developer", "Documents", "Desktop", "Downloads", "Projects"})
        paths.push_back(platform::appendPathComponent(paths.front(), name));
    return paths;
}

std::vector<std::string> defaultScanRoots(const FolderLooks& looks) {
    std::vector<std::string> roots{"/"};
    const auto candidates = defaultScanRootCandidates();
    const bool homeExists = isDirectory(looks, candidates.front());
    for (std::size_t i = 1; i < candidates.size(); ++i)
        if (!homeExists || isDirectory(looks, candidates[i])) roots.push_back(candidates[i]);
    return roots;
}

std::string mapToRealHome(const std::string& path) {
    const auto sandbox = sandboxHome();
    const auto real = scanRootsRealHome();
    if (sandbox == real) return path;
    if (path == sandbox) return real;
    const auto prefix = sandbox.ends_with('/') ? sandbox : sandbox + "/";
    if (path.rfind(prefix, 0) == 0) {
        const auto rest = path.substr(prefix.size());
        return rest.empty() ? real : platform::appendPathComponent(real, rest);
    }
    return path;
}

std::vector<std::string> scanRootFoldersToLook(const std::vector<std::string>& roots) {
    auto paths = defaultScanRootCandidates();
    // The startup disk the defaults and the first run's seeding add: a round
    // started before they were added must still have seen it.
    paths.push_back("/");
    for (const auto& root : roots)
        if (auto path = rootPathToLook(root); !path.empty()) paths.push_back(std::move(path));
    return paths;
}

std::optional<std::string> normalizeScanRoot(const std::string& path, const FolderLooks& looks) {
    return normalize(path, Absent::drop, looks);
}

bool isSilentScanRoot(const std::string& root, const FolderLooks& looks) {
    return looks.silent(rootPathToLook(root)) || looks.silent(mapToRealHome(root));
}

std::vector<std::string> normalizeScanRoots(const std::vector<std::string>& roots, const FolderLooks& looks) {
    std::vector<std::string> kept;
    for (const auto& root : roots) {
        auto path = normalize(root, Absent::keepUnlessGone, looks);
        if (path && std::find(kept.begin(), kept.end(), *path) == kept.end()) kept.push_back(*path);
    }
    const bool fromContainer = std::any_of(roots.begin(), roots.end(), [](const std::string& r) {
        return r.find("/Library/Containers/") != std::string::npos;
    });
    if (fromContainer || kept.empty()) {
        for (const auto& d : defaultScanRoots(looks))
            if (std::find(kept.begin(), kept.end(), d) == kept.end()) kept.push_back(d);
    }
    return kept.empty() ? defaultScanRoots(looks) : kept;
}

bool isNotAmongRoots(const std::string& path, const std::vector<std::string>& roots) {
    if (roots.empty()) return true;
    // "/a/Code/" and "/a/Code" are one folder.
    const auto mapped = platform::standardizePath(mapToRealHome(path));
    return std::none_of(roots.begin(), roots.end(), [&](const std::string& r) {
        return r == path || platform::standardizePath(mapToRealHome(r)) == mapped;
    });
}

bool probeFullDiskAccess() {
    // Only a Flatpak sandbox limits what the application can read.
    struct stat st {};
    return ::stat("/.flatpak-info", &st) != 0;
}

}  // namespace tidewell
