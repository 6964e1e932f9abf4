#pragma once
// Where the user's folders are: the home folder for "~" in the rules, and the
// data folder that holds the database and the Trash.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tidewell::engine {

// TIDEWELL_HOME, else HOME, else the password database's entry.
std::string homeFolder();

// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share (HOME's).
std::string dataHome();

// "~" or "~/..." replaced by the home folder; other paths unchanged.
std::string expandHome(const std::string& path, const std::string& home);

// Absolute, without "." and ".." components, repeated or trailing slashes.
// Symbolic links are not resolved.
std::string normalizePath(const std::string& path);

// The path with its symbolic links resolved, or nothing when it has none now.
std::optional<std::string> realPath(const std::string& path);

// What the symbolic link at `path` holds ("?" when it cannot be read).
std::string linkTarget(const std::string& path);

// True when `path` equals `folder` or lies below it (never a bare prefix).
bool isInsideOrEqual(const std::string& path, const std::string& folder);

// `rel` below `folder`, with one "/" between them also when `folder` is "/".
std::string joinPath(const std::string& folder, const std::string& rel);

// True when `path` lies strictly below one of `folders` (looked up by each of
// its parents, so thousands of folders cost no more per folder than a few).
bool isBelowAny(std::string_view path, const std::unordered_set<std::string_view>& folders);

// Drops the items whose path lies inside another item's path: moving a
// folder moves what it holds, so each folder is listed, measured and moved
// once, whichever order the rules name them in.
template <class T, class PathOf> void keepOutermost(std::vector<T>& items, PathOf pathOf) {
    std::unordered_set<std::string_view> paths;
    for (const auto& item : items) paths.insert(pathOf(item));
    std::vector<T> kept;
    for (const auto& item : items)
        if (!isBelowAny(pathOf(item), paths)) kept.push_back(item);
    items = std::move(kept);
}

}  // namespace tidewell::engine
