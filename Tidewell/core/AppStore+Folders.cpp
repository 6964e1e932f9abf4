// The store's looks at the scan folders: each round runs in a task and hands
// what it saw back to the main actor, where folder access, added roots and
// the banner are settled.

#include <algorithm>

#include "core/AppStore.h"
#include "core/FolderAccess.h"
#include "core/FolderLook.h"
#include "core/ScanProgressRules.h"
#include "core/ScanRoots.h"

namespace tidewell {

void AppStore::lookAtScanFolders(std::vector<std::string> extra,
                                 std::function<void(AppStore&, const FolderLooks&)> then) {
    ++folderLooksRunning_;
    auto roots = scanRoots.get();
    roots.insert(roots.end(), extra.begin(), extra.end());
    // The bookmarks file is our own, read here; only the folders are looked at in the task.
    auto paths = foldersToLookAt(roots);
    platform::detachTask(platform::TaskPriority::userInitiated, [alive = std::weak_ptr<int>(lifetime_), store = this,
                                                                 paths = std::move(paths), extra = std::move(extra),
                                                                 then = std::move(then)]() mutable {
        auto looks = std::make_shared<const FolderLooks>(lookAtFolders(paths));
        hopToMain(alive, store, [looks, extra = std::move(extra), then = std::move(then)](AppStore& s) mutable {
            --s.folderLooksRunning_;
            // A root added meanwhile was not looked at: look again, with it.
            const auto needed = scanRootFoldersToLook(s.scanRoots.get());
            if (!std::all_of(needed.begin(), needed.end(), [&](const std::string& p) { return looks->askedAbout(p); }))
                return s.lookAtScanFolders(std::move(extra), std::move(then));
            then(s, *looks);
        });
    });
}

void AppStore::refreshFolderAccess(std::function<void(AppStore&)> then) {
    if (pending.refreshFolderAccess) {
        pending.refreshFolderAccess(*this);
        if (then) then(*this);
        return;
    }
    lookAtScanFolders({}, [then = std::move(then)](AppStore& s, const FolderLooks& looks) {
        s.applyFolderAccess(looks);
        if (then) then(s);
    });
}

void AppStore::applyFolderAccess(const FolderLooks& looks) {
    silentRoots_.clear();
    for (const auto& root : scanRoots.get())
        if (isSilentScanRoot(root, looks)) silentRoots_.push_back(root);
    if (pending.refreshFolderAccess) return pending.refreshFolderAccess(*this);
    for (const auto& folder : scopedRootURLs) stopFolderAccess(folder);
    // Several roots can resolve to one folder (a disk-wide grant saved under
    // other roots too); it is scanned once.
    std::vector<std::string> folders;
    for (auto& folder : restoreFolderAccess(scanRoots.get(), looks))
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(std::move(folder));
    scopedRootURLs = std::move(folders);
}

void AppStore::addScanRoots(const std::vector<std::string>& folderPaths) {
    lookAtScanFolders(folderPaths, [folderPaths](AppStore& s, const FolderLooks& looks) {
        std::vector<std::string> silent;
        for (const auto& path : folderPaths) {
            if (isSilentScanRoot(path, looks)) silent.push_back(path);
            if (s.pending.saveFolderPermission) s.pending.saveFolderPermission(path, {});
            else saveFolderPermission(path, {}, looks);
            // A chosen folder that does not answer is kept: the user saw it there.
            s.addScanRootPaths({path}, looks);
        }
        if (!s.isScanning.get()) s.applyFolderAccess(looks);
        if (!silent.empty()) s.showFolderNotice(silentFoldersText(silent));
    });
}

void AppStore::addScanRootPaths(const std::vector<std::string>& paths, const FolderLooks& looks) {
    bool added = false;
    for (const auto& path : paths) {
        auto normalized = normalizeScanRoot(path, looks);
        if (!normalized) {
            // A chosen folder is never dropped without a word.
            lastError = "\u201C" + path + "\u201D was not added: it is not a folder.";
            continue;
        }
        const auto& roots = scanRoots.get();
        const bool present = std::any_of(roots.begin(), roots.end(), [&](const std::string& root) {
            return root == *normalized || normalizeScanRoot(root, looks) == normalized;
        });
        if (present) continue;
        auto next = roots;
        next.push_back(*normalized);
        scanRoots = std::move(next);
        added = true;
    }
    if (added) saveScanSettings();
}

void AppStore::showFolderNotice(const std::string& text) {
    // The launch's settings notice stays up beside it, as long as it would alone.
    if (heldNotice && lastError.get() == heldNotice) {
        if (!heldNotice->ends_with(text)) heldNotice = *heldNotice + " " + text;
        lastError = heldNotice;
        return;
    }
    lastError = text;
}

void AppStore::showSilentFolders() {
    if (!silentRoots_.empty()) showFolderNotice(silentFoldersText(silentRoots_));
}

}  // namespace tidewell
