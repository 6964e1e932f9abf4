#include "Database.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

namespace tidewell::engine {

namespace {

// Forward migrations: entry i brings the schema from version i to i + 1.
const char* const kMigrations[] = {
    "CREATE TABLE IF NOT EXISTS scan_cache ("
    "  id INTEGER PRIMARY KEY,"
    "  scanned_at_unix INTEGER NOT NULL,"
    "  json TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS operations ("
    "  id TEXT PRIMARY KEY,"
    "  timestamp_unix INTEGER NOT NULL,"
    "  project_path TEXT,"
    "  dry_run INTEGER NOT NULL,"
    "  bytes_reclaimed INTEGER NOT NULL,"
    "  json TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS operations_by_time ON operations(timestamp_unix);",
    "CREATE TABLE IF NOT EXISTS pending_cleans ("
    "  id TEXT PRIMARY KEY,"
    "  operation TEXT NOT NULL,"
    "  moving_info TEXT,"
    "  moving_trashed TEXT,"
    "  moving_dev INTEGER,"
    "  moving_ino INTEGER);",
    "CREATE TABLE IF NOT EXISTS pending_moves ("
    "  clean_id TEXT NOT NULL,"
    "  seq INTEGER NOT NULL,"
    "  item TEXT NOT NULL,"
    "  info TEXT NOT NULL,"
    "  trashed TEXT NOT NULL,"
    "  dev INTEGER NOT NULL,"
    "  ino INTEGER NOT NULL,"
    "  PRIMARY KEY (clean_id, seq));",
};

class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    sqlite3_stmt* get() const { return stmt_; }
    explicit operator bool() const { return stmt_ != nullptr; }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

void mkdirs(const std::string& folder) {
    for (std::size_t i = 1; i <= folder.size(); ++i) {
        if (i == folder.size() || folder[i] == '/') mkdir(folder.substr(0, i).c_str(), 0700);
    }
}

std::int64_t clampToInt64(std::uint64_t v) { return v > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(v); }

}  // namespace

Database::Database(const std::string& path) : path_(path) {
    try {
        open();
    } catch (...) {
        // The destructor does not run for a constructor that throws.
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

void Database::open() {
    if (const auto slash = path_.rfind('/'); slash != std::string::npos && slash > 0) mkdirs(path_.substr(0, slash));
    const int rc = sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) fail(unusable());
    sqlite3_busy_timeout(db_, 5000);
    sqlite3_extended_result_codes(db_, 1);
    // Reading the schema is the first access to the file's contents: a file
    // that is not a database fails here, before anything is written.
    {
        Statement check(db_, "PRAGMA quick_check(1);");
        if (!check) fail(unusable());
        const int step = sqlite3_step(check.get());
        if (step != SQLITE_ROW) fail(unusable());
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
        if (!text || std::strcmp(text, "ok") != 0) fail("is corrupt");
    }
    exec("PRAGMA journal_mode=WAL;");
    migrate();
}

Database::~Database() { sqlite3_close(db_); }

void Database::fail(const std::string& what) {
    std::string msg = "database " + path_ + " " + what;
    if (db_) msg += std::string(" (") + sqlite3_errmsg(db_) + ")";
    if (const auto room = fullDisk()) msg += ": its disk is full (" + std::to_string(*room) + " bytes free); free some space and try again";
    throw DatabaseError(msg);
}

// SQLite reports a disk without room as an I/O error at times (when it
// cannot grow its shared-memory file, say): a full disk must never read as
// a damaged database, which would invite deleting a healthy one.
// A file that cannot be read is said to be so, with the system's reason:
// never corrupt (which would invite deleting it) and never full.
std::string Database::unusable() const {
    const int code = db_ ? sqlite3_extended_errcode(db_) & 0xff : SQLITE_CANTOPEN;
    if (fullDisk()) return "cannot be used";
    if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB) return "is corrupt or not a database";
    const int e = db_ ? sqlite3_system_errno(db_) : 0;
    const std::string why = e ? ": " + std::string(std::strerror(e)) : "";
    if (code == SQLITE_IOERR) return "cannot be read" + why;
    if (code == SQLITE_READONLY || e == EROFS) return "cannot be written" + why;
    if (code == SQLITE_CANTOPEN || code == SQLITE_PERM) {
        struct stat st {};
        if (lstat(path_.c_str(), &st) != 0 && errno == ENOENT) return "cannot be created" + why;
        return "cannot be read" + why;
    }
    return "cannot be opened" + why;
}

// The free bytes of the database's disk when they are too few for SQLite
// to work (its journal and shared memory need a few pages), else nothing.
std::optional<std::uint64_t> Database::fullDisk() const {
    if (!db_) return std::nullopt;
    const int code = sqlite3_extended_errcode(db_) & 0xff;
    if (code != SQLITE_FULL && code != SQLITE_IOERR) return std::nullopt;
    const auto slash = path_.rfind('/');
    struct statvfs vfs {};
    if (slash == std::string::npos || statvfs(slash == 0 ? "/" : path_.substr(0, slash).c_str(), &vfs) != 0) return std::nullopt;
    const std::uint64_t room = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    constexpr std::uint64_t kTooLittle = 1u << 20;
    if (code != SQLITE_FULL && room >= kTooLittle) return std::nullopt;
    return room;
}

void Database::exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail("cannot be written");
}

