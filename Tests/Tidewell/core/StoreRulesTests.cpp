#include "StoreTestEnvironment.h"
#include "core/StoreRules.h"

using namespace tidewell;
using namespace tidewell::testing;

TEST(IsNestedProject, OnlyWholePathComponentsNest) {
    std::vector<ProjectDTO> all{project("a", "/w/app", 1, 1), project("b", "/w/app/sub", 1, 1), project("c", "/w/app2", 1, 1)};
    EXPECT_TRUE(isNestedProject(all[1], all));
    EXPECT_FALSE(isNestedProject(all[2], all) || isNestedProject(all[0], all));
    EXPECT_FALSE(isNestedProject(project("d", "/w/app", 1, 1), {all[0]})) << "an equal path is never nested";
    EXPECT_FALSE(isNestedProject(project("e", "/a/bc", 1, 1), {project("f", "/a/b", 1, 1)}));
}

TEST(DisplayDashboard, AllReclaimableIsPublishedExactlyAsDelivered) {
    auto d = dashboard({project("1", "/w/small", 10, 1), project("2", "/w/big", 100, 90)});
    d.by_type = {{"node", "Node.js", 7, 7, 7}};
    d.total_bytes = 12345;  // the engine's own figures stand
    EXPECT_EQ(displayDashboard(d), d);
}

TEST(DisplayDashboard, NestedExampleRecomputesCountsTotalsAndStacks) {
    auto d = dashboard({project("C", "/w/other", 500, 0, {"rust"}), project("B", "/w/app/sub", 80, 30),
                        project("A", "/w/app", 200, 50)});
    d.by_type = {{"node", "Node", 9, 9, 9}, {"rust", "Rust", 1, 500, 0}};
    d.global_caches = {{"npm", "npm", "/c", "safe", 3, true}};
    d.roots = {"/w"};
    auto expected = d;  // caches, roots and scan time pass through
    expected.projects = {d.projects[2], d.projects[1]};
    expected.project_count = 2;
    expected.total_bytes = 200;
    expected.reclaimable_bytes = 80;
    expected.by_type = {{"node", "Node", 2, 200, 80}};
    EXPECT_EQ(displayDashboard(d), expected);
}

TEST(DisplayDashboard, AProjectInsideOneOfAnotherStackCountsInItsOwnStacksSize) {
    // web's bytes are in mono's; ui's in web's, of its own stack.
    auto d = dashboard({project("m", "/w/mono", 1700, 10, {"python"}), project("w", "/w/mono/web", 1000, 600),
                        project("u", "/w/mono/web/ui", 300, 200), project("y", "/w/y1", 1000, 600), project("z", "/w/zero", 5, 0)});
    std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> stacks;  // size, reclaimable
    for (const auto& s : displayDashboard(d).by_type) stacks[s.project_type] = {s.total_bytes, s.reclaimable_bytes};
    EXPECT_EQ(stacks["node"], std::make_pair(std::uint64_t{2000}, std::uint64_t{1400}));
    EXPECT_EQ(stacks["python"], std::make_pair(std::uint64_t{1700}, std::uint64_t{10}));
    // Three levels: a Node package in a Python project in a Node project
    // counts once in Node's size, through the Python project between.
    auto three = dashboard({project("n", "/w/node", 3000, 600), project("p", "/w/node/py", 2000, 10, {"python"}),
                            project("k", "/w/node/py/pkg", 800, 300)});
    for (const auto& s : displayDashboard(three).by_type) {
        if (s.project_type == "node") {
            EXPECT_EQ(s.total_bytes, 3000u) << "pkg lies in node";
        }
    }
}

