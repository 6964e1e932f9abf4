// The engine's clean, end to end: dry runs, moves to the Trash that trash
// tools read back, refusals, and the records it leaves.

#include "EngineTestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>

using namespace tidewell;
using namespace enginetest;

namespace {

using Snapshot = std::map<std::string, std::string>;

// Every entry below `root`, keyed by its path relative to `root`: a folder, a
// link's target, or a file's content. Links are never followed.
Snapshot snapshot(const std::string& root) {
    Snapshot s;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        const std::string rel = e.path().string().substr(root.size() + 1);
        s[rel] = e.is_symlink()     ? "link:" + std::filesystem::read_symlink(e.path()).string()
                 : e.is_directory() ? "dir"
                                    : "file:" + readText(e.path());
    }
    return s;
}

// Removes the entries at or below `folder` from a snapshot.
void dropBelow(Snapshot& snap, const std::string& folder) {
    std::erase_if(snap, [&](const auto& e) { return e.first == folder || e.first.rfind(folder + "/", 0) == 0; });
}

class Clean : public ::testing::Test {
protected:
    TempDir tmp;
    std::string tree = tmp / "tree";
    EngineRunner engine{tmp / "sandbox"};
    std::string trash() const { return engine.data() + "/Trash"; }

    void SetUp() override { makeDirs(tree); }

