#pragma once
// Whole-file reads and atomic whole-file writes. Nothing here ever waits on
// what stands at a path: a named pipe, a socket, a device or a folder where a
// file belongs is never opened.

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Why a file could not be opened or read: the system's error number (ENOENT:
// there is no such file; EINVAL: no regular file stands there) and the reason
// in words that fit after "cannot be read: " ("Permission denied", "it is a
// named pipe, not a regular file").
struct FileError {
    int number = 0;
    std::string reason;
};

// A descriptor of the regular file at `path` (links followed), opened for
// reading; -1 with `error` set when there is none or it cannot be opened.
int openRegularFileForReading(const std::string& path, FileError* error = nullptr);
// The same for writing from its start: the file is made when missing (0666
// less the umask) and emptied when there.
int openRegularFileForWriting(const std::string& path, FileError* error = nullptr);
// The regular file's bytes; none, with `error` set when given, when it cannot be read.
std::optional<std::string> readFileContents(const std::string& path, FileError* error = nullptr);
// The file `path` names once the symbolic links at its end are followed (a
// link to a link; a relative target is read from its link's folder): `path`
// itself when it is no link. That file need not exist. None for a loop or a
// link that cannot be read, with the system's error number in `error`.
std::optional<std::string> followLinks(const std::string& path, int* error = nullptr);
// Why what stands at `path` (links followed) is no regular file, in the words
// of FileError's reason ("it is a named pipe, not a regular file"); none when
// a regular file or nothing is there. Only looks: nothing is opened.
std::optional<std::string> whyNoRegularFile(const std::string& path);
// Writes `contents` to a temporary file beside `path`, fsyncs it, renames it
// over `path` and fsyncs the folder, so a reader sees the old file or the new
// one, never a part. Creates missing parent folders. False on any failure
// (the old file is then untouched and no temporary file is left), and when
// something that is no regular file stands at `path`: that is never replaced.
// A run as root never hands a user's file to root: the new file takes the
// owner of the file it replaces, or, when there was none, that of its folder
// when the folder is the home's owner's.
bool writeFileAtomically(const std::string& path, std::string_view contents);
// Creates the folder and its parents (mode 0755 minus umask); true when it
// exists afterwards. A run as root makes them as the home's owner when the
// nearest folder above that is there is that owner's.
bool createDirectories(const std::string& path);

// Whose files, besides its own, a run as root may replace or make when it
// judges a save: none (settings are the user's: a run as root keeps its
// changes in memory), or those of the home's owner (files that are the
// application's own, which writeFileAtomically keeps that owner's).
enum class RootSaves { ownFilesOnly, asTheHomeOwner };
// Why a save may not replace the file at `path` (links followed), or, when
// none is there yet, make it: "it belongs to another user", "it is
// read-only", "its folder is read-only", "its folder belongs to another
// user", or the system's words. For a new file the folder judged is the
// nearest one there, which must take the new file or the folders on its way.
// Root, whom no permission bit refuses, is held to the owner's write bits and
// never makes or replaces another user's file beyond what `root` allows.
// None when the save may go ahead.
std::optional<std::string> whyNotReplaceable(const std::string& path, RootSaves root = RootSaves::ownFilesOnly);

// Who a run as root gives a file or folder it makes at `path` to: the owner
// (and group) of the nearest folder above `path` that is there, when that is
// the owner of the home (root with a user's HOME), so nothing of root's is
// left among that user's files. None when this is no run as root, when root
// makes it as its own, or when a folder on the way cannot be looked at.
struct FileOwner {
    uid_t uid;
    gid_t gid;
};
std::optional<FileOwner> ownerForNewEntry(const std::string& path);

}  // namespace platform
