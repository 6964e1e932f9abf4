#pragma once
// The paths of a Git index file, read by its documented format (versions 2,
// 3 and 4; a split index with its shared part; a sparse index's folder
// entries end in "/"). Nothing else of the index is kept.

#include <optional>
#include <string>
#include <vector>

namespace tidewell::engine {

// The entries' paths of the index `file` (in the repository folder
// `gitDir`, which holds a split index's shared part), in the index's order.
// An index file that does not exist is empty. Nothing, with `error` set,
// when it cannot be read or is not an index.
std::optional<std::vector<std::string>> readGitIndexPaths(const std::string& gitDir, const std::string& file, std::string& error);

// The repository folder that the ".git" entry at `dotGit` stands for: the
// folder itself, or the one its gitfile names ("gitdir: …", as a linked
// worktree or a submodule has). Empty, with `error` set, when it names none.
std::string gitDirOf(const std::string& dotGit, std::string& error);

}  // namespace tidewell::engine
