#include "Database.h"

#include "Home.h"
#include "TrashMover.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "foundation/Files.h"

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
    // The whole text of each move's info file: a file at that name holding
    // anything else is not the engine's.
    "ALTER TABLE pending_moves ADD COLUMN info_text TEXT;",
};

// Makes the folders on the way to `folder`; a run as root with a user's HOME
// makes them as that user.
void mkdirs(const std::string& folder, int& error) {
    const auto owner = platform::ownerForNewEntry(folder);
    for (std::size_t i = 1; i <= folder.size(); ++i) {
        if (i != folder.size() && folder[i] != '/') continue;
        const std::string step = folder.substr(0, i);
        if (mkdir(step.c_str(), 0700) == 0) {
            if (owner && lchown(step.c_str(), owner->uid, owner->gid) != 0 && !error) error = errno;
        } else if (errno != EEXIST && !error) {
            error = errno;
        }
    }
}

std::int64_t clampToInt64(std::uint64_t v) { return v > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(v); }

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// "file:" URI of a path: every byte but unreserved ones and "/" as %XX, the
// encoding the Trash's Path= keys use too.
std::string fileUri(const std::string& path) { return "file:" + trashPathEncode(path); }

// How long a command waits for another one that holds the database.
constexpr int kBusyMs = 5000;

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

Database::~Database() { sqlite3_close(db_); }

void Database::open() {
    refuseFolderLinksLendingRights();
    int folderError = 0;
    mkdirs(folderOf(path_), folderError);
    openPath_ = pathToOpen(folderError);
    const int rc = sqlite3_open_v2(openPath_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | noFollow_, nullptr);
    if (rc != SQLITE_OK) fail(unusable());
    sqlite3_busy_timeout(db_, kBusyMs);
    sqlite3_extended_result_codes(db_, 1);
    if (sqlite3_db_readonly(db_, "main") == 1) return openForReading(access(openPath_.c_str(), W_OK) != 0 ? std::strerror(errno) : "it is read-only");
    // Reading the schema is the first access to the file's contents: a file
    // that is not a database fails here, before anything is written.
    const Check check = checkIntegrity();
    // A file this user may write in a folder they may not: SQLite cannot
    // make its companion files, so it is only read.
    if (check == Check::Failed && (sqlite3_extended_errcode(db_) & 0xff) == SQLITE_READONLY && access(folderOf(openPath_).c_str(), W_OK) != 0)
        return openForReading(std::string("no file can be made in its folder: ") + std::strerror(errno));
    if (check == Check::Failed) fail(unusable());
    if (check == Check::Damaged) fail("is corrupt", false);
    setWriteAheadLog();
    migrate();
}

// The folders on the way to the database are the user's layout, and links
// among them are followed (a data folder on another disk), but not one that
// lends rights: a link made by another user, not root, to a folder that user
// does not own, which a run as root meets where a user left it in their data
// folder. Through it, the database, its lock and SQLite's own files would be
// made where the link chooses.
void Database::refuseFolderLinksLendingRights() const {
    const std::string folder = folderOf(path_);
    for (std::size_t i = 1; i <= folder.size(); ++i) {
        if (i != folder.size() && folder[i] != '/') continue;
        const std::string step = folder.substr(0, i);
        struct stat link {}, to {};
        if (lstat(step.c_str(), &link) != 0 || !S_ISLNK(link.st_mode) || stat(step.c_str(), &to) != 0) continue;
        if (link.st_uid != geteuid() && link.st_uid != 0 && link.st_uid != to.st_uid)
            throw DatabaseError("database " + path_ + " cannot be opened: its folder " + step + " is a symbolic link to " + linkTarget(step) +
                                ", made by another user, who does not own that folder; it is not followed: put the folder itself in its place");
    }
}

