// The engine's scan, end to end on generated fixture trees.

#include "core/EngineRecords.h"

#include "EngineTestSupport.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/time.h>

#include <algorithm>
#include <csignal>
#include <map>

using namespace tidewell;
using namespace enginetest;

namespace {

class Scan : public ::testing::Test {
protected:
    TempDir tmp;
    std::string tree = tmp / "tree";
    EngineRunner engine{tmp / "sandbox"};

    void SetUp() override { makeDirs(tree); }

    DashboardDTO scan(const std::vector<std::string>& roots, int idleDays = 30, int maxDepth = 8) {
        lastRun = engine.scan(roots, idleDays, maxDepth);
        EXPECT_EQ(lastRun.exitCode, 0) << lastRun.err;
        return decode<DashboardDTO>(lastRun.out);
    }
    DashboardDTO scanTree() { return scan({tree}); }

    static const ProjectDTO* find(const DashboardDTO& d, const std::string& path) {
        for (const auto& p : d.projects)
            if (p.path == path) return &p;
        return nullptr;
    }
    static std::vector<std::string> artifactPaths(const ProjectDTO& p) {
        std::vector<std::string> out;
        for (const auto& a : p.artifacts) out.push_back(a.relative_path);
        return out;
    }
    std::vector<ScanProgressEvent> events() const {
        std::vector<ScanProgressEvent> out;
        std::size_t pos = 0;
        while (pos < lastRun.err.size()) {
            const auto nl = lastRun.err.find('\n', pos);
            const std::string line = lastRun.err.substr(pos, nl - pos);
            if (line.rfind("PROGRESS:", 0) == 0) out.push_back(decode<ScanProgressEvent>(line.substr(9)));
            pos = nl == std::string::npos ? lastRun.err.size() : nl + 1;
        }
        return out;
    }

    RunResult lastRun;
};

void setMtime(const std::string& path, std::int64_t when) {
    timespec ts[2] = {{when, 0}, {when, 0}};
    utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW);
}

// Every entry below `root` (itself included) gets modification time `when`.
void ageTree(const std::string& root, std::int64_t when) {
    static std::int64_t stamp;
    stamp = when;
    nftw(root.c_str(), [](const char* p, const struct stat*, int, FTW*) {
        setMtime(p, stamp);
        return 0;
    }, 16, FTW_PHYS | FTW_DEPTH);
}

}  // namespace

TEST_F(Scan, EveryStackIsFoundByItsMarkersAndNeverWithoutThem) {
    const std::map<std::string, std::string> markers = {
        {"flutter", "pubspec.yaml"}, {"android", "build.gradle.kts"}, {"ios", "Podfile"},      {"node", "package.json"},
        {"php", "composer.json"},    {"python", "pyproject.toml"},    {"rust", "Cargo.toml"}, {"go", "go.mod"}};
    for (const auto& [stack, marker] : markers) writeFile(tree + "/" + stack + "/" + marker);
    writeFile(tree + "/react_native/package.json");
    writeFile(tree + "/react_native/metro.config.js");
    makeDirs(tree + "/xcode/App.xcodeproj");
    // Look-alikes without a marker: artifact names, a marker name as a folder's part
    writeFile(tree + "/plain/build/out.o");
    writeFile(tree + "/plain/vendor/lib.php");
    writeFile(tree + "/plain/target/debug/app");
    writeFile(tree + "/plain/package.json.orig");
    writeFile(tree + "/plain/notes/Cargo.toml.txt");

    const DashboardDTO d = scanTree();
    for (const auto& [stack, marker] : markers) {
        const ProjectDTO* p = find(d, tree + "/" + stack);
        ASSERT_NE(p, nullptr) << stack;
        EXPECT_EQ(p->types, std::vector<std::string>{stack});
        EXPECT_EQ(p->name, stack);
    }
    ASSERT_NE(find(d, tree + "/react_native"), nullptr);
    EXPECT_EQ(find(d, tree + "/react_native")->types, (std::vector<std::string>{"react_native", "node"}));
    ASSERT_NE(find(d, tree + "/xcode"), nullptr);
    EXPECT_EQ(find(d, tree + "/xcode")->types, std::vector<std::string>{"ios"});
    EXPECT_EQ(d.project_count, 10);
    EXPECT_EQ(d.projects.size(), 10u) << "nothing under plain/ is a project";
    EXPECT_EQ(d.roots, std::vector<std::string>{tree});
    EXPECT_GT(d.scanned_at_unix, 0);
    ASSERT_EQ(d.by_type.size(), 9u);
    EXPECT_EQ(d.by_type[0].project_type, "flutter");
    EXPECT_EQ(d.by_type[4].project_type, "node");
    EXPECT_EQ(d.by_type[4].project_count, 2) << "node and react_native both count as node";
}

