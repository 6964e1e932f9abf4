#include "StoreTestEnvironment.h"
#include "core/AppFiles.h"
#include "core/EngineDatabase.h"

using namespace tidewell;
using namespace tidewell::testing;
namespace fs = std::filesystem;

TEST(SplitOutputLines, EveryNewlineFormSplitsAndEmptyLinesDrop) {
    EXPECT_EQ(splitOutputLines("a\nb\r\nc\rd\ve\ff\xC2\x85g\xE2\x80\xA8h\xE2\x80\xA9i\n\n"),
              (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g", "h", "i"}));
    EXPECT_EQ(splitOutputLines("caf\xC3\xA9\n"), (std::vector<std::string>{"caf\xC3\xA9"}));
    EXPECT_TRUE(splitOutputLines("ok\n\xFF\xFE\n").empty()) << "invalid UTF-8 reads as empty text";
    EXPECT_TRUE(splitOutputLines("\xED\xA0\x80").empty()) << "an encoded surrogate is not UTF-8";
    EXPECT_TRUE(splitOutputLines("\xC3").empty()) << "a truncated sequence is not UTF-8";
}

TEST(RunSQLiteQuery, MissingFileStartsNoProcessAndEmptyOutputIsNothing) {
    ScratchHome home;
    // A stand-in that would leave a mark if it were started.
    const auto marker = home.path("started");
    writeScript(home.path("fake-sqlite3"), "touch '" + marker + "'\n");
    setSQLiteExecutableForTesting(home.path("fake-sqlite3"));
    EXPECT_FALSE(runSQLiteQuery(home.path("none.sqlite"), "SELECT 1;").has_value());
    EXPECT_FALSE(fs::exists(marker));
    setSQLiteExecutableForTesting({});

    const auto db = home.path("db.sqlite");
    ASSERT_TRUE(createEngineDatabase(db));
    EXPECT_FALSE(runSQLiteQuery(db, "SELECT json FROM scan_cache WHERE id = 1;").has_value());
    EXPECT_FALSE(runSQLiteQuery(db, "SELECT json FROM no_such_table;").has_value());
    EXPECT_EQ(runSQLiteQuery(db, "SELECT 'a' UNION ALL SELECT 'b';"), "a\nb\n");
}

TEST(RunSQLiteQuery, PassesExactlyTheThreeArgumentsAndOpensReadOnly) {
    ScratchHome home;
    writeScript(home.path("echo-args"), "for a in \"$@\"; do printf '[%s]' \"$a\"; done\nread line && echo stdin-had-data\n");
    const auto db = home.path("x.sqlite");
    writeText(db, "");
    setSQLiteExecutableForTesting(home.path("echo-args"));
    EXPECT_EQ(runSQLiteQuery(db, "SELECT 1;"), "[-readonly][" + db + "][SELECT 1;]");
    setSQLiteExecutableForTesting({});

    const auto real = home.path("real.sqlite");
    ASSERT_TRUE(createEngineDatabase(real));
    EXPECT_FALSE(runSQLiteQuery(real, "DELETE FROM operations;").has_value());
    ASSERT_TRUE(insertOperation(real, operation("kept", 1, 1)));
    EXPECT_FALSE(runSQLiteQuery(real, "DELETE FROM operations; SELECT 'x';").has_value());
    EXPECT_EQ(queryOperations(real)->size(), 1u) << "a read-only shell cannot change the database";
}

TEST(RunSQLiteQuery, StuckShellIsStoppedAtTheTimeOut) {
    ScratchHome home;
    writeScript(home.path("stuck"), "echo partial\nexec sleep 600\n");
    const auto db = home.path("x.sqlite");
    writeText(db, "");
    setSQLiteExecutableForTesting(home.path("stuck"));
    setSQLiteTimeoutForTesting(std::chrono::milliseconds(200));
    EXPECT_FALSE(runSQLiteQuery(db, "SELECT 1;").has_value());
    setSQLiteExecutableForTesting({});
    setSQLiteTimeoutForTesting(std::chrono::milliseconds(0));
}

TEST(EngineDatabase, DashboardComesFromTheFirstCandidateThatDecodes) {
    ScratchHome home;
    auto c = engineDatabaseCandidates();
    ASSERT_TRUE(createEngineDatabase(c[0]));  // row 1 missing: no output
    ASSERT_TRUE(createEngineDatabase(c[1]));
    ASSERT_TRUE(runSQL(c[1], "INSERT INTO scan_cache VALUES (1, 5, '{\"broken\":');"));
    ASSERT_TRUE(createEngineDatabase(c[2]));
    auto d = dashboard({project("p", "/w/p", 10, 4)}, 77);
    ASSERT_TRUE(insertDashboard(c[2], d));
    EXPECT_EQ(lastDashboardFromDatabase(), d);
}

TEST(EngineDatabase, HistorySkipsBadLinesAndKeepsOutputOrder) {
    ScratchHome home;
    const auto db = home.path("h.sqlite");
    ASSERT_TRUE(createEngineDatabase(db));
    ASSERT_TRUE(insertOperation(db, operation("older", 100, 1)));
    ASSERT_TRUE(insertOperation(db, operation("newer", 200, 2)));
    ASSERT_TRUE(runSQL(db, "INSERT INTO operations VALUES ('bad', 150, NULL, 0, 0, 'not json');"));
    ASSERT_TRUE(runSQL(db, "INSERT INTO operations VALUES ('blank', 160, NULL, 0, 0, '');"));
    ASSERT_TRUE(runSQL(db, "INSERT INTO operations VALUES ('crlf', 50, NULL, 0, 0, " +
                               sqlQuote(encode(operation("crlf", 50, 3))) + " || char(13));"));
    EXPECT_EQ(queryOperations(db),
              (std::vector<OperationDTO>{operation("newer", 200, 2), operation("older", 100, 1), operation("crlf", 50, 3)}));
}

TEST(EngineDatabase, HistoryLimitIsFifty) {
    ScratchHome home;
    const auto db = home.path("many.sqlite");
    ASSERT_TRUE(createEngineDatabase(db));
    std::string sql = "BEGIN;";
    for (int i = 0; i < 60; ++i) {
        auto op = operation("op" + std::to_string(i), i, 1);
        sql += "INSERT INTO operations VALUES (" + sqlQuote(op.id) + ", " + std::to_string(i) + ", NULL, 0, 1, " +
               sqlQuote(encode(op)) + ");";
    }
    ASSERT_TRUE(runSQL(db, sql + "COMMIT;"));
    auto history = queryOperations(db);
    ASSERT_EQ(history->size(), 50u);
    EXPECT_EQ(history->front().id, "op59");
}

TEST(EngineDatabase, EmptyHistoryAtTheFirstCandidateFallsThroughToTheNext) {
    ScratchHome home;
    auto c = engineDatabaseCandidates();
    ASSERT_TRUE(createEngineDatabase(c[0]));
    // Rows but no history: none of them reads as an operation.
    ASSERT_TRUE(runSQL(c[0], "INSERT INTO operations VALUES ('unreadable', 150, NULL, 0, 0, 'not json');"));
    ASSERT_TRUE(createEngineDatabase(c[1]));
    ASSERT_TRUE(insertOperation(c[1], operation("second", 9, 9)));
    EXPECT_EQ(operationsFromDatabase(), std::vector<OperationDTO>{operation("second", 9, 9)});
    fs::remove(c[1]);
    EXPECT_TRUE(operationsFromDatabase().empty());
}
