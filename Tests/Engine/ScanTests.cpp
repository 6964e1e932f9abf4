// The engine's scan, end to end on generated fixture trees.

#include "CleanCommand.h"
#include "CleanJournal.h"
#include "Database.h"
#include "EngineTestSupport.h"
#include "FolderProbe.h"
#include "Home.h"
#include "Rules.h"
#include "ScanCommand.h"
#include "SilentFilesystem.h"
#include "Signals.h"
#include "WalkHelper.h"

#include <gtest/gtest.h>
#include <grp.h>
#include <linux/fuse.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <set>
#include <thread>

using namespace tidewell;
using namespace enginetest;
using tidewell::engine::isInsideOrEqual;

namespace {

class Scan : public ::testing::Test {
protected:
    TempDir tmp;
    std::string tree = tmp / "tree";
    EngineRunner engine{tmp / "sandbox"};
    RunResult lastRun;

    void SetUp() override { makeDirs(tree); }

    DashboardDTO scan(std::vector<std::string> roots = {}, int idleDays = 30, int maxDepth = 8) {
        lastRun = engine.scan(roots.empty() ? std::vector<std::string>{tree} : roots, idleDays, maxDepth);
        EXPECT_EQ(lastRun.exitCode, 0) << lastRun.err;
        return decode<DashboardDTO>(lastRun.out);
    }
    std::uint64_t du(const std::vector<std::string>& paths) { return duBytes(paths, tmp.path()); }
    // Throws (failing the test) when there is no such project.
    static const ProjectDTO& find(const DashboardDTO& d, const std::string& path) {
        for (const auto& p : d.projects)
            if (p.path == path) return p;
        throw std::out_of_range("no project at " + path);
    }
    static std::vector<std::string> artifactPaths(const ProjectDTO& p) {
        std::vector<std::string> out;
        for (const auto& a : p.artifacts) out.push_back(a.relative_path);
        return out;
    }
    std::vector<ScanProgressEvent> events() const {
        std::vector<ScanProgressEvent> out;
        std::istringstream in(lastRun.err);
        for (std::string line; std::getline(in, line);)
            if (line.rfind("PROGRESS:", 0) == 0) out.push_back(decode<ScanProgressEvent>(line.substr(9)));
        return out;
    }
    // Git with an identity of its own, reading no configuration but the engine's home's.
    void git(std::vector<std::string> args) {
        args.insert(args.begin(), {"git", "-c", "user.name=Test", "-c", "user.email=test@example.com", "-c", "init.defaultBranch=main"});
        const RunResult r = runProgram(args, {"HOME=" + engine.home(), "GIT_CONFIG_NOSYSTEM=1"}, tmp.path());
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    // A repository at `origin` with one commit, for clones to be made of.
    void commitOrigin(const std::string& origin) {
        writeFile(origin + "/Lib.php", 100);
        git({"-C", origin, "init", "-q"});
        git({"-C", origin, "add", "-A"});
        git({"-C", origin, "commit", "-q", "-m", "First"});
    }
    // `path` and everything below it get modification time `when`.
    void age(const std::string& path, std::int64_t when) {
        runProgram({"find", path, "-exec", "touch", "-h", "-d", "@" + std::to_string(when), "{}", "+"}, {}, tmp.path());
    }
};

}  // namespace

TEST_F(Scan, EveryStackIsFoundByItsMarkersAndNeverWithoutThem) {
    const std::map<std::string, std::string> markers = {
        {"flutter", "pubspec.yaml"}, {"gradle", "build.gradle.kts"}, {"ios", "Podfile"},   {"node", "package.json"},
        {"php", "composer.json"},    {"python", "requirements.txt"},  {"rust", "Cargo.toml"}, {"go", "go.mod"}};
    for (const auto& [stack, marker] : markers) writeFile(tree + "/" + stack + "/" + marker);
    writeFiles(tree, {{"react_native/package.json", 10}, {"react_native/metro.config.js", 10}});
    makeDirs(tree + "/xcode/App.xcodeproj");
    // Look-alikes without a marker: artifact names, marker names with more around them
    for (const char* f : {"build/out.o", "vendor/lib.php", "target/debug/app", "package.json.orig", "notes/Cargo.toml.txt"})
        writeFile(tree + "/plain/" + f);

    const DashboardDTO d = scan();
    for (const auto& [stack, marker] : markers) {
        EXPECT_EQ(find(d, tree + "/" + stack).types, std::vector<std::string>{stack});
        EXPECT_EQ(find(d, tree + "/" + stack).name, stack);
    }
    EXPECT_EQ(find(d, tree + "/react_native").types, (std::vector<std::string>{"react_native", "node"}));
    EXPECT_EQ(find(d, tree + "/xcode").types, std::vector<std::string>{"ios"});
    EXPECT_EQ(d.project_count, 10);
    EXPECT_EQ(d.projects.size(), 10u) << "nothing under plain/ is a project";
    EXPECT_EQ(d.roots, std::vector<std::string>{tree});
    EXPECT_GT(d.scanned_at_unix, 0);
    ASSERT_EQ(d.by_type.size(), 9u);
    EXPECT_EQ(d.by_type[4].project_type, "node");
    EXPECT_EQ(d.by_type[4].project_count, 2) << "node and react_native both count as node";
}

// Layouts as the real tools leave them. Expected: per project, its types and
// its artifacts ("path class", sorted).
TEST_F(Scan, RealProjectLayouts) {
    for (const char* f :
         {"npm/package.json", "npm/package-lock.json", "npm/src/index.js", "npm/node_modules/react/package.json",
          "npm/node_modules/react/node_modules/loose/package.json", "pnpm/package.json", "pnpm/pnpm-lock.yaml",
          "pnpm/node_modules/.pnpm/react@18.2.0/node_modules/react/package.json", "pnpm/node_modules/.modules.yaml",
          "rs/Cargo.toml", "rs/Cargo.lock", "rs/src/main.rs", "rs/target/CACHEDIR.TAG", "rs/target/debug/app",
          "py/pyproject.toml", "py/src/pkg/__init__.py", "py/src/pkg/__pycache__/__init__.cpython-311.pyc",
          "py/tests/__pycache__/test_a.cpython-311-pytest.pyc", "py/.venv/pyvenv.cfg",
          "py/.venv/lib/python3.11/site-packages/six/__pycache__/six.pyc", "py/.pytest_cache/v/cache/nodeids",
          "cm/CMakeLists.txt", "cm/src/main.cpp", "cm/build/CMakeCache.txt", "cm/cmake-build-debug/CMakeCache.txt",
          "cm/cmake-build-release/app", "cm/lib/CMakeLists.txt", "cm/lib/util.cpp", "cm/lib/deep/CMakeLists.txt",
          "mvn/pom.xml", "mvn/src/main/java/App.java", "mvn/target/classes/App.class",
          "gj/settings.gradle.kts", "gj/src/main/java/App.java", "gj/build/classes/App.class", "gj/.gradle/8.5/checksums",
          "gj/lib/build.gradle.kts", "gj/lib/build/classes/Lib.class",
          "ga/settings.gradle.kts", "ga/gradle/libs.versions.toml", "ga/app/src/main/AndroidManifest.xml",
          "ga/app/build/intermediates/x.dex", "ga/.gradle/8.5/checksums", "web/package.json", "web/vite.config.ts",
          "web/dist/index.html", "web/node_modules/vite/package.json", "go/go.mod", "go/bin/tool", "go/build/x",
          "php/composer.json", "php/vendor/autoload.php", "ios/Podfile", "ios/Pods/Lib/a.m"})
        writeFile(tree + "/" + f);
    writeText(tree + "/gj/build.gradle.kts", "plugins { java; application }\n");
    writeText(tree + "/ga/build.gradle.kts", "plugins { alias(libs.plugins.android.application) apply false }\n");
    writeText(tree + "/ga/app/build.gradle.kts", "plugins { id(\"com.android.application\") }\n");
    // pnpm links each package from its store; the links are never followed.
    symlink(".pnpm/react@18.2.0/node_modules/react", (tree + "/pnpm/node_modules/react").c_str());

    using Expect = std::pair<std::vector<std::string>, std::vector<std::string>>;
    const std::map<std::string, Expect> expected = {
        {"npm", {{"node"}, {"node_modules caution"}}},
        {"pnpm", {{"node"}, {"node_modules caution"}}},
        {"rs", {{"rust"}, {"target safe"}}},
        {"py", {{"python"}, {".pytest_cache safe", ".venv caution", "src/pkg/__pycache__ safe", "tests/__pycache__ safe"}}},
        {"cm", {{"native_code"}, {"build caution", "cmake-build-debug safe", "cmake-build-release safe"}}},
        {"mvn", {{"maven"}, {"target safe"}}},
        // Subfolders of a CMake build and modules of a Gradle build belong to it.
        {"gj", {{"gradle"}, {".gradle safe", "build safe", "lib/build safe"}}},
        {"ga", {{"android", "gradle"}, {".gradle safe", "app/build safe"}}},
        {"web", {{"node", "vite"}, {"dist caution", "node_modules caution"}}},
        {"go", {{"go"}, {"bin caution"}}},  // "build" is an artifact of other stacks only
        {"php", {{"php"}, {"vendor caution"}}},
        {"ios", {{"ios"}, {"Pods caution"}}},
    };
    const DashboardDTO d = scan();
    EXPECT_EQ(d.projects.size(), expected.size()) << "nothing inside node_modules, .venv or the pnpm store, and no module, is a project";
    for (const auto& [path, want] : expected) {
        const ProjectDTO& p = find(d, tree + "/" + path);
        std::vector<std::string> arts;
        for (const auto& a : p.artifacts) arts.push_back(a.relative_path + " " + a.safetyClass);
        std::sort(arts.begin(), arts.end());
        EXPECT_EQ(p.types, want.first) << path;
        EXPECT_EQ(arts, want.second) << path;
        EXPECT_EQ(p.total_bytes, du({p.path})) << path;
        EXPECT_EQ(p.safe_bytes + p.caution_bytes, p.reclaimable_bytes) << path;
        for (const auto& a : p.artifacts) EXPECT_EQ(a.absolute_path, p.path + "/" + a.relative_path);
    }
}

TEST_F(Scan, NestedProjectsAreFoundButArtifactsAreNeverEntered) {
    for (const char* f : {"mono/package.json", "mono/packages/web/package.json",
                          "mono/packages/web/node_modules/dep/package.json",  // inside an artifact
                          "mono/packages/api/Cargo.toml", "mono/packages/api/target/x/Cargo.toml",
                          "mono/node_modules/left-pad/package.json", "rn/package.json", "rn/metro.config.js",
                          "rn/android/build.gradle", "rn/ios/Podfile"})
        writeFile(tree + "/" + f);
    writeFiles(tree, {{"rn/android/app/build/out.dex", 3000}, {"rn/ios/Pods/p.m", 3000}});
    age(tree, time(nullptr) - 100 * 86400);  // nested projects in use would keep the folders inside them

    const DashboardDTO d = scan();
    std::vector<std::string> paths;
    for (const auto& p : d.projects) paths.push_back(p.path);
    EXPECT_EQ(paths, (std::vector<std::string>{tree + "/mono", tree + "/mono/packages/api", tree + "/mono/packages/web",
                                               tree + "/rn", tree + "/rn/android", tree + "/rn/ios"}));
    EXPECT_GT(find(d, tree + "/mono").total_bytes, find(d, tree + "/mono/packages/web").total_bytes)
        << "an outer project holds its nested ones";
    EXPECT_EQ(du({tree + "/mono"}), find(d, tree + "/mono").total_bytes);
    // Folders that two projects name are listed once, by the outer project.
    EXPECT_EQ(artifactPaths(find(d, tree + "/rn")), (std::vector<std::string>{"android/app/build", "ios/Pods"}));
    EXPECT_TRUE(find(d, tree + "/rn/android").artifacts.empty());
    EXPECT_TRUE(find(d, tree + "/rn/ios").artifacts.empty());
    EXPECT_EQ(d.total_bytes, du({tree + "/mono", tree + "/rn"})) << "nested projects add nothing";
}

// A stack's size holds each of its projects once: one inside a project of
// its own stack is in that one's bytes already, one inside a project of
// another stack (a Node package in a Python monorepo) is not.
TEST_F(Scan, AStacksSizeHoldsEachOfItsProjectsOnceWhateverStackHoldsThem) {
    writeFiles(tree, {{"mono/pyproject.toml", 10}, {"mono/src/app.py", 3000}, {"mono/packages/web/package.json", 10},
                      {"mono/packages/web/node_modules/dep/index.js", 40000}, {"mono/packages/web/ui/package.json", 10},
                      {"mono/packages/web/ui/node_modules/x.js", 9000}, {"y1/package.json", 10}, {"y1/node_modules/dep/index.js", 20000}});
    age(tree, time(nullptr) - 100 * 86400);
    const DashboardDTO d = scan();
    const auto stack = [&](const std::string& id) {
        for (const auto& s : d.by_type)
            if (s.project_type == id) return s;
        throw std::out_of_range("no stack " + id);
    };
    const auto& web = find(d, tree + "/mono/packages/web");
    const auto& ui = find(d, tree + "/mono/packages/web/ui");
    const auto& y1 = find(d, tree + "/y1");
    ASSERT_GT(web.reclaimable_bytes, 40000u);
    EXPECT_EQ(stack("node").total_bytes, web.total_bytes + y1.total_bytes) << "ui lies in web, of its own stack";
    EXPECT_EQ(stack("node").reclaimable_bytes, web.reclaimable_bytes + ui.reclaimable_bytes + y1.reclaimable_bytes);
    EXPECT_EQ(stack("node").project_count, 3);
    EXPECT_EQ(stack("python").total_bytes, find(d, tree + "/mono").total_bytes);
    EXPECT_EQ(d.total_bytes, du({tree + "/mono", tree + "/y1"}));
}

TEST_F(Scan, SymbolicLinksAreNeverFollowed) {
    writeFiles(tree, {{"app/package.json", 10}, {"app/src/index.js", 2000}, {"outside/big.bin", 200000}, {"outside/nested/package.json", 10}});
    symlink("/", (tree + "/app/rootlink").c_str());
    symlink((tree + "/outside").c_str(), (tree + "/app/node_modules").c_str());
    symlink((tree + "/outside").c_str(), (tree + "/link-to-outside").c_str());

    const DashboardDTO d = scan();
    const ProjectDTO& app = find(d, tree + "/app");
    EXPECT_TRUE(app.artifacts.empty()) << "a linked node_modules is not a real folder of the project";
    EXPECT_EQ(app.total_bytes, du({tree + "/app"}));
    EXPECT_LT(app.total_bytes, 200000u);
    EXPECT_EQ(d.project_count, 2) << "outside/nested is found once, through the real folder only";
}

TEST_F(Scan, HiddenSkippedAndTooDeepFoldersAreNotSearched) {
    for (const char* f : {".hidden/app", ".Trash-1000/files/app", "lost+found/app", "a/b/c/deep", "a/shallow"})
        writeFile(tree + "/" + f + "/package.json");  // deep at depth 4, shallow at 2
    const DashboardDTO d = scan({tree}, 30, 3);
    ASSERT_EQ(d.projects.size(), 1u);
    EXPECT_EQ(d.projects[0].path, tree + "/a/shallow");
    EXPECT_EQ(scan({tree + "/.hidden"}).project_count, 1) << "a hidden root is walked: the user asked for it";
}

TEST_F(Scan, SizesAreBytesOnDiskAsDuCountsThem) {
    writeFiles(tree, {{"app/package.json", 10}, {"app/src/a.js", 1}, {"app/src/b.js", 4097}, {"app/assets/big.png", 1 << 20},
                      {"app/node_modules/x/index.js", 12345}, {"app/.git/objects/aa", 777}, {"lib/Cargo.toml", 10},
                      {"lib/target/debug/lib.rlib", 300000}});
    const int sparse = open((tree + "/app/sparse.img").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_EQ(ftruncate(sparse, 50 << 20), 0);  // 50 MB apparent, nothing allocated
    close(sparse);
    symlink("src/a.js", (tree + "/app/link.js").c_str());

    const DashboardDTO d = scan();
    for (const auto& p : d.projects) EXPECT_EQ(p.total_bytes, du({p.path})) << p.path;
    const ProjectDTO& app = find(d, tree + "/app");
    EXPECT_EQ(app.artifacts.at(0).size_bytes, du({tree + "/app/node_modules"}));
    EXPECT_LT(app.total_bytes, 50u << 20);
    EXPECT_EQ(d.total_bytes, du({tree + "/app", tree + "/lib"}));
    EXPECT_EQ(d.reclaimable_bytes, app.reclaimable_bytes + find(d, tree + "/lib").reclaimable_bytes);
}

TEST_F(Scan, HardLinkedFilesCountOnceAndOnlyWhereMovingWouldFreeThem) {
    // A pnpm-style store outside the projects, linked into two projects.
    writeFile(tree + "/store/shared.js", 40000);
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
    const ProjectDTO& one = find(d, tree + "/one");
    const ProjectDTO& two = find(d, tree + "/two");
    EXPECT_EQ(one.total_bytes, du({tree + "/one"}));
    EXPECT_EQ(two.total_bytes, du({tree + "/two"}));
    EXPECT_EQ(d.total_bytes, du({tree + "/one", tree + "/two"})) << "the shared file once per scan";
    EXPECT_LT(d.total_bytes, one.total_bytes + two.total_bytes);
    const auto shared = du({tree + "/store/shared.js"});
    EXPECT_EQ(one.artifacts.at(0).size_bytes, du({tree + "/one/node_modules"}) - shared) << "solo.js counts (once), shared.js does not";
    EXPECT_EQ(two.artifacts.at(0).size_bytes, du({tree + "/two/node_modules"}) - shared - du({tree + "/two/src/keep.js"}));
}

TEST_F(Scan, IdleActivePinnedAndStableIds) {
    const std::int64_t now = time(nullptr), old = now - 100 * 86400;
    writeFiles(tree, {{"old/package.json", 10}, {"old/node_modules/fresh.js", 10}, {"old/.git/index", 10}, {"recent/package.json", 10},
                      {"kept/package.json", 10}, {"kept/.tidewell-keep", 0}, {"busy/package.json", 10}});
    for (const char* p : {"old", "kept", "busy"}) age(tree + "/" + p, old);
    // Artifacts and version control change without the user.
    age(tree + "/old/node_modules/fresh.js", now);
    age(tree + "/old/.git/index", now);
    // A process of the user working inside "busy": waited for until it is sleep, after its chdir.
    const pid_t child = fork();
    if (child == 0) {
        if (chdir((tree + "/busy").c_str()) == 0) execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 2000 && readText("/proc/" + std::to_string(child) + "/comm") != "sleep\n"; ++i) usleep(5000);
    const DashboardDTO d = scan();
    // The same folders through a linked or a bind-mounted scan folder:
    // the process works in the same folder, by another path.
    symlink(tree.c_str(), (tmp / "linked").c_str());
    const BindMount bound(tree, tmp / "bound");
    ASSERT_TRUE(bound.mounted()) << "tests run as root";
    for (const char* other : {"linked", "bound"}) {
        const DashboardDTO d = scan({tmp / other});
        EXPECT_TRUE(find(d, tmp / other + "/busy").is_active) << other;
        EXPECT_FALSE(find(d, tmp / other + "/old").is_active) << other;
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    const ProjectDTO& o = find(d, tree + "/old");
    EXPECT_EQ(o.last_activity_unix, old);
    EXPECT_EQ(o.idle_days, 100u);
    EXPECT_TRUE(o.is_idle && !o.is_active && !o.pinned);
    const ProjectDTO& r = find(d, tree + "/recent");
    EXPECT_TRUE(!r.is_idle && r.is_active);
    EXPECT_EQ(r.idle_days, 0u);
    EXPECT_TRUE(find(d, tree + "/kept").pinned && find(d, tree + "/kept").is_idle);
    EXPECT_TRUE(find(d, tree + "/busy").is_active && find(d, tree + "/busy").is_idle);
    EXPECT_EQ(d.idle_count, 3);

    // A later scan, with a new project and a higher threshold.
    writeFile(tree + "/new/package.json");
    const DashboardDTO later = scan({tree}, 101);
    EXPECT_FALSE(find(later, tree + "/old").is_idle);
    EXPECT_EQ(find(later, tree + "/old").id, o.id);
    EXPECT_NE(find(later, tree + "/new").id, o.id);
}

using testsupport::SilentFilesystem;


// A process working in a filesystem that no longer answers, mounted inside a
// project, holds neither the scan nor the project's activity: the scan passes
// the mount by and ends, and the project around it is active. (User and mount
// are the test's own, so no other scan on the machine meets them.)
TEST_F(Scan, AFilesystemThatNoLongerAnswersHoldsNoScan) {
    ASSERT_EQ(unshare(CLONE_NEWNS), 0) << "tests run as root";
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    constexpr uid_t kWorker = 424242;
    writeFiles(tree, {{"app/package.json", 10}, {"app/node_modules/x.js", 5000}});
    makeDirs(tree + "/app/remote");
    age(tree, time(nullptr) - 100 * 86400);
    runProgram({"chown", "-R", "424242:424242", tmp.path()}, {}, tmp.path());
    SilentFilesystem remote(tree + "/app/remote");
    ASSERT_TRUE(remote.mounted());
    const pid_t worker = fork();
    if (worker == 0) {
        if (setgroups(0, nullptr) == 0 && setresgid(kWorker, kWorker, kWorker) == 0 && setresuid(kWorker, kWorker, kWorker) == 0 &&
            chdir((tree + "/app/remote").c_str()) == 0)
            execlp("sleep", "sleep", "600", static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 2000 && readText("/proc/" + std::to_string(worker) + "/comm") != "sleep\n"; ++i) usleep(5000);
    remote.fallSilent();
    // A guard that ends a scan held for good, so that it fails here.
    lastRun = engine.scan({tree}, 30, 8, {"setpriv", "--reuid=424242", "--regid=424242", "--clear-groups", "timeout", "-s", "KILL", "120"});
    kill(worker, SIGKILL);
    waitpid(worker, nullptr, 0);
    ASSERT_EQ(lastRun.exitCode, 0) << "signal " << lastRun.signal << ": " << lastRun.err;
    const DashboardDTO d = decode<DashboardDTO>(lastRun.out);
    const ProjectDTO& app = find(d, tree + "/app");
    EXPECT_TRUE(app.is_idle);
    EXPECT_TRUE(app.is_active) << "a process works in the filesystem mounted inside it";
}

namespace {

// Runs `run`, guarded against a hang: an engine held by the filesystem, which
// no signal ends, is let go by the server going away, and the test fails.
RunResult unlessHeldBy(const std::vector<SilentFilesystem*>& filesystems, const std::function<RunResult()>& run,
                       std::chrono::minutes guard = std::chrono::minutes(3)) {
    auto running = std::async(std::launch::async, run);
    if (running.wait_for(guard) != std::future_status::ready) {
        for (SilentFilesystem* fs : filesystems) fs->hangUp();
        ADD_FAILURE() << "did not end: held by the filesystem that does not answer, or waiting for it";
    }
    return running.get();
}

RunResult unlessHeldBy(SilentFilesystem& fs, const std::function<RunResult()>& run) { return unlessHeldBy({&fs}, run); }

}  // namespace

// A scan folder that is, or lies inside, a filesystem that does not answer is
// named in an "error" event and the other scan folders are scanned; a clean
// of a project there is refused in one line. Neither waits for the server.
TEST_F(Scan, AScanFolderOnAFilesystemThatDoesNotAnswerIsNamedAndTheOthersAreScanned) {
    ASSERT_EQ(unshare(CLONE_NEWNS), 0) << "tests run as root";
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    writeFiles(tree, {{"app/package.json", 10}, {"app/node_modules/x.js", 5000}});
    const std::string remote = tmp / "remote";
    makeDirs(remote);
    SilentFilesystem silent(remote);
    ASSERT_TRUE(silent.mounted());
    silent.fallSilent();
    lastRun = unlessHeldBy(silent, [&] { return engine.scan({remote, remote + "/code", tree}); });
    ASSERT_EQ(lastRun.exitCode, 0) << "signal " << lastRun.signal << ": " << lastRun.err;
    const DashboardDTO d = decode<DashboardDTO>(lastRun.out);
    EXPECT_EQ(d.project_count, 1);
    EXPECT_EQ(find(d, tree + "/app").artifacts.size(), 1u);
    std::vector<std::string> errors;
    for (const auto& e : events())
        if (e.phase == "error") errors.push_back(e.message);
    EXPECT_EQ(errors, (std::vector<std::string>{"Cannot scan " + remote + ": its filesystem does not answer.",
                                                "Cannot scan " + remote + "/code: its filesystem does not answer."}));
    EXPECT_EQ(events().back().phase, "done");
    EXPECT_EQ(events().back().roots_done, 3);

    // Read as the application reads it: the process asking the folder holds none of its output.
    for (const std::string& project : {remote, remote + "/code/app"}) {
        const RunResult clean =
            unlessHeldBy(silent, [&] { return engine.runThroughPipes({"clean", "--project", project, "--json", "--execute"}); });
        EXPECT_EQ(clean.exitCode, 1) << "signal " << clean.signal;
        EXPECT_EQ(clean.err, "tidewell-engine: project path " + project + " cannot be reached: its filesystem does not answer\n");
        EXPECT_TRUE(clean.out.empty());
    }
}

// Two shares reached through links in a local folder the kernel holds only
// in part (a fresh overlay, none of whose folders has been looked up yet) are
// each walked apart by itself: the silent one is named, the other scanned.
// Then again once the kernel holds the whole way to each.
TEST_F(Scan, SharesReachedThroughAFolderTheKernelHoldsInPartAreEachWalkedApart) {
    ASSERT_TRUE(testsupport::enterOwnMountNamespace()) << "tests run as root";
    writeFiles(tree, {{"app/package.json", 10}, {"app/node_modules/x.js", 5000}});
    const std::string silentShare = tmp / "silent", answeringShare = tmp / "answering", layers = tmp / "layers";
    makeDirs(silentShare);
    makeDirs(answeringShare);
    SilentFilesystem silent(silentShare);
    SilentFilesystem answering(answeringShare, {{"api/Cargo.toml", 10}, {"api/target/app", 20000}});
    ASSERT_TRUE(silent.mounted() && answering.mounted());
    silent.fallSilent();
    // The layers on a tmpfs of their own: any filesystem under the test's
    // folder may not hold an overlay's upper layer.
    TmpfsMount layered(layers, "4m");
    ASSERT_TRUE(layered.mounted());
    for (const char* d : {"/lower/code", "/upper", "/work"}) makeDirs(layers + d);
    ASSERT_EQ(symlink(silentShare.c_str(), (layers + "/lower/code/silent").c_str()), 0);
    ASSERT_EQ(symlink(answeringShare.c_str(), (layers + "/lower/code/answering").c_str()), 0);
    const std::string local = tmp / "local";
    const OverlayMount overlay(layers, local);
    ASSERT_TRUE(overlay.mounted()) << strerror(errno);
    const std::string silentRoot = local + "/code/silent", answeringRoot = local + "/code/answering";
    for (const char* held : {"held only to the overlay's top", "held all the way"}) {
        SCOPED_TRACE(held);
        lastRun = unlessHeldBy({&silent, &answering}, [&] { return engine.scan({silentRoot, answeringRoot, tree}); });
        ASSERT_EQ(lastRun.exitCode, 0) << "signal " << lastRun.signal << ": " << lastRun.err;
        const DashboardDTO d = decode<DashboardDTO>(lastRun.out);
        std::vector<std::string> errors;
        for (const auto& e : events())
            if (e.phase == "error") errors.push_back(e.message);
        EXPECT_EQ(errors, std::vector<std::string>{"Cannot scan " + silentRoot + ": its filesystem does not answer."});
        EXPECT_EQ(d.project_count, 2) << lastRun.out;
        EXPECT_EQ(find(d, tree + "/app").artifacts.size(), 1u);
        EXPECT_EQ(find(d, answeringRoot + "/api").total_bytes, 24576u) << lastRun.out;
    }
}

// A share that answers every request, each after a second and a half, is
// slow but answers: the clean of a project there goes ahead, its helper
// never taken for silent.
TEST_F(Scan, AProjectOnASlowShareIsCleanedByItsHelperAndNeverNamedSilent) {
    ASSERT_TRUE(testsupport::enterOwnMountNamespace()) << "tests run as root";
    const std::string share = tmp / "slow";
    makeDirs(share);
    SilentFilesystem fs(share, {{"api/Cargo.toml", 10}, {"api/target/app", 20000}});
    ASSERT_TRUE(fs.mounted());
    fs.answerAfter(std::chrono::milliseconds(1500));
    const RunResult r = unlessHeldBy(fs, [&] { return engine.run({"clean", "--project", share + "/api", "--json"}); });
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(decode<CleanReportDTO>(r.out).items.size(), 1u) << r.out;
}

// A project on a share is cleaned whole by a helper, whatever a first look
// at the share would say: one that answers is previewed; one that answers
// its first requests and then stops (after such a look) is named once the
// helper has been silent a few seconds, moving nothing, and the engine ends
// with the clean lock free for the next clean.
TEST_F(Scan, AProjectOnAShareIsCleanedByAHelperAndNamedWhenTheShareStopsAnswering) {
    ASSERT_TRUE(testsupport::enterOwnMountNamespace()) << "tests run as root";
    writeFiles(tree, {{"app/package.json", 10}, {"app/.next/page.html", 5000}});
    const std::vector<testsupport::ServedFile> served = {
        {"web/package.json", 10}, {"web/src/index.js", 3000}, {"web/node_modules/dep/index.js", 9000}, {"web/.next/page.html", 4000}};
    for (const long answers : {-1L, 0L, 8L, 12L, 16L, 24L}) {
        SCOPED_TRACE(std::to_string(answers) + " answers");
        const std::string share = tmp / ("share" + std::to_string(answers)), project = share + "/web";
        makeDirs(share);
        SilentFilesystem fs(share, served);
        ASSERT_TRUE(fs.mounted());
        if (answers >= 0) fs.answerOnly(answers);
        const std::vector<std::string> clean = {"clean", "--project", project, "--json", "--caution"};
        std::vector<std::string> execute = clean;
        execute.push_back("--execute");
        const RunResult r = unlessHeldBy(fs, [&] { return engine.run(answers < 0 ? clean : execute); });
        if (answers < 0) {
            ASSERT_EQ(r.exitCode, 0) << r.err;
            const CleanReportDTO preview = decode<CleanReportDTO>(r.out);
            EXPECT_EQ(preview.items.size(), 2u) << r.out;
            continue;
        }
        EXPECT_EQ(r.exitCode, 1) << "signal " << r.signal;
        const std::string named = "tidewell-engine: project path " + project + " cannot be reached: its filesystem ";
        EXPECT_TRUE(r.err == named + "does not answer\n" || (answers > 0 && r.err == named + "stopped answering\n")) << r.err;
        EXPECT_TRUE(r.out.empty());
        const RunResult local = engine.run({"clean", "--project", tree + "/app", "--json", "--execute"});
        EXPECT_EQ(local.exitCode, 0) << local.err;
        writeFiles(tree, {{"app/.next/page.html", 5000}});
    }
}

// A project on a disk mounted on a share may not answer as the share below
// it, so a helper cleans it: a whole clean moves every folder into that
// disk's trash, also beside another clean's helper held in the middle of a
// move, and one asked to end in the middle leaves the moves its helper made
// to the next command, which credits each once.
TEST_F(Scan, EveryFolderTheHelperOfACleanOnAShareMovedIsCreditedAlsoWhenTheCleanIsStopped) {
    ASSERT_TRUE(testsupport::enterOwnMountNamespace()) << "tests run as root";
    const std::string share = tmp / "share", volume = share + "/volume", project = volume + "/proj", lockFile = engine.db() + ".lock";
    makeDirs(share);
    SilentFilesystem fs(share, {{"volume/.keep", 0}});
    ASSERT_TRUE(fs.mounted());
    TmpfsMount disk(volume, "64m");
    ASSERT_TRUE(disk.mounted());
    writeFiles(project, {{"pyproject.toml", 10}});
    const std::string trashed = volume + "/.Trash-" + std::to_string(getuid()) + "/files";
    const auto entries = [&] {
        std::error_code gone;
        const auto listing = std::filesystem::directory_iterator(trashed, gone);
        return gone ? 0 : static_cast<int>(std::distance(begin(listing), end(listing)));
    };
    // Free once no helper holds its record lock around a move.
    const auto noMoveInFlight = [&] {
        const int fd = open(lockFile.c_str(), O_RDWR | O_CLOEXEC);
        struct flock range {};
        range.l_type = F_WRLCK;
        const bool free = fd < 0 || (fcntl(fd, F_OFD_GETLK, &range) == 0 && range.l_type == F_UNLCK);
        if (fd >= 0) close(fd);
        return free;
    };
    std::atomic<pid_t> running{-1};
    engine.started = [&](pid_t pid) { running = pid; };
    for (const std::string pass : {"whole", "stopped", "beside a helper left in a move"}) {
        SCOPED_TRACE(pass);
        const bool stopped = pass == "stopped";
        // Marked as a helper of the engine marks each move it is in.
        const int leftBehind = pass.starts_with("beside") ? open(lockFile.c_str(), O_RDWR | O_CLOEXEC) : -1;
        if (leftBehind >= 0) {
            struct flock range {};
            range.l_type = F_RDLCK;
            ASSERT_EQ(fcntl(leftBehind, F_OFD_SETLK, &range), 0);
        }
        for (int i = 0; i < 300; ++i) writeFile(project + "/pkg" + std::to_string(i) + "/__pycache__/m.pyc", 3000);
        running = -1;
        const int before = entries();
        auto cleaning = std::async(std::launch::async, [&] { return engine.run({"clean", "--project", project, "--json", "--execute"}); });
        if (stopped) {
            const auto failSafe = std::chrono::steady_clock::now() + std::chrono::minutes(2);
            while ((running <= 0 || entries() == before) && std::chrono::steady_clock::now() < failSafe) usleep(1000);
            ASSERT_GT(running, 0);
            kill(running, SIGTERM);
        }
        const RunResult r = unlessHeldBy(fs, [&] { return cleaning.get(); });
        if (stopped) EXPECT_TRUE(r.signal == SIGTERM || r.exitCode == 0) << r.err;
        else EXPECT_EQ(r.exitCode, 0) << r.err;
        if (leftBehind >= 0) close(leftBehind);
        const auto failSafe = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (!noMoveInFlight() && std::chrono::steady_clock::now() < failSafe) usleep(1000);
        ASSERT_EQ(engine.run({"log", "--limit", "1", "--json"}).exitCode, 0);
        int credited = 0;
        for (const auto& op : decodeArray<OperationDTO>(engine.run({"log", "--limit", "10", "--json"}).out))
            for (const auto& item : op.items.value_or(std::vector<CleanItemDTO>{})) credited += !op.dry_run && item.success;
        EXPECT_GT(entries(), before);
        EXPECT_EQ(credited, entries()) << "each folder in the trash credited once";
    }
}

// The stored scan lists a share among its scan folders; once the share has
// stopped answering, a clean of a local project, given through a link (so
// the scan lists it under another path), joins the history and the stored
// scan without a look at the share: a share's path is matched as given.
TEST_F(Scan, ACleanBesideAShareThatStoppedAnsweringIsRecordedWithoutALookAtTheShare) {
    ASSERT_TRUE(testsupport::enterOwnMountNamespace()) << "tests run as root";
    writeFiles(tree, {{"app/package.json", 10}, {"app/node_modules/x.js", 5000}});
    const std::string share = tmp / "share", linked = tmp / "linked";
    makeDirs(share);
    SilentFilesystem fs(share, {{"code/api/Cargo.toml", 10}});
    ASSERT_TRUE(fs.mounted());
    lastRun = unlessHeldBy(fs, [&] { return engine.scan({share + "/code", tree}); });
    ASSERT_EQ(lastRun.exitCode, 0) << lastRun.err;
    ASSERT_EQ(decode<DashboardDTO>(lastRun.out).project_count, 2);
    fs.fallSilent();
    // The kernel forgets the share's folders it held: a look at one asks the server.
    writeText("/proc/sys/vm/drop_caches", "2");
    ASSERT_EQ(symlink(tree.c_str(), linked.c_str()), 0);
    const RunResult clean =
        unlessHeldBy(fs, [&] { return engine.run({"clean", "--project", linked + "/app", "--json", "--caution", "--execute"}); });
    EXPECT_EQ(clean.exitCode, 0) << clean.err;
    EXPECT_FALSE(exists(tree + "/app/node_modules"));
    const DashboardDTO after = decode<DashboardDTO>(engine.run({"last", "--json"}).out);
    EXPECT_TRUE(find(after, tree + "/app").artifacts.empty()) << "the stored scan lost what moved";
}

// Cleans cut short with a move on a share: one on a share that answers is
// settled; one on a share that stopped answering holds no command (each
// answers, and a real clean of a local project goes ahead) and stays
// pending, since its move may still be made.
TEST_F(Scan, ACleanCutShortOnAShareThatStoppedAnsweringHoldsNoCommandAndStaysPending) {
    ASSERT_TRUE(testsupport::enterOwnMountNamespace()) << "tests run as root";
    writeFiles(tree, {{"app/package.json", 10}, {"app/node_modules/x.js", 5000}});
    const std::vector<testsupport::ServedFile> served = {{"app/package.json", 10}, {"app/node_modules/x.js", 5000}};
    const std::string answering = tmp / "answering", silent = tmp / "silent";
    makeDirs(answering);
    makeDirs(silent);
    SilentFilesystem answers(answering, served), stopped(silent, served);
    ASSERT_TRUE(answers.mounted() && stopped.mounted());
    {
        engine::Database db(engine.db());
        for (const std::string& share : {answering, silent}) {
            // Its folder is still in its place: the move was not made.
            struct stat folder {};
            ASSERT_EQ(lstat((share + "/app/node_modules").c_str(), &folder), 0);
            OperationDTO op;
            op.id = share;
            op.timestamp_unix = 1;
            op.project_path = share + "/app";
            const CleanItemDTO item{share + "/app/node_modules", 5000, "caution", true, std::nullopt};
            engine::CleanJournal(db).recordMove(op, 1, {item, share + "/.Trash-0/info/node_modules.trashinfo", share + "/.Trash-0/files/node_modules",
                                                        {folder.st_dev, folder.st_ino}, "text"});
        }
    }
    stopped.fallSilent();
    const std::vector<std::vector<std::string>> commands = {
        {"log", "--limit", "5", "--json"}, {"last", "--json"}, {"clean", "--project", tree + "/app", "--json", "--caution", "--execute"}};
    for (const auto& command : commands) {
        SCOPED_TRACE(command[0]);
        const RunResult r = unlessHeldBy({&answers, &stopped}, [&] { return engine.run(command); });
        EXPECT_EQ(r.exitCode, 0) << r.err;
    }
    EXPECT_FALSE(exists(tree + "/app/node_modules"));
    engine::Database db(engine.db());
    const auto pending = engine::CleanJournal(db).cutShort();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].operation.id, silent);
    EXPECT_EQ(db.operations(10).size(), 1u) << "the local clean; the one settled moved nothing";
}

// A scan folder on a share that stops answering in the middle of the walk (a
// network that dropped after some requests) is named and lists none of its
// projects, and the scan ends with the other folders listed; so it does with
// a share silent from the start. Read as the application reads it, the
// engine's output ends: no process it left behind holds it. A share that
// answers slowly, but answers, is scanned whole.
TEST_F(Scan, AShareThatStopsAnsweringInTheMiddleOfTheWalkIsNamedAndTheScanEnds) {
    ASSERT_EQ(unshare(CLONE_NEWNS), 0) << "tests run as root";
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    writeFiles(tree, {{"app/package.json", 10}, {"app/node_modules/x.js", 5000}});
    // Enough that no walk of it ends within the answers given; a smaller
    // one for the slow share, whose requests wait one after another.
    const std::vector<testsupport::ServedFile> served = {
        {"web/package.json", 10}, {"web/src/index.js", 3000},   {"web/node_modules/dep/index.js", 9000},
        {"api/Cargo.toml", 10},   {"api/src/main.rs", 3000},    {"api/target/debug/app", 20000},
        {"docs/guide/intro.md", 100}};
    const std::vector<testsupport::ServedFile> small = {{"api/Cargo.toml", 10}, {"api/target/app", 20000}};
    struct Row {
        long answers;  // -1: all
        int delayMs;
        const char* said;  // how its error ends, or none
    };
    for (const Row& row : {Row{0, 0, "does not answer"}, Row{14, 0, "stopped answering"}, Row{18, 0, "stopped answering"},
                           Row{22, 0, "stopped answering"}, Row{-1, 1500, nullptr}}) {
        SCOPED_TRACE(std::to_string(row.answers) + " answers, each after " + std::to_string(row.delayMs) + " ms");
        const std::string share = tmp / ("share" + std::to_string(row.answers));
        makeDirs(share);
        SilentFilesystem fs(share, row.said ? served : small);
        ASSERT_TRUE(fs.mounted());
        if (row.answers >= 0) fs.answerOnly(row.answers);
        fs.answerAfter(std::chrono::milliseconds(row.delayMs));
        lastRun = unlessHeldBy(fs, [&] { return engine.scanThroughPipes({share, tree}); });
        ASSERT_EQ(lastRun.exitCode, 0) << "signal " << lastRun.signal << ": " << lastRun.err;
        const DashboardDTO d = decode<DashboardDTO>(lastRun.out);
        EXPECT_EQ(find(d, tree + "/app").artifacts.size(), 1u);
        std::vector<std::string> errors;
        for (const auto& e : events())
            if (e.phase == "error") errors.push_back(e.message);
        if (row.said) {
            EXPECT_EQ(errors, std::vector<std::string>{"Cannot scan " + share + ": its filesystem " + row.said + "."});
            EXPECT_EQ(d.project_count, 1) << lastRun.out;
        } else {
            EXPECT_TRUE(errors.empty()) << lastRun.err;
            ASSERT_EQ(d.project_count, 2) << lastRun.err;
            EXPECT_EQ(find(d, share + "/api").total_bytes, 24576u);
            EXPECT_EQ(artifactPaths(find(d, share + "/api")), std::vector<std::string>{"target"});
            EXPECT_EQ(find(d, share + "/api").reclaimable_bytes, 20480u);
            EXPECT_TRUE(find(d, share + "/api").is_active) << "its files changed today";
            // Its first look takes longer than the probe's wait, which each answer starts again.
            const RunResult clean = unlessHeldBy(fs, [&] { return engine.run({"clean", "--project", share + "/api", "--json"}); });
            EXPECT_EQ(clean.exitCode, 0) << clean.err;
        }
        EXPECT_EQ(events().back().phase, "done");
        EXPECT_EQ(events().back().roots_done, 2);
        EXPECT_EQ(events().back().projects_found, d.project_count);
    }
}

// A scan folder whose filesystem answered while the scan folders before it
// were walked is scanned, however long those took.
TEST_F(Scan, AnAnswerThatCameWhileEarlierScanFoldersWereWalkedCounts) {
    ASSERT_EQ(unshare(CLONE_NEWNS), 0) << "tests run as root";
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    const std::string remote = tmp / "remote";
    makeDirs(remote);
    SilentFilesystem answering(remote);
    ASSERT_TRUE(answering.mounted());
    const std::atomic<bool> stop{false};
    engine::FolderProbe probe(stop);
    // The process asking is the one child this thread starts here (another
    // one of its, left by the fixture, may have ended long ago): it has
    // answered once it has ended, unreaped.
    const std::string children = "/proc/self/task/" + std::to_string(gettid()) + "/children";
    const std::string before = " " + readText(children);
    probe.start(remote);
    std::string asking;
    for (int i = 0; i < 6000 && asking.empty(); ++i) {
        std::istringstream pids(readText(children));
        for (std::string pid; pids >> pid;)
            if (before.find(" " + pid + " ") == std::string::npos) asking = pid;
        if (asking.empty()) usleep(10000);
    }
    ASSERT_FALSE(asking.empty());
    bool answered = false;
    for (int i = 0; i < 6000 && !answered; ++i) {
        answered = readText("/proc/" + asking + "/stat").find(") Z ") != std::string::npos;
        if (!answered) usleep(10000);
    }
    ASSERT_TRUE(answered);
    const auto within = engine::FolderProbe::answerWithin;
    engine::FolderProbe::answerWithin = std::chrono::milliseconds(0);  // long past, as after a long walk
    const engine::FolderProbe::Answer answer = probe.wait(remote);
    engine::FolderProbe::answerWithin = within;
    EXPECT_EQ(answer, engine::FolderProbe::Answer::Answers);
}

// A folder on a share whose listing never ends (its server repeats the
// entries, or names new ones for ever) is cut, named, and counts its own
// blocks; the scan ends and lists the rest.
TEST_F(Scan, AFolderOnAShareWhoseListingDoesNotEndIsCutAndNamed) {
    ASSERT_EQ(unshare(CLONE_NEWNS), 0) << "tests run as root";
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    const std::vector<testsupport::ServedFile> served = {
        {"web/package.json", 10}, {"web/src/index.js", 3000}, {"web/node_modules/a/index.js", 5000}, {"web/node_modules/b.js", 100}};
    for (const bool repeating : {true, false}) {
        SCOPED_TRACE(repeating ? "the same entries again" : "new names for ever");
        const std::string share = tmp / (repeating ? "repeating" : "growing");
        makeDirs(share);
        SilentFilesystem fs(share, served);
        ASSERT_TRUE(fs.mounted());
        fs.listEndlessly("web/node_modules", repeating);
        lastRun = unlessHeldBy(fs, [&] { return engine.scan({share}); });
        ASSERT_EQ(lastRun.exitCode, 0) << "signal " << lastRun.signal << ": " << lastRun.err;
        const DashboardDTO d = decode<DashboardDTO>(lastRun.out);
        std::vector<std::pair<std::string, std::string>> skipped;
        for (const auto& e : events())
            if (e.phase == "skip" || e.phase == "error") skipped.emplace_back(e.path.value_or(""), e.message);
        EXPECT_EQ(skipped, (std::vector<std::pair<std::string, std::string>>{
                               {share + "/web/node_modules", "Cannot read this folder: its listing does not end."}}));
        EXPECT_EQ(find(d, share + "/web").total_bytes, 8192u) << "its files, and the cut folder's own blocks (none here)";
        EXPECT_EQ(events().back().phase, "done");
    }
}

// Scan folders on one share given twice, through a link, or one inside
// another in either order: each of its projects is listed and counted once.
TEST_F(Scan, ScanFoldersOnOneShareListEachFolderOnce) {
    ASSERT_EQ(unshare(CLONE_NEWNS), 0) << "tests run as root";
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    const std::string share = tmp / "share", linked = tmp / "linked";
    makeDirs(share);
    SilentFilesystem fs(share, {{"dir/web/package.json", 10}, {"dir/web/node_modules/x.js", 5000}, {"api/Cargo.toml", 10}, {"api/target/app", 20000}});
    ASSERT_TRUE(fs.mounted());
    ASSERT_EQ(symlink(share.c_str(), linked.c_str()), 0);
    for (const auto& roots : std::vector<std::vector<std::string>>{
             {share, share}, {share, linked}, {share + "/dir", share}, {share, share + "/dir"}}) {
        SCOPED_TRACE(roots[0] + " then " + roots[1]);
        const DashboardDTO d = scan(roots);
        ASSERT_EQ(d.project_count, 2) << lastRun.out;
        EXPECT_EQ(d.projects[0].total_bytes + d.projects[1].total_bytes, 12288u + 24576u);
        EXPECT_EQ(events().back().projects_found, 2);
    }
}

// A share that answers its requests in turn, each within 2 s, is scanned
// whatever the number of scan folders on it: one walk asks it, so no walk
// waits behind another's requests past the silence that names a share.
TEST_F(Scan, AShareAnsweringInTurnIsScannedWhateverTheScanFoldersOnIt) {
    ASSERT_EQ(unshare(CLONE_NEWNS), 0) << "tests run as root";
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    const std::string share = tmp / "share";
    makeDirs(share);
    SilentFilesystem fs(share, {{"a/Cargo.toml", 10}, {"b/Cargo.toml", 10}, {"c/Cargo.toml", 10}});
    ASSERT_TRUE(fs.mounted());
    fs.answerInTurn(std::chrono::milliseconds(2000));
    lastRun = unlessHeldBy(fs, [&] { return engine.scan({share + "/a", share + "/b", share + "/c"}); });
    ASSERT_EQ(lastRun.exitCode, 0) << "signal " << lastRun.signal << ": " << lastRun.err;
    for (const auto& e : events()) EXPECT_NE(e.phase, "error") << e.message;
    EXPECT_EQ(decode<DashboardDTO>(lastRun.out).project_count, 3);
}

// Scan folders on several shares: one walk for each share, whatever the
// number of scan folders on it, and the walks run side by side, each in the
// address space a walk is given; so do the walks of shares that never
// answer, which the scan then waits for about once, not once for each.
TEST_F(Scan, OneWalkPerFilesystemAndTheWalksRunSideBySide) {
    ASSERT_EQ(unshare(CLONE_NEWNS), 0) << "tests run as root";
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    struct Row {
        bool silent;
        std::vector<std::vector<std::string>> shares;  // the scan folders on each, by name
    };
    for (const Row& row : {Row{false, {{"x", "y"}, {"z"}}}, Row{true, {{"x"}, {"y"}, {"z"}}}}) {
        SCOPED_TRACE(row.silent ? "shares that never answer" : "shares that answer");
        std::vector<std::string> shares, roots;
        std::vector<std::unique_ptr<SilentFilesystem>> served;
        for (std::size_t i = 0; i < row.shares.size(); ++i) {
            shares.push_back(tmp / ((row.silent ? "silent" : "share") + std::to_string(i)));
            makeDirs(shares.back());
            std::vector<testsupport::ServedFile> files;
            for (const std::string& name : row.shares[i]) files.push_back({name + "/Cargo.toml", 10});
            served.push_back(std::make_unique<SilentFilesystem>(shares.back(), files));
            ASSERT_TRUE(served.back()->answers());
            // Slow enough that the walks are seen while they last.
            if (row.silent) served.back()->fallSilent();
            else served.back()->answerAfter(std::chrono::milliseconds(300));
        }
        // The folders of each share given apart from each other.
        for (std::size_t n = 0; n < 2; ++n)
            for (std::size_t i = 0; i < shares.size(); ++i)
                if (n < row.shares[i].size()) roots.push_back(shares[i] + "/" + row.shares[i][n]);
        std::vector<SilentFilesystem*> all;
        for (auto& fs : served) all.push_back(fs.get());
        auto scanning = std::async(std::launch::async, [&] { return unlessHeldBy(all, [&] { return engine.scan(roots); }); });
        std::map<std::string, std::set<std::string>> helpers;  // by share, their pids
        std::map<std::string, std::string> caps;              // by pid, its address-space cap once it set it
        std::size_t together = 0;
        while (scanning.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
            std::set<std::string> running;
            for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
                const std::string pid = entry.path().filename(), command = readText(entry.path() / "cmdline");
                if (command.find(std::string("\0--helper\0walk\0", 15)) == std::string::npos) continue;
                for (const std::string& share : shares)
                    if (command.find(share + "/") != std::string::npos) helpers[share].insert(pid), running.insert(share);
                std::istringstream limits(readText(entry.path() / "limits"));
                for (std::string line; std::getline(limits, line);)
                    if (line.starts_with("Max address space") && line.find("unlimited") == std::string::npos) caps[pid] = line;
            }
            together = std::max(together, running.size());
        }
        lastRun = scanning.get();
        ASSERT_EQ(lastRun.exitCode, 0) << lastRun.err;
        std::vector<std::string> errors;
        for (const auto& e : events())
            if (e.phase == "error") errors.push_back(e.message);
        if (row.silent) {
            ASSERT_EQ(errors.size(), 3u) << lastRun.err;
            for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(errors[i], "Cannot scan " + roots[i] + ": its filesystem does not answer.");
        } else {
            EXPECT_TRUE(errors.empty()) << lastRun.err;
            EXPECT_EQ(decode<DashboardDTO>(lastRun.out).project_count, 3);
        }
        for (const std::string& share : shares) EXPECT_EQ(helpers[share].size(), 1u) << "one walk for the scan folders on " << share;
        EXPECT_EQ(together, shares.size()) << "the walks run side by side";
#if !defined(__SANITIZE_ADDRESS__)  // a sanitized helper runs without the cap
        for (const auto& [share, pids] : helpers)
            for (const std::string& pid : pids) {
                ASSERT_TRUE(caps.count(pid)) << share;
                std::istringstream fields(caps[pid].substr(17));
                std::string soft, hard;
                fields >> soft >> hard;
                EXPECT_EQ(soft, "2147483648");
                EXPECT_EQ(hard, "2147483648");
            }
#endif
        for (auto& fs : served) fs->hangUp();
    }
}

// Under a process limit that leaves no room for a walk's helper, or for the
// helper's own threads, a scan of a local folder and a share still ends: the
// local folder is listed, and the share is walked, or named when no process
// could be started for it. (A user of the test's own: no other process
// counts against its limit.)
TEST_F(Scan, UnderAProcessLimitTheShareIsWalkedOrNamedAndTheRestListed) {
    ASSERT_EQ(unshare(CLONE_NEWNS), 0) << "tests run as root";
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    writeFiles(tree, {{"app/package.json", 10}, {"app/node_modules/x.js", 5000}});
    const std::string share = tmp / "share";
    makeDirs(share);
    runProgram({"chown", "-R", "424243:424243", tmp.path()}, {}, tmp.path());
    SilentFilesystem fs(share, {{"api/Cargo.toml", 10}, {"api/target/app", 20000}});
    ASSERT_TRUE(fs.mounted());
    // The engine, its thread that reads the helper, the helper: the
    // helper's own threads find no room from 3 on.
    for (const int limit : {1, 2, 3, 4}) {
        SCOPED_TRACE("nproc " + std::to_string(limit));
        const std::string nproc = "--nproc=" + std::to_string(limit);
        lastRun = unlessHeldBy(fs, [&] {
            return engine.scan({share, tree}, 30, 8, {"setpriv", "--reuid=424243", "--regid=424243", "--clear-groups", "prlimit", nproc, "--"});
        });
        ASSERT_EQ(lastRun.exitCode, 0) << "signal " << lastRun.signal << ": " << lastRun.err;
        const DashboardDTO d = decode<DashboardDTO>(lastRun.out);
        EXPECT_EQ(find(d, tree + "/app").artifacts.size(), 1u);
        std::vector<std::string> errors;
        for (const auto& e : events())
            if (e.phase == "error") errors.push_back(e.message);
        if (limit < 3) {
            EXPECT_EQ(errors, std::vector<std::string>{"Cannot scan " + share +
                                                       ": no process could be started to walk it (Resource temporarily unavailable)."});
            EXPECT_EQ(d.project_count, 1);
        } else {
            EXPECT_TRUE(errors.empty()) << lastRun.err;
            EXPECT_EQ(find(d, share + "/api").total_bytes, 24576u);
        }
    }
}

// The mount table a folder is judged by may be partial (read in part, or
// listing only what this process's view holds): a folder on a mount it does
// not list is asked apart as one that may not answer, never trusted as local;
// and when it was read in part, so is a folder on a local mount the part
// lists, as what the part says of it may be wrong.
TEST_F(Scan, AFolderOnAMountTheTableDoesNotListIsAskedApart) {
    ASSERT_EQ(unshare(CLONE_NEWNS), 0) << "tests run as root";
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    const std::string local = tmp / "local";
    TmpfsMount mounted(local, "1m");
    ASSERT_TRUE(mounted.mounted());
    makeDirs(local + "/code");
    const std::string whole = readText("/proc/self/mountinfo");
    std::string partial;
    std::istringstream lines(whole);
    for (std::string line; std::getline(lines, line);)
        if (line.find(" " + local + " ") == std::string::npos) partial += line + "\n";
    ASSERT_LT(partial.size(), whole.size());
    struct Row {
        const char* name;
        std::string table;
        bool readWhole;
        bool localApart;  // on the tmpfs
        bool treeApart;   // on a mount listed as local
    };
    const Row rows[] = {
        {"listing every mount, read whole", whole, true, false, false},
        {"without the tmpfs, read whole", partial, true, true, false},
        {"listing the tmpfs, read in part", whole, false, true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        engine::MountTable mounts;
        mounts.parse(row.table, row.readWhole);
        EXPECT_EQ(engine::mayNotAnswer(local, mounts), row.localApart);
        EXPECT_EQ(engine::mayNotAnswer(local + "/code", mounts), row.localApart);
        EXPECT_EQ(engine::mayNotAnswer(tree, mounts), row.treeApart);
    }
}

// A file is judged by where it lies, as a folder is, whether the kernel
// holds its path or not, and so is where a link to it leads.
TEST_F(Scan, AFileOnAShareMayNotAnswerAndALocalOneAnswers) {
    ASSERT_TRUE(testsupport::enterOwnMountNamespace()) << "tests run as root";
    const std::string share = tmp / "share";
    makeDirs(share);
    SilentFilesystem fs(share, {{"shared.config", 10}});
    ASSERT_TRUE(fs.mounted());
    writeFile(tree + "/local.config", 10);
    ASSERT_EQ(mkfifo((tree + "/fifo").c_str(), 0644), 0);
    ASSERT_EQ(symlink((share + "/shared.config").c_str(), (tree + "/link.config").c_str()), 0);
    struct stat st {};
    const std::vector<std::pair<std::string, bool>> rows = {
        {share + "/shared.config", true}, {tree + "/link.config", true}, {tree + "/local.config", false}, {tree + "/fifo", false}};
    for (const bool held : {false, true}) {
        if (held) {
            ASSERT_EQ(stat((tree + "/link.config").c_str(), &st), 0);
        }
        for (const auto& [path, apart] : rows) {
            SCOPED_TRACE(path + (held ? ", held by the kernel" : ""));
            engine::MountTable mounts;
            EXPECT_EQ(engine::mayNotAnswer(path, mounts), apart);
        }
    }
}

// Asked to end, or killed, while it waits for a filesystem that does not
// answer, a scan or a clean ends by the signal at once. (The wait for an
// answer is made longer than any test: the signal finds it waiting.)
//
// The engine's part runs in this test binary started afresh, in this mount
// namespace: code run in a mere fork of this process, which has threads,
// could find a lock that another thread held at the fork held for ever.
TEST_F(Scan, ASignalEndsAWaitForAFilesystemThatDoesNotAnswer) {
    if (const char* role = std::getenv("TIDEWELL_TEST_ENGINE_ROLE")) {
        const auto given = [](const char* name) { return std::string(std::getenv(name) ? std::getenv(name) : ""); };
        std::filesystem::remove_all(tmp.path());  // this start's own fixture, unused
        try {
            const std::atomic<bool>& stop = engine::installTerminationFlag();
            engine::FolderProbe::answerWithin = std::chrono::hours(1);
            engine::WalksApart::silenceWithin = std::chrono::hours(1);
            const engine::Rules rules = engine::builtinRules(given("TIDEWELL_TEST_HOME"));
            const engine::ProjectDetector detector(rules);
            engine::Database db(given("TIDEWELL_TEST_DB"));
            if (std::string(role) == "scan") {
                engine::ScanOptions options;
                options.roots = {given("TIDEWELL_TEST_REMOTE"), given("TIDEWELL_TEST_TREE")};
                if (!engine::runScan(options, detector, db, stop, nullptr)) engine::endByTermination();
            } else {
                engine::TrashMover mover(given("TIDEWELL_TEST_DATA"));
                if (engine::runClean({given("TIDEWELL_TEST_REMOTE") + "/app"}, detector, db, mover, stop).interrupted)
                    engine::endByTermination();
            }
        } catch (...) {
        }
        _exit(0);
    }
    ASSERT_EQ(unshare(CLONE_NEWNS), 0) << "tests run as root";
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    const std::string remote = tmp / "remote";
    makeDirs(remote);
    makeDirs(tmp / "sandbox");
    SilentFilesystem silent(remote);
    ASSERT_TRUE(silent.mounted());
    silent.fallSilent();
    const std::string self = std::filesystem::read_symlink("/proc/self/exe");
    for (const auto& [scanning, sent] : {std::pair{true, SIGTERM}, {false, SIGTERM}, {true, SIGKILL}, {false, SIGKILL}}) {
        SCOPED_TRACE(std::string(scanning ? "scan, " : "clean, ") + strsignal(sent));
        // Everything the new process needs is made before the fork: the child
        // only closes descriptors and starts it.
        std::vector<std::string> args = {self, "--gtest_filter=Scan.ASignalEndsAWaitForAFilesystemThatDoesNotAnswer"};
        std::vector<std::string> env = {std::string("TIDEWELL_TEST_ENGINE_ROLE=") + (scanning ? "scan" : "clean"),
                                        "TIDEWELL_TEST_REMOTE=" + remote, "TIDEWELL_TEST_TREE=" + tree,
                                        "TIDEWELL_TEST_DB=" + (tmp / "sandbox/db.sqlite"),
                                        "TIDEWELL_TEST_HOME=" + engine.home(), "TIDEWELL_TEST_DATA=" + engine.data()};
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        std::vector<char*> argv, envp;
        for (auto& a : args) argv.push_back(a.data());
        for (auto& e : env) envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            // Holds no end of the filesystem's connection, as the engine holds none.
            syscall(SYS_close_range, 3u, ~0u, 0u);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        ASSERT_GT(pid, 0);
        // Its look at the filesystem runs in a process of its own, started
        // by any of its threads.
        const auto started = [&] {
            for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task"))
                if (!readText(task.path() / "children").empty()) return true;
            return false;
        };
        for (int i = 0; i < 12000 && !started(); ++i) usleep(10000);
        kill(pid, sent);
        int status = 0;
        unlessHeldBy(silent, [&] {
            waitpid(pid, &status, 0);
            return RunResult{};
        });
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sent) << status;
    }
}

// A clone inside a dependency folder whose repository lies on a filesystem
// that does not answer (a worktree of a repository on an sshfs folder, named
// by its .git file or by its commondir), whose config includes a file there
// (also on a line continued past its end) or whose objects are borrowed from
// there (also through a folder that borrows from there in turn), whose
// commondir names a folder holding such a mount, or whose .git is such a
// mount, holds neither the scan nor the clean: its folder stays, and the
// repository is named with the reason. So does a project whose own .git is
// such a mount.
TEST_F(Scan, ACloneWhoseRepositoryDoesNotAnswerHoldsNoScanNorClean) {
    ASSERT_EQ(unshare(CLONE_NEWNS), 0) << "tests run as root";
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    const std::string shelf = tmp / "shelf", remote = shelf + "/remote", origin = tmp / "origin";
    commitOrigin(origin);
    // Each project, with what names the repository and what is said of it.
    const std::string included = "its config names " + remote + "/shared.config, whose filesystem does not answer";
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"by-file", "does not answer"},  {"by-common", "does not answer"},     {"by-shelf", "lies on another filesystem"},
        {"by-include", included}, {"by-alternates", "does not answer"}, {"by-continued-include", included},
        {"by-alternates-twice", "does not answer"}};
    for (const auto& [project, said] : rows) {
        const std::string clone = tree + "/" + project + "/vendor/acme/lib";
        writeFile(tree + "/" + project + "/composer.json", 10);
        if (project.starts_with("by-common") || project == "by-shelf") {
            git({"-C", origin, "worktree", "add", "-q", "-b", project, clone});
            continue;
        }
        git({"clone", "-q", origin, clone});
        if (project == "by-file") {
            std::filesystem::remove_all(clone + "/.git");
            writeText(clone + "/.git", "gitdir: " + remote + "/lib.git\n");
        } else if (project == "by-include") {
            std::ofstream(clone + "/.git/config", std::ios::app) << "[include]\n\tpath = " + remote + "/shared.config\n";
        } else if (project == "by-continued-include") {
            std::ofstream(clone + "/.git/config", std::ios::app) << "[include]\n\tpath = " + remote + "/shared.\\\nconfig\n";
        } else if (project == "by-alternates-twice") {
            // Through a folder here, which borrows from the share in turn.
            writeText(tmp / "between/objects/info/alternates", remote + "/objects\n");
            writeText(clone + "/.git/objects/info/alternates", tmp / "between/objects\n");
        } else {
            writeText(clone + "/.git/objects/info/alternates", remote + "/objects\n");
        }
    }
    for (const std::string project : {"by-common", "by-shelf"}) {
        const std::string gitfile = readText(tree + "/" + project + "/vendor/acme/lib/.git");
        const std::string gitDir = gitfile.substr(gitfile.find(' ') + 1, gitfile.find('\n') - gitfile.find(' ') - 1);
        writeText(gitDir + "/commondir", (project == "by-common" ? remote + "/lib.git" : shelf) + "\n");
    }
    writeFile(shelf + "/HEAD", 10);
    makeDirs(remote);
    SilentFilesystem silent(remote);
    ASSERT_TRUE(silent.mounted());
    // It answers once, as a share whose host goes away after: what it is
    // asked from then on is read and never answered, which no signal ends.
    struct stat answered {};
    ASSERT_EQ(stat(remote.c_str(), &answered), 0);
    silent.fallSilent();
    // A clone whose .git itself is such a mount: the scan offers nothing
    // there, and the clean looks at the mounts before looking into it.
    const std::string atGit = tree + "/at-git", atGitClone = atGit + "/vendor/acme/lib";
    writeFile(atGit + "/composer.json", 10);
    git({"clone", "-q", origin, atGitClone});
    std::filesystem::remove_all(atGitClone + "/.git");
    makeDirs(atGitClone + "/.git");
    SilentFilesystem silentGit(atGitClone + "/.git");
    ASSERT_TRUE(silentGit.mounted());
    silentGit.fallSilent();
    // A project whose own .git is one: nothing in it is offered, and it is named.
    const std::string ownGit = tree + "/own-git";
    writeFiles(ownGit, {{"composer.json", 10}, {"vendor/x/Lib.php", 100}});
    makeDirs(ownGit + "/.git");
    SilentFilesystem silentOwn(ownGit + "/.git");
    ASSERT_TRUE(silentOwn.mounted());
    silentOwn.fallSilent();
    const std::vector<SilentFilesystem*> all = {&silent, &silentGit, &silentOwn};
    // A project whose .git file names a repository there: nothing in it is
    // offered, and it is named, without a look at the share.
    const std::string ownGitfile = tree + "/own-gitfile";
    writeFiles(ownGitfile, {{"composer.json", 10}, {"vendor/x/Lib.php", 100}});
    writeText(ownGitfile + "/.git", "gitdir: " + remote + "/own.git\n");

    const DashboardDTO d = decode<DashboardDTO>(unlessHeldBy(all, [&] { return lastRun = engine.scan({tree}); }).out);
    ASSERT_EQ(lastRun.exitCode, 0) << "signal " << lastRun.signal << ": " << lastRun.err;
    std::map<std::string, std::string> named;
    for (const auto& e : events())
        if (e.phase == "skip") named[e.path.value_or("")] += e.message;
    EXPECT_EQ(named.size(), rows.size() + 2) << lastRun.err;
    EXPECT_NE(named[ownGit].find("its .git is a mount point"), std::string::npos) << lastRun.err;
    EXPECT_TRUE(find(d, ownGit).artifacts.empty());
    EXPECT_NE(named[ownGitfile].find("its .git file names a repository on a filesystem that may not answer"), std::string::npos) << lastRun.err;
    EXPECT_TRUE(find(d, ownGitfile).artifacts.empty());
    for (const auto& [project, said] : rows) {
        SCOPED_TRACE(project);
        EXPECT_TRUE(find(d, tree + "/" + project).artifacts.empty());
        EXPECT_NE(named[tree + "/" + project + "/vendor/acme/lib"].find(said), std::string::npos) << lastRun.err;
        const RunResult clean = unlessHeldBy(all, [&] {
            return engine.run({"clean", "--project", tree + "/" + project, "--json", "--execute", "--caution"});
        });
        EXPECT_EQ(clean.exitCode, 0) << "signal " << clean.signal << ": " << clean.err;
        EXPECT_NE(clean.out.find(said), std::string::npos) << clean.out;
        EXPECT_TRUE(exists(tree + "/" + project + "/vendor/acme/lib/Lib.php"));
    }
    EXPECT_TRUE(find(d, atGit).artifacts.empty());
    for (const bool execute : {false, true}) {
        SCOPED_TRACE(execute ? "clean" : "dry run");
        std::vector<std::string> args = {"clean", "--project", "", "--json", "--caution"};
        if (execute) args.push_back("--execute");
        args.insert(args.end(), {"--artifact", ""});
        for (const auto& [project, said] : {std::pair{atGit, atGit + "/vendor holds another mounted filesystem at " + atGitClone + "/.git"},
                                            {ownGit, ownGit + "/vendor may hold files that Git tracks"}}) {
            args[2] = project;
            args.back() = project + "/vendor";
            const RunResult clean = unlessHeldBy(all, [&] { return engine.run(args); });
            EXPECT_EQ(clean.exitCode, 0) << "signal " << clean.signal << ": " << clean.err;
            EXPECT_NE(clean.out.find(said), std::string::npos) << clean.out;
        }
        EXPECT_TRUE(exists(atGitClone + "/Lib.php"));
        EXPECT_TRUE(exists(ownGit + "/vendor/x/Lib.php"));
    }
}

