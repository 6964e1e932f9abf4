#include <csignal>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include "StoreTestEnvironment.h"
#include "core/AppFiles.h"
#include "core/AppSupport.h"
#include "core/EngineDatabase.h"

using namespace tidewell;
using namespace tidewell::testing;
namespace fs = std::filesystem;

TEST(AppFiles, SavedFilesReadBackAndLiveInTheDataFolder) {
    ScratchHome home;
    auto d = dashboard({project("1", "/w/a", 10, 5)});
    saveLastDashboard(d);
    saveOperations({operation("x", 5, 1)});
    EXPECT_EQ(lastDashboardFilePath(), home.dataFolder() + "/last-dashboard.json");
    EXPECT_EQ(readLastDashboardFile(), d);
    EXPECT_EQ(readOperationsFile(), std::vector<OperationDTO>{operation("x", 5, 1)});
    // Compact encoder output and nothing else: no envelope.
    EXPECT_EQ(platform::readFileContents(operationsFilePath()), encodeArray(std::vector<OperationDTO>{operation("x", 5, 1)}));

    // Corrupt files read as nothing.
    writeText(lastDashboardFilePath(), "{\"project_count\": ");
    EXPECT_FALSE(readLastDashboardFile().has_value());
    writeText(operationsFilePath(), "[{\"id\":1}]");
    EXPECT_FALSE(readOperationsFile().has_value());
}

TEST(AppFiles, FailedWriteLeavesThePreviousHistoryIntact) {
    ScratchHome home;
    saveOperations({operation("old", 1, 7)});
    // A file-size limit makes the new content fail to write, even for root.
    struct rlimit previous {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = previous;
    tight.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    saveOperations({operation("new", 2, 9), operation("newer", 3, 9)});
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(readOperationsFile(), std::vector<OperationDTO>{operation("old", 1, 7)});
}

TEST(AppFiles, CandidatesAreTheDatabaseThenThreeOlderLocations) {
    ScratchHome home;
    auto c = engineDatabaseCandidates();
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[0], home.dataFolder() + "/tidewell.sqlite");
    EXPECT_EQ(c[1], home.home() + "/Library/Application Support/com.Tidewell.Tidewell/tidewell.sqlite");
    EXPECT_EQ(c[2], home.home() + "/Library/Application Support/Tidewell.Tidewell/tidewell.sqlite");
    EXPECT_EQ(c[3], home.path("work") + "/.tidewell/tidewell.sqlite");
}

TEST(MigrateLegacyDatabase, CopiesOnlyTheFirstExistingOlderDatabase) {
    ScratchHome home;
    auto c = engineDatabaseCandidates();
    ASSERT_TRUE(createEngineDatabase(c[2]));
    ASSERT_TRUE(insertOperation(c[2], operation("from-third", 42, 1234)));
    writeText(c[3], "fourth");
    migrateLegacyDatabase();
    ASSERT_TRUE(fs::exists(c[0]));
    EXPECT_TRUE(fs::exists(c[2])) << "the older file stays in place";
    EXPECT_EQ(queryOperations(c[0]), std::vector<OperationDTO>{operation("from-third", 42, 1234)});
}

TEST(MigrateLegacyDatabase, WriteAheadCompanionsTravelAndAPresentDatabaseIsNeverReplaced) {
    ScratchHome home;
    auto c = engineDatabaseCandidates();
    for (const char* suffix : {"", "-wal", "-shm"}) writeText(c[1] + suffix, std::string("old") + suffix);
    migrateLegacyDatabase();
    for (const char* suffix : {"", "-wal", "-shm"})
        EXPECT_EQ(platform::readFileContents(c[0] + suffix), std::string("old") + suffix);
    writeText(c[0], "current");
    migrateLegacyDatabase();
    EXPECT_EQ(platform::readFileContents(c[0]), "current");
}
