// Folders that hold files Git tracks are source: never offered by a scan,
// never listed or moved by a clean, in real repositories made with git.

#include "EngineTestSupport.h"
#include "GitWork.h"
#include "HelperProcess.h"
#include "SilentFilesystem.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <thread>
#include <map>
#include <memory>

using namespace tidewell;
using namespace enginetest;

namespace {

class TrackedFolders : public ::testing::Test {
protected:
    TempDir tmp;
    std::string tree = tmp / "tree";
    EngineRunner engine{tmp / "sandbox"};
    RunResult lastRun;

    void SetUp() override { makeDirs(tree); }

    void git(const std::string& dir, std::vector<std::string> args) {
        std::vector<std::string> argv = {"git", "-C", dir, "-c", "user.name=Test", "-c", "user.email=test@example.com",
                                         "-c", "init.defaultBranch=main", "-c", "protocol.file.allow=always"};
        argv.insert(argv.end(), args.begin(), args.end());
        const RunResult r = runProgram(argv, {"HOME=" + engine.home(), "GIT_CONFIG_NOSYSTEM=1"}, tmp.path());
        ASSERT_EQ(r.exitCode, 0) << "git " << args[0] << ": " << r.err;
    }
    // A repository at `dir` holding everything below it that .gitignore does not name.
    void commitAll(const std::string& dir, const std::string& message = "Work") {
        git(dir, {"add", "-A"});
        git(dir, {"commit", "-q", "-m", message});
    }
    void newRepository(const std::string& dir) {
        makeDirs(dir);
        git(dir, {"init", "-q"});
    }

    DashboardDTO scan(std::vector<std::string> prefix = {}) {
        lastRun = engine.scan({tree}, 30, 8, std::move(prefix));
        EXPECT_EQ(lastRun.exitCode, 0) << lastRun.err;
        return decode<DashboardDTO>(lastRun.out);
    }
    // Each project's offered folders, "relative/path class", by the project's path below the tree.
    // The paths the last scan said it skipped, in order.
    std::vector<std::string> skipsSaid() const {
        std::vector<std::string> said;
        std::istringstream err(lastRun.err);
        for (std::string line; std::getline(err, line);)
            if (line.rfind("PROGRESS:", 0) == 0) {
                const auto e = decode<ScanProgressEvent>(line.substr(9));
                if (e.phase == "skip") said.push_back(e.path.value_or(""));
            }
        std::sort(said.begin(), said.end());
        return said;
    }
    static std::map<std::string, std::vector<std::string>> offered(const DashboardDTO& d, const std::string& tree) {
        std::map<std::string, std::vector<std::string>> out;
        for (const auto& p : d.projects) {
            auto& list = out[p.path.substr(tree.size() + 1)];
            for (const auto& a : p.artifacts) list.push_back(a.relative_path + " " + a.safetyClass);
            std::sort(list.begin(), list.end());
        }
        return out;
    }
    CleanReportDTO clean(const std::string& project, bool execute, const std::vector<std::string>& artifacts = {}) {
        std::vector<std::string> a = {"clean", "--project", project, "--json", "--caution"};
        if (execute) a.push_back("--execute");
        for (const auto& p : artifacts) a.insert(a.end(), {"--artifact", p});
        const RunResult r = engine.run(a);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return decode<CleanReportDTO>(r.out);
    }
    static std::map<std::string, std::string> outcome(const CleanReportDTO& r) {
        std::map<std::string, std::string> out;
        for (const auto& i : r.items) out[i.path] = i.success ? "moved" : i.error.value_or("failed");
        return out;
    }
};

}  // namespace

// A committed build script, a committed dist and committed notes in a venv
// are source; what is ignored or untracked is offered as before.
TEST_F(TrackedFolders, ACommittedFolderIsNeverOfferedInAnyStack) {
    const std::string py = tree + "/py", web = tree + "/web";
    newRepository(py);
    writeFiles(py, {{"pyproject.toml", 10}, {"src/pkg/__init__.py", 100}, {"venv/notes.md", 300}});
    writeText(py + "/.gitignore", ".pytest_cache/\n.venv/\n__pycache__/\n");
    commitAll(py, "Start");
    writeFile(py + "/build/release.sh", 200);
    commitAll(py, "Release script");
    writeFiles(py, {{".pytest_cache/v/cache/nodeids", 500}, {".venv/pyvenv.cfg", 50}, {".venv/lib/site.py", 5000},
                    {"src/pkg/__pycache__/m.pyc", 800}, {"build/lib/pkg/m.py", 900}});

    newRepository(web);
    writeFiles(web, {{"package.json", 10}, {"vite.config.ts", 10}, {"dist/index.html", 400}});
    writeText(web + "/.gitignore", "node_modules/\n");
    commitAll(web);
    writeFiles(web, {{"node_modules/vite/package.json", 3000}, {"dist/assets/app.js", 5000}});

    const auto got = offered(scan(), tree);
    EXPECT_EQ(got.at("py"), (std::vector<std::string>{".pytest_cache safe", ".venv caution", "src/pkg/__pycache__ safe"}))
        << "build holds a committed script and venv committed notes";
    EXPECT_EQ(got.at("web"), std::vector<std::string>{"node_modules caution"}) << "dist is committed";
}

// Outside any repository too: a folder named venv or .venv without
// pyvenv.cfg is no virtual environment, and the walk looks inside it.
TEST_F(TrackedFolders, AVenvIsAVirtualEnvironmentOnlyWithPyvenvCfg) {
    writeFiles(tree, {{"py/requirements.txt", 10}, {"py/venv/notes.txt", 300}, {"py/.venv/plans.md", 300},
                      {"env/requirements.txt", 10}, {"env/.venv/pyvenv.cfg", 50}, {"env/.venv/lib/site.py", 5000},
                      {"py/venv/tool/Cargo.toml", 10}, {"py/venv/tool/target/debug/app", 4000}});
    const auto got = offered(scan(), tree);
    EXPECT_EQ(got.at("py"), std::vector<std::string>{});
    EXPECT_EQ(got.at("env"), std::vector<std::string>{".venv caution"});
    EXPECT_EQ(got.at("py/venv/tool"), std::vector<std::string>{"target safe"}) << "a project inside a plain venv folder is found";
}

// Projects of a monorepo share its index; a submodule and a linked worktree
// answer from their own indexes. A folder is tracked only by a file below
// it, never by a name that merely begins the same.
TEST_F(TrackedFolders, NestedProjectsSubmodulesAndWorktreesEachAnswerFromTheirOwnIndex) {
    const std::string sub = tmp / "sub-origin", mono = tree + "/mono";
    newRepository(sub);
    writeFiles(sub, {{"package.json", 10}, {"vite.config.js", 10}, {"dist/lib.js", 700}});
    commitAll(sub);

    newRepository(mono);
    writeFiles(mono, {{"package.json", 10}, {"apps/web/package.json", 10}, {"apps/web/vite.config.ts", 10},
                      {"apps/web/dist/index.html", 400}, {"apps/site/package.json", 10}, {"apps/site/vite.config.ts", 10},
                      {"services/api/pyproject.toml", 10}, {"services/api/build-scripts/run.sh", 100}});
    writeText(mono + "/.gitignore", "node_modules/\napps/site/dist/\n");
    commitAll(mono);
    git(mono, {"submodule", "add", "-q", sub, "libs/sub"});
    commitAll(mono, "Add the library");
    git(mono, {"worktree", "add", "-q", tree + "/mono-feature"});
    for (const std::string& top : {mono, tree + "/mono-feature"})
        writeFiles(top, {{"node_modules/x/package.json", 2000}, {"apps/site/dist/index.html", 400},
                         {"services/api/build/lib/m.py", 900}, {"apps/web/dist/extra.js", 500}});
    writeFiles(mono, {{"libs/sub/node_modules/y/index.js", 1000}, {"libs/sub/dist/new.js", 100}});

    const auto got = offered(scan(), tree);
    for (const std::string top : {"mono", "mono-feature"}) {
        SCOPED_TRACE(top);
        EXPECT_EQ(got.at(top), std::vector<std::string>{"node_modules caution"});
        EXPECT_EQ(got.at(top + "/apps/web"), std::vector<std::string>{}) << "its dist is committed";
        EXPECT_EQ(got.at(top + "/apps/site"), std::vector<std::string>{"dist caution"}) << "ignored";
        EXPECT_EQ(got.at(top + "/services/api"), std::vector<std::string>{"build safe"}) << "untracked; build-scripts is another folder";
    }
    EXPECT_EQ(got.at("mono/libs/sub"), std::vector<std::string>{"node_modules caution"}) << "the submodule's dist is committed there";
}

