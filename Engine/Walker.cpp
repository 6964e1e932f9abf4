#include "Walker.h"

#include "Home.h"
#include "SizeAccounting.h"
#include "WorkPool.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace tidewell::engine {

namespace {

struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    // the NUL-terminated name follows at kNameOffset
};
constexpr std::size_t kNameOffset = 19;

constexpr std::int64_t kNoActivity = INT64_MIN;

// A listing that repeats a name, or passes this many entries, never ends: a
// server that ignores where its last answer stopped gives the same entries
// for ever, and a walk that kept them would grow until its memory ran out.
constexpr std::size_t kLongestListing = std::size_t(1) << 20;
constexpr std::string_view kEndlessListing = "its listing does not end";

void atomicMax(std::atomic<std::int64_t>& a, std::int64_t v) {
    std::int64_t cur = a.load(std::memory_order_relaxed);
    while (v > cur && !a.compare_exchange_weak(cur, v, std::memory_order_relaxed)) {
    }
}

void atomicAdd(std::atomic<std::uint64_t>& a, std::uint64_t v) {
    std::uint64_t cur = a.load(std::memory_order_relaxed);
    while (!a.compare_exchange_weak(cur, saturatingAdd(cur, v), std::memory_order_relaxed)) {
    }
}

std::uint64_t allocatedBytes(const struct stat& st) { return static_cast<std::uint64_t>(st.st_blocks) * 512u; }

// Entries are asked of the kernel as it holds them, never synced with a
// server: a FUSE or network filesystem mounted on a folder of the walk (an
// sshfs folder whose host is gone) is seen as another filesystem and passed
// by, never asked, so its server cannot hold the walk. What a local
// filesystem tells is the same either way.
constexpr int kStatFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC;

// The mount a folder is reached through (0 when the kernel does not tell): a
// bind mount of the same filesystem has the same device but its own mount.
std::uint64_t mountOf(int dirFd, const char* name) {
    struct statx sx {};
    if (statx(dirFd, name, kStatFlags | (*name ? 0 : AT_EMPTY_PATH), STATX_MNT_ID, &sx) != 0 ||
        !(sx.stx_mask & STATX_MNT_ID))
        return 0;
    return sx.stx_mnt_id;
}

// lstat of an entry, with the mount it lies on (0 when not told), in the
// one call: a walk makes one such call per entry.
bool statEntry(int dirFd, const char* name, struct stat& st, std::uint64_t& mount) {
    struct statx sx {};
    if (statx(dirFd, name, kStatFlags, STATX_BASIC_STATS | STATX_MNT_ID, &sx) != 0) return false;
    st.st_mode = sx.stx_mode;
    st.st_nlink = sx.stx_nlink;
    st.st_ino = sx.stx_ino;
    st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    st.st_blocks = static_cast<blkcnt_t>(sx.stx_blocks);
    st.st_mtim = {static_cast<time_t>(sx.stx_mtime.tv_sec), static_cast<long>(sx.stx_mtime.tv_nsec)};
    mount = (sx.stx_mask & STATX_MNT_ID) ? sx.stx_mnt_id : 0;
    return true;
}

// A folder by what it is, whatever path reaches it.
struct FolderKey {
    dev_t dev;
    ino_t ino;
    bool operator==(const FolderKey&) const = default;
};
struct FolderKeyHash {
    std::size_t operator()(const FolderKey& k) const { return std::hash<std::uint64_t>()(k.ino * 31u + k.dev); }
};
using FolderSet = std::unordered_set<FolderKey, FolderKeyHash>;

// An open folder shared by the tasks of its subfolders, which are opened
// relative to it: no path is ever longer than one name, at any depth.
struct OpenFolder {
    int fd;
    explicit OpenFolder(int f) : fd(f) {}
    ~OpenFolder() { close(fd); }
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
};

// Deep trees keep a folder open per level of every walk in flight.
void allowManyOpenFolders() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct rlimit rl {};
        if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
            rl.rlim_cur = rl.rlim_max;
            setrlimit(RLIMIT_NOFILE, &rl);
        }
    });
}

// strerror may share a buffer between threads; this does not.
std::string errorText(int e) { return std::error_code(e, std::generic_category()).message(); }

std::string baseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

struct Walker::Impl {
    // Where the paths of a folder measured again come from: listed under a
    // root given before, at `path` (really `realPath`), it lies at `outer`
    // in the walk of the root around it. Only the paths differ.
    struct Space {
        std::string path;
        std::string realPath;
        std::string outer;
    };
    // A claim on an artifact that a project of an earlier root held.
    struct Claim {
        std::string rel;
        std::string abs;
        std::string safetyClass;
        bool offered = false;
        const GitCandidate* repo = nullptr;
    };
    // A measured folder: a project, or a folder measured on its own.
    struct Owner {
        int index = 0;
        int parent = -1;
        Owner* parentOwner = nullptr;
        bool isProject = false;
        std::string path;
        StackMask stacks = 0;
        StackMask enclosing = 0;  // stacks whose folders below are modules of a build around them
        ProjectPlace place;
        std::string realPath;
        FolderKey folder{};
        const Space* space = nullptr;  // of its path; none: the walk's own
        int depth = 0;                 // below the root whose walk found it
        bool pinned = false;
        // Lies inside an artifact of a later root's project, which counts it
        // whole: neither it nor its folders count a second time.
        bool insideArtifact = false;
        StackMask artifactStacks = 0;  // then the stacks of the projects around that artifact
        std::atomic<StackMask> below{0};  // its stacks and those of every project inside it
        std::vector<Claim> refused;       // artifacts it names that an earlier root's project held
        std::vector<int> artifacts;
        std::atomic<std::uint64_t> plain{0};  // singly-linked files and folders, this owner's own part
        std::atomic<std::int64_t> activity{kNoActivity};
    };
    struct Artifact {
        int index = 0;
        int owner = 0;
        std::string relPath;
        std::string absPath;
        std::string safetyClass;
        const GitCandidate* repo = nullptr;  // the nearest ".git" at or above it
        bool offered = true;  // listed; else only measured as its project's
        std::atomic<bool> holdsWork{false};  // a Git repository with work found nowhere else
        // Set when a walk meets its folder: the folder, and the innermost
        // owner the walk was in there (perhaps a project nested in its own).
        FolderKey folder{};
        const Owner* within = nullptr;
        std::atomic<std::uint64_t> plain{0};
    };
    // `nameAt` of a task for the folder `parent` itself (a root given open).
    static constexpr std::uint32_t kItself = UINT32_MAX;
    struct Task {
        std::string path;
        std::shared_ptr<OpenFolder> parent;  // opened relative to it, by the last name of `path`
        std::uint32_t nameAt = 0;
        Owner* owner = nullptr;
        Artifact* art = nullptr;
        const GitCandidate* repo = nullptr;
        int depth = 0;
        int relDepth = 0;  // below the innermost project
        bool detect = false;
        bool activity = false;
        bool isRoot = false;
        bool followRoot = false;
        bool haveStat = false;
        bool engineFolder = false;  // holds the engine's own database
        bool readIndex = false;     // no folder: reads the Git index for `repo`
        bool walkedBefore = false;  // inside a root walked before
        const Space* space = nullptr;  // of `path`; none: the walk's own
        bool judge = false;         // no folder: judges the work of the repository in `parent`, inside `art`
        std::string_view marker;    // with `judge`: the entry that marks it (".git", ".hg", ".svn")
        FolderKey folder{};         // with `haveStat`
        std::uint64_t ownBytes = 0;
    };
    struct Entry {
        std::uint32_t off;
        std::uint32_t len;
        unsigned char type;
    };
    struct Scratch {
        std::vector<char> buf;  // 64 KiB, made on a worker's first folder
        std::string names;
        std::vector<Entry> entries;
        std::vector<LinkSeen> links;
        // Where listings are checked: the names of the folder being read,
        // kept apart from `names`, which moves as it grows.
        std::deque<std::string> listedNames;
        std::unordered_set<std::string_view> listed;
    };

