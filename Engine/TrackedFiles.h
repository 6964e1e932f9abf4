#pragma once
// Which folders hold files that the project's version control tracks: such a
// folder is source, never an artifact, whatever its name. The Git index of a
// repository is read once, the first time a folder in it is asked about, and
// serves every project inside that repository.

#include "GitIndex.h"

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace tidewell::engine {

// A folder holding an entry named ".git": the top of a repository, or of a
// linked worktree or submodule through its gitfile, when Git agrees. When it
// is none, Git looks at the one around it next.
class GitCandidate {
    friend class TrackedFiles;
    std::string top;  // a real path (no symbolic link in it)
    const GitCandidate* around = nullptr;
    mutable std::once_flag readOnce;
    enum class State { NoRepository, Indexed, Unreadable };
    mutable State state = State::NoRepository;
    mutable GitIndexPaths index;
    mutable std::string why;                 // why the index cannot be read
};

class TrackedFiles {
public:
    // Told once per repository whose index exists but cannot be read.
    using Unreadable = std::function<void(const std::string& top, const std::string& why)>;
    explicit TrackedFiles(Unreadable onUnreadable = {});

    // The candidate at the real path `top`, which holds ".git"; `around` is
    // the nearest one above it.
    const GitCandidate* candidateAt(const std::string& top, const GitCandidate* around);

    // The nearest candidate at or above `folder` (a real path, or one whose
    // links lie above its project), looked for from "/" down, one name at a
    // time (a path past PATH_MAX is found too).
    const GitCandidate* candidateAround(const std::string& folder);

    // The nearest candidate at or above the folder `rel` below the folder
    // open as `fd`, whose real path is `real` and whose nearest candidate is
    // `around`: each folder on the way, `rel` included, is looked at for
    // ".git" (a submodule or a nested repository).
    const GitCandidate* candidateWithin(const GitCandidate* around, int fd, const std::string& real, const std::string& rel);

    enum class Tracking { Untracked, Tracked, Unknown };
    struct Answer {
        Tracking tracking = Tracking::Untracked;
        // Tracked: a tracked file in the folder, relative to its repository.
        // Unknown: which repository cannot be read, and why.
        std::string detail;
        bool submodule = false;  // tracked as a submodule checked out there
    };
    // Whether the folder at the real path `folder` holds an entry of the index
    // of the repository `around` names (the nearest candidate at or above the
    // folder), or is itself a submodule of the one around that. Unknown when
    // such an index cannot be read: nothing in it can be proved untracked.
    Answer folder(const GitCandidate* around, const std::string& folder);

    // Reads the index that answers for the folders below `around`, once; the
    // answers above read it when not done before.
    void readIndex(const GitCandidate* around);

private:
    void read(const GitCandidate& c) const;

    Unreadable onUnreadable_;
    std::mutex m_;
    std::deque<GitCandidate> candidates_;
    std::unordered_map<std::string, GitCandidate*> byTop_;
};

}  // namespace tidewell::engine
