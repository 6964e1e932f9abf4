#include "core/FolderAccess.h"

#include "core/AppFiles.h"
#include "core/AppSupport.h"
#include "core/FolderLook.h"
#include "core/ModelTexts.h"
#include "core/ScanRoots.h"
#include "desktop/OpenPanel.h"
#include "foundation/Log.h"
#include "foundation/Paths.h"
#include "foundation/PropertyList.h"
#include "runtime/MainActor.h"

namespace tidewell {

namespace {
std::string joined(const std::vector<std::string>& list) {
    std::string out;
    for (const auto& item : list) {
        if (!out.empty()) out += ", ";
        out += item;
    }
    return out;
}

platform::OpenPanelOptions folderPanelOptions() {
    platform::OpenPanelOptions o;
    o.canChooseFiles = false;
    o.canChooseDirectories = true;
    o.allowsMultipleSelection = true;
    o.canCreateDirectories = false;
    o.treatsFilePackagesAsDirectories = true;
    return o;
}
}  // namespace

std::string bookmarksFilePath() { return platform::appendPathComponent(appSupportDirectory(), kBookmarksFileName); }

BookmarkTable readBookmarks() {
    BookmarkTable table;
    auto root = platform::readPropertyListFile(bookmarksFilePath());
    if (!root || !root->dictionary()) return table;
    for (const auto& [key, value] : *root->dictionary())
        if (const auto* data = value.data()) table[key] = *data;
    return table;
}

bool writeBookmarks(const BookmarkTable& table) {
    platform::PropertyValue::Dictionary dict;
    for (const auto& [key, data] : table) dict[key] = platform::PropertyValue(data);
    return saveAppFile(bookmarksFilePath(), platform::writePropertyList(platform::PropertyValue(std::move(dict))));
}

std::optional<BookmarkData> makeBookmark(const std::string& folder, const FolderLooks& looks) {
    const auto* facts = folder.empty() ? nullptr : looks.facts(folder);
    if (!facts || facts->statError != 0 || !facts->isDirectory) return std::nullopt;
    platform::PropertyValue::Dictionary record{
        {"path", platform::PropertyValue(platform::standardizePath(folder))},
        {"device", platform::PropertyValue(static_cast<std::int64_t>(facts->device))},
        {"inode", platform::PropertyValue(static_cast<std::int64_t>(facts->inode))},
    };
    const auto text = platform::writePropertyList(platform::PropertyValue(std::move(record)));
    return BookmarkData(text.begin(), text.end());
}

namespace {
struct BookmarkRecord {
    std::string path;
    std::int64_t device = 0;
    std::int64_t inode = 0;
};

std::optional<BookmarkRecord> readBookmarkRecord(const BookmarkData& data) {
    try {
        const auto record = platform::readPropertyList(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
        const auto* path = record.find("path") ? record.find("path")->string() : nullptr;
        const auto* device = record.find("device") ? record.find("device")->integer() : nullptr;
        const auto* inode = record.find("inode") ? record.find("inode")->integer() : nullptr;
        if (!path || !device || !inode || path->empty() || path->front() != '/') return std::nullopt;
        return BookmarkRecord{*path, *device, *inode};
    } catch (const platform::PropertyListError&) {
        return std::nullopt;
    }
}

std::vector<std::string> bookmarkKeys(const std::string& root) {
    std::vector<std::string> candidates{root};
    if (auto mapped = mapToRealHome(root); mapped != root) candidates.push_back(mapped);
    return candidates;
}
}  // namespace

std::optional<ResolvedBookmark> resolveBookmark(const BookmarkData& data, const FolderLooks& looks) {
    const auto record = readBookmarkRecord(data);
    if (!record) return std::nullopt;
    const auto* facts = looks.facts(record->path);
    if (!facts || facts->statError != 0 || !facts->isDirectory) return std::nullopt;
    const bool same = static_cast<std::int64_t>(facts->device) == record->device &&
                      static_cast<std::int64_t>(facts->inode) == record->inode;
    return ResolvedBookmark{record->path, !same};
}

std::vector<std::string> foldersToLookAt(const std::vector<std::string>& roots) {
    auto paths = scanRootFoldersToLook(roots);
    const auto table = readBookmarks();
    for (const auto& root : roots) {
        for (const auto& key : bookmarkKeys(root)) {
            paths.push_back(key);
            // A bookmark saved after this look names the folder in this form.
            paths.push_back(platform::standardizePath(key));
            auto entry = table.find(key);
            if (entry == table.end()) continue;
            if (auto record = readBookmarkRecord(entry->second)) paths.push_back(record->path);
        }
    }
    return paths;
}

bool startFolderAccess(const std::string& folder, const FolderLooks& looks) {
    const auto* facts = looks.facts(folder);
    return facts && facts->listable;
}

void stopFolderAccess(const std::string&) {
    // Nothing is held open: reading a folder needs no lasting grant here.
}

void saveFolderPermission(const std::string& folder, const std::vector<std::string>& aliases,
                          const FolderLooks& looks) {
    const bool started = startFolderAccess(folder, looks);
    auto bookmark = makeBookmark(folder, looks);
    if (!bookmark) {
        platform::log("Tidewell could not save folder permission for %@", folder);
        if (started) stopFolderAccess(folder);
        return;
    }
    auto table = readBookmarks();
    table[folder] = *bookmark;
    table[mapToRealHome(folder)] = *bookmark;
    for (const auto& alias : aliases) table[mapToRealHome(alias)] = *bookmark;
    if (!writeBookmarks(table)) return platform::log("Tidewell could not save folder permission for %@", folder);
    platform::log("Tidewell saved folder permission for %@", folder);
}

std::vector<std::string> restoreFolderAccess(const std::vector<std::string>& roots, const FolderLooks& looks) {
    std::vector<std::string> granted;
    for (const auto& root : roots) {
        const auto table = readBookmarks();
        std::optional<ResolvedBookmark> resolved;
        for (const auto& key : bookmarkKeys(root)) {
            auto entry = table.find(key);
            if (entry == table.end()) continue;
            if ((resolved = resolveBookmark(entry->second, looks))) break;
        }
        const auto folder = resolved ? resolved->path : mapToRealHome(root);
        // A folder that does not answer is neither granted nor denied: the
        // store names it apart.
        if (looks.silent(folder)) continue;
        const bool started = startFolderAccess(folder, looks);
        platform::log("Tidewell folder access %@ %@", started ? "granted" : "DENIED", folder);
        if (started) granted.push_back(folder);
        // Another folder now stands at the bookmarked path: record it afresh.
        if (resolved && resolved->stale) saveFolderPermission(folder, {}, looks);
    }
    return granted;
}

void removeFolderPermission(const std::string& path) {
    // Either form of the path removes both entries: the one saved under the
    // sandbox path and the one under the real home.
    auto table = readBookmarks();
    const auto real = mapToRealHome(path);
    std::erase_if(table, [&](const auto& entry) {
        return entry.first == path || entry.first == real || mapToRealHome(entry.first) == real;
    });
    writeBookmarks(table);
}

bool hasWorkingBookmark(const std::string& root, const FolderLooks& looks) {
    const auto table = readBookmarks();
    for (const auto& key : bookmarkKeys(root)) {
        auto entry = table.find(key);
        if (entry == table.end()) continue;
        auto resolved = resolveBookmark(entry->second, looks);
        if (!resolved) continue;
        if (startFolderAccess(resolved->path, looks)) {
            stopFolderAccess(resolved->path);
            return true;
        }
    }
    return false;
}

bool isDiskWidePath(const std::string& path) {
    const auto standard = platform::standardizePath(path);
    return standard == "/" || platform::isOtherVolumePath(standard);
}

std::string folderDisplayName(const std::string& path) {
    if (platform::standardizePath(path) == "/") return rootVolumeDisplayName();
    auto name = platform::lastPathComponent(path);
    return name.empty() ? path : name;
}

std::string joinedDisplayNames(const std::vector<std::string>& paths) {
    std::vector<std::string> names;
    for (const auto& p : paths) names.push_back(folderDisplayName(p));
    return joined(names);
}

void chooseScanFolders(std::function<void(std::vector<std::string>)> done) {
    auto options = folderPanelOptions();
    options.prompt = "Add";
    options.message = "Choose folders to scan for development projects.";
    options.directory = platform::homeDirectory();
    platform::OpenPanel::shared().begin(options, [done = std::move(done)](auto paths) {
        done(paths ? std::move(*paths) : std::vector<std::string>{});
    });
}

void presentScanFolderPicker(std::function<void(std::vector<std::string>)> done) {
    platform::postToMain([done = std::move(done)]() mutable { chooseScanFolders(std::move(done)); });
}

bool openFullDiskAccessSettings() { return false; }

}  // namespace tidewell
