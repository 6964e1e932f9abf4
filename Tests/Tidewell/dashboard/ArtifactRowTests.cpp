#include "Tidewell/kit/KitViewTesting.h"

#include "Tidewell/core/StoreTestEnvironment.h"
#include "core/AppStore.h"
#include "dashboard/ArtifactRow.h"
#include "desktop/RecordingWorkspace.h"
#include "runtime/MainActor.h"
#include "kit/Theme.h"

using namespace kittest;
using namespace tidewell;

TEST(ArtifactRowRules, OnlyTheExactSafeClassIsSafe) {
    struct Case {
        std::string safetyClass;
        bool safe;
    };
    for (const Case& c : std::vector<Case>{{"safe", true}, {"caution", false}, {"Safe", false}, {"", false}, {"unknown", false}}) {
        EXPECT_EQ(artifactIsSafe(c.safetyClass), c.safe) << c.safetyClass;
        EXPECT_EQ(artifactSafetyBadge(c.safetyClass), c.safe ? "Safe" : "Caution") << c.safetyClass;
    }
}

TEST(ArtifactRow, ShowsPathBadgeSizeAndRevealsTheFolderInFiles) {
    tidewell::testing::ScratchHome home;
    platform::RecordingWorkspace workspace;
    platform::ScopedWorkspace shared(workspace);
    AppStore store;
    const auto folder = home.path("app/build/intermediates");
    std::filesystem::create_directories(folder);
    ArtifactDTO artifact{"build/intermediates", folder, "caution", 0, true};
    auto laid = layOut(ArtifactRow(store, artifact), {420, 40});
    EXPECT_TRUE(laid->shows("build/intermediates"));
    EXPECT_TRUE(laid->shows("Zero KB"));
    auto reveal = laid->tester.findAll([](const AccessibilityNodeInfo& n) { return n.label == "Show in Files"; });
    ASSERT_EQ(reveal.size(), 1u);
    laid->tester.tap(reveal.front());
    ASSERT_TRUE(platform::processMainEventsUntil([&] { return !workspace.revealedPaths.empty(); }));
    EXPECT_EQ(workspace.revealedPaths, std::vector<std::string>{folder});
}