    const ProjectDetector& detector;
    Progress& progress;
    const std::atomic<bool>& stop;
    const int maxDepth;
    WorkPool<Task> pool;
    std::vector<Scratch> scratch;

    std::shared_mutex regM;
    std::deque<Owner> owners;
    std::deque<Artifact> artifacts;
    std::unordered_map<std::string, Artifact*> claimed;
    std::deque<Space> spaces;
    // The roots walked so far, by what they are (not by the paths given): a
    // folder two roots reach is walked once, by the first. Changed only
    // between walks.
    FolderSet rootFolders;
    // The projects found so far: a root reached again through another mount
    // lists none of them twice.
    std::unordered_map<FolderKey, Owner*, FolderKeyHash> projectFolders;
    // The first owner of the root being walked: those before are earlier roots'.
    std::size_t walkStart = 0;
    // Projects of earlier roots that this walk measures again, met by it
    // elsewhere than their roots list them, by their folders.
    std::unordered_map<FolderKey, const Owner*, FolderKeyHash> relist;
    // The root being walked lies inside an artifact of an earlier root's
    // project, which counts it whole: its projects are listed but add to no
    // figure twice and offer nothing of their own.
    bool rootInsideArtifact = false;
    StackMask rootArtifactStacks = 0;  // then the stacks of the projects around that artifact
    dev_t rootDev = 0;
    std::uint64_t rootMount = 0;
    bool emitProjects = true;
    bool enterArtifacts = true;
    bool checkListings = false;
    Movability* movability = nullptr;
    TrackedFiles* tracked = nullptr;
    std::unordered_set<const GitCandidate*> indexesAsked;
    // Git repositories found inside artifacts are judged, and those told here too.
    bool judgeRepositories = false;
    std::mutex workM;
    std::unordered_map<FolderKey, bool, FolderKeyHash> judged;  // whether it holds work, by the repository's folder
    std::vector<RepositoryWork>* repositoriesWithWork = nullptr;
    // The root being walked and its real path: below it no link is followed,
    // so a folder's real path is the real root's and the rest of its own
    // (one realpath a root, none a project).
    std::string rootPath;
    std::string realRoot;
    // The folder of the engine's database, whose files are no project's.
    dev_t engineDev = 0;
    ino_t engineIno = 0;
    std::string engineName;

    Impl(const ProjectDetector& d, Progress& p, const std::atomic<bool>& s, int depth, unsigned threads)
        : detector(d), progress(p), stop(s), maxDepth(depth), pool(threads), scratch(pool.size()) {
        allowManyOpenFolders();
    }

    Owner* addOwner(const std::string& path, Owner* parent, bool isProject) {
        std::unique_lock lock(regM);
        Owner& o = owners.emplace_back();
        o.index = static_cast<int>(owners.size()) - 1;
        o.parent = parent ? parent->index : -1;
        o.parentOwner = parent;
        o.isProject = isProject;
        o.path = path;
        return &o;
    }

    Artifact* addArtifact(Owner* owner, const std::string& rel, const std::string& abs, const std::string& cls, bool offered,
                          const GitCandidate* repo) {
        std::unique_lock lock(regM);
        return addArtifactLocked(owner, rel, abs, cls, offered, repo);
    }

    Artifact* addArtifactLocked(Owner* owner, const std::string& rel, const std::string& abs, const std::string& cls, bool offered,
                                const GitCandidate* repo) {
        if (claimed.count(abs)) return nullptr;  // one folder is listed once
        // Nor one inside an artifact of the same project, found by its parents.
        for (std::size_t i = abs.find('/', 1); i != std::string::npos; i = abs.find('/', i + 1)) {
            const auto it = claimed.find(abs.substr(0, i));
            if (it != claimed.end() && it->second->owner == owner->index) return nullptr;
        }
        Artifact& art = artifacts.emplace_back();
        art.index = static_cast<int>(artifacts.size()) - 1;
        art.owner = owner->index;
        art.relPath = rel;
        art.absPath = abs;
        art.safetyClass = cls;
        art.offered = offered;
        art.repo = repo;
        owner->artifacts.push_back(art.index);
        claimed.emplace(abs, &art);
        return &art;
    }

    bool isEngineFile(std::string_view name) const {
        if (name.substr(0, engineName.size()) != engineName) return false;
        const std::string_view rest = name.substr(engineName.size());
        return rest.empty() || rest == "-wal" || rest == "-shm" || rest == "-journal" || rest == ".lock";
    }

