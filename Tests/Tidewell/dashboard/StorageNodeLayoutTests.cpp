#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "SampleData.h"
#include "dashboard/StorageNodeLayout.h"

namespace tidewell {
namespace {

using platform::ui::Size;

TypeSummaryDTO stack(std::string id, std::uint64_t total, std::uint64_t reclaimable = 0)
{
    return {id, id, 1, total, reclaimable};
}

ProjectDTO project(std::vector<std::string> types, bool pinned = false, bool idle = false, bool active = false)
{
    ProjectDTO p;
    p.types = std::move(types);
    p.pinned = pinned;
    p.is_idle = idle;
    p.is_active = active;
    return p;
}

TEST(StorageNodeLayout, DegenerateInputsGiveNoBubbles)
{
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    const std::vector<TypeSummaryDTO> one{stack("node", 10)};
    for (Size size : {Size{40, 400}, Size{400, 40}, Size{0, 0}, Size{inf, 400}, Size{400, nan}, Size{-500, 400},
                      Size{100, 100}})
        EXPECT_TRUE(layoutStorageNodes(size, one, {}, {}).empty()) << size.width << "×" << size.height;
    EXPECT_TRUE(layoutStorageNodes({800, 400}, {}, {}, {}).empty());
    EXPECT_FALSE(layoutStorageNodes({300, 200}, one, {}, {}).empty());
}

TEST(StorageNodeLayout, OrdersByWeightStablyAndSizesBetweenBounds)
{
    // Equal weights keep the dashboard's order; both-zero weighs 1, like 1 byte.
    const auto nodes = layoutStorageNodes({1000, 500}, {stack("a", 0), stack("b", 5, 9), stack("c", 9), stack("d", 1)}, {}, {});
    ASSERT_EQ(nodes.size(), 4u);
    EXPECT_EQ(nodes[0].id() + nodes[1].id() + nodes[2].id() + nodes[3].id(), "bcad");
    EXPECT_EQ(nodes[0].diameter, nodes[1].diameter);
    EXPECT_EQ(nodes[2].diameter, nodes[3].diameter);
    EXPECT_LT(nodes[2].diameter, nodes[1].diameter);
    // Between the bounds 70 (0.12 × 500, raised) and 105 (0.21 × 500) by the
    // square root of the weight: a ninth of the heaviest goes a third of the way.
    EXPECT_DOUBLE_EQ(nodes[0].diameter, 105);
    EXPECT_DOUBLE_EQ(nodes[2].diameter, 70 + 35 / 3.0);
}

TEST(StorageNodeLayout, SlotsStayInTheUnitClamp)
{
    for (int i = 12; i < 200; ++i) {
        const auto p = storageSlot(i);
        EXPECT_TRUE(p.x >= 0.08 && p.x <= 0.92 && p.y >= 0.12 && p.y <= 0.86) << i;
    }
}

TEST(StorageNodeLayout, CoincidentCentresPartAlongTheFixedDirection)
{
    std::vector<platform::ui::Point> at{{500, 200}, {500, 200}};
    relaxStorageNodes(at, {60, 60}, {24, 20, 952, 600}, {1000, 1000});
    EXPECT_GT(at[0].x, at[1].x);  // pushed against (−1, 0.15): the even first one goes right and up
    EXPECT_LT(at[0].y, at[1].y);
}

// The tree card's width at the window's three width classes, from the short
// window's 280 points up; 320 high is where crowded crowns used to overlap.
// No bubble enters the legend's corner either.
TEST(StorageNodeLayout, NoTwoBubblesOverlapAndAllStayInTheCrown)
{
    std::vector<Size> canvases;
    for (double w : {780, 900, 1200})
        for (double h : {280, 320, 360, 440, 600})
            canvases.push_back({w, h});
    for (Size size : canvases) {
        for (int n = 1; n <= 17; ++n) {
            fixtures::SampleOptions options;
            options.projects = 40;
            options.stacks = n;
            const DashboardDTO dash = fixtures::sampleDashboard(options);
            const auto nodes = layoutStorageNodes(size, dash.by_type, dash.projects, {});
            ASSERT_EQ(nodes.size(), dash.by_type.size()) << size.width << "×" << size.height << " n=" << n;
            EXPECT_EQ(nodes, layoutStorageNodes(size, dash.by_type, dash.projects, {}));  // deterministic
            for (std::size_t i = 0; i < nodes.size(); ++i) {
                const auto& a = nodes[i];
                // Clear of the legend's corner, 172 to 8 points in from the top right, 152 high.
                EXPECT_TRUE(a.position.x + a.diameter / 2 <= size.width - 172 || a.position.y - a.diameter / 2 >= 160)
                    << size.width << "×" << size.height << " n=" << n << " " << a.id();
                EXPECT_GE(a.position.y - a.diameter / 2, 20 - 1e-9);
                EXPECT_LE(a.position.y + a.diameter / 2, 0.72 * size.height + 1e-9);
                EXPECT_GE(a.diameter, storageNodeMinimumDiameter);
                for (std::size_t j = i + 1; j < nodes.size(); ++j) {
                    const auto& b = nodes[j];
                    const double gap = std::hypot(a.position.x - b.position.x, a.position.y - b.position.y) -
                                       (a.diameter + b.diameter) / 2;
                    EXPECT_GT(gap, 0) << size.width << "×" << size.height << " n=" << n << " " << a.id() << "/"
                                      << b.id();
                }
            }
        }
    }
}

TEST(StorageNodeStatus, FirstMatchingRuleWins)
{
    struct Case {
        const char* name;
        TypeSummaryDTO summary;
        std::vector<ProjectDTO> projects;
        std::set<std::string> protectedSet;
        StorageNodeStatus expected;
    };
    using S = StorageNodeStatus;
    const std::vector<Case> cases{
        {"user protected despite reclaimable", stack("node", 9, 9), {project({"node"})}, {"node"}, S::protected_},
        {"all projects pinned", stack("node", 9, 9), {project({"node"}, true), project({"go", "node"}, true)}, {}, S::protected_},
        {"one of two pinned", stack("node", 9, 9), {project({"node"}, true), project({"node"})}, {}, S::reclaimable},
        {"no project, no bytes", stack("node", 0), {project({"nodejs"}, true)}, {}, S::active},
        {"protected set is exact", stack("node", 9), {}, {"Node", "node "}, S::active},
        {"idle ties active", stack("node", 9), {project({"node"}, false, true), project({"node"}, false, false, true)}, {}, S::idle},
        {"active outnumbers idle", stack("node", 9),
         {project({"node"}, false, true), project({"node"}, false, false, true), project({"node"}, false, false, true)}, {}, S::active},
    };
    for (const Case& c : cases)
        EXPECT_EQ(storageNodeStatus(c.summary, c.projects, c.protectedSet), c.expected) << c.name;
}

}  // namespace
}  // namespace tidewell
