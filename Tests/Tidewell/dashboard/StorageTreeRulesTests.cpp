#include <gtest/gtest.h>

#include "dashboard/StorageTreeRules.h"

namespace tidewell {
namespace {

ProjectDTO project(std::string id, std::vector<std::string> types, std::uint64_t reclaimable = 10, bool pinned = false,
                   bool active = false)
{
    ProjectDTO p;
    p.id = std::move(id);
    p.types = std::move(types);
    p.reclaimable_bytes = reclaimable;
    p.pinned = pinned;
    p.is_active = active;
    return p;
}

std::vector<std::string> ids(const std::vector<ProjectDTO>& projects)
{
    std::vector<std::string> out;
    for (const auto& p : projects)
        out.push_back(p.id);
    return out;
}

TEST(StorageTreeRules, ProtectedStacksParseAndWriteRoundTrip)
{
    EXPECT_EQ(parseProtectedStacks(""), std::set<std::string>{});
    EXPECT_EQ(parseProtectedStacks(",,"), std::set<std::string>{});
    EXPECT_EQ(parseProtectedStacks("node,,go"), (std::set<std::string>{"go", "node"}));
    EXPECT_EQ(parseProtectedStacks(" node,go "), (std::set<std::string>{" node", "go "}));  // no trimming

    // Toggling a third stack on writes all three sorted by bytes, with no empty piece.
    auto on = toggledProtection(parseProtectedStacks("node,,go"), "Flutter", std::nullopt);
    EXPECT_EQ(protectedStacksText(on.stacks), "Flutter,go,node");
    EXPECT_EQ(on.select, std::optional<std::string>("Flutter"));  // protecting selects
    EXPECT_EQ(parseProtectedStacks(protectedStacksText(on.stacks)), on.stacks);
    EXPECT_EQ(protectedStacksText(parseProtectedStacks("\xc3\xa9,z,A")), "A,z,\xc3\xa9");

    EXPECT_EQ(toggledProtection({}, "go", std::string("go")).select, std::nullopt);  // already selected
    const auto off = toggledProtection({"go", "node"}, "go", std::string("rust"));
    EXPECT_EQ(protectedStacksText(off.stacks), "node");
    EXPECT_EQ(off.select, std::nullopt);  // removing leaves the selection alone
    EXPECT_EQ(protectedStacksText(toggledProtection({"go"}, "go", std::nullopt).stacks), "");
}

TEST(StorageTreeRules, StackCleansTakeOnlyUnshieldedProjects)
{
    DashboardDTO dash;
    dash.by_type = {{"node", "Node", 4, 40, 40}, {"go", "Go", 1, 10, 10}, {"pinned", "P", 1, 10, 10}};
    dash.projects = {project("a", {"node"}),
                     project("b", {"node", "go"}),
                     project("c", {"node"}, 0),
                     project("d", {"node"}, 10, true),
                     project("e", {"node"}, 10, false, true),
                     project("f", {"pinned"}, 10, true)};
    struct Case {
        const char* name;
        std::string stack;
        std::set<std::string> protectedSet;
        std::vector<std::string> cleaned;
    };
    const std::vector<Case> cases{
        {"in scan order, skipping empty, pinned and active", "node", {}, {"a", "b"}},
        {"a project of a protected stack stays out of another stack's clean", "node", {"go"}, {"a"}},
        {"a protected stack cleans nothing, even asked directly", "go", {"go"}, {}},
        {"all projects pinned", "pinned", {}, {}},
        {"unknown stack", "rust", {}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ids(stackCleanRequest(dash, c.stack, c.protectedSet)), c.cleaned) << c.name;
        StorageNodeModel node{dash.by_type[0], StorageNodeStatus::reclaimable, {}, 60};
        node.summary.project_type = c.stack;
        if (c.protectedSet.count(c.stack) || c.stack == "pinned")
            node.status = StorageNodeStatus::protected_;
        EXPECT_EQ(canCleanStack(node, dash.projects, c.protectedSet), !c.cleaned.empty()) << c.name;
    }
    // Only active or pinned reclaimable projects: nothing to clean.
    EXPECT_FALSE(canCleanStack({dash.by_type[0], StorageNodeStatus::reclaimable, {}, 60},
                               {project("d", {"node"}, 10, true), project("e", {"node"}, 10, false, true)}, {}));
}

// A perch is every bubble of 44 points or more whose top edge lies below
// the band, however close its neighbours; it names the stack's total size.
TEST(StorageTreeRules, PerchesAreTheLargeBubblesBelowTheUpperBand)
{
    // Threshold for h = 400: min(52, 90) + 48 = 100; still (reduce motion) centres.
    auto node = [](const char* id, double x, double y, double d) {
        return StorageNodeModel{{id, id, 2, 2'500'000'000, 1'200'000'000}, StorageNodeStatus::idle, {x, y}, d};
    };
    const std::vector<StorageNodeModel> nodes{node("small", 400, 300, 43.9), node("edge", 100, 300, 44),
                                              node("high", 400, 120, 44), node("top", 250, 122.1, 44)};
    auto perches = makeTreePerches(nodes, 5, 800, 400, true);
    ASSERT_EQ(perches.size(), 2u);
    EXPECT_EQ(perches[0], (TreePerch{"edge", "2.5 GB · Idle", {100, 300}, 22}));
    EXPECT_EQ(perches[1].title, "top");
    EXPECT_TRUE(makeTreePerches({}, 0, 800, 400, false).empty());

    // A bubble just above, where the character stands, takes no perch away.
    auto crowded = nodes;
    crowded.push_back(node("above", 120, 240, 60));
    crowded.back().status = StorageNodeStatus::reclaimable;
    perches = makeTreePerches(crowded, 5, 800, 400, true);
    ASSERT_EQ(perches.size(), 3u);
    EXPECT_EQ(perches[0].title, "edge");
    EXPECT_EQ(perches[2], (TreePerch{"above", "2.5 GB · Reclaimable", {120, 240}, 30}));

    // Moving: the perch follows the bob.
    const auto moving = makeTreePerches({node("edge", 100, 300, 44)}, 2, 800, 400, false);
    ASSERT_EQ(moving.size(), 1u);
    EXPECT_NE(moving[0].center.y, 300);
    EXPECT_DOUBLE_EQ(storageTreeTime(8.2e8 + 0.25, false), 8.2e8 + 0.25);  // double precision kept
    EXPECT_EQ(storageTreeTime(8.2e8, true), 0);
}

}  // namespace
}  // namespace tidewell
