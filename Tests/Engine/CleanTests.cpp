// The engine's clean, end to end: dry runs, moves to the Trash that trash
// tools read back, refusals, and the records it leaves.

#include "core/EngineRecords.h"

#include "EngineTestSupport.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <csignal>
#include <map>

using namespace tidewell;
using namespace enginetest;

namespace {

// Every entry below `root`: its kind and content (files), or its target (links).
// The engine's own data folder is left out.
void dropBelow(std::map<std::string, std::string>& snap, const std::string& folder);

std::map<std::string, std::string> snapshot(const std::string& root, const std::string& exclude = "") {
    static std::map<std::string, std::string>* out;
    std::map<std::string, std::string> result;
    out = &result;
    nftw(root.c_str(), [](const char* p, const struct stat* st, int type, FTW*) {
        std::string v;
        if (type == FTW_SL) {
            char buf[4096];
            const ssize_t n = readlink(p, buf, sizeof buf);
            v = "link:" + std::string(buf, n > 0 ? n : 0);
        } else if (S_ISDIR(st->st_mode)) {
            v = "dir";
        } else {
            const std::string content = readText(p);
            v = "file:" + std::to_string(content.size()) + ":" + std::to_string(std::hash<std::string>{}(content));
        }
        (*out)[p] = v;
        return 0;
    }, 16, FTW_PHYS);
    if (!exclude.empty()) dropBelow(result, exclude);
    return result;
}

// Removes the entries at or below `folder` from a snapshot.
void dropBelow(std::map<std::string, std::string>& snap, const std::string& folder) {
    for (auto it = snap.begin(); it != snap.end();)
        it = (it->first == folder || it->first.rfind(folder + "/", 0) == 0) ? snap.erase(it) : std::next(it);
}

class Clean : public ::testing::Test {
protected:
    TempDir tmp;
    std::string tree = tmp / "tree";
    EngineRunner engine{tmp / "sandbox"};
    std::string trash() const { return engine.data() + "/Trash"; }

    void SetUp() override { makeDirs(tree); }

