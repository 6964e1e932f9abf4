#pragma once
// The engine's SQLite database: the last dashboard (scan_cache row 1) and the
// history of dry runs and cleans (operations), each record stored as its JSON
// text on one line, as the application reads them with the sqlite3 shell.
// What a real clean keeps here while it moves is CleanJournal's.

#include "core/EngineRecords.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace tidewell::engine {

class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Database {
public:
    static constexpr int kSchemaVersion = 4;

    // Opens (creating the file and its folder when missing) and migrates.
    // A file that is not a database or is damaged is refused, never replaced;
    // none is ever made through a symbolic link.
    // One this user can read but not write is opened for reading: the
    // commands that only read answer, and every write says why it cannot be.
    explicit Database(const std::string& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    std::optional<DashboardDTO> lastDashboard();
    std::vector<OperationDTO> operations(std::int64_t limit);

    // One statement. Its failures say the database cannot be written inside
    // a write, else that it cannot be read.
    class Query {
    public:
        Query(Database& db, const char* sql);
        ~Query();
        Query(const Query&) = delete;
        Query& operator=(const Query&) = delete;
        Query& bind(int index, std::string_view text);
        Query& bind(int index, std::int64_t value);
        Query& bindNull(int index);
        bool next();  // true with a row, false when done
        void run();   // to the end, for a statement without rows
        std::string text(int column) const;
        std::int64_t int64(int column) const;
        bool isNull(int column) const;

    private:
        Database& db_;
        sqlite3_stmt* stmt_ = nullptr;
    };

    // Runs `body` in one write transaction: all of it is stored, or nothing.
    template <class Body> void write(Body&& body) {
        begin();
        try {
            body();
        } catch (...) {
            rollback();
            throw;
        }
        commit();
    }

    // The history entries' own order (rowid), to tell which were recorded
    // after a given moment.
    std::int64_t lastOperationRow();
    // Inside write(): one history entry; the dashboard of scan_cache row 1.
    void insertOperation(const OperationDTO& op);
    void writeDashboard(const DashboardDTO& d);

    int schemaVersion() const { return schema_; }
    // Says why this user cannot write it, when they cannot.
    void ensureWritable();
    const std::string& path() const { return path_; }

private:
    friend class Query;
    void open();
    void refuseFolderLinksLendingRights() const;
    std::string pathToOpen(int folderError);
    void openForReading(const std::string& why);
    enum class Check { Ok, Damaged, Failed };
    Check checkIntegrity();
    void exec(const char* sql);
    void setWriteAheadLog();
    void migrate();
    int readSchemaVersion();
    void begin();
    void commit();
    void rollback();
    // `what` follows the path; SQLite's own words follow only a call of
    // SQLite's that failed (`sqliteFailed`), since otherwise they say "not an error".
    [[noreturn]] void fail(const std::string& what, bool sqliteFailed = true);
    [[noreturn]] void failAccess();
    std::string unusable() const;
    std::optional<std::uint64_t> fullDisk() const;

    std::string path_;
    std::string openPath_;  // what SQLite opens: path_ with its links resolved
    int noFollow_ = 0;      // SQLITE_OPEN_NOFOLLOW when openPath_ holds no link
    sqlite3* db_ = nullptr;
    int schema_ = 0;
    bool writing_ = false;
    std::string readOnlyWhy_;  // why this user cannot write it, when they cannot
};

// A new random identifier: a version 4 UUID.
std::string newUuid();

}  // namespace tidewell::engine
