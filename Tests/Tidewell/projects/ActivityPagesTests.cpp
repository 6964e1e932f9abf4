#include "Tidewell/core/StoreTestEnvironment.h"
#include "Tidewell/kit/KitViewTesting.h"
#include "core/AppStore.h"
#include "core/ProtectedStacks.h"
#include "desktop/RecordingWorkspace.h"
#include "runtime/MainActor.h"
#include "projects/ActivityDaySection.h"
#include "projects/ActivityTimelineRow.h"
#include "projects/EndOfDayView.h"
#include "projects/GlobalCachesView.h"
#include "ui/Menu.h"

using namespace tidewell;

namespace {

constexpr std::int64_t T = 1'796'558'400;  // 2026-12-06 12:00 UTC

OperationDTO op(std::string id, std::int64_t t, std::optional<std::string> path, bool preview, std::uint64_t bytes) {
    OperationDTO o;
    o.id = std::move(id), o.timestamp_unix = t, o.project_path = std::move(path), o.dry_run = preview;
    o.bytes_reclaimed = bytes;
    return o;
}
ProjectDTO project(std::string name, std::string path, std::vector<std::string> types, bool idle = false,
                   std::uint64_t reclaimable = 0) {
    ProjectDTO p;
    p.id = p.name = std::move(name), p.path = std::move(path), p.types = std::move(types);
    p.is_idle = idle, p.reclaimable_bytes = reclaimable;
    return p;
}

}  // namespace

