#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "../core/HeldLook.h"
#include "SilentFilesystem.h"
#include "../core/StoreTestEnvironment.h"
#include "core/AppStore.h"
#include "desktop/RecordingWorkspace.h"
#include "kit/StackVocabulary.h"
#include "kit/Theme.h"
#include "runtime/MainActor.h"
#include "ui/SymbolCatalogue.h"

namespace fs = std::filesystem;
using platform::ui::Color;
using namespace tidewell;

TEST(StackVocabulary, NamesKnownCachesAndCapitalisesUnknownIdsAtWhitespace) {
    const std::pair<const char*, const char*> names[] = {
        {"tool_caches", "Tool Caches"}, {"android_emulators", "Emulators"}, {"Flutter", "Flutter"}, {"", ""},
        {"dart_pub_cache", "Dart Pub Cache"}, {"GRADLE_wrapper", "Gradle Wrapper"}, {"__x", "  X"},
        {"élan_vital", "Élan Vital"}};
    for (const auto& [id, name] : names) EXPECT_EQ(stackDisplayName(id), name) << id;
    EXPECT_EQ(capitalizedWords("node-gyp cache"), "Node-gyp Cache");
    EXPECT_EQ(capitalizedWords("a\tb\nc"), "A\tB\nC");
    EXPECT_EQ(capitalizedWords("x.y"), "X.y");
}

TEST(StackVocabulary, MatchingIsCaseSensitiveSoAnUpperCaseOrEmptyIdTakesTheFallbacks) {
    EXPECT_EQ(stackSymbol("Flutter"), "square.fill");
    EXPECT_EQ(stackSymbol(""), "square.fill");
    EXPECT_EQ(stackIconTint("Flutter"), Theme::accent());
    EXPECT_NE(stackTint("Flutter"), stackTint("flutter"));
}

TEST(StackVocabulary, EveryStackSymbolHasAnIcon) {
    std::vector<std::string> symbols{stackSymbol("unknown")};
    for (std::string_view id : knownStackIds()) symbols.push_back(stackSymbol(id));
    for (const auto& symbol : symbols) EXPECT_TRUE(platform::ui::symbolIconName(symbol).has_value()) << symbol;
    EXPECT_EQ(knownStackIds().size(), 17u);
    EXPECT_EQ(std::set<std::string_view>(knownStackIds().begin(), knownStackIds().end()).size(), 17u) << "no repeats";
}

// The vocabulary is the seventeen ids of the table; the stacks only our engine
// finds read as their own words, with the generic symbol and tints.
TEST(StackVocabulary, TheEnginesOwnStackIdsTakeEveryFallback) {
    const std::pair<const char*, const char*> names[] = {
        {"native_code", "Native Code"}, {"vite", "Vite"}, {"maven", "Maven"}, {"gradle", "Gradle"}};
    for (const auto& [id, name] : names) {
        EXPECT_EQ(stackDisplayName(id), name) << id;
        EXPECT_EQ(stackSymbol(id), "square.fill") << id;
        EXPECT_EQ(stackTint(id), Color::rgb255(107, 191, 110)) << id;
        EXPECT_EQ(stackIconTint(id), Theme::accent()) << id;
        EXPECT_EQ(std::count(knownStackIds().begin(), knownStackIds().end(), std::string_view(id)), 0) << id;
    }
}

namespace {
// The folder is looked at by a task: waits on the main thread until the
// reveal was asked for, or left.
void revealAndWait(const std::string& path) {
    bool done = false;
    revealInFinder(path, [&] { done = true; });
    ASSERT_TRUE(platform::processMainEventsUntil([&] { return done; })) << path;
}
}  // namespace

TEST(RevealInFinder, SelectsAnExistingFolderOrTheParentOfADeletedOne) {
    const fs::path root = fs::temp_directory_path() / ("tidewell-reveal-" + std::to_string(::getpid()));
    fs::create_directories(root / "app" / "build");
    fs::create_directories(root / "app" / "node_modules");
    fs::remove_all(root / "app" / "node_modules");
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {(root / "app" / "build").string(), {(root / "app" / "build").string()}},
        {(root / "app" / "node_modules").string(), {(root / "app").string()}},
        {(root / "app" / "gone").string() + "/", {(root / "app").string()}},  // a trailing slash still names it
        {(root / "gone" / "build").string(), {}},                             // the parent is gone too
        {"", {}},
    };
    for (const auto& [path, revealed] : cases) {
        platform::RecordingWorkspace workspace;
        platform::ScopedWorkspace scope{workspace};
        revealAndWait(path);
        EXPECT_EQ(workspace.revealedPaths, revealed) << path;
    }
    fs::remove_all(root);
}

