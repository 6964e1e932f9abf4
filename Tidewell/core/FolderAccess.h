#pragma once
// Folder access: bookmarks of the folders the user allowed, kept in
// "scan-bookmarks.plist" (path -> bookmark data), the two folder panels and
// the shortcut to the full-disk-access settings.
//
// A bookmark records a folder's path, device and inode. Resolving finds the
// folder at its path (stale when another folder now stands there); starting
// access means the folder can be listed by this user.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tidewell {

inline constexpr const char* kBookmarksFileName = "scan-bookmarks.plist";

using BookmarkData = std::vector<std::uint8_t>;
using BookmarkTable = std::map<std::string, BookmarkData>;

std::string bookmarksFilePath();
// An empty table when the file is missing, unreadable or does not decode.
BookmarkTable readBookmarks();
// Atomic; false when the table could not be written.
bool writeBookmarks(const BookmarkTable& table);

class FolderLooks;

// Each operation that looks at folders takes what a round of looks found
// (FolderLook.h, run in a task): none looks by itself, so none can hold the
// main actor. A folder that did not answer is neither granted nor denied.

// None when the folder cannot be examined.
std::optional<BookmarkData> makeBookmark(const std::string& folder, const FolderLooks& looks);
struct ResolvedBookmark {
    std::string path;
    bool stale = false;
};
std::optional<ResolvedBookmark> resolveBookmark(const BookmarkData& data, const FolderLooks& looks);
// True when this user can list the folder now.
bool startFolderAccess(const std::string& folder, const FolderLooks& looks);
void stopFolderAccess(const std::string& folder);

// Every folder the operations below look at for `roots`: the roots in each
// written form, the defaults' folders and the folders their bookmarks name.
std::vector<std::string> foldersToLookAt(const std::vector<std::string>& roots);

// Saves the folder's bookmark under its path, its real-home form and each
// alias's real-home form.
void saveFolderPermission(const std::string& folder, const std::vector<std::string>& aliases,
                          const FolderLooks& looks);
// The folders whose access started, in the order of the roots.
std::vector<std::string> restoreFolderAccess(const std::vector<std::string>& roots, const FolderLooks& looks);
// Removes the entries of `path` and of its real-home form.
void removeFolderPermission(const std::string& path);
// The requested scan's test: a bookmark of the root (or its real-home form)
// resolves and its folder can be read; the table is read afresh.
bool hasWorkingBookmark(const std::string& root, const FolderLooks& looks);

// How panels and texts name a folder: the root filesystem's name for "/",
// else the last component, else the path as written.
std::string folderDisplayName(const std::string& path);
std::string joinedDisplayNames(const std::vector<std::string>& paths);
bool isDiskWidePath(const std::string& path);

// The scan-folder panel; `done` gets the chosen folders, empty when cancelled.
void chooseScanFolders(std::function<void(std::vector<std::string>)> done);
// The same, one main-queue turn later (onboarding and the folders settings).
void presentScanFolderPicker(std::function<void(std::vector<std::string>)> done);

// There is no such settings pane on Linux: nothing is opened. False.
bool openFullDiskAccessSettings();

}  // namespace tidewell