// A clone inside a dependency folder borrows its objects from a local folder
// that borrows in turn from a share, which answers its first requests (the
// probe's, some of the look's) and then none. Neither the scan nor the clean
// waits on it: the engine itself never looks at the share, the clone's
// helper does, and is left behind at its deadline. The clone is kept and
// named, both end, and the next dry run is not held by a lock.
TEST_F(Scan, AShareThatAnswersTheFirstLooksAndStopsHoldsNoJudgementOfAClone) {
    ASSERT_TRUE(testsupport::enterOwnMountNamespace()) << "tests run as root";
    const std::string origin = tmp / "origin";
    commitOrigin(origin);
    // More on the share than any of the answers reaches.
    std::vector<testsupport::ServedFile> served;
    for (int i = 0; i < 24; ++i) served.push_back({"objects/" + std::to_string(10 + i) + "/object", 100});
    std::vector<std::unique_ptr<SilentFilesystem>> shares;
    std::vector<SilentFilesystem*> all;
    const std::vector<long> answers = {2, 6, 10, 16};
    for (const long n : answers) {
        const std::string project = tree + "/p" + std::to_string(n), between = tmp / ("between" + std::to_string(n)), share = tmp / ("share" + std::to_string(n));
        writeFile(project + "/composer.json", 10);
        git({"clone", "-q", origin, project + "/vendor/acme/lib"});
        writeText(project + "/vendor/acme/lib/.git/objects/info/alternates", between + "/objects\n");
        writeText(between + "/objects/info/alternates", share + "/objects\n");
        makeDirs(share);
        shares.push_back(std::make_unique<SilentFilesystem>(share, served));
        ASSERT_TRUE(shares.back()->mounted());
        shares.back()->answerOnly(n);
        all.push_back(shares.back().get());
    }
    writeFiles(tree, {{"other/package.json", 10}, {"other/node_modules/x.js", 100}});
    // Each held look waits out its minute; a few at a time.
    const DashboardDTO d = decode<DashboardDTO>(unlessHeldBy(all, [&] { return lastRun = engine.scan({tree}); }, std::chrono::minutes(4)).out);
    ASSERT_EQ(lastRun.exitCode, 0) << "signal " << lastRun.signal << ": " << lastRun.err;
    std::map<std::string, std::string> named;
    for (const auto& e : events())
        if (e.phase == "skip") named[e.path.value_or("")] += e.message;
    EXPECT_EQ(find(d, tree + "/other").artifacts.size(), 1u);
    for (const long n : answers) {
        SCOPED_TRACE(std::to_string(n) + " answers");
        const std::string project = tree + "/p" + std::to_string(n), clone = project + "/vendor/acme/lib";
        EXPECT_TRUE(find(d, project).artifacts.empty());
        EXPECT_NE(named[clone].find("Not offering " + project + "/vendor: it holds this Git repository, whose work cannot be judged"),
                  std::string::npos) << lastRun.err;
        const RunResult clean = unlessHeldBy(all, [&] { return engine.run({"clean", "--project", project, "--json", "--execute", "--caution"}); });
        EXPECT_EQ(clean.exitCode, 0) << "signal " << clean.signal << ": " << clean.err;
        EXPECT_NE(clean.out.find(project + "/vendor holds the Git repository " + clone + ", whose work cannot be judged"), std::string::npos) << clean.out;
        EXPECT_TRUE(exists(clone + "/Lib.php"));
    }
    const RunResult dryRun = unlessHeldBy(all, [&] { return engine.run({"clean", "--project", tree + "/other", "--json"}); });
    EXPECT_EQ(dryRun.exitCode, 0) << dryRun.err;
}

