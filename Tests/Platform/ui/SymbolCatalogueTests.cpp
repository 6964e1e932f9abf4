#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>

#include "foundation/Bundle.h"
#include "ui/SymbolCatalogue.h"

namespace fs = std::filesystem;
using platform::ui::catalogueSymbolNames;
using platform::ui::symbolFilePath;

namespace {

// Every symbol name the application's screens draw.
constexpr std::string_view kScreenSymbols[] = {
    "apple.logo", "archivebox.fill", "arrow.clockwise", "arrow.down.app.fill",
    "arrow.triangle.2.circlepath", "arrow.triangle.branch", "arrow.up.arrow.down.circle",
    "arrow.up.arrow.down.circle.fill", "arrow.up.forward", "arrow.up.right.square", "atom",
    "bell.fill", "calendar", "checkmark.circle.fill", "chevron.up.chevron.down", "circle", "clock",
    "cylinder.fill", "dice", "ellipsis.bubble.fill", "exclamationmark.triangle.fill",
    "externaldrive", "externaldrive.fill", "face.smiling", "folder", "folder.fill", "gearshape",
    "gearshape.fill", "hand.raised", "hare.fill", "hexagon.fill", "house.fill", "internaldrive",
    "internaldrive.fill", "ipad.and.iphone", "iphone", "leaf", "leaf.circle.fill", "leaf.fill",
    "list.bullet.rectangle", "lock.fill", "lock.open.fill", "macwindow", "magnifyingglass", "minus",
    "mug.fill", "person.crop.circle", "person.fill", "photo", "plus", "safari", "shippingbox.fill",
    "smartphone", "square.and.arrow.up", "square.fill", "square.stack.3d.up", "triangle.fill",
    "trophy", "wifi.exclamationmark", "xmark", "xmark.circle.fill",
};

fs::path bundleResources() {
    const char* bundle = std::getenv("TIDEWELL_BUNDLE");
    return bundle ? fs::path(bundle) / "Resources" : fs::path();
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The main bundle pointed at the built bundle for the length of a test.
class BuiltBundle : public ::testing::Test {
protected:
    void SetUp() override {
        resources = bundleResources();
        ASSERT_FALSE(resources.empty()) << "TIDEWELL_BUNDLE is not set";
        platform::Bundle::setMainForTesting((resources.parent_path() / "bin" / "tidewell").string(),
                                            resources.string());
    }
    void TearDown() override { platform::Bundle::resetMainForTesting(); }
    fs::path resources;
};

}  // namespace

TEST_F(BuiltBundle, EveryCatalogueNameResolvesToAnIconInTheBundle) {
    const auto names = catalogueSymbolNames();
    ASSERT_FALSE(names.empty());
    for (std::string_view name : names) {
        const auto path = symbolFilePath(name);
        ASSERT_TRUE(path.has_value()) << name;
        EXPECT_TRUE(fs::path(*path).is_absolute()) << *path;
        EXPECT_EQ(fs::path(*path).lexically_relative(resources).begin()->string(), "symbols") << *path;
        const std::string svg = readAll(*path);
        EXPECT_NE(svg.find("<svg"), std::string::npos) << name << " → " << *path << " is missing or not an SVG";
    }
}

TEST(SymbolCatalogue, CoversEverySymbolTheScreensUse) {
    const auto names = catalogueSymbolNames();
    const std::set<std::string_view> table(names.begin(), names.end());
    EXPECT_EQ(table.size(), names.size()) << "a symbol name appears twice in the table";
    for (std::string_view symbol : kScreenSymbols) {
        EXPECT_TRUE(table.contains(symbol)) << symbol << " has no icon";
    }
}

TEST(SymbolCatalogue, FillNamesTakeTheFilledWeight) {
    const std::string resources = "/opt/Tidewell/Resources";
    EXPECT_EQ(symbolFilePath("leaf.fill", resources), "/opt/Tidewell/Resources/symbols/fill/leaf.svg");
    EXPECT_EQ(symbolFilePath("leaf", resources), "/opt/Tidewell/Resources/symbols/regular/leaf.svg");
    EXPECT_EQ(symbolFilePath("leaf.circle.fill", resources), "/opt/Tidewell/Resources/symbols/fill/leaf.svg");
    EXPECT_EQ(platform::ui::symbolWeight("folder"), "regular");
    EXPECT_EQ(platform::ui::symbolWeight("folder.fill"), "fill");
}

TEST(SymbolCatalogue, AppleLogoGetsANeutralStandIn) {
    const auto icon = platform::ui::symbolIconName("apple.logo");
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(icon->find("apple"), std::string_view::npos) << *icon;
    EXPECT_EQ(icon->find("logo"), std::string_view::npos) << *icon;
}

TEST(SymbolCatalogue, UnknownNamesResolveToNothing) {
    for (std::string_view name : {"", "Leaf.fill", "leaf.fill ", "leaf.", ".fill", "sparkles",
                                  "../../etc/passwd", "leaf/../../x"}) {
        EXPECT_FALSE(platform::ui::symbolIconName(name).has_value()) << name;
        EXPECT_FALSE(symbolFilePath(name, "/opt/Tidewell/Resources").has_value()) << name;
    }
}

TEST(SymbolCatalogue, NoResourceFolderMeansNoPath) {
    EXPECT_FALSE(symbolFilePath("leaf.fill", "").has_value());
}
