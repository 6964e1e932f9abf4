#include "Dashboard.h"
#include "Rules.h"

#include <gtest/gtest.h>

using namespace tidewell;
using namespace tidewell::engine;

namespace {
constexpr std::int64_t kNow = 1'800'000'000, kDay = 86400;

// A folder by what it is, here made up from its path.
FolderId folderAt(const std::string& path) { return {1, std::hash<std::string>()(path)}; }

WalkedProject walked(const std::string& path, std::optional<std::int64_t> last) {
    WalkedProject p;
    p.path = path;
    p.folder = folderAt(path);
    p.name = path.substr(path.rfind('/') + 1);
    p.stacks = 1u << 4;  // maven
    p.totalBytes = 1000;
    p.lastActivity = last;
    p.artifacts = {{"node_modules", path + "/node_modules", "safe", 600}, {"vendor", path + "/vendor", "caution", 100}};
    return p;
}
}  // namespace

TEST(Dashboard, IdleActiveAndPinned) {
    const Rules rules = builtinRules("/h");
    const ProjectDetector d(rules);
    ScanContext ctx{kNow, 30, {folderAt("/p/ab"), folderAt("/p/c/src"), folderAt("/p/c"), folderAt("/p"), folderAt("/")}};  // processes work in /p/ab and /p/c/src
    // path, last activity, idle days, idle, active
    for (const auto& [path, last, idleDays, idle, active] : std::vector<std::tuple<std::string, std::int64_t, std::uint64_t, bool, bool>>{
             {"/p/a", kNow - 30 * kDay, 30, true, false},  // exactly at the threshold
             {"/p/a", kNow - 30 * kDay + 1, 29, false, false},
             {"/p/a", kNow - 3600, 0, false, true},        // changed within the last day
             {"/p/a", kNow + 5000, 0, false, true},        // a clock behind the files'
             {"/p/c", kNow - 90 * kDay, 90, true, true},   // a process works inside it
             {"/p/a", kNow - 90 * kDay, 90, true, false},  // none works in /p/a
         }) {
        const ProjectDTO p = makeProject(walked(path, last), d, ctx);
        EXPECT_EQ(p.idle_days, idleDays) << path << " " << kNow - last;
        EXPECT_EQ(p.is_idle, idle) << path << " " << kNow - last;
        EXPECT_EQ(p.is_active, active) << path << " " << kNow - last;
    }
    auto p = walked("/p/a", std::nullopt);
    p.pinned = true;
    const ProjectDTO pinned = makeProject(p, d, ctx);
    EXPECT_TRUE(pinned.pinned);
    EXPECT_FALSE(pinned.last_activity_unix.has_value());
    EXPECT_FALSE(pinned.idle_days.has_value());
    EXPECT_EQ(pinned.reclaimable_bytes, 700u);
    EXPECT_EQ(pinned.safe_bytes, 600u);
    EXPECT_EQ(pinned.caution_bytes, 100u);
}

TEST(Dashboard, CleanRemovesMovedArtifactsAndRecomputesEverySum) {
    const Rules rules = builtinRules("/h");
    const ProjectDetector d(rules);
    WalkResult walk;
    walk.projects = {walked("/p/outer", kNow), walked("/p/outer/inner", kNow), walked("/p/other", kNow)};
    walk.projects[1].parent = 0;
    walk.totalBytes = 2000;
    DashboardDTO dash = buildDashboard(walk, d, {}, {"/p"}, ScanContext{kNow, 30, {}});
    ASSERT_EQ(dash.reclaimable_bytes, 2100u);
    ASSERT_EQ(dash.by_type.size(), 1u);
    EXPECT_EQ(dash.by_type[0].total_bytes, 2000u) << "the inner project's bytes are the outer one's too";

    ASSERT_TRUE(applyClean(dash, "/p/outer/inner", {{"/p/outer/inner/node_modules", 600}}));
    const auto& outer = dash.projects[1];
    const auto& inner = dash.projects[2];
    ASSERT_EQ(inner.path, "/p/outer/inner");
    EXPECT_EQ(inner.artifacts.size(), 1u);
    EXPECT_EQ(inner.reclaimable_bytes, 100u);
    EXPECT_EQ(inner.safe_bytes, 0u);
    EXPECT_EQ(inner.total_bytes, 400u);
    EXPECT_EQ(outer.total_bytes, 400u) << "the outer project held the moved folder too";
    EXPECT_EQ(dash.projects[0].total_bytes, 1000u) << "/p/other is untouched";
    EXPECT_EQ(dash.reclaimable_bytes, 1500u);
    EXPECT_EQ(dash.total_bytes, 1400u);
    EXPECT_EQ(dash.by_type[0].reclaimable_bytes, 1500u);
    EXPECT_EQ(dash.by_type[0].total_bytes, 1400u);
    EXPECT_FALSE(applyClean(dash, "/p/unknown", {}));
}

// A Node package inside a Python project: Node's size holds it, and a clean
// of its folder takes it out of both stacks' sizes.
TEST(Dashboard, AProjectInsideOneOfAnotherStackCountsInItsOwnStacksSize) {
    const Rules rules = builtinRules("/h");
    const ProjectDetector d(rules);
    WalkResult walk;
    walk.projects = {walked("/p/mono", kNow), walked("/p/mono/web", kNow), walked("/p/mono/web/ui", kNow), walked("/p/y1", kNow)};
    for (auto& p : walk.projects) p.stacks = d.stacksMarkedBy("package.json");
    walk.projects[0].stacks = d.stacksMarkedBy("pyproject.toml");
    walk.projects[0].artifacts.clear();
    walk.projects[0].totalBytes = 1700;
    walk.projects[1].parent = 0;
    walk.projects[1].totalBytes = 1600;
    walk.projects[2].parent = 1;
    walk.projects[2].totalBytes = 800;
    walk.totalBytes = 2700;
    DashboardDTO dash = buildDashboard(walk, d, {}, {"/p"}, ScanContext{kNow, 30, {}});
    const auto stack = [&](const std::string& id) {
        for (const auto& s : dash.by_type)
            if (s.project_type == id) return s;
        throw std::out_of_range("no stack " + id);
    };
    EXPECT_EQ(stack("node").total_bytes, 2600u) << "web and y1; ui lies in web";
    EXPECT_EQ(stack("node").reclaimable_bytes, 2100u);
    EXPECT_EQ(stack("python").total_bytes, 1700u);
    // Three levels: a Node package in a Python project in a Node project
    // counts once in Node's size, through the Python project between.
    WalkResult stacked = walk;
    stacked.projects[0].stacks = stacked.projects[2].stacks;
    stacked.projects[1].stacks = d.stacksMarkedBy("pyproject.toml");
    stacked.projects[1].artifacts.clear();
    const DashboardDTO three = buildDashboard(stacked, d, {}, {"/p"}, ScanContext{kNow, 30, {}});
    for (const auto& s : three.by_type) {
        if (s.project_type == "node") {
            EXPECT_EQ(s.total_bytes, 2700u) << "mono and y1; ui lies in mono";
        }
    }

    ASSERT_TRUE(applyClean(dash, "/p/mono/web/ui", {{"/p/mono/web/ui/node_modules", 600}}));
    EXPECT_EQ(stack("node").total_bytes, 2000u);
    EXPECT_EQ(stack("node").reclaimable_bytes, 1500u);
    EXPECT_EQ(stack("python").total_bytes, 1100u) << "mono held it too";
}
