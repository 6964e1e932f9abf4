#pragma once
// Moves folders to the Trash of the freedesktop.org Trash standard, as
// file managers and trash tools expect to find them. Never copies, never
// deletes: a folder that cannot be trashed stays where it is.

#include "MountTable.h"
#include "Movability.h"

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>

namespace tidewell::engine {

struct TrashResult {
    bool moved = false;
    std::string trashedPath;  // files/NAME inside the trash, when moved
    std::string infoPath;     // info/NAME.trashinfo, when moved
    std::string error;        // why not, naming the folder ("/p/node_modules cannot be moved …")
};

// What a folder is, whatever its path: moving it keeps both.
struct FolderIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
};

// Told the info file, the trash entry and the info file's whole text of a
// move before the info file is made. It may throw (the move is then not
// attempted and nothing is left).
using BeforeMove = std::function<void(const std::string& infoPath, const std::string& trashedPath, const std::string& infoText)>;

class TrashMover {
public:
    // `dataHome`: the folder that holds the home trash ($XDG_DATA_HOME).
    explicit TrashMover(std::string dataHome);
    virtual ~TrashMover() = default;

    // Moves the entry `name` of the open folder `parentFd`, whose absolute path
    // is `absolutePath`, to the trash on its own filesystem. With `expected`,
    // what moves must be that folder: anything else found in its place is
    // refused before the trash is touched, and anything swapped in during the
    // move is put back (or, when its place is taken again, left restorable in
    // the trash) and the move fails. So is a folder that holds a mount once
    // it has moved (one made inside it while it moved). No info file but the
    // one it writes is ever removed: one without its folder may be another
    // program's move in progress (the clean's own records name what a move
    // cut short left).
    virtual TrashResult trash(int parentFd, const std::string& name, const std::string& absolutePath,
                              const FolderIdentity* expected = nullptr, const BeforeMove& beforeMove = {});

    // Convenience for a path: opens its parent without following links.
    TrashResult trashPath(const std::string& absolutePath);

    const std::string& dataHome() const { return dataHome_; }

protected:
    // Between the info file and the rename (a seam for crash and race tests).
    virtual void infoWritten(const std::string& /*infoPath*/) {}
    // Whether info files are first written without a name (a seam to test
    // the way taken where the filesystem cannot).
    virtual bool unnamedInfoFiles() const { return true; }
    // Makes what was written to `fd` (a file's data, or a folder's entries)
    // last through a power loss; 0 or the errno. A seam to see it done.
    virtual int makeDurable(int fd);

private:
    // As trash(), the error a phrase about the folder without its path.
    TrashResult move(int parentFd, const std::string& name, const std::string& absolutePath, const FolderIdentity* expected,
                     const BeforeMove& beforeMove);

    // The next number to try for each name, per trash folder: a clean of
    // thousands of folders of one name costs the same per folder as a clean
    // of one.
    std::map<std::string, std::unordered_map<std::string, int>> nextNumber_;

    // Kept up to date from move to move: a volume's top, and the look for a
    // mount made inside a folder while it moved.
    MountTable mounts_;
    std::string dataHome_;
    // Where the home trash lies, placed once; nothing when it takes no folder.
    bool homePlaced_ = false;
    std::optional<FolderPlace> home_;
};

// Why a run as root may not make the home trash `trash`: when it is not
// there, it would be root's among the files of the user whose home it is,
// and that user's own cleans could use it no more. Nothing otherwise.
std::optional<std::string> rootMakesNoTrash(const std::string& trash);

// Path= value: every byte but unreserved characters and "/" as %XX.
std::string trashPathEncode(const std::string& path);

// Whether the info file at `infoFile` holds exactly `text`.
bool holdsInfoText(const std::string& infoFile, const std::string& text);

// For records of an older engine, which wrote its info file in steps: whether
// the info file at `infoFile` holds what it wrote, or had begun to write when
// it was stopped, for the folder at `path` (a volume's
// trash names it relative to the volume's top). Read whole, however long.
bool isOwnInfoFileFor(const std::string& infoFile, const std::string& path);

// The mount point holding `path` among the mount points of a mountinfo text:
// the longest one that is `path` or a parent of it.
std::string mountPointFor(const std::string& path, const std::string& mountinfo);

// "YYYY-MM-DDThh:mm:ss" in local time.
std::string trashDeletionDate(long long unixSeconds);

}  // namespace tidewell::engine
