#include "MountTable.h"

#include "Home.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
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

void MountTable::read() {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str();
    if (!read_ || text != text_) parse(std::move(text));
}

void MountTable::parse(std::string text) {
    read_ = true;
    text_ = std::move(text);
    mounts_.clear();
    above_.clear();
    std::istringstream lines(text_);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string id, parent, devno, root, point;
        if (!(fields >> id >> parent >> devno >> root >> point)) continue;
        Mount m;
        try {
            m.id = std::stoull(id);
            m.parent = std::stoull(parent);
        } catch (const std::exception&) {
            continue;
        }
        m.point = unescapeMountField(point);
        if (!m.point.empty() && m.point.front() == '/') mounts_.push_back(std::move(m));
    }
}

std::optional<std::string> MountTable::mountPoint(std::uint64_t id) const {
    for (const auto& m : mounts_)
        if (m.id == id) return m.point;
    return std::nullopt;
}

std::string MountTable::mountPointAbove(const std::string& path) const {
    std::string best = "/";
    for (const auto& m : mounts_)
        if (m.point.size() > best.size() && isInsideOrEqual(path, m.point)) best = m.point;
    return best;
}

std::map<MountTable::Identity, std::string> MountTable::foldersAbove(std::optional<std::uint64_t> parent) const {
    std::string base = "/";
    if (parent) {
        const auto point = mountPoint(*parent);
        if (!point) return foldersAbove(std::nullopt);
        base = *point;
    }
    std::map<Identity, std::string> out;
    for (const auto& m : mounts_) {
        if ((parent && m.parent != *parent) || m.point == base || !isInsideOrEqual(m.point, base)) continue;
        // Each folder on the way down to the mount point, below the parent's own.
        for (std::size_t i = m.point.find('/', base == "/" ? 1 : base.size() + 1); i != std::string::npos; i = m.point.find('/', i + 1)) {
            const std::string folder = m.point.substr(0, i);
            struct statx sx {};
            if (statx(AT_FDCWD, folder.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_INO, &sx) != 0) continue;
            out.emplace(Identity{makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_ino}, m.point.substr(i));
        }
    }
    return out;
}

std::optional<std::string> MountTable::mountBelow(dev_t dev, ino_t ino, std::optional<std::uint64_t> mountId) {
    if (!read_) read();
    auto it = above_.find(mountId);
    if (it == above_.end()) it = above_.emplace(mountId, foldersAbove(mountId)).first;
    const auto found = it->second.find({dev, ino});
    if (found == it->second.end()) return std::nullopt;
    return found->second;
}

}  // namespace tidewell::engine
