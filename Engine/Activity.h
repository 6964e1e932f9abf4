#pragma once
// Whether a project is in use: a running process of the user works inside it,
// or it changed lately. And how long it has been idle.

#include <cstdint>
#include <string>
#include <vector>

namespace tidewell::engine {

inline constexpr std::int64_t kSecondsPerDay = 86400;

// Working folders of the user's running processes, this one left out.
std::vector<std::string> userWorkingFolders();

// True when one of `folders` is `project` or lies below it.
bool anyFolderInside(const std::vector<std::string>& folders, const std::string& project);

// Whole days from `last` to `now`; 0 for a time in the future.
std::uint64_t wholeDaysSince(std::int64_t last, std::int64_t now);

}  // namespace tidewell::engine