// Moving an artifact out (a clean, a restore) changes the project folder's
// own time, and the engine writes its database as it scans: neither is the
// user's activity, nor is the database part of a project's size.
TEST_F(Scan, NeitherACleanNorTheEnginesOwnDatabaseMakesAProjectActive) {
    const std::int64_t old = time(nullptr) - 100 * 86400;
    writeFiles(tree, {{"app/package.json", 10}, {"app/src/a.js", 3000}, {"app/node_modules/x.js", 9000},
                      {"home/package.json", 10}, {"home/notes.txt", 10}});
    age(tree, old);
    const std::string db = tree + "/home/.local/share/Tidewell/tidewell.sqlite";
    lastRun = engine.run({"--db", db, "clean", "--project", tree + "/app", "--json", "--execute"}, false);
    ASSERT_EQ(lastRun.exitCode, 0) << lastRun.err;
    lastRun = engine.run({"--db", db, "scan", "--json", "--idle-days", "30", "--root", tree}, false);
    ASSERT_EQ(lastRun.exitCode, 0) << lastRun.err;
    const DashboardDTO d = decode<DashboardDTO>(lastRun.out);
    for (const char* p : {"app", "home"}) {
        EXPECT_EQ(find(d, tree + "/" + p).last_activity_unix, old) << p;
        EXPECT_FALSE(find(d, tree + "/" + p).is_active) << p;
    }
    EXPECT_EQ(find(d, tree + "/home").total_bytes, du({"--exclude=tidewell.sqlite*", tree + "/home"}));
}

