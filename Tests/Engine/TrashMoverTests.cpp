#include "CleanCommand.h"
#include "Database.h"
#include "ProjectDetector.h"
#include "TrashMover.h"

#include "EngineTestSupport.h"

#include <gtest/gtest.h>

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
    TrashResult trash(int parentFd, const std::string& name, const std::string& absolutePath) override {
        TrashResult r = TrashMover::trash(parentFd, name, absolutePath);
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
