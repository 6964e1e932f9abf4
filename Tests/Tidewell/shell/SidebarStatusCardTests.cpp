// The sidebar's status card on a launched store: this month's figures count
// every clean the engine's database records, however short the history.
#include <algorithm>
#include <ctime>

#include "Tidewell/core/FlowTestSupport.h"
#include "Tidewell/kit/KitViewTesting.h"
#include "core/AppFiles.h"
#include "shell/SidebarStatusCard.h"

using namespace tidewell;
using namespace tidewell::testing;

namespace {
using LaunchedCard = FlowFixture;  // a scratch home whose bundle holds no engine

std::string insertSQL(const OperationDTO& op) {
    return "INSERT INTO operations VALUES (" + sqlQuote(op.id) + ", " + std::to_string(op.timestamp_unix) + ", NULL, " +
           (op.dry_run ? "1" : "0") + ", " + std::to_string(op.bytes_reclaimed) + ", " + sqlQuote(encode(op)) + ");";
}
}  // namespace

TEST_F(LaunchedCard, ThisMonthCountsEveryCleanTheEngineRecordedNotOnlyTheNewestHistory) {
    const MidMonthClock clock;
    const std::int64_t now = clock.unixNow();
    const std::int64_t start = monthStartUnix(now);
    const auto at = [&](std::int64_t offset) { return std::min(start + offset, now); };
    // Sixty cleans of the month, then forty previews: the newest fifty
    // entries, all the history holds, show only ten of the cleans.
    std::vector<OperationDTO> recorded, history;
    for (int i = 0; i < 60; ++i)
        recorded.push_back(operation("clean" + std::to_string(i), at(i), 1'000'000, false, "/w/p" + std::to_string(i)));
    for (int i = 0; i < 40; ++i)
        recorded.push_back(operation("preview" + std::to_string(i), at(100 + i), 7'000'000, true, "/w/q"));
    recorded.push_back(operation("last-month", start - 1, 9'000'000, false, "/w/old"));
    std::string sql;
    for (const auto& op : recorded) sql += insertSQL(op);
    const auto db = engineDatabaseCandidates()[0];
    ASSERT_TRUE(createEngineDatabase(db) && runSQL(db, sql));
    history.assign(recorded.begin() + 50, recorded.begin() + 100);
    std::reverse(history.begin(), history.end());
    saveOperations(history);

    AppStore store;
    store.bootstrap();
    ASSERT_TRUE(runUntil([&] { return store.didRunLaunchScan; }));
    ASSERT_EQ(store.operations.get().size(), 50u);
    auto card = kittest::layOut(SidebarStatusCard(store, false), {260, 200});
    EXPECT_TRUE(card->shows("60 MB")) << "every clean of the month, no preview, nothing of last month";
    EXPECT_TRUE(card->shows("This month: 60 projects cleaned"));
}

TEST_F(LaunchedCard, AllTimeNeverReadsLessThanThisMonthAfterCleansFromTheTerminal) {
    const MidMonthClock clock;
    const std::int64_t now = clock.unixNow();
    const auto db = engineDatabaseCandidates()[0];
    ASSERT_TRUE(createEngineDatabase(db));
    std::string sql;
    for (const auto& op : {operation("app", now, 2'000'000, false, "/w/app"), operation("term", now, 3'000'000, false, "/w/t")})
        sql += insertSQL(op);
    ASSERT_TRUE(runSQL(db, sql));
    saveOperations({operation("app", now, 2'000'000, false, "/w/app")});  // the app never saw the terminal's clean

    AppStore store;
    ASSERT_TRUE(store.character->showsInSidebar);
    store.bootstrap();
    ASSERT_TRUE(runUntil([&] { return store.didRunLaunchScan; }));
    auto card = kittest::layOut(SidebarStatusCard(store, false), {260, 260});
    const auto texts = card->texts();
    const auto allTime = std::find(texts.begin(), texts.end(), "Freed all time");
    ASSERT_TRUE(allTime != texts.end() && allTime + 1 != texts.end());
    EXPECT_EQ(*(allTime + 1), "5 MB") << "as much as this month's";
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "5 MB"), 2);
}
