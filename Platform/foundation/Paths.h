#pragma once
// Home, data and configuration folders and lexical path clean-up.

#include <string>
#include <string_view>

namespace platform {

// The user's home from the password database, else "/home/" + login name.
std::string realHomeDirectory();
// $HOME when set and not empty, else the real home.
std::string homeDirectory();
// A leading "~" or "~user" expanded; "." and ".." components, duplicate and
// trailing slashes removed. Purely lexical: symbolic links are not resolved.
std::string standardizePath(std::string_view path);
// $XDG_DATA_HOME when absolute, else ~/.local/share.
std::string dataHomeDirectory();
// $XDG_CONFIG_HOME when absolute, else ~/.config.
std::string configHomeDirectory();
// True for paths on other disks: under "/Volumes/", "/media/", "/run/media/" or "/mnt/".
bool isOtherVolumePath(std::string_view path);
// The process's working folder, empty when it cannot be read.
std::string currentDirectory();
// `base` + "/" + `component`, with no doubled slash.
std::string appendPathComponent(std::string_view base, std::string_view component);
// The path without its last component ("/a/b" -> "/a", "/a" -> "/").
std::string deletingLastPathComponent(std::string_view path);
// The last component ("/a/b/" -> "b").
std::string lastPathComponent(std::string_view path);

}  // namespace platform