    // Whether the real folder `rel` below the open folder `fd` is offered as an
    // artifact of `project`.
    bool offers(const Owner& project, int fd, const std::string& rel, const std::string& abs) const {
        if (!project.place.validName) return false;
        if (!movability) return true;
        const int parent = openParentNoFollow(fd, rel);
        if (parent < 0) return false;
        const auto slash = rel.rfind('/');
        const bool movable = !movability->obstacle(parent, slash == std::string::npos ? rel : rel.substr(slash + 1), abs, project.place);
        close(parent);
        return movable;
    }

    // Below a root no link is followed: a path's real path is its root's,
    // or its space's, and the rest of its own.
    std::string realPathOf(const std::string& path, const Space* space) const {
        const std::string& base = space ? space->path : rootPath;
        const std::string& real = space ? space->realPath : realRoot;
        if (path.size() == base.size()) return real;
        return joinPath(real, path.substr(base == "/" ? 1 : base.size() + 1));
    }

    // `path`, of the space `from`, as the walk's own root names it.
    static std::string toBase(const std::string& path, const Space* from) {
        if (!from) return path;
        if (path.size() == from->path.size()) return from->outer;
        return joinPath(from->outer, path.substr(from->path == "/" ? 1 : from->path.size() + 1));
    }

    // `path`, of the space `from`, as the owner `o` names it: its space is
    // the walk's own or one that `from` lies in.
    static std::string pathFor(const Owner& o, const std::string& path, const Space* from) {
        if (o.space == from) return path;
        std::string base = toBase(path, from);
        if (!o.space) return base;
        const std::string& outer = o.space->outer;
        if (base.size() == outer.size()) return o.space->path;
        return joinPath(o.space->path, base.substr(outer == "/" ? 1 : outer.size() + 1));
    }

    static std::string relativeTo(const Owner& o, const std::string& path) {
        return o.path == "/" ? path.substr(1) : path.substr(o.path.size() + 1);
    }

    // The repository that answers for the folder `rel` below the folder
    // `path` (open as `fd`, answered for by `repo`): a submodule or a nested
    // repository on the way answers instead of the project's.
    const GitCandidate* repoOf(const GitCandidate* repo, int fd, const std::string& path, const std::string& rel, const Space* space) {
        return tracked ? tracked->candidateWithin(repo, fd, realPathOf(path, space), rel) : nullptr;
    }

    // A folder that a rule names anywhere inside a project: the artifact of the
    // innermost enclosing project whose stacks name it. `fd` is its parent, at
    // `parentPath`, answered for by `repo`.
    Artifact* claimAnywhere(Owner* owner, int fd, const std::string& parentPath, const GitCandidate* repo, const std::string& path,
                            std::string_view name, const Space* space) {
        const StackMask stacks = detector.anywhereStacks(name);
        if (!stacks) return nullptr;
        for (Owner* o = owner; o; o = o->parentOwner) {
            if (!o->isProject || !(o->stacks & stacks)) continue;
            const std::string entry(name);
            const std::string abs = pathFor(*o, path, space);
            return addArtifact(o, relativeTo(*o, abs), abs, detector.anywhereClass(name, o->stacks), offers(*o, fd, entry, abs),
                               repoOf(repo, fd, parentPath, entry, space));
        }
        return nullptr;
    }

    // The artifacts of a module (open as `fd`) join the nearest project
    // around it that is of the module's stacks.
    void addModuleArtifacts(const std::string& path, int fd, Owner* around, StackMask modules, const GitCandidate* repo,
                            const Space* space) {
        Owner* host = around;
        while (host->parentOwner && !(host->stacks & modules)) host = host->parentOwner;
        if (!(host->stacks & modules)) host = around;
        const std::string hostPath = pathFor(*host, path, space);
        const std::string prefix = relativeTo(*host, hostPath) + "/";
        for (const auto& rule : detector.artifacts(modules))
            for (const auto& rel : matchArtifactPaths(fd, rule))
                if (probeRealFolder(fd, rel) == FolderState::RealFolder) {
                    const std::string abs = joinPath(hostPath, rel);
                    addArtifact(host, prefix + rel, abs, rule.safetyClass, offers(*host, fd, rel, abs), repoOf(repo, fd, path, rel, space));
                }
    }

    Artifact* claimedAt(const std::string& path) {
        std::shared_lock lock(regM);
        auto it = claimed.find(path);
        return it == claimed.end() ? nullptr : it->second;
    }

    // Whether the folder is listed as a project already, reached from a root
    // walked before through another mount of its filesystem: that walk
    // measured it whole.
    bool listedBefore(const FolderKey& folder) {
        std::shared_lock lock(regM);
        const auto it = projectFolders.find(folder);
        return it != projectFolders.end() && it->second->isProject;
    }

    // Inside a root walked before and a project of this root, the folder of
    // a project listed under that root counts in this one too: outside the
    // artifacts the project is taken in as a nested one, already measured
    // (true: not walked again), unless the projects around it claim folders
    // in it (below); inside an artifact, which counts everything it holds,
    // it is measured again as part of it, and neither its bytes nor its own
    // artifacts, which lie in a folder offered already, count twice.
    bool takeInListed(Task& t, std::optional<std::string>& listedAs) {
        bool again = false;
        {
            std::shared_lock lock(regM);
            again = relist.count(t.folder) > 0;
        }
        if (again) {
            std::unique_lock lock(regM);
            if (const auto it = relist.find(t.folder); it != relist.end()) {
                const Owner& listed = *it->second;
                relist.erase(it);
                if (!t.art) {
                    if (listed.path != t.path) enterSpace(t, listed, listedAs);
                    t.depth = listed.depth;
                    t.detect = true;
                }
                return false;
            }
        }
        Owner* found = nullptr;
        {
            std::shared_lock lock(regM);
            const auto it = projectFolders.find(t.folder);
            if (it != projectFolders.end() && static_cast<std::size_t>(it->second->index) < walkStart && it->second->isProject)
                found = it->second;
        }
        if (!found) return false;
        std::unique_lock lock(regM);
        Owner& listed = *found;
        if (t.art) {
            listed.insideArtifact = true;
            listed.artifactStacks |= stacksAround(*t.art);
            return false;
        }
        if (listed.parent >= 0) return true;
        if (!t.space && claimsAround(*t.owner, listed, t.path) && forgetToWalkAgain(t, listed, listedAs)) return false;
        listed.parent = t.owner->index;
        listed.parentOwner = t.owner;
        for (Owner* o = t.owner; o; o = o->parentOwner) o->below.fetch_or(listed.below.load());
        return true;
    }

