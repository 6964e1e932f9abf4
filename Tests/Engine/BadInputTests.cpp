// Bad input gets a clear error and loses nothing.

#include "EngineTestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

using namespace tidewell;
using namespace enginetest;

namespace {
class BadInput : public ::testing::Test {
protected:
    TempDir t;
    EngineRunner engine{t / "sb"};
};
}  // namespace

TEST_F(BadInput, UsageErrorsExitTwoWithOneLine) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"scan", "--frobnicate"}, {"explode"}, {"log", "--limit"}, {"--rules"}, {"scan", "--max-depth", "deep"}, {}}) {
        const RunResult r = engine.run(args);
        EXPECT_EQ(r.exitCode, 2) << (args.empty() ? "" : args.back());
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    const RunResult help = engine.run({"--help"}, false);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("clean --project PATH"), std::string::npos);
}

TEST_F(BadInput, AMalformedRulesFileNamesItsLine) {
    writeText(t / "rules.yaml", "version: 1\nstacks:\n  - id: node\n    label: Node\n    markers: [package.json]\n    artifacts:\n"
                                "      - { path: node_modules, class: sometimes }\n");
    const RunResult r = engine.run({"--rules", t / "rules.yaml", "last", "--json"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    EXPECT_NE(r.err.find(t / "rules.yaml"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("line 7"), std::string::npos) << r.err;

    const RunResult missing = engine.run({"--rules", t / "none.yaml", "last", "--json"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("none.yaml"), std::string::npos);

    // A good rules file given explicitly is used.
    writeText(t / "good.yaml", "stacks:\n  - id: widget\n    label: Widget\n    markers: [widget.cfg]\n");
    writeFile(t / "tree/w/widget.cfg");
    writeFile(t / "tree/n/package.json");
    const RunResult scan = engine.run({"--rules", t / "good.yaml", "scan", "--json", "--root", t / "tree"});
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    const auto d = decode<DashboardDTO>(scan.out);
    ASSERT_EQ(d.project_count, 1);
    EXPECT_EQ(d.projects[0].types, std::vector<std::string>{"widget"});
    EXPECT_TRUE(d.global_caches.empty());
}

// Not a database, a database whose check finds damage, and one written by a
// newer engine: each is refused with one line and left exactly as it was.
TEST_F(BadInput, ADatabaseThatCannotBeTrustedIsRefusedAndNotOverwritten) {
    writeFile(t / "tree/a/package.json");
    writeFile(t / "tree/a/.next/page.html", 5000);
    ASSERT_EQ(engine.run({"clean", "--project", t / "tree/a", "--json"}).exitCode, 0);
    const std::string healthy = readText(engine.db());
    std::string damaged = healthy;
    damaged[39] = 5;  // the header counts five free pages; there are none
    std::string newer = healthy;
    newer[63] = 99;  // user_version, the schema version
    for (const auto& [content, why] : std::vector<std::pair<std::string, std::string>>{
             {"SQLite format 3" + std::string(8192, '\x5a'), "corrupt"}, {damaged, "corrupt"}, {newer, "newer engine"}}) {
        writeText(engine.db(), content);
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"last", "--json"}, {"log", "--limit", "5", "--json"}, {"scan", "--json", "--root", t / "tree"},
                 {"clean", "--project", t / "tree/a", "--json", "--execute"}}) {
            const RunResult r = engine.run(args);
            EXPECT_EQ(r.exitCode, 1) << args[0] << " " << why;
            EXPECT_EQ(lineCount(r.err), 1) << r.err;
            EXPECT_NE(r.err.find(engine.db()), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("not an error"), std::string::npos) << "SQLite's words where no call of SQLite's failed: " << r.err;
            EXPECT_TRUE(r.out.empty());
        }
        EXPECT_TRUE(readText(engine.db()) == content) << why;
        EXPECT_FALSE(exists(engine.db() + "-wal"));
    }
    EXPECT_TRUE(exists(t / "tree/a/.next/page.html"));
}

// A database that cannot be read while its disk has plenty of room: every
// command says that it cannot be read, and why, never that it is corrupt
// (which would invite deleting it) nor that the disk is full; and it is left
// as it was.
TEST_F(BadInput, ADatabaseThatCannotBeReadSaysSoNeverCorruptNorFull) {
    writeFiles(t.path(), {{"tree/a/package.json", 10}, {"tree/a/.next/page.html", 5000}});
    ASSERT_EQ(engine.run({"clean", "--project", t / "tree/a", "--json"}).exitCode, 0);
    const std::string healthy = readText(engine.db());
    runProgram({"chown", "-R", "65534:65534", t.path()}, {}, t.path());
    const std::vector<std::string> asNobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    // Another user's file, unreadable to this one.
    writeText(t / "theirs/db.sqlite", healthy);
    chmod((t / "theirs/db.sqlite").c_str(), 0600);
    // A folder this user cannot enter.
    writeText(t / "locked/db.sqlite", healthy);
    chmod((t / "locked").c_str(), 0700);
    // A folder in the database's place.
    makeDirs(t / "folder/db.sqlite");
    // A file whose every read fails with an I/O error.
    makeDirs(t / "eio");
    ASSERT_EQ(symlink("/proc/self/mem", (t / "eio/db.sqlite").c_str()), 0);
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {t / "theirs/db.sqlite", asNobody}, {t / "locked/db.sqlite", asNobody}, {t / "folder/db.sqlite", {}}, {t / "eio/db.sqlite", {}}};
    for (const auto& [db, prefix] : cases) {
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"last", "--json"}, {"log", "--limit", "5", "--json"}, {"scan", "--json", "--root", t / "tree"},
                 {"clean", "--project", t / "tree/a", "--json", "--execute"}}) {
            std::vector<std::string> command = {"--db", db};
            command.insert(command.end(), args.begin(), args.end());
            const RunResult r = engine.run(command, false, false, prefix);
            EXPECT_EQ(r.exitCode, 1) << db << " " << args[0];
            EXPECT_EQ(lineCount(r.err), 1) << r.err;
            EXPECT_NE(r.err.find("database " + db + " cannot be read: "), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("corrupt"), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("is full"), std::string::npos) << r.err;
            EXPECT_TRUE(r.out.empty());
        }
    }
    EXPECT_TRUE(readText(t / "theirs/db.sqlite") == healthy);
    EXPECT_TRUE(readText(t / "locked/db.sqlite") == healthy);
    EXPECT_TRUE(exists(t / "tree/a/.next/page.html"));
}

