#include "Movability.h"

#include "FolderProbe.h"
#include "HelperProcess.h"
#include "Home.h"
#include "TrashMover.h"
#include "foundation/Utf8.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#ifndef STATX_MNT_ID
#define STATX_MNT_ID 0x00001000U
#endif
#ifndef STATX_ATTR_MOUNT_ROOT
#define STATX_ATTR_MOUNT_ROOT 0x00002000
#endif

namespace tidewell::engine {

namespace {

std::string errorText(int e) { return std::error_code(e, std::generic_category()).message(); }

std::string parentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

bool writableFolder(const std::string& path) { return faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) == 0; }

const std::string noUsableTrash = "there is no usable trash on its filesystem";

// A folder this user can create where it is missing: its nearest existing
// parent takes new folders.
bool creatable(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) && writableFolder(path);
    if (errno != ENOENT || path == "/") return false;
    return creatable(parentOf(path));
}

// Why this user cannot put entries into the trash folder at `path`, or make
// it where it is missing, told with what stands in the way; nothing when it
// can. `mine`: an existing one must be this user's, as the Trash insists.
std::optional<std::string> trashFolderObstacle(const std::string& path, bool mine) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) return "its trash folder " + path + " is not a folder";
        if (mine && st.st_uid != getuid()) return "its trash folder " + path + " belongs to another user";
        if (!writableFolder(path)) return "there is no write permission on its trash folder " + path;
        return std::nullopt;
    }
    if (errno != ENOENT || path == "/" || !creatable(parentOf(path))) return noUsableTrash;
    return std::nullopt;
}

std::optional<std::string> trashObstacleAt(const std::string& trash) {
    const std::pair<std::string, bool> folders[] = {{trash, true}, {trash + "/files", false}, {trash + "/info", false}};
    for (const auto& [folder, mine] : folders)
        if (auto why = trashFolderObstacle(folder, mine)) return why;
    return std::nullopt;
}

}  // namespace

ProjectPlace placeOf(int fd, const std::string& path) {
    ProjectPlace place;
    place.path = path;
    place.validName = platform::isValidUtf8(path);
    struct statx sx {};
    if (statx(fd, "", AT_EMPTY_PATH, STATX_INO | STATX_MNT_ID, &sx) == 0) {
        place.dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
        place.hasMountId = (sx.stx_mask & STATX_MNT_ID) != 0;
        place.mountId = sx.stx_mnt_id;
        place.mountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    }
    return place;
}

std::optional<FolderPlace> placeWithoutAsking(const std::string& path, MountTable& mounts) {
    struct statx sx {};
    // A helper may ask: a share that stops holds only it, and a home on a
    // share that answers (an NFS home) keeps its home trash for the folders
    // there that the helpers judge and move.
    const bool mayAsk = isHelper();
    for (std::string p = path;; p = parentOf(p)) {
        if (!mayAsk && mayNotAnswer(p, mounts)) return std::nullopt;
        if (statx(AT_FDCWD, p.c_str(), AT_NO_AUTOMOUNT, STATX_INO | STATX_MNT_ID, &sx) == 0)
            return FolderPlace{makedev(sx.stx_dev_major, sx.stx_dev_minor),
                               (sx.stx_mask & STATX_MNT_ID) ? std::optional<std::uint64_t>(sx.stx_mnt_id) : std::nullopt};
        if (p == "/") return std::nullopt;
    }
}

Movability::Movability(std::string dataHome) : dataHome_(std::move(dataHome)) {}

