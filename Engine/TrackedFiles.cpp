#include "TrackedFiles.h"

#include "FolderProbe.h"
#include "GitIndex.h"
#include "HelperProcess.h"
#include "Home.h"
#include "OpenResolved.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <system_error>

namespace tidewell::engine {

namespace {

// Whether `rel` (a ".git" below the folder `fd`) is there, looked at without
// entering a mount: a filesystem mounted there may not answer, and a look
// into it would wait for it past any signal. A ".git" that is itself a mount
// point is there (and is read as no repository); one below a folder on
// another mount is not looked at.
bool dotGitAt(int fd, const std::string& rel) {
    const int found = openResolved(fd, rel.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC, RESOLVE_NO_XDEV);
    if (found >= 0) {
        close(found);
        return true;
    }
    if (errno == ENOSYS) {
        struct stat st {};
        return fstatat(fd, rel.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    }
    if (errno != EXDEV) return false;
    const auto slash = rel.rfind('/');
    if (slash == std::string::npos) return true;
    const int folder = openResolved(fd, rel.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, RESOLVE_NO_XDEV);
    if (folder < 0) return false;
    close(folder);
    return true;
}

// Whether the ".git" of the folder at `top` is a mount point, seen from the
// folder without entering it.
bool dotGitIsMountPoint(const std::string& top) {
    const int fd = open(top.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const int found = openResolved(fd, ".git", O_PATH | O_NOFOLLOW | O_CLOEXEC, RESOLVE_NO_XDEV);
    const bool mounted = found < 0 && errno == EXDEV;
    if (found >= 0) close(found);
    close(fd);
    return mounted;
}

}  // namespace

TrackedFiles::TrackedFiles(Unreadable onUnreadable) : onUnreadable_(std::move(onUnreadable)) {}

const GitCandidate* TrackedFiles::candidateAt(const std::string& top, const GitCandidate* around) {
    std::lock_guard lock(m_);
    if (const auto it = byTop_.find(top); it != byTop_.end()) return it->second;
    GitCandidate& c = candidates_.emplace_back();
    c.top = top;
    c.around = around;
    byTop_.emplace(top, &c);
    return &c;
}

const GitCandidate* TrackedFiles::candidateAround(const std::string& folder) {
    const GitCandidate* nearest = nullptr;
    int fd = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (std::size_t i = 1; fd >= 0;) {
        const std::string here = i == 1 ? "/" : folder.substr(0, i - 1);
        if (dotGitAt(fd, ".git")) nearest = candidateAt(here, nearest);
        if (i >= folder.size()) break;
        const std::size_t j = std::min(folder.find('/', i), folder.size());
        const int next = openat(fd, folder.substr(i, j - i).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = next;
        i = j + 1;
    }
    if (fd >= 0) close(fd);
    return nearest;
}

const GitCandidate* TrackedFiles::candidateWithin(const GitCandidate* around, int fd, const std::string& real, const std::string& rel) {
    for (std::size_t end = rel.find('/');; end = rel.find('/', end + 1)) {
        const std::string folder = rel.substr(0, end);
        if (dotGitAt(fd, folder + "/.git")) around = candidateAt(joinPath(real, folder), around);
        if (end == std::string::npos) return around;
    }
}

void TrackedFiles::read(const GitCandidate& c) const {
    using State = GitCandidate::State;
    const std::string dotGit = joinPath(c.top, ".git");
    const auto unreadable = [&](std::string why) {
        c.index = {};
        c.state = State::Unreadable;
        c.why = std::move(why);
        if (onUnreadable_) onUnreadable_(c.top, c.why);
    };
    if (dotGitIsMountPoint(c.top)) return unreadable("its .git is a mount point, which is not entered");
    struct stat st {};
    const bool folder = lstat(dotGit.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    std::string why;
    try {
        const std::string gitDir = gitDirOf(dotGit, why);
        // Where a .git file leads is looked at by the engine only when no
        // server can be asked there: one that stops would hold it for good.
        if (!folder && !gitDir.empty() && !isHelper()) {
            MountTable mounts;
            if (mayNotAnswer(gitDir, mounts)) return unreadable("its .git file names a repository on a filesystem that may not answer (" + gitDir + ")");
        }
        if (!gitDir.empty() && stat(joinPath(gitDir, "HEAD").c_str(), &st) != 0) {
            // A ".git" folder without HEAD is no repository to Git, which looks
            // further up; a gitfile naming no repository stops it.
            if (folder && errno == ENOENT) return;
            why = errno == ENOENT ? "its .git file names no repository" : std::error_code(errno, std::generic_category()).message();
        }
        if (why.empty()) {
            if (auto index = readGitIndexPaths(gitDir, joinPath(gitDir, "index"), why)) {
                c.index = std::move(*index);
                c.state = State::Indexed;
                return;
            }
            why = "its index cannot be read: " + why;
        }
    } catch (const std::bad_alloc&) {
        why = "its index cannot be read: there is not enough memory for it";
    } catch (const std::exception& e) {
        why = std::string("its index cannot be read: ") + e.what();
    }
    unreadable(std::move(why));
}

void TrackedFiles::readIndex(const GitCandidate* around) {
    for (const GitCandidate* c = around; c; c = c->around) {
        std::call_once(c->readOnce, [&] { read(*c); });
        if (c->state != GitCandidate::State::NoRepository) return;
    }
}

TrackedFiles::Answer TrackedFiles::folder(const GitCandidate* around, const std::string& folder) {
    for (const GitCandidate* c = around; c; c = c->around) {
        std::call_once(c->readOnce, [&] { read(*c); });
        if (c->state == GitCandidate::State::NoRepository) continue;
        if (c->state == GitCandidate::State::Unreadable)
            return {Tracking::Unknown, "the Git repository at " + c->top + " cannot be read (" + c->why + ")"};
        const auto& files = c->index.files;
        if (folder == c->top) {
            // The folder is a repository of its own: what it tracks is source,
            // and the one around it may hold it as a submodule.
            if (!files.empty()) return {Tracking::Tracked, files.front()};
            continue;
        }
        if (!isInsideOrEqual(folder, c->top)) return {};
        const std::string rel = c->top == "/" ? folder.substr(1) : folder.substr(c->top.size() + 1);
        const auto& subs = c->index.submodules;
        if (std::binary_search(subs.begin(), subs.end(), rel)) return {Tracking::Tracked, rel, true};
        const std::string prefix = rel + "/";
        const auto it = std::lower_bound(files.begin(), files.end(), prefix);
        if (it != files.end() && it->compare(0, prefix.size(), prefix) == 0) return {Tracking::Tracked, *it};
        return {};
    }
    return {};
}

}  // namespace tidewell::engine
