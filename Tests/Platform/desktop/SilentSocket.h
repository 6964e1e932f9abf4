#pragma once
// A unix socket that takes every connection into its backlog and never says a
// word: a wedged bus daemon, or a stale address that something else holds.

#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace testing_support {

class SilentSocket {
public:
    explicit SilentSocket(const std::string& path) : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        listening_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd_, 64) == 0;
    }
    ~SilentSocket() { ::close(fd_); }
    SilentSocket(const SilentSocket&) = delete;
    SilentSocket& operator=(const SilentSocket&) = delete;
    bool isListening() const { return listening_; }

private:
    int fd_;
    bool listening_ = false;
};

}  // namespace testing_support