// Every form of index Git writes answers alike: version 4 (compressed
// paths, one dropping more than 127 bytes of the path before it, which takes
// two bytes to say), a split index (most entries in its shared part), a file
// only meant to be added (version 3), and a SHA-256 repository.
TEST_F(TrackedFolders, EveryFormOfTheIndexAnswers) {
    const std::vector<std::pair<std::string, std::vector<std::vector<std::string>>>> forms = {
        {"v4", {{"update-index", "--index-version", "4"}}},
        {"v4-long", {{"update-index", "--index-version", "4"}}},
        {"split", {{"update-index", "--split-index"}, {"add", "src/late.js"}}},
        {"intent", {{"add", "-N", "-f", "build/plan.sh"}}},
        {"sha256", {}},
    };
    for (const auto& [name, steps] : forms) {
        const std::string p = tree + "/" + name;
        makeDirs(p);
        git(p, name == "sha256" ? std::vector<std::string>{"init", "-q", "--object-format=sha256"} : std::vector<std::string>{"init", "-q"});
        writeFiles(p, {{"package.json", 10}, {"vite.config.ts", 10}, {"requirements.txt", 10}, {"dist/index.html", 400}});
        if (name == "v4-long") writeFile(p + "/docs/" + std::string(150, 'n') + "/notes.md", 10);
        writeText(p + "/.gitignore", "node_modules/\nbuild/\n");
        commitAll(p);
        writeFiles(p, {{"node_modules/vite/package.json", 3000}, {"src/late.js", 100}, {"build/plan.sh", 100}});
        for (const auto& step : steps) git(p, step);
    }
    const auto got = offered(scan(), tree);
    for (const auto& [name, steps] : forms) {
        const std::vector<std::string> expected =
            name == "intent" ? std::vector<std::string>{"node_modules caution"} : std::vector<std::string>{"build safe", "node_modules caution"};
        EXPECT_EQ(got.at(name), expected) << name;
    }
}

// The clean derives its folders again with the same rule: a dry run never
// lists a tracked folder and a real clean never moves one, even when asked.
TEST_F(TrackedFolders, TheCleanNeverListsOrMovesATrackedFolder) {
    const std::string web = tree + "/web";
    newRepository(web);
    writeFiles(web, {{"package.json", 10}, {"vite.config.ts", 10}, {"dist/index.html", 400}});
    writeText(web + "/.gitignore", "node_modules/\n");
    commitAll(web);
    writeFile(web + "/node_modules/vite/package.json", 3000);

    const CleanReportDTO preview = clean(web, false);
    EXPECT_EQ(outcome(preview), (std::map<std::string, std::string>{{web + "/node_modules", "moved"}}));

    const CleanReportDTO done = clean(web, true, {web + "/dist", web + "/node_modules"});
    const auto items = outcome(done);
    EXPECT_EQ(items.at(web + "/node_modules"), "moved");
    EXPECT_NE(items.at(web + "/dist").find("dist/index.html, which Git tracks"), std::string::npos) << items.at(web + "/dist");
    EXPECT_TRUE(exists(web + "/dist/index.html"));
    EXPECT_FALSE(exists(web + "/node_modules"));
}

// A scan folder reached through a link (~/code -> /data/code) answers from
// the repository around where it leads, as Git does there, in the scan and
// in the clean.
TEST_F(TrackedFolders, AScanFolderReachedThroughALinkAnswersFromTheRepositoryWhereItLeads) {
    const std::string data = tmp / "data", link = tmp / "code";
    newRepository(data);
    writeFiles(data, {{"code/web/package.json", 10}, {"code/web/vite.config.ts", 10}, {"code/web/dist/index.html", 400}});
    writeText(data + "/.gitignore", "node_modules/\n");
    commitAll(data);
    writeFile(data + "/code/web/node_modules/vite/package.json", 3000);
    ASSERT_EQ(symlink((data + "/code").c_str(), link.c_str()), 0);

    lastRun = engine.scan({link});
    ASSERT_EQ(lastRun.exitCode, 0) << lastRun.err;
    EXPECT_EQ(offered(decode<DashboardDTO>(lastRun.out), link).at("web"), std::vector<std::string>{"node_modules caution"});
    EXPECT_EQ(outcome(clean(link + "/web", false)), (std::map<std::string, std::string>{{link + "/web/node_modules", "moved"}}));
}

