#pragma once
// Whether a project is in use: a running process of the user works inside it,
// or it changed lately. And how long it has been idle.

#include <cstdint>
#include <set>
#include <string>
#include <utility>

namespace tidewell::engine {

inline constexpr std::int64_t kSecondsPerDay = 86400;

// A folder by what it is (device, inode), whatever path leads to it.
using FolderId = std::pair<std::uint64_t, std::uint64_t>;

// The working folders of the user's running processes (this one left out),
// and every folder around each as the process reaches it, by what they are:
// a project is in use when its folder is one of them, also when the process
// reaches it by another path (a link, a bind mount, a container's own).
std::set<FolderId> userWorkingFolders();

// Whole days from `last` to `now`; 0 for a time in the future.
std::uint64_t wholeDaysSince(std::int64_t last, std::int64_t now);

}  // namespace tidewell::engine
