// Only what this user can really move is offered, and a clean tells what it
// could not move: the engine runs as an ordinary user beside other owners'
// projects, a project whose path is not UTF-8, and mount points.

#include "CleanLock.h"
#include "Movability.h"

#include "EngineTestSupport.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>

using namespace tidewell;
using namespace enginetest;

namespace {

constexpr uid_t kUser = 65534;  // nobody

class Movable : public ::testing::Test {
protected:
    TempDir tmp;
    std::string tree = tmp / "tree";
    EngineRunner engine{tmp / "sandbox"};
    const std::vector<std::string> asUser = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};

    void SetUp() override {
        ASSERT_EQ(geteuid(), 0u) << "these tests make other owners' folders, as root";
        makeDirs(tree);
    }

    void nodeProject(const std::string& p) {
        writeFiles(p, {{"package.json", 50}, {"src/index.js", 3000}, {"node_modules/dep/index.js", 20000}, {".next/page.html", 9000}});
    }
    void give(const std::string& path) { runProgram({"chown", "-R", "65534:65534", path}, {}, tmp.path()); }

    DashboardDTO scanAsUser() {
        give(tmp / "sandbox");
        const RunResult r = engine.scan({tree}, 30, 8, asUser);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return decode<DashboardDTO>(r.out);
    }
    RunResult cleanAsUser(const std::string& project, bool execute, std::vector<std::string> artifacts = {}) {
        give(tmp / "sandbox");
        std::vector<std::string> a = {"clean", "--project", project, "--json", "--caution"};
        if (execute) a.push_back("--execute");
        for (const auto& p : artifacts) a.insert(a.end(), {"--artifact", p});
        return engine.run(a, true, false, asUser);
    }
    // This user's project and database, and the database's lock file made by
    // root for itself alone and held: the descriptor, or -1.
    int holdRootLock(const std::string& project) {
        nodeProject(project);
        give(project);
        give(tmp / "sandbox");
        if (engine.run({"log", "--json"}, true, false, asUser).exitCode != 0) return -1;
        const std::string lock = engine.db() + ".lock";
        std::filesystem::remove(lock);
        const int held = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (held >= 0 && (fchmod(held, 0600) != 0 || flock(held, LOCK_EX) != 0)) {
            close(held);
            return -1;
        }
        return held;
    }
    std::vector<OperationDTO> log() { return decodeArray<OperationDTO>(engine.run({"log", "--limit", "50", "--json"}).out); }

    static const ProjectDTO& find(const DashboardDTO& d, const std::string& path) {
        for (const auto& p : d.projects)
            if (p.path == path) return p;
        throw std::runtime_error("no project " + path);
    }
    static std::vector<std::string> artifactNames(const ProjectDTO& p) {
        std::vector<std::string> out;
        for (const auto& a : p.artifacts) out.push_back(a.relative_path);
        std::sort(out.begin(), out.end());
        return out;
    }
};

}  // namespace

TEST_F(Movable, OnlyFoldersThisUserCanMoveAreOffered) {
    nodeProject(tree + "/mine");
    give(tree + "/mine");
    nodeProject(tree + "/theirs");  // root's, readable by all
    // This user's project whose node_modules belongs to root: moving a folder
    // needs write permission on it.
    nodeProject(tree + "/lent");
    give(tree + "/lent");
    runProgram({"chown", "-R", "0:0", tree + "/lent/node_modules"}, {}, tmp.path());
    // This user's node_modules in root's project: its parent takes no rename.
    nodeProject(tree + "/borrowed");
    give(tree + "/borrowed/node_modules");
    // A sticky project folder open to all: only entries of this user move.
    nodeProject(tree + "/shared");
    chmod((tree + "/shared").c_str(), 01777);
    chmod((tree + "/shared/node_modules").c_str(), 0777);
    give(tree + "/shared/.next");
    // A name the application cannot give back.
    const std::string latin1 = tree + "/caf\xe9-app";
    nodeProject(latin1);
    give(latin1);

    const DashboardDTO d = scanAsUser();
    ASSERT_EQ(d.project_count, 6);
    EXPECT_EQ(artifactNames(find(d, tree + "/mine")), (std::vector<std::string>{".next", "node_modules"}));
    EXPECT_EQ(artifactNames(find(d, tree + "/lent")), std::vector<std::string>{".next"});
    EXPECT_TRUE(find(d, tree + "/borrowed").artifacts.empty());
    EXPECT_EQ(artifactNames(find(d, tree + "/shared")), std::vector<std::string>{".next"});
    // JSON carries the non-UTF-8 name with replacement characters.
    const auto odd = std::find_if(d.projects.begin(), d.projects.end(), [](const ProjectDTO& p) { return p.name.rfind("caf", 0) == 0; });
    ASSERT_NE(odd, d.projects.end());
    EXPECT_TRUE(odd->artifacts.empty());
    EXPECT_EQ(odd->reclaimable_bytes, 0u);
    EXPECT_EQ(odd->total_bytes, duBytes({latin1}, tmp.path()));
    std::uint64_t offered = 0;
    for (const auto& p : d.projects) {
        std::uint64_t sum = 0;
        for (const auto& a : p.artifacts) sum += a.size_bytes;
        EXPECT_EQ(p.reclaimable_bytes, sum) << p.path;
        EXPECT_EQ(p.safe_bytes + p.caution_bytes, sum) << p.path;
        if (&p != &*odd) {
            EXPECT_EQ(p.total_bytes, duBytes({p.path}, tmp.path())) << "still counted whole: " << p.path;
        }
        offered += sum;
    }
    EXPECT_EQ(find(d, tree + "/theirs").reclaimable_bytes, 0u);
    EXPECT_EQ(d.reclaimable_bytes, offered);
    EXPECT_EQ(d.total_bytes, duBytes({tree + "/mine", tree + "/theirs", tree + "/lent", tree + "/borrowed", tree + "/shared", latin1},
                                     tmp.path()));
}

TEST_F(Movable, ACleanThatCannotMoveRecordsNothingAndNamesEachFolder) {
    nodeProject(tree + "/theirs");
    const std::uint64_t modules = duBytes({tree + "/theirs/node_modules"}, tmp.path());
    const RunResult r = cleanAsUser(tree + "/theirs", true);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const CleanReportDTO report = decode<CleanReportDTO>(r.out);
    ASSERT_EQ(report.items.size(), 2u);
    EXPECT_EQ(report.items[0].path, tree + "/theirs/node_modules");
    EXPECT_EQ(report.items[0].bytes, modules) << "a failed item keeps its folder's size";
    for (const auto& i : report.items) {
        EXPECT_FALSE(i.success);
        ASSERT_TRUE(i.error) << i.path;
        EXPECT_EQ(i.error->rfind(i.path + " ", 0), 0u) << *i.error;
    }
    EXPECT_EQ(report.bytes_reclaimed, 0u);
    EXPECT_TRUE(exists(tree + "/theirs/node_modules/dep/index.js"));
    EXPECT_TRUE(log().empty()) << "a clean in which nothing moved is no operation";
}

