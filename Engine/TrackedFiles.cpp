#include "TrackedFiles.h"

#include "Home.h"

#include <fcntl.h>
#include <git2.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace tidewell::engine {

namespace {

void startGit() {
    static std::once_flag once;
    std::call_once(once, [] {
        git_libgit2_init();
        // Only the index is read, and nothing is run from a repository's
        // configuration: another user's repository is read like one's own.
        git_libgit2_opts(GIT_OPT_SET_OWNER_VALIDATION, 0);
    });
}

std::string gitError(const char* what) {
    const git_error* e = git_error_last();
    return std::string(what) + ": " + (e && e->message ? e->message : "unknown error");
}

}  // namespace

TrackedFiles::TrackedFiles(Unreadable onUnreadable) : onUnreadable_(std::move(onUnreadable)) { startGit(); }

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
        struct stat st {};
        const std::string here = i == 1 ? "/" : folder.substr(0, i - 1);
        if (fstatat(fd, ".git", &st, AT_SYMLINK_NOFOLLOW) == 0) nearest = candidateAt(here, nearest);
        if (i >= folder.size()) break;
        const std::size_t j = std::min(folder.find('/', i), folder.size());
        const int next = openat(fd, folder.substr(i, j - i).c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(fd);
        fd = next;
        i = j + 1;
    }
    if (fd >= 0) close(fd);
    return nearest;
}

void TrackedFiles::readIndex(const GitCandidate& c) const {
    using State = GitCandidate::State;
    git_repository* repo = nullptr;
    const int rc = git_repository_open_ext(&repo, c.top.c_str(), GIT_REPOSITORY_OPEN_NO_SEARCH, nullptr);
    struct stat st {};
    if (rc == GIT_ENOTFOUND && stat((c.top == "/" ? "/.git" : c.top + "/.git").c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return;  // a ".git" folder that is no repository: Git looks further up
    if (rc < 0) {
        c.state = State::Unreadable;
        c.why = gitError("the repository cannot be opened");
    } else if (git_repository_is_bare(repo)) {
        // A ".git" that is a bare repository gives this folder no work tree.
    } else if (const char* workdir = git_repository_workdir(repo); !workdir || normalizePath(workdir) != c.top) {
        // Its files are another folder's: whether this one's are tracked
        // cannot be told from it.
        c.state = State::Unreadable;
        c.why = "its work tree is configured elsewhere";
    } else if (git_index* index = nullptr; git_repository_index(&index, repo) < 0) {
        c.state = State::Unreadable;
        c.why = gitError("its index cannot be read");
    } else {
        const std::size_t n = git_index_entrycount(index);
        c.paths.reserve(n);
        for (std::size_t i = 0; i < n; ++i)
            if (const git_index_entry* e = git_index_get_byindex(index, i)) c.paths.emplace_back(e->path);
        git_index_free(index);
        if (!std::is_sorted(c.paths.begin(), c.paths.end())) std::sort(c.paths.begin(), c.paths.end());
        c.state = State::Indexed;
    }
    git_repository_free(repo);
    if (c.state == State::Unreadable && onUnreadable_) onUnreadable_(c.top, c.why);
}

TrackedFiles::Answer TrackedFiles::folder(const GitCandidate* around, const std::string& folder) {
    for (const GitCandidate* c = around; c; c = c->around) {
        std::call_once(c->read, [&] { readIndex(*c); });
        if (c->state == GitCandidate::State::NoRepository) continue;
        if (c->state == GitCandidate::State::Unreadable)
            return {Tracking::Unknown, "the Git index of the repository at " + c->top + " cannot be read (" + c->why + ")"};
        if (!isInsideOrEqual(folder, c->top) || folder == c->top) return {};
        const std::string prefix = (c->top == "/" ? folder.substr(1) : folder.substr(c->top.size() + 1)) + "/";
        const auto it = std::lower_bound(c->paths.begin(), c->paths.end(), prefix);
        if (it != c->paths.end() && it->compare(0, prefix.size(), prefix) == 0) return {Tracking::Tracked, *it};
        return {};
    }
    return {};
}

}  // namespace tidewell::engine
