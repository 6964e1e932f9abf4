#include "CleanCommand.h"
#include "Database.h"
#include "ProjectDetector.h"
#include "TrashMover.h"

#include "EngineTestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

using namespace tidewell::engine;
using enginetest::exists;

TEST(TrashMover, PathIsPercentEncodedKeepingSlashes) {
    EXPECT_EQ(trashPathEncode("/home/u/my app/100%"), "/home/u/my%20app/100%25");
    EXPECT_EQ(trashPathEncode("/a\nb\xff/c"), "/a%0Ab%FF/c");
    EXPECT_EQ(trashPathEncode("/ok-_.~/Z9"), "/ok-_.~/Z9");
    EXPECT_EQ(trashPathEncode("/caf\xc3\xa9"), "/caf%C3%A9");
}

TEST(TrashMover, FindsTheMountPointHoldingAPath) {
    const std::string info =
        "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
        "30 22 8:2 / /home rw - ext4 /dev/sda2 rw\n"
        "31 22 8:3 / /media/usb\\040stick rw - vfat /dev/sdb1 rw\n"
        "32 22 0:5 / /home2 rw - tmpfs tmpfs rw\n";
    EXPECT_EQ(mountPointFor("/home/u/p", info), "/home");
    EXPECT_EQ(mountPointFor("/home2/p", info), "/home2") << "never a bare prefix";
    EXPECT_EQ(mountPointFor("/media/usb stick/p", info), "/media/usb stick");
    EXPECT_EQ(mountPointFor("/var/x", info), "/");
}

TEST(TrashMover, DeletionDateIsLocalTimeWithoutZone) {
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(trashDeletionDate(0), "1970-01-01T00:00:00");
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
    EXPECT_FALSE(failed.error.empty());
    EXPECT_FALSE(exists(t / "data/deeper/Trash/info/nothing-here.trashinfo"));
}

// A clean stopped by a termination request after its first move: what moved
// is recorded, what did not stays in place.
namespace {
class StopAfterFirstMove : public TrashMover {
public:
    StopAfterFirstMove(std::string data, std::atomic<bool>& stop) : TrashMover(std::move(data)), stop_(stop) {}
    TrashResult trash(int parentFd, const std::string& name, const std::string& absolutePath, const FolderIdentity* expected,
                      const BeforeMove& beforeMove) override {
        TrashResult r = TrashMover::trash(parentFd, name, absolutePath, expected, beforeMove);
        stop_.store(true);
        return r;
    }

private:
    std::atomic<bool>& stop_;
};
}  // namespace

TEST(CleanInterrupted, RecordsWhatMovedAndLeavesTheRest) {
    enginetest::TempDir t;
    enginetest::writeFile(t / "app/package.json");
    enginetest::writeFile(t / "app/node_modules/a.js", 5000);
    enginetest::writeFile(t / "app/.next/b.html", 5000);
    const Rules rules = builtinRules(t / "home");
    const ProjectDetector detector(rules);
    Database db(t / "db.sqlite");
    std::atomic<bool> stop{false};
    StopAfterFirstMove mover(t / "data", stop);

    const CleanOutcome out = runClean({t / "app", true, false}, detector, db, mover, stop);
    EXPECT_TRUE(out.interrupted);
    ASSERT_EQ(out.report.items.size(), 1u);
    EXPECT_TRUE(out.report.items[0].success);
    EXPECT_FALSE(exists(t / "app/node_modules"));
    EXPECT_TRUE(exists(t / "app/.next/b.html"));
    const auto ops = db.operations(10);
    ASSERT_EQ(ops.size(), 1u);
    ASSERT_TRUE(ops[0].items.has_value());
    EXPECT_EQ(ops[0].items->size(), 1u);
    EXPECT_EQ(ops[0].items->at(0).path, t / "app/node_modules");
    EXPECT_EQ(ops[0].bytes_reclaimed, out.report.bytes_reclaimed);
}