TEST_F(Movable, APartialCleanRecordsOnlyWhatMoved) {
    nodeProject(tree + "/shared");
    chmod((tree + "/shared").c_str(), 01777);
    chmod((tree + "/shared/node_modules").c_str(), 0777);
    give(tree + "/shared/.next");
    const RunResult r = cleanAsUser(tree + "/shared", true);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const CleanReportDTO report = decode<CleanReportDTO>(r.out);
    ASSERT_EQ(report.items.size(), 2u);
    EXPECT_FALSE(report.items[0].success) << "root's node_modules in a sticky folder";
    EXPECT_NE(report.items[0].error.value_or("").find(tree + "/shared/node_modules"), std::string::npos);
    EXPECT_GT(report.items[0].bytes, 0u);
    EXPECT_TRUE(report.items[1].success) << report.items[1].error.value_or("");
    EXPECT_EQ(report.bytes_reclaimed, report.items[1].bytes);
    const auto ops = log();
    ASSERT_EQ(ops.size(), 1u);
    EXPECT_EQ(ops[0].bytes_reclaimed, report.items[1].bytes);
    ASSERT_TRUE(ops[0].items);
    EXPECT_EQ(*ops[0].items, std::vector<CleanItemDTO>{report.items[1]});
}

TEST_F(Movable, ANonUtf8ProjectIsRefusedAndTheOthersStillClean) {
    const std::string latin1 = tree + "/caf\xe9-app";
    for (const std::string& p : {latin1, tree + "/ok"}) {
        nodeProject(p);
        give(p);
    }
    for (bool execute : {false, true}) {
        const RunResult r = cleanAsUser(latin1, execute);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find("not valid UTF-8"), std::string::npos) << r.err;
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
    }
    EXPECT_TRUE(exists(latin1 + "/node_modules/dep/index.js"));
    const RunResult ok = cleanAsUser(tree + "/ok", true);
    ASSERT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_EQ(decode<CleanReportDTO>(ok.out).items.size(), 2u);
    EXPECT_FALSE(exists(tree + "/ok/node_modules"));
}

TEST_F(Movable, AMountPointIsNeverOfferedNorMovedAndNoTrashIsMadeInTheProject) {
    nodeProject(tree + "/app");
    makeDirs(tmp / "elsewhere/lib");
    writeFile(tmp / "elsewhere/lib/x.php", 5000);
    writeFile(tree + "/app/composer.json", 10);
    makeDirs(tree + "/app/vendor");
    ASSERT_EQ(mount("tmpfs", (tree + "/app/node_modules").c_str(), "tmpfs", 0, "size=4m"), 0);
    ASSERT_EQ(mount((tmp / "elsewhere").c_str(), (tree + "/app/vendor").c_str(), nullptr, MS_BIND, nullptr), 0);
    writeFile(tree + "/app/node_modules/dep/index.js", 20000);
    const RunResult s = engine.scan({tree});
    const RunResult c = engine.run({"clean", "--project", tree + "/app", "--json", "--caution", "--execute"});
    const bool stillMounted = exists(tree + "/app/node_modules/dep/index.js") && exists(tree + "/app/vendor/lib/x.php");
    std::vector<std::string> trashes;
    for (const auto& e : std::filesystem::recursive_directory_iterator(tree))
        if (e.path().filename().string().rfind(".Trash", 0) == 0) trashes.push_back(e.path());
    umount2((tree + "/app/vendor").c_str(), MNT_DETACH);
    umount2((tree + "/app/node_modules").c_str(), MNT_DETACH);

    ASSERT_EQ(s.exitCode, 0) << s.err;
    EXPECT_EQ(artifactNames(decode<DashboardDTO>(s.out).projects.at(0)), std::vector<std::string>{".next"});
    ASSERT_EQ(c.exitCode, 0) << c.err;
    const CleanReportDTO report = decode<CleanReportDTO>(c.out);
    std::map<std::string, CleanItemDTO> items;
    for (const auto& i : report.items) items[i.path.substr(tree.size() + 5)] = i;
    EXPECT_TRUE(items.at(".next").success);
    for (const char* m : {"node_modules", "vendor"}) {
        EXPECT_FALSE(items.at(m).success) << m;
        EXPECT_NE(items.at(m).error.value_or("").find(tree + "/app/" + m + " is a mount point"), std::string::npos)
            << items.at(m).error.value_or("");
    }
    EXPECT_TRUE(stillMounted);
    EXPECT_TRUE(trashes.empty()) << trashes.front();
}