// What SQLite is given to open, looked at first: SQLite follows a link at the
// database's name and makes the file where it leads, and a run as root with a
// user's data folder must never make or write a file that a link placed
// there chooses. So a new database is made here, never through a link; a
// link at its name that leads nowhere is refused; one that leads to a file is
// followed only when it lends no rights (it is this user's, or its file's
// owner's: a layout of the user's own); a link among SQLite's own files
// beside it is refused. SQLite then gets the path with every link resolved
// and is told to follow none, so a link put in its way after this look is
// refused too.
std::string Database::pathToOpen(int folderError) {
    const std::string folder = folderOf(path_);
    struct stat st {};
    const int found = lstat(path_.c_str(), &st) == 0 ? 0 : errno;
    std::optional<std::string> real;
    if (found == 0 && S_ISLNK(st.st_mode)) {
        const std::string target = linkTarget(path_);
        struct stat file {};
        if (stat(path_.c_str(), &file) != 0) {
            if (errno == ENOENT)
                throw DatabaseError("database " + path_ + " is a symbolic link to " + target +
                                    ", which does not exist; a database is never made through a link: remove the link, or put the database where it leads");
            throw DatabaseError("database " + path_ + " is a symbolic link to " + target + ", which cannot be followed: " + std::strerror(errno));
        }
        if (st.st_uid != geteuid() && st.st_uid != file.st_uid)
            throw DatabaseError("database " + path_ + " is a symbolic link to " + target +
                                ", made by another user, who does not own that file; it is not followed: put the database itself in its place");
        real = realPath(path_);
    } else {
        if (found == ENOENT) {
            const auto owner = platform::ownerForNewEntry(path_);
            const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            const int e = errno;
            // Made as the home's owner, SQLite's own files beside it follow
            // (SQLite run as root gives them the database's owner).
            if (fd >= 0 && owner) (void)fchown(fd, owner->uid, owner->gid);
            if (fd >= 0) close(fd);
            // Not there and not made: the reason is the folder's (a read-only
            // filesystem, say), never that the file does not exist.
            else if (e != EEXIST) throw DatabaseError("database " + path_ + " cannot be created: " + std::strerror(e == ENOENT && folderError ? folderError : e));
        }
        if (const auto realFolder = realPath(folder)) real = joinPath(*realFolder, path_.substr(path_.rfind('/') + 1));
    }
    noFollow_ = real ? SQLITE_OPEN_NOFOLLOW : 0;
    const std::string opened = real.value_or(path_);
    for (const char* companion : {"-wal", "-shm", "-journal"}) {
        const std::string c = opened + companion;
        if (lstat(c.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            throw DatabaseError("database " + path_ + " cannot be opened: " + c + " is a symbolic link to " + linkTarget(c) +
                                ", and SQLite's own files beside a database are never reached through a link: remove it");
    }
    return opened;
}

// A database this user cannot write is read as it is, and never migrated.
// Without write access to its folder, SQLite cannot make the shared-memory
// index of a write-ahead log, and refuses to read; with no log waiting to be
// read, the file alone holds everything, and is read as unchanging.
void Database::openForReading(const std::string& why) {
    readOnlyWhy_ = why;
    const auto readable = [&] {
        const Check check = checkIntegrity();
        if (check == Check::Damaged) fail("is corrupt", false);
        return check == Check::Ok;
    };
    if (!readable()) {
        const int code = sqlite3_extended_errcode(db_) & 0xff;
        struct stat wal {};
        const bool logWaiting = stat((openPath_ + "-wal").c_str(), &wal) == 0 && wal.st_size > 0;
        if (code != SQLITE_READONLY && code != SQLITE_CANTOPEN) fail(unusable());
        if (logWaiting)
            throw DatabaseError("database " + path_ + " cannot be read: " + readOnlyWhy_ + " (the changes waiting in " + openPath_ +
                                "-wal are read through a file made beside it)");
        sqlite3_close(db_);
        db_ = nullptr;
        if (sqlite3_open_v2((fileUri(openPath_) + "?immutable=1").c_str(), &db_,
                            SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX | noFollow_, nullptr) != SQLITE_OK)
            fail(unusable());
        sqlite3_extended_result_codes(db_, 1);
        if (!readable()) fail(unusable());
    }
    schema_ = readSchemaVersion();
    if (schema_ > kSchemaVersion)
        throw DatabaseError("database " + path_ + " was written by a newer engine (schema " + std::to_string(schema_) + ")");
}

Database::Check Database::checkIntegrity() {
    sqlite3_stmt* stmt = nullptr;
    Check check = Check::Failed;
    if (sqlite3_prepare_v2(db_, "PRAGMA quick_check(1);", -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        check = text && std::strcmp(text, "ok") == 0 ? Check::Ok : Check::Damaged;
    }
    sqlite3_finalize(stmt);
    return check;
}

void Database::fail(const std::string& what, bool sqliteFailed) {
    std::string msg = "database " + path_ + " " + what;
    if (what == "cannot be written" && !readOnlyWhy_.empty()) msg += ": " + readOnlyWhy_;
    if (db_ && sqliteFailed) msg += std::string(" (") + sqlite3_errmsg(db_) + ")";
    if (const auto room = fullDisk()) msg += ": its disk is full (" + std::to_string(*room) + " bytes free); free some space and try again";
    throw DatabaseError(msg);
}

void Database::ensureWritable() {
    if (!readOnlyWhy_.empty()) fail("cannot be written", false);
}

// A read that fails is told as one, whatever SQLite's code: on a database
// opened for reading, a write already fails at its start, telling why.
void Database::failAccess() { fail(writing_ ? "cannot be written" : "cannot be read"); }

// SQLite reports a disk without room as an I/O error at times (when it
// cannot grow its shared-memory file, say): a full disk must never read as
// a damaged database, which would invite deleting a healthy one.
// A file that cannot be read is said to be so, with the system's reason:
// never corrupt (which would invite deleting it) and never full.
std::string Database::unusable() const {
    const int code = db_ ? sqlite3_extended_errcode(db_) & 0xff : SQLITE_CANTOPEN;
    if (fullDisk()) return "cannot be used";
    if (code == SQLITE_CORRUPT || code == SQLITE_NOTADB) return "is corrupt or not a database";
    if (db_ && sqlite3_extended_errcode(db_) == SQLITE_CANTOPEN_SYMLINK) return "cannot be opened: a symbolic link was put on its way while it was opened";
    const int e = db_ ? sqlite3_system_errno(db_) : 0;
    const std::string why = e ? ": " + std::string(std::strerror(e)) : "";
    if (code == SQLITE_IOERR || code == SQLITE_CANTOPEN || code == SQLITE_PERM) return "cannot be read" + why;
    return "cannot be opened" + why;
}

// The free bytes of the database's disk when they are too few for SQLite
// to work (its journal and shared memory need a few pages), else nothing.
std::optional<std::uint64_t> Database::fullDisk() const {
    if (!db_) return std::nullopt;
    const int code = sqlite3_extended_errcode(db_) & 0xff;
    if (code != SQLITE_FULL && code != SQLITE_IOERR) return std::nullopt;
    struct statvfs vfs {};
    if (statvfs(folderOf(path_).c_str(), &vfs) != 0) return std::nullopt;
    const std::uint64_t room = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    constexpr std::uint64_t kTooLittle = 1u << 20;
    if (code != SQLITE_FULL && room >= kTooLittle) return std::nullopt;
    return room;
}

void Database::exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail("cannot be written");
}

// Switching to the write-ahead log takes the whole file for a moment, and
// SQLite does not wait for that lock itself: a command that opens a new
// database while another one does waits here as for any other lock.
void Database::setWriteAheadLog() {
    for (int waited = 0;; waited += 10) {
        const int rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL;", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) return;
        if ((rc & 0xff) != SQLITE_BUSY || waited >= kBusyMs) fail("cannot be written");
        sqlite3_sleep(10);
    }
}

int Database::readSchemaVersion() {
    Query s(*this, "PRAGMA user_version;");
    if (!s.next()) fail("cannot be read", false);
    return static_cast<int>(s.int64(0));
}

void Database::migrate() {
    schema_ = readSchemaVersion();
    if (schema_ > kSchemaVersion)
        throw DatabaseError("database " + path_ + " was written by a newer engine (schema " + std::to_string(schema_) + ")");
    if (schema_ == kSchemaVersion) return;
    // Read again under the lock: another command may have migrated meanwhile.
    write([&] {
        for (schema_ = readSchemaVersion(); schema_ < kSchemaVersion; ++schema_) {
            exec(kMigrations[schema_]);
            exec(("PRAGMA user_version=" + std::to_string(schema_ + 1) + ";").c_str());
        }
    });
}

void Database::begin() {
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr) != SQLITE_OK) fail("cannot be written");
    writing_ = true;
}

