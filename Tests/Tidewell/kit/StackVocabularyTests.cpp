#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "desktop/RecordingWorkspace.h"
#include "kit/StackVocabulary.h"
#include "kit/Theme.h"
#include "ui/SymbolCatalogue.h"

namespace fs = std::filesystem;
using platform::ui::Color;
using platform::ui::ColorScheme;
using tidewell::stackDisplayName;
using tidewell::stackIconTint;
using tidewell::stackSymbol;
using tidewell::stackTint;

TEST(StackVocabulary, TwoWordCachesKeepTheirOwnNames) {
    EXPECT_EQ(stackDisplayName("tool_caches"), "Tool Caches");
    EXPECT_EQ(stackDisplayName("android_emulators"), "Emulators");
}

TEST(StackVocabulary, MatchingIsCaseSensitiveSoAnUpperCaseIdTakesTheFallbacks) {
    EXPECT_EQ(stackDisplayName("Flutter"), "Flutter");
    EXPECT_EQ(stackSymbol("Flutter"), "square.fill");
    EXPECT_EQ(stackTint("Flutter"), Color::rgb255(107, 191, 110));
    EXPECT_EQ(stackIconTint("Flutter"), tidewell::Theme::accent());
    EXPECT_NE(stackTint("Flutter"), stackTint("flutter"));
}

TEST(StackVocabulary, UnknownIdsReadAsCapitalisedWords) {
    EXPECT_EQ(stackDisplayName(""), "");
    EXPECT_EQ(stackDisplayName("dart_pub_cache"), "Dart Pub Cache");
    EXPECT_EQ(stackDisplayName("GRADLE_wrapper"), "Gradle Wrapper");
    EXPECT_EQ(stackDisplayName("__x"), "  X");
    EXPECT_EQ(stackDisplayName("élan_vital"), "Élan Vital");
    EXPECT_EQ(stackSymbol(""), "square.fill");
}

TEST(StackVocabulary, CapitalisationSplitsOnlyAtWhitespace) {
    EXPECT_EQ(tidewell::capitalizedWords("node-gyp cache"), "Node-gyp Cache");
    EXPECT_EQ(tidewell::capitalizedWords("a\tb\nc"), "A\tB\nC");
    EXPECT_EQ(tidewell::capitalizedWords("x.y"), "X.y");
}

TEST(StackVocabulary, EveryStackSymbolHasAnIcon) {
    std::vector<std::string> symbols{stackSymbol("unknown")};
    for (std::string_view id : tidewell::knownStackIds()) symbols.push_back(stackSymbol(id));
    for (const auto& symbol : symbols) {
        EXPECT_TRUE(platform::ui::symbolIconName(symbol).has_value()) << symbol;
    }
    EXPECT_EQ(tidewell::knownStackIds().size(), 17u);
    EXPECT_EQ(std::set<std::string_view>(tidewell::knownStackIds().begin(), tidewell::knownStackIds().end()).size(), 17u);
}

namespace {

class RevealInFinder : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("tidewell-reveal-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path root;
    platform::RecordingWorkspace workspace;
    platform::ScopedWorkspace scope{workspace};
};

}  // namespace

TEST_F(RevealInFinder, AnExistingFolderIsSelectedItself) {
    fs::create_directories(root / "app" / "build");
    tidewell::revealInFinder((root / "app" / "build").string());
    EXPECT_EQ(workspace.revealedPaths, std::vector<std::string>{(root / "app" / "build").string()});
}

TEST_F(RevealInFinder, ADeletedFolderSelectsItsParent) {
    fs::create_directories(root / "app" / "node_modules");
    fs::remove_all(root / "app" / "node_modules");
    tidewell::revealInFinder((root / "app" / "node_modules").string());
    EXPECT_EQ(workspace.revealedPaths, std::vector<std::string>{(root / "app").string()});
}

TEST_F(RevealInFinder, ATrailingSlashStillNamesTheFolder) {
    fs::create_directories(root / "app");
    tidewell::revealInFinder((root / "app" / "gone").string() + "/");
    EXPECT_EQ(workspace.revealedPaths, std::vector<std::string>{(root / "app").string()});
}

TEST_F(RevealInFinder, APathWhoseParentIsGoneShowsNothing) {
    tidewell::revealInFinder((root / "gone" / "build").string());
    tidewell::revealInFinder("");
    EXPECT_TRUE(workspace.revealedPaths.empty());
}