TEST_F(Scan, OnlyTheLinuxCachesPresentAreMeasuredUnderTheVocabularyIds) {
    writeFile(engine.home() + "/.npm/_cacache/content/a", 9000);
    writeFile(engine.home() + "/.cache/ccache/0/stats", 500);
    writeFile(engine.home() + "/.cargo/git/checkouts/x/lib.rs", 700);
    writeFile(engine.home() + "/Library/Developer/Xcode/Archives/a.xcarchive/x", 700);
    std::map<std::string, GlobalCacheDTO> byId;
    for (const auto& c : scan().global_caches) {
        EXPECT_TRUE(c.exists) << c.id;
        EXPECT_EQ(c.path.rfind(engine.home() + "/", 0), 0u) << c.path;
        EXPECT_EQ(c.path.find("/Library/"), std::string::npos) << c.path;
        byId[c.id] = c;
    }
    ASSERT_EQ(byId.size(), 3u) << "absent caches are not listed";
    EXPECT_EQ(byId["node_global"].path, engine.home() + "/.npm");
    EXPECT_EQ(byId["node_global"].size_bytes, du({engine.home() + "/.npm"}));
    EXPECT_EQ(byId["ccache"].size_bytes, du({engine.home() + "/.cache/ccache"}));
    EXPECT_EQ(byId["cargo_git"].size_bytes, du({engine.home() + "/.cargo/git"}));
}