namespace {
// Cleans `app` (node_modules and .next) through `mover`.
CleanOutcome cleanApp(const enginetest::TempDir& t, TrashMover& mover) {
    const Rules rules = builtinRules(t / "home");
    const ProjectDetector detector(rules);
    Database db(t / "db.sqlite");
    std::atomic<bool> stop{false};
    return runClean({t / "app", true, false}, detector, db, mover, stop);
}

void writeApp(const enginetest::TempDir& t) {
    enginetest::writeFile(t / "app/package.json");
    enginetest::writeFile(t / "app/node_modules/a.js", 5000);
    enginetest::writeFile(t / "app/.next/b.html", 5000);
}

// Swaps something else in for the folder after every check, just before the move.
class SwapBeforeMove : public TrashMover {
public:
    SwapBeforeMove(std::string data, std::string aside, bool withLink) : TrashMover(std::move(data)), aside_(std::move(aside)), link_(withLink) {}
    TrashResult trash(int parentFd, const std::string& name, const std::string& absolutePath, const FolderIdentity* expected,
                      const BeforeMove& beforeMove) override {
        rename(absolutePath.c_str(), (aside_ + "/" + name).c_str());
        if (link_) symlink(aside_.c_str(), absolutePath.c_str());
        else enginetest::writeFile(absolutePath + "/other.txt", 7);
        return TrashMover::trash(parentFd, name, absolutePath, expected, beforeMove);
    }

private:
    std::string aside_;
    bool link_;
};

// Ends the process at a point of the first move, as kill -9 would.
enum class KillAt { AfterInfoFile, AfterPendingRecord, AfterMove };
class KilledDuringMove : public TrashMover {
public:
    KilledDuringMove(std::string data, KillAt at) : TrashMover(std::move(data)), at_(at) {}
    TrashResult trash(int parentFd, const std::string& name, const std::string& absolutePath, const FolderIdentity* expected,
                      const BeforeMove& beforeMove) override {
        TrashMover::trash(parentFd, name, absolutePath, expected, [&](const std::string& info, const std::string& trashed) {
            if (at_ == KillAt::AfterInfoFile) _exit(0);
            beforeMove(info, trashed);
            if (at_ == KillAt::AfterPendingRecord) _exit(0);
        });
        _exit(0);
    }

private:
    KillAt at_;
};
}  // namespace

TEST(CleanRace, SomethingSwappedInJustBeforeTheMoveIsPutBackAndNotClaimed) {
    for (bool withLink : {true, false}) {
        enginetest::TempDir t;
        writeApp(t);
        enginetest::makeDirs(t / "aside");
        SwapBeforeMove mover(t / "data", t / "aside", withLink);
        const CleanOutcome out = cleanApp(t, mover);
        ASSERT_EQ(out.report.items.size(), 2u);
        for (const auto& i : out.report.items) {
            EXPECT_FALSE(i.success) << i.path;
            EXPECT_EQ(i.bytes, 0u) << i.path;
        }
        EXPECT_EQ(out.report.bytes_reclaimed, 0u);
        EXPECT_TRUE(exists(withLink ? t / "app/node_modules" : t / "app/node_modules/other.txt")) << "put back";
        EXPECT_TRUE(exists(t / "aside/node_modules/a.js")) << "the checked folder is untouched";
        EXPECT_FALSE(exists(t / "data/Trash/files/node_modules"));
        EXPECT_FALSE(exists(t / "data/Trash/info/node_modules.trashinfo"));
    }
}

// A clean killed during its first move: the next clean finds no info file
// without its folder, and the history holds the move if it happened.
TEST(CleanKilled, TheNextCleanSweepsLeftoversAndCompletesTheHistory) {
    for (KillAt at : {KillAt::AfterInfoFile, KillAt::AfterPendingRecord, KillAt::AfterMove}) {
        enginetest::TempDir t;
        writeApp(t);
        const pid_t child = fork();
        if (child == 0) {
            KilledDuringMove mover(t / "data", at);
            cleanApp(t, mover);
            _exit(1);
        }
        waitpid(child, nullptr, 0);
        const bool movedFirst = at == KillAt::AfterMove;
        ASSERT_EQ(exists(t / "app/node_modules"), !movedFirst);

        TrashMover mover(t / "data");
        const CleanOutcome next = cleanApp(t, mover);
        EXPECT_EQ(next.report.items.size(), movedFirst ? 1u : 2u);
        for (const char* name : {"node_modules", ".next"}) {
            EXPECT_TRUE(exists(t / "data/Trash/files/" + name)) << name << " " << static_cast<int>(at);
            EXPECT_TRUE(exists(t / "data/Trash/info/" + name + ".trashinfo")) << name;
        }
        EXPECT_FALSE(exists(t / "data/Trash/info/node_modules.2.trashinfo")) << "the name left behind was freed";
        Database db(t / "db.sqlite");
        const auto ops = db.operations(10);
        ASSERT_EQ(ops.size(), movedFirst ? 2u : 1u);
        if (movedFirst) {
            ASSERT_EQ(ops[1].items->size(), 1u);
            EXPECT_TRUE(ops[1].items->at(0).success);
            EXPECT_EQ(ops[1].items->at(0).path, t / "app/node_modules");
            EXPECT_GT(ops[1].bytes_reclaimed, 0u);
        }
        EXPECT_TRUE(db.pendingCleans().empty());
    }
}