    // As the application asks: Caution folders included.
    RunResult clean(const std::string& project, bool execute, bool caution = true) {
        std::vector<std::string> a = {"clean", "--project", project, "--json"};
        if (execute) a.push_back("--execute");
        if (caution) a.push_back("--caution");
        return engine.run(a);
    }
    CleanReportDTO cleanOk(const std::string& project, bool execute, bool caution = true) {
        const RunResult r = clean(project, execute, caution);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return decode<CleanReportDTO>(r.out);
    }
    std::vector<OperationDTO> log(int limit = 50) {
        const RunResult r = engine.run({"log", "--limit", std::to_string(limit), "--json"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return decodeArray<OperationDTO>(r.out);
    }
    std::string sqlite(const std::string& query) {
        const RunResult r = runProgram({"/usr/bin/sqlite3", "-readonly", engine.db(), query}, {}, tmp.path());
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    }
    std::string trashList() { return runProgram({"trash-list"}, engine.env(), tmp.path()).out; }
    // Everything in the test's folder but the engine's own data (and Trash).
    Snapshot everything() {
        Snapshot s = snapshot(tmp.path());
        dropBelow(s, "sandbox/data");
        return s;
    }
    static std::vector<std::string> itemPaths(const CleanReportDTO& r) {
        std::vector<std::string> out;
        for (const auto& i : r.items) out.push_back(i.path);
        return out;
    }
    void nodeProject(const std::string& p) {
        writeFiles(p, {{"package.json", 50}, {"src/index.js", 3000}, {"node_modules/dep/index.js", 20000},
                       {"node_modules/dep/package.json", 100}, {".next/cache/page.html", 9000}});
    }
};

}  // namespace

TEST_F(Clean, ADryRunMovesNothingAndIsRecorded) {
    nodeProject(tree + "/app");
    const Snapshot before = everything();
    const CleanReportDTO r = cleanOk(tree + "/app", false);
    EXPECT_TRUE(r.dry_run);
    EXPECT_EQ(r.project_path, tree + "/app");
    EXPECT_EQ(itemPaths(r), (std::vector<std::string>{tree + "/app/node_modules", tree + "/app/.next"}));
    std::uint64_t sum = 0;
    EXPECT_EQ(r.items[0].safetyClass, "caution") << "dependencies a reinstall brings back";
    EXPECT_EQ(r.items[1].safetyClass, "safe") << "build output";
    for (const auto& i : r.items) {
        EXPECT_TRUE(i.success && !i.error) << i.path;
        EXPECT_EQ(i.bytes, duBytes({i.path}, tmp.path()));
        sum += i.bytes;
    }
    EXPECT_EQ(r.bytes_reclaimed, sum);
    EXPECT_EQ(everything(), before) << "nothing moved";
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
    Snapshot before = everything();
    const Snapshot moved = snapshot(tree + "/app/node_modules");

    const CleanReportDTO r = cleanOk(tree + "/app", true);
    EXPECT_FALSE(r.dry_run);
    ASSERT_EQ(r.items.size(), 2u);
    for (const auto& i : r.items) EXPECT_TRUE(i.success) << i.error.value_or("");
    // Everything outside the moved folders is untouched; nothing was deleted.
    dropBelow(before, "tree/app/node_modules");
    dropBelow(before, "tree/app/.next");
    EXPECT_EQ(everything(), before);
    // The moved folder is whole in the Trash, with its information file.
    EXPECT_EQ(snapshot(trash() + "/files/node_modules"), moved);
    EXPECT_EQ(readText(trash() + "/info/node_modules.trashinfo").rfind("[Trash Info]\nPath=" + tree + "/app/node_modules\n", 0), 0u);
    const std::string listed = trashList();
    EXPECT_NE(listed.find(" " + tree + "/app/node_modules\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find(" " + tree + "/app/.next\n"), std::string::npos) << listed;
}

TEST_F(Clean, HostileNamesAreTrashedAndReadBack) {
    const std::string project = tree + "/we ird 100%\nname";
    nodeProject(project);
    const CleanReportDTO r = cleanOk(project, true);
    ASSERT_EQ(r.items.size(), 2u);
    EXPECT_TRUE(r.items[0].success) << r.items[0].error.value_or("");
    EXPECT_FALSE(exists(project + "/node_modules"));
    EXPECT_TRUE(exists(trash() + "/files/node_modules/dep/index.js"));
    const std::string info = readText(trash() + "/info/node_modules.trashinfo");
    EXPECT_NE(info.find("Path=" + tree + "/we%20ird%20100%25%0Aname/node_modules\n"), std::string::npos) << info;
    const std::string listed = trashList();
    EXPECT_NE(listed.find(tree + "/we ird 100%\nname"), std::string::npos) << listed;
    EXPECT_NE(listed.find("/node_modules\n"), std::string::npos) << listed;
}

TEST_F(Clean, WithTheConfirmedFoldersOnlyThoseMove) {
    nodeProject(tree + "/app");
    writeFile(tree + "/app/.turbo/log", 100);
    const CleanReportDTO preview = cleanOk(tree + "/app", false);
    ASSERT_EQ(itemPaths(preview), (std::vector<std::string>{tree + "/app/node_modules", tree + "/app/.next", tree + "/app/.turbo"}));
    writeFile(tree + "/app/.nuxt/made-after-the-preview", 100);
    const std::string gone = tree + "/app/.turbo";
    ASSERT_EQ(rename(gone.c_str(), (tmp / "turbo").c_str()), 0);
    const RunResult r = engine.run({"clean", "--project", tree + "/app", "--json", "--caution", "--execute", "--artifact", tree + "/app/.next",
                                    "--artifact", gone, "--artifact", tree + "/app/node_modules"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const CleanReportDTO done = decode<CleanReportDTO>(r.out);
    EXPECT_EQ(itemPaths(done), (std::vector<std::string>{tree + "/app/node_modules", tree + "/app/.next", gone}));
    EXPECT_TRUE(done.items[0].success && done.items[1].success);
    EXPECT_FALSE(done.items[2].success);
    EXPECT_EQ(done.items[2].error, gone + " is gone: it was moved or deleted since the preview");
    EXPECT_TRUE(exists(tree + "/app/.nuxt/made-after-the-preview")) << "not in the preview: waits for the next one";
    EXPECT_EQ(done.bytes_reclaimed, done.items[0].bytes + done.items[1].bytes);
    // One that another clean moved since the preview went to the Trash: it is told so, not as left in place.
    nodeProject(tree + "/c");
    ASSERT_EQ(cleanOk(tree + "/c", false).items.size(), 2u);
    const std::string next = tree + "/c/.next";
    ASSERT_EQ(engine.run({"clean", "--project", tree + "/c", "--json", "--execute", "--artifact", next}).exitCode, 0);
    const RunResult again = engine.run({"clean", "--project", tree + "/c", "--json", "--execute", "--artifact", next});
    EXPECT_EQ(decode<CleanReportDTO>(again.out).items.at(0).error, next + " was moved to the Trash by another clean");
    // A Caution folder asked for without Caution folders stays, and says why.
    nodeProject(tree + "/b");
    const RunResult b = engine.run({"clean", "--project", tree + "/b", "--json", "--execute", "--artifact", tree + "/b/node_modules"});
    const CleanReportDTO noCaution = decode<CleanReportDTO>(b.out);
    ASSERT_EQ(noCaution.items.size(), 1u);
    EXPECT_FALSE(noCaution.items[0].success);
    EXPECT_NE(noCaution.items[0].error.value_or("").find("Caution"), std::string::npos);
    EXPECT_TRUE(exists(tree + "/b/node_modules/dep/index.js"));
    EXPECT_TRUE(exists(tree + "/b/.next/cache/page.html"));
}

TEST_F(Clean, CautionFoldersOnlyWhenAskedFor) {
    writeFiles(tree, {{"py/pyproject.toml", 10}, {"py/.venv/pyvenv.cfg", 50}, {"py/.venv/lib/site.py", 5000}, {"py/__pycache__/m.pyc", 5000}});
    EXPECT_EQ(itemPaths(cleanOk(tree + "/py", true, false)), std::vector<std::string>{tree + "/py/__pycache__"});
    EXPECT_TRUE(exists(tree + "/py/.venv/lib/site.py"));
    const CleanReportDTO r = cleanOk(tree + "/py", true, true);
    EXPECT_EQ(itemPaths(r), std::vector<std::string>{tree + "/py/.venv"});
    EXPECT_EQ(r.items[0].safetyClass, "caution");
    EXPECT_TRUE(r.items[0].success);
    EXPECT_FALSE(exists(tree + "/py/.venv"));
}

TEST_F(Clean, ProjectPathsThatAreNotRealProjectsAreRefused) {
    nodeProject(tree + "/app");
    writeFile(tree + "/plain/node_modules/x.js");
    symlink((tree + "/app").c_str(), (tree + "/linked").c_str());
    symlink((tree + "/app/package.json").c_str(), (tree + "/to-file").c_str());
    symlink((tree + "/missing").c_str(), (tree + "/nowhere").c_str());
    symlink("loop", (tree + "/loop").c_str());
    symlink(tree.c_str(), (tmp / "via").c_str());
    writeFiles(tree, {{"cm/CMakeLists.txt", 10}, {"cm/lib/CMakeLists.txt", 10}, {"cm/lib/build/x.o", 10}});
    const Snapshot before = everything();
    // Also what a scan never offers: a package inside another project's
    // artifact, a CMake subfolder.
    for (const std::string& p : {tree + "/missing", tree + "/nowhere", tree + "/loop", tree + "/plain", tree + "/app/package.json",
                                 tree + "/to-file", tree + "/app/node_modules/dep", tree + "/cm/lib"}) {
        for (bool execute : {false, true}) {
            const RunResult r = clean(p, execute);
            EXPECT_EQ(r.exitCode, 1) << p;
            EXPECT_TRUE(r.out.empty()) << p;
            EXPECT_NE(r.err.find(p), std::string::npos) << r.err;
            EXPECT_EQ(lineCount(r.err), 1) << r.err;
        }
    }
    EXPECT_EQ(everything(), before);
    EXPECT_TRUE(log().empty());
    // A link on the way to a project, or one that is the project's own name
    // (a scan folder that is a link), is the user's layout: the project is
    // cleaned by the path it was offered by.
    for (const std::string& p : {tmp / "via/app", tree + "/linked"}) {
        const CleanReportDTO viaLink = cleanOk(p, false);
        EXPECT_EQ(itemPaths(viaLink), (std::vector<std::string>{p + "/node_modules", p + "/.next"}));
        for (const auto& i : viaLink.items) EXPECT_TRUE(i.success) << i.error.value_or("");
    }
}

// A project inside a folder that the rules name anywhere in a project around
// it (a __pycache__) lies inside that project's artifact, which a clean of it
// would move: refused, naming the nearest project around it that claims it.
TEST_F(Clean, AProjectInsideAFolderNamedAnywhereInAProjectAroundItIsRefused) {
    const std::string outer = tree + "/outer", mid = outer + "/a/__pycache__/mid";
    writeFiles(outer, {{"pyproject.toml", 10}, {"pkg/__pycache__/inner/pyproject.toml", 10},
                       {"pkg/__pycache__/inner/__pycache__/m.pyc", 100}, {"a/__pycache__/mid/setup.py", 10},
                       {"a/__pycache__/mid/b/__pycache__/deep/requirements.txt", 10},
                       {"a/__pycache__/mid/b/__pycache__/deep/__pycache__/m.pyc", 100}});
    const Snapshot before = everything();
    for (const auto& [project, around] : {std::pair{outer + "/pkg/__pycache__/inner", outer},
                                          std::pair{mid + "/b/__pycache__/deep", mid}}) {
        for (bool execute : {false, true}) {
            const RunResult r = clean(project, execute);
            EXPECT_EQ(r.exitCode, 1) << project;
            EXPECT_EQ(r.err, "tidewell-engine: project path " + project + " lies inside an artifact folder of the project " + around + "\n");
        }
    }
    EXPECT_EQ(everything(), before);
    EXPECT_TRUE(log().empty());
}

// A folder of the project around a nested one that is pinned or in use (a
// process works there, or it changed today) stays with that nested project:
// neither the scan offers it nor the clean moves it, even when asked for.
TEST_F(Clean, AnArtifactInsideAPinnedOrActiveNestedProjectStays) {
    const std::string py = tree + "/py", rn = tree + "/rn";
    writeFiles(py, {{"requirements.txt", 10}, {"__pycache__/a.pyc", 3000}, {"idle/package.json", 10}, {"idle/__pycache__/i.pyc", 3000},
                    {"kept/package.json", 10}, {"kept/.tidewell-keep", 0}, {"kept/tools/__pycache__/k.pyc", 3000},
                    {"busy/package.json", 10}, {"busy/__pycache__/b.pyc", 3000}, {"fresh/package.json", 10}, {"fresh/__pycache__/f.pyc", 3000}});
    writeFiles(rn, {{"package.json", 10}, {"metro.config.js", 10}, {"ios/build/out.bin", 3000}, {"android/settings.gradle", 10},
                    {"android/app/src/main/AndroidManifest.xml", 10}, {"android/.tidewell-keep", 0}, {"android/build/out.bin", 3000}});
    const std::string old = "@" + std::to_string(time(nullptr) - 100 * 86400);
    runProgram({"find", tree, "-exec", "touch", "-h", "-d", old, "{}", "+"}, {}, tmp.path());
    writeFile(py + "/fresh/index.js", 10);
    // A process working in "busy", waited for until it is sleep, after its chdir.
    const pid_t child = fork();
    if (child == 0) {
        if (chdir((py + "/busy").c_str()) == 0) execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 2000 && readText("/proc/" + std::to_string(child) + "/comm") != "sleep\n"; ++i) usleep(5000);
    const DashboardDTO d = decode<DashboardDTO>(engine.scan({tree}).out);
    std::map<std::string, std::vector<std::string>> offered;
    for (const auto& p : d.projects)
        for (const auto& a : p.artifacts) offered[p.path].push_back(a.relative_path);
    for (auto& [project, folders] : offered) std::sort(folders.begin(), folders.end());
    const std::vector<std::string> kept = {py + "/kept/tools/__pycache__", py + "/busy/__pycache__", py + "/fresh/__pycache__", rn + "/android/build"};
    EXPECT_EQ(offered[py], (std::vector<std::string>{"__pycache__", "idle/__pycache__"}));
    EXPECT_EQ(offered[rn], std::vector<std::string>{"ios/build"});
    EXPECT_EQ(itemPaths(cleanOk(py, false)), (std::vector<std::string>{py + "/__pycache__", py + "/idle/__pycache__"}));
    EXPECT_EQ(itemPaths(cleanOk(rn, false)), std::vector<std::string>{rn + "/ios/build"});
    for (const auto& path : kept) {
        const std::string project = path.substr(0, path.find('/', tree.size() + 1));
        const RunResult r = engine.run({"clean", "--project", project, "--json", "--execute", "--artifact", path});
        const CleanReportDTO report = decode<CleanReportDTO>(r.out);
        ASSERT_EQ(report.items.size(), 1u) << path;
        EXPECT_FALSE(report.items[0].success) << path;
        EXPECT_EQ(report.items[0].error.value_or("").rfind(path + " lies inside the project ", 0), 0u) << report.items[0].error.value_or("");
        EXPECT_TRUE(exists(path)) << path;
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

TEST_F(Clean, AnArtifactReplacedByALinkAfterTheScanIsRefused) {
    nodeProject(tree + "/app");
    writeFile(tree + "/precious/data.txt", 1234);
    ASSERT_EQ(engine.scan({tree}).exitCode, 0);
    // Between scan and clean, both artifacts become links to someone's data.
    for (const char* a : {"node_modules", ".next"}) {
        ASSERT_EQ(rename((tree + "/app/" + a).c_str(), (tmp / "old" + a).c_str()), 0);
        symlink((tree + "/precious").c_str(), (tree + "/app/" + a).c_str());
    }
    const Snapshot before = everything();
    const CleanReportDTO r = cleanOk(tree + "/app", true);
    ASSERT_EQ(r.items.size(), 2u);
    for (const auto& i : r.items) EXPECT_TRUE(!i.success && i.error) << i.path;
    EXPECT_EQ(r.bytes_reclaimed, 0u);
    EXPECT_EQ(everything(), before) << "the links and what they point to stay";
    EXPECT_FALSE(exists(trash() + "/files/node_modules"));
}

TEST_F(Clean, ANameClashInTheTrashGetsANewName) {
    for (const char* p : {"a", "b", "c"}) {
        nodeProject(tree + "/" + p);
        ASSERT_TRUE(cleanOk(tree + "/" + p, true).items.at(0).success) << p;
    }
    EXPECT_EQ(readText(trash() + "/files/node_modules/dep/index.js").size(), 20000u);
    EXPECT_TRUE(exists(trash() + "/files/node_modules.2/dep/index.js"));
    EXPECT_TRUE(exists(trash() + "/files/node_modules.3/dep/index.js"));
    const std::string info = readText(trash() + "/info/node_modules.2.trashinfo");
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + tree + "/b/node_modules\nDeletionDate=", 0), 0u) << info;
    const std::string listed = trashList();
    for (const char* p : {"a", "b", "c"}) EXPECT_NE(listed.find(tree + "/" + p + "/node_modules\n"), std::string::npos) << listed;
    struct stat st {};
    ASSERT_EQ(stat(trash().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(Clean, LastShowsTheCleanAndTheHistoryIsReadableByTheApplication) {
    nodeProject(tree + "/app");
    nodeProject(tree + "/other");
    const RunResult s = engine.scan({tree});
    ASSERT_EQ(s.exitCode, 0) << s.err;
    const DashboardDTO before = decode<DashboardDTO>(s.out);
    // The scan is stored where the application reads it, as one line.
    EXPECT_EQ(decode<DashboardDTO>(engine.run({"last", "--json"}).out), before);
    const std::string cached = sqlite("SELECT json FROM scan_cache WHERE id = 1;");
    EXPECT_EQ(lineCount(cached), 1);
    EXPECT_EQ(decode<DashboardDTO>(cached), before);
    cleanOk(tree + "/app", false);
    EXPECT_EQ(decode<DashboardDTO>(engine.run({"last", "--json"}).out), before) << "a dry run moves nothing";
    const CleanReportDTO r = cleanOk(tree + "/app", true);

    const auto appIn = [&](const DashboardDTO& d) {
        const auto app = std::find_if(d.projects.begin(), d.projects.end(), [&](auto& p) { return p.path == tree + "/app"; });
        if (app == d.projects.end()) throw std::out_of_range("no app in the dashboard");
        return *app;
    };
    const DashboardDTO after = decode<DashboardDTO>(engine.run({"last", "--json"}).out);
    EXPECT_TRUE(appIn(after).artifacts.empty());
    EXPECT_EQ(appIn(after).reclaimable_bytes, 0u);
    EXPECT_EQ(appIn(after).total_bytes, duBytes({tree + "/app"}, tmp.path()));
    EXPECT_EQ(after.reclaimable_bytes, before.reclaimable_bytes - r.bytes_reclaimed);
    EXPECT_EQ(after.total_bytes, before.total_bytes - r.bytes_reclaimed);
    // Built again and scanned: the clean before that scan takes nothing out of it.
    nodeProject(tree + "/app");
    ASSERT_EQ(engine.scan({tree}).exitCode, 0);
    EXPECT_EQ(appIn(decode<DashboardDTO>(engine.run({"last", "--json"}).out)).artifacts, appIn(before).artifacts);

    // The application's own query, through the sqlite3 shell, read-only: one record a line.
    std::istringstream lines(sqlite("SELECT json FROM operations ORDER BY timestamp_unix DESC LIMIT 50;"));
    std::vector<OperationDTO> ops;
    for (std::string line; std::getline(lines, line);) ops.push_back(decode<OperationDTO>(line));
    ASSERT_EQ(ops.size(), 2u);
    const auto engineLog = log();
    ASSERT_EQ(engineLog.size(), 2u);
    EXPECT_EQ(engineLog[0].id, r.operation_id) << "newest first";
    EXPECT_FALSE(engineLog[0].dry_run);
    EXPECT_TRUE(engineLog[1].dry_run);
    EXPECT_EQ(log(1).size(), 1u);
}

TEST_F(Clean, TerminationBeforeAnyWorkStoresAndMovesNothing) {
    nodeProject(tree + "/app");
    RunResult r = engine.run({"scan", "--json", "--root", tree}, true, /*sigtermFirst=*/true);
    EXPECT_EQ(r.signal, SIGTERM);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(engine.run({"last", "--json"}).out, "null\n") << "an interrupted scan stores nothing";
    r = engine.run({"clean", "--project", tree + "/app", "--json", "--execute"}, true, /*sigtermFirst=*/true);
    EXPECT_EQ(r.signal, SIGTERM);
    EXPECT_TRUE(exists(tree + "/app/node_modules/dep/index.js"));
    EXPECT_TRUE(log().empty());
}

TEST_F(Clean, AFolderOnAnotherVolumeGoesToThatVolumesTrash) {
    const std::string vol = tmp / "vol";
    const TmpfsMount mounted(vol, "8m");
    ASSERT_TRUE(mounted.mounted()) << "tests run as root";
    nodeProject(vol + "/app");
    const CleanReportDTO r = cleanOk(vol + "/app", true, true);
    const std::string volTrash = vol + "/.Trash-" + std::to_string(getuid());
    const std::string info = readText(volTrash + "/info/node_modules.trashinfo");
    struct stat st {};
    lstat(volTrash.c_str(), &st);
    ASSERT_EQ(r.items.size(), 2u);
    EXPECT_TRUE(r.items[0].success) << r.items[0].error.value_or("");
    EXPECT_TRUE(exists(volTrash + "/files/node_modules/dep/index.js"));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_NE(info.find("Path=app/node_modules\n"), std::string::npos) << "relative to the volume's top: " << info;
    EXPECT_FALSE(exists(trash() + "/files/node_modules")) << "never copied to the home trash";
}

// The application splits the sqlite3 shell's output at every line break
// Unicode knows, so no JSON text the engine writes may hold one raw.
TEST_F(Clean, LineBreaksInPathsAreEscapedInEveryJsonText) {
    const std::string breaks[] = {"\xE2\x80\xA8", "\xE2\x80\xA9", "\xC2\x85", "\v", "\f", "\r"};
    std::string project = tree + "/p";
    for (const auto& b : breaks) project += b + "x";
    nodeProject(project);
    const RunResult s = engine.scan({tree});
    ASSERT_EQ(s.exitCode, 0) << s.err;
    cleanOk(project, false);
    const CleanReportDTO r = cleanOk(project, true);
    EXPECT_EQ(r.project_path, project);
    const RunResult again = clean(project, false);
    const std::string cache = sqlite("SELECT json FROM scan_cache WHERE id = 1;");
    const std::string ops = sqlite("SELECT json FROM operations;");
    EXPECT_EQ(lineCount(cache), 1);
    EXPECT_EQ(lineCount(ops), 3);
    EXPECT_EQ(decode<DashboardDTO>(cache).projects.at(0).path, project);
    for (const std::string& text : {s.out, s.err, again.out, cache, ops})
        for (const auto& b : breaks) EXPECT_EQ(text.find(b), std::string::npos) << "raw " << testing::PrintToString(b) << " in " << text;
}

// A database this user cannot write: nothing moves, and the Trash holds no
// entry that a move never completed.
TEST_F(Clean, AReadOnlyDatabaseMovesNothingAndLeavesNoTrashEntry) {
    nodeProject(tree + "/app");
    runProgram({"chown", "-R", "65534:65534", tmp.path()}, {}, tmp.path());
    const std::vector<std::string> asNobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    ASSERT_EQ(engine.run({"clean", "--project", tree + "/app", "--json"}, true, false, asNobody).exitCode, 0);
    chmod(engine.db().c_str(), 0444);
    const RunResult r = engine.run({"clean", "--project", tree + "/app", "--json", "--execute"}, true, false, asNobody);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(engine.db() + " cannot be written"), std::string::npos) << r.err;
    EXPECT_TRUE(exists(tree + "/app/.next/cache/page.html"));
    EXPECT_TRUE(!exists(trash() + "/info") || std::filesystem::is_empty(trash() + "/info"));
}

// Rules may name a folder and one inside it, in either order: the outer one
// is listed, measured and moved once, with what it holds.
TEST_F(Clean, AFolderInsideAnotherListedFolderIsListedMeasuredAndMovedOnce) {
    writeText(tmp / "rules.yaml",
              "stacks:\n"
              "  - { id: widget, label: Widget, markers: [widget.cfg], artifacts: [{ path: out/cache, class: safe }, { path: out, class: safe }] }\n"
              "  - { id: gadget, label: Gadget, markers: [gadget.cfg], artifacts: [{ path: gen, class: safe }, { path: gen/tmp, class: safe }] }\n");
    writeFiles(tree, {{"w/widget.cfg", 10}, {"w/gadget.cfg", 10}, {"w/out/o.bin", 5000}, {"w/out/cache/c.bin", 7000},
                      {"w/gen/g.bin", 3000}, {"w/gen/tmp/t.bin", 9000}});
    const std::vector<std::string> rules = {"--rules", tmp / "rules.yaml"};
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), rules.begin(), rules.end());
        const RunResult r = engine.run(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    };
    const std::uint64_t out = duBytes({tree + "/w/out"}, tmp.path()), gen = duBytes({tree + "/w/gen"}, tmp.path());
    const ProjectDTO p = decode<DashboardDTO>(run({"scan", "--json", "--root", tree})).projects.at(0);
    ASSERT_EQ(p.artifacts.size(), 2u);
    EXPECT_EQ(p.reclaimable_bytes, out + gen);
    const std::vector<std::string> both = {tree + "/w/out", tree + "/w/gen"};
    for (const char* execute : {"", "--execute"}) {
        std::vector<std::string> args = {"clean", "--project", tree + "/w", "--json"};
        if (*execute) args.push_back(execute);
        const CleanReportDTO r = decode<CleanReportDTO>(run(args));
        EXPECT_EQ(itemPaths(r), both);
        EXPECT_EQ(r.bytes_reclaimed, out + gen);
        for (const auto& i : r.items) EXPECT_TRUE(i.success) << i.error.value_or("");
    }
    EXPECT_TRUE(exists(trash() + "/files/out/cache/c.bin") && exists(trash() + "/files/gen/tmp/t.bin"));
}

// The database's disk fills up part-way through a clean: what moved is
// reported at once, the move that could not be recorded is not made, the
// clean stops there with every folder after it in place and saying why, and
// the history takes the clean once there is room again.
TEST_F(Clean, ACleanStoppedByAFullDiskReportsWhatMovedAndTheHistoryFollows) {
    const std::string folder = engine.db().substr(0, engine.db().rfind('/'));
    const TmpfsMount mounted(folder, "256k");
    ASSERT_TRUE(mounted.mounted()) << "tests run as root";
    writeFile(tree + "/py/pyproject.toml", 10);
    for (int i = 0; i < 120; ++i) writeFile(tree + "/py/m" + std::to_string(i) + "/__pycache__/a.pyc", 2000);
    cleanOk(tree + "/py", false);
    const RunResult r = clean(tree + "/py", true);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("disk is full"), std::string::npos) << r.err;
    const CleanReportDTO report = decode<CleanReportDTO>(r.out);
    ASSERT_FALSE(report.items.empty());
    const long moved = std::count_if(report.items.begin(), report.items.end(), [](const CleanItemDTO& i) { return i.success; });
    EXPECT_GT(moved, 0);
    EXPECT_LT(moved, 120);
    ASSERT_EQ(report.items.size(), 120u);
    const auto refused = report.items.begin() + moved;
    EXPECT_NE(refused->error.value_or("").find("disk is full"), std::string::npos) << refused->error.value_or("");
    for (auto i = refused + 1; i != report.items.end(); ++i)
        EXPECT_EQ(i->error.value_or(""), i->path + " was left in place: the clean stopped, as its moves cannot be recorded");
    for (const auto& i : report.items) EXPECT_EQ(exists(i.path), !i.success) << i.path;
    std::size_t infos = 0;
    for (const auto& e : std::filesystem::directory_iterator(trash() + "/info")) {
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(exists(trash() + "/files/" + name.substr(0, name.size() - 10))) << name << " has no folder";
        ++infos;
    }
    EXPECT_EQ(infos, static_cast<std::size_t>(moved));

    ASSERT_EQ(mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT, "size=8m"), 0);
    cleanOk(tree + "/py", false);
    const auto ops = log();
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_FALSE(ops[1].dry_run);
    EXPECT_EQ(ops[1].bytes_reclaimed, report.bytes_reclaimed);
}