std::optional<std::string> Movability::obstacle(int parentFd, const std::string& name, const std::string& path,
                                                const ProjectPlace& project) {
    if (!project.validName) return "lies in a project whose path is not valid UTF-8, which cannot be cleaned";
    if (!platform::isValidUtf8(path)) return "has a name that is not valid UTF-8, which cannot be cleaned";
    struct statx sx {};
    if (statx(parentFd, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MODE | STATX_UID | STATX_INO | STATX_MNT_ID,
              &sx) != 0)
        return "cannot be read: " + errorText(errno);
    if (!S_ISDIR(sx.stx_mode)) return "is not a real folder";
    if ((sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT))
        return "is a mount point, which cannot be moved to the trash";
    const dev_t dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    if (dev != project.dev || (project.hasMountId && (sx.stx_mask & STATX_MNT_ID) && sx.stx_mnt_id != project.mountId))
        return "lies on another mount than its project, so it cannot be moved to the trash";
    const std::optional<std::uint64_t> mountId = (sx.stx_mask & STATX_MNT_ID) ? std::optional(sx.stx_mnt_id) : std::nullopt;
    {
        std::lock_guard lock(m_);
        if (const auto below = mounts_.mountBelow(dev, sx.stx_ino, mountId, path))
            return "holds another mounted filesystem at " + *below + ", which would go with it to the Trash";
        if (!mounts_.whole()) return "cannot be checked for other mounted filesystems inside it, as the mount table cannot be read";
    }
    if (faccessat(parentFd, name.c_str(), W_OK, AT_EACCESS) != 0)
        return "cannot be moved by this user: there is no write permission on it";
    struct statx px {};
    if (statx(parentFd, "", AT_EMPTY_PATH, STATX_MODE | STATX_UID, &px) != 0 || faccessat(parentFd, ".", W_OK | X_OK, AT_EACCESS) != 0)
        return "cannot be moved by this user: there is no write and search permission on its parent folder";
    // In a sticky folder only the owner of an entry or of the folder may rename it.
    const uid_t me = geteuid();
    if ((px.stx_mode & S_ISVTX) && me != 0 && sx.stx_uid != me && px.stx_uid != me)
        return "cannot be moved by this user: its parent folder is sticky and neither belongs to this user";
    return trashObstacle(dev, mountId, path, project);
}

void Movability::refreshMounts() {
    std::lock_guard lock(m_);
    mounts_.refresh();
}

std::optional<std::string> Movability::trashObstacle(dev_t dev, std::optional<std::uint64_t> mountId, const std::string& path,
                                                     const ProjectPlace& project) {
    const auto refused = [](const std::optional<std::string>& why) {
        return why ? std::optional("cannot be moved to the trash: " + *why) : std::nullopt;
    };
    std::lock_guard lock(m_);
    if (!homePlaced_) {
        home_ = placeWithoutAsking(dataHome_ + "/Trash", mounts_);
        homePlaced_ = true;
    }
    if (home_ && home_->dev == dev) {
        // The home trash takes it by renaming, which no filesystem does from
        // one of its mounts to another (a bind mount of the same disk).
        if (mountId && home_->mountId && *mountId != *home_->mountId)
            return "cannot be moved to the trash: it lies on another mount of the filesystem that holds the home trash";
        // In the clean's own words when a run as root would have to make
        // it: the preview tells what the clean will do.
        if (!homeTrash_) homeTrash_ = rootMakesNoTrash(dataHome_ + "/Trash");
        if (!*homeTrash_) homeTrash_ = trashObstacleAt(dataHome_ + "/Trash");
        return refused(*homeTrash_);
    }
    if (!mounts_.isRead()) mounts_.read();
    // The folder's own mount tells its volume's top also when its path
    // reaches it through a link above the project.
    const auto own = mountId ? mounts_.mountPoint(*mountId) : std::nullopt;
    const std::string top = own ? *own : mounts_.mountPointAbove(path);
    // The volume's trash would be made inside the project itself.
    if (project.mountRoot || isInsideOrEqual(top, project.path)) return refused(noUsableTrash);
    auto it = volumeTrash_.find(top);
    if (it == volumeTrash_.end()) it = volumeTrash_.emplace(top, volumeTrashObstacle(top, dev)).first;
    return refused(it->second);
}

std::optional<std::string> Movability::volumeTrashObstacle(const std::string& top, dev_t dev) {
    struct stat st {};
    if (stat(top.c_str(), &st) != 0 || st.st_dev != dev) return noUsableTrash;
    const std::string base = top == "/" ? "" : top;
    const std::string uid = std::to_string(getuid());
    if (lstat((base + "/.Trash").c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
        !trashObstacleAt(base + "/.Trash/" + uid))
        return std::nullopt;
    // The volume's trash of this user's own is the one named when neither takes it.
    return trashObstacleAt(base + "/.Trash-" + uid);
}

}  // namespace tidewell::engine
