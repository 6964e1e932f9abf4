#include "CleanCommand.h"
#include "CleanJournal.h"
#include "Database.h"
#include "MountTable.h"
#include "ProjectDetector.h"
#include "ScanCommand.h"
#include "TrashMover.h"

#include "EngineTestSupport.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

using namespace tidewell::engine;
using enginetest::exists;

TEST(TrashMover, PathIsPercentEncodedKeepingSlashes) {
    EXPECT_EQ(trashPathEncode("/home/u/my app/100%"), "/home/u/my%20app/100%25");
    EXPECT_EQ(trashPathEncode("/a\nb\xff/c"), "/a%0Ab%FF/c");
    EXPECT_EQ(trashPathEncode("/ok-_.~/Z9"), "/ok-_.~/Z9");
    EXPECT_EQ(trashPathEncode("/caf\xc3\xa9"), "/caf%C3%A9");
}

TEST(TrashMover, FindsTheMountPointHoldingAPath) {
    const std::string rootAndHome = "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                    "30 22 8:2 / /home rw - ext4 /dev/sda2 rw\n";
    const std::string info = rootAndHome +
                             "31 22 8:3 / /media/usb\\040stick rw - vfat /dev/sdb1 rw\n"
                             "32 22 0:5 / /home2 rw - tmpfs tmpfs rw\n"
                             "33 22 0:6 / /mnt/my\\040 rw - tmpfs tmpfs rw\n";
    const struct {
        std::string mountinfo, path, mountPoint;
    } rows[] = {
        {info, "/home/u/p", "/home"},
        {info, "/home2/p", "/home2"},
        {info, "/media/usb stick/p", "/media/usb stick"},
        {info, "/mnt/my /p", "/mnt/my "},  // an escape that ends the name
        {info, "/mnt/my/p", "/"},
        {info, "/var/x", "/"},
        {rootAndHome, "/home2/p", "/"},  // never a bare prefix
    };
    for (const auto& row : rows) EXPECT_EQ(mountPointFor(row.path, row.mountinfo), row.mountPoint) << row.path;
}

// A mount may not answer when it, or a mount it lies on, is of a filesystem
// that asks a server or a process; one not listed may not either.
TEST(MountTable, AMountThatMayNotAnswerIsToldByItsTypeOrByAMountItLiesOn) {
    MountTable mounts;
    mounts.parse("22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                 "30 22 0:40 / /mnt/nfs rw shared:5 - nfs4 host:/ rw\n"
                 "31 22 0:41 / /home/u/remote rw,nosuid master:1 - fuse.sshfs u@host: rw\n"
                 "32 31 0:42 / /home/u/remote/tmp rw - tmpfs tmpfs rw\n"
                 "33 22 8:2 / /home rw shared:1 master:2 - ext4 /dev/sda2 rw\n");
    const std::map<std::uint64_t, bool> rows = {{22, false}, {30, true}, {31, true}, {32, true}, {33, false}, {99, true}};
    for (const auto& [id, may] : rows) EXPECT_EQ(mounts.mayNotAnswer(id), may) << id;
}

