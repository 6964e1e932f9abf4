#include "CleanJournal.h"

#include "FolderProbe.h"
#include "HelperProcess.h"
#include "Home.h"
#include "SizeAccounting.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace tidewell::engine {

namespace {

// lstat for a path of any length: one past PATH_MAX is looked up one name
// at a time, as lstat would (links on the way followed, the last not).
int lstatAnyLength(const std::string& path, struct stat& st) {
    if (lstat(path.c_str(), &st) == 0) return 0;
    if (errno != ENAMETOOLONG) return -1;
    const std::size_t slash = path.rfind('/');
    int fd = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (std::size_t i = 1; fd >= 0 && i < slash;) {
        const std::size_t j = std::min(path.find('/', i), slash);
        const int next = openat(fd, path.substr(i, j - i).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int e = errno;
        close(fd);
        errno = e;
        fd = next;
        i = j + 1;
    }
    if (fd < 0) return -1;
    const int rc = fstatat(fd, path.substr(slash + 1).c_str(), &st, AT_SYMLINK_NOFOLLOW);
    const int e = errno;
    close(fd);
    errno = e;
    return rc;
}

bool isFolder(const struct stat& st, const FolderIdentity& id) { return S_ISDIR(st.st_mode) && st.st_dev == id.dev && st.st_ino == id.ino; }

// Whether a recorded move of a clean cut short was made: its folder stands at
// its trash entry, or has left its place while that entry is gone (the trash
// was emptied since). An info file of a move that left no entry is removed
// when it is exactly the one this engine wrote for that move (it appears
// whole: anything else at that name is another program's move in progress);
// an older engine's records take what it had begun to write too. A
// trash entry of that name that holds something else is another's: it
// neither counts nor is touched.
bool settleMove(const RecordedMove& move) {
    if (!move.checkable) return true;
    struct stat st {};
    if (lstatAnyLength(move.trashed, st) == 0) return isFolder(st, move.folder);
    if (errno != ENOENT) return false;
    const bool own = move.infoText.empty() ? isOwnInfoFileFor(move.info, move.item.path) : holdsInfoText(move.info, move.infoText);
    if (own) unlink(move.info.c_str());
    return !(lstatAnyLength(move.item.path, st) == 0 && isFolder(st, move.folder));
}

// How long a helper that settles a move on a share may take, from its start.
constexpr auto kSettleWithin = std::chrono::seconds(5);

// As settleMove; a move whose folder, trash entry or info file may not
// answer (on a share) is settled by a helper, so that a share that stopped
// answering holds that helper and not this command. None when the helper did
// not answer in time: that move may still be made.
std::optional<bool> settleMoveAnywhere(const RecordedMove& move, MountTable& mounts, const std::atomic<bool>& stop) {
    if (!move.checkable) return true;
    if (!mayNotAnswer(move.item.path, mounts) && !mayNotAnswer(move.trashed, mounts) && !mayNotAnswer(move.info, mounts)) return settleMove(move);
    static HelperSlots slots(1);
    HelperProcess helper(std::string(kSettleHelper),
                         {move.item.path, move.info, move.trashed, move.infoText, std::to_string(move.folder.dev), std::to_string(move.folder.ino)},
                         HelperLimits{.silence = kSettleWithin, .overall = kSettleWithin}, slots, stop);
    std::optional<bool> made;
    for (std::string line; helper.nextLine(line);) made = line == "made";
    if (helper.end() != HelperProcess::End::Finished) return std::nullopt;
    return made;
}

// The path under which the stored scan `d` lists the project that a clean was
// given as `project`: the scan lists each folder once, under the first of its
// roots that reaches it, and the clean may have been given another way to it
// (roots ~/code -> /data/code and /data/code reach the same projects).
// A project or root that may not answer (on a share) is matched by its path
// as given: resolving it would ask its server, inside a write of the
// database and under the clean lock, where a share that stopped answering
// would hold every command of this user.
std::string listedPathOf(const DashboardDTO& d, const std::string& project) {
    const auto listed = [&](const std::string& path) {
        return std::any_of(d.projects.begin(), d.projects.end(), [&](const ProjectDTO& p) { return p.path == path; });
    };
    if (listed(project)) return project;
    MountTable mounts;
    const auto resolved = [&](const std::string& path) { return mayNotAnswer(path, mounts) ? std::optional(path) : realPath(path); };
    const auto real = resolved(project);
    if (!real) return project;
    for (const auto& given : d.roots) {
        const std::string root = normalizePath(given);
        const auto realRoot = resolved(root);
        // Below a root the walk follows no link: the rest of the path is the same.
        if (!realRoot || !isInsideOrEqual(*real, *realRoot)) continue;
        const std::string rest = real->substr(*realRoot == "/" ? 1 : std::min(real->size(), realRoot->size() + 1));
        const std::string path = rest.empty() ? root : joinPath(root, rest);
        if (listed(path)) return path;
    }
    return project;
}

// The stored scan `d` without the folders the clean `op` moved. False when
// it lists none of them.
bool takeOut(DashboardDTO& d, const OperationDTO& op) {
    const std::string project = op.project_path.value_or("");
    const std::string listed = listedPathOf(d, project);
    std::vector<MovedFolder> moved;
    for (const auto& i : op.items.value_or(std::vector<CleanItemDTO>{}))
        if (i.success) moved.push_back({isInsideOrEqual(i.path, project) ? listed + i.path.substr(project.size()) : i.path, i.bytes});
    return applyClean(d, listed, moved);
}

std::uint64_t sumOfBytes(const std::vector<CleanItemDTO>& items) {
    std::uint64_t sum = 0;
    for (const auto& i : items) sum = saturatingAdd(sum, i.bytes);
    return sum;
}

}  // namespace

std::vector<CleanItemDTO> movedItems(const std::vector<CleanItemDTO>& items) {
    std::vector<CleanItemDTO> out;
    for (const auto& i : items)
        if (i.success) out.push_back(i);
    return out;
}

// 1. Before the move.
void CleanJournal::recordMove(const OperationDTO& operation, int seq, const RecordedMove& move) {
    OperationDTO header = operation;
    header.items.reset();
    db_.write([&] {
        Database::Query(db_, "INSERT OR IGNORE INTO pending_cleans (id, operation) VALUES (?, ?);").bind(1, header.id).bind(2, encode(header)).run();
        Database::Query(db_,
                        "INSERT OR REPLACE INTO pending_moves (clean_id, seq, item, info, trashed, dev, ino, info_text) "
                        "VALUES (?, ?, ?, ?, ?, ?, ?, ?);")
            .bind(1, header.id)
            .bind(2, std::int64_t{seq})
            .bind(3, encode(move.item))
            .bind(4, move.info)
            .bind(5, move.trashed)
            .bind(6, static_cast<std::int64_t>(move.folder.dev))
            .bind(7, static_cast<std::int64_t>(move.folder.ino))
            .bind(8, move.infoText)
            .run();
    });
}

// 2. A move that was not made.
void CleanJournal::dropMove(const std::string& id, int seq) {
    db_.write([&] { Database::Query(db_, "DELETE FROM pending_moves WHERE clean_id = ? AND seq = ?;").bind(1, id).bind(2, std::int64_t{seq}).run(); });
}

// 3. The history, the stored scan and the records, together.
void CleanJournal::finish(const OperationDTO& operation) {
    db_.write([&] {
        db_.insertOperation(operation);
        if (!operation.dry_run) takeOutOfStoredScan(operation);
        deleteRecords(operation.id);
    });
}

void CleanJournal::recordPreview(const OperationDTO& preview) {
    db_.write([&] { db_.insertOperation(preview); });
}

void CleanJournal::forget(const std::string& id) {
    db_.write([&] { deleteRecords(id); });
}

// 4. A clean cut short.
void CleanJournal::settle(const CleanLock& lock, const std::atomic<bool>& stop) {
    // Settling while another clean moves would take its moves for cut short.
    if (!lock.held()) throw DatabaseError(lock.problem().empty() ? "a clean holds its lock" : lock.problem());
    auto cleans = cutShort();
    // A helper left behind in the middle of a move may still make it: its
    // clean, whichever it is, waits for a later command.
    if (cleans.empty() || lock.moveInFlight()) return;
    // Nothing in a trash is touched for records that cannot be settled.
    db_.ensureWritable();
    MountTable mounts;
    for (auto& clean : cleans) {
        OperationDTO& op = clean.operation;
        op.items.emplace();
        bool told = true;
        for (const auto& move : clean.moves) {
            const auto made = settleMoveAnywhere(move, mounts, stop);
            if (!made) {
                told = false;
                break;
            }
            if (*made) op.items->push_back(move.item);
        }
        // A move a share did not tell of may still be made: the whole clean
        // waits for a command that finds the share answering.
        if (!told) continue;
        op.bytes_reclaimed = sumOfBytes(*op.items);
        if (op.items->empty()) forget(op.id);
        else finish(op);
    }
}

void CleanJournal::settleIfIdle(const std::atomic<bool>& stop) {
    // Most commands find nothing to settle, and then write nothing.
    if (cutShort().empty()) return;
    const CleanLock lock(db_.path(), CleanLock::Wait::No);
    if (lock.held()) settle(lock, stop);
    // A lock file in the way is said; a clean that holds the lock settles them itself.
    else if (!lock.problem().empty()) throw DatabaseError(lock.problem());
}

std::vector<CutShortClean> CleanJournal::cutShort() {
    std::vector<CutShortClean> out;
    if (db_.schemaVersion() < 2) return out;  // an older database read as it is
    Database::Query cleans(db_, "SELECT id, operation, moving_info, moving_trashed, moving_dev, moving_ino FROM pending_cleans;");
    while (cleans.next()) {
        CutShortClean clean;
        try {
            clean.operation = decode<OperationDTO>(cleans.text(1));
        } catch (const DecodeError&) {
            continue;
        }
        clean.operation.id = cleans.text(0);
        // An older engine kept the moves made in the operation itself, the
        // last one in flight, with where it went beside it.
        for (auto& item : clean.operation.items.value_or(std::vector<CleanItemDTO>{})) {
            RecordedMove made{std::move(item)};
            made.checkable = false;
            clean.moves.push_back(std::move(made));
        }
        clean.operation.items.reset();
        if (!cleans.isNull(2) && !clean.moves.empty()) {
            RecordedMove& inFlight = clean.moves.back();
            inFlight.checkable = true;
            inFlight.info = cleans.text(2);
            inFlight.trashed = cleans.text(3);
            inFlight.folder = {static_cast<dev_t>(cleans.int64(4)), static_cast<ino_t>(cleans.int64(5))};
        }
        if (db_.schemaVersion() >= 3) {
            const bool withText = db_.schemaVersion() >= 4;
            Database::Query moves(db_, withText ? "SELECT item, info, trashed, dev, ino, info_text FROM pending_moves WHERE clean_id = ? ORDER BY seq;"
                                                : "SELECT item, info, trashed, dev, ino FROM pending_moves WHERE clean_id = ? ORDER BY seq;");
            moves.bind(1, clean.operation.id);
            while (moves.next()) {
                RecordedMove move;
                try {
                    move.item = decode<CleanItemDTO>(moves.text(0));
                } catch (const DecodeError&) {
                    continue;
                }
                move.info = moves.text(1);
                move.trashed = moves.text(2);
                move.folder = {static_cast<dev_t>(moves.int64(3)), static_cast<ino_t>(moves.int64(4))};
                if (withText && !moves.isNull(5)) move.infoText = moves.text(5);
                clean.moves.push_back(std::move(move));
            }
        }
        out.push_back(std::move(clean));
    }
    return out;
}

void CleanJournal::storeScan(DashboardDTO& dashboard, std::int64_t mark) {
    db_.write([&] {
        Database::Query since(db_, "SELECT json FROM operations WHERE rowid > ? AND dry_run = 0 ORDER BY rowid;");
        since.bind(1, mark);
        while (since.next()) {
            try {
                takeOut(dashboard, decode<OperationDTO>(since.text(0)));
            } catch (const DecodeError&) {
                // A damaged entry is left out, as in the history.
            }
        }
        db_.writeDashboard(dashboard);
    });
}

void CleanJournal::takeOutOfStoredScan(const OperationDTO& op) {
    std::optional<DashboardDTO> dashboard;
    try {
        dashboard = db_.lastDashboard();
    } catch (const DatabaseError&) {
        return;  // an unreadable stored scan is left for the next scan to replace
    }
    if (dashboard && takeOut(*dashboard, op)) db_.writeDashboard(*dashboard);
}

void CleanJournal::deleteRecords(const std::string& id) {
    Database::Query(db_, "DELETE FROM pending_moves WHERE clean_id = ?;").bind(1, id).run();
    Database::Query(db_, "DELETE FROM pending_cleans WHERE id = ?;").bind(1, id).run();
}

int settleHelper(const std::vector<std::string>& args) {
    if (args.size() != 6) return 2;
    RecordedMove move;
    move.item.path = args[0];
    move.info = args[1];
    move.trashed = args[2];
    move.infoText = args[3];
    try {
        move.folder = {static_cast<dev_t>(std::stoull(args[4])), static_cast<ino_t>(std::stoull(args[5]))};
    } catch (const std::exception&) {
        return 2;
    }
    helperPrint(settleMove(move) ? "made" : "left");
    return 0;
}

}  // namespace tidewell::engine
