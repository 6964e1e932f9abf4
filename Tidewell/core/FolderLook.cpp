#include "core/FolderLook.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/AppSupport.h"
#include "core/CleanRules.h"
#include "core/ShareMounts.h"
#include "foundation/Files.h"
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

// A held look outlives the process that started it, so each look's child is
// recorded under its folder until it ends: a later launch finds it there and
// waits for it instead of leaving one more process held by the same server.
struct ProcessMark {
    pid_t pid = 0;
    unsigned long long started = 0;  // in clock ticks after boot: tells a recycled pid
};

// The process's start time; none when there is no such process or it has ended.
std::optional<unsigned long long> startTimeOf(pid_t pid) {
    const auto stat = platform::readFileContents("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat ? stat->rfind(')') : std::string::npos;
    if (close == std::string::npos) return std::nullopt;
    // After the name: the state, then 18 more fields up to the start time.
    std::size_t at = close + 2;
    if (at >= stat->size() || (*stat)[at] == 'Z' || (*stat)[at] == 'X') return std::nullopt;
    for (int field = 0; field < 19 && at != std::string::npos; ++field) at = stat->find(' ', at + 1);
    if (at == std::string::npos) return std::nullopt;
    unsigned long long started = 0;
    const auto* first = stat->data() + at + 1;
    if (std::from_chars(first, stat->data() + stat->size(), started).ec != std::errc{}) return std::nullopt;
    return started;
}

bool isRunning(const ProcessMark& mark) { return startTimeOf(mark.pid) == mark.started; }

std::string heldLookRecordsFolder() { return platform::appendPathComponent(appSupportDirectory(), "held-looks"); }

// "PID START\nPATH", as recordHeldLook writes it; anything else is no record.
std::optional<ProcessMark> readHeldLookRecord(const std::string& path) {
    const auto record = heldLookRecordPath(path);
    const int fd = ::open(record.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    std::string text(path.size() + 64, '\0');
    ssize_t got = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        static_cast<std::size_t>(st.st_size) < text.size())
        got = ::read(fd, text.data(), text.size());
    ::close(fd);
    if (got <= 0) return std::nullopt;
    text.resize(static_cast<std::size_t>(got));
    ProcessMark mark;
    const char* end = text.data() + text.size();
    auto [afterPid, pidError] = std::from_chars(text.data(), end, mark.pid);
    if (pidError != std::errc{} || mark.pid <= 0 || afterPid == end || *afterPid != ' ') return std::nullopt;
    auto [afterStart, startError] = std::from_chars(afterPid + 1, end, mark.started);
    if (startError != std::errc{} || afterStart == end || *afterStart != '\n') return std::nullopt;
    if (std::string_view(afterStart + 1, static_cast<std::size_t>(end - afterStart - 1)) != path) return std::nullopt;
    return mark;
}

// Best effort: without a record, a later launch may only hold one more look.
void recordHeldLook(const std::string& path, const ProcessMark& mark) {
    // A run as root in another user's home makes nothing there that user could not remove.
    struct stat data {};
    if (::stat(appSupportDirectory().c_str(), &data) != 0 || data.st_uid != ::geteuid()) return;
    const auto folder = heldLookRecordsFolder();
    ::mkdir(folder.c_str(), 0700);
    const auto record = heldLookRecordPath(path);
    const auto temporary = record + ".tmp-" + std::to_string(mark.pid);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const auto text = std::to_string(mark.pid) + " " + std::to_string(mark.started) + "\n" + path;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), record.c_str()) != 0) ::unlink(temporary.c_str());
}

void forgetHeldLook(const std::string& path, pid_t child) {
    const auto mark = readHeldLookRecord(path);
    if (mark && mark->pid == child) ::unlink(heldLookRecordPath(path).c_str());
}

// Waits, however long, for a look at `path` that an earlier launch left held.
void waitForEarlierLook(const std::string& path) {
    const auto mark = readHeldLookRecord(path);
    // A record naming this very process is no look's: it would be waited on for ever.
    if (!mark || mark->pid == ::getpid()) return;
    const int process = static_cast<int>(::syscall(SYS_pidfd_open, mark->pid, 0));
    const int why = errno;
    if (process >= 0) {
        // Checked once the descriptor is held, so it is that very process.
        pollfd ended{process, POLLIN, 0};
        if (isRunning(*mark))
            while (::poll(&ended, 1, -1) < 0 && errno == EINTR) {
            }
        ::close(process);
        return;
    }
    // A kernel without process descriptors: asked once a second.
    while (why == ENOSYS && isRunning(*mark)) std::this_thread::sleep_for(std::chrono::seconds(1));
}

// The look in a child process that keeps only the pipe it answers on: a
// child held by a silent server must not keep our sockets or files open,
// nor our standard output and error (a reader of them would never see them end).
std::optional<FolderFacts> lookInChild(const std::string& path) {
    waitForEarlierLook(path);
    const std::string parent = parentOf(path);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return lookInThisProcess(path);
    const pid_t child = ::fork();
    if (child == 0) {
        if (fds[1] != 3 && ::dup2(fds[1], 3) != 3) ::_exit(1);
        const int null = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3; ++fd) null >= 0 ? ::dup2(null, fd) : ::close(fd);
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
    if (const auto started = startTimeOf(child)) recordHeldLook(path, {child, *started});
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
    forgetHeldLook(path, child);
    if (got != sizeof f) return std::nullopt;
    return f;
}

