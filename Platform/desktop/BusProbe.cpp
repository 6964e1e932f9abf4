#include "desktop/BusProbe.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// A unix socket named by one entry of an address: a path, or an abstract name.
struct UnixEndpoint {
    std::string name;
    bool abstract = false;
};

std::string unescape(std::string_view value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size()) {
            out += char(std::strtol(std::string(value.substr(i + 1, 2)).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += value[i];
        }
    }
    return out;
}

// The unix entries of a D-Bus address, in order; `other` is set when an entry of another kind is there.
std::vector<UnixEndpoint> unixEndpoints(const std::string& address, bool& other) {
    std::vector<UnixEndpoint> endpoints;
    size_t start = 0;
    while (start <= address.size()) {
        size_t end = address.find(';', start);
        if (end == std::string::npos) end = address.size();
        const std::string_view entry(address.data() + start, end - start);
        start = end + 1;
        if (entry.empty()) continue;
        const size_t colon = entry.find(':');
        const std::string_view method = entry.substr(0, colon);
        if (method == "disabled") continue;
        if (method != "unix" || colon == std::string_view::npos) {
            other = true;
            continue;
        }
        std::string_view keys = entry.substr(colon + 1);
        while (!keys.empty()) {
            const size_t comma = keys.find(',');
            const std::string_view pair = keys.substr(0, comma);
            keys = comma == std::string_view::npos ? std::string_view() : keys.substr(comma + 1);
            const size_t eq = pair.find('=');
            if (eq == std::string_view::npos) continue;
            const std::string_view key = pair.substr(0, eq);
            if (key == "path" || key == "abstract") {
                endpoints.push_back({unescape(pair.substr(eq + 1)), key == "abstract"});
                break;
            }
            if (key == "tmpdir" || key == "dir" || key == "runtime") other = true;  // listening addresses only
        }
    }
    return endpoints;
}

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Waits until `fd` is ready for `events` or the deadline passes.
bool waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, remainingMs(deadline));
        if (n > 0) return true;
        if (n == 0 || errno != EINTR) return false;
    }
}

bool sendAll(int fd, std::string_view bytes, Clock::time_point deadline) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(size_t(n));
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!waitFor(fd, POLLOUT, deadline)) return false;
        } else {
            return false;
        }
    }
    return true;
}

// Reads until `complete` says the bytes read so far are enough; false at the deadline or on a closed socket.
template <typename Complete>
bool receiveUntil(int fd, std::string& into, Clock::time_point deadline, Complete complete) {
    char buffer[512];
    while (!complete(into)) {
        if (!waitFor(fd, POLLIN, deadline)) return false;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) into.append(buffer, size_t(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR)) return false;
    }
    return true;
}

void pad(std::string& m, size_t to) {
    while (m.size() % to != 0) m += '\0';
}
void putU32(std::string& m, std::uint32_t v) {
    pad(m, 4);
    m.append(reinterpret_cast<const char*>(&v), 4);  // little-endian, as the message's first byte says
}
void putField(std::string& m, char code, char type, std::string_view value) {
    pad(m, 8);
    m += code;
    m += '\1';
    m += type;
    m += '\0';
    putU32(m, std::uint32_t(value.size()));
    m.append(value);
    m += '\0';
}

// org.freedesktop.DBus.Hello, the first call every client makes.
std::string helloMessage() {
    std::string fields;
    putField(fields, 1, 'o', "/org/freedesktop/DBus");
    putField(fields, 6, 's', "org.freedesktop.DBus");
    putField(fields, 2, 's', "org.freedesktop.DBus");
    putField(fields, 3, 's', "Hello");
    std::string m = {'l', '\1', '\0', '\1'};
    putU32(m, 0);  // no body
    putU32(m, 1);  // serial
    putU32(m, std::uint32_t(fields.size()));
    m += fields;  // the fields start at offset 16, already aligned to 8
    pad(m, 8);
    return m;
}

int connectTo(const UnixEndpoint& endpoint, Clock::time_point deadline) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const size_t offset = endpoint.abstract ? 1 : 0;
    if (endpoint.name.size() + offset >= sizeof addr.sun_path) return -1;
    std::memcpy(addr.sun_path + offset, endpoint.name.data(), endpoint.name.size());
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + endpoint.name.size() + (endpoint.abstract ? 0 : 1));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), length) == 0) return fd;
    // A full backlog: the connection is made once the bus takes it, or never.
    if (errno == EAGAIN || errno == EINPROGRESS) {
        int error = 0;
        socklen_t size = sizeof error;
        if (waitFor(fd, POLLOUT, deadline) && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0)
            return fd;
        ::close(fd);
        errno = EAGAIN;
        return -1;
    }
    ::close(fd);
    return -1;
}

std::string hexOf(std::string_view text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

BusAnswer handshake(int fd, Clock::time_point deadline) {
    const std::string auth = std::string(1, '\0') + "AUTH EXTERNAL " + hexOf(std::to_string(::geteuid())) + "\r\n";
    std::string reply;
    if (!sendAll(fd, auth, deadline) ||
        !receiveUntil(fd, reply, deadline, [](const std::string& r) { return r.find("\r\n") != std::string::npos; }))
        return BusAnswer::silent;
    // Refused: the bus answered, though not to us; Qt's own connection fails as quickly.
    if (reply.rfind("OK ", 0) != 0) return BusAnswer::answered;
    reply.clear();
    // The reply to Hello: a message header of 16 bytes at least.
    if (!sendAll(fd, "BEGIN\r\n" + helloMessage(), deadline) ||
        !receiveUntil(fd, reply, deadline, [](const std::string& r) { return r.size() >= 16; }))
        return BusAnswer::silent;
    return BusAnswer::answered;
}

}  // namespace

BusAnswer askBus(const std::string& address, std::chrono::milliseconds patience) {
    const Clock::time_point deadline = Clock::now() + patience;
    bool other = false;
    bool busy = false;
    for (const UnixEndpoint& endpoint : unixEndpoints(address, other)) {
        const int fd = connectTo(endpoint, deadline);
        if (fd < 0) {
            busy = busy || errno == EAGAIN;
            continue;
        }
        const BusAnswer answer = handshake(fd, deadline);
        ::close(fd);
        return answer;
    }
    if (busy) return BusAnswer::silent;
    return other ? BusAnswer::unknown : BusAnswer::absent;
}

std::optional<std::string> sessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) return std::string(address);
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        const std::string socket = std::string(runtime) + "/bus";
        struct stat st {};
        if (::stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) return "unix:path=" + socket;
    }
    return std::nullopt;
}

std::string systemBusAddress() {
    if (const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS"); address && *address) return address;
    return "unix:path=/var/run/dbus/system_bus_socket";
}

BusAnswer leaveASilentSessionBus(std::chrono::milliseconds patience) {
    const auto address = sessionBusAddress();
    if (!address) return BusAnswer::absent;
    const BusAnswer answer = askBus(*address, patience);
    if (answer == BusAnswer::silent) ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    return answer;
}

}  // namespace platform