    // Whether the projects from `around` up would claim a folder inside the
    // project `listed` (whose folder is at `path` in this walk) that its own
    // walk gave to none of them: Python's caches anywhere inside it, the
    // folders their rules name there (React Native's android/build), its
    // folders as modules of a build around them (a CMake subfolder).
    bool claimsAround(const Owner& around, const Owner& listed, const std::string& path) const {
        StackMask stacks = 0;
        for (const Owner* o = &around; o; o = o->parentOwner) {
            if (o->isProject) stacks |= o->stacks;
            for (const Claim& c : o->refused)
                if (isInsideOrEqual(c.abs, path)) return true;
            for (const int a : o->artifacts)
                if (isInsideOrEqual(artifacts[a].absPath, path)) return true;
        }
        return (stacks & detector.anywhereStackMask() & ~listed.stacks) || (around.enclosing & listed.below.load());
    }

    // Lets this walk measure the project `listed` again as a walk of this
    // root alone would, forgetting what its own root's walk found in it (its
    // figures, the projects inside it and their artifacts) but keeping the
    // paths under which their roots list them: one listed elsewhere than
    // below its folder (taken in through another link) is listed there
    // again when the walk meets its folder.
    bool forgetToWalkAgain(Task& t, Owner& listed, std::optional<std::string>& listedAs) {
        std::vector<Owner*> inside;
        for (std::size_t i = 0; i < walkStart; ++i) {
            Owner* o = &owners[i];
            const Owner* up = o;
            while (up && up != &listed) up = up->parentOwner;
            if (up && o->isProject) inside.push_back(o);
        }
        for (Owner* o : inside) {
            o->isProject = false;
            if (o != &listed && !isInsideOrEqual(o->path, listed.path)) relist.emplace(o->folder, o);
            if (emitProjects) progress.projectForgotten();
        }
        // Their folders are claimed again by the walk, under every path.
        std::unordered_set<int> forgotten;
        for (const Owner* o : inside) forgotten.insert(o->index);
        std::erase_if(claimed, [&](const auto& c) { return forgotten.count(c.second->owner) > 0; });
        std::vector<Owner*> chain;
        for (Owner* o = t.owner; o; o = o->parentOwner) chain.push_back(o);
        // Outer projects claim first, as they are found first.
        for (auto o = chain.rbegin(); o != chain.rend(); ++o) {
            auto& refused = (*o)->refused;
            for (auto c = refused.begin(); c != refused.end();) {
                if (!isInsideOrEqual(c->abs, t.path)) {
                    ++c;
                    continue;
                }
                addArtifactLocked(*o, c->rel, c->abs, c->safetyClass, c->offered, c->repo);
                c = refused.erase(c);
            }
        }
        if (listed.path != t.path) enterSpace(t, listed, listedAs);
        t.depth = listed.depth;
        t.detect = true;
        return true;
    }

    // Goes on into the folder of the project `listed`, met at `t.path`, under
    // the path its own root lists it by.
    void enterSpace(Task& t, const Owner& listed, std::optional<std::string>& listedAs) {
        const std::string outer = toBase(t.path, t.space);
        spaces.push_back({listed.path, listed.realPath, outer});
        // What the projects around it claim there is found by its paths.
        for (const Owner* o = t.owner; o; o = o->parentOwner)
            for (const int a : o->artifacts) {
                const std::string abs = toBase(artifacts[a].absPath, o->space);
                if (isInsideOrEqual(abs, outer))
                    claimed.emplace(abs.size() == outer.size() ? listed.path : joinPath(listed.path, abs.substr(outer.size() + 1)), &artifacts[a]);
            }
        t.space = &spaces.back();
        listedAs = listed.path;
    }

    // The stacks of the projects that hold the artifact `a`.
    StackMask stacksAround(const Artifact& a) const {
        StackMask stacks = 0;
        for (const Owner* o = &owners[a.owner]; o; o = o->parentOwner)
            stacks |= (o->isProject ? o->stacks : 0) | o->artifactStacks;
        return stacks;
    }

    enum class Within { NoRoot, Root, RootsArtifact };

    // Whether the open folder `fd` is, or lies inside, a root walked before,
    // and then whether inside an artifact that walk did not search (with the
    // stacks of the projects around the artifacts it lies in): its folder
    // and each one above it, by "..", where the kernel reached it (links on
    // the written path resolved) are looked up by what they are.
    Within insideWalkedRoot(int fd, StackMask& aroundArtifacts) const {
        aroundArtifacts = 0;
        if (rootFolders.empty()) return Within::NoRoot;
        std::unordered_map<FolderKey, const Artifact*, FolderKeyHash> artifactFolders;
        for (const Artifact& a : artifacts)
            if (a.folder.ino) artifactFolders.emplace(a.folder, &a);
        bool inArtifact = false;
        for (const auto& [dev, ino] : foldersAround(fd)) {
            const FolderKey here{static_cast<dev_t>(dev), static_cast<ino_t>(ino)};
            // A root walked as one searched all of itself.
            const Within within = !rootFolders.count(here) ? Within::NoRoot : inArtifact ? Within::RootsArtifact : Within::Root;
            if (const auto a = artifactFolders.find(here); a != artifactFolders.end()) {
                inArtifact = true;
                aroundArtifacts |= stacksAround(*a->second);
            }
            if (within != Within::NoRoot) return within;
        }
        return Within::NoRoot;
    }

