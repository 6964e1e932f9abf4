#pragma once
// Whether a Git repository inside a dependency or build folder holds work
// found nowhere else. Package managers clone into such folders (a Composer
// source install in vendor, an editable pip install in .venv/src) and
// developers edit the clones in place: moving the folder would take the
// edits to the Trash. Judged by what the repository records, never by its
// history: a tracked file changed or gone since Git recorded its size and
// modification time, a local branch or stash whose commit no
// remote-tracking branch or tag names, or such a commit made on no branch
// (a Composer source install checks out a tag, and a fix is committed there).

#include <atomic>
#include <string>

namespace tidewell::engine {

struct GitWork {
    enum class Kind {
        None,
        Changed,    // detail: the file, relative to the repository
        Gone,       // detail: the file
        Branch,     // detail: the branch's name
        Stash,
        Detached,   // a commit made on no branch is checked out
        Unjudged,   // detail: why the repository cannot be judged
    };
    Kind kind = Kind::None;
    std::string detail;

    // True unless the repository holds nothing that would be lost.
    explicit operator bool() const { return kind != Kind::None; }

    // Why the folder holding the repository stays, in a user's words, to
    // follow the repository's name: ", where src/Lib.php has changes that are
    // not committed" or ", whose work cannot be judged: …".
    std::string reason() const;
};

// The work in the repository whose work tree is the folder open as `topFd`
// (which holds the entry ".git"). Its files are looked at below `topFd`
// without following a link; a ".git" that is a link is not followed either,
// and leaves the work unjudged. `stop` ends the look early (unjudged).
GitWork gitWorkIn(int topFd, const std::atomic<bool>& stop);

// A repository found inside a folder, at `path`, with the work it holds.
struct RepositoryWork {
    std::string path;
    GitWork work;
};

}  // namespace tidewell::engine
