#include "core/FolderLook.h"

#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/Paths.h"

namespace tidewell {

static_assert(std::is_trivially_copyable_v<FolderFacts>, "facts cross a pipe as bytes");

void FolderLooks::record(const std::string& path, std::optional<FolderFacts> facts) { seen_[path] = facts; }

const FolderFacts* FolderLooks::facts(const std::string& path) const {
    auto it = seen_.find(path);
    return it != seen_.end() && it->second ? &*it->second : nullptr;
}

bool FolderLooks::silent(const std::string& path) const {
    auto it = seen_.find(path);
    return it != seen_.end() && !it->second;
}

namespace {

// Only system calls: a child of a threaded process may call nothing else.
bool hasEntries(int dirFd) {
    alignas(8) char buffer[1024];
    for (;;) {
        const long n = ::syscall(SYS_getdents64, dirFd, buffer, sizeof buffer);
        if (n <= 0) return false;
        for (long at = 0; at < n;) {
            const auto* name = buffer + at + 19;  // d_ino, d_off, d_reclen, d_type
            const unsigned short length = *reinterpret_cast<const unsigned short*>(buffer + at + 16);
            if (!(name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))) return true;
            at += length;
        }
    }
}

FolderFacts look(const char* path, const char* parent) {
    FolderFacts f;
    struct stat st {};
    if (::stat(path, &st) == 0) {
        f.isDirectory = S_ISDIR(st.st_mode);
        f.device = static_cast<std::uint64_t>(st.st_dev);
        f.inode = static_cast<std::uint64_t>(st.st_ino);
    } else {
        f.statError = errno;
    }
    f.accessError = ::access(path, F_OK) == 0 ? 0 : errno;
    if (const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        f.listable = true;
        ::close(fd);
    }
    if (const int fd = ::open(parent, O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        f.parentIsDirectory = true;
        f.parentHasEntries = hasEntries(fd);
        ::close(fd);
    }
    return f;
}

std::string parentOf(const std::string& path) {
    auto parent = platform::deletingLastPathComponent(path);
    return parent.empty() ? std::string("/") : parent;
}

// The look in a child process that keeps only the pipe it answers on: a
// child held by a silent server must not keep our sockets or files open.
std::optional<FolderFacts> lookInChild(const std::string& path) {
    const std::string parent = parentOf(path);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return lookInThisProcess(path);
    const pid_t child = ::fork();
    if (child == 0) {
        if (fds[1] != 3 && ::dup2(fds[1], 3) != 3) ::_exit(1);
        ::syscall(SYS_close_range, 4u, ~0u, 0u);
        const FolderFacts f = look(path.c_str(), parent.c_str());
        const char* bytes = reinterpret_cast<const char*>(&f);
        for (std::size_t sent = 0; sent < sizeof f;) {
            const ssize_t n = ::write(3, bytes + sent, sizeof f - sent);
            if (n <= 0 && errno != EINTR) ::_exit(1);
            if (n > 0) sent += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    if (child < 0) {
        ::close(fds[0]);
        return lookInThisProcess(path);
    }
    FolderFacts f;
    std::size_t got = 0;
    while (got < sizeof f) {
        const ssize_t n = ::read(fds[0], reinterpret_cast<char*>(&f) + got, sizeof f - got);
        if (n == 0 || (n < 0 && errno != EINTR)) break;
        if (n > 0) got += static_cast<std::size_t>(n);
    }
    ::close(fds[0]);
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    if (got != sizeof f) return std::nullopt;
    return f;
}

struct Look {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    std::optional<FolderFacts> facts;
};

// Kept for the whole run: a look's thread may outlive everything else.
struct Registry {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<Look>> running;
    std::function<std::optional<FolderFacts>(const std::string&)> testLook;
};
Registry& registry() {
    static auto* const r = new Registry;
    return *r;
}

std::shared_ptr<Look> startLook(const std::string& path) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (auto it = r.running.find(path); it != r.running.end()) return it->second;
    auto started = std::make_shared<Look>();
    r.running[path] = started;
    std::thread([path, started, testLook = r.testLook] {
        auto facts = testLook ? testLook(path) : lookInChild(path);
        {
            std::lock_guard lock(started->mutex);
            started->facts = facts;
            started->done = true;
        }
        started->answered.notify_all();
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        if (auto it = r.running.find(path); it != r.running.end() && it->second == started) r.running.erase(it);
    }).detach();
    return started;
}

}  // namespace

FolderFacts lookInThisProcess(const std::string& path) { return look(path.c_str(), parentOf(path).c_str()); }

FolderLooks lookAtFolders(const std::vector<std::string>& paths, std::chrono::milliseconds patience) {
    std::map<std::string, std::shared_ptr<Look>> looks;
    for (const auto& path : paths)
        if (!path.empty() && !looks.count(path)) looks[path] = startLook(path);
    const auto deadline = std::chrono::steady_clock::now() + patience;
    FolderLooks seen;
    for (const auto& [path, one] : looks) {
        std::unique_lock lock(one->mutex);
        one->answered.wait_until(lock, deadline, [&] { return one->done; });
        seen.record(path, one->done ? one->facts : std::nullopt);
    }
    return seen;
}

void setFolderLookForTesting(std::function<std::optional<FolderFacts>(const std::string&)> look) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.testLook = std::move(look);
}

}  // namespace tidewell