    Owner* registerProject(const std::string& path, int fd, const FolderKey& folder, Owner* parent, StackMask stacks,
                           StackMask enclosing, bool pinned, const GitCandidate* repo, int depth, const Space* space) {
        Owner* o = addOwner(path, parent, true);
        bool listedAgain = false;  // found again by a walk that measures it again
        {
            std::unique_lock lock(regM);
            const auto [it, added] = projectFolders.try_emplace(folder, o);
            listedAgain = !added;
            it->second = o;
        }
        o->stacks = stacks;
        o->folder = folder;
        o->space = space;
        o->insideArtifact = rootInsideArtifact;
        o->artifactStacks = rootArtifactStacks;
        o->depth = depth;
        for (Owner* up = o; up; up = up->parentOwner) up->below.fetch_or(stacks);
        o->realPath = realPathOf(path, space);
        o->enclosing = enclosing | (parent ? parent->enclosing : 0);
        o->place = placeOf(fd, path);
        o->pinned = pinned;
        std::vector<std::pair<std::string, std::string>> found;  // path and class
        for (const auto& rule : detector.artifacts(stacks))
            for (const auto& rel : matchArtifactPaths(fd, rule))
                if (probeRealFolder(fd, rel) == FolderState::RealFolder) found.emplace_back(rel, rule.safetyClass);
        keepOutermost(found, [](const auto& f) -> const std::string& { return f.first; });
        for (const auto& [rel, safetyClass] : found) {
            const std::string abs = joinPath(path, rel);
            const bool offered = offers(*o, fd, rel, abs);
            const GitCandidate* folderRepo = repoOf(repo, fd, path, rel, space);
            if (addArtifact(o, rel, abs, safetyClass, offered, folderRepo)) continue;
            // Held by a project of an earlier root: this one may claim it
            // when it takes that project in.
            std::unique_lock lock(regM);
            const auto it = claimed.find(abs);
            if (it != claimed.end() && static_cast<std::size_t>(it->second->owner) < walkStart)
                o->refused.push_back({rel, abs, safetyClass, offered, folderRepo});
        }
        if (emitProjects && !listedAgain) progress.projectFound(baseName(path), path);
        // Forgotten by a walk that measures it again, and found again.
        if (emitProjects && listedAgain) progress.projectFoundAgain();
        return o;
    }

    // The folder's entries; nothing, with why, when they cannot be read.
    std::optional<std::string> readEntries(int fd, Scratch& s) {
        if (s.buf.empty()) s.buf.resize(64 * 1024);
        s.names.clear();
        s.entries.clear();
        if (checkListings) {
            s.listed.clear();
            s.listedNames.clear();
        }
        for (;;) {
            const long n = syscall(SYS_getdents64, fd, s.buf.data(), s.buf.size());
            if (n == 0) return std::nullopt;
            if (n < 0) {
                if (errno == EINTR) continue;
                return errorText(errno);
            }
            for (long off = 0; off < n;) {
                const auto* d = reinterpret_cast<const LinuxDirent64*>(s.buf.data() + off);
                off += d->d_reclen;
                const char* name = reinterpret_cast<const char*>(d) + kNameOffset;
                if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
                const std::size_t len = std::strlen(name);
                if (checkListings && (s.entries.size() >= kLongestListing || !s.listed.insert(s.listedNames.emplace_back(name, len)).second))
                    return std::string(kEndlessListing);
                s.entries.push_back({static_cast<std::uint32_t>(s.names.size()), static_cast<std::uint32_t>(len), d->d_type});
                s.names.append(name, len + 1);  // keeps the NUL: entries are C strings
            }
        }
    }

    // A folder that cannot be read still counts its own blocks, as du counts them.
    void cannotRead(const Task& t, int error) { cannotRead(t, errorText(error)); }
    void cannotRead(const Task& t, const std::string& why) {
        progress.emit("skip", "Cannot read this folder: " + why + ".", t.path);
        if (!t.owner || !t.haveStat) return;
        atomicAdd(t.owner->plain, t.ownBytes);
        if (t.art) atomicAdd(t.art->plain, t.ownBytes);
    }