void Database::commit() {
    if (sqlite3_exec(db_, "COMMIT;", nullptr, nullptr, nullptr) == SQLITE_OK) {
        writing_ = false;
        return;
    }
    // The message is made before the rollback replaces SQLite's error.
    try {
        fail("cannot be written");
    } catch (...) {
        rollback();
        throw;
    }
}

void Database::rollback() {
    sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
    writing_ = false;
}

Database::Query::Query(Database& db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db.db_, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        db_.failAccess();
    }
}

Database::Query::~Query() { sqlite3_finalize(stmt_); }

Database::Query& Database::Query::bind(int index, std::string_view text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Database::Query& Database::Query::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
}

Database::Query& Database::Query::bindNull(int index) {
    sqlite3_bind_null(stmt_, index);
    return *this;
}

bool Database::Query::next() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) db_.failAccess();
    sqlite3_reset(stmt_);
    return false;
}

void Database::Query::run() {
    while (next()) {
    }
}

std::string Database::Query::text(int column) const {
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return std::string(t ? t : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

std::int64_t Database::Query::int64(int column) const { return sqlite3_column_int64(stmt_, column); }

bool Database::Query::isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

void Database::writeDashboard(const DashboardDTO& d) {
    Query(*this, "INSERT OR REPLACE INTO scan_cache (id, scanned_at_unix, json) VALUES (1, ?, ?);")
        .bind(1, d.scanned_at_unix)
        .bind(2, encode(d))
        .run();
}

void Database::insertOperation(const OperationDTO& op) {
    Query q(*this,
            "INSERT INTO operations (id, timestamp_unix, project_path, dry_run, bytes_reclaimed, json) "
            "VALUES (?, ?, ?, ?, ?, ?);");
    q.bind(1, op.id).bind(2, op.timestamp_unix);
    if (op.project_path) q.bind(3, *op.project_path);
    else q.bindNull(3);
    q.bind(4, std::int64_t{op.dry_run ? 1 : 0}).bind(5, clampToInt64(op.bytes_reclaimed)).bind(6, encode(op)).run();
}

std::int64_t Database::lastOperationRow() {
    if (schema_ == 0) return 0;
    Query q(*this, "SELECT COALESCE(MAX(rowid), 0) FROM operations;");
    return q.next() ? q.int64(0) : 0;
}

std::optional<DashboardDTO> Database::lastDashboard() {
    if (schema_ == 0) return std::nullopt;  // an empty file read as it is
    Query s(*this, "SELECT json FROM scan_cache WHERE id = 1;");
    if (!s.next()) return std::nullopt;
    try {
        return decode<DashboardDTO>(s.text(0));
    } catch (const DecodeError& e) {
        throw DatabaseError("database " + path_ + ": the stored scan cannot be read: " + e.what());
    }
}

std::vector<OperationDTO> Database::operations(std::int64_t limit) {
    std::vector<OperationDTO> out;
    if (schema_ == 0) return out;
    Query s(*this, "SELECT json FROM operations ORDER BY timestamp_unix DESC, rowid DESC LIMIT ?;");
    s.bind(1, limit);
    while (s.next()) {
        try {
            out.push_back(decode<OperationDTO>(s.text(0)));
        } catch (const DecodeError&) {
            // A damaged entry is left out; the others still count.
        }
    }
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