// A home on a share that falls silent, from the start or after some answers
// (an NFS home whose server went away), holds no scan of local folders: the
// caches there that were not measured are left out and named, the home
// trash there is never asked, and the local scan folders are listed.
TEST_F(Scan, AHomeOnAShareThatFallsSilentHoldsNoScan) {
    ASSERT_TRUE(testsupport::enterOwnMountNamespace()) << "tests run as root";
    writeFiles(tree, {{"app/package.json", 10}, {"app/node_modules/x.js", 5000}});
    const std::vector<testsupport::ServedFile> served = {
        {".npm/_cacache/content/a", 9000}, {".cache/pip/http/b", 3000}, {".cargo/git/checkouts/x/lib.rs", 700}, {".local/share/Trash/info", 0}};
    const std::map<std::string, std::uint64_t> servedCaches = {{"node_global", 12288}, {"pip", 4096}, {"cargo_git", 4096}};
    for (const long answers : {0L, 2L, 8L, 24L, -1L}) {
        SCOPED_TRACE(answers < 0 ? "every request answered" : "silent after " + std::to_string(answers) + " answers");
        const std::string home = tmp / ("home" + std::to_string(answers));
        makeDirs(home);
        SilentFilesystem fs(home, served);
        ASSERT_TRUE(fs.mounted());
        if (answers >= 0) fs.answerOnly(answers);
        // Without XDG_DATA_HOME, the home trash lies on the share too.
        lastRun = unlessHeldBy(fs, [&] { return engine.scan({tree}, 30, 8, {"env", "HOME=" + home, "TIDEWELL_HOME=" + home, "XDG_DATA_HOME="}); });
        ASSERT_EQ(lastRun.exitCode, 0) << "signal " << lastRun.signal << ": " << lastRun.err;
        const DashboardDTO d = decode<DashboardDTO>(lastRun.out);
        EXPECT_EQ(d.project_count, 1);
        EXPECT_EQ(artifactPaths(find(d, tree + "/app")), std::vector<std::string>{"node_modules"});
        std::map<std::string, std::uint64_t> listed;
        for (const auto& c : d.global_caches) listed[c.id] = c.size_bytes;
        std::map<std::string, std::string> named;  // by path
        for (const auto& e : events())
            if (e.phase == "skip" && e.message.starts_with("Cannot measure ")) named[e.path.value_or("")] = e.message;
        const engine::Rules rules = engine::builtinRules(home);
        for (const auto& c : rules.caches) {
            const bool served = servedCaches.count(c.id) != 0;
            if (answers < 0) {
                EXPECT_EQ(listed.count(c.id), served ? 1u : 0u) << c.id;
                if (served) {
                    EXPECT_EQ(listed[c.id], servedCaches.at(c.id)) << c.id;
                }
                EXPECT_FALSE(named.count(c.path)) << named[c.path];
            } else if (answers == 0) {
                EXPECT_EQ(named[c.path], "Cannot measure " + c.label + ": its filesystem does not answer.");
            } else {
                // One found is measured or named, never both; one it found
                // absent is neither.
                EXPECT_FALSE(listed.count(c.id) && named.count(c.path)) << c.id;
                EXPECT_TRUE(served ? listed.count(c.id) || named.count(c.path) : !listed.count(c.id)) << c.id;
            }
        }
        EXPECT_EQ(named.empty(), answers < 0) << "a share that fell silent cannot have been measured whole";
        EXPECT_EQ(events().back().phase, "done");
    }
}