TEST(DisplayDashboard, StacksWithoutLabelsUseTheirIdAndRepeatedIdsCountTwice) {
    auto d = dashboard({project("z", "/z", 1, 0), project("a", "/a", 10, 5, {"go", "go", "flutter"}, true),
                        project("b", "/b", 20, 5, {"flutter"})});
    d.by_type = {{"flutter", "Flutter", 0, 0, 0}, {"flutter", "Flutter 2", 0, 0, 0}};
    auto shown = displayDashboard(d);
    EXPECT_EQ(shown.idle_count, 1);
    EXPECT_EQ(shown.projects[0].id, "a") << "equal reclaimable keeps the delivered order";
    ASSERT_EQ(shown.by_type.size(), 2u);
    const auto& go = shown.by_type[0].project_type == "go" ? shown.by_type[0] : shown.by_type[1];
    const auto& flutter = shown.by_type[0].project_type == "go" ? shown.by_type[1] : shown.by_type[0];
    EXPECT_EQ(go, (TypeSummaryDTO{"go", "go", 2, 20, 10}));
    EXPECT_EQ(flutter, (TypeSummaryDTO{"flutter", "Flutter 2", 2, 30, 10}));
}

TEST(DisplayDashboard, HugeSumsSaturate) {
    auto d = dashboard({project("a", "/a", UINT64_MAX, UINT64_MAX), project("b", "/b", 5, 5), project("c", "/c", 1, 0)});
    auto shown = displayDashboard(d);
    EXPECT_EQ(std::tie(shown.total_bytes, shown.reclaimable_bytes), std::make_tuple(UINT64_MAX, UINT64_MAX));
}

TEST(RepointProject, ByIdOrPathFirstMatchWins) {
    auto old = project("old-id", "/w/app", 1, 1);
    auto moved = project("new-id", "/w/app", 2, 2);
    EXPECT_EQ(repointProject(old, {project("x", "/x", 1, 1), moved}), moved);
    EXPECT_EQ(repointProject(old, {project("x", "/x", 1, 1)}), std::nullopt);
}

TEST(GroveNotices, EmptyForestIdleAndScanNotices) {
    auto none = groveNotices(std::nullopt, false, "");
    EXPECT_EQ(none, (std::vector<GroveNotice>{{"empty", "No forest yet", "Run a scan to grow a tree of your stacks.",
                                               "leaf", NoticeRole::reclaim, NoticeDestination::dashboard}}));
    EXPECT_EQ(groveNoticeBadgeCount(none), 0);
    EXPECT_TRUE(groveNotices(std::nullopt, true, "").empty()) << "no notice while the first scan runs";

    auto one = dashboard({project("a", "/a", 10, 1'500'000, {"node"}, true)});
    auto notices = groveNotices(one, false, "2 hours ago");
    EXPECT_EQ(notices, (std::vector<GroveNotice>{
                           {"idle", "1 idle project", "1.5 MB can move to Trash.", "leaf.fill", NoticeRole::reclaim,
                            NoticeDestination::projects},
                           {"scan", "Last scan 2 hours ago", "1 project in the forest.", "clock", NoticeRole::accent,
                            NoticeDestination::dashboard}}));
    EXPECT_EQ(groveNoticeBadgeCount(notices), 1);

    auto busy = dashboard({project("a", "/a", 1, 1), project("b", "/b", 1, 1)});
    auto scanOnly = groveNotices(busy, false, "now");
    ASSERT_EQ(scanOnly.size(), 1u);
    EXPECT_EQ(scanOnly[0].detail, "2 projects in the forest.");
    EXPECT_EQ(groveNoticeBadgeCount(scanOnly), 0);

    auto idleTwo = dashboard({project("a", "/a", 1, 1, {}, true), project("b", "/b", 1, 1, {}, true)}, 0);
    auto idleOnly = groveNotices(idleTwo, false, "");
    ASSERT_EQ(idleOnly.size(), 1u) << "no scan notice without a scan time";
    EXPECT_EQ(idleOnly[0].title, "2 idle projects");
}