TEST(RevealInFinder, WhenTheDesktopCannotShowItTheBannerSaysSo) {
    tidewell::testing::ScratchHome home;
    AppStore store;
    const fs::path app = fs::path(home.home()) / "app";
    fs::create_directories(app / "build");
    platform::RecordingWorkspace workspace;
    workspace.revealFailure = std::string(platform::kNoFileManagerReason);
    platform::ScopedWorkspace scope{workspace};
    // The folder itself, and a deleted folder's parent, each named by its own name.
    const std::pair<fs::path, std::string> cases[] = {
        {app / "build", "Could not show build in Files: no file manager is installed."},
        {app / "node_modules", "Could not show app in Files: no file manager is installed."},
    };
    for (const auto& [path, banner] : cases) {
        store.lastError = std::nullopt;
        revealAndWait(path.string());
        ASSERT_TRUE(platform::processMainEventsUntil([&] { return store.lastError.get().has_value(); })) << path;
        EXPECT_EQ(store.lastError.get(), banner);
    }
}

// A project on a mount whose server stopped answering: the window goes on
// serving events while the look is held, nothing is revealed, and the folder
// that does not answer (the project's own, or the parent of a deleted one)
// is named in the banner.
TEST(RevealInFinder, AFolderThatDoesNotAnswerHoldsNothingAndIsNamed) {
    tidewell::testing::ScratchHome home;
    AppStore store;
    const fs::path remote = fs::path(home.home()) / "remote";
    fs::create_directories(remote / "app");
    platform::RecordingWorkspace workspace;
    platform::ScopedWorkspace scope{workspace};
    const std::tuple<fs::path, fs::path, std::string> cases[] = {
        {remote / "app", remote / "app", "Could not show ~/remote/app in Files: it does not answer."},
        {remote, remote / "gone", "Could not show ~/remote in Files: it does not answer."},
    };
    for (const auto& [silent, path, banner] : cases) {
        tidewell::testing::HeldLook held(silent.string());
        store.lastError = std::nullopt;
        bool done = false;
        revealInFinder(path.string(), [&] { done = true; });
        bool served = false;
        platform::postToMain([&] { served = true; });
        ASSERT_TRUE(platform::processMainEventsUntil([&] { return served && held.asked() == 1; })) << path;
        EXPECT_FALSE(done) << "the look is still held";
        ASSERT_TRUE(platform::processMainEventsUntil([&] { return done; })) << path;
        EXPECT_EQ(store.lastError.get(), banner);
        EXPECT_TRUE(workspace.revealedPaths.empty()) << path;
    }
}

// A folder that answers is shown without a look at its parent, which may
// be a share's that does not answer.
TEST(RevealInFinder, AFolderThatAnswersIsShownWithoutALookAtItsParent) {
    tidewell::testing::ScratchHome home;
    const fs::path app = fs::path(home.home()) / "remote" / "app";
    fs::create_directories(app);
    tidewell::testing::HeldLook held(app.parent_path().string());
    platform::RecordingWorkspace workspace;
    platform::ScopedWorkspace scope{workspace};
    revealAndWait(app.string());
    EXPECT_EQ(workspace.revealedPaths, std::vector<std::string>{app.string()});
    EXPECT_EQ(held.asked(), 0);
}

// Six projects on a share whose server stopped answering: each is named at
// once the first look gave up, and the server holds one look of ours in all
// (it held two for each: the project's and its parent's).
TEST(RevealInFinder, RevealsOnAShareThatStoppedAnsweringLeaveOneLookHeld) {
    ASSERT_TRUE(testsupport::enterOwnMountNamespace()) << "tests run as root";
    tidewell::testing::ScratchHome home;
    AppStore store;
    const fs::path remote = fs::path(home.home()) / "remote";
    fs::create_directories(remote);
    std::vector<testsupport::ServedFile> projects;
    for (int n = 1; n <= 6; ++n) projects.push_back({"p" + std::to_string(n) + "/package.json", 2});
    testsupport::SilentFilesystem server(remote.string(), projects);
    ASSERT_TRUE(server.mounted());
    ASSERT_TRUE(server.answers());
    server.fallSilent();
    platform::RecordingWorkspace workspace;
    platform::ScopedWorkspace scope{workspace};
    for (int n = 1; n <= 6; ++n) {
        store.lastError = std::nullopt;
        revealAndWait((remote / ("p" + std::to_string(n))).string());
        ASSERT_TRUE(platform::processMainEventsUntil([&] { return store.lastError.get().has_value(); })) << n;
        EXPECT_EQ(store.lastError.get(), "Could not show ~/remote/p" + std::to_string(n) + " in Files: it does not answer.");
    }
    EXPECT_TRUE(workspace.revealedPaths.empty());
    ASSERT_TRUE(server.waitUntilHolding(1));
    EXPECT_EQ(testsupport::runningChildren(), 1) << "processes left held by the share";
}
