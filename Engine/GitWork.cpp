#include "GitWork.h"

#include "GitIndex.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
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

// A path Git could have written: relative, without an empty, "." or ".."
// part, any of which would lead out of the work tree.
bool pathInside(std::string_view path) {
    for (std::size_t i = 0;;) {
        const std::size_t j = std::min(path.find('/', i), path.size());
        const std::string_view part = path.substr(i, j - i);
        if (part.empty() || part == "." || part == "..") return false;
        if (j == path.size()) return true;
        i = j + 1;
    }
}

// The files of a work tree, looked at by their paths below its top folder
// one folder at a time, never through a link (a tracked file reached only
// through one is gone to Git too). The index lists paths in order, so the
// folders on the way stay open for the files that follow: each is opened once.
class WorkTree {
public:
    explicit WorkTree(int topFd) : top_(topFd) {}
    ~WorkTree() {
        for (const auto& level : open_)
            if (level.fd >= 0) close(level.fd);
    }
    WorkTree(const WorkTree&) = delete;
    WorkTree& operator=(const WorkTree&) = delete;

    // lstat of `path`; false, with errno set, when it cannot be reached.
    bool stat(std::string_view path, struct stat& st) {
        const auto slash = path.rfind('/');
        const int dir = folder(slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash));
        if (dir < 0) return false;
        name_.assign(path.substr(slash == std::string_view::npos ? 0 : slash + 1));
        return fstatat(dir, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    }

private:
    struct Level {
        std::string name;
        int fd;     // -1 when it cannot be opened
        int error;  // why not
    };