// A home on a share that answers (an NFS home) keeps its home trash for the
// projects there, which helpers judge: the scan offers their folders and the
// preview takes them, though the share's own volume trash is no folder.
TEST_F(Scan, AHomeOnAShareThatAnswersKeepsItsHomeTrash) {
    ASSERT_TRUE(testsupport::enterOwnMountNamespace()) << "tests run as root";
    const std::vector<testsupport::ServedFile> served = {{"code/app/package.json", 10}, {"code/app/node_modules/x.js", 5000},
                                                         {".local/share/Trash/files/.keep", 0}, {".local/share/Trash/info/.keep", 0},
                                                         {".Trash-" + std::to_string(getuid()), 0}};
    for (const bool scans : {true, false}) {
        SCOPED_TRACE(scans ? "scan" : "clean preview");
        const std::string home = tmp / (scans ? "scanned" : "previewed"), app = home + "/code/app";
        makeDirs(home);
        SilentFilesystem fs(home, served);
        ASSERT_TRUE(fs.mounted());
        const std::vector<std::string> onShare = {"env", "HOME=" + home, "TIDEWELL_HOME=" + home, "XDG_DATA_HOME="};
        if (scans) {
            lastRun = unlessHeldBy(fs, [&] { return engine.scan({home + "/code"}, 30, 8, onShare); });
            ASSERT_EQ(lastRun.exitCode, 0) << lastRun.err;
            EXPECT_EQ(artifactPaths(find(decode<DashboardDTO>(lastRun.out), app)), std::vector<std::string>{"node_modules"});
            continue;
        }
        const RunResult r = unlessHeldBy(fs, [&] { return engine.run({"clean", "--project", app, "--json", "--caution"}, true, false, onShare); });
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const CleanReportDTO preview = decode<CleanReportDTO>(r.out);
        ASSERT_EQ(preview.items.size(), 1u) << r.out;
        EXPECT_EQ(preview.items[0].error, std::nullopt);
    }
}

