#pragma once
// The work of a Git repository as libgit2 tells it: status by content, ignore
// rules at every level, reflogs and reachability, as Git judges them. Used
// only for repositories found inside dependency and build folders; the
// library is started the first time one is judged, never before.

#include "GitWork.h"

#include <string>

namespace tidewell::engine {

// The work in the repository whose work tree is the folder at `top`: the
// first entry `git status` would list (in path order), else the newest
// commit its reflogs show made there that no remote-tracking branch contains,
// else a stash. Unjudged when libgit2 cannot open or read it.
GitWork libraryGitWork(const std::string& top);

// Whether an allocation of libgit2's was refused in this process (a helper's
// capped address space): what it then says of the repository is of no use.
bool libraryRefusedMemory();

}  // namespace tidewell::engine
