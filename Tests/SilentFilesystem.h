#pragma once
// A FUSE filesystem served by a thread of the test, which then falls silent as
// one whose server hangs. Mount it in a mount namespace of the test's own
// (unshare(CLONE_NEWNS) first, as root), so nothing else on the machine meets it.

#include <dirent.h>
#include <linux/fuse.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdint>
#include <ctime>
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

// Whether the process `pid` waits in the kernel for a FUSE server's answer.
// Only once the server has read the request (SilentFilesystem::holding())
// does even SIGKILL leave it there: before that, a fatal signal ends the
// wait. A test that signals it waits for both (holdsRequestFrom()).
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

// How many children of this process have not ended: the looks a silent
// server still holds, once the others returned.
inline int runningChildren() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string stat = procLine(entry.path().filename(), "stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(stat.substr(close + 1));
        std::string state;
        pid_t parent = 0;
        if (rest >> state >> parent && parent == getpid() && state != "Z") ++count;
    }
    return count;
}

// A file the filesystem serves while it answers, with its size; the folders
// on its path are served too.
struct ServedFile {
    std::string path;  // relative, "web/package.json"
    std::size_t size = 0;
};

// A FUSE filesystem served here that answers while a process enters it, then
// falls silent, as one whose server hangs (an sshfs folder of a host that is
// gone): whatever it is asked from then on waits until it goes away. It may
// serve a tree of files, fall silent after a number of answers (a share whose
// network drops in the middle of a walk), and answer each request only after
// a delay (a share over a slow link).
class SilentFilesystem {
public:
    explicit SilentFilesystem(const std::string& at, const std::vector<ServedFile>& files = {}) : at_(at) {
        nodes_.push_back({"", 0, true, 0, {}});
        for (const auto& f : files) add(f);
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
    // Whether a request of the thread `pid` waits unanswered: read by the
    // server, so no signal ends that thread's wait any more.
    bool holdsRequestFrom(const std::string& pid) const {
        std::lock_guard lock(heldMutex_);
        return std::find(heldFrom_.begin(), heldFrom_.end(), pid) != heldFrom_.end();
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
    // Answers `count` more requests (the mount's own handshake aside), then none.
    void answerOnly(long count) { answersLeft_ = count; }
    // Each answer comes `delay` after its request; requests wait side by side.
    void answerAfter(std::chrono::milliseconds delay) { delay_ = delay; }
    // Requests are answered one at a time, each `delay` after the one
    // before (or after its request), as by a server that serves one at a
    // time; a close, which nobody waits for, at once.
    void answerInTurn(std::chrono::milliseconds delay) {
        inTurn_ = true;
        delay_ = delay;
    }
    // The listing of the served folder `folder` never ends, as that of a
    // server which ignores where its last answer stopped: its entries come
    // again and again (`repeating`), or new names come for ever. Before the
    // first request.
    void listEndlessly(const std::string& folder, bool repeating) {
        std::uint64_t at = 1;
        for (std::size_t from = 0; at && from <= folder.size();) {
            const std::size_t end = std::min(folder.find('/', from), folder.size());
            at = child(at, folder.substr(from, end - from));
            from = end + 1;
        }
        endless_ = at;
        repeating_ = repeating;
    }

private:
    struct Node {
        std::string name;
        std::uint64_t parent;  // its node id
        bool folder;
        std::size_t size;
        std::vector<std::uint64_t> children;
    };
    struct Reply {
        std::chrono::steady_clock::time_point due;
        std::vector<char> bytes;
    };

    // Node ids are indexes + 1; the root is node 1.
    std::uint64_t add(const ServedFile& f) {
        std::uint64_t at = 1;
        for (std::size_t from = 0; from <= f.path.size();) {
            const std::size_t end = std::min(f.path.find('/', from), f.path.size());
            const std::string name = f.path.substr(from, end - from);
            const bool last = end == f.path.size();
            std::uint64_t found = child(at, name);
            if (!found) {
                nodes_.push_back({name, at, !last, last ? f.size : 0, {}});
                found = nodes_.size();
                nodes_[at - 1].children.push_back(found);
            }
            at = found;
            from = end + 1;
        }
        return at;
    }
    std::uint64_t child(std::uint64_t parent, const std::string& name) const {
        for (const std::uint64_t c : nodes_[parent - 1].children)
            if (nodes_[c - 1].name == name) return c;
        return 0;
    }
    fuse_attr attrOf(std::uint64_t id) const {
        const Node& n = nodes_[id - 1];
        fuse_attr a{};
        a.ino = id;
        a.mode = n.folder ? S_IFDIR | 0755 : S_IFREG | 0644;
        a.nlink = n.folder ? 2 : 1;
        a.size = n.size;
        a.blocks = (n.size + 4095) / 4096 * 8;
        a.blksize = 4096;
        a.mtime = a.ctime = a.atime = nodes_.size() > 1 ? static_cast<std::uint64_t>(made_) : 0;
        return a;
    }

    void serve() {
        std::vector<char> request(FUSE_MIN_READ_BUFFER + 65536);
        pollfd waits[] = {{fuse_, POLLIN, 0}, {stop_, POLLIN, 0}};
        for (;;) {
            int timeout = -1;
            if (!pending_.empty()) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(pending_.front().due - std::chrono::steady_clock::now());
                timeout = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
            }
            if (poll(waits, 2, timeout) < 0 || (waits[1].revents & POLLIN)) return;
            while (!pending_.empty() && pending_.front().due <= std::chrono::steady_clock::now()) {
                (void)!write(fuse_, pending_.front().bytes.data(), pending_.front().bytes.size());
                pending_.erase(pending_.begin());
            }
            if (!(waits[0].revents & POLLIN)) continue;
            const ssize_t n = read(fuse_, request.data(), request.size());
            if (n < static_cast<ssize_t>(sizeof(fuse_in_header))) continue;
            fuse_in_header in;
            std::memcpy(&in, request.data(), sizeof in);
            const char* body = request.data() + sizeof in;
            if (in.opcode == FUSE_FORGET || in.opcode == FUSE_BATCH_FORGET || in.opcode == FUSE_INTERRUPT) continue;
            // The mount's handshake is answered even by a silent server: until
            // it is, requests wait for it where any fatal signal ends them,
            // not on the server as a share's whose host went away.
            if (in.opcode == FUSE_INIT) {
                fuse_init_out init{};
                init.major = FUSE_KERNEL_VERSION;
                init.minor = FUSE_KERNEL_MINOR_VERSION;
                init.max_write = 4096;
                answer(in, 0, &init, sizeof init);
                continue;
            }
            if (silentAt_ != 0 && in.opcode == silentAt_) silent_ = true;
            if (answersLeft_ == 0) silent_ = true;
            if (silent_) {
                std::lock_guard lock(heldMutex_);
                ++held_;
                heldFrom_.push_back(std::to_string(in.pid));
                heldChanged_.notify_all();
                continue;
            }
            if (answersLeft_ > 0) --answersLeft_;
            respond(in, body);
        }
    }
    void respond(const fuse_in_header& in, const char* body) {
        const bool known = in.nodeid >= 1 && in.nodeid <= nodes_.size();
        const bool serving = nodes_.size() > 1;
        if (in.opcode == FUSE_GETATTR && (known || !serving)) {
            // An empty one's attributes are valid for no time: asked again at every look.
            fuse_attr_out attr{};
            attr.attr = attrOf(known ? in.nodeid : 1);
            attr.attr.ino = in.nodeid;
            attr.attr_valid = serving ? 3600 : 0;
            answer(in, 0, &attr, sizeof attr);
        } else if (!serving) {
            answer(in, -ENOSYS, nullptr, 0);
        } else if (in.opcode == FUSE_LOOKUP && known) {
            const std::uint64_t found = child(in.nodeid, body);
            fuse_entry_out entry{};
            entry.nodeid = found;  // 0: known to be missing, for as long
            entry.generation = 1;
            entry.entry_valid = entry.attr_valid = 3600;
            if (found) entry.attr = attrOf(found);
            answer(in, 0, &entry, sizeof entry);
        } else if ((in.opcode == FUSE_OPENDIR || in.opcode == FUSE_OPEN) && known) {
            fuse_open_out open{};
            answer(in, 0, &open, sizeof open);
        } else if (in.opcode == FUSE_READDIR && known) {
            fuse_read_in read;
            std::memcpy(&read, body, sizeof read);
            std::vector<char> out;
            const auto& children = nodes_[in.nodeid - 1].children;
            const bool endless = in.nodeid == endless_, made = endless && !repeating_;
            for (std::uint64_t i = endless && repeating_ ? 0 : read.offset; made || i < children.size(); ++i) {
                // A made name is of no node: looked up, it is missing.
                const std::string name = made ? "n" + std::to_string(i) : nodes_[children[i] - 1].name;
                const std::size_t size = FUSE_DIRENT_ALIGN(FUSE_NAME_OFFSET + name.size());
                if (out.size() + size > read.size) break;
                std::vector<char> record(size);
                fuse_dirent d;
                d.ino = made ? nodes_.size() + 1 + i : children[i];
                d.off = i + 1;
                d.namelen = static_cast<std::uint32_t>(name.size());
                d.type = !made && nodes_[children[i] - 1].folder ? DT_DIR : DT_REG;
                std::memcpy(record.data(), &d, FUSE_NAME_OFFSET);
                std::memcpy(record.data() + FUSE_NAME_OFFSET, name.data(), name.size());
                out.insert(out.end(), record.begin(), record.end());
            }
            answer(in, 0, out.data(), out.size());
        } else if (in.opcode == FUSE_READ && known) {
            fuse_read_in read;
            std::memcpy(&read, body, sizeof read);
            const std::size_t size = nodes_[in.nodeid - 1].size;
            const std::string data(read.offset < size ? std::min<std::size_t>(read.size, size - read.offset) : 0, 'x');
            answer(in, 0, data.data(), data.size());
        } else if (in.opcode == FUSE_RELEASE || in.opcode == FUSE_RELEASEDIR || in.opcode == FUSE_FLUSH) {
            answer(in, 0, nullptr, 0);
        } else if (in.opcode == FUSE_STATFS) {
            fuse_statfs_out statfs{};
            statfs.st.bsize = statfs.st.frsize = 4096;
            statfs.st.namelen = 255;
            answer(in, 0, &statfs, sizeof statfs);
        } else {
            answer(in, -ENOSYS, nullptr, 0);
        }
    }
    void answer(const fuse_in_header& in, int error, const void* body, std::size_t size) {
        const fuse_out_header out{static_cast<std::uint32_t>(sizeof(fuse_out_header) + size), error, in.unique};
        std::vector<char> reply(sizeof out + size);
        std::memcpy(reply.data(), &out, sizeof out);
        if (size) std::memcpy(reply.data() + sizeof out, body, size);
        const std::chrono::milliseconds delay = delay_.load();
        const bool closing = in.opcode == FUSE_RELEASE || in.opcode == FUSE_RELEASEDIR || in.opcode == FUSE_FLUSH;
        if (delay.count() == 0 || in.opcode == FUSE_INIT || (inTurn_ && closing)) {
            (void)!write(fuse_, reply.data(), reply.size());
            return;
        }
        auto due = std::chrono::steady_clock::now() + delay;
        if (inTurn_ && !pending_.empty()) due = std::max(due, pending_.back().due + delay);
        pending_.push_back({due, std::move(reply)});
    }

    std::string at_;
    std::vector<Node> nodes_;
    const std::time_t made_ = std::time(nullptr);
    int fuse_ = -1;
    int stop_ = eventfd(0, EFD_CLOEXEC);
    bool mounted_ = false;
    std::atomic<bool> silent_{false};
    mutable std::mutex heldMutex_;
    std::condition_variable heldChanged_;
    int held_ = 0;
    std::vector<std::string> heldFrom_;  // the thread each held request came from
    std::atomic<std::uint32_t> silentAt_{0};
    std::atomic<long> answersLeft_{-1};  // -1: all
    std::atomic<std::chrono::milliseconds> delay_{std::chrono::milliseconds(0)};
    std::uint64_t endless_ = 0;  // the node whose listing never ends, if any
    bool repeating_ = false;
    std::vector<Reply> pending_;  // in the order they are due
    std::atomic<bool> inTurn_{false};
    std::thread server_;
};

}  // namespace testsupport
