#pragma once
// Whether this user can really move a folder to a Trash: the rename has to be
// allowed on the folder and its parent, the folder must not be a mount point,
// lie on another mount than its project or hold a mount anywhere below it,
// and a Trash has to be usable on its filesystem without making one inside
// the project. A folder that fails any of these is never offered for cleaning.

#include "MountTable.h"

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace tidewell::engine {

// Where a project lies: its path and the mount that holds it.
struct ProjectPlace {
    std::string path;
    dev_t dev = 0;
    std::uint64_t mountId = 0;
    bool hasMountId = false;
    bool mountRoot = false;  // the project folder is the top of its mount
    bool validName = true;  // its absolute path is valid UTF-8
};

// The place of the project folder open as `fd` at `path`.
ProjectPlace placeOf(int fd, const std::string& path);

// Where a folder at `path` lies, or would be made (on its nearest parent that
// is there): its device, and its mount when the kernel tells.
struct FolderPlace {
    dev_t dev = 0;
    std::optional<std::uint64_t> mountId;
};

// The place of `path`, found without asking a filesystem that may not
// answer (FolderProbe.h): from what the kernel holds and, on a local mount,
// one name at a time. Nothing when it lies on such a filesystem or cannot be
// told: a home trash on a share that stopped would hold whoever asked it.
// In a helper (isHelper()) it is asked all the same.
std::optional<FolderPlace> placeWithoutAsking(const std::string& path, MountTable& mounts);

class Movability {
public:
    // `dataHome`: the folder that holds the home trash ($XDG_DATA_HOME).
    explicit Movability(std::string dataHome);

    // Why the entry `name` of the open folder `parentFd` (at `path`, inside
    // `project`) cannot be moved to a Trash by this user, as a phrase about
    // the folder ("is a mount point …"), or nothing when it can.
    std::optional<std::string> obstacle(int parentFd, const std::string& name, const std::string& path,
                                        const ProjectPlace& project);

    // Brings the mounts up to date, for a clean that checks each folder just
    // before its move: a mount can be made at any time. A scan and a dry run
    // read them once.
    void refreshMounts();

private:
    // Why no trash can take the folder at `path` (on `dev`, reached through
    // the mount `mountId` when known) by renaming, or nothing.
    std::optional<std::string> trashObstacle(dev_t dev, std::optional<std::uint64_t> mountId, const std::string& path,
                                             const ProjectPlace& project);
    // Why no trash of this user at the top `top` of the volume `dev` can take a folder, or nothing.
    std::optional<std::string> volumeTrashObstacle(const std::string& top, dev_t dev);

    std::string dataHome_;
    std::mutex m_;
    bool homePlaced_ = false;
    std::optional<FolderPlace> home_;  // where the home trash lies, once placed; nothing when it takes no folder
    // Why the home trash cannot take a folder (inner none: it can); unknown until asked.
    std::optional<std::optional<std::string>> homeTrash_;
    MountTable mounts_;
    std::map<std::string, std::optional<std::string>> volumeTrash_;  // by the volume's top, as for the home trash
};

}  // namespace tidewell::engine