int Database::schemaVersion() {
    Statement s(db_, "PRAGMA user_version;");
    if (!s || sqlite3_step(s.get()) != SQLITE_ROW) fail("cannot be read");
    return sqlite3_column_int(s.get(), 0);
}

void Database::migrate() {
    const int version = schemaVersion();
    if (version > kSchemaVersion)
        throw DatabaseError("database " + path_ + " was written by a newer engine (schema " + std::to_string(version) + ")");
    for (int v = version; v < kSchemaVersion; ++v) {
        exec("BEGIN IMMEDIATE;");
        try {
            exec(kMigrations[v]);
            exec(("PRAGMA user_version=" + std::to_string(v + 1) + ";").c_str());
            exec("COMMIT;");
        } catch (...) {
            sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
            throw;
        }
    }
}

void Database::writeDashboard(const DashboardDTO& d) {
    Statement s(db_, "INSERT OR REPLACE INTO scan_cache (id, scanned_at_unix, json) VALUES (1, ?, ?);");
    if (!s) fail("cannot be written");
    const std::string json = encode(d);
    sqlite3_bind_int64(s.get(), 1, d.scanned_at_unix);
    sqlite3_bind_text(s.get(), 2, json.data(), static_cast<int>(json.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(s.get()) != SQLITE_DONE) fail("cannot be written");
}

void Database::insertOperation(const OperationDTO& op) {
    Statement s(db_,
                "INSERT INTO operations (id, timestamp_unix, project_path, dry_run, bytes_reclaimed, json) "
                "VALUES (?, ?, ?, ?, ?, ?);");
    if (!s) fail("cannot be written");
    const std::string json = encode(op);
    sqlite3_bind_text(s.get(), 1, op.id.data(), static_cast<int>(op.id.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(s.get(), 2, op.timestamp_unix);
    if (op.project_path) sqlite3_bind_text(s.get(), 3, op.project_path->data(), static_cast<int>(op.project_path->size()), SQLITE_TRANSIENT);
    else sqlite3_bind_null(s.get(), 3);
    sqlite3_bind_int(s.get(), 4, op.dry_run ? 1 : 0);
    sqlite3_bind_int64(s.get(), 5, clampToInt64(op.bytes_reclaimed));
    sqlite3_bind_text(s.get(), 6, json.data(), static_cast<int>(json.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(s.get()) != SQLITE_DONE) fail("cannot be written");
}

void Database::saveDashboard(const DashboardDTO& dashboard) { recordClean(OperationDTO{}, dashboard); }

void Database::addOperation(const OperationDTO& op) { recordClean(op, std::nullopt); }

void Database::recordClean(const OperationDTO& op, const std::optional<DashboardDTO>& dashboard) {
    exec("BEGIN IMMEDIATE;");
    try {
        if (!op.id.empty()) {
            insertOperation(op);
            deletePending(op.id);
        }
        if (dashboard) writeDashboard(*dashboard);
        exec("COMMIT;");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
        throw;
    }
}

void Database::deletePending(const std::string& id) {
    for (const char* sql : {"DELETE FROM pending_moves WHERE clean_id = ?;", "DELETE FROM pending_cleans WHERE id = ?;"}) {
        Statement s(db_, sql);
        if (!s) fail("cannot be written");
        sqlite3_bind_text(s.get(), 1, id.data(), static_cast<int>(id.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(s.get()) != SQLITE_DONE) fail("cannot be written");
    }
}

void Database::dropPending(const std::string& id) {
    exec("BEGIN IMMEDIATE;");
    try {
        deletePending(id);
        exec("COMMIT;");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
        throw;
    }
}

void Database::savePendingMove(const OperationDTO& operation, int seq, const PendingMove& move) {
    OperationDTO header = operation;
    header.items.reset();
    const std::string headerJson = encode(header), itemJson = encode(move.item);
    exec("BEGIN IMMEDIATE;");
    try {
        Statement h(db_, "INSERT OR IGNORE INTO pending_cleans (id, operation) VALUES (?, ?);");
        if (!h) fail("cannot be written");
        sqlite3_bind_text(h.get(), 1, header.id.data(), static_cast<int>(header.id.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(h.get(), 2, headerJson.data(), static_cast<int>(headerJson.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(h.get()) != SQLITE_DONE) fail("cannot be written");
        Statement m(db_,
                    "INSERT OR REPLACE INTO pending_moves (clean_id, seq, item, info, trashed, dev, ino) "
                    "VALUES (?, ?, ?, ?, ?, ?, ?);");
        if (!m) fail("cannot be written");
        sqlite3_bind_text(m.get(), 1, header.id.data(), static_cast<int>(header.id.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(m.get(), 2, seq);
        sqlite3_bind_text(m.get(), 3, itemJson.data(), static_cast<int>(itemJson.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(m.get(), 4, move.info.data(), static_cast<int>(move.info.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(m.get(), 5, move.trashed.data(), static_cast<int>(move.trashed.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(m.get(), 6, move.dev);
        sqlite3_bind_int64(m.get(), 7, move.ino);
        if (sqlite3_step(m.get()) != SQLITE_DONE) fail("cannot be written");
        exec("COMMIT;");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
        throw;
    }
}

void Database::dropPendingMove(const std::string& id, int seq) {
    Statement s(db_, "DELETE FROM pending_moves WHERE clean_id = ? AND seq = ?;");
    if (!s) fail("cannot be written");
    sqlite3_bind_text(s.get(), 1, id.data(), static_cast<int>(id.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(s.get(), 2, seq);
    // A single statement is its own transaction.
    if (sqlite3_step(s.get()) != SQLITE_DONE) fail("cannot be written");
}

std::vector<Database::PendingClean> Database::pendingCleans() {
    std::vector<PendingClean> out;
    Statement s(db_, "SELECT id, operation, moving_info, moving_trashed, moving_dev, moving_ino FROM pending_cleans;");
    Statement moves(db_, "SELECT item, info, trashed, dev, ino FROM pending_moves WHERE clean_id = ? ORDER BY seq;");
    if (!s || !moves) fail("cannot be read");
    const auto text = [](const Statement& st, int col) {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), col));
        return std::string(t ? t : "", static_cast<std::size_t>(sqlite3_column_bytes(st.get(), col)));
    };
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        PendingClean p;
        const std::string id = text(s, 0);
        try {
            p.operation = decode<OperationDTO>(text(s, 1));
        } catch (const DecodeError&) {
            continue;
        }
        if (!p.operation.items) p.operation.items.emplace();
        // A clean recorded by an older engine keeps its items and its move
        // in flight in the one record.
        p.movingInfo = text(s, 2);
        p.movingTrashed = text(s, 3);
        p.movingDev = sqlite3_column_int64(s.get(), 4);
        p.movingIno = sqlite3_column_int64(s.get(), 5);
        sqlite3_reset(moves.get());
        sqlite3_bind_text(moves.get(), 1, id.data(), static_cast<int>(id.size()), SQLITE_TRANSIENT);
        int mrc;
        while ((mrc = sqlite3_step(moves.get())) == SQLITE_ROW) {
            try {
                p.operation.items->push_back(decode<CleanItemDTO>(text(moves, 0)));
            } catch (const DecodeError&) {
                continue;
            }
            p.movingInfo = text(moves, 1);
            p.movingTrashed = text(moves, 2);
            p.movingDev = sqlite3_column_int64(moves.get(), 3);
            p.movingIno = sqlite3_column_int64(moves.get(), 4);
        }
        if (mrc != SQLITE_DONE) fail("cannot be read");
        out.push_back(std::move(p));
    }
    if (rc != SQLITE_DONE) fail("cannot be read");
    return out;
}

std::optional<DashboardDTO> Database::lastDashboard() {
    Statement s(db_, "SELECT json FROM scan_cache WHERE id = 1;");
    if (!s) fail("cannot be read");
    const int rc = sqlite3_step(s.get());
    if (rc == SQLITE_DONE) return std::nullopt;
    if (rc != SQLITE_ROW) fail("cannot be read");
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0));
    const int n = sqlite3_column_bytes(s.get(), 0);
    try {
        return decode<DashboardDTO>(std::string_view(text ? text : "", static_cast<std::size_t>(n)));
    } catch (const DecodeError& e) {
        throw DatabaseError("database " + path_ + ": the stored scan cannot be read: " + e.what());
    }
}

std::vector<OperationDTO> Database::operations(std::int64_t limit) {
    std::vector<OperationDTO> out;
    Statement s(db_, "SELECT json FROM operations ORDER BY timestamp_unix DESC, rowid DESC LIMIT ?;");
    if (!s) fail("cannot be read");
    sqlite3_bind_int64(s.get(), 1, limit);
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0));
        const int n = sqlite3_column_bytes(s.get(), 0);
        try {
            out.push_back(decode<OperationDTO>(std::string_view(text ? text : "", static_cast<std::size_t>(n))));
        } catch (const DecodeError&) {
            // A damaged entry is left out; the others still count.
        }
    }
    if (rc != SQLITE_DONE) fail("cannot be read");
    return out;
}

std::string newUuid() {
    unsigned char b[16];
    bool filled = false;
    if (std::FILE* f = std::fopen("/dev/urandom", "rb")) {
        filled = std::fread(b, 1, sizeof b, f) == sizeof b;
        std::fclose(f);
    }
    if (!filled) {
        std::random_device rd;
        for (auto& c : b) c = static_cast<unsigned char>(rd());
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
    char out[37];
    std::snprintf(out, sizeof out, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0], b[1], b[2],
                  b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return out;
}

}  // namespace tidewell::engine
