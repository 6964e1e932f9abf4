#include "foundation/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

std::string passwdHome(const passwd* entry) {
    if (entry && entry->pw_dir && entry->pw_dir[0]) return entry->pw_dir;
    return {};
}

std::string homeOfUser(const std::string& name) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &result) != 0) return {};
    return passwdHome(result);
}

std::string envValue(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

}  // namespace

std::string realHomeDirectory() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0) {
        std::string home = passwdHome(result);
        if (!home.empty()) return home;
    }
    std::string login = envValue("LOGNAME");
    if (login.empty()) login = envValue("USER");
    if (login.empty()) {
        if (const char* name = getlogin()) login = name;
    }
    return "/home/" + login;
}

std::string homeDirectory() {
    std::string home = envValue("HOME");
    return home.empty() ? realHomeDirectory() : home;
}

std::string standardizePath(std::string_view input) {
    if (input.empty()) return {};
    std::string path(input);
    if (path[0] == '~') {
        auto slash = path.find('/');
        std::string user = path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
        std::string home = user.empty() ? homeDirectory() : homeOfUser(user);
        // An unknown "~user" stays as written, like the shell leaves it.
        if (!home.empty()) path = home + (slash == std::string::npos ? std::string() : path.substr(slash));
    }
    const bool absolute = path[0] == '/';
    std::vector<std::string_view> parts;
    std::string_view rest(path);
    while (!rest.empty()) {
        auto slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") {
                parts.pop_back();
                continue;
            }
            if (absolute) continue;  // "/.." is "/"
        }
        parts.push_back(part);
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) out += '/';
        out += parts[i];
    }
    if (out.empty()) out = ".";
    return out;
}

std::string dataHomeDirectory() {
    std::string xdg = envValue("XDG_DATA_HOME");
    if (!xdg.empty() && xdg[0] == '/') return standardizePath(xdg);
    return appendPathComponent(homeDirectory(), ".local/share");
}

std::string configHomeDirectory() {
    std::string xdg = envValue("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg[0] == '/') return standardizePath(xdg);
    return appendPathComponent(homeDirectory(), ".config");
}

bool isOtherVolumePath(std::string_view path) {
    for (std::string_view prefix : {"/Volumes/", "/media/", "/run/media/", "/mnt/"})
        if (path.starts_with(prefix)) return true;
    return false;
}

std::string currentDirectory() {
    std::vector<char> buffer(4096);
    while (true) {
        if (getcwd(buffer.data(), buffer.size())) return buffer.data();
        if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string appendPathComponent(std::string_view base, std::string_view component) {
    std::string out(base);
    while (!component.empty() && component.front() == '/') component.remove_prefix(1);
    if (out.empty()) return std::string(component);
    if (out.back() != '/') out += '/';
    out += component;
    return out;
}

std::string deletingLastPathComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    auto slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    if (slash == 0) return "/";
    return std::string(path.substr(0, slash));
}

std::string lastPathComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    if (path == "/") return "/";
    auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace platform