TEST_F(Scan, GenericArtifactNamesCountOnlyUnderTheirStack) {
    writeFile(tree + "/go-app/go.mod");
    writeFile(tree + "/go-app/bin/tool", 5000);
    writeFile(tree + "/go-app/build/x", 5000);  // "build" is not a Go artifact
    writeFile(tree + "/php-app/composer.json");
    writeFile(tree + "/php-app/vendor/autoload.php", 5000);
    writeFile(tree + "/py/requirements.txt");
    writeFile(tree + "/py/.venv/lib/x.py", 5000);
    writeFile(tree + "/py/__pycache__/m.pyc", 5000);
    writeFile(tree + "/ios-app/Podfile");
    writeFile(tree + "/ios-app/Pods/Lib/a.m", 5000);

    const DashboardDTO d = scanTree();
    const ProjectDTO* go = find(d, tree + "/go-app");
    ASSERT_NE(go, nullptr);
    EXPECT_EQ(artifactPaths(*go), std::vector<std::string>{"bin"});
    EXPECT_EQ(go->artifacts[0].safetyClass, "caution");
    EXPECT_EQ(go->artifacts[0].absolute_path, tree + "/go-app/bin");
    EXPECT_TRUE(go->artifacts[0].exists);
    EXPECT_EQ(go->caution_bytes, go->reclaimable_bytes);
    EXPECT_EQ(find(d, tree + "/php-app")->artifacts.at(0).safetyClass, "caution");
    const ProjectDTO* py = find(d, tree + "/py");
    EXPECT_EQ(artifactPaths(*py), (std::vector<std::string>{".venv", "__pycache__"}));
    EXPECT_EQ(py->artifacts[0].safetyClass, "caution");
    EXPECT_EQ(py->artifacts[1].safetyClass, "safe");
    EXPECT_EQ(py->safe_bytes + py->caution_bytes, py->reclaimable_bytes);
    EXPECT_EQ(find(d, tree + "/ios-app")->artifacts.at(0).safetyClass, "caution");
}

TEST_F(Scan, NestedProjectsAreFoundButArtifactsAreNeverEntered) {
    writeFile(tree + "/mono/package.json");
    writeFile(tree + "/mono/packages/web/package.json");
    writeFile(tree + "/mono/packages/web/node_modules/dep/package.json");  // inside an artifact
    writeFile(tree + "/mono/packages/api/Cargo.toml");
    writeFile(tree + "/mono/packages/api/target/x/Cargo.toml");
    writeFile(tree + "/mono/node_modules/left-pad/package.json");
    writeFile(tree + "/rn/package.json");
    writeFile(tree + "/rn/metro.config.js");
    writeFile(tree + "/rn/android/build.gradle");
    writeFile(tree + "/rn/android/app/build/out.dex", 3000);
    writeFile(tree + "/rn/ios/Podfile");
    writeFile(tree + "/rn/ios/Pods/p.m", 3000);

    const DashboardDTO d = scanTree();
    std::vector<std::string> paths;
    for (const auto& p : d.projects) paths.push_back(p.path);
    EXPECT_EQ(paths, (std::vector<std::string>{tree + "/mono", tree + "/mono/packages/api", tree + "/mono/packages/web",
                                               tree + "/rn", tree + "/rn/android", tree + "/rn/ios"}));
    const ProjectDTO* mono = find(d, tree + "/mono");
    const ProjectDTO* web = find(d, tree + "/mono/packages/web");
    EXPECT_GT(mono->total_bytes, web->total_bytes) << "an outer project holds its nested ones";
    EXPECT_EQ(duBytes({tree + "/mono"}, tmp.path()), mono->total_bytes);
    // Folders that two projects name are listed once, by the outer project.
    const ProjectDTO* rn = find(d, tree + "/rn");
    EXPECT_EQ(artifactPaths(*rn), (std::vector<std::string>{"android/app/build", "ios/Pods"}));
    EXPECT_TRUE(find(d, tree + "/rn/android")->artifacts.empty());
    EXPECT_TRUE(find(d, tree + "/rn/ios")->artifacts.empty());
    EXPECT_EQ(d.total_bytes, duBytes({tree + "/mono", tree + "/rn"}, tmp.path())) << "nested projects add nothing";
}