// In the zone the user lives in, as file managers show it, also in the info
// file a move writes: half-hour offsets, summer time, before 1970.
TEST(TrashMover, DeletionDateIsLocalTimeWithoutZone) {
    const char* const given = std::getenv("TZ");
    const std::string was = given ? given : "";
    const struct {
        const char* zone;
        long long at;
        const char* date;
    } rows[] = {{"UTC", 0, "1970-01-01T00:00:00"},
                {"Asia/Kolkata", 0, "1970-01-01T05:30:00"},
                {"America/New_York", 0, "1969-12-31T19:00:00"},
                {"America/New_York", 1751328000, "2025-06-30T20:00:00"}};
    for (const auto& row : rows) {
        setenv("TZ", row.zone, 1);
        tzset();
        EXPECT_EQ(trashDeletionDate(row.at), row.date) << row.zone;
    }
    // Kolkata keeps no summer time: its time is UTC's, 5:30 later.
    setenv("TZ", "Asia/Kolkata", 1);
    tzset();
    enginetest::TempDir t;
    enginetest::writeFile(t / "a/build/x", 10);
    const std::time_t from = std::time(nullptr);
    const TrashResult r = TrashMover(t / "data").trashPath(t / "a/build");
    const std::time_t to = std::time(nullptr);
    ASSERT_TRUE(r.moved) << r.error;
    const std::string text = enginetest::readText(r.infoPath);
    std::vector<std::string> kolkata;
    for (std::time_t at = from; at <= to; ++at) {
        const std::time_t shifted = at + 5 * 3600 + 30 * 60;
        std::tm tm{};
        gmtime_r(&shifted, &tm);
        char buf[32];
        std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
        kolkata.push_back(std::string("\nDeletionDate=") + buf + "\n");
    }
    EXPECT_TRUE(std::any_of(kolkata.begin(), kolkata.end(), [&](const std::string& line) { return text.find(line) != std::string::npos; }))
        << text;
    if (given) setenv("TZ", was.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}

// The real durability call, as the mover makes it (the other tests replace
// it): done for a file and a folder; nothing to give where the kind of file
// cannot be synced (a pipe); any other failure (a descriptor that is not
// open) is its errno, which stops the move.
TEST(TrashMover, TheDurabilityCallGivesTheSystemsAnswer) {
    struct Real : TrashMover {
        using TrashMover::TrashMover;
        using TrashMover::makeDurable;
    };
    enginetest::TempDir t;
    Real mover(t / "data");
    enginetest::writeFile(t / "f", 10);
    const int file = open((t / "f").c_str(), O_RDWR | O_CLOEXEC), folder = open(t.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const int closed = dup(file);
    close(closed);
    EXPECT_EQ(mover.makeDurable(file), 0);
    EXPECT_EQ(mover.makeDurable(folder), 0);
    EXPECT_EQ(mover.makeDurable(pipeEnds[1]), 0);
    EXPECT_EQ(mover.makeDurable(closed), EBADF);
    for (int fd : {file, folder, pipeEnds[0], pipeEnds[1]}) close(fd);
}

TEST(TrashMover, CreatesTheDataFolderAndAFailedMoveLeavesNoInfoFile) {
    enginetest::TempDir t;
    TrashMover mover(t / "data/deeper");  // created by the mover, with its parents
    enginetest::writeFile(t / "a/build/out.o", 10);
    const auto moved = mover.trashPath(t / "a/build");
    EXPECT_TRUE(moved.moved) << moved.error;
    EXPECT_FALSE(exists(t / "a/build"));
    EXPECT_TRUE(exists(t / "data/deeper/Trash/files/build/out.o"));
    const auto failed = mover.trashPath(t / "nothing-here");
    EXPECT_FALSE(failed.moved);
    EXPECT_EQ(failed.error.rfind(t / "nothing-here cannot be read", 0), 0u) << "names the folder: " << failed.error;
    EXPECT_FALSE(exists(t / "data/deeper/Trash/info/nothing-here.trashinfo"));
}

// Its own volume's top would be the folder itself: no trash is made inside it.
TEST(TrashMover, AMountPointIsRefusedWithoutATrashInsideIt) {
    enginetest::TempDir t;
    TrashMover mover(t / "data");
    enginetest::makeDirs(t / "app/node_modules");
    ASSERT_EQ(mount("tmpfs", (t / "app/node_modules").c_str(), "tmpfs", 0, "size=1m"), 0);
    enginetest::writeFile(t / "app/node_modules/a.js", 10);
    TrashResult r;
    EXPECT_NO_THROW(r = mover.trashPath(t / "app/node_modules"));
    const bool trashInside = exists(t / "app/node_modules/.Trash-" + std::to_string(getuid()));
    umount2((t / "app/node_modules").c_str(), MNT_DETACH);
    EXPECT_FALSE(r.moved);
    EXPECT_EQ(r.error.rfind(t / "app/node_modules is a mount point", 0), 0u) << r.error;
    EXPECT_FALSE(trashInside);
}

// On another volume: a trash folder of another user is refused, and a shared
// .Trash is used only when it has the sticky bit (else anyone could empty it).
TEST(TrashMover, AVolumeTrashIsUsedOnlyWhenItIsSafe) {
    enginetest::TempDir t;
    const std::string vol = t / "vol", uid = std::to_string(getuid());
    const enginetest::TmpfsMount mounted(vol, "4m");
    ASSERT_TRUE(mounted.mounted()) << "tests run as root";
    TrashMover mover(t / "data");
    const auto folder = [&](const std::string& name) {
        enginetest::writeFile(vol + "/p/" + name + "/f", 10);
        return vol + "/p/" + name;
    };
    mkdir((vol + "/.Trash-" + uid).c_str(), 0700);
    ASSERT_EQ(chown((vol + "/.Trash-" + uid).c_str(), 65534, 65534), 0);
    const TrashResult refused = mover.trashPath(folder("a"));
    EXPECT_FALSE(refused.moved);
    EXPECT_TRUE(exists(vol + "/p/a/f"));
    EXPECT_FALSE(exists(vol + "/.Trash-" + uid + "/files") || exists(vol + "/.Trash-" + uid + "/info"));

    ASSERT_EQ(chown((vol + "/.Trash-" + uid).c_str(), getuid(), getgid()), 0);
    mkdir((vol + "/.Trash").c_str(), 0777);
    chmod((vol + "/.Trash").c_str(), 0777);
    EXPECT_EQ(mover.trashPath(folder("b")).trashedPath, vol + "/.Trash-" + uid + "/files/b") << "not the shared one without sticky bit";
    EXPECT_FALSE(exists(vol + "/.Trash/" + uid));
    chmod((vol + "/.Trash").c_str(), 01777);
    EXPECT_EQ(mover.trashPath(folder("c")).trashedPath, vol + "/.Trash/" + uid + "/files/c");
}

namespace {
// Interferes with a clean's moves as the world might: a termination request,
// a link or folder swapped in after the folder was measured (before the
// move, or during it, once its trash information is written), a filesystem
// mounted inside the folder during its move (an automount), the link that
// names the project turned to another project before the first move, a
// kill -9 at a point of a move (the process just ends), a pause once a move
// is recorded (until the test lets it go on), a database that takes the
// first move's record and no other (a disk that fills up), or the mount
// table gone during the move (/proc covered, in a mount namespace of the
// test's own).
enum class Interfere {
    None,
    Stop,
    SwapLinkBefore,
    SwapFolderBefore,
    SwapLinkDuring,
    SwapFolderDuring,
    MountDuring,
    SwapWayLinkBefore,
    SwapWayFolderBefore,
    RetargetProjectBefore,
    KillAfterPendingRecord,
    KillAfterInfoFile,
    KillAfterMove,
    PauseAfterPendingRecord,
    RecordOnce,
    MountTableGoneDuring
};

// What to do at which move (1 is the first): the same at every move, or by plan.
using MovePlan = std::map<int, Interfere>;

class InterferingMover : public TrashMover {
public:
    InterferingMover(const enginetest::TempDir& t, Interfere every, std::atomic<bool>& stop)
        : TrashMover(t / "data"), aside_(t / "aside"), every_(every), stop_(stop) {}
    InterferingMover(const enginetest::TempDir& t, MovePlan plan, std::atomic<bool>& stop)
        : TrashMover(t / "data"), aside_(t / "aside"), every_(Interfere::None), plan_(std::move(plan)), stop_(stop) {}
    // A pause says so on `ready` and waits for a byte on `go`.
    void pauseThrough(int ready, int go) {
        ready_ = ready;
        go_ = go;
    }
    TrashResult trash(int parentFd, const std::string& name, const std::string& path, const FolderIdentity* expected,
                      const BeforeMove& beforeMove) override {
        path_ = path;
        ++move_;
        const Interfere how = now();
        if (how == Interfere::SwapLinkBefore || how == Interfere::SwapFolderBefore) swap(how == Interfere::SwapLinkBefore);
        if (how == Interfere::SwapWayLinkBefore || how == Interfere::SwapWayFolderBefore) swapWay(how == Interfere::SwapWayLinkBefore);
        if (how == Interfere::RetargetProjectBefore && !retargeted_) {
            const std::string project = path_.substr(0, path_.rfind('/'));
            retargeted_ = unlink(project.c_str()) == 0 && symlink(aside_.c_str(), project.c_str()) == 0;
        }
        const TrashResult r = TrashMover::trash(parentFd, name, path, expected, [&](const std::string& info, const std::string& trashed, const std::string& text) {
            if (how == Interfere::RecordOnce && recorded_++ > 0) throw DatabaseError("database is full");
            beforeMove(info, trashed, text);
            if (how == Interfere::KillAfterPendingRecord) _exit(0);
            if (how == Interfere::PauseAfterPendingRecord) {
                char c = 0;
                (void)!write(ready_, "r", 1);
                (void)!read(go_, &c, 1);
            }
        });
        if (how == Interfere::KillAfterMove) _exit(0);
        if (how == Interfere::MountDuring) {
            umount2((path + "/.cache").c_str(), MNT_DETACH);
            if (r.moved) umount2((r.trashedPath + "/.cache").c_str(), MNT_DETACH);
        }
        if (how == Interfere::MountTableGoneDuring) umount2("/proc", MNT_DETACH);
        stop_.store(how == Interfere::Stop);
        return r;
    }

protected:
    void infoWritten(const std::string&) override {
        const Interfere how = now();
        if (how == Interfere::KillAfterInfoFile) _exit(0);
        if (how == Interfere::SwapLinkDuring || how == Interfere::SwapFolderDuring) swap(how == Interfere::SwapLinkDuring);
        if (how == Interfere::MountDuring) {
            enginetest::makeDirs(path_ + "/.cache");
            mount("tmpfs", (path_ + "/.cache").c_str(), "tmpfs", 0, "size=1m");
        }
        if (how == Interfere::MountTableGoneDuring) mount("tmpfs", "/proc", "tmpfs", 0, "size=1m");
    }

private:
    Interfere now() const {
        const auto at = plan_.find(move_);
        return at == plan_.end() ? every_ : at->second;
    }
    // The folder goes aside; a link to it, or another folder, takes its place.
    void swap(bool link) {
        enginetest::makeDirs(aside_);
        rename(path_.c_str(), (aside_ + "/" + path_.substr(path_.rfind('/') + 1)).c_str());
        if (link) symlink(aside_.c_str(), path_.c_str());
        else enginetest::writeFile(path_ + "/other.txt", 7);
    }

    // The folder on the way goes aside with the measured folder in it; a link
    // to it, or another folder with a folder of the same name, takes its place.
    void swapWay(bool link) {
        const std::string way = path_.substr(0, path_.rfind('/'));
        const std::string moved = aside_ + way.substr(way.rfind('/'));
        enginetest::makeDirs(aside_);
        rename(way.c_str(), moved.c_str());
        if (link) symlink(moved.c_str(), way.c_str());
        else enginetest::writeFile(path_ + "/other.txt", 7);
    }

    std::string aside_, path_;
    Interfere every_;
    MovePlan plan_;
    int move_ = 0;
    int ready_ = -1, go_ = -1;
    std::atomic<bool>& stop_;
    int recorded_ = 0;
    bool retargeted_ = false;
};

// Cleans `project` (by default `app`: node_modules and .next); the kills run
// it in a child process.
CleanOutcome cleanApp(const enginetest::TempDir& t, std::optional<Interfere> how = std::nullopt, const std::string& project = "app") {
    const Rules rules = builtinRules(t / "home");
    const ProjectDetector detector(rules);
    Database db(t / "db.sqlite");
    std::atomic<bool> stop{false};
    if (!how) {
        TrashMover mover(t / "data");
        return runClean({t / project, true, true}, detector, db, mover, stop);
    }
    InterferingMover mover(t, *how, stop);
    return runClean({t / project, true, true}, detector, db, mover, stop);
}

// The cleans cut short that the database at `db` holds.
std::vector<CutShortClean> cutShort(const std::string& db) {
    Database d(db);
    return CleanJournal(d).cutShort();
}

// Info files of the trash whose folder is not in files/.
std::vector<std::string> orphanInfoFiles(const std::string& trash) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(trash + "/info")) {
        const std::string name = e.path().filename().string();
        if (!exists(trash + "/files/" + name.substr(0, name.size() - std::string(".trashinfo").size()))) out.push_back(name);
    }
    std::sort(out.begin(), out.end());
    return out;
}

void writeApp(const enginetest::TempDir& t) {
    enginetest::writeFiles(t.path(), {{"app/package.json", 10}, {"app/node_modules/a.js", 5000}, {"app/.next/b.html", 5000}});
}
}  // namespace

