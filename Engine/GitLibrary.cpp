#include "GitLibrary.h"

#include "OpenResolved.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <git2.h>
#include <git2/sys/alloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace tidewell::engine {

namespace {

// libgit2 is loaded the first time a repository is judged: linked to the
// engine, it and the libraries it needs would cost every start, also of the
// scans that find no repository inside a dependency folder.
#define TIDEWELL_GIT_FUNCTIONS(X) \
    X(git_error_last) \
    X(git_index_entrycount) \
    X(git_index_free) \
    X(git_index_get_byindex) \
    X(git_index_get_bypath) \
    X(git_libgit2_init) \
    X(git_libgit2_opts) \
    X(git_object_free) \
    X(git_object_id) \
    X(git_object_lookup) \
    X(git_object_peel) \
    X(git_odb_exists) \
    X(git_odb_free) \
    X(git_odb_hash) \
    X(git_oid_cmp) \
    X(git_oid_equal) \
    X(git_oid_is_zero) \
    X(git_oid_tostr) \
    X(git_reference_free) \
    X(git_reference_has_log) \
    X(git_reference_iterator_free) \
    X(git_reference_iterator_glob_new) \
    X(git_reference_name) \
    X(git_reference_name_to_id) \
    X(git_reference_next) \
    X(git_reference_peel) \
    X(git_reference_type) \
    X(git_reflog_entry_byindex) \
    X(git_reflog_entry_id_new) \
    X(git_reflog_entry_message) \
    X(git_reflog_entrycount) \
    X(git_reflog_free) \
    X(git_reflog_read) \
    X(git_repository_free) \
    X(git_repository_hashfile) \
    X(git_repository_head_detached) \
    X(git_repository_head_unborn) \
    X(git_repository_index) \
    X(git_repository_odb) \
    X(git_repository_open_ext) \
    X(git_repository_set_workdir) \
    X(git_revwalk_free) \
    X(git_revwalk_hide) \
    X(git_revwalk_new) \
    X(git_revwalk_next) \
    X(git_revwalk_push) \
    X(git_revwalk_sorting) \
    X(git_status_byindex) \
    X(git_status_list_entrycount) \
    X(git_status_list_free) \
    X(git_status_list_new)

// libgit2's memory comes through here, so that an allocation refused under
// the helper's cap is told as such, whatever libgit2 says of it (a commit
// that "can not be successfully peeled into a tree").
std::atomic<bool> gRefused{false};

void* refusedIfNull(void* p) {
    if (!p) gRefused.store(true);
    return p;
}

void* gitMalloc(std::size_t n, const char*, int) { return refusedIfNull(std::malloc(n)); }
void* gitCalloc(std::size_t count, std::size_t size, const char*, int) { return refusedIfNull(std::calloc(count, size)); }
char* gitStrdup(const char* s, const char*, int) { return static_cast<char*>(refusedIfNull(strdup(s))); }
char* gitStrndup(const char* s, std::size_t n, const char*, int) { return static_cast<char*>(refusedIfNull(strndup(s, n))); }
char* gitSubstrdup(const char* s, std::size_t n, const char*, int) {
    char* p = n == SIZE_MAX ? nullptr : static_cast<char*>(std::malloc(n + 1));
    if (p) {
        std::memcpy(p, s, n);
        p[n] = '\0';
    }
    return static_cast<char*>(refusedIfNull(p));
}
void* gitRealloc(void* p, std::size_t n, const char*, int) { return refusedIfNull(std::realloc(p, n)); }
void* gitReallocArray(void* p, std::size_t count, std::size_t size, const char*, int) {
    std::size_t n = 0;
    return refusedIfNull(__builtin_mul_overflow(count, size, &n) ? nullptr : std::realloc(p, n));
}
void* gitMallocArray(std::size_t count, std::size_t size, const char*, int) {
    std::size_t n = 0;
    return refusedIfNull(__builtin_mul_overflow(count, size, &n) ? nullptr : std::malloc(n));
}
void gitFree(void* p) { std::free(p); }

git_allocator gAllocator = {gitMalloc, gitCalloc, gitStrdup, gitStrndup, gitSubstrdup, gitRealloc, gitReallocArray, gitMallocArray, gitFree};

struct Library {
#define TIDEWELL_GIT_POINTER(name) decltype(&::name) name = nullptr;
    TIDEWELL_GIT_FUNCTIONS(TIDEWELL_GIT_POINTER)
#undef TIDEWELL_GIT_POINTER
    std::string missing;  // why it cannot be used
};

const Library& lib() {
    static const Library loaded = [] {
        Library l;
        void* handle = dlopen(TIDEWELL_LIBGIT2_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            l.missing = why ? why : TIDEWELL_LIBGIT2_SONAME " cannot be loaded";
            return l;
        }
#define TIDEWELL_GIT_LOAD(name)                                                   \
    l.name = reinterpret_cast<decltype(l.name)>(dlsym(handle, #name));         \
    if (!l.name && l.missing.empty()) l.missing = TIDEWELL_LIBGIT2_SONAME " lacks " #name;
        TIDEWELL_GIT_FUNCTIONS(TIDEWELL_GIT_LOAD)
#undef TIDEWELL_GIT_LOAD
        if (!l.missing.empty()) return l;
        l.git_libgit2_opts(GIT_OPT_SET_ALLOCATOR, &gAllocator);
        l.git_libgit2_init();
        // Nothing here runs what a repository names (no hook, no filter
        // command, no fsmonitor): one that another user owns is only read.
        l.git_libgit2_opts(GIT_OPT_SET_OWNER_VALIDATION, 0);
        // A sparse checkout keeps its settings in a worktree config, and a
        // partial clone lacks some blobs: neither changes what status reads.
        const char* extensions[] = {"worktreeconfig", "partialclone"};
        l.git_libgit2_opts(GIT_OPT_SET_EXTENSIONS, extensions, std::size(extensions));
        return l;
    }();
    return loaded;
}

template <class T>
struct Free;
template <>
struct Free<git_repository> {
    void operator()(git_repository* p) const { lib().git_repository_free(p); }
};
template <>
struct Free<git_status_list> {
    void operator()(git_status_list* p) const { lib().git_status_list_free(p); }
};
template <>
struct Free<git_index> {
    void operator()(git_index* p) const { lib().git_index_free(p); }
};
template <>
struct Free<git_reference> {
    void operator()(git_reference* p) const { lib().git_reference_free(p); }
};
template <>
struct Free<git_reference_iterator> {
    void operator()(git_reference_iterator* p) const { lib().git_reference_iterator_free(p); }
};
template <>
struct Free<git_reflog> {
    void operator()(git_reflog* p) const { lib().git_reflog_free(p); }
};
template <>
struct Free<git_object> {
    void operator()(git_object* p) const { lib().git_object_free(p); }
};
template <>
struct Free<git_revwalk> {
    void operator()(git_revwalk* p) const { lib().git_revwalk_free(p); }
};
template <>
struct Free<git_odb> {
    void operator()(git_odb* p) const { lib().git_odb_free(p); }
};
template <class T>
using Owned = std::unique_ptr<T, Free<T>>;

struct Closing {
    int fd;
    explicit Closing(int f) : fd(f) {}
    ~Closing() {
        if (fd >= 0) close(fd);
    }
    Closing(const Closing&) = delete;
    Closing& operator=(const Closing&) = delete;
};

std::string lastError() {
    const git_error* e = lib().git_error_last();
    return e && e->message ? e->message : "libgit2 gave no reason";
}

GitWork unjudged(const std::string& what) { return {GitWork::Kind::Unjudged, what + ": " + lastError(), {}}; }

struct OidLess {
    bool operator()(const git_oid& a, const git_oid& b) const { return lib().git_oid_cmp(&a, &b) < 0; }
};

bool contains(const std::vector<git_oid>& sorted, const git_oid& id) { return std::binary_search(sorted.begin(), sorted.end(), id, OidLess()); }

void sortUnique(std::vector<git_oid>& ids) {
    std::sort(ids.begin(), ids.end(), OidLess());
    ids.erase(std::unique(ids.begin(), ids.end(), [](const git_oid& a, const git_oid& b) { return lib().git_oid_equal(&a, &b); }), ids.end());
}

// The first entry `git status` lists: untracked files that an ignore rule
// covers are not looked into, and a submodule answers for itself.
GitWork statusWork(git_repository* repo) {
    git_status_options options = GIT_STATUS_OPTIONS_INIT;
    options.show = GIT_STATUS_SHOW_INDEX_AND_WORKDIR;
    options.flags = GIT_STATUS_OPT_INCLUDE_UNTRACKED | GIT_STATUS_OPT_EXCLUDE_SUBMODULES;
    git_status_list* rawList = nullptr;
    if (lib().git_status_list_new(&rawList, repo, &options) != 0) return unjudged("its status cannot be read");
    const Owned<git_status_list> list(rawList);
    Owned<git_index> index;
    const std::size_t count = lib().git_status_list_entrycount(list.get());
    for (std::size_t i = 0; i < count; ++i) {
        const git_status_entry* e = lib().git_status_byindex(list.get(), i);
        const unsigned s = e->status;
        const git_diff_delta* staged = e->head_to_index;
        const git_diff_delta* worked = e->index_to_workdir;
        const git_diff_delta* d = worked ? worked : staged;
        if (!d) continue;
        const std::string path = d->new_file.path ? d->new_file.path : d->old_file.path ? d->old_file.path : "";
        if (s & GIT_STATUS_CONFLICTED) return {GitWork::Kind::Conflicted, path, {}};
        if (s & (GIT_STATUS_INDEX_NEW | GIT_STATUS_INDEX_MODIFIED | GIT_STATUS_INDEX_DELETED | GIT_STATUS_INDEX_RENAMED |
                 GIT_STATUS_INDEX_TYPECHANGE))
            return {GitWork::Kind::Staged, staged && staged->new_file.path ? staged->new_file.path : path, {}};
        if (s & GIT_STATUS_WT_UNREADABLE) return {GitWork::Kind::Unjudged, path + " cannot be read", {}};
        if (s & GIT_STATUS_WT_NEW) return {GitWork::Kind::New, path, {}};
        if (s & (GIT_STATUS_WT_MODIFIED | GIT_STATUS_WT_TYPECHANGE | GIT_STATUS_WT_RENAMED)) return {GitWork::Kind::Changed, path, {}};
        if (s & GIT_STATUS_WT_DELETED) {
            // What a sparse checkout leaves out is not in the work tree, on purpose.
            if (!index) {
                git_index* raw = nullptr;
                if (lib().git_repository_index(&raw, repo) != 0) return unjudged("its index cannot be read");
                index.reset(raw);
            }
            const git_index_entry* entry = lib().git_index_get_bypath(index.get(), path.c_str(), 0);
            if (entry && (entry->flags_extended & GIT_INDEX_ENTRY_SKIP_WORKTREE)) continue;
            return {GitWork::Kind::Gone, path, {}};
        }
    }
    return {};
}

// Status compares the index with the tree of the commit checked out: one
// that cannot be read (a damaged pack index) would make every tracked file
// look staged. An object that cannot be read is no change of the user's:
// the repository cannot be judged.
GitWork unreadableHead(git_repository* repo) {
    if (lib().git_repository_head_unborn(repo) == 1) return {};
    git_oid head{};
    if (lib().git_reference_name_to_id(&head, repo, "HEAD") != 0) return unjudged("its HEAD cannot be read");
    char shortName[8] = {};
    lib().git_oid_tostr(shortName, sizeof shortName, &head);
    git_object* rawCommit = nullptr;
    if (lib().git_object_lookup(&rawCommit, repo, &head, GIT_OBJECT_ANY) != 0)
        return unjudged(std::string("the commit it has checked out (") + shortName + ") cannot be read");
    const Owned<git_object> commit(rawCommit);
    git_object* rawTree = nullptr;
    if (lib().git_object_peel(&rawTree, commit.get(), GIT_OBJECT_TREE) != 0)
        return unjudged(std::string("the files of the commit it has checked out (") + shortName + ") cannot be read");
    const Owned<git_object> tree(rawTree);
    return {};
}

// An entry Git was told to overlook (`git update-index --skip-worktree`, the
// usual way to keep a local edit of a config out of `git status`, or
// `--assume-unchanged`) is compared by content here: an edit made under it
// exists nowhere else. A skip-worktree file that is not there was left out
// by a sparse checkout; an assume-unchanged one was deleted.
GitWork overlookedWork(git_repository* repo, const std::string& top) {
    git_index* rawIndex = nullptr;
    if (lib().git_repository_index(&rawIndex, repo) != 0) return unjudged("its index cannot be read");
    const Owned<git_index> index(rawIndex);
    const Closing topFd(open(top.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (topFd.fd < 0) return {GitWork::Kind::Unjudged, "its folder cannot be opened: " + std::string(std::strerror(errno)), {}};
    const std::size_t count = lib().git_index_entrycount(index.get());
    for (std::size_t i = 0; i < count; ++i) {
        const git_index_entry* e = lib().git_index_get_byindex(index.get(), i);
        if (!e || !e->path || GIT_INDEX_ENTRY_STAGE(e) != 0) continue;
        const bool skipped = (e->flags_extended & GIT_INDEX_ENTRY_SKIP_WORKTREE) != 0;
        if (!skipped && !(e->flags & GIT_INDEX_ENTRY_VALID)) continue;
        const std::uint32_t type = e->mode & 0170000;
        if (type != 0100000 && type != 0120000) continue;  // a submodule answers for itself
        const char* told = skipped ? "--skip-worktree" : "--assume-unchanged";
        // Only what lies in the work tree, never on another mount nor, for
        // a file, through a link.
        constexpr int flags = O_PATH | O_NOFOLLOW | O_CLOEXEC;
        Closing file(openResolved(topFd.fd, e->path, flags,
                                  RESOLVE_BENEATH | RESOLVE_NO_XDEV | (type == 0100000 ? RESOLVE_NO_SYMLINKS : 0)));
        if (file.fd < 0 && errno == ENOSYS) file.fd = openat(topFd.fd, e->path, flags);
        if (file.fd < 0) {
            if (skipped) continue;
            return {GitWork::Kind::Gone, e->path, told};
        }
        struct stat st {};
        const bool looked = fstat(file.fd, &st) == 0;
        git_oid now{};
        bool same = false;
        if (looked && type == 0120000 && S_ISLNK(st.st_mode)) {
            std::string target(PATH_MAX, '\0');
            const ssize_t n = readlinkat(file.fd, "", target.data(), target.size());
            same = n >= 0 && lib().git_odb_hash(&now, target.data(), static_cast<std::size_t>(n), GIT_OBJECT_BLOB) == 0 &&
                   lib().git_oid_equal(&now, &e->id);
        } else if (looked && type == 0100000 && S_ISREG(st.st_mode)) {
            // Hashed as status hashes a file, through the repository's own
            // conversions (line endings), which run no command.
            if (lib().git_repository_hashfile(&now, repo, (top + "/" + e->path).c_str(), GIT_OBJECT_BLOB, e->path) != 0)
                return unjudged(std::string(e->path) + " cannot be read");
            same = lib().git_oid_equal(&now, &e->id);
        }
        if (!same) return {GitWork::Kind::Changed, e->path, told};
    }
    return {};
}

// Whether a reflog entry's message tells of a commit being made: a commit
// (an amend, a merge's), a merge, a cherry-pick, a rebase, a revert, am, a
// pull that merged or rebased. A checkout, a clone, a reset or a branch's
// creation brings one that exists elsewhere. Counting more is harmless: a
// commit a remote-tracking branch contains holds nothing.
bool makesCommit(std::string_view message) {
    static constexpr std::array<std::string_view, 7> kinds = {"commit", "merge", "cherry-pick", "rebase", "revert", "am", "pull"};
    for (const std::string_view kind : kinds)
        if (message.starts_with(kind) && message.size() > kind.size() &&
            (message[kind.size()] == ':' || message[kind.size()] == ' ' || message[kind.size()] == '('))
            return !message.ends_with(": Fast-forward") && !message.starts_with("rebase (start)") && !message.starts_with("rebase -i (start)");
    return false;
}

// Adds the commits the reflog of `name` shows made. False when it cannot be read.
bool madeIn(git_repository* repo, const char* name, std::vector<git_oid>& made) {
    git_reflog* raw = nullptr;
    if (lib().git_reflog_read(&raw, repo, name) != 0) return false;
    const Owned<git_reflog> log(raw);
    const std::size_t count = lib().git_reflog_entrycount(log.get());
    for (std::size_t i = 0; i < count; ++i) {
        const git_reflog_entry* e = lib().git_reflog_entry_byindex(log.get(), i);
        const char* message = lib().git_reflog_entry_message(e);
        const git_oid* id = lib().git_reflog_entry_id_new(e);
        if (message && id && !lib().git_oid_is_zero(id) && makesCommit(message)) made.push_back(*id);
    }
    return true;
}

// The commit each reference matching `glob` leads to (tags peeled), with its name.
bool commitsOf(git_repository* repo, const char* glob, std::vector<std::pair<std::string, git_oid>>& out) {
    git_reference_iterator* rawIt = nullptr;
    if (lib().git_reference_iterator_glob_new(&rawIt, repo, glob) != 0) return false;
    const Owned<git_reference_iterator> it(rawIt);
    for (;;) {
        git_reference* rawRef = nullptr;
        const int rc = lib().git_reference_next(&rawRef, it.get());
        if (rc == GIT_ITEROVER) return true;
        if (rc != 0) return false;
        const Owned<git_reference> ref(rawRef);
        git_object* rawTarget = nullptr;
        // A symbolic ref (origin/HEAD) names one listed anyway; one naming no
        // commit (a tag of a tree) contains none.
        if (lib().git_reference_type(ref.get()) == GIT_REFERENCE_SYMBOLIC) continue;
        if (lib().git_reference_peel(&rawTarget, ref.get(), GIT_OBJECT_COMMIT) != 0) continue;
        const Owned<git_object> target(rawTarget);
        out.emplace_back(lib().git_reference_name(ref.get()), *lib().git_object_id(target.get()));
    }
}

// What names `id` today, in a user's words.
std::string namesOf(git_repository* repo, const git_oid& id, const std::vector<std::pair<std::string, git_oid>>& branches) {
    for (const auto& [name, tip] : branches)
        if (lib().git_oid_equal(&tip, &id)) return "its branch " + name.substr(std::string_view("refs/heads/").size()) + " points to it";
    std::vector<std::pair<std::string, git_oid>> tags;
    if (commitsOf(repo, "refs/tags/*", tags))
        for (const auto& [name, tip] : tags)
            if (lib().git_oid_equal(&tip, &id)) return "its tag " + name.substr(std::string_view("refs/tags/").size()) + " points to it";
    git_oid head{};
    if (lib().git_reference_name_to_id(&head, repo, "HEAD") == 0 && lib().git_oid_equal(&head, &id)) return "it is checked out";
    return "only its reflog names it";
}

// The newest commit made in the repository that no remote-tracking branch
// contains, else its stash. A local branch without a reflog cannot tell
// where its commit came from: it counts as made there.
GitWork commitWork(git_repository* repo) {
    std::vector<git_oid> made;
    std::vector<std::pair<std::string, git_oid>> branches, remotes;
    if (!commitsOf(repo, "refs/heads/*", branches)) return unjudged("its branches cannot be read");
    if (!commitsOf(repo, "refs/remotes/*", remotes)) return unjudged("its remote branches cannot be read");
    if (lib().git_reference_has_log(repo, "HEAD") == 1) {
        if (!madeIn(repo, "HEAD", made)) return unjudged("its reflog cannot be read");
    } else if (lib().git_repository_head_detached(repo) == 1) {
        git_oid head{};
        if (lib().git_reference_name_to_id(&head, repo, "HEAD") == 0) made.push_back(head);
    }
    for (const auto& [name, tip] : branches) {
        if (lib().git_reference_has_log(repo, name.c_str()) != 1)
            made.push_back(tip);
        else if (!madeIn(repo, name.c_str(), made))
            return unjudged("the reflog of " + name + " cannot be read");
    }
    std::vector<git_oid> elsewhere;
    for (const auto& r : remotes) elsewhere.push_back(r.second);
    sortUnique(elsewhere);
    sortUnique(made);
    std::erase_if(made, [&](const git_oid& id) { return contains(elsewhere, id); });
    if (!made.empty()) {
        git_odb* rawOdb = nullptr;
        if (lib().git_repository_odb(&rawOdb, repo) != 0) return unjudged("its objects cannot be read");
        const Owned<git_odb> odb(rawOdb);
        // A commit pruned since its reflog entry holds nothing any more.
        std::erase_if(made, [&](const git_oid& id) { return !lib().git_odb_exists(odb.get(), &id); });
    }
    if (!made.empty()) {
        git_revwalk* rawWalk = nullptr;
        if (lib().git_revwalk_new(&rawWalk, repo) != 0) return unjudged("its history cannot be read");
        const Owned<git_revwalk> walk(rawWalk);
        lib().git_revwalk_sorting(walk.get(), GIT_SORT_TIME);
        for (const git_oid& id : made)
            if (lib().git_revwalk_push(walk.get(), &id) != 0) return unjudged("its history cannot be read");
        for (const git_oid& id : elsewhere)
            if (lib().git_revwalk_hide(walk.get(), &id) != 0) return unjudged("its history cannot be read");
        // What the walk gives is contained in no remote-tracking branch.
        for (git_oid id{};;) {
            const int rc = lib().git_revwalk_next(&id, walk.get());
            if (rc == GIT_ITEROVER) break;
            if (rc != 0) return unjudged("its history cannot be read");
            if (!contains(made, id)) continue;
            char shortName[8] = {};
            lib().git_oid_tostr(shortName, sizeof shortName, &id);
            return {GitWork::Kind::Made, shortName, namesOf(repo, id, branches)};
        }
    }
    git_oid stash{};
    if (lib().git_reference_name_to_id(&stash, repo, "refs/stash") == 0) return {GitWork::Kind::Stash, {}, {}};
    return {};
}

}  // namespace

bool libraryRefusedMemory() { return gRefused.load(); }

GitWork libraryGitWork(const std::string& top) {
    if (!lib().missing.empty()) return {GitWork::Kind::Unjudged, "libgit2 cannot be used: " + lib().missing, {}};
    git_repository* raw = nullptr;
    if (lib().git_repository_open_ext(&raw, top.c_str(), GIT_REPOSITORY_OPEN_NO_SEARCH, nullptr) != 0) return unjudged("Git cannot open it");
    const Owned<git_repository> repo(raw);
    // Its files are those in its folder, whatever work tree its config names.
    if (lib().git_repository_set_workdir(repo.get(), top.c_str(), 0) != 0) return unjudged("Git cannot open its work tree");
    if (GitWork head = unreadableHead(repo.get())) return head;
    if (GitWork status = statusWork(repo.get())) return status;
    if (GitWork overlooked = overlookedWork(repo.get(), top)) return overlooked;
    return commitWork(repo.get());
}

}  // namespace tidewell::engine
