#pragma once
// The paths of a Git index file, read by its documented format (versions 2,
// 3 and 4; a split index with its shared part; a sparse index's folder
// entries end in "/"). Nothing else of the index is kept.

#include <optional>
#include <string>
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

// The repository folder that the ".git" entry at `dotGit` stands for: the
// folder itself, or the one its gitfile names ("gitdir: …", as a linked
// worktree or a submodule has). Empty, with `error` set, when it names none.
std::string gitDirOf(const std::string& dotGit, std::string& error);

}  // namespace tidewell::engine
