#pragma once
// The parallel walk. One pass over each root finds the projects (folders that
// hold a marker) down to the depth limit and, in the same pass, measures every
// project: its bytes on disk, its artifacts' bytes and its newest change outside
// the artifacts. It never follows a symbolic link, never leaves the root's
// filesystem, never enters an artifact to look for projects, and keeps no list
// of files: only multiply-linked files are noted, to count each once.

#include "Activity.h"
#include "GitWork.h"
#include "Movability.h"
#include "ProjectDetector.h"
#include "Progress.h"
#include "TrackedFiles.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tidewell::engine {

struct WalkedArtifact {
    std::string relPath;
    std::string absPath;
    std::string safetyClass;
    std::uint64_t bytes = 0;  // files with links outside it are not counted
    int within = -1;          // the innermost project nested in its own that holds it, -1 for none
};

struct WalkedProject {
    std::string path;
    FolderId folder;  // the project folder itself, whatever path leads to it
    std::string name;
    StackMask stacks = 0;
    bool pinned = false;
    int parent = -1;  // index of the enclosing project, -1 for none
    bool insideArtifact = false;  // inside an artifact of another project, which counts its bytes
    // Inside an artifact: the stacks of the projects around that artifact,
    // whose sizes hold its bytes already (as those of `parent` and around it do).
    StackMask artifactStacks = 0;
    std::uint64_t totalBytes = 0;
    std::optional<std::int64_t> lastActivity;
    std::vector<WalkedArtifact> artifacts;
};

struct WalkResult {
    std::vector<WalkedProject> projects;  // parents before their nested projects
    std::uint64_t totalBytes = 0;         // all projects, each file once
};

class Walker {
public:
    Walker(const ProjectDetector& detector, Progress& progress, const std::atomic<bool>& stop, int maxDepth,
           unsigned threads);
    ~Walker();

    // The database at `databasePath` and its companion files (journal, lock)
    // are the engine's own: no project's size or activity.
    void ignoreEngineFiles(const std::string& databasePath);

    // Finds artifacts without entering them (their sizes stay 0).
    void skipArtifactContents();

    // Cuts a folder whose listing repeats a name or passes 1,048,576
    // entries, named as one that cannot be read ("its listing does not
    // end"): a share's server may never end it. A local walk has no need.
    void checkListingsEnd();

    // Lists as artifacts only the folders this user can move to a Trash, and
    // none in a project whose path is not valid UTF-8; the others are still
    // measured as part of their project.
    void offerOnlyMovable(Movability& movability);

    // Lists as artifacts only folders that hold no file the Git repository
    // around their project tracks (nor any of a repository whose index
    // cannot be read), and no Git repository with work found nowhere else
    // (each such repository is named in a "skip" event); the others are
    // measured as part of their project.
    void offerOnlyUntracked(TrackedFiles& tracked);

    // Walks one root. False, with `error` set, when the root cannot be read.
    // A root that is, or lies inside, the folder of one walked before (by
    // where it really is, links resolved) is not walked again, and a walk
    // lists no folder of a root walked before again: each folder is listed
    // once, under the first root given that reaches it, and still counts in
    // every project around it, which claims there what it would claim were
    // it walked alone (a project of an earlier root is measured again when
    // the projects around it claim folders in it). A root inside an artifact
    // of a project of a root walked before is walked for projects, which that
    // walk did not look for there: they are listed, inside that artifact,
    // which counts them. With `rootFd`, the root is that open folder (whose
    // path may be longer than PATH_MAX).
    bool walkRoot(const std::string& root, std::string& error, int rootFd = -1);

    // Whether a root walked apart (in a helper), whose folder and each one
    // above it are `folders` (nearest first), is, or lies inside, a root
    // walked before: then it lists nothing, as here; else it counts as walked
    // from now on.
    bool walkedBefore(const std::vector<FolderId>& folders);

    // Settles sizes once every root is walked.
    WalkResult finish();

    static unsigned defaultThreads();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    friend std::optional<std::uint64_t> measureFolder(int, const std::string&, bool, const std::atomic<bool>&, Progress*,
                                                      std::vector<RepositoryWork>*);
};

// The open folder `fd` and each folder above it, nearest first, by what they
// are: where the kernel reached it (links on the path that opened it resolved).
std::vector<FolderId> foldersAround(int fd);

// Bytes on disk below `path`, each file once. With `freedOnly`, a file with
// links outside the folder is left out (moving the folder would not free it).
// `followRoot`: whether `path` itself may be a symbolic link.
// Nothing when `path` is not a folder that can be read.
std::optional<std::uint64_t> measureFolder(const std::string& path, bool freedOnly, bool followRoot,
                                           const std::atomic<bool>& stop, Progress* progress = nullptr);

// The same for the open folder `fd` (left open) at `path`: what is measured
// is that folder, whatever its path names meanwhile. With
// `repositoriesWithWork`, the Git repositories inside it that hold work found
// nowhere else are told there, found while measuring.
std::optional<std::uint64_t> measureFolder(int fd, const std::string& path, bool freedOnly, const std::atomic<bool>& stop,
                                           Progress* progress = nullptr,
                                           std::vector<RepositoryWork>* repositoriesWithWork = nullptr);

}  // namespace tidewell::engine