struct Look {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    std::optional<FolderFacts> facts;
    // Under the registry's mutex:
    std::optional<std::uint64_t> share;  // the share it is on, when it is on one
    bool started = false;  // its turn on its share came: it asks the folder
    bool givenUp = false;  // a round stopped waiting for it
};

// Kept for the whole run: a look's thread may outlive everything else.
struct Registry {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<Look>> running;
    // One look at a time asks each share, so a server that stopped answering
    // holds one process of ours, however many folders on it are asked about.
    std::map<std::uint64_t, std::shared_ptr<std::mutex>> turns;
    std::function<std::optional<FolderFacts>(const std::string&)> testLook;
};
Registry& registry() {
    static auto* const r = new Registry;
    return *r;
}

std::shared_ptr<Look> answeredSilent() {
    auto look = std::make_shared<Look>();
    look->done = true;
    return look;
}

// Whether a look a round gave up on, still held, stands for `path`: it was
// at a folder around it, or on its share. The registry's mutex is held.
bool knownNotToAnswer(const Registry& r, const std::string& path, std::optional<std::uint64_t> share) {
    return std::any_of(r.running.begin(), r.running.end(), [&](const auto& entry) {
        const auto& [at, look] = entry;
        return look->givenUp && (isPathInside(path, at) || (share && look->share == share));
    });
}

std::shared_ptr<Look> startLook(const std::string& path, std::optional<std::uint64_t> share) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    const bool silent = knownNotToAnswer(r, path, share);
    // A look already asking the folder is waited on again: it may answer yet.
    if (auto it = r.running.find(path); it != r.running.end() && (it->second->started || !silent)) return it->second;
    if (silent) return answeredSilent();
    auto started = std::make_shared<Look>();
    started->share = share;
    r.running[path] = started;
    std::shared_ptr<std::mutex> turn;
    if (share) {
        auto& slot = r.turns[*share];
        if (!slot) slot = std::make_shared<std::mutex>();
        turn = slot;
    }
    std::thread([path, started, turn, testLook = r.testLook] {
        auto& r = registry();
        std::unique_lock<std::mutex> myTurn;
        if (turn) myTurn = std::unique_lock(*turn);
        {
            std::lock_guard lock(r.mutex);
            started->started = true;
        }
        auto facts = testLook ? testLook(path) : lookInChild(path);
        if (myTurn) myTurn.unlock();
        // Out of the running looks before its answer is heard: a round that
        // starts once this one returned asks afresh, never takes this answer.
        {
            std::lock_guard lock(r.mutex);
            if (auto it = r.running.find(path); it != r.running.end() && it->second == started) r.running.erase(it);
        }
        {
            std::lock_guard lock(started->mutex);
            started->facts = facts;
            started->done = true;
        }
        started->answered.notify_all();
    }).detach();
    return started;
}

}  // namespace

FolderFacts lookInThisProcess(const std::string& path) { return look(path.c_str(), parentOf(path).c_str()); }

std::chrono::steady_clock::time_point FolderLookClock::now() const { return std::chrono::steady_clock::now(); }

void FolderLookClock::waitUntil(std::condition_variable& answer, std::unique_lock<std::mutex>& lock,
                                std::chrono::steady_clock::time_point deadline,
                                const std::function<bool()>& answered) const {
    answer.wait_until(lock, deadline, answered);
}

FolderLooks lookAtFolders(const std::vector<std::string>& paths, std::chrono::milliseconds patience,
                          const FolderLookClock& clock) {
    // Read once for the round; the table is the kernel's, so no share is asked.
    const auto mountTable = readMountTable();
    std::map<std::string, std::shared_ptr<Look>> looks;
    for (const auto& path : paths)
        if (!path.empty() && !looks.count(path)) looks[path] = startLook(path, shareHolding(path, mountTable));
    // One deadline for the whole round: however many looks are held, it waits one patience.
    const auto deadline = clock.now() + patience;
    FolderLooks seen;
    std::vector<std::shared_ptr<Look>> givenUp;
    for (const auto& [path, one] : looks) {
        std::unique_lock lock(one->mutex);
        clock.waitUntil(one->answered, lock, deadline, [&] { return one->done; });
        seen.record(path, one->done ? one->facts : std::nullopt);
        if (!one->done) givenUp.push_back(one);
    }
    if (!givenUp.empty()) {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        for (const auto& one : givenUp) one->givenUp = true;
    }
    return seen;
}

std::string heldLookRecordPath(const std::string& path) {
    // FNV-1a: a name that stays the same from one launch to the next.
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : path) hash = (hash ^ c) * 1099511628211ull;
    char name[17];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
    return platform::appendPathComponent(heldLookRecordsFolder(), name);
}

void forgetFolderLooksForTesting() {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.running.clear();
    r.turns.clear();
}

void setFolderLookForTesting(std::function<std::optional<FolderFacts>(const std::string&)> look) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.testLook = std::move(look);
}

}  // namespace tidewell
