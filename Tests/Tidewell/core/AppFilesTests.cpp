#include <filesystem>
#include <csignal>
#include <fstream>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include "StoreTestEnvironment.h"
#include "core/AppFiles.h"
#include "core/AppSupport.h"
#include "core/EngineDatabase.h"

using namespace tidewell;
using namespace tidewell::testing;
namespace fs = std::filesystem;

namespace {
void writeText(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
}
}  // namespace

TEST(AppFiles, SavedFilesReadBackAndLiveInTheDataFolder) {
    ScratchHome home;
    auto d = dashboard({project("1", "/w/a", 10, 5)});
    saveLastDashboard(d);
    saveOperations({operation("x", 5, 1)});
    EXPECT_EQ(lastDashboardFilePath(), home.dataFolder() + "/last-dashboard.json");
    EXPECT_EQ(readLastDashboardFile(), d);
    ASSERT_TRUE(readOperationsFile().has_value());
    EXPECT_EQ(readOperationsFile()->front().id, "x");
    // Compact encoder output and nothing else: no envelope.
    auto text = platform::readFileContents(operationsFilePath());
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, encodeArray(std::vector<OperationDTO>{operation("x", 5, 1)}));
}

TEST(AppFiles, CorruptOrMissingFilesReadAsNothing) {
    ScratchHome home;
    EXPECT_FALSE(readLastDashboardFile().has_value());
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
    ASSERT_TRUE(readOperationsFile().has_value());
    EXPECT_EQ(readOperationsFile()->size(), 1u);
    EXPECT_EQ(readOperationsFile()->front().id, "old");
}

TEST(AppFiles, UiTestingUsesItsOwnFolderOnly) {
    ScratchHome home({"tidewell", "--ui-testing"});
    writeText(home.dataFolder("Tidewell") + "/last-dashboard.json", encode(dashboard({})));
    EXPECT_FALSE(readLastDashboardFile().has_value());
    saveOperations({operation("ui", 1, 1)});
    EXPECT_TRUE(fs::exists(home.dataFolder("Tidewell-UITests") + "/operations.json"));
    EXPECT_FALSE(fs::exists(home.dataFolder("Tidewell") + "/operations.json"));
    EXPECT_EQ(engineDatabaseCandidates()[0], home.dataFolder("Tidewell-UITests") + "/tidewell.sqlite");
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

TEST(MigrateLegacyDatabase, PresentDatabaseIsNeverReplaced) {
    ScratchHome home;
    auto c = engineDatabaseCandidates();
    writeText(c[0], "current");
    writeText(c[1], "older");
    migrateLegacyDatabase();
    EXPECT_EQ(platform::readFileContents(c[0]), "current");
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
    auto copied = queryOperations(c[0]);
    ASSERT_TRUE(copied.has_value());
    ASSERT_EQ(copied->size(), 1u);
    EXPECT_EQ(copied->front().id, "from-third");
}

TEST(MigrateLegacyDatabase, WriteAheadCompanionsTravelWithTheDatabase) {
    ScratchHome home;
    auto c = engineDatabaseCandidates();
    writeText(c[1], "main");
    writeText(c[1] + "-wal", "log");
    writeText(c[1] + "-shm", "index");
    migrateLegacyDatabase();
    EXPECT_EQ(platform::readFileContents(c[0]), "main");
    EXPECT_EQ(platform::readFileContents(c[0] + "-wal"), "log");
    EXPECT_EQ(platform::readFileContents(c[0] + "-shm"), "index");
}
