#pragma once
// A FUSE filesystem served by a thread of the test, which then falls silent as
// one whose server hangs. Mount it in a mount namespace of the test's own
// (unshare(CLONE_NEWNS) first, as root), so nothing else on the machine meets it.

#include <linux/fuse.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// A mount namespace of the calling thread's own, and of the threads and
// processes it starts from then on, where nothing else on the machine meets
// a mount made. As root.
inline bool enterOwnMountNamespace() {
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// The first line of /proc/PID/FILE; empty once the process is gone.
inline std::string procLine(const std::string& pid, const std::string& file) {
    std::string text;
    std::getline(std::ifstream("/proc/" + pid + "/" + file), text);
    return text;
}

// Whether the process `pid` waits on a request a FUSE server read and has
// not answered: there, even SIGKILL leaves it.
inline bool waitsOnServer(const std::string& pid) { return procLine(pid, "wchan") == "request_wait_answer"; }

// The pid of this process's child named `name` (as /proc names it), or empty.
inline std::string childNamed(const std::string& name) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename(), stat = procLine(pid, "stat");  // "PID (NAME) STATE PPID ..."
        const auto open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos || stat.substr(open + 1, close - open - 1) != name) continue;
        std::istringstream rest(stat.substr(close + 1));
        std::string state;
        pid_t parent = 0;
        if (rest >> state >> parent && parent == getpid()) return pid;
    }
    return {};
}

// A FUSE filesystem served here that answers while a process enters it, then
// falls silent, as one whose server hangs (an sshfs folder of a host that is
// gone): whatever it is asked from then on waits until it goes away.
class SilentFilesystem {
public:
    explicit SilentFilesystem(const std::string& at) : at_(at) {
        fuse_ = open("/dev/fuse", O_RDWR | O_CLOEXEC);
        const std::string options =
            "fd=" + std::to_string(fuse_) + ",rootmode=40755,user_id=0,group_id=0,default_permissions,allow_other";
        mounted_ = fuse_ >= 0 && mount("silent", at.c_str(), "fuse.silent", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
        if (mounted_) server_ = std::thread([this] { serve(); });
    }
    ~SilentFilesystem() {
        hangUp();
        close(stop_);
    }
    // The server goes away: every request still waiting ends, and so does
    // whatever waits for one.
    void hangUp() {
        const std::uint64_t one = 1;
        if (server_.joinable() && write(stop_, &one, sizeof one) == sizeof one) server_.join();
        if (mounted_) umount2(at_.c_str(), MNT_DETACH);
        mounted_ = false;
        if (fuse_ >= 0) close(fuse_);
        fuse_ = -1;
    }
    SilentFilesystem(const SilentFilesystem&) = delete;
    SilentFilesystem& operator=(const SilentFilesystem&) = delete;
    bool mounted() const { return mounted_; }
    // Answers a look, as a share does until its host is gone.
    bool answers() const {
        struct stat st {};
        return mounted_ && stat(at_.c_str(), &st) == 0;
    }
    void fallSilent() { silent_ = true; }
    // How many requests wait unanswered since it fell silent.
    int holding() const {
        std::lock_guard lock(heldMutex_);
        return held_;
    }
    // Waits until `count` requests wait unanswered; false when they never
    // came (a long guard against a hang, not a time any test relies on).
    bool waitUntilHolding(int count) {
        std::unique_lock lock(heldMutex_);
        return heldChanged_.wait_for(lock, std::chrono::minutes(2), [&] { return held_ >= count; });
    }
    // Falls silent at the first request of kind `opcode` (FUSE_TMPFILE, say),
    // which is never answered either.
    void fallSilentAt(std::uint32_t opcode) { silentAt_ = opcode; }

private:
    void serve() {
        std::vector<char> request(FUSE_MIN_READ_BUFFER + 65536);
        pollfd waits[] = {{fuse_, POLLIN, 0}, {stop_, POLLIN, 0}};
        while (poll(waits, 2, -1) >= 0 && !(waits[1].revents & POLLIN)) {
            const ssize_t n = read(fuse_, request.data(), request.size());
            if (n < static_cast<ssize_t>(sizeof(fuse_in_header))) continue;
            fuse_in_header in;
            std::memcpy(&in, request.data(), sizeof in);
            if (in.opcode == FUSE_FORGET || in.opcode == FUSE_BATCH_FORGET || in.opcode == FUSE_INTERRUPT) continue;
            if (silentAt_ != 0 && in.opcode == silentAt_) silent_ = true;
            if (silent_) {
                std::lock_guard lock(heldMutex_);
                ++held_;
                heldChanged_.notify_all();
                continue;
            }
            if (in.opcode == FUSE_INIT) {
                fuse_init_out init{};
                init.major = FUSE_KERNEL_VERSION;
                init.minor = FUSE_KERNEL_MINOR_VERSION;
                init.max_write = 4096;
                answer(in, 0, &init, sizeof init);
            } else if (in.opcode == FUSE_GETATTR) {
                fuse_attr_out attr{};  // valid for no time: asked again at every look
                attr.attr.ino = in.nodeid;
                attr.attr.mode = S_IFDIR | 0755;
                attr.attr.nlink = 2;
                answer(in, 0, &attr, sizeof attr);
            } else {
                answer(in, -ENOSYS, nullptr, 0);
            }
        }
    }
    void answer(const fuse_in_header& in, int error, const void* body, std::size_t size) {
        const fuse_out_header out{static_cast<std::uint32_t>(sizeof(fuse_out_header) + size), error, in.unique};
        std::vector<char> reply(sizeof out + size);
        std::memcpy(reply.data(), &out, sizeof out);
        if (size) std::memcpy(reply.data() + sizeof out, body, size);
        (void)!write(fuse_, reply.data(), reply.size());
    }

    std::string at_;
    int fuse_ = -1;
    int stop_ = eventfd(0, EFD_CLOEXEC);
    bool mounted_ = false;
    std::atomic<bool> silent_{false};
    mutable std::mutex heldMutex_;
    std::condition_variable heldChanged_;
    int held_ = 0;
    std::atomic<std::uint32_t> silentAt_{0};
    std::thread server_;
};

}  // namespace testsupport