// An index that exists but cannot be read (damaged, or not readable by this
// user) proves nothing untracked: nothing in its repository is offered or
// moved, and the scan and the clean go on and say why.
TEST_F(TrackedFolders, ARepositoryWhoseIndexCannotBeReadOffersNothingAndTheScanGoesOn) {
    const std::string damaged = tree + "/damaged", locked = tree + "/locked", plain = tree + "/plain", gone = tree + "/gone";
    for (const std::string& p : {damaged, locked, gone}) {
        newRepository(p);
        writeFiles(p, {{"pyproject.toml", 10}, {"src/m.py", 100}});
        commitAll(p);
        writeFiles(p, {{".pytest_cache/v/nodeids", 500}, {"build/lib/m.py", 900}});
    }
    writeFiles(plain, {{"pyproject.toml", 10}, {".pytest_cache/v/nodeids", 500}});
    writeText(damaged + "/.git/index", "DIRC but not an index at all");
    std::filesystem::remove_all(gone + "/.git");
    writeText(gone + "/.git", "gitdir: ../moved-away/.git\n");

    std::vector<std::string> prefix;
    if (geteuid() == 0) {
        // Root reads every file: the engine runs as an ordinary user instead.
        runProgram({"chown", "-R", "65534:65534", tmp.path()}, {}, tmp.path());
        prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    chmod((locked + "/.git/index").c_str(), 0);
    const auto got = offered(scan(prefix), tree);
    EXPECT_EQ(got.at("damaged"), std::vector<std::string>{});
    EXPECT_EQ(got.at("locked"), std::vector<std::string>{});
    EXPECT_EQ(got.at("gone"), std::vector<std::string>{}) << "its .git file names a repository that is gone";
    EXPECT_EQ(got.at("plain"), std::vector<std::string>{".pytest_cache safe"});
    const std::vector<std::string> said = skipsSaid();
    EXPECT_EQ(said, (std::vector<std::string>{damaged, gone, locked})) << "once each";

    const RunResult r = engine.run({"clean", "--project", damaged, "--json", "--caution", "--execute", "--artifact",
                                    damaged + "/.pytest_cache"}, true, false, prefix);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto items = outcome(decode<CleanReportDTO>(r.out));
    EXPECT_NE(items.at(damaged + "/.pytest_cache").find("may hold files that Git tracks"), std::string::npos);
    EXPECT_TRUE(exists(damaged + "/.pytest_cache/v/nodeids"));
}

// A folder is judged by the nearest repository at or above it: a submodule
// checked out where a build folder would be, and a folder that a submodule
// or a nested repository below the project tracks, are source. Neither the
// scan offers them nor the clean moves them, uncommitted work included.
TEST_F(TrackedFolders, AFolderIsJudgedByTheNearestRepositoryAtOrAboveIt) {
    const std::string tools = tmp / "tools-origin", lib = tmp / "lib-origin";
    const std::string app = tree + "/app", host = tree + "/host", py = tree + "/py";
    newRepository(tools);
    writeFile(tools + "/release.sh", 100);
    commitAll(tools);
    newRepository(lib);
    writeText(lib + "/CMakeLists.txt", "add_library(x x.c)\n");
    writeFile(lib + "/build/release.sh", 100);
    commitAll(lib);

    newRepository(app);
    writeFile(app + "/requirements.txt", 10);
    commitAll(app);
    git(app, {"submodule", "add", "-q", tools, "build"});
    commitAll(app, "Build scripts");
    writeText(app + "/build/release.sh", "uncommitted\n");
    // Where a submodule's checkout was taken away, its folder is still the
    // submodule's, whatever lands in it.
    const std::string gone = tree + "/gone";
    newRepository(gone);
    writeFile(gone + "/requirements.txt", 10);
    commitAll(gone);
    git(gone, {"submodule", "add", "-q", tools, "build"});
    commitAll(gone, "Build scripts");
    git(gone, {"submodule", "deinit", "-q", "-f", "build"});
    writeFile(gone + "/build/out/m.py", 100);

    newRepository(host);
    writeText(host + "/CMakeLists.txt", "add_subdirectory(third_party/lib)\n");
    commitAll(host);
    git(host, {"submodule", "add", "-q", lib, "third_party/lib"});
    commitAll(host, "The library");

    newRepository(py);
    writeFile(py + "/requirements.txt", 10);
    commitAll(py);
    newRepository(py + "/tools");
    writeFile(py + "/tools/gen/__pycache__/fixture.bin", 100);
    git(py + "/tools", {"add", "-f", "."});
    git(py + "/tools", {"commit", "-q", "-m", "Fixture"});
    writeFile(py + "/tools/other/__pycache__/m.pyc", 100);
    newRepository(py + "/build");
    writeFile(py + "/build/notes.md", 100);
    commitAll(py + "/build");
    // The walk looks for projects neither in hidden folders nor deeper than
    // its depth, yet a repository there still answers for what it tracks.
    for (const std::string nested : {"/.tools/lib", "/d2/d3/d4/d5/d6/d7/d8/lib"}) {
        newRepository(py + nested);
        writeFile(py + nested + "/gen/__pycache__/fixture.bin", 100);
        git(py + nested, {"add", "-f", "."});
        git(py + nested, {"commit", "-q", "-m", "Fixture"});
    }

    const auto got = offered(scan(), tree);
    EXPECT_EQ(got.at("app"), std::vector<std::string>{}) << "build is a submodule";
    EXPECT_EQ(got.at("gone"), std::vector<std::string>{}) << "build is a submodule not checked out";
    EXPECT_EQ(got.at("host"), std::vector<std::string>{}) << "the submodule tracks its build";
    EXPECT_EQ(got.at("py"), std::vector<std::string>{"tools/other/__pycache__ safe"}) << "the nested repositories track gen/__pycache__ and build";

    const std::vector<std::pair<std::string, std::string>> asked = {
        {app, app + "/build"}, {gone, gone + "/build"}, {host, host + "/third_party/lib/build"}, {py, py + "/tools/gen/__pycache__"},
        {py, py + "/.tools/lib/gen/__pycache__"}, {py, py + "/d2/d3/d4/d5/d6/d7/d8/lib/gen/__pycache__"}};
    for (const auto& [project, folder] : asked) {
        const auto items = outcome(clean(project, true, {folder}));
        EXPECT_NE(items.at(folder).find("which Git tracks"), std::string::npos) << items.at(folder);
    }
    EXPECT_EQ(readText(app + "/build/release.sh"), "uncommitted\n");
    EXPECT_TRUE(exists(host + "/third_party/lib/build/release.sh"));
    EXPECT_TRUE(exists(py + "/tools/gen/__pycache__/fixture.bin"));
}

// A dependency or build folder that holds a clone with work found nowhere
// else (a Composer source install, an editable pip install, a linked
// worktree) is never offered, and the clean, judging again, never moves it:
// a tracked file changed (if only in its time, or under an order to Git to
// overlook it) or deleted, a merge conflict left unresolved between two
// published branches, a branch (with or without a reflog) or a stash on no
// remote branch or tag, a commit made on no branch (a fix on a Composer tag
// checkout), a gitfile naming a repository that is gone, a .git that is a
// link (never followed), a FIFO or a device, objects that cannot be read, a
// FIFO its config names for Git to read (however the config names it). The
// repository is named once, with the reason. An unchanged clone, on a
// branch a tag names, sparse (a partial clone too) or pinned to an older
// commit, whose commit made there was pushed or is gone, of another user,
// or holding a submodule moved ahead, is offered, as is a .git without HEAD.
TEST_F(TrackedFolders, AFolderHoldingACloneWithWorkFoundNowhereElseIsNeverOffered) {
    const std::string origin = tmp / "origin";
    newRepository(origin);
    writeFiles(origin, {{"src/Lib.php", 100}, {"README", 10}});
    writeText(origin + "/src/.gitignore", "*.cache\ncache/\n");
    commitAll(origin);
    git(origin, {"tag", "-a", "v1", "-m", "First"});
    writeFile(origin + "/CHANGES", 10);
    commitAll(origin, "Later");
    writeFile(origin + "/NEWS", 10);
    commitAll(origin, "Latest");
    // Two published branches whose merge conflicts.
    for (const std::string side : {"left", "right"}) {
        git(origin, {"checkout", "-q", "-b", side, "main"});
        writeText(origin + "/README", side);
        commitAll(origin, side);
    }
    git(origin, {"checkout", "-q", "main"});
    // Ignored everywhere, as a user's own ignore file says.
    writeText(tmp / "global-ignore", "*.local\n");
    writeText(engine.home() + "/.gitconfig", "[core]\n\texcludesFile = " + (tmp / "global-ignore") + "\n");
    const auto yesterday = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24);
    struct Row {
        std::string project, marker, clone, offer;
        std::function<void(const std::string&)> work;
        std::string why = {};  // said of the repository when it stays
        std::string holder = "Git repository";
    };
    const std::vector<Row> rows = {
        {"edited", "composer.json", "vendor/acme/lib", "", [](const std::string& c) { writeText(c + "/src/Lib.php", "mine"); }},
        {"deleted", "composer.json", "vendor/acme/lib", "", [](const std::string& c) { std::filesystem::remove(c + "/README"); }},
        {"same-size", "composer.json", "vendor/acme/lib", "",
         [](const std::string& c) {
             const auto checkedOut = std::filesystem::last_write_time(c + "/README");
             writeText(c + "/README", "0123456789");
             std::filesystem::last_write_time(c + "/README", checkedOut + std::chrono::seconds(5));
         }},
        {"branch", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             git(c, {"checkout", "-q", "-b", "fix"});
             writeFile(c + "/FIX", 10);
             commitAll(c, "Fix");
         }},
        {"detached", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             git(c, {"checkout", "-q", "v1"});
             writeText(c + "/src/Lib.php", "fixed");
             commitAll(c, "Fix");
             git(c, {"reset", "-q", "--hard"});
         }},
        {"undone", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             git(c, {"checkout", "-q", "v1"});
             writeText(c + "/src/Lib.php", "fixed");
             commitAll(c, "Fix");
             writeText(c + "/src/Lib.php", "fixed again");
             commitAll(c, "Fix again");
             git(c, {"reset", "-q", "--hard", "HEAD~1"});
         }},
        {"stash", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             writeText(c + "/README", "mine");
             git(c, {"stash", "-q"});
         }},
        {"venv", "pyproject.toml", ".venv/src/pkg", "",
         [](const std::string& c) {
             writeText(c + "/../../pyvenv.cfg", "home = /usr/bin\n");
             writeText(c + "/src/Lib.php", "mine");
         }},
        {"worktree", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             std::filesystem::remove_all(c);
             git(tmp / "clone-worktree", {"worktree", "add", "-q", "-b", "feature", c});
             writeFile(c + "/NEW", 10);
             commitAll(c, "New");
         }},
        {"gone", "composer.json", "vendor/acme/lib", "",
         [](const std::string& c) {
             std::filesystem::remove_all(c + "/.git");
             writeText(c + "/.git", "gitdir: ../../../../moved-away/.git\n");
         }},
        {"linked", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             std::filesystem::rename(c + "/.git", tmp / "linked.git");
             std::filesystem::create_directory_symlink(tmp / "linked.git", c + "/.git");
         }},
        {"cmake", "CMakeLists.txt", "build/_deps/x-src", "build caution", [&](const std::string& c) { git(c, {"checkout", "-q", "-b", "pinned", "v1"}); }},
        {"pinned", "CMakeLists.txt", "build/_deps/x-src", "build caution", [&](const std::string& c) { git(c, {"checkout", "-q", "HEAD~1"}); }},
        {"conflicted", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             git(c, {"checkout", "-q", "origin/left"});
             runProgram({"git", "-C", c, "-c", "user.name=Test", "-c", "user.email=test@example.com", "merge", "-q", "origin/right"},
                        {"HOME=" + engine.home(), "GIT_CONFIG_NOSYSTEM=1"}, tmp.path());
         },
         ", where README has a merge conflict"},
        {"sparse", "CMakeLists.txt", "build/_deps/x-src", "build caution",
         [&](const std::string& c) { git(c, {"sparse-checkout", "set", "--no-cone", "/src/"}); }},
        {"staged", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             writeText(c + "/src/Lib.php", "mine");
             git(c, {"add", "src/Lib.php"});
         },
         ", where src/Lib.php is staged but not committed"},
        {"staged-new", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             writeText(c + "/src/Helper.php", "mine");
             git(c, {"add", "src/Helper.php"});
         },
         ", where src/Helper.php is staged but not committed"},
        {"untracked", "composer.json", "vendor/acme/lib", "", [](const std::string& c) { writeText(c + "/Helper.php", "mine"); },
         ", where Helper.php is new"},
        {"ignored-nested", "composer.json", "vendor/acme/lib", "vendor caution",
         [](const std::string& c) { writeFiles(c, {{"src/deep/x.cache", 10}, {"src/cache/a/b.php", 10}}); }},
        {"ignored-exclude", "composer.json", "vendor/acme/lib", "vendor caution",
         [](const std::string& c) {
             writeText(c + "/.git/info/exclude", "notes.txt\n");
             writeText(c + "/notes.txt", "mine");
         }},
        {"ignored-global", "composer.json", "vendor/acme/lib", "vendor caution",
         [](const std::string& c) { writeText(c + "/src/settings.local", "mine"); }},
        {"tagged", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             writeText(c + "/src/Lib.php", "patched");
             commitAll(c, "Patch");
             git(c, {"tag", "v1.0-patched"});
             git(c, {"reset", "-q", "--hard", "origin/main"});
         },
         "(its tag v1.0-patched points to it)"},
        {"left-behind", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             git(c, {"checkout", "-q", "v1"});
             writeText(c + "/src/Lib.php", "fixed");
             commitAll(c, "Fix");
             git(c, {"checkout", "-q", "v1"});
         },
         "(only its reflog names it)"},
        {"same-size-and-time", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             // Recorded by Git with a time well before the index's, then
             // edited as `cp -p` leaves a file: only its ctime and content differ.
             std::filesystem::last_write_time(c + "/README", yesterday);
             git(c, {"update-index", "--refresh"});
             writeText(c + "/README", "0123456789");
             std::filesystem::last_write_time(c + "/README", yesterday);
         },
         ", where README has changes"},
        {"touched", "CMakeLists.txt", "build/_deps/x-src", "build caution",
         [&](const std::string& c) {
             for (const auto& e : std::filesystem::recursive_directory_iterator(c))
                 if (e.is_regular_file() && e.path().string().find("/.git/") == std::string::npos) std::filesystem::last_write_time(e.path(), yesterday);
         }},
        {"shallow", "CMakeLists.txt", "build/_deps/x-src", "build caution",
         [&](const std::string& c) {
             std::filesystem::remove_all(c);
             git(tmp.path(), {"clone", "-q", "--depth", "1", "--branch", "v1", "file://" + origin, c});
         }},
        {"odd-config", "CMakeLists.txt", "build/_deps/x-src", "build caution",
         [&](const std::string& c) {
             // Commands Git would run (a status with fsmonitor, a clean filter
             // on files whose times changed) and a work tree elsewhere: the
             // judgement reads the clone's own files and runs nothing.
             const std::string ran = "touch " + (tmp / "ran") + "\n";
             std::ofstream(c + "/.git/config", std::ios::app) << ("[core]\n\tfsmonitor = " + ran + "\tworktree = /\n[filter \"x\"]\n\tclean = " + ran +
                                                                     "\trequired = true\n[diff]\n\texternal = " + ran);
             writeText(c + "/.git/info/attributes", "* filter=x\n");
             std::filesystem::last_write_time(c + "/README", yesterday);
         }},
        {"skip-worktree", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             git(c, {"update-index", "--skip-worktree", "src/Lib.php"});
             writeText(c + "/src/Lib.php", "my settings");
         },
         ", where src/Lib.php has changes that are not committed (Git was told to overlook them with --skip-worktree)"},
        {"assume-unchanged", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             git(c, {"update-index", "--assume-unchanged", "README"});
             writeText(c + "/README", "0123456789");
         },
         ", where README has changes that are not committed (Git was told to overlook them with --assume-unchanged)"},
        {"no-reflog", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             git(c, {"-c", "core.logAllRefUpdates=false", "checkout", "-q", "-b", "fix"});
             writeFile(c + "/FIX", 10);
             git(c, {"add", "FIX"});
             git(c, {"-c", "core.logAllRefUpdates=false", "commit", "-q", "-m", "Fix"});
             std::filesystem::remove_all(c + "/.git/logs");
         },
         "(its branch fix points to it)"},
        {"pushed", "composer.json", "vendor/acme/lib", "vendor caution",
         [&](const std::string& c) {
             git(c, {"checkout", "-q", "-b", "pushed-fix"});
             writeFile(c + "/FIX", 10);
             commitAll(c, "Fix");
             git(c, {"push", "-q", "origin", "pushed-fix"});
         }},
        {"pruned", "composer.json", "vendor/acme/lib", "vendor caution",
         [&](const std::string& c) {
             writeFile(c + "/FIX", 10);
             commitAll(c, "Fix");
             const std::string made = readText(c + "/.git/refs/heads/main").substr(0, 40);
             git(c, {"reset", "-q", "--hard", "origin/main"});
             std::filesystem::remove(c + "/.git/objects/" + made.substr(0, 2) + "/" + made.substr(2));
         }},
        {"other-owner", "composer.json", "vendor/acme/lib", "vendor caution",
         [](const std::string& c) { runProgram({"chown", "-R", "65534:65534", c}, {}, "/"); }},
        {"other-owner-edited", "composer.json", "vendor/acme/lib", "",
         [](const std::string& c) {
             writeText(c + "/src/Lib.php", "mine");
             runProgram({"chown", "-R", "65534:65534", c}, {}, "/");
         },
         ", where src/Lib.php has changes"},
        {"partial-sparse", "CMakeLists.txt", "build/_deps/x-src", "build caution",
         [&](const std::string& c) {
             std::filesystem::remove_all(c);
             git(tmp.path(), {"clone", "-q", "--filter=blob:none", "--sparse", "file://" + origin, c});
             git(c, {"sparse-checkout", "set", "--no-cone", "/src/"});
         }},
        {"submodule-ahead", "composer.json", "vendor/acme/lib", "vendor caution",
         [&](const std::string& c) {
             // Its superproject records the older of the two commits.
             const std::string sub = tmp / "sub-origin", super = tmp / "super-origin";
             newRepository(sub);
             writeFile(sub + "/a.php", 10);
             commitAll(sub);
             newRepository(super);
             writeFile(super + "/composer.json", 10);
             git(super, {"submodule", "add", "-q", sub, "lib"});
             commitAll(super);
             writeFile(sub + "/b.php", 10);
             commitAll(sub, "Newer");
             std::filesystem::remove_all(c);
             git(tmp.path(), {"clone", "-q", "--recurse-submodules", super, c});
             git(c + "/lib", {"checkout", "-q", "origin/main"});
         }},
        {"no-head", "composer.json", "vendor/acme/lib", "vendor caution",
         [](const std::string& c) { std::filesystem::remove(c + "/.git/HEAD"); }},
        {"fifo-git", "composer.json", "vendor/acme/lib", "",
         [](const std::string& c) {
             std::filesystem::remove_all(c + "/.git");
             mkfifo((c + "/.git").c_str(), 0644);
         },
         ", whose work cannot be judged: its .git is a FIFO"},
        {"device-git", "composer.json", "vendor/acme/lib", "",
         [](const std::string& c) {
             std::filesystem::remove_all(c + "/.git");
             mknod((c + "/.git").c_str(), S_IFCHR | 0644, makedev(1, 3));
         },
         ", whose work cannot be judged: its .git is a device"},
        {"damaged-pack", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             git(c, {"repack", "-q", "-a", "-d"});
             for (const auto& e : std::filesystem::directory_iterator(c + "/.git/objects/pack"))
                 if (e.path().extension() == ".idx") {
                     std::filesystem::remove(e.path());
                     writeText(e.path(), "garbage");
                 }
         },
         ", whose work cannot be judged: its pack index"},
        // What its config names for Git to read and that would hold the look
        // (a FIFO) keeps it at once, however the config names it.
        {"excludes-home", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             mkfifo((engine.home() + "/ignore-fifo").c_str(), 0644);
             git(c, {"config", "core.excludesFile", "~/ignore-fifo"});
         },
         "its config names " + engine.home() + "/ignore-fifo, which is not a regular file"},
        {"excludes-relative", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             mkfifo((c + "/local-ignore").c_str(), 0644);
             git(c, {"config", "core.excludesFile", "local-ignore"});
         },
         "its config names local-ignore, which is not a regular file"},
        // Quoted, past an escaped line end, with a comment after it.
        {"excludes-continued", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             mkfifo((tmp / "fifo- ignore").c_str(), 0644);
             std::ofstream(c + "/.git/config", std::ios::app) << "[core] excludesFile = \"" + tmp.path() + "/fifo-\\\n ignore\" ; mine\n";
         },
         "its config names " + (tmp / "fifo- ignore") + ", which is not a regular file"},
        {"include-relative", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             // Relative to the folder of the config that names it.
             std::ofstream(c + "/.git/config", std::ios::app) << "[include]\n\tpath = ../config/shared.config\n";
             writeText(c + "/config/shared.config", "[Include]\n\tPath = settings.config\n");
             mkfifo((c + "/config/settings.config").c_str(), 0644);
         },
         "its config names settings.config, which is not a regular file"},
        // What a borrowed objects folder holds is read as the clone's own.
        {"alternates-fifo", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             makeDirs(tmp / "borrowed-fifo/objects/pack");
             mkfifo((tmp / "borrowed-fifo/objects/pack/pack-x.idx").c_str(), 0644);
             writeText(c + "/.git/objects/info/alternates", tmp / "borrowed-fifo/objects\n");
         },
         (tmp / "borrowed-fifo/objects/pack/pack-x.idx") + " is not a regular file"},
        {"alternates-link", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             makeDirs(tmp / "borrowed-link/objects/pack");
             std::filesystem::create_symlink("/dev/zero", tmp / "borrowed-link/objects/pack/pack-x.idx");
             writeText(c + "/.git/objects/info/alternates", tmp / "borrowed-link/objects\n");
         },
         (tmp / "borrowed-link/objects/pack/pack-x.idx") + " is a symbolic link, which is not followed"},
        {"include-if-fifo", "composer.json", "vendor/acme/lib", "",
         [&](const std::string& c) {
             mkfifo((tmp / "fifo-included").c_str(), 0644);
             std::ofstream(c + "/.git/config", std::ios::app) << "[includeIf \"gitdir:/\"]\n\tpath = " + (tmp / "fifo-included") + "\n";
         },
         "its config names " + (tmp / "fifo-included") + ", which is not a regular file"},
        {"include-itself", "composer.json", "vendor/acme/lib", "",
         [](const std::string& c) { std::ofstream(c + "/.git/config", std::ios::app) << "[include]\n\tpath = config\n"; },
         "its configs include each other without end"},
        {"include-each-other", "composer.json", "vendor/acme/lib", "",
         [](const std::string& c) {
             std::ofstream(c + "/.git/config", std::ios::app) << "[include]\n\tpath = other.config\n";
             writeText(c + "/.git/other.config", "[include]\n\tpath = config\n");
         },
         "its configs include each other without end"},
        // Told to overlook a file whose copy differs only by the line ends
        // the repository's own conversion gives it: nothing of the user's.
        {"skip-worktree-crlf", "composer.json", "vendor/acme/lib", "vendor caution",
         [&](const std::string& c) {
             git(c, {"config", "core.autocrlf", "true"});
             git(c, {"update-index", "--skip-worktree", "src/.gitignore"});
             writeText(c + "/src/.gitignore", "*.cache\r\ncache/\r\n");
         }},
        // Made with `git init` and never committed, all it holds ignored.
        {"init-ignored", "composer.json", "vendor/acme/lib", "vendor caution",
         [&](const std::string& c) {
             std::filesystem::remove_all(c);
             newRepository(c);
             writeText(c + "/.gitignore", "*\n");
             writeFile(c + "/build.log", 100);
         }},
        {"hg", "composer.json", "vendor/acme/lib", "",
         [](const std::string& c) {
             std::filesystem::remove_all(c + "/.git");
             writeText(c + "/.hg/requires", "store\n");
         },
         ", whose work cannot be judged here", "Mercurial checkout"},
        {"svn", "composer.json", "vendor/acme/lib", "",
         [](const std::string& c) {
             // An older checkout marks every folder, and is named once.
             std::filesystem::remove_all(c + "/.git");
             writeText(c + "/.svn/entries", "10\n");
             writeText(c + "/src/.svn/entries", "10\n");
         },
         ", whose work cannot be judged here", "Subversion checkout"},
    };
    git(tmp.path(), {"clone", "-q", origin, tmp / "clone-worktree"});
    std::vector<std::string> named;
    for (const auto& row : rows) {
        const std::string clone = tree + "/" + row.project + "/" + row.clone;
        writeFile(tree + "/" + row.project + "/" + row.marker, 10);
        git(tmp.path(), {"clone", "-q", origin, clone});
        row.work(clone);
        if (row.offer.empty()) named.push_back(clone);
    }
    const auto got = offered(scan(), tree);
    std::sort(named.begin(), named.end());
    EXPECT_EQ(skipsSaid(), named);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.project);
        const std::string project = tree + "/" + row.project, folder = project + "/" + row.clone.substr(0, row.clone.find('/'));
        EXPECT_EQ(got.at(row.project), row.offer.empty() ? std::vector<std::string>{} : std::vector<std::string>{row.offer});
        const std::string said = folder + " holds the " + row.holder + " " + project + "/" + row.clone;
        for (const bool execute : {false, true}) {
            const auto items = outcome(clean(project, execute, {folder}));
            EXPECT_EQ(items.at(folder).rfind(row.offer.empty() ? said : "moved", 0), 0u) << items.at(folder);
            EXPECT_NE(items.at(folder).find(row.why), std::string::npos) << items.at(folder);
        }
        EXPECT_EQ(exists(project + "/" + row.clone), row.offer.empty());
    }
    EXPECT_FALSE(exists(tmp / "ran"));
}

