#pragma once
// What a real clean keeps in the database while it moves folders, from its
// first record to its last, in one place:
//
//   1. recordMove: just before a folder's info file is made, the folder (its
//      item), where it goes in the trash and what it is (device and inode);
//   2. dropMove:   a move that was recorded and then not made;
//   3. finish:     the operation joins the history, the stored scan loses the
//      folders that moved, and the clean's records go, in one transaction;
//   4. settle:     a clean cut short (killed) is finished by the next command
//      that opens the database: each recorded move counts when its folder
//      left its place, the info file of one that did not reach the trash is
//      removed, and the clean is finished as in 3.
//
// A scan stores its dashboard here too (storeScan), so that a clean recorded
// while it walked is not undone by it. Only info files that these records name
// are ever removed from a trash: another program's move in progress looks
// just like a leftover.

#include "CleanLock.h"
#include "Dashboard.h"
#include "Database.h"
#include "TrashMover.h"
#include "core/EngineRecords.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell::engine {

// One move of a clean: the folder's item (success true: what it is when the
// move is made), its info file and trash entry, and what the folder is.
struct RecordedMove {
    CleanItemDTO item;
    std::string info;
    std::string trashed;
    FolderIdentity folder;
    // The info file's whole text; empty in the records of an older engine,
    // which wrote it in steps.
    std::string infoText;
    // False for the moves an older engine recorded as made, without where
    // they went: they count as they stand.
    bool checkable = true;
};

// A clean cut short: its operation (without items) and its moves in order.
struct CutShortClean {
    OperationDTO operation;
    std::vector<RecordedMove> moves;
};

class CleanJournal {
public:
    explicit CleanJournal(Database& db) : db_(db) {}

    // 1. Records (or, for the same `seq`, replaces: a name taken in the trash
    // meanwhile sends the move to the next one) move `seq` of the clean
    // `operation`.
    void recordMove(const OperationDTO& operation, int seq, const RecordedMove& move);
    // 2. Move `seq` of the clean `id` was not made.
    void dropMove(const std::string& id, int seq);
    // 3. The clean, with the items that moved, joins the history and the
    // stored scan; its records go.
    void finish(const OperationDTO& operation);
    // A dry run's preview joins the history, touching nothing else: it runs
    // without the clean lock, beside a clean that may be moving.
    void recordPreview(const OperationDTO& preview);
    // A clean in which nothing moved leaves no history: only its records go.
    void forget(const std::string& id);

    // 4. With the clean lock held (else nothing is touched and it throws
    // DatabaseError): every clean cut short is settled, but one with a move
    // on a share that does not answer now, which stays for a later command.
    void settle(const CleanLock& lock, const std::atomic<bool>& stop);
    // For commands other than clean: settles unless a clean runs now (that
    // clean settles them itself) or the database cannot be written (nothing
    // in a trash is touched then: the records stay for a later command).
    void settleIfIdle(const std::atomic<bool>& stop);
    // The cleans cut short, as recorded.
    std::vector<CutShortClean> cutShort();

    // Where the history stands now, for storeScan.
    std::int64_t historyMark() { return db_.lastOperationRow(); }
    // Stores a scan's dashboard, taking out (here too) the folders that
    // cleans recorded after `mark` moved: the scan may have measured them
    // before they went.
    void storeScan(DashboardDTO& dashboard, std::int64_t mark);

private:
    // Inside a write: the stored scan without the folders `op` moved.
    void takeOutOfStoredScan(const OperationDTO& op);
    void deleteRecords(const std::string& id);

    Database& db_;
};

// The items of a clean that moved.
std::vector<CleanItemDTO> movedItems(const std::vector<CleanItemDTO>& items);

// The helper that settles one move on a share (HelperProcess.h): prints
// "made" or "left". Returns its exit status.
inline constexpr std::string_view kSettleHelper = "settle";
int settleHelper(const std::vector<std::string>& args);

}  // namespace tidewell::engine
