#pragma once
// The paths of a Git index file, read by its documented format (versions 2,
// 3 and 4; a split index with its shared part; a sparse index's folder
// entries end in "/"). Nothing else of the index is kept.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell::engine {

// What an index says about folders, kept at the size of its folders: one
// entry of each folder that holds entries, and every submodule (an entry that
// is a folder itself). Paths are relative to the repository, in byte order.
struct GitIndexPaths {
    std::vector<std::string> files;
    std::vector<std::string> submodules;
};

// The paths of the index `file` (in the repository folder `gitDir`, which
// holds a split index's shared part). An index file that does not exist is
// empty. Nothing, with `error` set, when it cannot be read, is no regular
// file, or is not an index (a damaged one, a missing shared part, a path
// longer than any folder can hold).
std::optional<GitIndexPaths> readGitIndexPaths(const std::string& gitDir, const std::string& file, std::string& error);

// An entry of an index, with what Git recorded of its file in the work tree
// when it last looked: a file whose size or modification time differs from
// these has changed, as `git status` first judges.
struct GitIndexEntry {
    std::string_view path;  // empty for a split index's entry replaced by its top part
    std::uint32_t mode = 0;
    std::uint32_t mtimeSeconds = 0;
    std::uint32_t mtimeNanoseconds = 0;
    std::uint32_t size = 0;  // its low 32 bits
    unsigned stage = 0;      // not 0 while a merge is unresolved
    bool skipWorktree = false;  // left out of the work tree on purpose (a sparse checkout)
};

// At most `limit` bytes of the regular file `name` below the folder `dirFd`
// (opened with the extra `flags`), as large as it was when opened: a FIFO or
// a device (an index linked to /dev/zero) is never read. Nothing, with
// `error` set, otherwise; errno tells a missing file.
std::optional<std::string> readRegularFileAt(int dirFd, const std::string& name, int flags, std::size_t limit, std::string& error);

// The repository folder a gitfile's text names ("gitdir: …"), as written
// (absolute, or relative to the folder that holds the gitfile); empty for none.
std::string gitfileTarget(std::string_view text);

// The repository folder that the ".git" entry at `dotGit` stands for: the
// folder itself, or the one its gitfile names ("gitdir: …", as a linked
// worktree or a submodule has). Empty, with `error` set, when it names none.
std::string gitDirOf(const std::string& dotGit, std::string& error);

}  // namespace tidewell::engine