TEST_F(Scan, ProgressTellsTheWholeStoryAndUnreadableFoldersAreSkipped) {
    writeFiles(tree, {{"app/package.json", 10}, {"app/secret/key", 10}, {"app/node_modules/dep/index.js", 9000}, {"locked/inner/package.json", 10},
                      {"open/Cargo.toml", 10}});
    writeFile(engine.home() + "/.npm/_cacache/index", 10);
    std::vector<std::string> prefix;
    if (geteuid() == 0) {
        // Root reads everything: run the engine as an ordinary user instead.
        runProgram({"chmod", "-R", "a+rwX", tmp.path()}, {}, tmp.path());
        prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    chmod((tree + "/app/secret").c_str(), 0);
    chmod((tree + "/app/node_modules").c_str(), 0);
    chmod((tree + "/locked").c_str(), 0);
    lastRun = engine.scan({tree, tmp / "missing-root"}, 30, 8, prefix);
    ASSERT_EQ(lastRun.exitCode, 0) << lastRun.err;
    const DashboardDTO d = decode<DashboardDTO>(lastRun.out);
    // The folders it cannot read count their own blocks, as du counts them for the same user.
    prefix.insert(prefix.end(), {"du", "-sB1", tree + "/app"});
    EXPECT_EQ(find(d, tree + "/app").total_bytes, std::stoull(runProgram(prefix, {}, tmp.path()).out));
    EXPECT_NO_THROW(find(d, tree + "/open"));

    const auto ev = events();
    ASSERT_GE(ev.size(), 6u);
    EXPECT_EQ(ev.front().phase, "start");
    EXPECT_EQ(ev.back().phase, "done");
    EXPECT_EQ(ev.back().projects_found, 2);
    EXPECT_EQ(ev.back().roots_done, 2);
    std::map<std::string, int> phases;
    std::vector<std::string> skipped;
    for (const auto& e : ev) {
        ++phases[e.phase];
        EXPECT_EQ(e.roots_total, 2);
        EXPECT_FALSE(e.message.empty());
        EXPECT_TRUE(e.phase != "error" || e.path == tmp / "missing-root") << "a root that cannot be read is an error";
        if (e.phase == "skip") skipped.push_back(e.path.value_or(""));
    }
    EXPECT_EQ(phases["project"], 2);
    EXPECT_EQ(phases["root"], 2);
    EXPECT_EQ(phases["root_done"], 2);
    EXPECT_EQ(phases["error"], 1);
    EXPECT_GT(phases["cache"], 0);
    std::sort(skipped.begin(), skipped.end());
    EXPECT_EQ(skipped, (std::vector<std::string>{tree + "/app/node_modules", tree + "/app/secret", tree + "/locked"})) << "and the scan goes on";
}

// Neither another filesystem nor another mount of the same one (a bind
// mount) is entered or counted.
TEST_F(Scan, OtherFilesystemsAndOtherMountsAreNotEntered) {
    writeFiles(tree, {{"app/package.json", 10}, {"app/src/a.js", 3000}, {"other/package.json", 10}});
    writeFiles(tmp.path(), {{"outside/big.bin", 1 << 20}, {"outside/inner/package.json", 10}});
    for (const char* m : {"/app/mnt", "/app/bound", "/other/self", "/mnt2"}) makeDirs(tree + m);
    ASSERT_EQ(mount("tmpfs", (tree + "/app/mnt").c_str(), "tmpfs", 0, "size=4m"), 0) << "tests run as root";
    ASSERT_EQ(mount("tmpfs", (tree + "/mnt2").c_str(), "tmpfs", 0, "size=4m"), 0);
    ASSERT_EQ(mount((tmp / "outside").c_str(), (tree + "/app/bound").c_str(), nullptr, MS_BIND, nullptr), 0);
    ASSERT_EQ(mount((tree + "/other").c_str(), (tree + "/other/self").c_str(), nullptr, MS_BIND, nullptr), 0);
    writeFiles(tree, {{"app/mnt/big.bin", 1 << 20}, {"app/mnt/inner/package.json", 10}, {"mnt2/x/package.json", 10}});
    const DashboardDTO d = scan();
    const std::uint64_t expected = du({"-x", tree + "/app"}) - du({tmp / "outside"});
    const std::uint64_t other = du({"-x", tree + "/other"});
    for (const char* m : {"/app/mnt", "/app/bound", "/other/self", "/mnt2"}) umount2((tree + m).c_str(), MNT_DETACH);
    ASSERT_EQ(d.project_count, 2);
    EXPECT_EQ(find(d, tree + "/app").total_bytes, expected) << "as du -x counts it, without the bind mount";
    EXPECT_EQ(find(d, tree + "/other").total_bytes, other) << "a folder bound inside itself is counted once";
}

// Roots that reach the same folders (through a link, or a bind mount) list
// each folder once, under the first root given whose walk reaches it, and
// count its bytes once: a root that is, or lies inside, the real folder of a
// root walked before is not walked again.
TEST_F(Scan, RootsReachingTheSameFoldersListEachFolderOnce) {
    const std::string code = tree + "/data/code";
    writeFiles(code, {{"web/package.json", 10}, {"web/src/shared.js", 30000}, {"web/node_modules/dep/index.js", 40000},
                      {"rusty/Cargo.toml", 10}, {"rusty/target/debug/app", 50000}});
    // A file linked into both projects: once per scan.
    ASSERT_EQ(link((code + "/web/src/shared.js").c_str(), (code + "/rusty/shared.js").c_str()), 0);
    symlink(code.c_str(), (tree + "/code").c_str());
    symlink((code + "/rusty").c_str(), (tree + "/rl").c_str());
    const BindMount bound(code, tree + "/bound");
    const BindMount boundRusty(code + "/rusty", tree + "/bound-rusty");
    ASSERT_TRUE(bound.mounted() && boundRusty.mounted()) << "tests run as root";
    const DashboardDTO alone = scan({code});
    ASSERT_EQ(alone.project_count, 2);
    ASSERT_GT(alone.reclaimable_bytes, 0u);

    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
        {{"code", "data/code"}, {"code/rusty", "code/web"}},
        {{"data/code", "code"}, {"data/code/rusty", "data/code/web"}},
        {{"code", "rl"}, {"code/rusty", "code/web"}},
        {{"rl", "code"}, {"code/web", "rl"}},
        {{"rl", "data/code", "code"}, {"data/code/web", "rl"}},
        {{"bound", "data/code"}, {"bound/rusty", "bound/web"}},
        {{"rl", "bound"}, {"bound/web", "rl"}},
        {{"data", "bound-rusty"}, {"data/code/rusty", "data/code/web"}},
        {{"bound-rusty", "data"}, {"bound-rusty", "data/code/web"}},
    };
    for (const auto& [roots, listed] : cases) {
        std::vector<std::string> given;
        for (const auto& r : roots) given.push_back(tree + "/" + r);
        const DashboardDTO d = scan(given);
        std::vector<std::string> paths;
        for (const auto& p : d.projects) paths.push_back(p.path.substr(tree.size() + 1));
        EXPECT_EQ(paths, listed) << "roots " << ::testing::PrintToString(roots);
        EXPECT_EQ(d.total_bytes, alone.total_bytes) << ::testing::PrintToString(roots);
        std::uint64_t reclaimable = 0;
        for (const auto& p : listed)
            if (p.rfind("bound", 0) != 0)  // a bind mount's folders are never offered: no trash lies on that mount
                reclaimable += find(alone, code + (p.ends_with("web") ? "/web" : "/rusty")).reclaimable_bytes;
        EXPECT_EQ(d.reclaimable_bytes, reclaimable) << ::testing::PrintToString(roots);
        for (const auto& t : d.by_type) EXPECT_EQ(t.project_count, 1) << t.project_type << " in " << ::testing::PrintToString(roots);
        EXPECT_EQ(d.roots, given) << "roots as given";
    }
}

