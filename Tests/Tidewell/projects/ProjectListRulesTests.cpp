#include <gtest/gtest.h>

#include "projects/ProjectListRules.h"

using namespace tidewell;

namespace {

// A project with flags: i idle, p pinned, a active.
ProjectDTO project(std::string id, std::string name, std::uint64_t reclaimable,
                   std::vector<std::string> types = {"node"}, std::string flags = {}, std::string path = {}) {
    ProjectDTO p{std::move(id),   name,       path.empty() ? "/w/" + name : path, std::move(types),
                 reclaimable * 2, reclaimable};
    p.is_idle = flags.find('i') != std::string::npos;
    p.pinned = flags.find('p') != std::string::npos;
    p.is_active = flags.find('a') != std::string::npos;
    return p;
}

std::vector<std::string> names(const ProjectRefs& refs) {
    std::vector<std::string> out;
    for (const auto* p : refs) out.push_back(p->name);
    return out;
}

const DashboardDTO disk = [] {
    DashboardDTO d;
    d.projects = {
        project("1", "app", 300),
        project("2", "Beta", 500, {"rust"}),
        project("3", "alpha", 300, {"flutter", "react_native"}, "", "/w/mobile/shell"),
        project("4", "done", 0),
        project("5", "App", 300, {"node"}, "i"),
        project("6", "kept", 900, {"node"}, "ip"),
        project("7", "busy", 100, {"node"}, "a"),
    };
    return d;
}();

ProjectListInputs inputs(ProjectListState state = {}) {
    ProjectListInputs in;
    in.dashboard = &disk;
    in.state = std::move(state);
    return in;
}

}  // namespace

TEST(ProjectListRules, SearchFoldsCaseBeyondAscii) {
    EXPECT_TRUE(projectMatchesQuery(project("1", "été-app", 1), "Été"));
    EXPECT_TRUE(projectMatchesQuery(project("2", "ÉCOLE", 1), "école"));
    EXPECT_FALSE(projectMatchesQuery(project("4", "ete", 1), "Été")) << "accents are not dropped";
}

TEST(ProjectListRules, VisibleListFiltersSearchesAndSorts) {
    struct Case {
        const char* what;
        bool idle;
        std::optional<std::string> stack;
        std::string query;
        bool byReclaimable;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"nothing to reclaim is never listed; ties keep the dashboard's order",
         false,
         {},
         "",
         true,
         {"kept", "Beta", "app", "alpha", "App", "busy"}},
        {"by name, localized and case-insensitive; app and App keep their order",
         false,
         {},
         "",
         false,
         {"alpha", "app", "App", "Beta", "busy", "kept"}},
        {"idle only", true, {}, "", true, {"kept", "App"}},
        {"stack ids match exactly", false, std::string("rust"), "", true, {"Beta"}},
        {"stack ids are case-sensitive", false, std::string("Rust"), "", true, {}},
        {"a stack's display name matches the query in any case", false, {}, "NATIVE", true, {"alpha"}},
        {"the path matches", false, {}, "MOBILE", true, {"alpha"}},
        {"the name matches in any case", false, {}, "aPp", true, {"app", "App"}},
        {"the query is never trimmed", false, {}, " app", true, {}},
        {"filters and the query together", true, {}, "app", true, {"App"}},
    };
    for (const auto& c : cases) {
        auto in = inputs({c.query, c.byReclaimable});
        in.filterIdle = c.idle;
        in.filterStack = c.stack;
        EXPECT_EQ(names(visibleProjects(in)), c.expected) << c.what;
    }
    EXPECT_TRUE(visibleProjects(ProjectListInputs{}).empty());
}

TEST(ProjectListRules, SelectionSetsAvailabilityAndTexts) {
    // Browsing: pinned projects are not selectable, active ones are but never go to "Clean All".
    auto browsing = deriveProjectList(inputs());
    EXPECT_EQ(names(browsing.selectableProjects), (std::vector<std::string>{"Beta", "app", "alpha", "App", "busy"}));
    EXPECT_EQ(names(browsing.cleanAllCandidates), (std::vector<std::string>{"Beta", "app", "alpha", "App"}));
    EXPECT_EQ(std::tie(browsing.canSelect, browsing.canSelectAll, browsing.canCleanSelected, browsing.canCleanAll),
              std::make_tuple(true, true, false, true));
    EXPECT_EQ(std::tie(browsing.cleanSelectedTitle, browsing.selectAllTitle, browsing.selectionSummary),
              std::make_tuple("Clean", "Select All", "Select projects to clean"));

    // An active project counts in the summary; ids that are gone, pinned or
    // empty after a new dashboard drop out of the count.
    auto in = inputs({"", true, true, {"7", "2", "6", "4", "gone"}});
    auto picked = deriveProjectList(in);
    EXPECT_EQ(picked.selectedIDs, (std::set<std::string>{"2", "7"}));
    EXPECT_EQ(names(picked.selectedCleanableProjects), (std::vector<std::string>{"Beta", "busy"}));
    EXPECT_EQ(std::tie(picked.cleanSelectedTitle, picked.selectionSummary),
              std::make_tuple("Clean 2", "2 selected \u00B7 600 bytes reclaimable"));

    // A running scan leaves "Select" usable and disables both cleans; a clean disables all three.
    in.isScanning = true;
    auto scanning = deriveProjectList(in);
    EXPECT_EQ(std::tie(scanning.canSelect, scanning.canCleanSelected, scanning.canCleanAll),
              std::make_tuple(true, false, false));
    in.isScanning = false;
    in.isCleaning = true;
    auto cleaning = deriveProjectList(in);
    EXPECT_EQ(std::tie(cleaning.canSelect, cleaning.canSelectAll, cleaning.canCleanSelected, cleaning.canCleanAll),
              std::make_tuple(false, true, false, false));

    struct Empty {
        bool dashboard, idle;
        std::optional<std::string> stack;
        std::string query, detail;
    };
    for (const auto& c : std::vector<Empty>{
             {false, false, {}, "", "Rescan to find Flutter, React Native, Node, and more."},
             {true, false, std::string("go"), "", "Try another stack filter or search."},
             {true, true, {}, "", "Try another stack filter or search."},
             {true, false, {}, "zzz", "Try another stack filter or search."},
             {true, false, {}, "", "Nothing left to clean."},
         }) {
        auto e = inputs({c.query});
        e.dashboard = c.dashboard ? &disk : nullptr;
        e.filterIdle = c.idle;
        e.filterStack = c.stack;
        EXPECT_EQ(deriveProjectList(e).emptyStateDetail, c.detail) << c.detail;
    }
}

TEST(ProjectListRules, CardKeysNeverRepeat) {
    const auto a = project("x", "a", 1), b = project("x", "b", 1), c = project("", "c", 1), d = project("x#1", "d", 1);
    EXPECT_EQ(projectCardKeys({&a, &b, &c, &d}), (std::vector<std::string>{"x", "x#1", "#2", "x#1#3"}));
}
