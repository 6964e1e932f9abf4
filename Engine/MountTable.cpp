#include "MountTable.h"

#include "Home.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <sstream>

namespace tidewell::engine {

namespace {

// Calls `f` with each folder strictly between `base` and the mount point
// `point` below it, and where that folder's path ends in `point`.
template <class F> void foldersBetween(const std::string& base, const std::string& point, F&& f) {
    if (point == base || !isInsideOrEqual(point, base)) return;
    for (std::size_t i = point.find('/', base == "/" ? 1 : base.size() + 1); i != std::string::npos; i = point.find('/', i + 1))
        f(point.substr(0, i), i);
}

}  // namespace

std::string unescapeMountField(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            const std::string oct = s.substr(i + 1, 3);
            if (oct.find_first_not_of("01234567") == std::string::npos) {
                out.push_back(static_cast<char>(std::stoi(oct, nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.push_back(s[i]);
    }
    return out;
}

MountTable::~MountTable() {
    if (fd_ >= 0) close(fd_);
    if (notifyFd_ >= 0) close(notifyFd_);
}

bool MountTable::readText(std::string& text) {
    if (fd_ < 0) fd_ = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    text.clear();
    bool whole = fd_ >= 0 && lseek(fd_, 0, SEEK_SET) == 0;
    for (char buf[65536]; whole;) {
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n == 0) break;
        if (n > 0) text.append(buf, static_cast<std::size_t>(n));
        else if (errno != EINTR) whole = false;
    }
    // Opened afresh next time, to read it whole then.
    if (!whole && fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    return whole;
}

void MountTable::read() {
    std::string text;
    const bool whole = readText(text);
    if (!read_ || text != text_) parse(std::move(text));
    whole_ = whole;
}

// The kernel tells when a mount is made or undone, but not when a folder
// holding one is renamed (into a build folder, say), which changes where the
// mount lies: the folders on the way to the mount points are watched for that.
void MountTable::refresh() {
    if (read_ && !changed()) return;
    read();
    if (whileRead) whileRead();
    watchWays();
}

bool MountTable::changed() {
    // Polling takes the notice of mounts made or undone: the next one tells of
    // later changes, so it is taken before the table is read again.
    pollfd p[2] = {{fd_, POLLPRI, 0}, {notifyFd_, POLLIN, 0}};
    int n = 0;
    while ((n = poll(p, 2, 0)) < 0 && errno == EINTR) {
    }
    return !watching_ || n != 0;
}

void MountTable::watchWays() {
    watching_ = false;
    if (notifyFd_ >= 0) close(notifyFd_);
    notifyFd_ = fd_ < 0 ? -1 : inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notifyFd_ < 0) return;
    std::set<std::string> ways;
    for (const auto& m : mounts_) {
        const Mount* parent = find(m.parent);
        foldersBetween(parent && parent->id != m.id ? parent->point : "/", m.point,
                       [&](std::string folder, std::size_t) { ways.insert(std::move(folder)); });
    }
    bool all = true;
    for (const auto& folder : ways) {
        if (inotify_add_watch(notifyFd_, folder.c_str(), IN_MOVE_SELF | IN_DELETE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW) >= 0) continue;
        // One this user may not watch, in a folder this user may not change,
        // only another user can rename (a container runtime's, root's).
        const std::string parent = folder.substr(0, std::max<std::size_t>(folder.rfind('/'), 1));
        all = all && (errno == EACCES || errno == EPERM) && faccessat(AT_FDCWD, parent.c_str(), W_OK | X_OK, AT_EACCESS) != 0;
    }
    // A folder renamed before its watch was made moved mounts unseen: the
    // table read after the watches were made must be the one read before.
    std::string again;
    const bool whole = readText(again);
    if (whole && again == text_) {
        watching_ = all;
    } else if (whole) {
        parse(std::move(again));
    }
    // Otherwise it is read and watched again at the next refresh.
}

void MountTable::parse(std::string text, bool whole) {
    read_ = true;
    whole_ = whole;
    text_ = std::move(text);
    mounts_.clear();
    byId_.clear();
    above_.clear();
    std::istringstream lines(text_);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string id, parent, root, point;
        Mount m;
        if (!(fields >> id >> parent >> m.filesystem >> root >> point)) continue;
        try {
            m.id = std::stoull(id);
            m.parent = std::stoull(parent);
        } catch (const std::exception&) {
            continue;
        }
        m.point = unescapeMountField(point);
        if (m.point.empty() || m.point.front() != '/') continue;
        // The type follows the optional fields, after a lone "-".
        for (std::string field; fields >> field && field != "-";) {
        }
        fields >> m.type;
        byId_.emplace(m.id, mounts_.size());
        mounts_.push_back(std::move(m));
    }
}

const MountTable::Mount* MountTable::find(std::uint64_t id) const {
    const auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : &mounts_[it->second];
}

std::optional<std::string> MountTable::mountPoint(std::uint64_t id) const {
    if (const Mount* m = find(id)) return m->point;
    return std::nullopt;
}

bool MountTable::mayNotAnswer(std::uint64_t id) const {
    static const std::set<std::string, std::less<>> remote = {"9p",     "afs",     "autofs", "beegfs", "ceph",  "cifs",   "coda",
                                                              "davfs",  "gfs2",    "glusterfs", "gpfs", "lustre", "ncpfs", "nfs",
                                                              "nfs4",   "ocfs2",   "orangefs", "smb3", "smbfs", "virtiofs"};
    std::set<std::uint64_t> seen;
    for (const Mount* m = find(id); m; m = find(m->parent)) {
        if (m->type.rfind("fuse", 0) == 0 || remote.count(m->type)) return true;
        if (!seen.insert(m->id).second) return false;  // the top lists itself as its parent
    }
    // Unlisted, or listed without its parent (the top of this process's view).
    return !find(id);
}

std::string MountTable::mountPointAbove(const std::string& path) const {
    std::string best = "/";
    for (const auto& m : mounts_)
        if (m.point.size() > best.size() && isInsideOrEqual(path, m.point)) best = m.point;
    return best;
}

std::map<MountTable::Identity, MountTable::Below> MountTable::foldersAbove(const std::optional<std::string>& filesystem) const {
    std::map<Identity, Below> out;
    for (const auto& m : mounts_) {
        // A mount made on any mount of the filesystem lies in it, below the
        // folders on the way from that mount's point.
        std::string base = "/";
        if (filesystem) {
            const Mount* parent = find(m.parent);
            if (!parent || parent->id == m.id || parent->filesystem != *filesystem) continue;
            base = parent->point;
        }
        foldersBetween(base, m.point, [&](const std::string& folder, std::size_t end) {
            struct statx sx {};
            if (statx(AT_FDCWD, folder.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_INO, &sx) != 0) return;
            out.emplace(Identity{makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_ino}, Below{m.point.substr(end), m.point, m.parent});
        });
    }
    return out;
}

std::optional<std::string> MountTable::mountBelow(dev_t dev, ino_t ino, std::optional<std::uint64_t> mountId, const std::string& path) {
    if (!read_) read();
    const Mount* own = mountId ? find(*mountId) : nullptr;
    const std::optional<std::string> filesystem = own ? std::optional(own->filesystem) : std::nullopt;
    auto it = above_.find(filesystem);
    if (it == above_.end()) it = above_.emplace(filesystem, foldersAbove(filesystem)).first;
    const auto found = it->second.find({dev, ino});
    if (found == it->second.end()) return std::nullopt;
    if (own && found->second.parent != own->id) return found->second.point;
    return path + found->second.rel;
}

}  // namespace tidewell::engine