// Scan folders inside a project, given before it, change where projects are
// listed but none of its figures: everything below its folder counts, and
// what the projects around claim there is theirs (Python's caches anywhere
// inside, React Native's android/build, a CMake subfolder's build).
TEST_F(Scan, ScanFoldersGivenBeforeAProjectAroundThemChangeNoFigure) {
    const std::string code = tree + "/code";
    writeFiles(code, {{"package.json", 10}, {"requirements.txt", 10}, {"src/index.js", 3000}, {"app/Cargo.toml", 10}, {"app/package.json", 10}, {"app/src/main.rs", 5000},
                      {"app/src/__pycache__/gen.pyc", 6000}, {"app/lib/go.mod", 10}, {"app/lib/__pycache__/l.pyc", 3000}, {"app/target/debug/app", 50000}, {"app/node_modules/dep/package.json", 10},
                      {"app/node_modules/dep/index.js", 40000}, {"app/node_modules/dep/node_modules/x.js", 7000}, {"misc/notes.txt", 20000}, {"misc/plan.txt", 10}, {"misc/tool/go.mod", 10},
                      {"misc/tool/bin/tool", 10000}, {"misc/tool/__pycache__/t.pyc", 4000}, {"rn/package.json", 10}, {"rn/metro.config.js", 10},
                      {"rn/android/settings.gradle", 10}, {"rn/android/app/src/main/AndroidManifest.xml", 10}, {"rn/android/build/out.bin", 9000},
                      {"rn/android/app/build/out.bin", 11000}, {"cm/CMakeLists.txt", 10}, {"cm/lib/CMakeLists.txt", 10}, {"cm/lib/build/lib.a", 12000},
                      {".venv/pyvenv.cfg", 10}, {".venv/src/pkg/setup.py", 10}, {".venv/src/pkg/pkg.py", 8000}});
    ASSERT_EQ(link((code + "/misc/notes.txt").c_str(), (code + "/app/src/notes.txt").c_str()), 0);
    // Where no project claims folders inside another, one is taken in as its scan folder measured it.
    const std::string web = tree + "/web";
    writeFiles(web, {{"package.json", 10}, {"src/app.js", 3000}, {"m/Cargo.toml", 10}, {"m/src/lib.rs", 5000}, {"m/i/go.mod", 10}, {"m/i/main.go", 7000}});
    const std::map<std::string, std::string> links = {{"linked-app", code + "/app"}, {"linked-android", code + "/rn/android"}};
    for (const auto& [link, to] : links) symlink(to.c_str(), (tree + "/" + link).c_str());
    const std::int64_t old = time(nullptr) - 100 * 86400;
    age(tree, old);
    age(code + "/misc/plan.txt", old + 5000);  // the newest change of "code" lies in misc
    age(code + "/app/src/__pycache__", old + 9000);  // but not in the caches of "code"
    const auto sorted = [](std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    const std::map<std::string, DashboardDTO> scannedAlone = {{code, scan({code})}, {web, scan({web})}};
    ASSERT_EQ(scannedAlone.at(code).project_count, 7);
    ASSERT_EQ(find(scannedAlone.at(code), code).total_bytes, du({code}));
    ASSERT_EQ(find(scannedAlone.at(code), code).last_activity_unix, old + 5000);
    ASSERT_EQ(find(scannedAlone.at(web), web).total_bytes, du({web}));

    // Each row is scanned in the other order too: only where projects are
    // listed may change. A scan folder inside an artifact, where the walk
    // around it looks for none, lists its own projects in either order.
    for (const std::vector<std::string>& roots : std::vector<std::vector<std::string>>{
             {"web/m/i", "web/m", "web"}, {"code/rn/android", "code/rn", "code"}, {"code/misc", "code"}, {"code/app", "code"}, {"linked-app", "code"},
             {"code/misc/tool", "code/misc", "code"}, {"code/app/node_modules/dep", "code"}, {"code/.venv/src/pkg", "code"},
             {"code/rn/android", "code"}, {"linked-android", "code"}, {"code/cm/lib", "code"}, {"code/cm/lib", "code/cm", "code"},
             {"code/app/lib", "linked-app", "code"}, {"linked-app/lib", "code/app", "code"}, {"linked-android", "code/rn", "code"}}) {
        std::vector<std::string> given;
        for (const auto& r : roots) given.push_back(tree + "/" + r);
        const DashboardDTO reversed = scan({given.rbegin(), given.rend()});
        const DashboardDTO d = scan(given);
        const DashboardDTO& alone = scannedAlone.at(given.back());
        const std::string in = ::testing::PrintToString(roots);
        EXPECT_EQ(d.total_bytes, alone.total_bytes) << in;
        EXPECT_EQ(d.reclaimable_bytes, alone.reclaimable_bytes) << in;
        EXPECT_EQ(d.project_count, reversed.project_count) << in;
        EXPECT_EQ(d.idle_count, reversed.idle_count) << in;
        EXPECT_EQ(encodeArray(d.by_type), encodeArray(reversed.by_type)) << in;
        EXPECT_EQ(events().back().projects_found, d.project_count) << in;
        for (const auto& want : alone.projects) {
            // Listed where the first scan folder that reaches it lists it.
            std::string path = want.path;
            for (const auto& root : roots)
                if (const auto linked = links.find(root.substr(0, root.find('/'))); linked != links.end()) {
                    const std::string through = tree + "/" + linked->first + want.path.substr(std::min(want.path.size(), linked->second.size()));
                    if (isInsideOrEqual(want.path, linked->second) && isInsideOrEqual(through, tree + "/" + root)) {
                        path = through;
                        break;
                    }
                } else if (isInsideOrEqual(want.path, tree + "/" + root)) {
                    break;
                }
            const ProjectDTO& p = find(d, path);
            EXPECT_EQ(p.total_bytes, want.total_bytes) << path << " in " << in;
            EXPECT_EQ(p.reclaimable_bytes, want.reclaimable_bytes) << path << " in " << in;
            EXPECT_EQ(p.last_activity_unix, want.last_activity_unix) << path << " in " << in;
            EXPECT_EQ(sorted(artifactPaths(p)), sorted(artifactPaths(want))) << path << " in " << in;
        }
    }
}

// Depth never depends on the length of the path: a tree far deeper than
// PATH_MAX is measured whole.
TEST_F(Scan, PathsLongerThanPathMaxAreMeasured) {
    writeFile(tree + "/app/package.json", 10);
    const std::string name(200, 'd');
    int fd = open((tree + "/app").c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < 40; ++level) {  // about 8,000 bytes of path
        ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
        const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
        const int file = openat(fd, "f.bin", O_WRONLY | O_CREAT, 0644);
        ASSERT_EQ(write(file, std::string(8192, 'x').data(), 8192), 8192);
        close(file);
    }
    close(fd);
    const DashboardDTO d = scan();
    EXPECT_EQ(find(d, tree + "/app").total_bytes, du({tree + "/app"}));
    EXPECT_GT(find(d, tree + "/app").total_bytes, 40u * 8192);
}

// "/" as a project, seen from inside a changed root (a mount of its own, with
// its own /proc, which tells its mounts): its folders are "/x", never "//x",
// in the dashboard, the clean and the Trash.
TEST_F(Scan, TheRootFolderAsAProject) {
    if (geteuid() != 0) GTEST_SKIP() << "changing the root folder needs root";
    writeFiles(tree, {{"package.json", 10}, {"src/index.js", 3000}, {"node_modules/dep/package.json", 10},
                      {"node_modules/dep/index.js", 20000}});
    makeDirs(tree + "/proc");
    std::ofstream report(tmp / "report.txt");  // opened before the root changes
    const pid_t child = fork();
    if (child == 0) {
        using namespace tidewell::engine;
        // A changed root that is no mount is on none its mount table lists,
        // and what lies there is judged as what may not answer.
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(tree.c_str(), tree.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            mount("proc", (tree + "/proc").c_str(), "proc", 0, nullptr) != 0 || chroot(tree.c_str()) != 0 || chdir("/") != 0)
            _exit(1);
        const Rules rules = builtinRules("/home");
        const ProjectDetector detector(rules);
        Database db("/data/db.sqlite");
        std::atomic<bool> stop{false};
        ScanOptions options;
        options.roots = {"/"};
        const auto scanned = runScan(options, detector, db, stop, nullptr);  // kept alive for the loop
        for (const auto& p : scanned->projects) {
            report << p.path << ":";
            for (const auto& a : p.artifacts) report << " " << a.absolute_path << (a.size_bytes > 20000 ? " measured" : " empty");
            report << "\n";
        }
        TrashMover mover("/data");
        const auto cleaned = runClean({"/", true, true}, detector, db, mover, stop);
        for (const auto& i : cleaned.report.items)
            report << i.path << (i.success ? " moved\n" : " failed\n");
        report << readText("/data/Trash/info/node_modules.trashinfo").substr(0, 32) << std::flush;
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    const std::string out = readText(tmp / "report.txt");
    EXPECT_EQ(out, "/: /node_modules measured\n/node_modules moved\n[Trash Info]\nPath=/node_modules\n");
}
