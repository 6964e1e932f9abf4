#pragma once
// Whether a checkout inside a dependency or build folder holds work found
// nowhere else. Package managers clone into such folders (a Composer source
// install in vendor, an editable pip install in .venv/src) and developers
// edit the clones in place: moving the folder would take the edits to the
// Trash. A Git repository holds such work when `git status` would list
// anything in it, or when a commit made in it (as its reflogs tell) is
// contained in no remote-tracking branch. A checkout of another version
// control system cannot be judged here, and always holds work.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell::engine {

struct GitWork {
    enum class Kind {
        None,
        Staged,      // detail: the file, relative to the repository
        Changed,     // detail: the file; named: how Git was told to overlook it, if it was ("--skip-worktree")
        Gone,        // detail: the file; named: as for Changed
        New,         // detail: the file (or folder) that no ignore rule covers
        Conflicted,  // detail: the file
        Made,        // detail: the commit's short name; named: what names it ("only its reflog names it")
        Stash,
        Unjudged,    // detail: why the repository cannot be judged
        Foreign,     // detail: the other system's name (a Mercurial checkout)
    };
    Kind kind = Kind::None;
    std::string detail;
    std::string named;

    // True unless the repository holds nothing that would be lost.
    explicit operator bool() const { return kind != Kind::None; }

    // What holds the work: "Git repository", "Mercurial checkout".
    std::string holder() const;

    // Why the folder holding the repository stays, in a user's words, to
    // follow the repository's name: ", where src/Lib.php has changes that are
    // not committed" or ", whose work cannot be judged: …".
    std::string reason() const;
};

// The work in the repository whose work tree is the folder open as `topFd`
// at `path` (which holds the entry ".git"). A ".git" that is a link is not
// followed, nor is a repository folder holding a link, a FIFO or a device
// read: either leaves the work unjudged, as a look that Git does not finish
// within a minute does. `stop` ends the look early (unjudged). Nothing here
// runs a hook, a filter or any other command a repository names.
GitWork gitWorkIn(int topFd, const std::string& path, const std::atomic<bool>& stop);

// How long a look at one clone may take (a test may wait longer), and the
// address space it may take: enough for the index and status of a large
// work tree, far below what a hostile file can claim.
inline std::chrono::milliseconds gitWorkWithin = std::chrono::minutes(1);
inline constexpr std::uint64_t kGitWorkAddressSpace = std::uint64_t(512) << 20;

// The helper that looks at one clone through libgit2 (HelperProcess.h), so
// the engine itself never runs it: `--helper git-work TOP` prints the work
// in the repository whose work tree is TOP as one record. `TOP whole`: the
// clone's own files are looked at first as gitWorkIn does, which the engine
// leaves to the helper once they lead to a filesystem that may not answer.
inline constexpr std::string_view kGitWorkHelper = "git-work";
inline constexpr std::string_view kWhole = "whole";
int gitWorkHelper(const std::vector<std::string>& args);

// The checkout of another version control system that the entry `dotName`
// (".hg", ".svn") of a folder marks, or nothing (kind None) for any other name.
GitWork foreignCheckout(std::string_view dotName);

// A repository found inside a folder, at `path`, with the work it holds.
struct RepositoryWork {
    std::string path;
    GitWork work;
};

}  // namespace tidewell::engine
