#include <QSvgRenderer>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/Bundle.h"
#include "kit/StackIcons.h"
#include "kit/StackVocabulary.h"

namespace fs = std::filesystem;
using tidewell::prepareStackIconSvg;
using tidewell::StackIconCache;
using tidewell::stackIconFileURL;

namespace {

constexpr const char* kPlainIcon =
    R"(<svg viewBox="0 0 24 24" xmlns="http://www.w3.org/2000/svg"><path d="M2 2h20v20H2z"/></svg>)";

fs::path builtResources() {
    const char* bundle = std::getenv("TIDEWELL_BUNDLE");
    return bundle ? fs::path(bundle) / "Resources" : fs::path();
}

class TempResources : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("tidewell-icons-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(root / "Resources" / "stack");
        fs::create_directories(root / "bin");
    }
    void TearDown() override { fs::remove_all(root); }

    void write(const fs::path& relative, const std::string& text) {
        fs::create_directories((root / relative).parent_path());
        std::ofstream(root / relative, std::ios::binary) << text;
    }
    std::string resources() const { return (root / "Resources").string(); }
    std::string bin() const { return (root / "bin").string(); }
    StackIconCache cacheOver(const std::string& resourceDirectory) {
        return StackIconCache([resourceDirectory, bin = bin()](std::string_view id) {
            return stackIconFileURL(id, resourceDirectory, bin);
        });
    }

    fs::path root;
};

}  // namespace

TEST(StackIconSvg, GainsASizeOnlyWhenTheTextNamesNoWidthAnywhere) {
    EXPECT_EQ(prepareStackIconSvg(R"(<svg viewBox="0 0 24 24"><path/></svg>)"),
              R"(<svg width="24" height="24" viewBox="0 0 24 24"><path/></svg>)");
    const std::string innerWidth = R"(<svg viewBox="0 0 24 24"><rect width="4"/></svg>)";
    EXPECT_EQ(prepareStackIconSvg(innerWidth), innerWidth);
    const std::string strokeWidth = R"(<svg viewBox="0 0 24 24"><path stroke-width="2"/></svg>)";
    EXPECT_EQ(prepareStackIconSvg(strokeWidth), strokeWidth);
}

TEST(StackIconSvg, EveryOpeningTagOfANestedDocumentGainsTheSize) {
    EXPECT_EQ(prepareStackIconSvg(R"(<svg a="1"><svg b="2"/></svg>)"),
              R"(<svg width="24" height="24" a="1"><svg width="24" height="24" b="2"/></svg>)");
    EXPECT_EQ(prepareStackIconSvg("<svg>no attributes</svg>"), "<svg>no attributes</svg>");
    EXPECT_EQ(prepareStackIconSvg(""), "");
}

TEST_F(TempResources, TheStackFolderComesFirstThenTheRootThenBesideTheExecutable) {
    write("Resources/go.svg", kPlainIcon);
    EXPECT_EQ(stackIconFileURL("go", resources(), bin()), (root / "Resources" / "go.svg").string());
    write("Resources/stack/go.svg", kPlainIcon);
    EXPECT_EQ(stackIconFileURL("go", resources(), bin()), (root / "Resources" / "stack" / "go.svg").string());

    // A resource folder set elsewhere still finds the icons beside the executable.
    const std::string elsewhere = (root / "elsewhere").string();
    EXPECT_EQ(stackIconFileURL("go", elsewhere, bin()), (root / "Resources" / "stack" / "go.svg").string());
    EXPECT_EQ(stackIconFileURL("rust", resources(), bin()), std::nullopt);
}

TEST_F(TempResources, IdsThatAreNotPlainNamesNeverLeaveTheIconFolder) {
    write("secret.svg", kPlainIcon);
    write("Resources/stack/.svg", kPlainIcon);
    for (const char* hostile : {"../../secret", "../secret", "", ".", "..", "a/b"}) {
        EXPECT_EQ(stackIconFileURL(hostile, resources(), bin()), std::nullopt) << hostile;
    }
    fs::create_directories(root / "Resources" / "stack" / "folder.svg");
    EXPECT_EQ(stackIconFileURL("folder", resources(), bin()), std::nullopt);
}

TEST_F(TempResources, APresentIconIsReadOnceAndKept) {
    write("Resources/stack/node.svg", kPlainIcon);
    auto cache = cacheOver(resources());
    const auto first = cache.image("node");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->size, QSizeF(24, 24));
    EXPECT_NE(first->svg.indexOf("width=\"24\""), -1);
    ASSERT_TRUE(first->renderer && first->renderer->isValid());

    fs::remove(root / "Resources" / "stack" / "node.svg");
    EXPECT_EQ(cache.image("node"), first);
}

TEST_F(TempResources, AMissingIconIsLookedForAgainOnEveryRequest) {
    auto cache = cacheOver(resources());
    EXPECT_EQ(cache.image("go"), nullptr);
    write("Resources/stack/go.svg", kPlainIcon);
    EXPECT_NE(cache.image("go"), nullptr);
}

TEST_F(TempResources, UnreadableOrUndecodableFilesGiveNoIconAndAreNotKept) {
    auto cache = cacheOver(resources());
    write("Resources/stack/php.svg",
          std::string(R"(<svg viewBox="0 0 24 24"><title>)") + "\xff\xfe" + R"(</title><path d="M2 2h20v20H2z"/></svg>)");
    EXPECT_EQ(cache.image("php"), nullptr);
    write("Resources/stack/rust.svg", "not an image at all");
    EXPECT_EQ(cache.image("rust"), nullptr);
    write("Resources/stack/rust.svg", kPlainIcon);
    EXPECT_NE(cache.image("rust"), nullptr);
}

TEST(BundledStackIcons, EveryBrandStackHasAnIconFileInTheBuiltBundle) {
    const fs::path resources = builtResources();
    ASSERT_FALSE(resources.empty()) << "TIDEWELL_BUNDLE is not set";
    platform::Bundle::setMainForTesting((resources.parent_path() / "bin" / "tidewell").string(),
                                        resources.string());
    for (const char* id : {"flutter", "react_native", "android", "ios", "node", "php", "python", "rust",
                           "go", "node_global", "homebrew", "pip"}) {
        const auto path = stackIconFileURL(id);
        ASSERT_TRUE(path.has_value()) << id;
        EXPECT_EQ(*path, (resources / "stack" / (std::string(id) + ".svg")).string());
        const auto icon = tidewell::stackIconImage(id);
        ASSERT_NE(icon, nullptr) << id;
        EXPECT_TRUE(icon->renderer->isValid()) << id;
    }
    // Caches and other non-brands draw their symbol instead.
    for (const char* id : {"android_packages", "ios_archives", "device_support", "android_emulators",
                           "tool_caches", "Flutter"}) {
        EXPECT_FALSE(stackIconFileURL(id).has_value()) << id;
    }
    platform::Bundle::resetMainForTesting();
}