TEST_F(BadInput, AnEmptyDatabaseHasNoScanAndNoHistory) {
    // Without --db the database is the one in the data folder.
    const RunResult last = engine.run({"last", "--json"}, false);
    EXPECT_EQ(last.exitCode, 0) << last.err;
    EXPECT_EQ(last.out, "null\n");
    EXPECT_TRUE(exists(engine.db()));
    EXPECT_EQ(engine.run({"log", "--limit", "50", "--json"}).out, "[]\n");
}

// With no room left on its disk the database is healthy, and must not be
// called corrupt: that would invite deleting it.
TEST_F(BadInput, AFullDiskIsNotACorruptDatabase) {
    const std::string folder = engine.db().substr(0, engine.db().rfind('/'));
    const TmpfsMount mounted(folder, "512k");
    ASSERT_TRUE(mounted.mounted()) << "tests run as root";
    writeFiles(t.path(), {{"tree/a/package.json", 10}, {"tree/a/node_modules/x.js", 5000}});
    ASSERT_EQ(engine.run({"clean", "--project", t / "tree/a", "--json"}).exitCode, 0);
    runProgram({"dd", "if=/dev/zero", "of=" + folder + "/fill", "bs=4k"}, {}, t.path());
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"last", "--json"}, {"clean", "--project", t / "tree/a", "--json", "--execute"}}) {
        const RunResult r = engine.run(args);
        EXPECT_EQ(r.exitCode, 1) << args[0];
        EXPECT_EQ(r.err.find("corrupt"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("disk is full"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(exists(t / "tree/a/node_modules/x.js"));
    unlink((folder + "/fill").c_str());
    const RunResult log = engine.run({"log", "--limit", "5", "--json"});
    EXPECT_EQ(decodeArray<OperationDTO>(log.out).size(), 1u) << log.err;
}

// Commands started together before their database exists (the application's
// first scan beside a command in a terminal): each waits while another one
// creates it, reads it, switches it to its write-ahead log or migrates it,
// and every one of them works. Here the test itself has made the file and
// holds it, as the first one does, while they start.
TEST_F(BadInput, CommandsStartedTogetherOnANewDatabaseAllWork) {
    writeFiles(t.path(), {{"tree/a/package.json", 10}, {"tree/a/.next/page.html", 5000}});
    const char* bundle = std::getenv("TIDEWELL_BUNDLE");
    const std::string program = std::string(bundle ? bundle : "") + "/bin/tidewell-engine";
    const std::vector<std::vector<std::string>> commands = {
        {"last", "--json"}, {"log", "--limit", "5", "--json"}, {"scan", "--json", "--root", t / "tree"}, {"clean", "--project", t / "tree/a", "--json"}};
    for (int round = 0; round < 3; ++round) {
        const std::string folder = t / ("new" + std::to_string(round)), db = folder + "/tidewell.sqlite";
        makeDirs(folder);
        sqlite3* first = nullptr;
        ASSERT_EQ(sqlite3_open(db.c_str(), &first), SQLITE_OK);
        // Made, and being migrated: as the first command holds it for a moment.
        ASSERT_EQ(sqlite3_exec(first, "PRAGMA user_version=0; BEGIN IMMEDIATE;", nullptr, nullptr, nullptr), SQLITE_OK);
        int gate[2];
        ASSERT_EQ(pipe(gate), 0);
        std::vector<pid_t> children;
        for (std::size_t i = 0; i < commands.size(); ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                close(gate[1]);
                char c;
                (void)!read(gate[0], &c, 1);  // all start when the gate closes
                for (const auto& e : engine.env()) putenv(const_cast<char*>(e.c_str()));
                dup2(open("/dev/null", O_WRONLY), 1);
                dup2(open((folder + "/" + std::to_string(i) + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
                std::vector<std::string> args = {program, "--db", db};
                args.insert(args.end(), commands[i].begin(), commands[i].end());
                std::vector<char*> argv;
                for (auto& a : args) argv.push_back(a.data());
                argv.push_back(nullptr);
                execv(program.c_str(), argv.data());
                _exit(127);
            }
            children.push_back(pid);
        }
        close(gate[0]);
        close(gate[1]);
        // The commands meet the first one while it holds the file: it lets go
        // once each of them has the file open (or has ended already), and in
        // any case long before their own wait for it would give up.
        const auto meets = [&](pid_t pid) {
            siginfo_t info{};
            if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0) return true;
            std::error_code ec;
            const std::string proc = "/proc/" + std::to_string(pid);
            if (std::filesystem::read_symlink(proc + "/exe", ec) != std::filesystem::canonical(program, ec)) return false;
            for (const auto& entry : std::filesystem::directory_iterator(proc + "/fd", ec))
                if (std::filesystem::read_symlink(entry.path(), ec) == std::filesystem::canonical(db, ec)) return true;
            return false;
        };
        for (int i = 0; i < 200 && !std::all_of(children.begin(), children.end(), meets); ++i) usleep(10000);
        sqlite3_exec(first, "COMMIT;", nullptr, nullptr, nullptr);
        sqlite3_close(first);
        for (std::size_t i = 0; i < children.size(); ++i) {
            int status = 0;
            waitpid(children[i], &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                << commands[i][0] << " in round " << round << ": " << readText(folder + "/" + std::to_string(i) + ".err");
        }
        if (HasFailure()) break;
    }
}

// A database this user can read but not write (its file, or the filesystem
// it is on, is read-only) still answers `last` and `log`; what would write
// to it says that it cannot be written and why, and moves nothing. A
// database that a read-only filesystem keeps from being made says so.
TEST_F(BadInput, ADatabaseThatCannotBeWrittenAnswersLastAndLogAndSaysWhyItCannotBeWritten) {
    writeFiles(t.path(), {{"tree/a/package.json", 10}, {"tree/a/.next/page.html", 5000}});
    const std::string db = t / "db/tidewell.sqlite";
    ASSERT_EQ(engine.run({"--db", db, "scan", "--json", "--root", t / "tree"}, false).exitCode, 0);
    ASSERT_EQ(engine.run({"--db", db, "clean", "--project", t / "tree/a", "--json"}, false).exitCode, 0);
    // The lock file beside it, as a real clean leaves it (a dry run takes no lock).
    close(open((db + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    const std::string stored = engine.run({"--db", db, "last", "--json"}, false).out;
    const std::string history = engine.run({"--db", db, "log", "--limit", "5", "--json"}, false).out;
    ASSERT_EQ(decodeArray<OperationDTO>(history).size(), 1u);
    runProgram({"chown", "-R", "65534:65534", t / "tree"}, {}, t.path());
    const std::vector<std::string> asNobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    const auto holds = [&](const std::string& at, const std::vector<std::string>& prefix, const std::string& why) {
        SCOPED_TRACE(at + ", " + why);
        const auto command = [&](std::vector<std::string> args) {
            args.insert(args.begin(), {"--db", at});
            return engine.run(args, false, false, prefix);
        };
        const RunResult last = command({"last", "--json"}), log = command({"log", "--limit", "5", "--json"});
        EXPECT_EQ(last.exitCode, 0) << last.err;
        EXPECT_EQ(last.out, stored);
        EXPECT_EQ(log.exitCode, 0) << log.err;
        EXPECT_EQ(log.out, history);
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"scan", "--json", "--root", t / "tree"}, {"clean", "--project", t / "tree/a", "--json", "--execute"}}) {
            const RunResult r = command(args);
            EXPECT_EQ(r.exitCode, 1) << args[0];
            EXPECT_EQ(lineCount(r.err), 1) << r.err;
            EXPECT_NE(r.err.find("database " + at + " cannot be written: " + why), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("not an error"), std::string::npos) << r.err;
        }
        EXPECT_TRUE(exists(t / "tree/a/.next/page.html"));
        EXPECT_EQ(engine.run({"--db", at, "last", "--json"}, false).out, stored) << "left as it was";
    };
    // Another user's file in another user's folder, both open to read.
    chmod((t / "db").c_str(), 0755);
    holds(db, asNobody, "Permission denied");
    // The user's own file, read-only, in the user's own folder.
    runProgram({"cp", "-a", t / "db", t / "own"}, {}, t.path());
    runProgram({"chown", "-R", "65534:65534", t / "own"}, {}, t.path());
    chmod((t / "own/tidewell.sqlite").c_str(), 0444);
    holds(t / "own/tidewell.sqlite", asNobody, "Permission denied");
    // The user's own file, open to write, in another user's folder, where
    // SQLite cannot make the files it reads it with.
    makeDirs(t / "theirs");
    runProgram({"cp", db, db + ".lock", t / "theirs"}, {}, t.path());
    ASSERT_EQ(chown((t / "theirs/tidewell.sqlite").c_str(), 65534, 65534), 0);
    holds(t / "theirs/tidewell.sqlite", asNobody, "no file can be made in its folder: Permission denied");
    // A read-only filesystem, also under a database whose last writer ended
    // before it folded its write-ahead log into the file.
    const std::string waiting = t / "db/waiting.sqlite";
    runProgram({"cp", db, waiting}, {}, t.path());
    if (const pid_t writer = fork(); writer == 0) {
        sqlite3* w = nullptr;
        sqlite3_open(waiting.c_str(), &w);
        sqlite3_exec(w, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; UPDATE scan_cache SET scanned_at_unix = 1;", nullptr, nullptr,
                     nullptr);
        _exit(0);
    } else {
        waitpid(writer, nullptr, 0);
    }
    unlink((waiting + "-shm").c_str());
    ASSERT_TRUE(exists(waiting + "-wal"));
    const ReadOnlyBindMount readOnly(t / "db", t / "db");
    ASSERT_TRUE(readOnly.mounted()) << "tests run as root";
    holds(db, {}, "Read-only file system");
    const RunResult unread = engine.run({"--db", waiting, "last", "--json"}, false);
    EXPECT_EQ(unread.exitCode, 1);
    EXPECT_NE(unread.err.find("database " + waiting + " cannot be read: Read-only file system"), std::string::npos) << unread.err;
    for (const std::string& missing : {t / "db/none.sqlite", t / "db/sub/none.sqlite"}) {
        const RunResult r = engine.run({"--db", missing, "last", "--json"}, false);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("database " + missing + " cannot be created: Read-only file system"), std::string::npos) << r.err;
    }
}

// Run as root with a user's data folder, the engine never makes or writes a
// file where a link the user left there leads: a link at the lock file's or
// the database's name that leads nowhere, or any link among SQLite's own
// files beside the database, is refused in one line naming it, and nothing is
// made. A link the user made to their own database is their layout, and is
// followed; one to a file the link's owner does not own is not.
TEST_F(BadInput, ALinkInAUsersDataFolderNeverLeadsARunAsRootToWriteWhereItChooses) {
    writeFiles(t.path(), {{"tree/a/package.json", 10}, {"tree/a/.next/page.html", 5000}});
    const std::string db = engine.db(), chosen = t / "chosen";
    ASSERT_EQ(engine.run({"clean", "--project", t / "tree/a", "--json"}).exitCode, 0);
    unlink((db + ".lock").c_str());
    runProgram({"chown", "-R", "65534:65534", t / "sb"}, {}, t.path());
    const std::string users = t / "users.sqlite", roots = t / "roots.sqlite";
    runProgram({"cp", "-p", db, users}, {}, t.path());
    runProgram({"cp", db, roots}, {}, t.path());
    const std::string rootsHealthy = readText(roots);
    const std::vector<std::string> last = {"last", "--json"}, clean = {"clean", "--project", t / "tree/a", "--json", "--execute"};
    const std::string companion = ", and SQLite's own files beside a database are never reached through a link: remove it";
    struct Row {
        std::string link, to;
        std::vector<std::string> command;
        std::string said;  // empty: followed
    };
    const Row rows[] = {
        {db + ".lock", chosen, clean,
         "the clean lock " + db + ".lock is a symbolic link to " + chosen +
             "; a lock file is never opened or made through a link: remove the link, then clean again"},
        {db, chosen, last,
         "database " + db + " is a symbolic link to " + chosen +
             ", which does not exist; a database is never made through a link: remove the link, or put the database where it leads"},
        {db + "-wal", chosen, last, "database " + db + " cannot be opened: " + db + "-wal is a symbolic link to " + chosen + companion},
        {db + "-shm", chosen, last, "database " + db + " cannot be opened: " + db + "-shm is a symbolic link to " + chosen + companion},
        {db + "-journal", users, clean, "database " + db + " cannot be opened: " + db + "-journal is a symbolic link to " + users + companion},
        {db, roots, last,
         "database " + db + " is a symbolic link to " + roots +
             ", made by another user, who does not own that file; it is not followed: put the database itself in its place"},
        {db, users, {"log", "--limit", "5", "--json"}, ""},
    };
    const std::string aside = t / "aside.sqlite";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.link + " -> " + row.to);
        if (row.link == db) {
            ASSERT_EQ(rename(db.c_str(), aside.c_str()), 0);
        }
        ASSERT_EQ(symlink(row.to.c_str(), row.link.c_str()), 0);
        ASSERT_EQ(lchown(row.link.c_str(), 65534, 65534), 0);
        const RunResult r = engine.run(row.command);
        if (row.said.empty()) {
            EXPECT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(decodeArray<OperationDTO>(r.out).size(), 1u) << "the user's own database, through their link";
        } else {
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_EQ(r.err, "tidewell-engine: " + row.said + "\n");
            EXPECT_TRUE(r.out.empty());
        }
        EXPECT_FALSE(exists(chosen));
        EXPECT_FALSE(exists(chosen + "-wal") || exists(chosen + "-shm") || exists(chosen + ".lock"));
        EXPECT_TRUE(readText(roots) == rootsHealthy);
        EXPECT_TRUE(exists(t / "tree/a/.next/page.html"));
        unlink(row.link.c_str());
        if (row.link == db) {
            ASSERT_EQ(rename(aside.c_str(), db.c_str()), 0);
        }
    }
    // A link above it (the data folder reached through a link) is the user's
    // layout too, when it leads to a folder of theirs; one leading to a folder
    // its owner does not own is not followed, and nothing is made there.
    ASSERT_EQ(symlink((t / "sb/data").c_str(), (t / "linked").c_str()), 0);
    ASSERT_EQ(lchown((t / "linked").c_str(), 65534, 65534), 0);
    const RunResult above = engine.run({"--db", t / "linked/Tidewell/tidewell.sqlite", "log", "--limit", "5", "--json"}, false);
    EXPECT_EQ(above.exitCode, 0) << above.err;
    EXPECT_EQ(decodeArray<OperationDTO>(above.out).size(), 1u);
    // The same for the database's own folder.
    makeDirs(chosen);
    for (const auto& [lent, at] : {std::pair{t / "sb/data/Lent", "/Tidewell/tidewell.sqlite"}, std::pair{t / "sb/data/Own", "/tidewell.sqlite"}}) {
        ASSERT_EQ(symlink(chosen.c_str(), lent.c_str()), 0);
        ASSERT_EQ(lchown(lent.c_str(), 65534, 65534), 0);
        const RunResult through = engine.run({"--db", lent + at, "clean", "--project", t / "tree/a", "--json"}, false);
        EXPECT_EQ(through.exitCode, 1);
        EXPECT_EQ(through.err, "tidewell-engine: database " + lent + at + " cannot be opened: its folder " + lent + " is a symbolic link to " +
                                   chosen + ", made by another user, who does not own that folder; it is not followed: put the folder itself in its place\n");
        EXPECT_TRUE(std::filesystem::is_empty(chosen));
    }
}

// A run as root with a user's HOME, before that user's first run, makes the
// database's folder, the database, SQLite's files beside it and the clean
// lock as that user: the user's own runs can write them afterwards. It makes
// no trash there (it would be root's), nor the folders on its way: the scan
// offers nothing that only such a trash could take, and the preview fails
// the folder as the clean does.
TEST_F(BadInput, ARunAsRootWithAUsersHomeLeavesNothingOfRootsInTheirDataFolder) {
    writeFiles(t.path(), {{"tree/a/package.json", 10}, {"tree/a/.next/page.html", 5000}});
    runProgram({"chown", "-R", "65534:65534", engine.home(), engine.data(), t / "tree"}, {}, t.path());
    const RunResult scanned = engine.scan({t / "tree"});
    ASSERT_EQ(scanned.exitCode, 0) << scanned.err;
    const DashboardDTO d = decode<DashboardDTO>(scanned.out);
    ASSERT_EQ(d.projects.size(), 1u);
    EXPECT_TRUE(d.projects[0].artifacts.empty()) << "offered, though the clean would refuse it";
    const std::string refusal = " cannot be moved to the trash: the trash folder " + engine.data() +
                                "/Trash is not there, and a run as root makes none among another user's files";
    const RunResult held = engine.run({"clean", "--project", t / "tree/a", "--json"});
    ASSERT_EQ(held.exitCode, 0) << held.err;
    const CleanReportDTO preview = decode<CleanReportDTO>(held.out);
    ASSERT_EQ(preview.items.size(), 1u);
    EXPECT_FALSE(preview.items[0].success);
    EXPECT_EQ(preview.items[0].error.value_or(""), t / "tree/a/.next" + refusal + "; left in place");
    const RunResult moved = engine.run({"clean", "--project", t / "tree/a", "--json", "--execute"});
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(engine.data())) {
        struct stat st {};
        ASSERT_EQ(lstat(entry.path().c_str(), &st), 0);
        if (st.st_uid != 65534 || st.st_gid != 65534) entries.push_back(entry.path().string());
    }
    EXPECT_TRUE(entries.empty()) << "root's: " << testing::PrintToString(entries);
    EXPECT_TRUE(exists(engine.db()) && exists(engine.db() + ".lock"));
    EXPECT_NE(moved.out.find("the trash folder " + engine.data() + "/Trash is not there, and a run as root makes none"),
              std::string::npos)
        << moved.out << moved.err;
    EXPECT_FALSE(exists(engine.data() + "/Trash")) << "no trash of root's among the user's files";
    // Without XDG_DATA_HOME the trash lies in ~/.local/share, which is not made either.
    const RunResult fromHome = engine.run({"clean", "--project", t / "tree/a", "--json", "--execute"}, true, false, {"env", "XDG_DATA_HOME="});
    EXPECT_NE(fromHome.out.find("the trash folder " + engine.home() + "/.local/share/Trash is not there"), std::string::npos) << fromHome.out;
    EXPECT_FALSE(exists(engine.home() + "/.local")) << "made as root before the refusal";
    EXPECT_TRUE(exists(t / "tree/a/.next/page.html"));
    const RunResult own = engine.scan({t / "tree"}, 30, 8, {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    EXPECT_EQ(own.exitCode, 0) << "the user's own scan writes the database: " << own.err;
}
