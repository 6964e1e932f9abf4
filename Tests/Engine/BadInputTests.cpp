// Bad input gets a clear error and loses nothing.

#include "EngineTestSupport.h"

#include <gtest/gtest.h>

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
