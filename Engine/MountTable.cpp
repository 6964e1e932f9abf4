#include "MountTable.h"

#include "Home.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

namespace tidewell::engine {

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
}

// Read whole every time: the kernel tells when a mount is made or undone, but
// not when a folder holding one is renamed, and that changes where it lies.
void MountTable::read() {
    if (fd_ < 0) fd_ = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    std::string text;
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
    if (!read_ || text != text_) parse(std::move(text));
}

void MountTable::parse(std::string text) {
    read_ = true;
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
        if (m.point == base || !isInsideOrEqual(m.point, base)) continue;
        for (std::size_t i = m.point.find('/', base == "/" ? 1 : base.size() + 1); i != std::string::npos; i = m.point.find('/', i + 1)) {
            const std::string folder = m.point.substr(0, i);
            struct statx sx {};
            if (statx(AT_FDCWD, folder.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_INO, &sx) != 0) continue;
            out.emplace(Identity{makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_ino}, Below{m.point.substr(i), m.point, m.parent});
        }
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
