#pragma once
// The mounts this process sees (/proc/self/mountinfo), to tell which folders
// hold another mount somewhere below them: moving such a folder to the Trash
// takes the mount with it, and emptying the Trash would delete what the
// mount shows (a library's sources, a bind-mounted project).

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tidewell::engine {

// A mount point as mountinfo writes it (space, tab, newline and backslash as
// \ooo), as it is.
std::string unescapeMountField(const std::string& s);

class MountTable {
public:
    // Reads the table (again). What was learnt of it is kept while it is
    // unchanged, so reading before every move costs one read of a small file.
    void read();
    bool isRead() const { return read_; }
    // Takes `text` as the table, as read from mountinfo.
    void parse(std::string text);

    // The longest mount point that is `path` or a parent of it.
    std::string mountPointAbove(const std::string& path) const;

    // The path, relative to the folder `dev`/`ino` (beginning with "/"), of
    // a mount that lies below it, or nothing. `mountId`: the mount the folder
    // lies on, when the kernel tells; only mounts made on it can lie below.
    std::optional<std::string> mountBelow(dev_t dev, ino_t ino, std::optional<std::uint64_t> mountId);

    // The mount point of the mount `id`, or nothing when it is not listed.
    std::optional<std::string> mountPoint(std::uint64_t id) const;

private:
    struct Mount {
        std::uint64_t id = 0;
        std::uint64_t parent = 0;
        std::string point;
    };
    using Identity = std::pair<dev_t, ino_t>;
    // The folders strictly between the mount point of `parent` (every mount
    // when none) and the mount points made on it, each with the path of the
    // first such mount below it.
    std::map<Identity, std::string> foldersAbove(std::optional<std::uint64_t> parent) const;

    bool read_ = false;
    std::string text_;
    std::vector<Mount> mounts_;
    std::map<std::optional<std::uint64_t>, std::map<Identity, std::string>> above_;  // by parent mount
};

}  // namespace tidewell::engine
