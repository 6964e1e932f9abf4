#include <QFontDatabase>
#include <QImage>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "foundation/Bundle.h"
#include "kit/BrandLogo.h"
#include "kit/BundledFonts.h"

namespace fs = std::filesystem;

namespace {

fs::path builtResources() {
    const char* bundle = std::getenv("TIDEWELL_BUNDLE");
    return bundle ? fs::path(bundle) / "Resources" : fs::path();
}

void saveFilled(int w, int h, const fs::path& path) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::green);
    fs::create_directories(path.parent_path());
    image.save(QString::fromStdString(path.string()));
}

class Scratch : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(root); }
    void TearDown() override {
        platform::Bundle::resetMainForTesting();
        fs::remove_all(root);
    }
    void useBundle(const fs::path& resources) {
        platform::Bundle::setMainForTesting((resources.parent_path() / "bin" / "tidewell").string(), resources.string());
    }
    fs::path root = fs::temp_directory_path() / ("tidewell-brand-" + std::to_string(::getpid()));
};

}  // namespace

TEST(BrandLogo, TheBuiltBundleCarriesOurLogoAndAnEmptySideGivesNoImage) {
    const auto logo = tidewell::loadBrandLogoFrom(builtResources().string());
    ASSERT_NE(logo, nullptr);
    EXPECT_TRUE(logo->isVector);
    // The status item's image: 18 points, drawn at 2 pixels per point, corners cut.
    const auto image = tidewell::brandMarkImage(*logo, 18, 2);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->size(), QSize(36, 36));
    EXPECT_EQ(image->devicePixelRatio(), 2);
    EXPECT_EQ(qAlpha(image->pixel(0, 0)), 0) << "the corner is outside the rounded square";
    EXPECT_EQ(qAlpha(image->pixel(18, 18)), 255);
    for (double side : {0.0, -4.0, std::nan("")}) EXPECT_FALSE(tidewell::brandMarkImage(*logo, side).has_value());
}

TEST_F(Scratch, MissingTinyOrBrokenLogosFallThroughToTheNextCandidateOrToNone) {
    EXPECT_EQ(tidewell::loadBrandLogoFrom(root.string()), nullptr);
    EXPECT_EQ(tidewell::loadBrandLogoFrom(""), nullptr);
    saveFilled(1, 40, root / "BrandLogo.png");
    EXPECT_EQ(tidewell::loadBrandLogoFrom(root.string()), nullptr) << "one point wide counts as missing";

    fs::create_directories(root / "images");
    std::ofstream(root / "images" / "BrandLogo.svg") << "<svg";
    saveFilled(64, 64, root / "Resources" / "BrandLogo.png");
    const auto logo = tidewell::loadBrandLogoFrom(root.string());
    ASSERT_NE(logo, nullptr);
    EXPECT_FALSE(logo->isVector);
    EXPECT_EQ(logo->size, QSizeF(64, 64));
}

// Registration is process-wide, so the whole story is one test, in order.
TEST_F(Scratch, TheDisplayFaceRegistersOnceAndIsRetriedUntilItDoes) {
    ASSERT_FALSE(tidewell::frauncesRegistered());
    useBundle(root / "Resources");
    tidewell::registerBundledFonts();
    EXPECT_FALSE(tidewell::frauncesRegistered()) << "missing: the system fonts stay";
    fs::create_directories(root / "Resources" / "Fonts");
    std::ofstream(root / "Resources" / "Fonts" / "Fraunces.ttf") << "not a font";
    tidewell::registerBundledFonts();
    EXPECT_FALSE(tidewell::frauncesRegistered()) << "damaged: tried again next time";
    useBundle(builtResources());
    tidewell::registerBundledFonts();
    EXPECT_TRUE(tidewell::frauncesRegistered());
    EXPECT_TRUE(QFontDatabase::families().contains("Fraunces"));
    useBundle(root / "Resources");
    tidewell::registerBundledFonts();
    EXPECT_TRUE(tidewell::frauncesRegistered());
}

// Every brand mark shipped must carry a licence that allows shipping it, as
// the icon package states it today.
TEST(BundledStackIcons, ShippedMarksKeepAShippableLicence) {
    const char* source = std::getenv("TIDEWELL_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    std::ifstream data(fs::path(source) / "node_modules" / "simple-icons" / "data" / "simple-icons.json");
    ASSERT_TRUE(data) << "run scripts/setup";
    nlohmann::json catalogue = nlohmann::json::parse(data);
    if (catalogue.is_object() && catalogue.contains("icons")) catalogue = catalogue["icons"];

    std::ifstream in(builtResources() / "stack" / "NOTICE.txt");
    const std::string notice{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::regex line(R"((\w+)\.svg: [^(]+ \(([a-z0-9]+)\.svg\), (\S+))");
    int checked = 0;
    for (std::sregex_iterator it(notice.begin(), notice.end(), line), end; it != end; ++it, ++checked) {
        const std::string stack = (*it)[1], slug = (*it)[2], stated = (*it)[3];
        EXPECT_TRUE(fs::exists(builtResources() / "stack" / (stack + ".svg"))) << stack;
        EXPECT_EQ(stated.find("NC"), std::string::npos) << stack;
        EXPECT_EQ(stated.find("ND"), std::string::npos) << stack;
        const auto entry = std::find_if(catalogue.begin(), catalogue.end(),
                                        [&](const nlohmann::json& icon) { return icon.value("slug", "") == slug; });
        ASSERT_NE(entry, catalogue.end()) << slug;
        EXPECT_EQ(entry->contains("license") ? (*entry)["license"].value("type", "unknown") : "CC0-1.0", stated) << stack;
    }
    EXPECT_EQ(checked, 16);
}