// A folder with a mount anywhere inside it would take the mount to the
// Trash, and emptying the Trash would delete what the mount shows: such a
// folder is never offered nor moved, also when the mount is made after the
// scan, and the dry run tells why in the user's words.
TEST_F(Movable, AFolderHoldingAMountIsNeverOfferedNorMoved) {
    const std::string app = tree + "/app";
    nodeProject(app);
    writeFiles(app, {{"composer.json", 10}, {"vendor/autoload.php", 300}});
    // A library under development bound into vendor/, and a tmpfs deep in node_modules.
    writeFile(tmp / "mylib/src/Lib.php", 4000);
    const BindMount lib(tmp / "mylib", app + "/vendor/acme/mylib");
    const TmpfsMount cache(app + "/node_modules/.cache/tmp", "4m");
    ASSERT_TRUE(lib.mounted() && cache.mounted()) << "tests run as root";
    writeFile(app + "/node_modules/.cache/tmp/keep.txt", 2000);
    // Offered at the scan; its mount is made before the clean.
    const std::string late = tree + "/late";
    nodeProject(late);

    const RunResult scan = engine.scan({tree});
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    const DashboardDTO d = decode<DashboardDTO>(scan.out);
    EXPECT_EQ(artifactNames(find(d, app)), std::vector<std::string>{".next"});
    EXPECT_EQ(artifactNames(find(d, late)), (std::vector<std::string>{".next", "node_modules"}));
    const TmpfsMount lateMount(late + "/node_modules/dep/sessions", "4m");
    ASSERT_TRUE(lateMount.mounted());
    writeFile(late + "/node_modules/dep/sessions/s.txt", 100);

    const auto holds = [](const std::string& folder, const std::string& mount) {
        return folder + " holds another mounted filesystem at " + mount + ", which would go with it to the Trash; left in place";
    };
    const std::map<std::string, std::string> refused = {
        {app + "/vendor", holds(app + "/vendor", app + "/vendor/acme/mylib")},
        {app + "/node_modules", holds(app + "/node_modules", app + "/node_modules/.cache/tmp")},
        {late + "/node_modules", holds(late + "/node_modules", late + "/node_modules/dep/sessions")},
    };
    for (bool execute : {false, true}) {
        for (const std::string& project : {app, late}) {
            SCOPED_TRACE(project + (execute ? " executed" : " dry run"));
            std::vector<std::string> args = {"clean", "--project", project, "--json", "--caution"};
            if (execute) args.push_back("--execute");
            // The real clean takes the folders the scan offered.
            if (execute && project == late)
                for (const char* a : {"/node_modules", "/.next"}) args.insert(args.end(), {"--artifact", late + a});
            const RunResult r = engine.run(args);
            ASSERT_EQ(r.exitCode, 0) << r.err;
            const CleanReportDTO report = decode<CleanReportDTO>(r.out);
            for (const auto& i : report.items) {
                const auto why = refused.find(i.path);
                if (why == refused.end()) {
                    EXPECT_TRUE(i.success) << i.path << ": " << i.error.value_or("");
                } else {
                    EXPECT_FALSE(i.success) << i.path;
                    EXPECT_EQ(i.error.value_or(""), why->second);
                }
            }
            EXPECT_EQ(report.items.size(), project == app ? 3u : 2u);
        }
    }
    EXPECT_FALSE(exists(app + "/.next") || exists(late + "/.next"));

    // Without a mount table to read (no /proc), no folder can be told free of mounts.
    writeFile(late + "/.next/page.html", 100);
    const RunResult blind = engine.run({"clean", "--project", late, "--json", "--caution", "--execute"}, true, false,
                                       {"unshare", "--mount", "sh", "-c", "mount -t tmpfs none /proc && exec \"$@\"", "sh"});
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's leak check at exit needs /proc (its options are read there too), so it fails
    // the exit status once the report is out.
    ASSERT_FALSE(blind.out.empty()) << blind.err;
#else
    ASSERT_EQ(blind.exitCode, 0) << blind.err;
#endif
    for (const auto& i : decode<CleanReportDTO>(blind.out).items) {
        EXPECT_FALSE(i.success) << i.path;
        EXPECT_EQ(i.error.value_or(""),
                  i.path + " cannot be checked for other mounted filesystems inside it, as the mount table cannot be read; left in place");
    }
    for (const std::string& f : {app + "/vendor/acme/mylib/src/Lib.php", app + "/node_modules/.cache/tmp/keep.txt",
                                 late + "/node_modules/dep/sessions/s.txt", late + "/.next/page.html", tmp / "mylib/src/Lib.php"})
        EXPECT_TRUE(exists(f)) << f;
    EXPECT_FALSE(exists(engine.data() + "/Trash/files/vendor") || exists(engine.data() + "/Trash/files/node_modules"));
}

