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
#include <sstream>
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

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Scratch : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("tidewell-brand-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(root);
    }
    void TearDown() override {
        platform::Bundle::resetMainForTesting();
        fs::remove_all(root);
    }
    void useBundle(const fs::path& resources) {
        platform::Bundle::setMainForTesting((resources.parent_path() / "bin" / "tidewell").string(),
                                            resources.string());
    }
    fs::path root;
};

}  // namespace

TEST(BrandLogo, TheBuiltBundleCarriesOurLogo) {
    const auto logo = tidewell::loadBrandLogoFrom(builtResources().string());
    ASSERT_NE(logo, nullptr);
    EXPECT_TRUE(logo->isVector);
    EXPECT_GT(logo->size.width(), 1);

    // The status item's image: 18 points, drawn at 2 pixels per point, corners cut.
    const auto image = tidewell::brandMarkImage(*logo, 18, 2);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->size(), QSize(36, 36));
    EXPECT_EQ(image->devicePixelRatio(), 2);
    EXPECT_EQ(qAlpha(image->pixel(0, 0)), 0) << "the corner is outside the rounded square";
    EXPECT_EQ(qAlpha(image->pixel(18, 18)), 255);
}

TEST_F(Scratch, WithoutALogoFileThereIsNoLogoAndNoImage) {
    EXPECT_EQ(tidewell::loadBrandLogoFrom(root.string()), nullptr);
    EXPECT_EQ(tidewell::loadBrandLogoFrom(""), nullptr);
}

TEST_F(Scratch, ALogoOnePointWideOrLessCountsAsMissing) {
    QImage(1, 40, QImage::Format_ARGB32).save(QString::fromStdString((root / "BrandLogo.png").string()));
    EXPECT_EQ(tidewell::loadBrandLogoFrom(root.string()), nullptr);

    QImage wide(64, 64, QImage::Format_ARGB32);
    wide.fill(Qt::green);
    fs::create_directories(root / "Resources");
    wide.save(QString::fromStdString((root / "Resources" / "BrandLogo.png").string()));
    const auto logo = tidewell::loadBrandLogoFrom(root.string());
    ASSERT_NE(logo, nullptr);
    EXPECT_FALSE(logo->isVector);
    EXPECT_EQ(logo->size, QSizeF(64, 64));
}

TEST_F(Scratch, ABrokenVectorLogoFallsThroughToTheNextCandidate) {
    fs::create_directories(root / "images");
    std::ofstream(root / "images" / "BrandLogo.svg") << "<svg";
    QImage png(32, 32, QImage::Format_ARGB32);
    png.fill(Qt::blue);
    png.save(QString::fromStdString((root / "BrandLogo.png").string()));
    const auto logo = tidewell::loadBrandLogoFrom(root.string());
    ASSERT_NE(logo, nullptr);
    EXPECT_FALSE(logo->isVector);
}

TEST(BrandLogo, ASideThatDrawsNothingGivesNoImage) {
    tidewell::BrandLogo logo;
    logo.isVector = true;
    logo.data = R"(<svg xmlns="http://www.w3.org/2000/svg" width="8" height="8"><rect width="8" height="8"/></svg>)";
    logo.size = QSizeF(8, 8);
    EXPECT_FALSE(tidewell::brandMarkImage(logo, 0).has_value());
    EXPECT_FALSE(tidewell::brandMarkImage(logo, -4).has_value());
    EXPECT_FALSE(tidewell::brandMarkImage(logo, std::nan("")).has_value());
    EXPECT_TRUE(tidewell::brandMarkImage(logo, 8).has_value());
}

// Registration is process-wide, so the whole story is one test, in order.
TEST_F(Scratch, TheDisplayFaceRegistersOnceAndIsRetriedUntilItDoes) {
    ASSERT_FALSE(tidewell::bundledFontsRegistered());

    // Missing: the system fonts stay.
    useBundle(root / "Resources");
    tidewell::registerBundledFonts();
    EXPECT_FALSE(tidewell::bundledFontsRegistered());

    // A damaged file doesn't register either, and is tried again next time.
    fs::create_directories(root / "Resources" / "Fonts");
    std::ofstream(root / "Resources" / "Fonts" / "Fraunces.ttf") << "not a font";
    tidewell::registerBundledFonts();
    EXPECT_FALSE(tidewell::bundledFontsRegistered());

    useBundle(builtResources());
    tidewell::registerBundledFonts();
    EXPECT_TRUE(tidewell::bundledFontsRegistered());
    EXPECT_TRUE(QFontDatabase::families().contains("Fraunces"));

    useBundle(root / "Resources");
    tidewell::registerBundledFonts();
    EXPECT_TRUE(tidewell::bundledFontsRegistered());
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

    const std::string notice = readAll(builtResources() / "stack" / "NOTICE.txt");
    const std::regex line(R"((\w+)\.svg: [^(]+ \(([a-z0-9]+)\.svg\), (\S+))");
    int checked = 0;
    for (std::sregex_iterator it(notice.begin(), notice.end(), line), end; it != end; ++it) {
        const std::string stack = (*it)[1], slug = (*it)[2], stated = (*it)[3];
        EXPECT_TRUE(fs::exists(builtResources() / "stack" / (stack + ".svg"))) << stack;
        EXPECT_EQ(stated.find("NC"), std::string::npos) << stack;
        EXPECT_EQ(stated.find("ND"), std::string::npos) << stack;
        const auto entry = std::find_if(catalogue.begin(), catalogue.end(),
                                        [&](const nlohmann::json& icon) { return icon.value("slug", "") == slug; });
        ASSERT_NE(entry, catalogue.end()) << slug;
        const std::string actual =
            entry->contains("license") ? (*entry)["license"].value("type", "unknown") : "CC0-1.0";
        EXPECT_EQ(actual, stated) << stack << " (" << slug << ")";
        ++checked;
    }
    EXPECT_EQ(checked, 12);
}
