#include "GitWork.h"

#include "FolderProbe.h"
#include "GitIndex.h"
#include "GitLibrary.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace tidewell::engine {

namespace {

std::string errorText(int e) { return std::error_code(e, std::generic_category()).message(); }

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(Fd&& o) noexcept {
        std::swap(fd_, o.fd_);
        return *this;
    }
    int get() const { return fd_; }

private:
    int fd_;
};

GitWork unjudged(std::string why) { return {GitWork::Kind::Unjudged, std::move(why)}; }

// Git reads any file of its repository folder, following links: one that
// is no regular file (a FIFO would hold the read forever, a device feed it
// without end) or a link, which could lead to such a file, leaves the
// repository unjudged. Git itself puts neither there.
std::optional<std::string> oddEntryIn(int dirFd, const std::string& name) {
    constexpr std::size_t kDeepest = 64;
    struct Level {
        DIR* dir;
        std::string name;
    };
    std::vector<Level> levels;
    std::optional<std::string> odd;
    const auto enter = [&](int parentFd, const char* entry, std::string path) {
        const int fd = openat(parentFd, entry, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
        if (!dir) {
            if (fd >= 0) close(fd);
            odd = path + " cannot be read: " + errorText(errno);
            return;
        }
        levels.push_back({dir, std::move(path)});
    };
    enter(dirFd, ".", name);
    while (!odd && !levels.empty()) {
        errno = 0;
        const dirent* d = readdir(levels.back().dir);
        if (!d) {
            if (errno != 0) odd = levels.back().name + " cannot be read: " + errorText(errno);
            closedir(levels.back().dir);
            levels.pop_back();
            continue;
        }
        const std::string_view entry = d->d_name;
        if (entry == "." || entry == "..") continue;
        const int fd = dirfd(levels.back().dir);
        unsigned char type = d->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st {};
            if (fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : S_ISLNK(st.st_mode) ? DT_LNK : DT_FIFO;
        }
        std::string path = levels.back().name + "/" + d->d_name;
        if (type == DT_REG) continue;
        if (type == DT_LNK)
            odd = path + " is a symbolic link, which is not followed";
        else if (type != DT_DIR)
            odd = path + " is not a regular file";
        else if (levels.size() >= kDeepest)
            odd = path + " lies deeper than any Git writes";
        else
            enter(fd, d->d_name, std::move(path));
    }
    for (const auto& level : levels) closedir(level.dir);
    return odd;
}

// The repository folder `named` (by a gitfile or a commondir) from the
// folder open as `fromFd` at `fromPath`. One on the same filesystem is opened
// at once; one elsewhere, perhaps on a filesystem whose server stopped
// answering, which would hold this thread past any signal, is first asked by
// a process of its own. -1 with `why` when it cannot be opened.
int openNamedRepository(int fromFd, const std::string& fromPath, const std::string& named, const std::atomic<bool>& stop,
                        std::string& why) {
    open_how how{};
    how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_XDEV;
    int fd = static_cast<int>(syscall(SYS_openat2, fromFd, named.c_str(), &how, sizeof how));
    if (fd >= 0 || (errno != EXDEV && errno != ENOSYS)) {
        if (fd < 0) why = errorText(errno);
        return fd;
    }
    const std::string absolute = named.starts_with('/') ? named : fromPath + "/" + named;
    switch (FolderProbe(stop).wait(absolute)) {
    case FolderProbe::Answer::Silent:
        why = "its filesystem does not answer";
        return -1;
    case FolderProbe::Answer::Stopped:
        why = "the scan was stopped";
        return -1;
    case FolderProbe::Answer::Answers:
        break;
    }
    fd = openat(fromFd, named.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) why = errorText(errno);
    return fd;
}

// libgit2's look at the repository at `top`, on a thread of its own: a read
// that never ends (a FIFO named as an ignore file in the work tree, a
// filesystem that stopped answering) is left behind after a minute, and
// the repository counted as unjudged, so the scan or clean goes on.
GitWork judgedInTime(const std::string& top, const std::atomic<bool>& stop) {
    constexpr auto kLimit = std::chrono::minutes(1);
    struct Shared {
        std::mutex m;
        std::condition_variable done;
        std::optional<GitWork> work;
    };
    const auto shared = std::make_shared<Shared>();
    const auto look = [shared, top] {
        GitWork work;
        try {
            work = libraryGitWork(top);
        } catch (const std::bad_alloc&) {
            work = unjudged("there is not enough memory to read it");
        } catch (const std::exception& e) {
            work = unjudged(e.what());
        }
        std::lock_guard lock(shared->m);
        shared->work = std::move(work);
        shared->done.notify_all();
    };
    try {
        std::thread(look).detach();
    } catch (const std::system_error&) {
        look();  // no thread to spare: looked at here, unguarded
    }
    const auto deadline = std::chrono::steady_clock::now() + kLimit;
    std::unique_lock lock(shared->m);
    while (!shared->work) {
        if (stop.load()) return unjudged("the scan was stopped");
        if (std::chrono::steady_clock::now() >= deadline) return unjudged("Git did not finish looking at it within a minute");
        shared->done.wait_for(lock, std::chrono::milliseconds(100));
    }
    return std::move(*shared->work);
}

}  // namespace

