#pragma once
// The engine's SQLite database: the last dashboard (scan_cache row 1) and the
// history of dry runs and cleans (operations), each record stored as its JSON
// text on one line, as the application reads them with the sqlite3 shell.

#include "core/EngineRecords.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;

namespace tidewell::engine {

class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Database {
public:
    static constexpr int kSchemaVersion = 3;

    // Opens (creating the file and its folder when missing) and migrates.
    // A file that is not a database or is damaged is refused, never replaced.
    explicit Database(const std::string& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void saveDashboard(const DashboardDTO& dashboard);
    std::optional<DashboardDTO> lastDashboard();

    void addOperation(const OperationDTO& op);
    std::vector<OperationDTO> operations(std::int64_t limit);

    // The operation and the updated dashboard in one transaction; the
    // operation's pending record, if any, goes with it.
    void recordClean(const OperationDTO& op, const std::optional<DashboardDTO>& dashboard);

    // A real clean under way, kept apart from the history the application
    // reads until it is complete: what moved so far and the move in flight.
    struct PendingClean {
        OperationDTO operation;  // its last item is the one in flight, when there is one
        std::string movingInfo;  // info file and trash entry of the move in flight
        std::string movingTrashed;
        std::int64_t movingDev = 0;
        std::int64_t movingIno = 0;
    };
    // One move of a clean under way, recorded just before it is made: the
    // folder (its item), where it goes in the trash and what it is. Each move
    // adds a record of its own, so a clean of thousands of folders writes as
    // much per folder as a clean of one.
    struct PendingMove {
        CleanItemDTO item;
        std::string info;
        std::string trashed;
        std::int64_t dev = 0;
        std::int64_t ino = 0;
    };
    // Records (or, for the same `seq`, replaces) move `seq` of the clean
    // `operation` (whose items are not stored here).
    void savePendingMove(const OperationDTO& operation, int seq, const PendingMove& move);
    // A move that was recorded and then not made.
    void dropPendingMove(const std::string& id, int seq);
    // Each clean under way with the items of its moves in order, the last
    // one in flight.
    std::vector<PendingClean> pendingCleans();
    void dropPending(const std::string& id);

    int schemaVersion();
    const std::string& path() const { return path_; }

private:
    void open();
    void exec(const char* sql);
    void migrate();
    void insertOperation(const OperationDTO& op);
    void deletePending(const std::string& id);
    void writeDashboard(const DashboardDTO& d);
    [[noreturn]] void fail(const std::string& what);
    std::string unusable() const;
    std::optional<std::uint64_t> fullDisk() const;

    std::string path_;
    sqlite3* db_ = nullptr;
};

// A new random identifier: a version 4 UUID.
std::string newUuid();

}  // namespace tidewell::engine