    void handle(Task&& t, WorkPool<Task>::Worker& w) {
        if (stop.load(std::memory_order_relaxed)) return;
        if (t.readIndex) {
            tracked->readIndex(t.repo);
            return;
        }
        if (t.judge) {
            judgeRepository(t);
            return;
        }
        std::optional<std::string> listedAs;  // the path of the folder as its own root lists it
        if (t.walkedBefore && takeInListed(t, listedAs)) return;
        Scratch& s = scratch[w.index()];

        int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
        if (!(t.isRoot && t.followRoot)) flags |= O_NOFOLLOW;
        int fd = t.parent ? openat(t.parent->fd, t.nameAt == kItself ? "." : t.path.c_str() + t.nameAt, flags) : open(t.path.c_str(), flags);
        if (fd < 0 && errno == EMFILE && t.path.size() < PATH_MAX) fd = open(t.path.c_str(), flags);
        t.parent.reset();
        if (listedAs) t.path = std::move(*listedAs);
        if (fd < 0) {
            if (errno != ENOENT) cannotRead(t, errno);
            return;
        }
        if (!t.haveStat) {
            struct stat st {};
            if (fstat(fd, &st) != 0 || (!t.isRoot && st.st_dev != rootDev)) {
                close(fd);
                return;
            }
            t.ownBytes = allocatedBytes(st);
            t.folder = {st.st_dev, st.st_ino};
        }
        if (const auto unread = readEntries(fd, s)) {
            cannotRead(t, *unread);
            close(fd);
            return;
        }

        Owner* owner = t.owner;
        int relDepth = t.relDepth;
        bool activity = t.activity;
        // Where no project is looked for (a hidden folder, past the depth), a
        // nested repository still answers for the folders below it, as it
        // does for the clean. Inside an artifact nothing more is offered.
        if (!t.detect && tracked && owner && !t.art)
            for (const Entry& e : s.entries)
                if (std::string_view(s.names.data() + e.off, e.len) == ".git") {
                    t.repo = tracked->candidateAt(realPathOf(t.path, t.space), t.repo);
                    break;
                }
        if (t.detect) {
            StackMask stacks = 0;
            StackMask enclosing = 0;
            bool pinned = false;
            bool git = false;
            for (const Entry& e : s.entries) {
                const std::string_view name(s.names.data() + e.off, e.len);
                stacks |= detector.stacksMarkedBy(name);
                enclosing |= detector.stacksEnclosedBy(name);
                pinned = pinned || name == kPinFile;
                git = git || name == ".git";
            }
            if (git && tracked) t.repo = tracked->candidateAt(realPathOf(t.path, t.space), t.repo);
            if (stacks) stacks = detector.confirmed(fd, stacks);
            if (stacks && listedBefore(t.folder)) {
                close(fd);
                return;
            }
            // A CMake subfolder or a Gradle module is part of the build around it.
            if (const StackMask modules = t.owner ? stacks & t.owner->enclosing : 0) {
                addModuleArtifacts(t.path, fd, t.owner, modules, t.repo, t.space);
                stacks &= ~modules;
                relDepth = 0;
            }
            if (stacks) {
                owner = registerProject(t.path, fd, t.folder, t.owner, stacks, enclosing, pinned, t.repo, t.depth, t.space);
                // Its repository's index is read beside the walk, once.
                if (tracked && t.repo && askIndex(t.repo)) {
                    Task read;
                    read.repo = t.repo;
                    read.readIndex = true;
                    w.push(std::move(read));
                }
                relDepth = 0;
                activity = true;
            }
        }
        progress.maybeEmitActivity(owner ? "measure" : "walk", owner ? "Measuring projects…" : "Looking for projects…", t.path);

        std::uint64_t plain = 0;
        std::int64_t newest = kNoActivity;
        // Activity is the files' own times: a folder's time also changes when
        // something is moved out of it, as a clean or a restore does.
        if (owner) plain = t.ownBytes;

        const bool checkArtifacts = owner && owner->isProject && !t.art && relDepth < detector.maxArtifactDepth();
        const bool lookForRepositories = t.art && judgeRepositories && t.art->offered;
        std::string child;
        std::shared_ptr<OpenFolder> self;
        for (const Entry& e : s.entries) {
            const std::string_view name(s.names.data() + e.off, e.len);
            if (t.engineFolder && isEngineFile(name)) continue;
            // A repository inside an artifact is judged beside the walk, from
            // this folder, kept open for it.
            if (lookForRepositories && (name == ".git" || name == ".hg" || name == ".svn")) {
                if (!self) self = std::make_shared<OpenFolder>(fd);
                Task judge;
                judge.judge = true;
                judge.marker = name == ".git" ? ".git" : name == ".hg" ? ".hg" : ".svn";
                judge.parent = self;
                judge.art = t.art;
                judge.path = t.path;
                judge.folder = t.folder;
                w.push(std::move(judge));
            }
            // Outside projects only folders matter: marker files need no stat.
            bool isDir = e.type == DT_DIR;
            if (!owner && !isDir && e.type != DT_UNKNOWN) continue;
            struct stat st {};
            std::uint64_t mount = 0;
            if (!statEntry(fd, s.names.data() + e.off, st, mount)) continue;
            isDir = S_ISDIR(st.st_mode);

            if (!isDir) {
                if (!owner) continue;
                const std::uint64_t bytes = allocatedBytes(st);
                if (st.st_nlink > 1) {
                    s.links.push_back({static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), bytes,
                                       static_cast<std::uint64_t>(st.st_nlink), owner->index, t.art ? t.art->index : -1});
                } else {
                    plain = saturatingAdd(plain, bytes);
                }
                if (activity && !t.art) newest = std::max<std::int64_t>(newest, st.st_mtim.tv_sec);
                continue;
            }

            // Another filesystem, or another mount of this one: not entered, not counted.
            if (st.st_dev != rootDev || (rootMount && mount != rootMount)) continue;
            child.assign(t.path);
            if (child.size() != 1) child.push_back('/');
            child.append(name);
            const bool engineFolder = engineIno != 0 && st.st_ino == engineIno && st.st_dev == engineDev;
            // A root walked before lists its own projects; only a project of
            // this root around it has more to count there.
            const bool walkedBefore = !rootFolders.empty() && rootFolders.count({st.st_dev, st.st_ino});
            if (walkedBefore && !owner) continue;

            Task c;
            c.owner = owner;
            c.art = t.art;
            c.repo = t.repo;
            c.depth = t.depth + 1;
            c.relDepth = relDepth + 1;
            c.activity = activity;
            c.walkedBefore = t.walkedBefore || walkedBefore;
            c.space = t.space;
            if (checkArtifacts) {
                if (Artifact* a = claimedAt(child)) c.art = a;
            }
            if (!c.art) {
                c.detect = t.detect && c.depth <= maxDepth && !detector.skipsFolder(child, name);
                if (ProjectDetector::isVersionControl(name)) c.activity = false;
                if (owner && c.activity && detector.hasAnywhereArtifacts()) c.art = claimAnywhere(owner, fd, t.path, t.repo, child, name, t.space);
            }
            if (c.art && c.art != t.art) {
                c.art->folder = {st.st_dev, st.st_ino};
                c.art->within = owner;
            }
            c.engineFolder = engineFolder;
            if ((!owner && !c.detect) || (c.art && !enterArtifacts)) continue;
            c.haveStat = true;
            c.ownBytes = allocatedBytes(st);
            c.folder = {st.st_dev, st.st_ino};
            c.path = child;
            c.nameAt = static_cast<std::uint32_t>(child.size() - name.size());
            if (!self) self = std::make_shared<OpenFolder>(fd);
            c.parent = self;
            w.push(std::move(c));
        }
        if (!self) close(fd);
        self.reset();

