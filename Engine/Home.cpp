#include "Home.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

namespace tidewell::engine {

namespace {
std::string envOr(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string passwdHome() {
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}
}  // namespace

std::string homeFolder() {
    if (auto v = envOr("TIDEWELL_HOME"); !v.empty()) return v;
    if (auto v = envOr("HOME"); !v.empty()) return v;
    return passwdHome();
}

std::string dataHome() {
    if (auto v = envOr("XDG_DATA_HOME"); !v.empty() && v.front() == '/') return v;
    auto home = envOr("HOME");
    if (home.empty()) home = passwdHome();
    return home + "/.local/share";
}

std::string expandHome(const std::string& path, const std::string& home) {
    if (path == "~") return home;
    if (path.rfind("~/", 0) == 0) return home + path.substr(1);
    return path;
}

std::string normalizePath(const std::string& path) {
    std::string full = path;
    if (full.empty() || full.front() != '/') {
        std::vector<char> buf(4096);
        std::string cwd = getcwd(buf.data(), buf.size()) ? buf.data() : "/";
        full = cwd + "/" + full;
    }
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i <= full.size()) {
        std::size_t j = full.find('/', i);
        if (j == std::string::npos) j = full.size();
        std::string part = full.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        i = j + 1;
    }
    if (parts.empty()) return "/";
    std::string out;
    for (const auto& p : parts) out += "/" + p;
    return out;
}

bool isInsideOrEqual(const std::string& path, const std::string& folder) {
    if (path == folder) return true;
    if (folder == "/") return !path.empty() && path.front() == '/';
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

bool isBelowAny(std::string_view path, const std::unordered_set<std::string_view>& folders) {
    for (std::size_t i = path.find('/'); i != std::string_view::npos && i + 1 < path.size(); i = path.find('/', i + 1))
        if (folders.count(i == 0 ? std::string_view("/") : path.substr(0, i))) return true;
    return false;
}

std::optional<std::string> realPath(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return std::nullopt;
    std::string out(real);
    free(real);
    return out;
}

std::string linkTarget(const std::string& path) {
    char buf[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf);
    return n < 0 ? "?" : std::string(buf, static_cast<std::size_t>(n));
}

std::string joinPath(const std::string& folder, const std::string& rel) {
    return folder == "/" ? "/" + rel : folder + "/" + rel;
}

}  // namespace tidewell::engine