TEST(GroveNotices, TheIdleNoticeStatesWhatACleanOfItsIdleProjectsCanMove) {
    auto active = project("b", "/w/busy", 1, 2'000'000'000, {"node"}, true);
    active.is_active = true;
    auto pinned = project("k", "/w/kept", 1, 2'300'000'000, {"node"}, true);
    pinned.pinned = true;
    auto scan = dashboard({active, pinned, project("a", "/w/app", 1, 64'100'000, {"node"}, true),
                           project("n", "/w/new", 1, 1'000'000'000)});
    EXPECT_EQ(idleCleanOffer(scan).bytes, 64'100'000u);
    const auto notices = groveNotices(scan, false, "now");
    ASSERT_FALSE(notices.empty());
    EXPECT_EQ(notices[0].title, "1 idle project") << "the count is of the projects whose bytes it states";
    EXPECT_EQ(notices[0].detail, "64.1 MB can move to Trash.");
    // A clean of the idle projects leaves a protected stack's projects alone.
    scan.projects.push_back(project("s", "/w/site", 1, 5'000'000'000, {"vite", "node"}, true));
    const auto shielded = groveNotices(scan, false, "now", {"vite"});
    EXPECT_EQ(std::make_pair(shielded[0].title, shielded[0].detail),
              std::make_pair(std::string("1 idle project"), std::string("64.1 MB can move to Trash.")));
    EXPECT_EQ(groveNotices(scan, false, "now")[0].title, "2 idle projects");
    // Idle projects that no clean takes make no notice.
    const auto none = groveNotices(scan, false, "now", {"vite", "node"});
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0].id, "scan");
}

TEST(GroveNotices, TheIdleNoticeLeavesOutTheFoldersInsideANestedProjectOfAProtectedStack) {
    const auto artifact = [](std::string path, std::uint64_t bytes, std::string safety = "safe") {
        ArtifactDTO a;
        a.absolute_path = std::move(path), a.safetyClass = std::move(safety), a.size_bytes = bytes, a.exists = true;
        return a;
    };
    auto tools = project("t", "/w/tools", 60'000, 57'000, {"python"}, true);
    tools.artifacts = {artifact("/w/tools/.venv", 45'000, "caution"), artifact("/w/tools/web/__pycache__", 12'000),
                       artifact("/w/tools/gone/__pycache__", 9'000)};
    tools.artifacts.back().exists = false;
    auto only = project("o", "/w/only", 5'000, 5'000, {"python"}, true);
    only.artifacts = {artifact("/w/only/site/__pycache__", 5'000)};
    const auto web = project("w", "/w/tools/web", 30'000, 30'000, {"node"}, true);
    const auto site = project("s", "/w/only/site", 1, 0, {"node"});
    // The nested project listed, or left out of the shown dashboard for having nothing of its own.
    for (const auto& [scan, unlisted] : {std::pair{dashboard({tools, only, web}), std::vector<ProjectDTO>{site}},
                                         std::pair{dashboard({tools, only}), std::vector<ProjectDTO>{web, site}}}) {
        const auto offer = idleCleanOffer(scan, {"node"}, unlisted);
        ASSERT_EQ(offer.projects.size(), 1u) << "all only offers lies inside the protected site";
        EXPECT_EQ(offer.projects[0].project->id, "t");
        EXPECT_EQ(offer.projects[0].bytes, 45'000u);
        EXPECT_EQ(offer.bytes, 45'000u);
        const auto notices = groveNotices(scan, false, "now", {"node"}, unlisted);
        EXPECT_EQ(std::make_pair(notices[0].title, notices[0].detail),
                  std::make_pair(std::string("1 idle project"), std::string("45 KB can move to Trash.")));
    }
    EXPECT_EQ(idleCleanOffer(dashboard({tools, only, web}), {}, {site}).bytes, 92'000u) << "nothing protected";
}

// A folder inside two nested protected projects, one inside the other, stays
// once with them: the clean drops it once, and the bell and the end-of-day
// review count what the clean moves.
TEST(GroveNotices, AFolderInsideSeveralNestedProtectedProjectsIsLeftOutOnce) {
    const auto artifact = [](std::string path, std::uint64_t bytes) {
        ArtifactDTO a;
        a.absolute_path = std::move(path), a.safetyClass = "caution", a.size_bytes = bytes, a.exists = true;
        return a;
    };
    auto tools = project("t", "/w/tools", 60'000, 57'000, {"python"}, true);
    tools.artifacts = {artifact("/w/tools/.venv", 45'000), artifact("/w/tools/web/ui/.venv", 12'000)};
    const auto web = project("w", "/w/tools/web", 1, 0, {"node"});
    const auto ui = project("u", "/w/tools/web/ui", 1, 0, {"node"});
    // Both listed, both left out of the shown dashboard, or one of each.
    for (const auto& [listed, unlisted] : {std::pair{std::vector{tools, web, ui}, std::vector<ProjectDTO>{}},
                                           std::pair{std::vector{tools}, std::vector{web, ui}},
                                           std::pair{std::vector{tools, ui}, std::vector{web}}}) {
        const auto offer = idleCleanOffer(dashboard(listed), {"node"}, unlisted);
        EXPECT_EQ(offer.bytes, 45'000u) << listed.size();
        EXPECT_EQ(groveNotices(dashboard(listed), false, "now", {"node"}, unlisted)[0].detail,
                  "45 KB can move to Trash.");
    }
}

TEST(ActivityText, DashboardLineThenNewestCleanWins) {
    EXPECT_EQ(activityText(std::nullopt, {}), std::nullopt);
    EXPECT_EQ(activityText(std::nullopt, {operation("p", 1, 5, true)}), std::nullopt) << "previews never count";

    auto one = dashboard({project("a", "/a", 10, 12'345)});
    auto text = activityText(one, {}).value_or("");
    EXPECT_TRUE(text.starts_with("Last scan ") && text.ends_with(" \u00B7 1 project \u00B7 12 KB reclaimable")) << text;
    auto none = dashboard({});
    EXPECT_TRUE(activityText(none, {})->ends_with(" \u00B7 0 projects \u00B7 Zero KB reclaimable"));

    std::vector<OperationDTO> history{operation("preview", 9, 1, true), operation("c1", 8, 2'000'000, false, "/w/shop/"),
                                      operation("c0", 7, 5, false, "/w/old")};
    EXPECT_EQ(activityText(one, history), "Cleaned shop \u00B7 2 MB to Trash");
    EXPECT_EQ(activityText(one, {operation("c", 1, 1'000)}), "Cleaned project \u00B7 1 KB to Trash");
}

TEST(AutomaticScansAllowed, NeedsOnboardingAndAPlainLaunch) {
    {
        ScratchHome home;
        EXPECT_FALSE(automaticScansAllowed()) << "before onboarding";
        home.defaults().setBool(kHasCompletedOnboardingKey, true);
        EXPECT_TRUE(automaticScansAllowed());
    }
    for (const char* arg : {"--ui-testing", "--scan-on-launch"}) {
        ScratchHome home({"tidewell", arg});
        home.defaults().setBool(kHasCompletedOnboardingKey, true);
        EXPECT_FALSE(automaticScansAllowed()) << arg;
    }
}

TEST(DisplayDashboard, LargeDashboardTotalsAgreeWithThePairwiseNestingRule) {
    // Odd paths on purpose: trailing and doubled slashes, the root, siblings sharing a prefix.
    const std::vector<std::string> shapes{"/w", "/w/a", "/w/a/", "/w/a//b", "/w/ab", "/", "/w/a/b/c", "/x/y", "/x/y2/z"};
    std::vector<ProjectDTO> projects;
    for (std::size_t i = 0; i < 60; ++i) {
        const auto& path = shapes[(i * 7) % shapes.size()] + (i % 4 == 0 ? "" : "/p" + std::to_string(i % 5));
        projects.push_back(project("id" + std::to_string(i), path, 100 + i, i % 6 == 0 ? 0 : 10 + i));
    }
    auto shown = displayDashboard(dashboard(projects));
    std::uint64_t expected = 0;
    for (const auto& p : shown.projects)
        if (!isNestedProject(p, shown.projects)) expected += p.total_bytes;
    EXPECT_EQ(shown.total_bytes, expected);
    EXPECT_LT(shown.total_bytes, [&] {
        std::uint64_t all = 0;
        for (const auto& p : shown.projects) all += p.total_bytes;
        return all;
    }()) << "the sample must hold nested projects";
}
