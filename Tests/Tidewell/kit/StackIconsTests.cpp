#include <QSvgRenderer>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "Rules.h"
#include "foundation/Bundle.h"
#include "kit/StackIcons.h"
#include "kit/StackVocabulary.h"

namespace fs = std::filesystem;
using tidewell::prepareStackIconSvg;
using tidewell::stackIconFileURL;

namespace {

constexpr const char* kPlainIcon =
    R"(<svg viewBox="0 0 24 24" xmlns="http://www.w3.org/2000/svg"><path d="M2 2h20v20H2z"/></svg>)";

class TempResources : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(root / "bin"); }
    void TearDown() override { fs::remove_all(root); }
    void write(const fs::path& relative, const std::string& text) {
        fs::create_directories((root / relative).parent_path());
        std::ofstream(root / relative, std::ios::binary) << text;
    }
    std::optional<std::string> find(std::string_view id, const fs::path& resources) {
        return stackIconFileURL(id, resources.string(), (root / "bin").string());
    }
    fs::path root = fs::temp_directory_path() / ("tidewell-icons-" + std::to_string(::getpid()));
    fs::path resources = root / "Resources";
    tidewell::StackIconCache cache{[this](std::string_view id) { return find(id, resources); }};
};

}  // namespace

TEST(StackIconSvg, EveryOpeningTagGainsASizeOnlyWhenTheTextNamesNoWidthAnywhere) {
    const std::pair<std::string, std::string> cases[] = {
        {R"(<svg viewBox="0 0 24 24"><path/></svg>)", R"(<svg width="24" height="24" viewBox="0 0 24 24"><path/></svg>)"},
        {R"(<svg a="1"><svg b="2"/></svg>)", R"(<svg width="24" height="24" a="1"><svg width="24" height="24" b="2"/></svg>)"},
        {R"(<svg viewBox="0 0 24 24"><rect width="4"/></svg>)", ""},
        {R"(<svg viewBox="0 0 24 24"><path stroke-width="2"/></svg>)", ""},
        {"<svg>no attributes</svg>", ""},
        {"", ""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(prepareStackIconSvg(in), out.empty() ? in : out) << in;
}

TEST_F(TempResources, TheStackFolderComesFirstThenTheRootThenBesideTheExecutable) {
    write("Resources/go.svg", kPlainIcon);
    EXPECT_EQ(find("go", resources), (resources / "go.svg").string());
    write("Resources/stack/go.svg", kPlainIcon);
    EXPECT_EQ(find("go", resources), (resources / "stack" / "go.svg").string());
    EXPECT_EQ(find("go", root / "elsewhere"), (resources / "stack" / "go.svg").string()) << "beside the executable";
    EXPECT_EQ(find("rust", resources), std::nullopt);
}

TEST_F(TempResources, IdsThatAreNotPlainNamesNeverLeaveTheIconFolder) {
    write("secret.svg", kPlainIcon);
    write("Resources/stack/.svg", kPlainIcon);
    fs::create_directories(resources / "stack" / "folder.svg");
    for (const char* hostile : {"../../secret", "../secret", "", ".", "..", "a/b", "folder"})
        EXPECT_EQ(find(hostile, resources), std::nullopt) << hostile;
}

TEST_F(TempResources, APresentIconIsKeptWhileMissingOrBrokenOnesAreLookedForAgain) {
    EXPECT_EQ(cache.image("node"), nullptr);
    write("Resources/stack/node.svg", kPlainIcon);
    const auto first = cache.image("node");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->size, QSizeF(24, 24));
    EXPECT_NE(first->svg.indexOf("width=\"24\""), -1);
    ASSERT_TRUE(first->renderer && first->renderer->isValid());
    fs::remove(resources / "stack" / "node.svg");
    EXPECT_EQ(cache.image("node"), first) << "read once and kept";

    write("Resources/stack/php.svg", std::string(R"(<svg viewBox="0 0 24 24"><title>)") + "\xff\xfe" +
                                         R"(</title><path d="M2 2h20v20H2z"/></svg>)");
    EXPECT_EQ(cache.image("php"), nullptr);
    write("Resources/stack/rust.svg", "not an image at all");
    EXPECT_EQ(cache.image("rust"), nullptr);
    write("Resources/stack/rust.svg", kPlainIcon);
    EXPECT_NE(cache.image("rust"), nullptr);
}

// Every stack the engine can report has its own mark in the built bundle, not
// a fallback symbol. A stack of the vocabulary's table reads the same in
// bubbles and cards (the engine's label) as in filters and badges (the
// vocabulary's name); one outside it takes the vocabulary's fallbacks.
TEST(BundledStackIcons, EveryEngineStackHasOneNameAndAMarkInTheBuiltBundle) {
    const char* bundle = std::getenv("TIDEWELL_BUNDLE");
    ASSERT_NE(bundle, nullptr);
    const fs::path resources = fs::path(bundle) / "Resources";
    platform::Bundle::setMainForTesting(std::string(bundle) + "/bin/tidewell", resources.string());
    const auto rules = tidewell::engine::loadRulesFile((resources / "rules" / "artifacts.yaml").string(), "/home/u");
    ASSERT_GE(rules.stacks.size(), 10u);
    std::set<std::string> names;
    for (const auto& stack : rules.stacks) {
        const auto& known = tidewell::knownStackIds();
        if (std::find(known.begin(), known.end(), std::string_view(stack.id)) != known.end())
            EXPECT_EQ(tidewell::stackDisplayName(stack.id), stack.label) << stack.id;
        else
            EXPECT_EQ(tidewell::stackSymbol(stack.id), "square.fill") << stack.id;
        EXPECT_TRUE(names.insert(stack.label).second) << stack.label << " names two stacks";
        EXPECT_EQ(stackIconFileURL(stack.id), (resources / "stack" / (stack.id + ".svg")).string());
        const auto icon = tidewell::stackIconImage(stack.id);
        ASSERT_NE(icon, nullptr) << stack.id;
        EXPECT_TRUE(icon->renderer->isValid()) << stack.id;
    }
    // The iOS mark is a picture, not the word the bubble already shows.
    EXPECT_EQ(tidewell::stackIconImage("ios")->svg.indexOf("<title>iOS</title>"), -1);
    // Caches and other non-brands draw their symbol instead.
    for (const char* id : {"android_packages", "ios_archives", "device_support", "android_emulators", "tool_caches",
                           "Flutter"})
        EXPECT_FALSE(stackIconFileURL(id).has_value()) << id;
    platform::Bundle::resetMainForTesting();
}