// Stopped after its first move: what moved is recorded, the rest stays.
TEST(CleanInterrupted, RecordsWhatMovedAndLeavesTheRest) {
    enginetest::TempDir t;
    writeApp(t);
    const CleanOutcome out = cleanApp(t, Interfere::Stop);
    EXPECT_TRUE(out.interrupted);
    ASSERT_EQ(out.report.items.size(), 1u);
    EXPECT_TRUE(out.report.items[0].success);
    EXPECT_FALSE(exists(t / "app/node_modules"));
    EXPECT_TRUE(exists(t / "app/.next/b.html"));
    const auto ops = Database(t / "db.sqlite").operations(10);
    ASSERT_EQ(ops.size(), 1u);
    EXPECT_EQ(ops[0].items, out.report.items);
    EXPECT_EQ(ops[0].bytes_reclaimed, out.report.bytes_reclaimed);
}

// A link or another folder in the place of the measured folder: before the
// move it is refused with the trash untouched; during the move it is put back
// and not claimed. Either way the measured folder stays where it was put.
TEST(CleanRace, SomethingSwappedInAfterMeasuringIsNeitherMovedNorClaimed) {
    for (Interfere how : {Interfere::SwapLinkBefore, Interfere::SwapFolderBefore, Interfere::SwapLinkDuring, Interfere::SwapFolderDuring}) {
        SCOPED_TRACE(static_cast<int>(how));
        const bool before = how == Interfere::SwapLinkBefore || how == Interfere::SwapFolderBefore;
        const bool link = how == Interfere::SwapLinkBefore || how == Interfere::SwapLinkDuring;
        enginetest::TempDir t;
        writeApp(t);
        const CleanOutcome out = cleanApp(t, how);
        ASSERT_EQ(out.report.items.size(), 2u);
        for (const auto& i : out.report.items) {
            EXPECT_FALSE(i.success) << i.path;
            EXPECT_GT(i.bytes, 0u) << "a failed item keeps its folder's size: " << i.path;
            const std::string why = before ? " is not the folder that was measured" : " was replaced";
            EXPECT_EQ(i.error.value_or("").rfind(i.path + why, 0), 0u) << i.error.value_or("");
        }
        EXPECT_EQ(out.report.bytes_reclaimed, 0u);
        EXPECT_TRUE(exists(link ? t / "app/node_modules" : t / "app/node_modules/other.txt")) << "in its place";
        EXPECT_TRUE(exists(t / "aside/node_modules/a.js")) << "the checked folder is untouched";
        if (before) {
            EXPECT_FALSE(exists(t / "data/Trash")) << "the trash is not touched";
        }
        EXPECT_FALSE(exists(t / "data/Trash/files/node_modules") || exists(t / "data/Trash/info/node_modules.trashinfo"));
        Database db(t / "db.sqlite");
        EXPECT_TRUE(db.operations(10).empty());
        EXPECT_TRUE(CleanJournal(db).cutShort().empty());
    }
}

// A filesystem mounted inside a folder after it was checked and before it
// moved never stays in the trash: the folder goes back to its place, the
// mount is named, and nothing is recorded. So does a folder that cannot be
// looked at again once moved, the mount table unreadable.
TEST(CleanRace, AMountMadeInsideAFolderWhileItMovesSendsItBack) {
    ASSERT_EQ(unshare(CLONE_NEWNS), 0) << "tests run as root";
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    for (const auto& [how, why] : std::vector<std::pair<Interfere, std::string>>{
             {Interfere::MountDuring, " holds another mounted filesystem at PATH/.cache, mounted while it was being moved"},
             {Interfere::MountTableGoneDuring, " could not be checked for mounted filesystems inside it once moved, as the mount table cannot be read"}}) {
        SCOPED_TRACE(why);
        enginetest::TempDir t;
        writeApp(t);
        const CleanOutcome out = cleanApp(t, how);
        ASSERT_EQ(out.report.items.size(), 2u);
        for (const auto& i : out.report.items) {
            EXPECT_FALSE(i.success) << i.path;
            std::string said = i.path + why + "; it was put back and nothing was moved";
            if (const auto at = said.find("PATH"); at != std::string::npos) said.replace(at, 4, i.path);
            EXPECT_EQ(i.error.value_or(""), said);
        }
        EXPECT_EQ(out.report.bytes_reclaimed, 0u);
        EXPECT_TRUE(exists(t / "app/node_modules/a.js") && exists(t / "app/.next/b.html")) << "in their places";
        EXPECT_TRUE(std::filesystem::is_empty(t / "data/Trash/files"));
        EXPECT_TRUE(std::filesystem::is_empty(t / "data/Trash/info"));
        Database db(t / "db.sqlite");
        EXPECT_TRUE(db.operations(10).empty());
        EXPECT_TRUE(CleanJournal(db).cutShort().empty());
    }
}

// A filesystem mounted inside a folder while the mounts are read for its look
// (once the table is read, before the ways to its mount points are watched),
// or while the folder is measured (after that look, before the move), is
// seen by a look before the move: the folder is refused and stays in its
// place, never moved and put back.
TEST(CleanRace, AMountMadeWhileTheMountsAreReadIsSeenByTheLook) {
    for (void (**seam)() : {&MountTable::whileRead, &whileCleanMeasured}) {
        SCOPED_TRACE(seam == &whileCleanMeasured ? "while it is measured" : "while the mounts are read");
        enginetest::TempDir t;
        writeApp(t);
        static std::string cache;
        static bool mounted;
        cache = t / "app/node_modules/.cache";
        mounted = false;
        *seam = [] {
            if (mounted) return;
            enginetest::makeDirs(cache);
            mounted = mount("tmpfs", cache.c_str(), "tmpfs", 0, "size=1m") == 0;
        };
        const CleanOutcome out = cleanApp(t);
        *seam = nullptr;
        ASSERT_TRUE(mounted) << "tests run as root";
        umount2(cache.c_str(), MNT_DETACH);
        ASSERT_EQ(out.report.items.size(), 2u);
        const auto& item = out.report.items[0];
        EXPECT_EQ(item.path, t / "app/node_modules");
        EXPECT_EQ(item.error.value_or(""), item.path + " holds another mounted filesystem at " + cache + ", which would go with it to the Trash; left in place");
        EXPECT_TRUE(exists(t / "app/node_modules/a.js"));
        EXPECT_TRUE(out.report.items[1].success) << out.report.items[1].error.value_or("");
    }
}