TEST_F(Scan, SymbolicLinksAreNeverFollowed) {
    writeFile(tree + "/app/package.json");
    writeFile(tree + "/app/src/index.js", 2000);
    writeFile(tree + "/outside/big.bin", 200000);
    writeFile(tree + "/outside/nested/package.json");
    symlink("/", (tree + "/app/rootlink").c_str());
    symlink((tree + "/outside").c_str(), (tree + "/app/node_modules").c_str());
    symlink((tree + "/outside").c_str(), (tree + "/link-to-outside").c_str());

    const DashboardDTO d = scanTree();
    const ProjectDTO* app = find(d, tree + "/app");
    ASSERT_NE(app, nullptr);
    EXPECT_TRUE(app->artifacts.empty()) << "a linked node_modules is not a real folder of the project";
    EXPECT_EQ(app->total_bytes, duBytes({tree + "/app"}, tmp.path()));
    EXPECT_LT(app->total_bytes, 200000u);
    EXPECT_EQ(d.project_count, 2) << "outside/nested is found once, through the real folder only";
}

TEST_F(Scan, HiddenSkippedAndTooDeepFoldersAreNotSearched) {
    writeFile(tree + "/.hidden/app/package.json");
    writeFile(tree + "/.Trash-1000/files/app/package.json");
    writeFile(tree + "/lost+found/app/package.json");
    writeFile(tree + "/a/b/c/deep/package.json");  // depth 4
    writeFile(tree + "/a/shallow/package.json");    // depth 2
    const DashboardDTO d = scan({tree}, 30, 3);
    ASSERT_EQ(d.projects.size(), 1u);
    EXPECT_EQ(d.projects[0].path, tree + "/a/shallow");
    // A hidden root is walked: the user asked for it.
    const DashboardDTO h = scan({tree + "/.hidden"});
    EXPECT_EQ(h.project_count, 1);
}