        if (owner) {
            atomicAdd(owner->plain, plain);
            if (t.art) atomicAdd(t.art->plain, plain);
            if (newest != kNoActivity) atomicMax(owner->activity, newest);
        }
    }

    void run(Task root) {
        std::vector<Task> initial;
        initial.push_back(std::move(root));
        pool.run(std::move(initial), [this](Task&& t, WorkPool<Task>::Worker& w) { handle(std::move(t), w); });
    }

    // An artifact that holds a repository with work found nowhere else is
    // not offered, and the repository is named once, also when a root walked
    // before is measured again inside an artifact around it.
    void judgeRepository(const Task& t) {
        {
            std::lock_guard lock(workM);
            if (const auto it = judged.find(t.folder); it != judged.end()) {
                if (it->second) t.art->holdsWork.store(true);
                return;
            }
        }
        // An older Subversion checkout marks each of its folders: it is named
        // at its top, the folders below it are part of it.
        if (t.marker == ".svn" && t.path != t.art->absPath && faccessat(t.parent->fd, "../.svn", F_OK, AT_SYMLINK_NOFOLLOW) == 0) {
            t.art->holdsWork.store(true);
            return;
        }
        GitWork work = t.marker == ".git" ? gitWorkIn(t.parent->fd, t.path, stop) : foreignCheckout(t.marker);
        if (stop.load()) return;
        {
            std::lock_guard lock(workM);
            judged.emplace(t.folder, static_cast<bool>(work));
        }
        if (!work) return;
        t.art->holdsWork.store(true);
        progress.emit("skip", "Not offering " + t.art->absPath + ": it holds this " + work.holder() + work.reason() + ".", t.path);
        if (repositoriesWithWork) {
            std::lock_guard lock(workM);
            repositoriesWithWork->push_back({t.path, std::move(work)});
        }
    }

    bool askIndex(const GitCandidate* repo) {
        std::unique_lock lock(regM);
        return indexesAsked.insert(repo).second;
    }

    // Drops from the offer the folders that hold a file Git tracks, or that
    // might (an index that cannot be read). The projects' indexes were read
    // during the walk, beside it: no folder waited for one.
    void offerOnlyUntracked() {
        for (Artifact& a : artifacts) {
            const Owner& o = owners[a.owner];
            a.offered = a.offered && tracked->folder(a.repo, joinPath(o.realPath, a.relPath)).tracking == TrackedFiles::Tracking::Untracked;
        }
    }

    std::vector<LinkSeen> takeLinks() {
        std::vector<LinkSeen> all;
        for (auto& s : scratch) {
            all.insert(all.end(), s.links.begin(), s.links.end());
            s.links.clear();
            s.links.shrink_to_fit();
        }
        return all;
    }
};

Walker::Walker(const ProjectDetector& detector, Progress& progress, const std::atomic<bool>& stop, int maxDepth,
               unsigned threads)
    : impl_(std::make_unique<Impl>(detector, progress, stop, maxDepth, threads)) {}

Walker::~Walker() = default;

unsigned Walker::defaultThreads() {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return std::min(64u, cores * 3);
}

void Walker::skipArtifactContents() { impl_->enterArtifacts = false; }

void Walker::checkListingsEnd() { impl_->checkListings = true; }

void Walker::offerOnlyMovable(Movability& movability) { impl_->movability = &movability; }

void Walker::offerOnlyUntracked(TrackedFiles& tracked) {
    impl_->tracked = &tracked;
    impl_->judgeRepositories = true;
}

void Walker::ignoreEngineFiles(const std::string& databasePath) {
    const auto slash = databasePath.rfind('/');
    if (slash == std::string::npos) return;
    struct stat st {};
    if (stat(slash == 0 ? "/" : databasePath.substr(0, slash).c_str(), &st) != 0) return;
    impl_->engineDev = st.st_dev;
    impl_->engineIno = st.st_ino;
    impl_->engineName = databasePath.substr(slash + 1);
}

bool Walker::walkRoot(const std::string& root, std::string& error, int rootFd) {
    const std::string path = normalizePath(root);
    const int fd = rootFd >= 0 ? fcntl(rootFd, F_DUPFD_CLOEXEC, 0) : open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    const int rc = fstat(fd, &st);
    impl_->rootMount = rc == 0 ? mountOf(fd, "") : 0;
    if (rc != 0) {
        error = std::strerror(errno);
        close(fd);
        return false;
    }
    // Inside an artifact, where the walk around it looked for no project,
    // a root of its own is walked for them.
    StackMask aroundArtifacts = 0;
    const Impl::Within within = impl_->insideWalkedRoot(fd, aroundArtifacts);
    if (within == Impl::Within::Root) {
        close(fd);
        return true;
    }
    impl_->rootInsideArtifact = within == Impl::Within::RootsArtifact;
    impl_->rootArtifactStacks = impl_->rootInsideArtifact ? aroundArtifacts : 0;
    impl_->rootDev = st.st_dev;
    Impl::Task t;
    if (rootFd >= 0) {
        t.parent = std::make_shared<OpenFolder>(fd);
        t.nameAt = Impl::kItself;
    } else {
        close(fd);
    }
    t.path = path;
    char* real = realpath(path.c_str(), nullptr);
    impl_->rootPath = path;
    impl_->realRoot = real ? real : path;
    free(real);
    if (impl_->tracked) t.repo = impl_->tracked->candidateAround(impl_->realRoot);
    impl_->walkStart = impl_->owners.size();
    impl_->relist.clear();
    t.isRoot = true;
    t.engineFolder = impl_->engineIno != 0 && st.st_ino == impl_->engineIno && st.st_dev == impl_->engineDev;
    t.followRoot = true;
    t.detect = impl_->maxDepth >= 0;
    t.haveStat = true;
    t.ownBytes = allocatedBytes(st);
    t.folder = {st.st_dev, st.st_ino};
    const FolderKey walked = t.folder;
    impl_->run(std::move(t));
    impl_->rootFolders.insert(walked);
    return true;
}