// A folder on the way (android/ of android/build) replaced, by a link to it
// or by another folder, after the measuring and before the move: the measured
// folder is no longer at its path, so nothing enters the trash.
TEST(CleanRace, AFolderOnTheWaySwappedAfterMeasuringLeavesEverythingInPlace) {
    for (Interfere how : {Interfere::SwapWayLinkBefore, Interfere::SwapWayFolderBefore}) {
        SCOPED_TRACE(how == Interfere::SwapWayLinkBefore ? "a link" : "another folder");
        enginetest::TempDir t;
        enginetest::writeFiles(t.path(), {{"rn/metro.config.js", 10}, {"rn/android/build/out.apk", 9000}});
        const CleanOutcome out = cleanApp(t, how, "rn");
        // The other folders of the rules below android/ are now behind the link.
        ASSERT_FALSE(out.report.items.empty());
        const auto& item = out.report.items[0];
        EXPECT_EQ(item.path, t / "rn/android/build");
        EXPECT_EQ(item.error.value_or(""), item.path + " is not the folder that was measured any more; left in place");
        for (const auto& i : out.report.items) EXPECT_FALSE(i.success) << i.path;
        EXPECT_EQ(out.report.bytes_reclaimed, 0u);
        EXPECT_TRUE(exists(t / "aside/android/build/out.apk")) << "the measured folder is untouched";
        EXPECT_FALSE(exists(t / "data/Trash/files/build") || exists(t / "data/Trash/info/build.trashinfo"));
        Database db(t / "db.sqlite");
        EXPECT_TRUE(db.operations(10).empty());
        EXPECT_TRUE(CleanJournal(db).cutShort().empty());
    }
}

// A project named by a link (a scan folder ~/myapp -> /data/myapp) stays the
// folder the clean opened: the link turned to another project before the
// first move moves nothing of that one, and the opened project is cleaned.
TEST(CleanRace, AProjectLinkTurnedElsewhereDuringTheCleanMovesOnlyTheOpenedProject) {
    enginetest::TempDir t;
    enginetest::writeFiles(t.path(), {{"real/package.json", 10}, {"real/node_modules/a.js", 5000}, {"real/.next/b.html", 5000},
                                      {"aside/package.json", 10}, {"aside/node_modules/a.js", 5000}, {"aside/.next/b.html", 5000}});
    ASSERT_EQ(symlink((t / "real").c_str(), (t / "myapp").c_str()), 0);
    const CleanOutcome out = cleanApp(t, Interfere::RetargetProjectBefore, "myapp");
    ASSERT_EQ(out.report.items.size(), 2u);
    for (const auto& i : out.report.items) EXPECT_TRUE(i.success) << i.error.value_or("");
    EXPECT_EQ(std::filesystem::read_symlink(t / "myapp").string(), t / "aside") << "the link was turned";
    EXPECT_FALSE(exists(t / "real/node_modules") || exists(t / "real/.next"));
    EXPECT_TRUE(exists(t / "aside/node_modules/a.js") && exists(t / "aside/.next/b.html")) << "the other project is untouched";
    EXPECT_TRUE(exists(t / "data/Trash/files/node_modules/a.js") && exists(t / "data/Trash/files/.next/b.html"));
}

// Killed at each step of its first move: the next command, whichever it is
// (a clean of another project, a scan, last or log), leaves no info file
// without its folder, and the history holds the move exactly when the folder
// reached the trash.
TEST(CleanKilled, TheNextCommandOfAnyKindSettlesTheMoveCutShort) {
    for (const char* next : {"clean", "scan", "last", "log"}) {
        for (Interfere how : {Interfere::KillAfterPendingRecord, Interfere::KillAfterInfoFile, Interfere::KillAfterMove}) [&] {
            SCOPED_TRACE(std::string(next) + " after kill " + std::to_string(static_cast<int>(how)));
            enginetest::TempDir t;
            writeApp(t);
            enginetest::writeFiles(t.path(), {{"other/package.json", 10}, {"other/.next/c.html", 5000}});
            if (const pid_t child = fork(); child == 0) {
                cleanApp(t, how);
                _exit(1);
            } else {
                waitpid(child, nullptr, 0);
            }
            const bool movedFirst = how == Interfere::KillAfterMove;
            ASSERT_EQ(exists(t / "app/node_modules"), !movedFirst);
            ASSERT_FALSE(cutShort(t / "db.sqlite").empty());
            if (std::string(next) == "clean") {
                EXPECT_EQ(cleanApp(t, std::nullopt, "other").report.items.size(), 1u);
            } else {
                const enginetest::EngineRunner engine(t / "sandbox");
                std::vector<std::string> args = {"--db", t / "db.sqlite", next, "--json"};
                if (std::string(next) == "scan") args.insert(args.end(), {"--root", t / "other"});
                if (std::string(next) == "log") args.insert(args.end(), {"--limit", "5"});
                const enginetest::RunResult r = engine.run(args, false);
                EXPECT_EQ(r.exitCode, 0) << r.err;
                if (std::string(next) == "log") {
                    EXPECT_EQ(tidewell::decodeArray<tidewell::OperationDTO>(r.out).size(), movedFirst ? 1u : 0u) << "completed before it is read";
                }
            }
            EXPECT_TRUE(orphanInfoFiles(t / "data/Trash").empty()) << testing::PrintToString(orphanInfoFiles(t / "data/Trash"));
            EXPECT_EQ(exists(t / "data/Trash/info/node_modules.trashinfo"), movedFirst) << "kept exactly when its folder is there";
            Database db(t / "db.sqlite");
            const auto ops = db.operations(10);
            const std::size_t others = std::string(next) == "clean" ? 1 : 0;
            ASSERT_EQ(ops.size(), (movedFirst ? 1u : 0u) + others);
            if (movedFirst) {
                const auto& op = ops.back();
                ASSERT_EQ(op.items->size(), 1u);
                EXPECT_TRUE(op.items->at(0).success && op.items->at(0).path == t / "app/node_modules");
                EXPECT_GT(op.bytes_reclaimed, 0u);
            }
            EXPECT_TRUE(CleanJournal(db).cutShort().empty());
        }();
    }
}

// The database refuses the second move's record: that move is not made and
// leaves nothing in the trash, the clean stops there and every folder after
// it stays in place and says why; the first is reported and kept in the
// history.
TEST(CleanUnrecorded, AMoveThatCannotBeRecordedIsNotMadeAndTheCleanStopsThere) {
    enginetest::TempDir t;
    writeApp(t);
    enginetest::writeFiles(t.path(), {{"app/.turbo/c.log", 5000}, {"app/.nuxt/d.js", 5000}});
    CleanOutcome out;
    ASSERT_NO_THROW(out = cleanApp(t, Interfere::RecordOnce));
    EXPECT_NE(out.unrecorded.find("database is full"), std::string::npos) << out.unrecorded;
    ASSERT_EQ(out.report.items.size(), 4u);
    EXPECT_TRUE(out.report.items[0].success);
    EXPECT_GT(out.report.bytes_reclaimed, 0u);
    EXPECT_EQ(out.report.bytes_reclaimed, out.report.items[0].bytes);
    const auto& refused = out.report.items[1];
    EXPECT_FALSE(refused.success);
    EXPECT_EQ(refused.error.value_or(""), refused.path + " was left in place: its move cannot be recorded: database is full");
    for (std::size_t i = 2; i < out.report.items.size(); ++i) {
        const auto& after = out.report.items[i];
        EXPECT_FALSE(after.success) << after.path;
        EXPECT_EQ(after.error.value_or(""), after.path + " was left in place: the clean stopped, as its moves cannot be recorded");
    }
    for (std::size_t i = 1; i < out.report.items.size(); ++i) EXPECT_TRUE(exists(out.report.items[i].path)) << out.report.items[i].path;
    EXPECT_TRUE(orphanInfoFiles(t / "data/Trash").empty()) << testing::PrintToString(orphanInfoFiles(t / "data/Trash"));
    const auto ops = Database(t / "db.sqlite").operations(10);
    ASSERT_EQ(ops.size(), 1u);
    EXPECT_EQ(ops[0].bytes_reclaimed, out.report.bytes_reclaimed);
    EXPECT_EQ(ops[0].items, std::vector<tidewell::CleanItemDTO>{out.report.items[0]});
}