TEST_F(Scan, SizesAreBytesOnDiskAsDuCountsThem) {
    writeFile(tree + "/app/package.json", 10);
    writeFile(tree + "/app/src/a.js", 1);
    writeFile(tree + "/app/src/b.js", 4097);
    writeFile(tree + "/app/assets/big.png", 1 << 20);
    writeFile(tree + "/app/node_modules/x/index.js", 12345);
    writeFile(tree + "/app/.git/objects/aa", 777);
    const int sparse = open((tree + "/app/sparse.img").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_EQ(ftruncate(sparse, 50 << 20), 0);  // 50 MB apparent, nothing allocated
    close(sparse);
    symlink("src/a.js", (tree + "/app/link.js").c_str());
    writeFile(tree + "/lib/Cargo.toml", 10);
    writeFile(tree + "/lib/target/debug/lib.rlib", 300000);

    const DashboardDTO d = scanTree();
    for (const auto& p : d.projects) EXPECT_EQ(p.total_bytes, duBytes({p.path}, tmp.path())) << p.path;
    const ProjectDTO* app = find(d, tree + "/app");
    EXPECT_EQ(app->artifacts.at(0).size_bytes, duBytes({tree + "/app/node_modules"}, tmp.path()));
    EXPECT_LT(app->total_bytes, 50u << 20);
    EXPECT_EQ(d.total_bytes, duBytes({tree + "/app", tree + "/lib"}, tmp.path()));
    EXPECT_EQ(d.reclaimable_bytes, app->reclaimable_bytes + find(d, tree + "/lib")->reclaimable_bytes);
}

TEST_F(Scan, HardLinkedFilesCountOnceAndOnlyWhereMovingWouldFreeThem) {
    // A pnpm-style store outside the projects, linked into two projects.
    writeFile(tree + "/store/shared.js", 40000);
    writeFile(tree + "/store/own.js", 30000);
    for (const char* p : {"one", "two"}) {
        const std::string proj = tree + "/" + p;
        writeFile(proj + "/package.json");
        makeDirs(proj + "/node_modules/.pnpm/dep");
        ASSERT_EQ(link((tree + "/store/shared.js").c_str(), (proj + "/node_modules/.pnpm/dep/shared.js").c_str()), 0);
    }
    // Linked twice inside one artifact: moving it frees the file.
    writeFile(tree + "/one/node_modules/solo.js", 20000);
    ASSERT_EQ(link((tree + "/one/node_modules/solo.js").c_str(), (tree + "/one/node_modules/solo-again.js").c_str()), 0);
    // Linked from the artifact and from the project's own sources: moving frees nothing.
    writeFile(tree + "/two/src/keep.js", 25000);
    ASSERT_EQ(link((tree + "/two/src/keep.js").c_str(), (tree + "/two/node_modules/keep.js").c_str()), 0);

    const DashboardDTO d = scan({tree + "/one", tree + "/two"});
    const ProjectDTO* one = find(d, tree + "/one");
    const ProjectDTO* two = find(d, tree + "/two");
    ASSERT_TRUE(one && two);
    EXPECT_EQ(one->total_bytes, duBytes({tree + "/one"}, tmp.path()));
    EXPECT_EQ(two->total_bytes, duBytes({tree + "/two"}, tmp.path()));
    EXPECT_EQ(d.total_bytes, duBytes({tree + "/one", tree + "/two"}, tmp.path())) << "the shared file once per scan";
    EXPECT_LT(d.total_bytes, one->total_bytes + two->total_bytes);

    const auto nm1 = duBytes({tree + "/one/node_modules"}, tmp.path());
    const auto shared = duBytes({tree + "/store/shared.js"}, tmp.path());
    EXPECT_EQ(one->artifacts.at(0).size_bytes, nm1 - shared) << "solo.js counts (once), shared.js does not";
    const auto keep = duBytes({tree + "/two/src/keep.js"}, tmp.path());
    EXPECT_EQ(two->artifacts.at(0).size_bytes, duBytes({tree + "/two/node_modules"}, tmp.path()) - shared - keep);
}

TEST_F(Scan, IdleActiveAndPinnedProjects) {
    const std::int64_t now = time(nullptr);
    const std::int64_t old = now - 100 * 86400;
    writeFile(tree + "/old/package.json");
    writeFile(tree + "/old/node_modules/fresh.js");  // artifacts change without the user
    writeFile(tree + "/old/.git/index");             // and so does version control
    writeFile(tree + "/recent/package.json");
    writeFile(tree + "/kept/package.json");
    writeFile(tree + "/kept/.tidewell-keep", 0);
    writeFile(tree + "/busy/package.json");
    ageTree(tree + "/old", old);
    ageTree(tree + "/kept", old);
    ageTree(tree + "/busy", old);
    setMtime(tree + "/old/node_modules/fresh.js", now);
    setMtime(tree + "/old/.git/index", now);

    // A process of the user working inside "busy".
    const pid_t child = fork();
    if (child == 0) {
        if (chdir((tree + "/busy").c_str()) == 0) execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    // Wait until the child has changed its folder and become sleep.
    for (int i = 0; i < 1000; ++i) {
        char buf[4096];
        const ssize_t n = readlink(("/proc/" + std::to_string(child) + "/cwd").c_str(), buf, sizeof buf);
        if (n > 0 && std::string(buf, n) == tree + "/busy" && readText("/proc/" + std::to_string(child) + "/comm") == "sleep\n") break;
        usleep(5000);
    }
    const DashboardDTO d = scanTree();
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    const ProjectDTO* o = find(d, tree + "/old");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->last_activity_unix, old);
    EXPECT_EQ(o->idle_days, 100u);
    EXPECT_TRUE(o->is_idle);
    EXPECT_FALSE(o->is_active);
    EXPECT_FALSE(o->pinned);
    const ProjectDTO* r = find(d, tree + "/recent");
    EXPECT_FALSE(r->is_idle);
    EXPECT_TRUE(r->is_active);
    EXPECT_EQ(r->idle_days, 0u);
    EXPECT_TRUE(find(d, tree + "/kept")->pinned);
    EXPECT_TRUE(find(d, tree + "/kept")->is_idle);
    EXPECT_TRUE(find(d, tree + "/busy")->is_active);
    EXPECT_TRUE(find(d, tree + "/busy")->is_idle);
    EXPECT_EQ(d.idle_count, 3);

    const DashboardDTO strict = scan({tree}, 101);
    EXPECT_FALSE(find(strict, tree + "/old")->is_idle);
}

TEST_F(Scan, IdsAreStableAcrossScans) {
    writeFile(tree + "/a/package.json");
    writeFile(tree + "/b/package.json");
    const DashboardDTO first = scanTree();
    writeFile(tree + "/c/package.json");
    const DashboardDTO second = scanTree();
    EXPECT_EQ(find(first, tree + "/a")->id, find(second, tree + "/a")->id);
    EXPECT_NE(find(second, tree + "/a")->id, find(second, tree + "/b")->id);
}

TEST_F(Scan, ProgressEventsTellTheWholeStory) {
    writeFile(tree + "/a/package.json");
    writeFile(tree + "/b/Cargo.toml");
    scan({tree, tmp / "missing-root"});
    const auto ev = events();
    ASSERT_GE(ev.size(), 6u);
    EXPECT_EQ(ev.front().phase, "start");
    EXPECT_EQ(ev.back().phase, "done");
    EXPECT_EQ(ev.back().projects_found, 2);
    EXPECT_EQ(ev.back().roots_done, 2);
    int projects = 0, roots = 0, rootsDone = 0, errors = 0, caches = 0;
    for (const auto& e : ev) {
        EXPECT_EQ(e.roots_total, 2);
        EXPECT_FALSE(e.message.empty());
        projects += e.phase == "project";
        roots += e.phase == "root";
        rootsDone += e.phase == "root_done";
        caches += e.phase == "cache";
        if (e.phase == "error") {
            ++errors;
            EXPECT_EQ(e.path, tmp / "missing-root");
        }
    }
    EXPECT_EQ(projects, 2);
    EXPECT_EQ(roots, 2);
    EXPECT_EQ(rootsDone, 2);
    EXPECT_EQ(errors, 1) << "a root that cannot be read is an error and the scan goes on";
    EXPECT_GT(caches, 0);
}

TEST_F(Scan, GlobalCachesAreMeasuredUnderTheVocabularyIds) {
    writeFile(engine.home() + "/.npm/_cacache/content/a", 9000);
    const DashboardDTO d = scanTree();
    std::map<std::string, GlobalCacheDTO> byId;
    for (const auto& c : d.global_caches) byId[c.id] = c;
    ASSERT_TRUE(byId.count("node_global"));
    EXPECT_TRUE(byId["node_global"].exists);
    EXPECT_EQ(byId["node_global"].path, engine.home() + "/.npm");
    EXPECT_EQ(byId["node_global"].size_bytes, duBytes({engine.home() + "/.npm"}, tmp.path()));
    for (const char* id : {"pip", "android_emulators", "android_packages", "tool_caches", "homebrew"}) {
        ASSERT_TRUE(byId.count(id)) << id;
        EXPECT_FALSE(byId[id].exists);
    }
    EXPECT_FALSE(byId.at("ios_archives").exists);
    EXPECT_FALSE(byId.at("device_support").exists);
}

TEST_F(Scan, UnreadableFoldersAreReportedAndTheScanGoesOn) {
    writeFile(tree + "/app/package.json");
    writeFile(tree + "/app/secret/key", 100);
    writeFile(tree + "/locked/inner/package.json");
    writeFile(tree + "/open/package.json");
    std::vector<std::string> prefix;
    if (geteuid() == 0) {
        // Root reads everything: run the engine as an ordinary user instead.
        nftw(tmp.path().c_str(), [](const char* p, const struct stat* st, int, FTW*) {
            chmod(p, S_ISDIR(st->st_mode) ? 0777 : 0666);
            return 0;
        }, 16, FTW_PHYS);
        prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    chmod((tree + "/app/secret").c_str(), 0);
    chmod((tree + "/locked").c_str(), 0);
    lastRun = engine.run({"scan", "--json", "--progress", "--idle-days", "30", "--max-depth", "8", "--root", tree}, true, false,
                         prefix);
    ASSERT_EQ(lastRun.exitCode, 0) << lastRun.err;
    const DashboardDTO d = decode<DashboardDTO>(lastRun.out);
    EXPECT_NE(find(d, tree + "/app"), nullptr);
    EXPECT_NE(find(d, tree + "/open"), nullptr);
    std::vector<std::string> skipped;
    for (const auto& e : events())
        if (e.phase == "skip") skipped.push_back(e.path.value_or(""));
    std::sort(skipped.begin(), skipped.end());
    EXPECT_EQ(skipped, (std::vector<std::string>{tree + "/app/secret", tree + "/locked"}));
}

TEST_F(Scan, OtherFilesystemsAreNotEntered) {
    writeFile(tree + "/app/package.json");
    writeFile(tree + "/app/src/a.js", 3000);
    makeDirs(tree + "/app/mnt");
    makeDirs(tree + "/mnt2");
    if (mount("tmpfs", (tree + "/app/mnt").c_str(), "tmpfs", 0, "size=4m") != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
    const bool second = mount("tmpfs", (tree + "/mnt2").c_str(), "tmpfs", 0, "size=4m") == 0;
    writeFile(tree + "/app/mnt/big.bin", 1 << 20);
    writeFile(tree + "/app/mnt/inner/package.json");
    if (second) writeFile(tree + "/mnt2/other/package.json");
    const DashboardDTO d = scanTree();
    const std::uint64_t expected = duBytes({"-x", tree + "/app"}, tmp.path());
    umount2((tree + "/app/mnt").c_str(), MNT_DETACH);
    if (second) umount2((tree + "/mnt2").c_str(), MNT_DETACH);
    ASSERT_EQ(d.project_count, 1);
    EXPECT_EQ(d.projects[0].path, tree + "/app");
    EXPECT_LT(d.projects[0].total_bytes, 1u << 20);
    EXPECT_EQ(d.projects[0].total_bytes, expected) << "as du -x counts it";
}

TEST_F(Scan, TheDashboardIsStoredWhereTheApplicationReadsIt) {
    writeFile(tree + "/a/package.json");
    const DashboardDTO d = scanTree();
    const RunResult last = engine.run({"last", "--json"});
    ASSERT_EQ(last.exitCode, 0);
    EXPECT_EQ(decode<DashboardDTO>(last.out), d);
    const RunResult shell = runProgram({"/usr/bin/sqlite3", "-readonly", engine.db(), "SELECT json FROM scan_cache WHERE id = 1;"},
                                       {}, tmp.path());
    ASSERT_EQ(shell.exitCode, 0) << shell.err;
    EXPECT_EQ(decode<DashboardDTO>(shell.out), d);
    EXPECT_EQ(std::count(shell.out.begin(), shell.out.end(), '\n'), 1) << "one line";
}

TEST_F(Scan, TerminationStopsTheScanAndEndsByTheSignal) {
    writeFile(tree + "/a/package.json");
    const RunResult r = engine.run({"scan", "--json", "--root", tree}, true, /*sigtermFirst=*/true);
    EXPECT_EQ(r.signal, SIGTERM);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(engine.run({"last", "--json"}).out, "null\n") << "an interrupted scan stores nothing";
}