std::vector<FolderId> foldersAround(int fd) {
    std::vector<FolderId> out;
    for (int cur = fcntl(fd, F_DUPFD_CLOEXEC, 0); cur >= 0;) {
        struct stat st {};
        const bool top = fstat(cur, &st) != 0 || (!out.empty() && FolderId{st.st_dev, st.st_ino} == out.back());  // "/" is its own parent
        if (!top) out.emplace_back(st.st_dev, st.st_ino);
        const int up = top ? -1 : openat(cur, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        close(cur);
        cur = up;
    }
    return out;
}

bool Walker::walkedBefore(const std::vector<FolderId>& folders) {
    if (folders.empty()) return false;
    for (const auto& [dev, ino] : folders)
        if (impl_->rootFolders.count({static_cast<dev_t>(dev), static_cast<ino_t>(ino)})) return true;
    impl_->rootFolders.insert({static_cast<dev_t>(folders.front().first), static_cast<ino_t>(folders.front().second)});
    return false;
}

WalkResult Walker::finish() {
    auto& im = *impl_;
    if (im.tracked) im.offerOnlyUntracked();
    const std::size_t n = im.owners.size();
    std::vector<int> parent(n);
    std::vector<bool> inUnion(n);
    for (std::size_t i = 0; i < n; ++i) {
        parent[i] = im.owners[i].parent;
        inUnion[i] = im.owners[i].isProject;
    }
    auto links = im.takeLinks();
    const LinkTotals lt = settleHardLinks(links, parent, inUnion, im.artifacts.size());

    // Outer owners before inner ones: a project listed under an earlier root
    // may have been taken in by one found after it.
    std::vector<int> depth(n, -1);
    for (std::size_t i = 0; i < n; ++i) {
        int d = 0, o = static_cast<int>(i);
        for (; o >= 0 && depth[o] < 0; o = parent[o]) ++d;
        d += o >= 0 ? depth[o] : -1;
        for (int k = static_cast<int>(i); k >= 0 && depth[k] < 0; k = parent[k]) depth[k] = d--;
    }
    std::vector<int> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return depth[a] < depth[b]; });

    std::vector<std::uint64_t> subtree(n);
    std::vector<std::int64_t> newest(n);
    for (std::size_t i = 0; i < n; ++i) {
        subtree[i] = im.owners[i].plain.load();
        newest[i] = im.owners[i].activity.load();
    }
    for (std::size_t k = n; k-- > 0;) {
        const int i = order[k];
        if (parent[i] >= 0) {
            subtree[parent[i]] = saturatingAdd(subtree[parent[i]], subtree[i]);
            newest[parent[i]] = std::max(newest[parent[i]], newest[i]);
        }
    }

    WalkResult result;
    std::vector<int> projectIndex(n, -1);
    std::vector<bool> insideArtifact(n);
    // The project nested in `project` that holds a folder its walk met
    // inside the owner `within`, or -1: an owner's index, made a list index
    // once all are listed.
    const auto nestedWithin = [&](int project, const Impl::Owner* within) {
        int w = within ? within->index : -1;
        while (w >= 0 && !im.owners[w].isProject) w = parent[w];
        int up = w;
        while (up >= 0 && up != project) up = parent[up];
        return up == project && w != project ? w : -1;
    };
    for (const int i : order) {
        const auto& o = im.owners[i];
        insideArtifact[i] = o.insideArtifact || (parent[i] >= 0 && insideArtifact[parent[i]]);
        if (!o.isProject) continue;
        WalkedProject p;
        p.path = o.path;
        p.folder = {o.folder.dev, o.folder.ino};
        p.name = baseName(o.path);
        p.stacks = o.stacks;
        p.pinned = o.pinned;
        p.parent = parent[i] >= 0 ? projectIndex[parent[i]] : -1;
        p.insideArtifact = insideArtifact[i];
        p.artifactStacks = o.artifactStacks;
        p.totalBytes = saturatingAdd(subtree[i], lt.ownerBytes[i]);
        if (newest[i] != kNoActivity) p.lastActivity = newest[i];
        for (int a : o.artifacts) {
            const auto& art = im.artifacts[a];
            if (!art.offered || art.holdsWork.load() || insideArtifact[i]) continue;
            p.artifacts.push_back({art.relPath, art.absPath, art.safetyClass, saturatingAdd(art.plain.load(), lt.artifactBytes[a]),
                                   nestedWithin(i, art.within)});
        }
        if (p.parent < 0 && !insideArtifact[i]) result.totalBytes = saturatingAdd(result.totalBytes, subtree[i]);
        projectIndex[i] = static_cast<int>(result.projects.size());
        result.projects.push_back(std::move(p));
    }
    for (auto& p : result.projects)
        for (auto& a : p.artifacts)
            if (a.within >= 0) a.within = projectIndex[a.within];
    result.totalBytes = saturatingAdd(result.totalBytes, lt.distinctBytes);
    return result;
}

std::optional<std::uint64_t> measureFolder(const std::string& path, bool freedOnly, bool followRoot,
                                           const std::atomic<bool>& stop, Progress* progress) {
    const std::string abs = normalizePath(path);
    const int fd = open(abs.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followRoot ? 0 : O_NOFOLLOW));
    if (fd < 0) return std::nullopt;
    const auto bytes = measureFolder(fd, abs, freedOnly, stop, progress);
    close(fd);
    return bytes;
}

std::optional<std::uint64_t> measureFolder(int folderFd, const std::string& path, bool freedOnly, const std::atomic<bool>& stop,
                                           Progress* progress, std::vector<RepositoryWork>* repositoriesWithWork) {
    static const Rules noRules;
    static const ProjectDetector noDetector(noRules);
    Progress silent(nullptr, 0);
    Walker::Impl im(noDetector, progress ? *progress : silent, stop, -1, Walker::defaultThreads());
    im.emitProjects = false;
    im.judgeRepositories = repositoriesWithWork != nullptr;
    im.repositoriesWithWork = repositoriesWithWork;

    const int fd = fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    const int rc = fstat(fd, &st);
    im.rootMount = rc == 0 ? mountOf(fd, "") : 0;
    if (rc != 0 || !S_ISDIR(st.st_mode)) {
        close(fd);
        return std::nullopt;
    }
    im.rootDev = st.st_dev;

    auto* owner = im.addOwner(path, nullptr, false);
    auto* art = im.addArtifact(owner, ".", path, "safe", true, nullptr);
    Walker::Impl::Task t;
    t.path = path;
    t.parent = std::make_shared<OpenFolder>(fd);
    t.nameAt = Walker::Impl::kItself;
    t.owner = owner;
    t.art = art;
    t.isRoot = true;
    t.haveStat = true;
    t.ownBytes = allocatedBytes(st);
    im.run(std::move(t));

    auto links = im.takeLinks();
    const LinkTotals lt = settleHardLinks(links, {-1}, {false}, 1);
    return freedOnly ? saturatingAdd(art->plain.load(), lt.artifactBytes[0])
                     : saturatingAdd(owner->plain.load(), lt.ownerBytes[0]);
}

}  // namespace tidewell::engine
