// A named pipe in a file's place that never leaves its reader waiting: each
// reader that opens it is given `contents` and then the end of the data by a
// thread at the other end. Code that should refuse the pipe but waits on it
// then reads the contents and fails its test instead of hanging the suite.
#pragma once

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

class FeedingPipe {
public:
    FeedingPipe(const std::string& path, std::string contents) {
        // Reached through its handle, the pipe is still fed when a file is
        // renamed over its name.
        if (::mkfifo(path.c_str(), 0666) != 0 || (handle_ = ::open(path.c_str(), O_PATH | O_CLOEXEC)) < 0) std::abort();
        feeder_ = std::thread([this, contents = std::move(contents)] {
            sigset_t brokenPipe;  // a reader that leaves early is no failure here
            sigemptyset(&brokenPipe);
            sigaddset(&brokenPipe, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);
            while (true) {
                const int fd = ::open(self().c_str(), O_WRONLY | O_CLOEXEC);  // waits for a reader
                if (fd < 0 || ending_) return (void)::close(fd);
                (void)!::write(fd, contents.data(), contents.size());
                ::close(fd);
                // That reader leaves before the next is fed, so it sees the end of the data.
                for (int probe; !ending_ && (probe = ::open(self().c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0;) {
                    ::close(probe);
                    std::this_thread::yield();
                }
            }
        });
    }
    ~FeedingPipe() {
        ending_ = true;
        const int reader = ::open(self().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);  // ends the feeder's wait
        feeder_.join();
        ::close(reader);
        ::close(handle_);
    }
    FeedingPipe(const FeedingPipe&) = delete;
    FeedingPipe& operator=(const FeedingPipe&) = delete;

private:
    std::string self() const { return "/proc/self/fd/" + std::to_string(handle_); }

    int handle_ = -1;
    std::atomic<bool> ending_{false};
    std::thread feeder_;
};

}  // namespace testsupport