TEST_F(Movable, AMountMadeThroughAnotherMountOfTheSameVolumeIsSeen) {
    // A volume seen at two places; a library is bound into node_modules
    // through the first, and the project is reached through the second.
    const std::string vol = tmp / "vol", again = tmp / "again", app = again + "/app";
    const TmpfsMount volume(vol, "8m");
    ASSERT_TRUE(volume.mounted()) << "tests run as root";
    nodeProject(vol + "/app");
    writeFile(tmp / "mylib/src/lib.js", 4000);
    const BindMount second(vol, again);
    const BindMount lib(tmp / "mylib", vol + "/app/node_modules/mylib");
    ASSERT_TRUE(second.mounted() && lib.mounted());

    const RunResult scan = engine.scan({again});
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_EQ(artifactNames(find(decode<DashboardDTO>(scan.out), app)), std::vector<std::string>{".next"});
    for (bool execute : {false, true}) {
        SCOPED_TRACE(execute ? "executed" : "dry run");
        std::vector<std::string> args = {"clean", "--project", app, "--json", "--caution"};
        if (execute) args.push_back("--execute");
        const RunResult r = engine.run(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const CleanReportDTO report = decode<CleanReportDTO>(r.out);
        ASSERT_EQ(report.items.size(), 2u);
        for (const auto& i : report.items) {
            if (i.path == app + "/node_modules") {
                // Named where it is mounted: below this folder's path it is not seen.
                EXPECT_FALSE(i.success);
                EXPECT_EQ(i.error.value_or(""), app + "/node_modules holds another mounted filesystem at " + vol +
                                                     "/app/node_modules/mylib, which would go with it to the Trash; left in place");
            } else {
                EXPECT_TRUE(i.success) << i.path << ": " << i.error.value_or("");
            }
        }
    }
    EXPECT_FALSE(exists(app + "/.next"));
    EXPECT_TRUE(exists(app + "/node_modules/dep/index.js"));
    EXPECT_TRUE(exists(vol + "/app/node_modules/mylib/src/lib.js"));
    EXPECT_TRUE(exists(tmp / "mylib/src/lib.js"));
}

TEST_F(Movable, AMountMadeOrUndoneDuringACleanIsSeenAtTheNextFolder) {
    const std::string app = tree + "/app";
    nodeProject(app);
    const int fd = open(app.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const engine::ProjectPlace place = engine::placeOf(fd, app);
    engine::Movability movability(tmp / "sandbox/data");
    // As the clean asks before each move, in one process.
    const auto obstacle = [&] {
        movability.refreshMounts();
        return movability.obstacle(fd, "node_modules", app + "/node_modules", place).value_or("");
    };
    const std::string before = obstacle();
    std::string during, renamedIn;
    {
        const TmpfsMount cache(app + "/node_modules/.cache", "4m");
        ASSERT_TRUE(cache.mounted()) << "tests run as root";
        during = obstacle();
    }
    const std::string after = obstacle();
    {
        // A folder already holding a mount, moved into the artifact after the
        // table was read: no mount is made, yet the next folder must see it.
        makeDirs(app + "/lib/src");
        const TmpfsMount src(app + "/lib/src", "4m");
        ASSERT_TRUE(src.mounted());
        EXPECT_EQ(obstacle(), "");
        ASSERT_EQ(rename((app + "/lib").c_str(), (app + "/node_modules/lib").c_str()), 0);
        renamedIn = obstacle();
        ASSERT_EQ(rename((app + "/node_modules/lib").c_str(), (app + "/lib").c_str()), 0);
    }
    close(fd);
    EXPECT_EQ(before, "");
    EXPECT_EQ(during, "holds another mounted filesystem at " + app + "/node_modules/.cache, which would go with it to the Trash");
    EXPECT_EQ(after, "");
    EXPECT_EQ(renamedIn, "holds another mounted filesystem at " + app + "/node_modules/lib/src, which would go with it to the Trash");
}

TEST_F(Movable, AFolderIsOfferedOnlyWithAUsableTrashOnItsVolume) {
    const std::string vol = tmp / "vol";
    makeDirs(vol);
    ASSERT_EQ(mount("tmpfs", vol.c_str(), "tmpfs", 0, "size=4m,mode=755"), 0);
    nodeProject(vol + "/app");
    give(vol + "/app");
    const auto offered = [&] {
        give(tmp / "sandbox");
        const RunResult r = engine.scan({vol}, 30, 8, asUser);
        return r.exitCode == 0 ? artifactNames(decode<DashboardDTO>(r.out).projects.at(0)) : std::vector<std::string>{r.err};
    };
    // This user cannot make a trash at the top of a volume of root's.
    const std::vector<std::string> without = offered();
    makeDirs(vol + "/.Trash-65534");
    give(vol + "/.Trash-65534");
    const std::vector<std::string> with = offered();
    umount2(vol.c_str(), MNT_DETACH);
    EXPECT_TRUE(without.empty()) << without.front();
    EXPECT_EQ(with, (std::vector<std::string>{".next", "node_modules"}));
}

// A home trash that is there but refuses this user is named with what stands
// in the way; only one that is missing and cannot be made is no usable trash.
TEST_F(Movable, ATrashThatRefusesThisUserIsNamedWithWhatStandsInTheWay) {
    struct Case {
        const char* name;
        std::function<void(const std::string& trash)> setUp;  // after the sandbox is given to the user
        std::string why;  // "{trash}" stands for the trash's path
    };
    const std::vector<Case> cases = {
        {"files at 0500", [&](const std::string& t) {
             makeDirs(t + "/files"), makeDirs(t + "/info"), give(t), chmod((t + "/files").c_str(), 0500);
         },
         "there is no write permission on its trash folder {trash}/files"},
        {"info a plain file", [&](const std::string& t) { makeDirs(t + "/files"), writeFile(t + "/info", 3), give(t); },
         "its trash folder {trash}/info is not a folder"},
        {"the trash root's", [&](const std::string& t) {
             for (const char* sub : {"", "/files", "/info"}) makeDirs(t + sub), chmod((t + sub).c_str(), 0777);
             runProgram({"chown", "-R", "0:0", t}, {}, tmp.path());
         },
         "its trash folder {trash} belongs to another user"},
        {"missing in a data folder of root's", [&](const std::string& t) {
             runProgram({"chown", "0:0", t.substr(0, t.rfind('/'))}, {}, tmp.path());
         },
         "there is no usable trash on its filesystem"},
    };
    for (std::size_t n = 0; n < cases.size(); ++n) {
        SCOPED_TRACE(cases[n].name);
        const std::string dir = tmp / ("trash" + std::to_string(n));
        const EngineRunner runner{dir + "-sandbox"};
        makeDirs(runner.data() + "/Tidewell");
        give(dir + "-sandbox");
        const std::string trash = runner.data() + "/Trash";
        cases[n].setUp(trash);
        nodeProject(dir + "/app");
        give(dir);
        const RunResult r = runner.run({"clean", "--project", dir + "/app", "--json", "--caution"}, true, false, asUser);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const CleanReportDTO report = decode<CleanReportDTO>(r.out);
        ASSERT_EQ(report.items.size(), 2u);
        std::string why = cases[n].why;
        if (const auto at = why.find("{trash}"); at != std::string::npos) why.replace(at, 7, trash);
        for (const auto& i : report.items) {
            EXPECT_FALSE(i.success) << i.path;
            EXPECT_EQ(i.error, i.path + " cannot be moved to the trash: " + why + "; left in place");
        }
    }
}

// Offered is exactly what moves: in each setup a scan and then a clean run as
// the same ordinary user, and the folders the scan offers are exactly those
// that the dry run lists and that the clean, left to find them itself, moves;
// the stored scan then offers none of them. Each folder is offered once, also
// when two scan roots reach it, and a clean of it by either path moves it.
TEST_F(Movable, WhatAScanOffersIsExactlyWhatACleanMoves) {
    struct Setup {
        std::string root, project;
        std::vector<std::string> otherRoots;  // given after `root`
        std::string cleaned;                  // the path the clean is given, when not `project`
        std::vector<std::string> offered;  // what the scan should offer, relative to the project
        std::vector<std::string> kept;     // what stays that the reports cannot name as it is
        std::unique_ptr<TmpfsMount> tmpfs;
        std::unique_ptr<BindMount> bind;
        std::string sandbox;  // the engine's home and data folder, when not the case's own
        std::map<std::string, std::string> infos;  // info files the clean writes, by their Path=
    };
    struct Case {
        const char* name;
        std::function<void(const std::string& dir, const EngineRunner& runner, Setup& s)> setUp;
    };
    // A trash of root's that anyone may write into: only its owner makes it unusable.
    const auto openToAll = [](const std::string& trash) {
        for (const char* sub : {"", "/files", "/info"}) {
            makeDirs(trash + sub);
            chmod((trash + sub).c_str(), 0777);
        }
    };
    const auto volumeWith = [&](const std::string& vol, Setup& s, const std::function<void()>& trash) {
        s.tmpfs = std::make_unique<TmpfsMount>(vol, "4m", "mode=755");
        if (!s.tmpfs->mounted()) return;
        trash();
        nodeProject(vol + "/app");
        give(vol + "/app");
        s.root = vol;
        s.project = vol + "/app";
    };
    // ~/code -> /data/code and ~/rl -> /data/code/rusty, a Rust project.
    const auto rustyReachedTwice = [&](const std::string& dir, Setup& s) {
        writeFiles(dir + "/data/code/rusty", {{"Cargo.toml", 50}, {"src/main.rs", 900}, {"target/debug/rusty", 30000}});
        give(dir + "/data");
        symlink((dir + "/data/code").c_str(), (dir + "/code").c_str());
        symlink((dir + "/data/code/rusty").c_str(), (dir + "/rl").c_str());
        s.offered = {"target"};
    };
    const std::vector<Case> cases = {
        {"another owner's folder in this user's own sticky folder",
         [&](const std::string& dir, const EngineRunner&, Setup& s) {
             s.root = dir;
             s.project = dir + "/app";
             nodeProject(s.project);
             give(s.project);
             chmod(s.project.c_str(), 01777);
             runProgram({"chown", "-R", "0:0", s.project + "/.next"}, {}, tmp.path());
             chmod((s.project + "/.next").c_str(), 0777);
             s.offered = {".next", "node_modules"};
         }},
        {"a project under a bind mount of the same filesystem",
         [&](const std::string& dir, const EngineRunner&, Setup& s) {
             nodeProject(dir + "/elsewhere/app");
             give(dir + "/elsewhere");
             s.bind = std::make_unique<BindMount>(dir + "/elsewhere", dir + "/bound");
             s.root = dir + "/bound";
             s.project = dir + "/bound/app";
         }},
        {"a folder whose own name is not UTF-8 in a UTF-8 project",
         [&](const std::string& dir, const EngineRunner&, Setup& s) {
             writeFiles(dir + "/cm", {{"CMakeLists.txt", 10}, {"cmake-build-debug/a.o", 5000}, {"cmake-build-caf\xe9/a.o", 5000}});
             give(dir + "/cm");
             s.root = dir;
             s.project = dir + "/cm";
             s.offered = {"cmake-build-debug"};
             s.kept = {dir + "/cm/cmake-build-caf\xe9/a.o"};
         }},
        {"a project that is itself the top of a mount",
         [&](const std::string& dir, const EngineRunner&, Setup& s) {
             s.tmpfs = std::make_unique<TmpfsMount>(dir + "/mounted", "4m", "mode=755,uid=65534,gid=65534");
             nodeProject(dir + "/mounted");
             give(dir + "/mounted");
             s.root = s.project = dir + "/mounted";
         }},
        {"a shared .Trash without the sticky bit",
         [&](const std::string& dir, const EngineRunner&, Setup& s) {
             volumeWith(dir + "/vol", s, [&] {
                 makeDirs(dir + "/vol/.Trash");
                 chmod((dir + "/vol/.Trash").c_str(), 0777);
             });
         }},
        {"a volume's trash of another user",
         [&](const std::string& dir, const EngineRunner&, Setup& s) {
             volumeWith(dir + "/vol", s, [&] { openToAll(dir + "/vol/.Trash-65534"); });
         }},
        {"a home trash of another user",
         [&](const std::string& dir, const EngineRunner& runner, Setup& s) {
             openToAll(runner.data() + "/Trash");
             nodeProject(dir + "/app");
             give(dir + "/app");
             s.root = dir;
             s.project = dir + "/app";
         }},
        {"a project deeper than PATH_MAX",
         [&](const std::string& dir, const EngineRunner&, Setup& s) {
             s.root = dir;
             s.project = makeDeepFolder(dir + "/deep", 4300) + "/app";
             writeFilesDeep(s.project, {{"package.json", 50}, {"node_modules/dep/index.js", 20000}, {".next/page.html", 9000}});
             give(dir + "/deep");
             s.offered = {".next", "node_modules"};
         }},
        {"a Python project deeper than PATH_MAX",
         [&](const std::string& dir, const EngineRunner&, Setup& s) {
             s.root = dir;
             s.project = makeDeepFolder(dir + "/deep", 4300) + "/py";
             writeFilesDeep(s.project, {{"pyproject.toml", 50}, {"pkg/mod.py", 900}, {"pkg/__pycache__/mod.pyc", 9000}});
             give(dir + "/deep");
             s.offered = {"pkg/__pycache__"};
         }},
        {"a node_modules holding a tmpfs",
         [&](const std::string& dir, const EngineRunner&, Setup& s) {
             s.root = dir;
             s.project = dir + "/app";
             nodeProject(s.project);
             give(s.project);
             s.tmpfs = std::make_unique<TmpfsMount>(s.project + "/node_modules/.cache", "4m", "mode=755,uid=65534,gid=65534");
             writeFile(s.project + "/node_modules/.cache/build.txt", 500);
             s.offered = {".next"};
             s.kept = {s.project + "/node_modules/.cache/build.txt"};
         }},
        {"a project under a scan root that is a link (~/code -> /data/code)",
         [&](const std::string& dir, const EngineRunner&, Setup& s) {
             nodeProject(dir + "/data/code/app");
             give(dir + "/data");
             symlink((dir + "/data/code").c_str(), (dir + "/code").c_str());
             s.root = dir + "/code";
             s.project = dir + "/code/app";
             s.offered = {".next", "node_modules"};
         }},
        {"a scan root that is itself a link to a project (~/myapp -> /data/myapp)",
         [&](const std::string& dir, const EngineRunner&, Setup& s) {
             nodeProject(dir + "/data/myapp");
             give(dir + "/data");
             symlink((dir + "/data/myapp").c_str(), (dir + "/myapp").c_str());
             s.root = s.project = dir + "/myapp";
             s.offered = {".next", "node_modules"};
         }},
        {"a project below a link higher up (/home -> /var/home)",
         [&](const std::string& dir, const EngineRunner&, Setup& s) {
             nodeProject(dir + "/var/home/u/code/app");
             give(dir + "/var/home/u");
             symlink("var/home", (dir + "/home").c_str());
             s.root = dir + "/home/u/code";
             s.project = dir + "/home/u/code/app";
             s.offered = {".next", "node_modules"};
         }},
        {"a project on another volume reached through a link",
         [&](const std::string& dir, const EngineRunner&, Setup& s) {
             volumeWith(dir + "/vol", s, [&] {
                 makeDirs(dir + "/vol/.Trash-65534");
                 give(dir + "/vol/.Trash-65534");
             });
             symlink((dir + "/vol").c_str(), (dir + "/code").c_str());
             s.root = dir + "/code";
             s.project = dir + "/code/app";
             s.offered = {".next", "node_modules"};
             // Restored where the folders really lie, relative to the volume's top.
             s.infos = {{dir + "/vol/.Trash-65534/info/node_modules.trashinfo", "app/node_modules"},
                        {dir + "/vol/.Trash-65534/info/.next.trashinfo", "app/.next"}};
         }},
        {"two scan roots reaching one folder, the link first (~/ol-code -> /data/code, and /data/code)",
         [&](const std::string& dir, const EngineRunner&, Setup& s) {
             nodeProject(dir + "/data/code/app");
             give(dir + "/data");
             symlink((dir + "/data/code").c_str(), (dir + "/ol-code").c_str());
             s.root = dir + "/ol-code";
             s.otherRoots = {dir + "/data/code"};
             s.project = dir + "/ol-code/app";
             s.cleaned = dir + "/data/code/app";
             s.offered = {".next", "node_modules"};
         }},
        {"a scan root that is a project inside another root's real folder (~/code, ~/rl -> /data/code/rusty)",
         [&](const std::string& dir, const EngineRunner&, Setup& s) {
             rustyReachedTwice(dir, s);
             s.root = dir + "/code";
             s.otherRoots = {dir + "/rl"};
             s.project = dir + "/code/rusty";
             s.cleaned = dir + "/rl";
         }},
        {"the same two roots the other way round",
         [&](const std::string& dir, const EngineRunner&, Setup& s) {
             rustyReachedTwice(dir, s);
             s.root = dir + "/rl";
             s.otherRoots = {dir + "/code"};
             s.project = dir + "/rl";
             s.cleaned = dir + "/code/rusty";
         }},
        {"a data home inside a bind-mounted folder of the project",
         [&](const std::string& dir, const EngineRunner&, Setup& s) {
             writeFiles(dir + "/app", {{"metro.config.js", 50}, {"node_modules/dep/index.js", 20000}});
             writeFiles(dir + "/shared-android", {{"app/build/out.apk", 9000}});
             give(dir + "/app");
             give(dir + "/shared-android");
             s.bind = std::make_unique<BindMount>(dir + "/shared-android", dir + "/app/android");
             s.sandbox = dir + "/app/android/sandbox";
             s.root = dir;
             s.project = dir + "/app";
             // android/app/build lies on the bind mount with the home trash, node_modules beside it.
             s.kept = {dir + "/app/android/app/build/out.apk", dir + "/app/node_modules/dep/index.js"};
         }},
    };
    // Each case runs whole, whatever the others do.
    for (std::size_t n = 0; n < cases.size(); ++n) [&] {
        SCOPED_TRACE(cases[n].name);
        const std::string dir = tmp / ("case" + std::to_string(n));
        makeDirs(dir);
        const EngineRunner caseRunner{dir + "-sandbox"};
        give(dir + "-sandbox");
        Setup s;
        cases[n].setUp(dir, caseRunner, s);
        ASSERT_TRUE((!s.tmpfs || s.tmpfs->mounted()) && (!s.bind || s.bind->mounted())) << "tests run as root";
        const EngineRunner runner{s.sandbox.empty() ? dir + "-sandbox" : s.sandbox};
        if (!s.sandbox.empty()) give(s.sandbox);

        std::vector<std::string> roots = {s.root};
        roots.insert(roots.end(), s.otherRoots.begin(), s.otherRoots.end());
        const RunResult scan = runner.scan(roots, 30, 64, asUser);
        ASSERT_EQ(scan.exitCode, 0) << scan.err;
        const DashboardDTO d = decode<DashboardDTO>(scan.out);
        const auto p = std::find_if(d.projects.begin(), d.projects.end(), [&](const ProjectDTO& x) { return x.path == s.project; });
        ASSERT_NE(p, d.projects.end()) << "the project is found";
        EXPECT_EQ(artifactNames(*p), s.offered);
        std::set<std::pair<dev_t, ino_t>> listed;
        for (const auto& x : d.projects) {
            struct stat st {};
            if (stat(x.path.c_str(), &st) == 0) {
                EXPECT_TRUE(listed.insert({st.st_dev, st.st_ino}).second) << x.path << " is listed twice";
            }
        }
        // The clean names the folders by the path it is given.
        const std::string cleaned = s.cleaned.empty() ? s.project : s.cleaned;
        std::vector<std::string> offered;
        for (const auto& a : p->artifacts) offered.push_back(cleaned + a.absolute_path.substr(s.project.size()));
        std::sort(offered.begin(), offered.end());

        const auto clean = [&](bool execute) {
            std::vector<std::string> args = {"clean", "--project", cleaned, "--json", "--caution"};
            if (execute) args.push_back("--execute");
            const RunResult r = runner.run(args, true, false, asUser);
            EXPECT_EQ(r.exitCode, 0) << r.err;
            return r.exitCode == 0 ? decode<CleanReportDTO>(r.out) : CleanReportDTO{};
        };
        const auto succeeded = [](const CleanReportDTO& r) {
            std::vector<std::string> out;
            for (const auto& i : r.items)
                if (i.success) out.push_back(i.path);
            std::sort(out.begin(), out.end());
            return out;
        };
        EXPECT_EQ(succeeded(clean(false)), offered) << "the dry run lists what was offered";
        const CleanReportDTO real = clean(true);
        EXPECT_EQ(succeeded(real), offered) << "the clean moves what was offered";
        for (const auto& i : real.items) {
            // A name that is not UTF-8 reaches JSON with replacement characters.
            if (i.path.find("\xEF\xBF\xBD") == std::string::npos) {
                EXPECT_EQ(exists(i.path), !i.success) << i.path << ": " << i.error.value_or("");
            }
        }
        for (const auto& path : offered) EXPECT_FALSE(exists(path)) << path;
        for (const auto& path : s.kept) EXPECT_TRUE(exists(path)) << path;
        for (const auto& [info, path] : s.infos)
            EXPECT_NE(readText(info).find("\nPath=" + path + "\n"), std::string::npos) << info << ": " << readText(info);
        EXPECT_FALSE(exists(s.project + "/.Trash-65534") || exists(s.project + "/.Trash")) << "no trash made inside the project";

        const RunResult last = runner.run({"last", "--json"}, true, false, asUser);
        ASSERT_EQ(last.exitCode, 0) << last.err;
        const DashboardDTO after = decode<DashboardDTO>(last.out);
        const auto q = std::find_if(after.projects.begin(), after.projects.end(), [&](const ProjectDTO& x) { return x.path == s.project; });
        ASSERT_NE(q, after.projects.end());
        EXPECT_TRUE(q->artifacts.empty()) << "the stored scan no longer offers what moved";
        EXPECT_EQ(after.reclaimable_bytes, d.reclaimable_bytes - p->reclaimable_bytes);
    }();
}

// A clean never runs without its lock. One that another clean holds in a lock
// file this user cannot even read (left by a run as root) is refused in one
// line naming the file; once nobody holds it, this user's own folder lets
// the clean replace it; and a lock file the engine makes can be locked by
// every user who can read the database beside it.
TEST_F(Movable, ACleanNeverRunsWithoutItsLockAndALockFileLeftByRootOnlyWaitsForItsHolder) {
    const std::string lock = engine.db() + ".lock";
    int held = holdRootLock(tree + "/mine");
    ASSERT_GE(held, 0);

    const std::vector<std::string> clean = {"clean", "--project", tree + "/mine", "--json", "--caution", "--execute"};
    const RunResult refused = engine.run(clean, true, false, asUser);
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.err.find(lock), std::string::npos) << refused.err;
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
    EXPECT_TRUE(exists(tree + "/mine/node_modules/dep/index.js"));
    EXPECT_TRUE(log().empty());

    close(held);
    const RunResult cleaned = engine.run(clean, true, false, asUser);
    EXPECT_EQ(cleaned.exitCode, 0) << cleaned.err;
    EXPECT_FALSE(exists(tree + "/mine/node_modules"));
    EXPECT_EQ(log().size(), 1u);
    struct stat st {};
    ASSERT_EQ(stat(lock.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kUser) << "replaced by this user's own";

    // Made by a run as root with this user's home, whatever its umask: the
    // file is this user's, and they can still lock it.
    std::filesystem::remove(lock);
    nodeProject(tree + "/again");
    give(tree + "/again");
    ASSERT_EQ(engine.run({"clean", "--project", tree + "/again", "--json", "--execute"}, true, false, {"sh", "-c", "umask 077 && exec \"$@\"", "sh"}).exitCode, 0);
    ASSERT_EQ(stat(lock.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kUser);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    const RunResult again = engine.run({"clean", "--project", tree + "/again", "--json", "--caution", "--execute"}, true, false, asUser);
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_FALSE(exists(tree + "/again/node_modules"));
}

// Two takeovers of this user's at once: the other one puts the lock file root
// holds back under the name right after this one's swap. This one must not
// run on the file it locked, which no longer has the name.
TEST_F(Movable, ATakeoverHoldsTheLockOnlyWhileItsNameStillLeadsToTheLockedFile) {
    static std::string dir, lock, aside;
    dir = tmp / "locks";
    lock = dir + "/db.lock";
    aside = dir + "/held";
    makeDirs(dir);
    ASSERT_EQ(chown(dir.c_str(), kUser, kUser), 0);
    for (const auto& path : {lock, aside}) close(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    const int held = open(aside.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);

    engine::CleanLock::afterSwap = [] { rename(aside.c_str(), lock.c_str()); };
    const pid_t pid = fork();
    if (pid == 0) {
        if (setresgid(kUser, kUser, kUser) != 0 || setresuid(kUser, kUser, kUser) != 0) _exit(2);
        const engine::CleanLock taken(dir + "/db", engine::CleanLock::Wait::No);
        _exit(taken.held() ? 1 : 0);
    }
    engine::CleanLock::afterSwap = nullptr;
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "held while root holds the lock file";
    struct stat named {}, mine {};
    ASSERT_EQ(stat(lock.c_str(), &named), 0);
    ASSERT_EQ(fstat(held, &mine), 0);
    EXPECT_EQ(named.st_ino, mine.st_ino) << "the lock root holds keeps its name";
    close(held);
}

// Inside a PID namespace of its own (a sandbox with its own /proc), the kernel
// lists no lock of a process outside: a lock file root holds is not replaced.
TEST_F(Movable, ACleanInItsOwnPidNamespaceNeverReplacesALockHeldOutside) {
    const std::string lock = engine.db() + ".lock";
    const int held = holdRootLock(tree + "/mine");
    ASSERT_GE(held, 0);

    std::vector<std::string> sandboxed = {"unshare", "--pid", "--fork", "--mount-proc"};
    sandboxed.insert(sandboxed.end(), asUser.begin(), asUser.end());
    const RunResult r = engine.run({"clean", "--project", tree + "/mine", "--json", "--caution", "--execute"}, true, false,
                                   sandboxed);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find(lock), std::string::npos) << r.err;
    EXPECT_TRUE(exists(tree + "/mine/node_modules/dep/index.js"));
    struct stat named {}, mine {};
    ASSERT_EQ(stat(lock.c_str(), &named), 0);
    ASSERT_EQ(fstat(held, &mine), 0);
    EXPECT_EQ(named.st_ino, mine.st_ino);
    close(held);
}

// A clean queued behind another stops when asked to end, without waiting for
// the holder, and moves nothing. The lock file replaced while it waits (by
// another clean's takeover), its old holder then ending: the file it waited
// on is not the lock any more, so it waits on, for the new one's holder.
// (A clean waits only a few seconds: on a machine so busy that it gave up
// before it was asked to end, the round is run again.)
TEST_F(Movable, ACleanWaitingForTheLockStopsWhenAskedToEnd) {
    nodeProject(tree + "/mine");
    ASSERT_EQ(engine.run({"log", "--json"}).exitCode, 0);
    const std::string lock = engine.db() + ".lock";
    const char* bundle = std::getenv("TIDEWELL_BUNDLE");
    const std::string program = std::string(bundle ? bundle : "") + "/bin/tidewell-engine";
    const std::string project = tree + "/mine";
    const std::vector<std::string> env = engine.env();
    // One round: the clean started behind the test's lock, asked to end while
    // it waits; how it ended.
    const auto round = [&](bool replaced, int& status) {
        std::filesystem::remove(lock);
        int held = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_EQ(flock(held, LOCK_EX), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 1);
            dup2(null, 2);
            execl(program.c_str(), program.c_str(), "--db", engine.db().c_str(), "clean", "--project", project.c_str(), "--json",
                  "--caution", "--execute", static_cast<char*>(nullptr));
            _exit(127);
        }
        const auto running = [&] {
            siginfo_t info {};
            return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
        };
        // Whether the clean has the file of `fd` open (and, with `only`, no
        // other file at the lock's path).
        const auto opens = [&](int fd, bool only) {
            std::error_code ec;
            const std::string proc = "/proc/" + std::to_string(pid);
            if (std::filesystem::read_symlink(proc + "/exe", ec) != std::filesystem::canonical(program)) return false;
            struct stat want {}, got {};
            fstat(fd, &want);
            bool found = false;
            for (const auto& entry : std::filesystem::directory_iterator(proc + "/fd", ec)) {
                if (std::filesystem::read_symlink(entry.path(), ec).string().rfind(lock, 0) != 0 || stat(entry.path().c_str(), &got) != 0) continue;
                if (got.st_ino == want.st_ino) found = true;
                else if (only) return false;
            }
            return found;
        };
        // Asked once it has the lock file open, so the request finds it waiting.
        for (int i = 0; i < 3000 && running() && !opens(held, false); ++i) usleep(10000);
        if (replaced) {
            const int other = open((lock + ".other").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            EXPECT_EQ(flock(other, LOCK_EX), 0);
            EXPECT_EQ(rename((lock + ".other").c_str(), lock.c_str()), 0);
            close(held);
            held = other;
            for (int i = 0; i < 3000 && running() && !opens(held, true); ++i) usleep(10000);
        }
        kill(pid, SIGTERM);
        pid_t ended = 0;
        for (int i = 0; i < 3000 && (ended = waitpid(pid, &status, WNOHANG)) == 0; ++i) usleep(10000);
        close(held);
        if (ended != pid) waitpid(pid, &status, 0);
        EXPECT_EQ(ended, pid) << "the clean kept waiting for the lock's holder";
    };
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "the lock file replaced while it waits" : "the lock file as it was");
        int status = 0;
        // A clean that gave up on the lock before the request came exits 1.
        for (int attempt = 0; attempt < 5 && (attempt == 0 || (WIFEXITED(status) && WEXITSTATUS(status) == 1)); ++attempt) round(replaced, status);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
        EXPECT_TRUE(exists(project + "/node_modules/dep/index.js"));
        EXPECT_TRUE(log().empty());
    }
}

// A real clean waits a few seconds at most for another to let go of the lock,
// then refuses in one line naming the holder, moving nothing: a clean
// stopped in a terminal (Ctrl+Z) never lets go. A dry run takes no lock: it
// previews and records that preview beside the holder. (Each run has a
// fail-safe far past the wait, so a clean that waits for good fails here.)
TEST_F(Movable, ACleanGivesUpOnALockHeldByAnotherNamingItAndADryRunNeedsNone) {
    nodeProject(tree + "/mine");
    ASSERT_EQ(engine.run({"log", "--json"}).exitCode, 0);
    const std::string lock = engine.db() + ".lock";
    const std::vector<std::string> failSafe = {"timeout", "-s", "KILL", "120"};
    const std::vector<std::string> clean = {"clean", "--project", tree + "/mine", "--json", "--caution"};
    std::vector<std::string> execute = clean;
    execute.push_back("--execute");
    for (const bool stoppedChild : {false, true}) {
        SCOPED_TRACE(stoppedChild ? "held by a clean stopped in a terminal" : "held by this process");
        const int held = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(held, 0);
        pid_t holder = getpid();
        if (stoppedChild) {
            holder = fork();
            if (holder == 0) {
                if (flock(held, LOCK_EX) != 0) _exit(1);
                raise(SIGSTOP);
                _exit(0);
            }
            int status = 0;
            ASSERT_EQ(waitpid(holder, &status, WUNTRACED), holder);
            ASSERT_TRUE(WIFSTOPPED(status)) << "it holds the lock, stopped";
            close(held);
        } else {
            ASSERT_EQ(flock(held, LOCK_EX), 0);
        }

        const RunResult refused = engine.run(execute, true, false, failSafe);
        EXPECT_EQ(refused.exitCode, 1) << refused.err;
        EXPECT_EQ(refused.err, "tidewell-engine: another clean (pid " + std::to_string(holder) +
                                   ") is still running; clean again once it has finished\n");
        EXPECT_TRUE(refused.out.empty());
        EXPECT_TRUE(exists(tree + "/mine/node_modules/dep/index.js"));

        const RunResult preview = engine.run(clean, true, false, failSafe);
        EXPECT_EQ(preview.exitCode, 0) << preview.err;
        if (preview.exitCode == 0) {
            const CleanReportDTO report = decode<CleanReportDTO>(preview.out);
            EXPECT_TRUE(report.dry_run);
            EXPECT_EQ(report.items.size(), 2u);
        }
        EXPECT_TRUE(exists(tree + "/mine/node_modules/dep/index.js"));

        if (stoppedChild) {
            kill(holder, SIGKILL);
            waitpid(holder, nullptr, 0);
        } else {
            close(held);
        }
    }
    const auto history = log();
    EXPECT_EQ(history.size(), 2u) << "the two previews, and nothing of the refused cleans";
    EXPECT_TRUE(std::all_of(history.begin(), history.end(), [](const OperationDTO& op) { return op.dry_run; }));
    // Once the holder is gone, the clean goes ahead.
    const RunResult cleaned = engine.run(execute, true, false, failSafe);
    EXPECT_EQ(cleaned.exitCode, 0) << cleaned.err;
    EXPECT_FALSE(exists(tree + "/mine/node_modules"));
}

// A lock file in the way is told as it is, in one line naming it: held by
// another user's process (clean again once it ends), one this user cannot
// open that nobody holds (waiting will not help) or of which that cannot be
// seen, none where this user may not make one, a link. It is replaced only in
// a folder of this user's, never in another's, even one this user may write.
TEST_F(Movable, ALockFileInTheWayIsToldAsItIsAndNeverTakenOverOutsideThisUsersFolder) {
    nodeProject(tree + "/mine");
    give(tree + "/mine");
    give(tmp / "sandbox");
    ASSERT_EQ(engine.run({"log", "--json"}, true, false, asUser).exitCode, 0);
    const std::string folder = engine.db().substr(0, engine.db().rfind('/')), lock = engine.db() + ".lock";
    std::vector<std::string> ownPidNamespace = {"unshare", "--pid", "--fork", "--mount-proc"};
    ownPidNamespace.insert(ownPidNamespace.end(), asUser.begin(), asUser.end());
    const std::string cannotOpen = "the clean lock " + lock + " cannot be opened by this user (Permission denied)";
    enum Entry { RootsFile, Nothing, Link };
    struct Row {
        const char* what;
        uid_t folderOwner;
        mode_t folderMode;
        Entry entry;
        bool held;
        const std::vector<std::string>& prefix;
        std::string said;
    };
    const Row rows[] = {
        {"held by root, in root's folder that this user may write", 0, 0777, RootsFile, true, asUser,
         "the clean lock " + lock + " is held by a process of another user (perhaps a clean run as root); clean again once it ends"},
        {"held by nobody, in root's folder that this user may write", 0, 0777, RootsFile, false, asUser,
         cannotOpen + " and no process holds it, so waiting will not help: remove it, or let this user read it, then clean again"},
        {"held by nobody, seen from a PID namespace of its own", kUser, 0755, RootsFile, false, ownPidNamespace,
         cannotOpen + ", and whether a process holds it cannot be seen from here (this engine runs in a PID namespace of its own): once no "
                      "clean runs, remove it, or let this user read it, then clean again"},
        {"none, in root's folder that this user may not write", 0, 0755, Nothing, false, asUser,
         "the clean lock " + lock + " cannot be made: this user may not make files in its folder " + folder +
             " (Permission denied), which belongs to another user; let this user write in it, then clean again"},
        {"a link that leads nowhere", kUser, 0755, Link, false, asUser,
         "the clean lock " + lock + " is a symbolic link to " + tmp / "nowhere" +
             "; a lock file is never opened or made through a link: remove the link, then clean again"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove(lock);
        ASSERT_EQ(chown(folder.c_str(), row.folderOwner, row.folderOwner), 0);
        ASSERT_EQ(chmod(folder.c_str(), row.folderMode), 0);
        int held = -1;
        if (row.entry == RootsFile) {
            held = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            ASSERT_EQ(fchmod(held, 0600), 0);
            if (row.held) {
                ASSERT_EQ(flock(held, LOCK_EX), 0);
            }
        }
        if (row.entry == Link) {
            ASSERT_EQ(symlink((tmp / "nowhere").c_str(), lock.c_str()), 0);
        }
        struct stat before {}, after {};
        lstat(lock.c_str(), &before);
        const auto names = [&] {
            std::set<std::string> out;
            for (const auto& e : std::filesystem::directory_iterator(folder)) out.insert(e.path().filename());
            return out;
        };
        const std::set<std::string> entries = names();
        const RunResult r = engine.run({"clean", "--project", tree + "/mine", "--json", "--caution", "--execute"}, true, false, row.prefix);
        if (held >= 0) close(held);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "tidewell-engine: " + row.said + "\n");
        EXPECT_EQ(lstat(lock.c_str(), &after) == 0 ? after.st_ino : 0, row.entry == Nothing ? 0 : before.st_ino) << "left as it was";
        EXPECT_EQ(names(), entries);
        EXPECT_FALSE(exists(tmp / "nowhere"));
        EXPECT_TRUE(exists(tree + "/mine/node_modules/dep/index.js"));
    }
    EXPECT_TRUE(log().empty());
}