// The user's own Git files, which Git reads for every repository, wherever
// the user's configuration folder lies: one that is no regular file (a FIFO,
// which Git would wait on for the look's minute) leaves the clone unjudged
// at once, and named.
TEST_F(TrackedFolders, AUsersOwnGitFileThatIsNoRegularFileLeavesTheCloneUnjudged) {
    const std::string origin = tmp / "origin", clone = tree + "/p/vendor/acme/lib", elsewhere = tmp / "config";
    newRepository(origin);
    writeFiles(origin, {{"src/Lib.php", 100}});
    commitAll(origin);
    writeFile(tree + "/p/composer.json", 10);
    git(tmp.path(), {"clone", "-q", origin, clone});
    const std::vector<std::string> guard = {"timeout", "-s", "KILL", "300"};
    struct Row {
        std::string file;
        std::vector<std::string> prefix;
    };
    const std::vector<Row> rows = {{engine.home() + "/.gitconfig", guard},
                                   {engine.home() + "/.config/git/config", guard},
                                   {engine.home() + "/.config/git/ignore", guard},
                                   {engine.home() + "/.config/git/attributes", guard},
                                   {elsewhere + "/git/config", {"env", "XDG_CONFIG_HOME=" + elsewhere, "timeout", "-s", "KILL", "300"}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        makeDirs(row.file.substr(0, row.file.rfind('/')));
        ASSERT_EQ(mkfifo(row.file.c_str(), 0644), 0);
        const auto got = offered(scan(row.prefix), tree);
        std::filesystem::remove(row.file);
        EXPECT_EQ(got.at("p"), std::vector<std::string>{});
        EXPECT_EQ(skipsSaid(), std::vector<std::string>{clone});
        EXPECT_NE(lastRun.err.find("whose work cannot be judged: " + row.file + ", which Git reads for every repository, is not a regular file"),
                  std::string::npos) << lastRun.err;
    }
}

// A look whose helper cannot be started (a process limit reached, the
// executable gone) leaves the clone unjudged, saying so.
TEST_F(TrackedFolders, ALookWhoseHelperCannotBeStartedSaysSo) {
    const std::string origin = tmp / "origin", clone = tree + "/lib";
    newRepository(origin);
    writeFiles(origin, {{"src/Lib.php", 100}});
    commitAll(origin);
    git(tmp.path(), {"clone", "-q", origin, clone});
    const int top = open(clone.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(top, 0);
    const std::string executable = engine::HelperProcess::executable;
    engine::HelperProcess::executable = tmp / "gone";
    const std::atomic<bool> stop{false};
    const engine::GitWork work = engine::gitWorkIn(top, clone, stop);
    engine::HelperProcess::executable = executable;
    close(top);
    EXPECT_EQ(work.kind, engine::GitWork::Kind::Unjudged);
    EXPECT_EQ(work.detail.rfind("Git could not be started to look at it (", 0), 0u) << work.detail;
}

namespace {

std::string bigEndian32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// An index file of `version` whose entries are given as the bytes after each
// entry's flags (a version 2 path with its padding, or a version 4 entry),
// with a shared part named `link` when not empty. The checksum is not read.
std::string indexFile(std::uint32_t version, const std::vector<std::pair<std::uint16_t, std::string>>& entries, const std::string& link = {}) {
    std::string out = "DIRC" + bigEndian32(version) + bigEndian32(static_cast<std::uint32_t>(entries.size()));
    for (const auto& [nameLength, rest] : entries) {
        out += std::string(24, '\0') + bigEndian32(0100644) + std::string(12, '\0') + std::string(20, '\x11');
        out += {static_cast<char>(nameLength >> 8), static_cast<char>(nameLength)};
        out += rest;
    }
    if (!link.empty()) out += "link" + bigEndian32(static_cast<std::uint32_t>(link.size())) + link;
    return out + std::string(20, '\0');
}

// `data` as a zlib stream of one stored (uncompressed) block, as Git's
// loose objects are read.
std::string zlibStored(const std::string& data) {
    std::uint32_t a = 1, b = 0;
    for (const unsigned char c : data) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    const auto n = static_cast<std::uint16_t>(data.size());
    std::string out = {'\x78', '\x01', '\x01', static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(~n),
                       static_cast<char>(~n >> 8)};
    return out + data + bigEndian32((b << 16) | a);
}

std::pair<std::uint16_t, std::string> version2Entry(const std::string& path) {
    return {static_cast<std::uint16_t>(path.size()), path + std::string(8 - (62 + path.size()) % 8, '\0')};
}

}  // namespace

// An index that is hostile or broken ends nothing badly and proves nothing
// untracked: a shared part that names itself, a FIFO, a link to /dev/zero,
// version 4 paths that only grow, and a split index whose shared part is
// gone are unreadable. Each scan ends, says so once, and offers nothing in
// that repository, nor a dependency folder holding a clone with that index
// (whose work cannot be judged); a project without one is offered as before.
TEST_F(TrackedFolders, AHostileOrBrokenIndexIsUnreadableAndTheScanEnds) {
    const std::vector<std::string> cases = {"self-shared", "fifo", "zero", "growing", "no-shared"};
    const auto project = [&](const std::string& name) {
        const std::string p = tmp / name + "/p";
        writeFiles(tmp / name, {{"plain/package.json", 10}, {"plain/node_modules/x/index.js", 100}});
        if (name == "no-shared") return p;
        writeFiles(p, {{"package.json", 10}, {"node_modules/x/index.js", 100}});
        writeText(p + "/.git/HEAD", "ref: refs/heads/main\n");
        return p;
    };
    const std::string selfShared = project("self-shared"), fifo = project("fifo"), zero = project("zero"),
                      growing = project("growing"), noShared = project("no-shared");

    const std::string name(20, '\xab');
    writeText(selfShared + "/.git/index", indexFile(2, {version2Entry("package.json")}, name));
    writeText(selfShared + "/.git/sharedindex.abababababababababababababababababababab", indexFile(2, {version2Entry("src/app.js")}, name));
    ASSERT_EQ(mkfifo((fifo + "/.git/index").c_str(), 0644), 0);
    ASSERT_EQ(symlink("/dev/zero", (zero + "/.git/index").c_str()), 0);
    // Each path one byte longer than the one before: a few megabytes that
    // would name gigabytes of paths.
    std::vector<std::pair<std::uint16_t, std::string>> longer;
    for (int i = 0; i < 70000; ++i) longer.emplace_back(static_cast<std::uint16_t>(std::min(i + 1, 0xFFF)), std::string("\0a\0", 3));
    writeText(growing + "/.git/index", indexFile(4, longer));

    newRepository(noShared);
    writeFiles(noShared, {{"package.json", 10}, {"node_modules/keep/index.js", 100}});
    git(noShared, {"add", "-f", "."});
    git(noShared, {"commit", "-q", "-m", "Kept"});
    git(noShared, {"update-index", "--split-index"});
    for (const auto& e : std::filesystem::directory_iterator(noShared + "/.git"))
        if (e.path().filename().string().rfind("sharedindex.", 0) == 0) std::filesystem::rename(e.path(), tmp / "moved-away");

    for (const auto& c : cases) {
        SCOPED_TRACE(c);
        const std::string q = tmp / c + "/q";
        writeFile(q + "/composer.json", 10);
        makeDirs(q + "/vendor/x");
        runProgram({"cp", "-a", tmp / c + "/p/.git", q + "/vendor/x/.git"}, {}, tmp.path());
        // A guard so that a hang or a runaway read fails here instead of
        // stalling the suite or the machine.
        // The address sanitizer reserves its shadow memory as data, far past
        // any such limit, so its build runs with the time guard alone.
#if defined(__SANITIZE_ADDRESS__)
        lastRun = engine.scan({tmp / c}, 30, 8, {"timeout", "-s", "KILL", "300"});
#else
        lastRun = engine.scan({tmp / c}, 30, 8, {"timeout", "-s", "KILL", "300", "prlimit", "--data=2000000000", "--"});
#endif
        if (lastRun.exitCode != 0) {
            const auto progress = lastRun.err.rfind("PROGRESS");
            ADD_FAILURE() << "exit " << lastRun.exitCode << ", signal " << lastRun.signal << ": "
                          << lastRun.err.substr(progress == std::string::npos ? 0 : progress);
            continue;
        }
        const auto got = offered(decode<DashboardDTO>(lastRun.out), tmp / c);
        EXPECT_EQ(got.at("p"), std::vector<std::string>{});
        EXPECT_EQ(got.at("q"), std::vector<std::string>{});
        EXPECT_EQ(got.at("plain"), std::vector<std::string>{"node_modules caution"});
        EXPECT_EQ(skipsSaid(), (std::vector<std::string>{tmp / c + "/p", q + "/vendor/x"})) << "once each";
    }
}

// A clone whose files claim gigabytes (an index of two billion entries, in
// 212 bytes) costs the engine no more memory than any other, however many
// there are: each is kept and named, by the scan and by the clean, as one
// whose repository could not be read within the memory a look may take.
TEST_F(TrackedFolders, ACloneClaimingGigabytesCostsNoMemoryAndIsKept) {
    const std::string origin = tmp / "origin";
    newRepository(origin);
    writeFiles(origin, {{"src/Lib.php", 100}});
    commitAll(origin);
    writeFile(tree + "/p/composer.json", 10);
    std::vector<std::string> clones;
    for (const std::string name : {"a", "b", "c", "d"}) {
        clones.push_back(tree + "/p/vendor/acme/" + name);
        git(tmp.path(), {"clone", "-q", origin, clones.back()});
        writeText(clones.back() + "/.git/index", "DIRC" + bigEndian32(2) + bigEndian32(0x7fffffff) + std::string(200, '\0'));
    }
    // And one whose checked-out tree claims 1.5 GB, in a few bytes: libgit2
    // tells of the refused allocation as a commit it cannot peel.
    clones.push_back(tree + "/p/vendor/acme/e");
    git(tmp.path(), {"clone", "-q", origin, clones.back()});
    const RunResult treeId = runProgram({"git", "-C", clones.back(), "rev-parse", "HEAD^{tree}"}, {"HOME=" + engine.home()}, tmp.path());
    ASSERT_EQ(treeId.exitCode, 0) << treeId.err;
    const std::string id = treeId.out.substr(0, 40), object = clones.back() + "/.git/objects/" + id.substr(0, 2) + "/" + id.substr(2);
    std::filesystem::remove(object);  // a link to the origin's
    writeText(object, zlibStored(std::string("tree 1500000000") + '\0'));
    std::sort(clones.begin(), clones.end());
    const auto got = offered(scan({"timeout", "-s", "KILL", "300"}), tree);
    EXPECT_EQ(got.at("p"), std::vector<std::string>{});
    EXPECT_EQ(skipsSaid(), clones);
    for (const bool execute : {false, true}) {
        const std::string said = outcome(clean(tree + "/p", execute, {tree + "/p/vendor"})).at(tree + "/p/vendor");
        EXPECT_EQ(said.rfind(tree + "/p/vendor holds the Git repository", 0), 0u) << said;
    }
    // The address sanitizer's build runs its helpers without the cap, and
    // its allocator ends them otherwise.
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(lastRun.peakKilobytes, 256 * 1024) << "the engine and its helpers, each at its largest";
    const std::string said = "whose work cannot be judged: its repository could not be read within the memory a look may take.";
    std::size_t times = 0;
    for (auto at = lastRun.err.find(said); at != std::string::npos; at = lastRun.err.find(said, at + 1)) ++times;
    EXPECT_EQ(times, clones.size()) << lastRun.err;
#endif
    EXPECT_TRUE(exists(clones.back() + "/src/Lib.php"));
}

namespace {

// Whether a process below `pid` waits, opening a FIFO, for a writer. One
// that has ended (the scan was not held) waits for none.
bool waitsForAWriter(pid_t pid) {
    std::error_code gone;
    for (std::filesystem::directory_iterator task("/proc/" + std::to_string(pid) + "/task", gone), end; !gone && task != end;
         task.increment(gone)) {
        std::istringstream children(readText(task->path().string() + "/children"));
        for (pid_t child; children >> child;)
            if (readText("/proc/" + std::to_string(child) + "/wchan") == "wait_for_partner" || waitsForAWriter(child)) return true;
    }
    return false;
}

}  // namespace

// A look at a clone has the minute it claims, not a second: one that Git's
// read holds for longer (the user's own ignore file is a FIFO, which Git
// waits on until a writer opens it) is judged once let go. A termination
// request while it is held ends the engine by that signal.
TEST_F(TrackedFolders, AHeldLookAtACloneHasItsMinuteAndASignalEndsTheWait) {
    const std::string origin = tmp / "origin", fifo = tmp / "excludes";
    newRepository(origin);
    writeFiles(origin, {{"src/Lib.php", 100}});
    commitAll(origin);
    writeFile(tree + "/p/composer.json", 10);
    git(tmp.path(), {"clone", "-q", origin, tree + "/p/vendor/acme/lib"});
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    writeText(engine.home() + "/.gitconfig", "[core]\n\texcludesFile = " + fifo + "\n");
    std::atomic<pid_t> running{-1};
    engine.started = [&](pid_t pid) { running = pid; };
    for (const bool asked : {false, true}) {
        SCOPED_TRACE(asked ? "asked to end" : "let go");
        // The guard passes the termination request on and ends by it too.
        auto scanning = std::async(std::launch::async, [&] { return engine.scan({tree}, 30, 8, {"timeout", "-s", "KILL", "300"}); });
        bool held = false;
        while (scanning.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
            if (!held && running > 0 && waitsForAWriter(running)) {
                held = true;
                if (asked) kill(running, SIGTERM);
                else std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // past a deadline of a second
            }
            // Let go, each time Git opens it.
            if (const int writer = held ? open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC) : -1; writer >= 0) close(writer);
        }
        lastRun = scanning.get();
        EXPECT_TRUE(held) << "the look waited for the FIFO in a process of its own";
        if (asked) {
            EXPECT_EQ(lastRun.signal, SIGTERM) << lastRun.err;
            continue;
        }
        ASSERT_EQ(lastRun.exitCode, 0) << lastRun.err;
        EXPECT_EQ(offered(decode<DashboardDTO>(lastRun.out), tree).at("p"), std::vector<std::string>{"vendor caution"}) << lastRun.err;
        EXPECT_EQ(skipsSaid(), std::vector<std::string>{});
    }
}

// The user's own Git files on a share that does not answer (a home on a
// network filesystem) are never looked at by the engine itself: the clone
// is named at once, and the clean ends.
TEST_F(TrackedFolders, TheUsersGitFilesOnAShareThatDoesNotAnswerLeaveTheCloneNamed) {
    ASSERT_TRUE(testsupport::enterOwnMountNamespace()) << "tests run as root";
    const std::string origin = tmp / "origin", project = tree + "/p", config = engine.home() + "/.config";
    newRepository(origin);
    writeFiles(origin, {{"src/Lib.php", 100}});
    commitAll(origin);
    writeFile(project + "/composer.json", 10);
    git(tmp.path(), {"clone", "-q", origin, project + "/vendor/acme/lib"});
    makeDirs(config);
    testsupport::SilentFilesystem share(config);
    ASSERT_TRUE(share.mounted());
    share.fallSilent();
    auto cleaning = std::async(std::launch::async, [&] {
        return engine.run({"clean", "--project", project, "--json", "--caution", "--artifact", project + "/vendor"}, true, false,
                          {"timeout", "-s", "KILL", "200"});
    });
    if (cleaning.wait_for(std::chrono::minutes(4)) != std::future_status::ready) share.hangUp();
    lastRun = cleaning.get();
    ASSERT_EQ(lastRun.exitCode, 0) << lastRun.err;
    EXPECT_NE(outcome(decode<CleanReportDTO>(lastRun.out)).at(project + "/vendor").find(
                  config + "/git/config, which Git reads for every repository, lies on a filesystem that does not answer"),
              std::string::npos) << lastRun.out;
}

namespace {

// The clone whose look a process below `pid` holds, waiting on a FIFO for a
// writer (the helper's last argument), or empty.
std::string cloneHeldBelow(pid_t pid) {
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", std::filesystem::directory_options::skip_permission_denied)) {
        std::istringstream children(readText(task.path().string() + "/children"));
        for (pid_t child; children >> child;) {
            const std::string at = "/proc/" + std::to_string(child);
            if (readText(at + "/wchan") == "wait_for_partner") {
                const std::string cmdline = readText(at + "/cmdline");
                const auto end = cmdline.find_last_not_of('\0');
                return end == std::string::npos ? "" : cmdline.substr(cmdline.rfind('\0', end) + 1, end - cmdline.rfind('\0', end));
            }
            if (auto held = cloneHeldBelow(child); !held.empty()) return held;
        }
    }
    return {};
}

}  // namespace