// An info file without its folder is left alone, whoever wrote it and
// whatever it names: a program that trashes writes its info file first and
// renames after, so even one in this engine's own form for this very path
// may be a move in progress. (What a clean cut short leaves, its own records
// name: see CleanKilled.)
TEST(TrashMover, AnInfoFileWithoutItsFolderIsLeftAloneWhoeverWroteIt) {
    enginetest::TempDir t;
    const std::string trash = t / "data/Trash";
    enginetest::writeFile(t / "a/build/first", 10);
    ASSERT_TRUE(TrashMover(t / "data").trashPath(t / "a/build").moved);
    const std::string same = enginetest::readText(trash + "/info/build.trashinfo");
    const std::string elsewhere = "[Trash Info]\nPath=/elsewhere/build\nDeletionDate=2020-01-01T00:00:00\n";
    const std::string annotated = same + "X-Note=kept\n";
    enginetest::writeText(trash + "/info/build.2.trashinfo", same);
    enginetest::writeText(trash + "/info/build.3.trashinfo", elsewhere);
    enginetest::writeText(trash + "/info/build.4.trashinfo", annotated);
    enginetest::writeFile(t / "a/build/second", 10);
    const TrashResult again = TrashMover(t / "data").trashPath(t / "a/build");
    EXPECT_EQ(again.trashedPath, trash + "/files/build.5");
    EXPECT_EQ(enginetest::readText(trash + "/info/build.2.trashinfo"), same);
    EXPECT_EQ(enginetest::readText(trash + "/info/build.3.trashinfo"), elsewhere);
    EXPECT_EQ(enginetest::readText(trash + "/info/build.4.trashinfo"), annotated);
    EXPECT_TRUE(exists(trash + "/files/build/first") && exists(trash + "/files/build.5/second"));
    // The other program's rename lands: its entry is whole and restorable.
    enginetest::makeDirs(trash + "/files/build.2");
    EXPECT_EQ(orphanInfoFiles(trash), (std::vector<std::string>{"build.3.trashinfo", "build.4.trashinfo"}))
        << testing::PrintToString(orphanInfoFiles(trash));
}

// The info file appears whole at its name, by either way of writing it, and
// a name taken meanwhile is never written over; nothing else is left in info/.
TEST(TrashMover, TheInfoFileAppearsWholeAndNothingElseIsLeft) {
    struct Named : TrashMover {
        using TrashMover::TrashMover;
        bool unnamedInfoFiles() const override { return false; }
    };
    for (const bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed" : "named");
        enginetest::TempDir t;
        const std::string trash = t / "data/Trash";
        enginetest::writeFile(t / "a/build/x", 10);
        enginetest::writeText(trash + "/info/build.trashinfo", "[Trash Info]\n");
        std::unique_ptr<TrashMover> mover = unnamed ? std::make_unique<TrashMover>(t / "data") : std::make_unique<Named>(t / "data");
        const TrashResult r = mover->trashPath(t / "a/build");
        ASSERT_TRUE(r.moved) << r.error;
        EXPECT_EQ(r.infoPath, trash + "/info/build.2.trashinfo");
        EXPECT_EQ(enginetest::readText(trash + "/info/build.trashinfo"), "[Trash Info]\n");
        const std::string text = enginetest::readText(r.infoPath);
        EXPECT_EQ(text.rfind("[Trash Info]\nPath=" + trashPathEncode(t / "a/build") + "\nDeletionDate=", 0), 0u) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(trash + "/info")) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"build.2.trashinfo", "build.trashinfo"}));
    }
}

// Before the folder moves, the info file's whole text reaches the disk before
// it has its name, then info/ with that name: after a power loss the trash
// never holds a folder beside an empty or missing info file. A sync that
// fails leaves the folder where it is and no info file.
TEST(TrashMover, TheInfoFileReachesTheDiskWholeBeforeTheFolderMoves) {
    struct Watched : TrashMover {
        Watched(const std::string& data, bool unnamed, std::size_t failing)
            : TrashMover(data), unnamed(unnamed), failing(failing) {}
        bool unnamedInfoFiles() const override { return unnamed; }
        int makeDurable(int fd) override {
            struct stat st {};
            fstat(fd, &st);
            const bool named = exists(dataHome() + "/Trash/info/build.trashinfo");
            if (S_ISDIR(st.st_mode))
                seen.push_back(std::string("info/ ") + (named ? "names it" : "lacks it") + (exists(source) ? ", folder in place" : ", folder moved"));
            else
                seen.push_back("file of " + std::to_string(st.st_size) + " bytes" + (named ? ", named" : ", not named yet"));
            return seen.size() == failing ? EIO : TrashMover::makeDurable(fd);
        }
        bool unnamed;
        std::size_t failing;  // which sync fails (from 1), or none
        std::string source;
        std::vector<std::string> seen;
    };
    for (const bool unnamed : {true, false})
        for (const std::size_t failing : {0, 1, 2}) {
            SCOPED_TRACE(std::string(unnamed ? "unnamed" : "named") + ", failing sync " + std::to_string(failing));
            enginetest::TempDir t;
            Watched mover(t / "data", unnamed, failing);
            mover.source = t / "a/build";
            enginetest::writeFile(mover.source + "/x", 10);
            const TrashResult r = mover.trashPath(mover.source);
            if (failing != 0) {
                EXPECT_FALSE(r.moved);
                EXPECT_NE(r.error.find("trash information cannot be written"), std::string::npos) << r.error;
                EXPECT_TRUE(exists(mover.source + "/x"));
                EXPECT_FALSE(exists(t / "data/Trash/info/build.trashinfo"));
                EXPECT_EQ(mover.seen.size(), failing);
                continue;
            }
            ASSERT_TRUE(r.moved) << r.error;
            const std::size_t size = enginetest::readText(r.infoPath).size();
            EXPECT_EQ(mover.seen, (std::vector<std::string>{"file of " + std::to_string(size) + " bytes, not named yet",
                                                            "info/ names it, folder in place"}));
        }
}

// A trash that holds a thousand folders of one name, by info file or by
// folder alone, still takes the next.
TEST(TrashMover, TheTrashTakesANamePastTheThousandthOfOneKind) {
    enginetest::TempDir t;
    const std::string trash = t / "data/Trash";
    for (int i = 1; i <= 1000; ++i) {
        const std::string name = i == 1 ? "build" : "build." + std::to_string(i);
        if (i % 2) enginetest::writeText(trash + "/info/" + name + ".trashinfo", "[Trash Info]\nPath=/x/" + name + "\nDeletionDate=2020-01-01T00:00:00\n");
        else enginetest::makeDirs(trash + "/files/" + name);
    }
    TrashMover mover(t / "data");
    for (const char* next : {"build.1001", "build.1002"}) {
        enginetest::writeFile(t / "a/build/f", 10);
        const TrashResult r = mover.trashPath(t / "a/build");
        EXPECT_TRUE(r.moved) << r.error;
        EXPECT_EQ(r.trashedPath, trash + "/files/" + next);
        EXPECT_TRUE(exists(trash + "/files/" + next + "/f") && exists(trash + "/info/" + next + ".trashinfo"));
    }
}