    RunResult clean(const std::string& project, bool execute, bool caution = false) {
        std::vector<std::string> a = {"clean", "--project", project, "--json"};
        if (execute) a.push_back("--execute");
        if (caution) a.push_back("--caution");
        return engine.run(a);
    }
    CleanReportDTO cleanOk(const std::string& project, bool execute, bool caution = false) {
        const RunResult r = clean(project, execute, caution);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return decode<CleanReportDTO>(r.out);
    }
    std::vector<OperationDTO> log() {
        const RunResult r = engine.run({"log", "--limit", "50", "--json"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return decodeArray<OperationDTO>(r.out);
    }
    std::string trashList() {
        return runProgram({"trash-list"}, engine.env(), tmp.path()).out;
    }
    std::vector<std::string> itemPaths(const CleanReportDTO& r) {
        std::vector<std::string> out;
        for (const auto& i : r.items) out.push_back(i.path);
        return out;
    }
    void nodeProject(const std::string& p) {
        writeFile(p + "/package.json", 50);
        writeFile(p + "/src/index.js", 3000);
        writeFile(p + "/node_modules/dep/index.js", 20000);
        writeFile(p + "/node_modules/dep/package.json", 100);
        writeFile(p + "/.next/cache/page.html", 9000);
    }
};

}  // namespace

TEST_F(Clean, ADryRunMovesNothingAndIsRecorded) {
    nodeProject(tree + "/app");
    const auto before = snapshot(tmp.path(), engine.data());
    const CleanReportDTO r = cleanOk(tree + "/app", false);
    EXPECT_TRUE(r.dry_run);
    EXPECT_EQ(r.project_path, tree + "/app");
    EXPECT_EQ(itemPaths(r), (std::vector<std::string>{tree + "/app/node_modules", tree + "/app/.next"}));
    std::uint64_t sum = 0;
    for (const auto& i : r.items) {
        EXPECT_TRUE(i.success);
        EXPECT_FALSE(i.error.has_value());
        EXPECT_EQ(i.safetyClass, "safe");
        EXPECT_EQ(i.bytes, duBytes({i.path}, tmp.path()));
        sum += i.bytes;
    }
    EXPECT_EQ(r.bytes_reclaimed, sum);
    auto after = snapshot(tmp.path(), engine.data());
    EXPECT_EQ(after, before) << "nothing moved";
    EXPECT_FALSE(exists(trash()));
    const auto ops = log();
    ASSERT_EQ(ops.size(), 1u);
    EXPECT_EQ(ops[0].id, r.operation_id);
    EXPECT_TRUE(ops[0].dry_run);
    EXPECT_EQ(ops[0].bytes_reclaimed, sum);
    EXPECT_EQ(ops[0].items, r.items);
}

TEST_F(Clean, ExecuteMovesExactlyTheListedFoldersIntoTheTrash) {
    nodeProject(tree + "/app");
    nodeProject(tree + "/other");
    writeFile(tree + "/app/vendor/keep.txt", 10);  // not a node artifact
    auto before = snapshot(tmp.path(), engine.data());
    const auto moved = snapshot(tree + "/app/node_modules");

    const CleanReportDTO r = cleanOk(tree + "/app", true);
    EXPECT_FALSE(r.dry_run);
    ASSERT_EQ(r.items.size(), 2u);
    for (const auto& i : r.items) EXPECT_TRUE(i.success) << i.error.value_or("");

    // Everything outside the moved folders is untouched; nothing was deleted.
    dropBelow(before, tree + "/app/node_modules");
    dropBelow(before, tree + "/app/.next");
    auto after = snapshot(tmp.path(), engine.data());
    EXPECT_EQ(after, before);
    // The moved folder is whole in the Trash, with its information file.
    for (const auto& [path, value] : moved)
        EXPECT_EQ(snapshot(trash() + "/files/node_modules")[trash() + "/files/node_modules" + path.substr(tree.size() + 17)], value)
            << path;
    EXPECT_EQ(readText(trash() + "/info/node_modules.trashinfo").rfind("[Trash Info]\nPath=" + tree + "/app/node_modules\n", 0), 0u);
    const std::string listed = trashList();
    EXPECT_NE(listed.find(" " + tree + "/app/node_modules\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find(" " + tree + "/app/.next\n"), std::string::npos) << listed;

    const auto ops = log();
    ASSERT_EQ(ops.size(), 1u);
    EXPECT_FALSE(ops[0].dry_run);
    EXPECT_EQ(ops[0].bytes_reclaimed, r.bytes_reclaimed);
}

TEST_F(Clean, HostileNamesAreTrashedAndReadBack) {
    const std::string name = std::string("we ird 100%\nname\xff");
    const std::string project = tree + "/" + name;
    nodeProject(project);
    const CleanReportDTO r = cleanOk(project, true);
    ASSERT_EQ(r.items.size(), 2u);
    EXPECT_TRUE(r.items[0].success) << r.items[0].error.value_or("");
    EXPECT_FALSE(exists(project + "/node_modules"));
    EXPECT_TRUE(exists(trash() + "/files/node_modules/dep/index.js"));
    const std::string info = readText(trash() + "/info/node_modules.trashinfo");
    EXPECT_NE(info.find("Path=" + tree + "/we%20ird%20100%25%0Aname%FF/node_modules\n"), std::string::npos) << info;
    const std::string listed = trashList();
    EXPECT_NE(listed.find(tree + "/we ird 100%\nname"), std::string::npos) << listed;
    EXPECT_NE(listed.find("/node_modules\n"), std::string::npos) << listed;
}

TEST_F(Clean, CautionFoldersOnlyWhenAskedFor) {
    writeFile(tree + "/py/pyproject.toml");
    writeFile(tree + "/py/.venv/lib/site.py", 5000);
    writeFile(tree + "/py/__pycache__/m.pyc", 5000);
    CleanReportDTO r = cleanOk(tree + "/py", true);
    EXPECT_EQ(itemPaths(r), std::vector<std::string>{tree + "/py/__pycache__"});
    EXPECT_TRUE(exists(tree + "/py/.venv/lib/site.py"));
    r = cleanOk(tree + "/py", true, true);
    EXPECT_EQ(itemPaths(r), std::vector<std::string>{tree + "/py/.venv"});
    EXPECT_EQ(r.items[0].safetyClass, "caution");
    EXPECT_TRUE(r.items[0].success);
    EXPECT_FALSE(exists(tree + "/py/.venv"));
}

TEST_F(Clean, ProjectPathsThatAreNotRealProjectsAreRefused) {
    nodeProject(tree + "/app");
    writeFile(tree + "/plain/node_modules/x.js");
    symlink((tree + "/app").c_str(), (tree + "/linked").c_str());
    const auto before = snapshot(tmp.path(), engine.data());
    for (const std::string& p : {tree + "/linked", tree + "/missing", tree + "/plain", tree + "/app/package.json"}) {
        for (bool execute : {false, true}) {
            const RunResult r = clean(p, execute);
            EXPECT_EQ(r.exitCode, 1) << p;
            EXPECT_TRUE(r.out.empty()) << p;
            EXPECT_NE(r.err.find(p), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
    auto after = snapshot(tmp.path(), engine.data());
    EXPECT_EQ(after, before);
    EXPECT_TRUE(log().empty());
}

TEST_F(Clean, AnArtifactReplacedByALinkAfterTheScanIsRefused) {
    nodeProject(tree + "/app");
    writeFile(tree + "/precious/data.txt", 1234);
    const RunResult s = engine.scan({tree});
    ASSERT_EQ(s.exitCode, 0) << s.err;
    // Between scan and clean, node_modules becomes a link to someone's data.
    ASSERT_EQ(rename((tree + "/app/node_modules").c_str(), (tmp / "old_nm").c_str()), 0);
    symlink((tree + "/precious").c_str(), (tree + "/app/node_modules").c_str());
    // and .next becomes a link on the way to a real folder
    ASSERT_EQ(rename((tree + "/app/.next").c_str(), (tmp / "old_next").c_str()), 0);
    symlink((tree + "/precious").c_str(), (tree + "/app/.next").c_str());

    const CleanReportDTO r = cleanOk(tree + "/app", true);
    ASSERT_EQ(r.items.size(), 2u);
    for (const auto& i : r.items) {
        EXPECT_FALSE(i.success);
        EXPECT_TRUE(i.error.has_value());
    }
    EXPECT_EQ(r.bytes_reclaimed, 0u);
    EXPECT_EQ(readText(tree + "/precious/data.txt").size(), 1234u);
    struct stat st {};
    ASSERT_EQ(lstat((tree + "/app/node_modules").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_FALSE(exists(trash() + "/files/node_modules"));
}

TEST_F(Clean, ANameClashInTheTrashGetsANewName) {
    nodeProject(tree + "/a");
    nodeProject(tree + "/b");
    ASSERT_TRUE(cleanOk(tree + "/a", true).items.at(0).success);
    ASSERT_TRUE(cleanOk(tree + "/b", true).items.at(0).success);
    EXPECT_EQ(readText(trash() + "/files/node_modules/dep/index.js").size(), 20000u);
    EXPECT_TRUE(exists(trash() + "/files/node_modules.2/dep/index.js"));
    EXPECT_NE(readText(trash() + "/info/node_modules.2.trashinfo").find("Path=" + tree + "/b/node_modules\n"), std::string::npos);
    const std::string listed = trashList();
    EXPECT_NE(listed.find(tree + "/a/node_modules\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find(tree + "/b/node_modules\n"), std::string::npos) << listed;
}

TEST_F(Clean, LastShowsTheCleanAndTheHistoryIsReadableByTheApplication) {
    nodeProject(tree + "/app");
    nodeProject(tree + "/other");
    const RunResult s = engine.scan({tree});
    ASSERT_EQ(s.exitCode, 0) << s.err;
    const DashboardDTO before = decode<DashboardDTO>(s.out);
    cleanOk(tree + "/app", false);
    const CleanReportDTO r = cleanOk(tree + "/app", true);

    const DashboardDTO after = decode<DashboardDTO>(engine.run({"last", "--json"}).out);
    const auto app = std::find_if(after.projects.begin(), after.projects.end(), [&](auto& p) { return p.path == tree + "/app"; });
    ASSERT_NE(app, after.projects.end());
    EXPECT_TRUE(app->artifacts.empty());
    EXPECT_EQ(app->reclaimable_bytes, 0u);
    EXPECT_EQ(app->total_bytes, duBytes({tree + "/app"}, tmp.path()));
    EXPECT_EQ(after.reclaimable_bytes, before.reclaimable_bytes - r.bytes_reclaimed);
    EXPECT_EQ(after.total_bytes, before.total_bytes - r.bytes_reclaimed);

    // The application's own queries, through the sqlite3 shell, read-only.
    const RunResult shell = runProgram(
        {"/usr/bin/sqlite3", "-readonly", engine.db(), "SELECT json FROM operations ORDER BY timestamp_unix DESC LIMIT 50;"}, {},
        tmp.path());
    ASSERT_EQ(shell.exitCode, 0) << shell.err;
    std::vector<OperationDTO> ops;
    std::size_t pos = 0;
    while (pos < shell.out.size()) {
        const auto nl = shell.out.find('\n', pos);
        ops.push_back(decode<OperationDTO>(shell.out.substr(pos, nl - pos)));
        pos = nl + 1;
    }
    ASSERT_EQ(ops.size(), 2u);
    const auto engineLog = log();
    ASSERT_EQ(engineLog.size(), 2u);
    EXPECT_EQ(engineLog[0].id, r.operation_id) << "newest first";
    EXPECT_FALSE(engineLog[0].dry_run);
    EXPECT_TRUE(engineLog[1].dry_run);
    EXPECT_EQ(decodeArray<OperationDTO>(engine.run({"log", "--limit", "1", "--json"}).out).size(), 1u);
}

TEST_F(Clean, TerminationBeforeAnyMoveMovesAndRecordsNothing) {
    nodeProject(tree + "/app");
    const RunResult r = engine.run({"clean", "--project", tree + "/app", "--json", "--execute"}, true, /*sigtermFirst=*/true);
    EXPECT_EQ(r.signal, SIGTERM);
    EXPECT_TRUE(exists(tree + "/app/node_modules/dep/index.js"));
    EXPECT_TRUE(log().empty());
}

TEST_F(Clean, AFolderOnAnotherVolumeGoesToThatVolumesTrash) {
    const std::string vol = tmp / "vol";
    makeDirs(vol);
    if (mount("tmpfs", vol.c_str(), "tmpfs", 0, "size=8m") != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
    nodeProject(vol + "/app");
    const CleanReportDTO r = cleanOk(vol + "/app", true);
    const std::string volTrash = vol + "/.Trash-" + std::to_string(getuid());
    const bool moved = exists(volTrash + "/files/node_modules/dep/index.js");
    const std::string info = readText(volTrash + "/info/node_modules.trashinfo");
    struct stat st {};
    lstat(volTrash.c_str(), &st);
    umount2(vol.c_str(), MNT_DETACH);
    ASSERT_EQ(r.items.size(), 2u);
    EXPECT_TRUE(r.items[0].success) << r.items[0].error.value_or("");
    EXPECT_TRUE(moved);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_NE(info.find("Path=app/node_modules\n"), std::string::npos) << "relative to the volume's top: " << info;
    EXPECT_FALSE(exists(trash() + "/files/node_modules")) << "never copied to the home trash";
}