// A share that no longer answers, mounted at the .git of a clone in one of
// the clean's folders after the clean started (while a clone in the other
// was looked at), is named at once: the folder holding it stays, never
// waited on, and the other folder moves.
TEST_F(TrackedFolders, AShareMountedAtACloneWhileTheCleanRunsIsNamedAtOnce) {
    ASSERT_TRUE(testsupport::enterOwnMountNamespace()) << "tests run as root";
    const std::string origin = tmp / "origin", fifo = tmp / "excludes", project = tree + "/p";
    newRepository(origin);
    writeFiles(origin, {{"src/Lib.php", 100}});
    commitAll(origin);
    writeFiles(project, {{"composer.json", 10}, {"package.json", 10}});
    const std::vector<std::string> folders = {project + "/node_modules", project + "/vendor"};
    const std::vector<std::string> clones = {folders[0] + "/pkg", folders[1] + "/acme/lib"};
    for (const auto& clone : clones) git(tmp.path(), {"clone", "-q", origin, clone});
    // Each look waits on the user's own ignore file until the test writes to it.
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    writeText(engine.home() + "/.gitconfig", "[core]\n\texcludesFile = " + fifo + "\n");
    std::atomic<pid_t> running{-1};
    engine.started = [&](pid_t pid) { running = pid; };
    auto cleaning = std::async(std::launch::async, [&] {
        return engine.run({"clean", "--project", project, "--json", "--caution", "--execute", "--artifact", folders[0], "--artifact", folders[1]},
                          true, false, {"timeout", "-s", "KILL", "280"});
    });
    std::unique_ptr<testsupport::SilentFilesystem> share;
    std::string mountedAt;
    while (cleaning.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        if (!share && running > 0) {
            if (const std::string held = cloneHeldBelow(running); !held.empty()) {
                mountedAt = (held == clones[0] ? clones[1] : clones[0]) + "/.git";
                share = std::make_unique<testsupport::SilentFilesystem>(mountedAt);
                ASSERT_TRUE(share->mounted());
                share->fallSilent();
            }
        }
        if (const int writer = share ? open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC) : -1; writer >= 0) close(writer);
    }
    lastRun = cleaning.get();
    ASSERT_TRUE(share) << "a look was held: " << lastRun.err;
    ASSERT_EQ(lastRun.exitCode, 0) << lastRun.err;
    const auto items = outcome(decode<CleanReportDTO>(lastRun.out));
    const std::string stays = mountedAt.starts_with(folders[0]) ? folders[0] : folders[1], moves = stays == folders[0] ? folders[1] : folders[0];
    EXPECT_EQ(items.at(moves), "moved");
    EXPECT_EQ(items.at(stays), stays + " holds another mounted filesystem at " + mountedAt + ", which would go with it to the Trash; left in place");
    EXPECT_TRUE(exists(stays));
}

