#pragma once
// Whole-file reads and atomic whole-file writes.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The file's bytes; none when it cannot be read, and then the system's error
// number goes to `error` when one is given (ENOENT: there is no such file).
std::optional<std::string> readFileContents(const std::string& path, int* error = nullptr);
// The file `path` names once the symbolic links at its end are followed (a
// link to a link; a relative target is read from its link's folder): `path`
// itself when it is no link. That file need not exist. None for a loop or a
// link that cannot be read, with the system's error number in `error`.
std::optional<std::string> followLinks(const std::string& path, int* error = nullptr);
// Writes `contents` to a temporary file beside `path`, fsyncs it, renames it
// over `path` and fsyncs the folder, so a reader sees the old file or the new
// one, never a part. Creates missing parent folders. False on any failure
// (the old file is then untouched and no temporary file is left).
bool writeFileAtomically(const std::string& path, std::string_view contents);
// Creates the folder and its parents (mode 0755 minus umask); true when it exists afterwards.
bool createDirectories(const std::string& path);

}  // namespace platform