// Killed once its move was recorded, before the info file: meanwhile another
// program trashed a folder of the same name under the recorded name. That
// folder is not the one this clean moved: it is neither credited nor touched.
TEST(CleanKilled, AMoveIsCreditedOnlyWhenItsOwnFolderStandsAtTheTrashName) {
    enginetest::TempDir t;
    writeApp(t);
    enginetest::writeFiles(t.path(), {{"other/package.json", 10}, {"other/.next/c.html", 5000}});
    if (const pid_t child = fork(); child == 0) {
        cleanApp(t, Interfere::KillAfterPendingRecord);
        _exit(1);
    } else {
        waitpid(child, nullptr, 0);
    }
    const std::string theirs = "[Trash Info]\nPath=/elsewhere/node_modules\nDeletionDate=2020-01-01T00:00:00\n";
    enginetest::writeFile(t / "data/Trash/files/node_modules/theirs.js", 10);
    enginetest::writeText(t / "data/Trash/info/node_modules.trashinfo", theirs);
    cleanApp(t, std::nullopt, "other");
    const auto ops = Database(t / "db.sqlite").operations(10);
    ASSERT_EQ(ops.size(), 1u) << "only the clean of other";
    EXPECT_EQ(ops[0].project_path, t / "other");
    EXPECT_TRUE(exists(t / "app/node_modules/a.js"));
    EXPECT_EQ(enginetest::readText(t / "data/Trash/info/node_modules.trashinfo"), theirs);
    EXPECT_TRUE(exists(t / "data/Trash/files/node_modules/theirs.js"));
}

namespace {
// Runs a clean of `project` in a child process that interferes by `plan`.
void cleanInChild(const enginetest::TempDir& t, const MovePlan& plan, const std::string& project = "app") {
    if (const pid_t child = fork(); child == 0) {
        const Rules rules = builtinRules(t / "home");
        const ProjectDetector detector(rules);
        Database db(t / "db.sqlite");
        std::atomic<bool> stop{false};
        InterferingMover mover(t, plan, stop);
        runClean({t / project, true, true}, detector, db, mover, stop);
        _exit(1);
    } else {
        waitpid(child, nullptr, 0);
    }
}

// The engine executable on the test's database: `clean` in this process
// (of the project `other`), `scan` of the project `app` again.
void runCommand(const enginetest::TempDir& t, const std::string& command) {
    if (command == "clean") {
        EXPECT_TRUE(cleanApp(t, std::nullopt, "other").report.items.at(0).success);
        return;
    }
    const enginetest::EngineRunner engine(t / "sandbox");
    std::vector<std::string> args = {"--db", t / "db.sqlite", command, "--json"};
    if (command == "scan") args.insert(args.end(), {"--root", t / "app"});
    if (command == "log") args.insert(args.end(), {"--limit", "5"});
    const enginetest::RunResult r = engine.run(args, false);
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

void scanApp(const enginetest::TempDir& t) {
    const enginetest::RunResult r =
        enginetest::EngineRunner(t / "sandbox").run({"--db", t / "db.sqlite", "scan", "--json", "--root", t / "app"}, false);
    ASSERT_EQ(r.exitCode, 0) << r.err;
}

// The paths a clean of `project` credits in the history, in order.
std::vector<std::string> credited(const std::string& db, const std::string& project) {
    std::vector<std::string> out;
    Database d(db);
    for (const auto& op : d.operations(50))
        if (!op.dry_run && op.project_path == project)
            for (const auto& i : op.items.value_or(std::vector<tidewell::CleanItemDTO>{})) out.push_back(i.path);
    return out;
}

// The artifact folders the stored scan lists for `project`.
std::vector<std::string> listed(const std::string& db, const std::string& project) {
    std::vector<std::string> out;
    Database d(db);
    for (const auto& p : d.lastDashboard().value_or(tidewell::DashboardDTO{}).projects)
        if (p.path == project)
            for (const auto& a : p.artifacts) out.push_back(a.absolute_path);
    std::sort(out.begin(), out.end());
    return out;
}
}  // namespace

// A clean of three folders is killed at move k (after its record, after its
// info file, or after the rename), after a scan, with or without moves before
// them (one that failed, a folder swapped in while it moved; or one made and
// then one that failed); then any command runs. The history credits exactly
// the moves that reached the trash, no info file is left without its folder,
// and the stored scan lists what stayed and nothing that moved.
TEST(CleanKilled, AnyCommandSettlesACleanCutShortAtAnyMove) {
    struct Before {
        const char* what;
        std::vector<Interfere> moves;  // each made (None) or failed after its record
        std::vector<int> ks;
    };
    const Before befores[] = {{"", {}, {1, 2, 3}},
                              {", a failed move before", {Interfere::SwapFolderDuring}, {1, 2, 3}},
                              {", a move made and then a failed one before", {Interfere::None, Interfere::SwapFolderDuring}, {1}}};
    const std::vector<std::string> folders = {"node_modules", ".next", ".nuxt", ".turbo", ".parcel-cache"};  // in the order they move
    for (const Before& before : befores)
        for (const int k : before.ks)
            for (const Interfere kill : {Interfere::KillAfterPendingRecord, Interfere::KillAfterInfoFile, Interfere::KillAfterMove})
                for (const char* next : {"clean", "scan", "last", "log"}) [&] {
                    const int lead = static_cast<int>(before.moves.size());
                    SCOPED_TRACE(std::string(next) + " after a kill at move " + std::to_string(lead + k) + ", point " +
                                 std::to_string(static_cast<int>(kill)) + before.what);
                    enginetest::TempDir t;
                    enginetest::writeFiles(t.path(), {{"app/package.json", 10}, {"other/package.json", 10}, {"other/.next/c.html", 5000}});
                    for (int i = 0; i < lead + 3; ++i) enginetest::writeFile(t / "app/" + folders[i] + "/f", 5000);
                    scanApp(t);
                    MovePlan plan;
                    for (int i = 0; i < lead; ++i) plan[i + 1] = before.moves[i];
                    plan[lead + k] = kill;
                    cleanInChild(t, plan);
                    ASSERT_FALSE(cutShort(t / "db.sqlite").empty());

                    runCommand(t, next);

                    std::vector<std::string> moved, stayed;
                    for (int move = 1; move <= lead + 3; ++move) {
                        const bool made = move <= lead ? before.moves[move - 1] == Interfere::None
                                                       : move < lead + k || (move == lead + k && kill == Interfere::KillAfterMove);
                        (made ? moved : stayed).push_back(t / "app/" + folders[move - 1]);
                    }
                    for (const auto& m : moved) EXPECT_FALSE(exists(m)) << m;
                    for (const auto& s : stayed) EXPECT_TRUE(exists(s)) << s;
                    EXPECT_EQ(credited(t / "db.sqlite", t / "app"), moved);
                    EXPECT_TRUE(orphanInfoFiles(t / "data/Trash").empty()) << testing::PrintToString(orphanInfoFiles(t / "data/Trash"));
                    std::sort(stayed.begin(), stayed.end());
                    EXPECT_EQ(listed(t / "db.sqlite", t / "app"), stayed);
                    EXPECT_TRUE(cutShort(t / "db.sqlite").empty());
                }();
}

// A move is counted once its folder has left its place, also when the trash
// was emptied between the kill and the next command.
TEST(CleanKilled, AMoveIsCountedWhenItsFolderLeftItsPlaceThoughTheTrashWasEmptiedSince) {
    enginetest::TempDir t;
    writeApp(t);
    scanApp(t);
    cleanInChild(t, {{1, Interfere::KillAfterMove}});
    std::filesystem::remove_all(t / "data/Trash/files/node_modules");
    std::filesystem::remove(t / "data/Trash/info/node_modules.trashinfo");
    runCommand(t, "last");
    EXPECT_EQ(credited(t / "db.sqlite", t / "app"), std::vector<std::string>{t / "app/node_modules"});
    EXPECT_EQ(listed(t / "db.sqlite", t / "app"), std::vector<std::string>{t / "app/.next"});
    EXPECT_TRUE(exists(t / "app/.next/b.html"));
}

// Killed after recording a move and before its info file appeared: the
// engine's info file appears whole or not at all, so whatever then stands at
// that name and is not exactly what it would have written (nothing yet, or
// the start of it) is another program's move in progress and stays. A record
// of an older engine, which wrote its info file in steps, still takes the
// start of its own text as its own.
TEST(CleanKilled, OnlyTheEnginesWholeInfoFileForThatMoveGoes) {
    for (const bool older : {false, true}) {
        SCOPED_TRACE(older ? "recorded by an older engine" : "recorded now");
        for (const std::string& begun : {std::string(), std::string("[Trash Info]\n"), std::string("[Trash Info]\nPath=")}) {
            enginetest::TempDir t;
            writeApp(t);
            cleanInChild(t, {{1, Interfere::KillAfterPendingRecord}});
            const auto recorded = cutShort(t / "db.sqlite");
            ASSERT_EQ(recorded.size(), 1u);
            ASSERT_EQ(recorded[0].moves.size(), 1u);
            const std::string info = recorded[0].moves[0].info;
            EXPECT_FALSE(exists(info));
            if (older) {
                const auto r = enginetest::runProgram({"/usr/bin/sqlite3", t / "db.sqlite", "UPDATE pending_moves SET info_text = NULL;"}, {}, t.path());
                ASSERT_EQ(r.exitCode, 0) << r.err;
            }
            enginetest::writeText(info, begun);
            runCommand(t, "log");
            EXPECT_EQ(exists(info), !older) << testing::PrintToString(begun);
            EXPECT_TRUE(credited(t / "db.sqlite", t / "app").empty());
            EXPECT_TRUE(cutShort(t / "db.sqlite").empty());
            EXPECT_TRUE(exists(t / "app/node_modules/a.js"));
        }
    }
}

// A project reached through a link of another name, on a volume whose trash
// records the path from the volume's top where the folder really lies: the
// info file a clean cut short left there is still known as its own and goes.
TEST(CleanKilled, ALeftoverInfoFileInAVolumeTrashOfAProjectReachedThroughALinkGoes) {
    enginetest::TempDir t;
    const std::string vol = t / "vol";
    const enginetest::TmpfsMount mounted(vol, "4m");
    ASSERT_TRUE(mounted.mounted()) << "tests run as root";
    enginetest::writeFiles(vol, {{"code/app/package.json", 10}, {"code/app/node_modules/a.js", 5000}});
    ASSERT_EQ(symlink((vol + "/code/app").c_str(), (t / "myapp").c_str()), 0);
    cleanInChild(t, {{1, Interfere::KillAfterInfoFile}}, "myapp");
    const std::string info = vol + "/.Trash-" + std::to_string(getuid()) + "/info/node_modules.trashinfo";
    ASSERT_TRUE(exists(info));
    EXPECT_NE(enginetest::readText(info).find("\nPath=code/app/node_modules\n"), std::string::npos) << enginetest::readText(info);
    runCommand(t, "log");
    EXPECT_FALSE(exists(info));
    EXPECT_TRUE(exists(vol + "/code/app/node_modules/a.js"));
    EXPECT_TRUE(credited(t / "db.sqlite", t / "myapp").empty());
    EXPECT_TRUE(cutShort(t / "db.sqlite").empty());
}

// A helper left behind in the middle of a move (it holds its record lock on
// the clean lock file) may still make that move: no command settles a clean
// cut short then; once it has let go, the next command does.
TEST(CleanKilled, NoCleanIsSettledWhileAHelperLeftBehindMayStillMove) {
    enginetest::TempDir t;
    writeApp(t);
    cleanInChild(t, {{1, Interfere::KillAfterInfoFile}});
    ASSERT_EQ(cutShort(t / "db.sqlite").size(), 1u);
    const int held = open((t / "db.sqlite.lock").c_str(), O_RDWR | O_CLOEXEC);
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(held, F_OFD_SETLK, &range), 0);
    runCommand(t, "log");
    EXPECT_EQ(cutShort(t / "db.sqlite").size(), 1u) << "left for a later command";
    close(held);
    runCommand(t, "log");
    EXPECT_TRUE(cutShort(t / "db.sqlite").empty());
    EXPECT_TRUE(orphanInfoFiles(t / "data/Trash").empty());
}