TEST(ActivityRows, TextsFiguresAndLabelOfEachKindOfSession) {
    testing_support::ScopedEnvironment tz("TZ", "UTC");
    tzset();
    DashboardDTO scan;
    scan.projects = {project("bare", "/home/dev/Bare", {}), project("bare2", "/home/dev/bare", {"rust"}),
                     project("app", "/home/dev/./App/", {"flutter", "node"})};
    const auto session = [](std::optional<OperationDTO> cleanup, std::optional<OperationDTO> preview) {
        return ActivitySession{std::move(cleanup), std::move(preview)};
    };
    const auto paired = session(op("c", T, "/home/dev/app", false, 1'200'000'000),
                                op("p", T - 40, "/home/dev/app", true, 1'300'000'000));
    const ActivityRowTexts cleanWithPreview{"/home/dev/app", "app", true, "Moved to Trash", "1.2 GB", "Reclaimed",
                                            "Previewed 1.3 GB before cleanup", "flutter", "12:00 PM", "Today"};
    EXPECT_EQ(activityRowTexts(paired, scan, T + 60), cleanWithPreview);
    EXPECT_EQ(accessibilitySummary(cleanWithPreview),
              "12:00 PM, Today, Moved to Trash, app, 1.2 GB reclaimed, /home/dev/app, Previewed 1.3 GB before cleanup, "
              "Flutter");

    struct Case {
        ActivitySession session;
        ActivityRowTexts texts;
    };
    const Case cases[] = {
        {session(std::nullopt, op("p", T - 3 * 86'400, "/home/dev/bare", true, 340'000'000)),
         {"/home/dev/bare", "bare", false, "Dry-run", "340 MB", "Preview", std::nullopt, std::nullopt, "12:00 PM", "3 Dec"}},
        {session(op("c", T - 86'400, "", false, 0), std::nullopt),
         {std::nullopt, "Unknown project", true, "Moved to Trash", "Zero KB", "Reclaimed", std::nullopt, std::nullopt,
          "12:00 PM", "Yesterday"}},
        {session(std::nullopt, op("p", INT64_MAX, std::nullopt, true, 1)),
         {std::nullopt, "Unknown project", false, "Dry-run", "1 byte", "Preview", std::nullopt, std::nullopt,
          "Unknown date", "Unknown date"}},
    };
    for (const auto& c : cases) EXPECT_EQ(activityRowTexts(c.session, scan, T), c.texts) << c.texts.title;
    EXPECT_EQ(activityStackType("/home/dev/app", std::nullopt), std::nullopt) << "no scan";
    EXPECT_EQ(activityStackType("/elsewhere", scan), std::nullopt);
    scan.projects.push_back(project("cafe", "/home/dev/Caf\u00E9", {"go"}));
    EXPECT_EQ(activityStackType("/home/dev/CAF\u00C9", scan), "go") << "case ignored beyond ASCII";

    EXPECT_TRUE(activityShareMoment(paired));
    EXPECT_EQ(activityShareMoment(paired)->bytes, 1'200'000'000u);
    EXPECT_FALSE(activityShareMoment(cases[0].session)) << "a dry run";
    EXPECT_FALSE(activityShareMoment(cases[1].session)) << "a clean that moved nothing";

    ActivityDay day{T - 43'200, {paired}};
    EXPECT_EQ(dayHeaderLine(day, T), "TODAY \u00B7 6 DEC 2026");
    EXPECT_EQ(daySummary(day), "1 activity \u00B7 1.2 GB reclaimed");
    day.sessions = {cases[0].session, cases[1].session, cases[2].session};
    EXPECT_EQ(daySummary(day), "3 activities \u00B7 340 MB previewed") << "cleans that moved nothing";
    EXPECT_EQ(dayHeaderLine(ActivityDay{INT64_MIN, {}}, T), "UNKNOWN DATE");
    tzset();
}

TEST(ActivityRows, ContextMenuRevealsAndSharesOnlyWhatExists) {
    tidewell::testing::ScratchHome home;
    AppStore store;
    platform::RecordingWorkspace workspace;
    platform::ScopedWorkspace scoped(workspace);
    std::vector<std::string> titles;
    platform::ui::setMenuPresenter([&](const std::vector<platform::ui::MenuItem>& items) {
        titles.clear();
        for (const auto& item : items) titles.push_back(item.title);
        if (!items.empty()) items.front().action();
    });
    const auto menuOf = [&](ActivitySession session) {
        auto laid = kittest::layOut(ActivityTimelineRow(store, session, false, false), {900, 120});
        platform::ui::showContextMenu(*laid->host, {450, 40});
        return titles;
    };
    using Titles = std::vector<std::string>;
    EXPECT_EQ(menuOf({op("c", T, "/tmp", false, 5), std::nullopt}), (Titles{"Show in Files", "Share This Clean\u2026"}));
    ASSERT_TRUE(platform::processMainEventsUntil([&] { return !workspace.revealedPaths.empty(); }));
    EXPECT_EQ(workspace.revealedPaths, Titles{"/tmp"});
    EXPECT_EQ(menuOf({std::nullopt, op("p", T, "", true, 5)}), Titles{}) << "no path, a dry run";

    // The reveal button comes with the pointer; the named action reveals too.
    for (std::string path : {"/tmp", ""}) {
        auto laid = kittest::layOut(ActivityTimelineRow(store, {op("c", T, path, false, 5), std::nullopt}, false, false),
                                    {900, 120});
        laid->tester.hover(platform::ui::Point{450, 40});
        EXPECT_EQ(laid->shows("Show in Files"), !path.empty());
        const auto row = laid->tester.findAll([](const auto& n) { return !n.actions.empty(); });
        ASSERT_EQ(row.size(), 1u);
        row.front().actions.front().second();
    }
    ASSERT_TRUE(platform::processMainEventsUntil([&] { return workspace.revealedPaths.size() >= 2; }));
    EXPECT_EQ(workspace.revealedPaths, (Titles{"/tmp", "/tmp"})) << "no reveal of an empty path";

    // The row reads to assistive technology as its summary says.
    const ActivitySession paired{op("c", T, "/tmp/app", false, 5), op("p", T - 40, "/tmp/app", true, 7)};
    auto laid = kittest::layOut(ActivityTimelineRow(store, paired, false, false), {900, 120});
    const auto row = laid->tester.findAll([](const auto& n) { return !n.actions.empty(); });
    ASSERT_EQ(row.size(), 1u);
    EXPECT_EQ(row.front().label, accessibilitySummary(activityRowTexts(paired, store.dashboard.get(), std::time(nullptr))));
    EXPECT_NE(row.front().label.find("Previewed 7 bytes before cleanup"), std::string::npos) << row.front().label;
    platform::ui::setMenuPresenter(nullptr);
}

TEST(EndOfDayReview, SummaryStatesTheIdleProjectsBytesAndListsFive) {
    DashboardDTO scan;
    scan.reclaimable_bytes = 99'000'000'000;  // the whole scan's, which the summary must not claim
    scan.idle_count = 8;
    scan.projects.push_back(project("busy", "/b", {"node"}, false, 50'000'000'000));
    for (int i = 0; i < 8; ++i) scan.projects.push_back(project("idle" + std::to_string(i), "/i", {}, true, 100'000'000));
    const auto offer = endOfDayOffer(scan);
    ASSERT_TRUE(offer);
    EXPECT_EQ(endOfDaySummary(*offer), "Reclaim 800 MB from 8 idle projects.");
    // Idle projects a clean never takes (active, pinned) hold nothing it can move.
    auto active = project("active", "/a", {}, true, 7'000'000'000);
    active.is_active = true;
    auto pinned = project("pinned", "/p", {}, true, 9'000'000'000);
    pinned.pinned = true;
    auto withKept = scan;
    withKept.projects.insert(withKept.projects.begin(), {active, pinned});
    withKept.idle_count = 10;
    // The count and the rows take the same projects as the bytes.
    EXPECT_EQ(endOfDaySummary(*endOfDayOffer(withKept)), "Reclaim 800 MB from 8 idle projects.");
    EXPECT_EQ(endOfDayOffer(withKept)->listed.front().project.name, "idle0");
    withKept.projects.insert(withKept.projects.begin(), project("site", "/s", {"vite"}, true, 4'000'000'000));
    withKept.idle_count = 11;
    EXPECT_EQ(endOfDaySummary(*endOfDayOffer(withKept, {"vite"})), "Reclaim 800 MB from 8 idle projects.")
        << "a protected stack's idle project is no part of the clean";
    EXPECT_EQ(endOfDayOffer(withKept, {"vite"})->listed.front().project.name, "idle0");
    ASSERT_EQ(offer->listed.size(), 5u);
    EXPECT_EQ(offer->listed.front().project.name, "idle0");
    EXPECT_EQ(offer->listed.back().project.name, "idle4") << "the first five, in the dashboard's order";
    // None a clean takes: nothing to reclaim from no project, and no row.
    DashboardDTO kept;
    kept.projects = {active, pinned, project("site", "/s", {"vite"}, true, 4'000'000'000)};
    kept.idle_count = 3;
    const auto nothing = endOfDayOffer(kept, {"vite"});
    EXPECT_EQ(endOfDaySummary(*nothing), "Reclaim Zero KB from 0 idle projects.");
    EXPECT_TRUE(nothing->listed.empty());
    EXPECT_EQ(endOfDaySummary({800'000'000, 1, {}}), "Reclaim 800 MB from 1 idle project.");
    EXPECT_EQ(endOfDaySummary({0, 0, {}}), "Reclaim Zero KB from 0 idle projects.");
    EXPECT_FALSE(endOfDayOffer(std::nullopt));
}

TEST(EndOfDayReview, TheReviewAndTheBellLeaveTheFoldersEveryCleanLeavesInsideAProtectedNestedProject) {
    tidewell::testing::ScratchHome home;
    home.defaults().setString(protectedStacksKey, "node");
    auto tools = project("tools", "/w/tools", {"python"}, true, 57'000);
    for (auto [path, bytes] : {std::pair{"/w/tools/.venv", 45'000}, std::pair{"/w/tools/web/__pycache__", 12'000}}) {
        ArtifactDTO a;
        a.absolute_path = path, a.safetyClass = "safe", a.size_bytes = bytes, a.exists = true;
        tools.artifacts.push_back(a);
    }
    DashboardDTO scan;
    scan.projects = {tools, project("web", "/w/tools/web", {"node"})};  // the shown dashboard leaves web out
    AppStore store;
    store.applyDashboard(scan);
    const auto texts = kittest::layOut(EndOfDayView(store, [] {}), {540, 460})->texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Reclaim 45 KB from 1 idle project."), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "45 KB"), texts.end()) << "the row states the same bytes";
    EXPECT_EQ(store.groveNotices().front().detail, "45 KB can move to Trash.");
}

TEST(EndOfDayReview, EscapeOnlyClosesAndReturnOpensTheIdleList) {
    tidewell::testing::ScratchHome home;
    AppStore store;
    store.selectedSection = AppSection::activity;
    int dismissed = 0;
    auto laid = kittest::layOut(EndOfDayView(store, [&] { ++dismissed; }), {540, 460});
    laid->tester.pressKey(Qt::Key_Escape);
    EXPECT_EQ(dismissed, 1);
    EXPECT_EQ(store.selectedSection.get(), AppSection::activity);
    EXPECT_FALSE(store.filterIdle.get());
    laid->tester.pressKey(Qt::Key_Return);
    EXPECT_EQ(dismissed, 2);
    EXPECT_EQ(store.selectedSection.get(), AppSection::projects);
    EXPECT_TRUE(store.filterIdle.get());
}

TEST(GlobalCaches, CardsInTheEnginesOrderWithBarsSharingTheLargest) {
    DashboardDTO scan;
    for (auto [id, size] : {std::pair{"npm", 400u}, std::pair{"pip", 1'000u}, std::pair{"go", 0u}})
        scan.global_caches.push_back(GlobalCacheDTO{id, id, "/c", "safe", size, true});
    {
        tidewell::testing::ScratchHome home;
        AppStore store;
        store.dashboard = scan;
        const auto texts = kittest::layOut(GlobalCachesView(store), {1100, 700})->texts();
        const auto at = [&](const char* t) { return std::find(texts.begin(), texts.end(), t) - texts.begin(); };
        EXPECT_LT(at("npm"), at("pip"));
        EXPECT_LT(at("pip"), at("go"));
        EXPECT_LT(at("go"), std::ssize(texts));
        // Before any scan: only caches a Linux scan measures are named.
        store.dashboard = std::nullopt;
        EXPECT_TRUE(kittest::layOut(GlobalCachesView(store), {1100, 700})
                        ->shows("Rescan measures Node global packages, Homebrew, pip, emulators, Gradle, and Dart. "
                                "Nothing in this list is cleaned automatically."));
    }
    EXPECT_EQ(globalCacheLargestSize(scan), 1'000u);
    EXPECT_DOUBLE_EQ(globalCacheBarRatio(400, 1'000), 0.4);
    EXPECT_DOUBLE_EQ(globalCacheBarRatio(UINT64_MAX, 1'000), 1.0);
    EXPECT_EQ(globalCacheLargestSize(std::nullopt), 1u);
    for (auto& cache : scan.global_caches) cache.size_bytes = 0;
    EXPECT_EQ(globalCacheLargestSize(scan), 1u);
    EXPECT_DOUBLE_EQ(globalCacheBarRatio(0, 1), 0.0);
}
