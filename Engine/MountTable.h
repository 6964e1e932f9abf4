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
    MountTable() = default;
    MountTable(const MountTable&) = delete;
    MountTable& operator=(const MountTable&) = delete;
    ~MountTable();

    // Reads the table (again). What was learnt of it is kept while it is
    // unchanged.
    void read();
    bool isRead() const { return read_; }
    // Whether the table held is all the kernel listed: when mountinfo cannot
    // be read (no /proc, say), no folder can be told free of mounts.
    bool whole() const { return whole_; }
    // Reads the table again only when it may have changed since it was last
    // read: a mount was made, undone or moved, or a folder on the way to a
    // mount point was renamed (which moves the mounts below it, though it
    // makes no mount). For a clean that checks each folder as it goes, each
    // check then costs a poll, however many mounts there are.
    void refresh();
    // Takes `text` as the table, as read from mountinfo; `whole`: whether
    // it was read to its end.
    void parse(std::string text, bool whole = true);

    // Runs in refresh() between reading the table and watching the ways to
    // its mount points; lets a test change the mounts there.
    static inline void (*whileRead)() = nullptr;

    // The longest mount point that is `path` or a parent of it.
    std::string mountPointAbove(const std::string& path) const;

    // The path of a mount that lies below the folder `dev`/`ino` at `path`,
    // or nothing. `mountId`: the mount the folder lies on, when the kernel
    // tells; then any mount of its filesystem can hold one below it (the same
    // disk mounted at two places), and a mount made through another of them
    // is named where it is mounted, as below `path` it is not seen.
    std::optional<std::string> mountBelow(dev_t dev, ino_t ino, std::optional<std::uint64_t> mountId, const std::string& path);

    // The mount point of the mount `id`, or nothing when it is not listed.
    std::optional<std::string> mountPoint(std::uint64_t id) const;

    // Whether the mount `id`, or a mount it lies on, is of a filesystem that
    // asks a server or a process for what it holds (FUSE, NFS, SMB …), which
    // may stop answering; also when `id` is not listed.
    bool mayNotAnswer(std::uint64_t id) const;

private:
    struct Mount {
        std::uint64_t id = 0;
        std::uint64_t parent = 0;
        std::string filesystem;  // its device as mountinfo writes it, the same for every mount of a filesystem
        std::string point;
        std::string type;  // the filesystem's type ("ext4", "fuse.sshfs")
    };
    struct Below {
        std::string rel;  // the mount's path below the folder, from "/"
        std::string point;
        std::uint64_t parent = 0;
    };
    using Identity = std::pair<dev_t, ino_t>;
    const Mount* find(std::uint64_t id) const;
    // The folders strictly between a mount of `filesystem` and the mount
    // points made on it (every mount below "/" when none), each with the
    // first such mount below it.
    std::map<Identity, Below> foldersAbove(const std::optional<std::string>& filesystem) const;

    // The text of the table now in `text`; false when it cannot be read whole.
    bool readText(std::string& text);
    // Whether the table may have changed since refresh() last read it.
    bool changed();
    // Watches the folders on the way to every mount point for being renamed.
    void watchWays();

    bool read_ = false;
    bool whole_ = false;
    int fd_ = -1;  // mountinfo, kept open and read again from its start; it tells of mounts made or undone
    int notifyFd_ = -1;  // told when a folder on the way to a mount point is renamed
    bool watching_ = false;  // every change that matters is told, so an unchanged table is not read again
    std::string text_;
    std::vector<Mount> mounts_;
    std::map<std::uint64_t, std::size_t> byId_;
    std::map<std::optional<std::string>, std::map<Identity, Below>> above_;  // by filesystem
};

}  // namespace tidewell::engine