// A command run while a clean is still moving (paused once its second move
// is recorded) settles nothing of it; the clean then records itself, once.
// A dry run meanwhile previews and records its preview without waiting for
// it; another real clean gives up on its lock, naming it.
TEST(CleanKilled, ACommandWhileACleanRunsSettlesNothing) {
    enginetest::TempDir t;
    writeApp(t);
    enginetest::writeFiles(t.path(), {{"app/.turbo/c.log", 5000}, {"other/package.json", 10}, {"other/.next/c.html", 5000}});
    int ready[2], go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    const pid_t child = fork();
    if (child == 0) {
        const Rules rules = builtinRules(t / "home");
        const ProjectDetector detector(rules);
        Database db(t / "db.sqlite");
        std::atomic<bool> stop{false};
        InterferingMover mover(t, MovePlan{{2, Interfere::PauseAfterPendingRecord}}, stop);
        mover.pauseThrough(ready[1], go[0]);
        const CleanOutcome out = runClean({t / "app", true, true}, detector, db, mover, stop);
        _exit(out.unrecorded.empty() && out.report.items.size() == 3 ? 0 : 1);
    }
    char c = 0;
    EXPECT_EQ(read(ready[0], &c, 1), 1);
    for (const char* next : {"last", "log", "scan"}) runCommand(t, next);
    const enginetest::EngineRunner engine(t / "sandbox");
    const std::vector<std::string> failSafe = {"timeout", "-s", "KILL", "120"};
    const std::vector<std::string> cleanOther = {"--db", t / "db.sqlite", "clean", "--project", t / "other", "--json"};
    const enginetest::RunResult preview = engine.run(cleanOther, false, false, failSafe);
    std::vector<std::string> executeOther = cleanOther;
    executeOther.push_back("--execute");
    const enginetest::RunResult refused = engine.run(executeOther, false, false, failSafe);
    const enginetest::RunResult log = engine.run({"--db", t / "db.sqlite", "log", "--limit", "5", "--json"}, false);
    const auto running = cutShort(t / "db.sqlite");
    // The clean goes on, whatever was found.
    EXPECT_EQ(write(go[1], "g", 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(preview.exitCode, 0) << preview.err;
    EXPECT_EQ(refused.err, "tidewell-engine: another clean (pid " + std::to_string(child) + ") is still running; clean again once it has finished\n");
    EXPECT_TRUE(exists(t / "other/.next/c.html"));
    const auto previews = tidewell::decodeArray<tidewell::OperationDTO>(log.out);
    ASSERT_EQ(previews.size(), 1u) << log.out;
    EXPECT_TRUE(previews[0].dry_run);
    EXPECT_EQ(previews[0].project_path, t / "other");
    ASSERT_EQ(running.size(), 1u);
    EXPECT_EQ(running[0].moves.size(), 2u) << "its records stay as it made them";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the clean recorded itself without a clash";
    EXPECT_EQ(credited(t / "db.sqlite", t / "app"), (std::vector<std::string>{t / "app/node_modules", t / "app/.next", t / "app/.turbo"}));
    EXPECT_EQ(Database(t / "db.sqlite").operations(10).size(), 2u) << "the preview and the clean";
    EXPECT_TRUE(cutShort(t / "db.sqlite").empty());
    EXPECT_TRUE(orphanInfoFiles(t / "data/Trash").empty());
    for (int fd : {ready[0], ready[1], go[0], go[1]}) close(fd);
}

// A clean cut short that an older engine recorded (schema 2: the moves made
// in the operation, the one in flight beside it), whose move in flight never
// reached the trash: it is settled with what moved before, without that
// move, and that move's info file goes.
TEST(CleanKilled, ACleanCutShortUnderAnOlderEngineIsSettledWithoutItsMoveInFlight) {
    enginetest::TempDir t;
    writeApp(t);
    const std::string trash = t / "data/Trash";
    enginetest::writeFile(trash + "/files/node_modules/a.js", 5000);
    enginetest::writeText(trash + "/info/node_modules.trashinfo", "[Trash Info]\nPath=" + t / "app/node_modules\nDeletionDate=2026-01-01T00:00:00\n");
    enginetest::writeText(trash + "/info/.next.trashinfo", "[Trash Info]\nPath=" + t / "app/.next\nDeletionDate=2026-01-01T00:00:00\n");
    std::filesystem::remove_all(t / "app/node_modules");
    struct stat st {};
    ASSERT_EQ(lstat((t / "app/.next").c_str(), &st), 0);
    tidewell::OperationDTO op;
    op.id = "0A1B2C3D-0000-4000-8000-000000000001";
    op.timestamp_unix = 1767225600;
    op.project_path = t / "app";
    op.bytes_reclaimed = 10000;
    op.items = std::vector<tidewell::CleanItemDTO>{{t / "app/node_modules", 5000, "caution", true, std::nullopt},
                                                   {t / "app/.next", 5000, "safe", true, std::nullopt}};
    const std::string sql =
        "CREATE TABLE scan_cache (id INTEGER PRIMARY KEY, scanned_at_unix INTEGER NOT NULL, json TEXT NOT NULL);"
        "CREATE TABLE operations (id TEXT PRIMARY KEY, timestamp_unix INTEGER NOT NULL, project_path TEXT, dry_run INTEGER NOT NULL,"
        " bytes_reclaimed INTEGER NOT NULL, json TEXT NOT NULL);"
        "CREATE TABLE pending_cleans (id TEXT PRIMARY KEY, operation TEXT NOT NULL, moving_info TEXT, moving_trashed TEXT,"
        " moving_dev INTEGER, moving_ino INTEGER);"
        "INSERT INTO pending_cleans VALUES ('" + op.id + "', '" + tidewell::encode(op) + "', '" + trash + "/info/.next.trashinfo', '" +
        trash + "/files/.next', " + std::to_string(st.st_dev) + ", " + std::to_string(st.st_ino) + ");"
        "PRAGMA user_version=2;";
    ASSERT_EQ(enginetest::runProgram({"/usr/bin/sqlite3", t / "db.sqlite", sql}, {}, t.path()).exitCode, 0);

    runCommand(t, "log");
    EXPECT_EQ(credited(t / "db.sqlite", t / "app"), std::vector<std::string>{t / "app/node_modules"});
    EXPECT_EQ(Database(t / "db.sqlite").operations(10).at(0).bytes_reclaimed, 5000u);
    EXPECT_FALSE(exists(trash + "/info/.next.trashinfo"));
    EXPECT_TRUE(exists(trash + "/info/node_modules.trashinfo"));
    EXPECT_TRUE(exists(t / "app/.next/b.html"));
    EXPECT_TRUE(cutShort(t / "db.sqlite").empty());
}

// The info file that a clean cut short left for a folder whose encoded path
// is longer than 8 KiB is still recognised as its own: the next clean of that
// folder removes it and takes its name.
TEST(CleanKilled, ALeftoverInfoFileOfAPathPast8KiBIsRemovedAndItsNameTaken) {
    enginetest::TempDir t;
    const std::string deep = enginetest::makeDeepFolder(t / "deep", 9000);
    enginetest::writeFilesDeep(deep, {{"package.json", 10}, {"node_modules/a.js", 5000}});
    const std::string project = deep.substr(t.path().size() + 1);
    cleanInChild(t, {{1, Interfere::KillAfterInfoFile}}, project);
    const std::string trash = t / "data/Trash";
    ASSERT_GT(enginetest::readText(trash + "/info/node_modules.trashinfo").size(), 8192u);
    ASSERT_FALSE(exists(trash + "/files/node_modules"));
    const CleanOutcome out = cleanApp(t, std::nullopt, project);
    ASSERT_EQ(out.report.items.size(), 1u);
    EXPECT_TRUE(out.report.items[0].success) << out.report.items[0].error.value_or("");
    EXPECT_TRUE(exists(trash + "/files/node_modules/a.js"));
    EXPECT_FALSE(exists(trash + "/info/node_modules.2.trashinfo"));
    EXPECT_TRUE(orphanInfoFiles(trash).empty()) << testing::PrintToString(orphanInfoFiles(trash));
}

namespace {
// Progress output that runs `onCaches` when the scan reaches its caches
// phase: its walk is over, its dashboard not yet stored.
struct AtCaches {
    std::function<void()> onCaches;
    bool done = false;
    static ssize_t write(void* self, const char* data, size_t size) {
        auto* me = static_cast<AtCaches*>(self);
        if (!me->done && std::string_view(data, size).find("\"phase\":\"caches\"") != std::string_view::npos) {
            me->done = true;
            me->onCaches();
        }
        return static_cast<ssize_t>(size);
    }
};
}  // namespace

// A clean recorded while a scan walked: the scan that ends after it neither
// stores nor prints the moved folders as reclaimable again.
TEST(ScanAndClean, AScanEndingAfterACleanRecordedMeanwhileKeepsWhatMovedOut) {
    enginetest::TempDir t;
    writeApp(t);
    enginetest::writeFile(t / "app/src/index.js", 3000);
    const Rules rules = builtinRules(t / "home");
    const ProjectDetector detector(rules);
    Database db(t / "db.sqlite");
    std::atomic<bool> stop{false};
    CleanOutcome cleaned;
    AtCaches atCaches{[&] { cleaned = cleanApp(t); }};
    std::FILE* progress = fopencookie(&atCaches, "w", {nullptr, &AtCaches::write, nullptr, nullptr});
    ScanOptions options;
    options.roots = {t / "app"};
    options.progress = true;
    options.dataHome = t / "data";
    const auto scanned = runScan(options, detector, db, stop, progress);
    std::fclose(progress);
    ASSERT_TRUE(atCaches.done);
    ASSERT_EQ(cleaned.report.items.size(), 2u);
    ASSERT_TRUE(scanned);
    const auto stored = db.lastDashboard();
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, *scanned);
    ASSERT_EQ(stored->projects.size(), 1u);
    EXPECT_TRUE(stored->projects[0].artifacts.empty());
    EXPECT_EQ(stored->reclaimable_bytes, 0u);
    EXPECT_EQ(stored->projects[0].total_bytes, enginetest::duBytes({t / "app"}, t.path()));
}
