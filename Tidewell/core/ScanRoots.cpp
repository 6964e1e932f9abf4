#include "core/ScanRoots.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

#include "foundation/Log.h"
#include "foundation/Paths.h"

namespace tidewell {

namespace {
std::mutex homeMutex;
std::optional<std::string> homeOverride;

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool existsAtAll(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
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
bool isPlainlyGone(const std::string& path) {
    // A sandbox container's own home never comes back as a scan root.
    if (path.find("/Library/Containers/") != std::string::npos) return true;
    const auto parent = std::filesystem::path(path).parent_path();
    std::error_code error;
    if (parent.empty() || !std::filesystem::is_directory(parent, error)) return false;
    std::filesystem::directory_iterator entries(parent, error);
    return !error && entries != std::filesystem::directory_iterator();
}

std::optional<std::string> normalize(const std::string& input, Absent absent) {
    auto path = trimmed(input);
    if (path.empty()) return std::nullopt;
    const auto home = scanRootsRealHome();
    if (path == "~") path = home;
    else if (path.rfind("~/", 0) == 0) path = platform::appendPathComponent(home, path.substr(2));
    path = mapToRealHome(path);
    if (isDirectory(path)) return path;
    if (!existsAtAll(path)) {
        if (::access(path.c_str(), F_OK) != 0 && errno != ENOENT) return path;  // hidden, not missing
        if (absent == Absent::keepUnlessGone &&
            (platform::isOtherVolumePath(platform::standardizePath(path)) || !isPlainlyGone(path)))
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

std::vector<std::string> defaultScanRoots() {
    std::vector<std::string> roots{"/"};
    const auto home = scanRootsRealHome();
    const bool homeExists = isDirectory(home);
    for (const char* name : {"Developer", "Documents", "Desktop", "Downloads", "Projects"}) {
        auto path = platform::appendPathComponent(home, name);
        if (!homeExists || isDirectory(path)) roots.push_back(path);
    }
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

std::optional<std::string> normalizeScanRoot(const std::string& path) { return normalize(path, Absent::drop); }

std::vector<std::string> normalizeScanRoots(const std::vector<std::string>& roots) {
    std::vector<std::string> kept;
    for (const auto& root : roots) {
        auto path = normalize(root, Absent::keepUnlessGone);
        if (path && std::find(kept.begin(), kept.end(), *path) == kept.end()) kept.push_back(*path);
    }
    const bool fromContainer = std::any_of(roots.begin(), roots.end(), [](const std::string& r) {
        return r.find("/Library/Containers/") != std::string::npos;
    });
    if (fromContainer || kept.empty()) {
        for (const auto& d : defaultScanRoots())
            if (std::find(kept.begin(), kept.end(), d) == kept.end()) kept.push_back(d);
    }
    return kept.empty() ? defaultScanRoots() : kept;
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
    return !existsAtAll("/.flatpak-info");
}

}  // namespace tidewell
