#pragma once
// Moves folders to the Trash of the freedesktop.org Trash standard, as
// file managers and trash tools expect to find them. Never copies, never
// deletes: a folder that cannot be trashed stays where it is.

#include <optional>
#include <string>
#include <vector>

namespace tidewell::engine {

struct TrashResult {
    bool moved = false;
    std::string trashedPath;  // files/NAME inside the trash, when moved
    std::string error;        // the reason, when not
};

class TrashMover {
public:
    // `dataHome`: the folder that holds the home trash ($XDG_DATA_HOME).
    explicit TrashMover(std::string dataHome);
    virtual ~TrashMover() = default;

    // Moves the entry `name` of the open folder `parentFd`, whose absolute path
    // is `absolutePath`, to the trash on its own filesystem.
    virtual TrashResult trash(int parentFd, const std::string& name, const std::string& absolutePath);

    // Convenience for a path: opens its parent without following links.
    TrashResult trashPath(const std::string& absolutePath);

private:
    std::string dataHome_;
};

// Path= value: every byte but unreserved characters and "/" as %XX.
std::string trashPathEncode(const std::string& path);

// The mount point holding `path` among the mount points of a mountinfo text:
// the longest one that is `path` or a parent of it.
std::string mountPointFor(const std::string& path, const std::string& mountinfo);

// "YYYY-MM-DDThh:mm:ss" in local time.
std::string trashDeletionDate(long long unixSeconds);

}  // namespace tidewell::engine
