#include "desktop/LoginItem.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include <unistd.h>

#include "foundation/Files.h"
#include "foundation/Paths.h"

namespace platform {

namespace {

std::string ownExecutable() {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

// The desktop file's own escapes of a string value.
std::string escapeValue(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

std::string unescapeValue(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (char c = value[++i]) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        default: out += c; break;
        }
    }
    return out;
}

std::optional<std::string> execValue(const std::string& contents) {
    std::istringstream in(contents);
    bool inEntry = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (inEntry && line.rfind("Exec=", 0) == 0) return unescapeValue(line.substr(5));
    }
    return std::nullopt;
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return a == b || std::filesystem::equivalent(a, b, ec);
}

}  // namespace

std::string quoteExecArgument(const std::string& argument) {
    static const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
    if (!argument.empty() && argument.find_first_of(reserved) == std::string::npos) return argument;
    std::string out = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string firstExecArgument(const std::string& exec) {
    std::size_t i = exec.find_first_not_of(' ');
    if (i == std::string::npos) return {};
    std::string out;
    if (exec[i] != '"') {
        auto end = exec.find(' ', i);
        return exec.substr(i, end == std::string::npos ? std::string::npos : end - i);
    }
    for (++i; i < exec.size() && exec[i] != '"'; ++i) {
        if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
        out += exec[i];
    }
    return out;
}

LoginItem::LoginItem(std::string entryPath, std::string executable)
    : entryPath_(std::move(entryPath)), executable_(std::move(executable)) {}

LoginItem LoginItem::forApplication(const std::string& fileName) {
    return LoginItem(appendPathComponent(appendPathComponent(configHomeDirectory(), "autostart"), fileName),
                     ownExecutable());
}

bool LoginItem::isEnabled() const {
    auto contents = readFileContents(entryPath_);
    if (!contents) return false;
    auto exec = execValue(*contents);
    return exec && !executable_.empty() && sameFile(firstExecArgument(*exec), executable_);
}

void LoginItem::setEnabled(bool enabled) const {
    if (!enabled) {
        if (!isEnabled()) return;
        if (::unlink(entryPath_.c_str()) != 0 && errno != ENOENT)
            throw std::runtime_error("Could not remove the login item: " + std::string(std::strerror(errno)));
        return;
    }
    if (executable_.empty()) throw std::runtime_error("Could not add the login item: the application was not found");
    std::error_code ec;
    std::filesystem::create_directories(deletingLastPathComponent(entryPath_), ec);
    if (ec) throw std::runtime_error("Could not add the login item: " + ec.message());
    const std::string entry = "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Tidewell\n"
                              "Exec=" + escapeValue(quoteExecArgument(executable_) + " --background") + "\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n";
    if (!writeFileAtomically(entryPath_, entry))
        throw std::runtime_error("Could not add the login item: " + std::string(std::strerror(errno ? errno : EIO)));
}

}  // namespace platform