// A read of a clone that would never end holds neither the scan nor the
// machine. An ignore file that is a FIFO, which Git would open and wait on,
// leaves the clone unjudged at once, in its work tree or named in its config;
// one named in the user's own config, after a minute. Each is named once, and
// the scan ends. (The tree lies in a hidden folder, where a scan of the whole
// disk looks for no project and waits on none of them.)
TEST_F(TrackedFolders, ACloneWhoseReadNeverEndsIsUnjudgedAndTheScanEnds) {
    const std::string origin = tmp / "origin", hidden = tmp / ".hidden", fifo = tmp / "fifo";
    newRepository(origin);
    writeFiles(origin, {{"src/Lib.php", 100}});
    commitAll(origin);
    std::vector<std::string> clones;
    for (const std::string project : {"config", "ignore", "user"}) {
        const std::string clone = hidden + "/" + project + "/vendor/acme/lib";
        writeFile(hidden + "/" + project + "/composer.json", 10);
        git(tmp.path(), {"clone", "-q", origin, clone});
        clones.push_back(clone);
    }
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    git(clones[0], {"config", "core.excludesFile", fifo});
    ASSERT_EQ(mkfifo((clones[1] + "/src/.gitignore").c_str(), 0644), 0);
    const std::string user = engine.home() + "/.gitconfig";
    writeText(user, "[core]\n\texcludesFile = " + fifo + "\n");
    // The other two are left unjudged before libgit2 reads the user's config.
    lastRun = engine.scan({hidden}, 30, 8, {"timeout", "-s", "KILL", "300"});
    std::filesystem::remove(user);
    ASSERT_EQ(lastRun.exitCode, 0) << lastRun.err;
    const auto got = offered(decode<DashboardDTO>(lastRun.out), hidden);
    for (const std::string project : {"config", "ignore", "user"}) EXPECT_EQ(got.at(project), std::vector<std::string>{}) << project;
    EXPECT_EQ(skipsSaid(), clones);
    EXPECT_NE(lastRun.err.find("its config names " + fifo + ", which is not a regular file"), std::string::npos);
    EXPECT_NE(lastRun.err.find("src/.gitignore is not a regular file"), std::string::npos);
    EXPECT_NE(lastRun.err.find("did not finish looking at it within a minute"), std::string::npos);
}