    int folder(std::string_view path) {
        // The open folders that `path` begins with are kept.
        std::size_t kept = 0, at = 0;
        for (; kept < open_.size(); ++kept) {
            const std::string& name = open_[kept].name;
            if (path.size() < at + name.size() || path.compare(at, name.size(), name) != 0 ||
                (path.size() > at + name.size() && path[at + name.size()] != '/'))
                break;
            at += name.size() + 1;
        }
        for (; open_.size() > kept; open_.pop_back())
            if (open_.back().fd >= 0) close(open_.back().fd);
        int fd = open_.empty() ? top_ : open_.back().fd;
        while (fd >= 0 && at < path.size()) {
            const std::size_t end = std::min(path.find('/', at), path.size());
            std::string name(path.substr(at, end - at));
            fd = openat(fd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            open_.push_back({std::move(name), fd, errno});
            at = end + 1;
        }
        if (fd < 0) errno = open_.back().error;
        return fd;
    }

    const int top_;
    std::vector<Level> open_;
    std::string name_;
};

// The first tracked file of the index of the repository folder `gitDirFd`
// that is changed or gone in the work tree below `topFd`.
GitWork changedFile(int gitDirFd, int topFd, const std::atomic<bool>& stop) {
    WorkTree tree(topFd);
    GitWork found;
    std::string error;
    const bool read = visitGitIndex(
        gitDirFd,
        [&](const GitIndexEntry& e) {
            if (stop.load(std::memory_order_relaxed)) {
                found = unjudged("the scan was stopped");
                return false;
            }
            const std::uint32_t type = e.mode & S_IFMT;
            // A submodule answers for itself; what a sparse checkout leaves
            // out is not in the work tree, on purpose.
            if (e.path.empty() || e.skipWorktree || type == 0160000 || type == S_IFDIR) return true;
            const std::string_view path = e.path;
            if (!pathInside(path)) {
                found = unjudged("its index names a path outside its folder: " + std::string(path));
                return false;
            }
            struct stat st {};
            if (!tree.stat(path, st)) {
                const int why = errno;
                found = why == ENOENT || why == ENOTDIR || why == ELOOP ? GitWork{GitWork::Kind::Gone, std::string(path)}
                                                                        : unjudged(std::string(path) + " cannot be looked at: " + errorText(why));
                return false;
            }
            // A Git built without nanoseconds records none.
            if (e.stage != 0 || (st.st_mode & S_IFMT) != type || static_cast<std::uint32_t>(st.st_size) != e.size ||
                static_cast<std::uint32_t>(st.st_mtim.tv_sec) != e.mtimeSeconds ||
                (e.mtimeNanoseconds != 0 && static_cast<std::uint32_t>(st.st_mtim.tv_nsec) != e.mtimeNanoseconds)) {
                found = {GitWork::Kind::Changed, std::string(path)};
                return false;
            }
            return true;
        },
        error);
    return read ? found : unjudged("its index cannot be read: " + error);
}

bool isObjectName(std::string_view s) {
    return (s.size() == 40 || s.size() == 64) &&
           std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

struct Ref {
    std::string commit;
    std::string peeled;  // the commit an annotated tag names, when packed-refs tells
};
using Refs = std::unordered_map<std::string, Ref>;

bool damaged(std::string& error, const std::string& what) {
    error = what + " is damaged";
    return false;
}

// packed-refs: a line "<object> <ref>" per ref, an annotated tag's followed
// by "^<commit>". Larger than any real one: left unjudged.
bool readPackedRefs(int commonFd, Refs& refs, std::string& error) {
    constexpr std::size_t kLimit = 256 << 20;
    const auto text = readRegularFileAt(commonFd, "packed-refs", O_NOFOLLOW, kLimit + 1, error);
    if (!text) return errno == ENOENT;
    if (text->size() > kLimit) {
        error = "packed-refs is too large";
        return false;
    }
    Ref* last = nullptr;
    for (std::size_t at = 0; at < text->size();) {
        const std::size_t end = std::min(text->find('\n', at), text->size());
        const std::string_view line = std::string_view(*text).substr(at, end - at);
        at = end + 1;
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '^') {
            if (!last || !isObjectName(line.substr(1))) return damaged(error, "packed-refs");
            last->peeled = line.substr(1);
            continue;
        }
        const auto space = line.find(' ');
        if (space == std::string_view::npos || !isObjectName(line.substr(0, space))) return damaged(error, "packed-refs");
        last = &refs[std::string(line.substr(space + 1))];  // a node: stays where it is
        *last = {std::string(line.substr(0, space)), {}};
    }
    return true;
}

// The loose refs below "refs", each replacing a packed one of its name. A
// symbolic ref ("ref: …") names another and is left out.
bool readLooseRefs(int commonFd, Refs& refs, std::string& error) {
    constexpr std::size_t kDeepest = 64;
    struct Level {
        DIR* dir;
        std::string name;
    };
    std::vector<Level> levels;
    const auto enter = [&](int parentFd, const char* name, std::string ref) {
        const int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
        if (!dir) {
            if (fd >= 0) close(fd);
            error = ref + " cannot be read: " + errorText(errno);
            return false;
        }
        levels.push_back({dir, std::move(ref)});
        return true;
    };
    struct stat st {};
    if (fstatat(commonFd, "refs", &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT) return true;
    bool ok = enter(commonFd, "refs", "refs");
    while (ok && !levels.empty()) {
        errno = 0;
        const dirent* d = readdir(levels.back().dir);
        if (!d) {
            if (errno != 0) {
                error = levels.back().name + " cannot be read: " + errorText(errno);
                ok = false;
            }
            closedir(levels.back().dir);
            levels.pop_back();
            continue;
        }
        const std::string_view entry = d->d_name;
        // A ".lock" is a ref being written, not yet one.
        if (entry == "." || entry == ".." || entry.ends_with(".lock")) continue;
        const int dirFd = dirfd(levels.back().dir);
        std::string ref = levels.back().name + "/" + d->d_name;
        if (fstatat(dirFd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
        if (S_ISDIR(st.st_mode)) {
            if (levels.size() >= kDeepest) {
                error = "its refs lie deeper than any Git writes";
                ok = false;
            } else {
                ok = enter(dirFd, d->d_name, std::move(ref));
            }
        } else if (S_ISREG(st.st_mode)) {
            auto text = readRegularFileAt(dirFd, d->d_name, O_NOFOLLOW, 1024, error);
            if (!text) {
                error = ref + " cannot be read: " + error;
                ok = false;
                continue;
            }
            while (!text->empty() && (text->back() == '\n' || text->back() == '\r' || text->back() == ' ')) text->pop_back();
            if (text->starts_with("ref: ")) continue;
            ok = isObjectName(*text) || damaged(error, ref);
            if (ok) refs[std::move(ref)] = {std::move(*text), {}};
        }
    }
    for (const auto& level : levels) closedir(level.dir);
    return ok;
}

// The end of the regular file `name` below `dirFd`: at most its last
// `window` bytes, from the first line that starts within them.
std::optional<std::string> tailAt(int dirFd, const char* name, std::size_t window) {
    Fd fd(openat(dirFd, name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    const auto size = static_cast<std::size_t>(st.st_size);
    std::string tail(std::min(size, window), '\0');
    std::size_t got = 0;
    while (got < tail.size()) {
        const ssize_t n = pread(fd.get(), tail.data() + got, tail.size() - got, static_cast<off_t>(size - tail.size() + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    tail.resize(got);
    if (size > tail.size()) tail.erase(0, std::min(tail.find('\n'), tail.size()));
    return tail;
}

// Whether the commit `head`, checked out on no branch, was made in this
// clone: the entries of HEAD's reflog that moved HEAD onto it say how it got
// there. A checkout, a clone or a reset brings a commit that exists elsewhere
// (a pinned FetchContent or pip checkout); anything else (a commit, an amend,
// a merge, a cherry-pick) made a new one, also when a reset came back to it
// since (a second fix undone). Without a reflog that tells, it is judged by
// its refs alone.
bool madeOnNoBranch(int gitDirFd, const std::string& head) {
    // Entries are "<old> <new> <who> <when>\t<message>", newest last; a
    // reflog grows for as long as the clone lives, and only its end is read.
    constexpr std::size_t kWindow = 64 * 1024;
    Fd logs(openat(gitDirFd, "logs", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const auto text = logs.get() < 0 ? std::nullopt : tailAt(logs.get(), "HEAD", kWindow);
    if (!text) return false;
    std::string_view rest = *text;
    while (!rest.empty()) {
        while (!rest.empty() && rest.back() == '\n') rest.remove_suffix(1);
        const auto start = rest.rfind('\n');
        const std::string_view entry = start == std::string_view::npos ? rest : rest.substr(start + 1);
        rest = rest.substr(0, start == std::string_view::npos ? 0 : start);
        const auto space = entry.find(' '), tab = entry.find('\t');
        if (space == std::string_view::npos || tab == std::string_view::npos || tab < space) return false;
        const std::string_view before = entry.substr(0, space), after = entry.substr(space + 1, head.size());
        // "reset --hard" where it stood moved nothing.
        if (before == after || after != head) continue;
        const std::string_view message = entry.substr(tab + 1);
        if (!(message.starts_with("checkout:") || message.starts_with("clone:") || message.starts_with("reset:"))) return true;
    }
    return false;
}

// The first local branch (by name), else the stash, whose commit no
// remote-tracking branch or tag of the repository folder `commonFd` names;
// else a commit made on no branch that HEAD (in `gitDirFd`) holds, named by
// no ref at all.
GitWork unsharedRef(int commonFd, int gitDirFd) {
    struct stat st {};
    if (fstatat(commonFd, "reftable", &st, AT_SYMLINK_NOFOLLOW) == 0)
        return unjudged("its refs are kept in a reftable, which is not read here");
    Refs refs;
    std::string error;
    if (!readPackedRefs(commonFd, refs, error) || !readLooseRefs(commonFd, refs, error)) return unjudged("its refs cannot be read: " + error);
    std::unordered_set<std::string_view> named;
    for (const auto& [name, ref] : refs)
        if (name.starts_with("refs/remotes/") || name.starts_with("refs/tags/")) {
            named.insert(ref.commit);
            if (!ref.peeled.empty()) named.insert(ref.peeled);
        }
    std::vector<std::string_view> unshared;
    for (const auto& [name, ref] : refs)
        if ((name.starts_with("refs/heads/") || name == "refs/stash") && !named.count(ref.commit)) unshared.push_back(name);
    if (!unshared.empty()) {
        // "refs/heads/…" sorts before "refs/stash".
        const std::string_view first = *std::min_element(unshared.begin(), unshared.end());
        if (first == "refs/stash") return {GitWork::Kind::Stash, {}};
        return {GitWork::Kind::Branch, std::string(first.substr(11))};
    }
    auto head = readRegularFileAt(gitDirFd, "HEAD", O_NOFOLLOW, 1024, error);
    if (!head) return {};
    while (!head->empty() && (head->back() == '\n' || head->back() == '\r' || head->back() == ' ')) head->pop_back();
    if (!isObjectName(*head) || named.count(*head)) return {};
    for (const auto& [name, ref] : refs)
        if (name.starts_with("refs/heads/") && ref.commit == *head) return {};
    return madeOnNoBranch(gitDirFd, *head) ? GitWork{GitWork::Kind::Detached, {}} : GitWork{};
}

}  // namespace

std::string GitWork::reason() const {
    switch (kind) {
    case Kind::None:
        return {};
    case Kind::Changed:
        return ", where " + detail + " has changes that are not committed";
    case Kind::Gone:
        return ", where " + detail + " was deleted and the deletion is not committed";
    case Kind::Branch:
        return ", whose branch " + detail + " points to a commit that no remote branch or tag points to";
    case Kind::Stash:
        return ", which holds stashed changes";
    case Kind::Detached:
        return ", whose checked-out commit was made on no branch and no remote branch or tag points to it";
    case Kind::Unjudged:
        break;
    }
    return ", whose work cannot be judged: " + detail;
}

GitWork gitWorkIn(int topFd, const std::atomic<bool>& stop) {
    try {
        struct stat st {};
        if (fstatat(topFd, ".git", &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT ? GitWork{} : unjudged("its .git cannot be looked at: " + errorText(errno));
        Fd gitDir;
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
            gitDir = Fd(openat(topFd, named.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (gitDir.get() < 0 || fstatat(gitDir.get(), "HEAD", &st, AT_SYMLINK_NOFOLLOW) != 0)
                return unjudged(errno == ENOENT ? "its .git file names a repository that is gone (" + named + ")"
                                                : "the repository its .git file names (" + named + ") cannot be opened: " + errorText(errno));
        } else {
            return unjudged("its .git is a symbolic link, which is not followed");
        }
        if (GitWork changed = changedFile(gitDir.get(), topFd, stop)) return changed;
        // A linked worktree keeps its branches in the repository it belongs to.
        std::string error;
        Fd common;
        if (const auto text = readRegularFileAt(gitDir.get(), "commondir", O_NOFOLLOW, 64 * 1024, error)) {
            const std::string named = text->substr(0, text->find_first_of("\r\n"));
            common = Fd(openat(gitDir.get(), named.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (common.get() < 0) return unjudged("the repository it belongs to (" + named + ") cannot be opened: " + errorText(errno));
        } else if (errno != ENOENT) {
            return unjudged("its commondir cannot be read: " + error);
        }
        return unsharedRef(common.get() >= 0 ? common.get() : gitDir.get(), gitDir.get());
    } catch (const std::bad_alloc&) {
        return unjudged("there is not enough memory to read it");
    } catch (const std::exception& e) {
        return unjudged(e.what());
    }
}

}  // namespace tidewell::engine