std::string GitWork::holder() const {
    return kind != Kind::Foreign ? "Git repository" : detail + " checkout";
}

std::string GitWork::reason() const {
    switch (kind) {
    case Kind::None:
        return {};
    case Kind::Staged:
        return ", where " + detail + " is staged but not committed";
    case Kind::Changed:
        return ", where " + detail + " has changes that are not committed";
    case Kind::Gone:
        return ", where " + detail + " was deleted and the deletion is not committed";
    case Kind::New:
        return ", where " + detail + " is new, not committed and not ignored";
    case Kind::Conflicted:
        return ", where " + detail + " has a merge conflict that is not resolved";
    case Kind::Made:
        return ", where commit " + detail + " was made, which no remote branch contains (" + named + ")";
    case Kind::Stash:
        return ", which holds stashed changes";
    case Kind::Foreign:
        return ", whose work cannot be judged here";
    case Kind::Unjudged:
        break;
    }
    return ", whose work cannot be judged: " + detail;
}

GitWork foreignCheckout(std::string_view dotName) {
    if (dotName == ".hg") return {GitWork::Kind::Foreign, "Mercurial", {}};
    if (dotName == ".svn") return {GitWork::Kind::Foreign, "Subversion", {}};
    return {};
}

GitWork gitWorkIn(int topFd, const std::string& path, const std::atomic<bool>& stop) {
    try {
        struct stat st {};
        if (fstatat(topFd, ".git", &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT ? GitWork{} : unjudged("its .git cannot be looked at: " + errorText(errno));
        Fd gitDir;
        std::string gitPath = path + "/.git";
        if (S_ISDIR(st.st_mode)) {
            gitDir = Fd(openat(topFd, ".git", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (gitDir.get() < 0) return unjudged("its .git folder cannot be opened: " + errorText(errno));
            // A ".git" folder without HEAD is no repository to Git, which
            // takes the folder for part of the repository around it.
            if (fstatat(gitDir.get(), "HEAD", &st, AT_SYMLINK_NOFOLLOW) != 0)
                return errno == ENOENT ? GitWork{} : unjudged("its HEAD cannot be looked at: " + errorText(errno));
        } else if (S_ISREG(st.st_mode)) {
            std::string error;
            const auto text = readRegularFileAt(topFd, ".git", O_NOFOLLOW, 64 * 1024, error);
            if (!text) return unjudged("its .git file cannot be read: " + error);
            const std::string named = gitfileTarget(*text);
            if (named.empty()) return unjudged("its .git file names no repository");
            // A linked worktree's or a submodule's repository lies where its
            // gitfile says, often outside the folder.
            std::string why;
            gitDir = Fd(openNamedRepository(topFd, path, named, stop, why));
            if (gitDir.get() >= 0 && fstatat(gitDir.get(), "HEAD", &st, AT_SYMLINK_NOFOLLOW) != 0) why = errorText(errno);
            if (why == errorText(ENOENT)) return unjudged("its .git file names a repository that is gone (" + named + ")");
            if (!why.empty()) return unjudged("the repository its .git file names (" + named + ") cannot be opened: " + why);
            gitPath = named.starts_with('/') ? named : path + "/" + named;
        } else {
            return unjudged("its .git is a symbolic link, which is not followed");
        }
        // A linked worktree keeps its objects and refs in the repository it belongs to.
        std::string error;
        Fd common;
        if (const auto text = readRegularFileAt(gitDir.get(), "commondir", O_NOFOLLOW, 64 * 1024, error)) {
            const std::string named = text->substr(0, text->find_first_of("\r\n"));
            std::string why;
            common = Fd(openNamedRepository(gitDir.get(), gitPath, named, stop, why));
            if (common.get() < 0) return unjudged("the repository it belongs to (" + named + ") cannot be opened: " + why);
        } else if (errno != ENOENT) {
            return unjudged("its commondir cannot be read: " + error);
        }
        if (auto odd = oddEntryIn(gitDir.get(), ".git")) return unjudged(*odd);
        if (common.get() >= 0)
            if (auto odd = oddEntryIn(common.get(), "the repository it belongs to")) return unjudged(*odd);
        if (stop.load()) return unjudged("the scan was stopped");
        return judgedInTime(path, stop);
    } catch (const std::bad_alloc&) {
        return unjudged("there is not enough memory to read it");
    } catch (const std::exception& e) {
        return unjudged(e.what());
    }
}

}  // namespace tidewell::engine
