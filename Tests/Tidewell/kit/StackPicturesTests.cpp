#include "KitViewTesting.h"

#include "kit/BrandMark.h"
#include "kit/IconTile.h"
#include "kit/StackIcon.h"
#include "kit/StackVocabulary.h"
#include "kit/SymbolTile.h"
#include "kit/Theme.h"

using namespace kittest;

namespace {

bool opaque(const QColor& c) { return c.alpha() > 200; }
RGBA light(const Color& c) { return c.resolve(ColorScheme::light); }
QRect boundsIn(const QImage& image, const RGBA& tint) {
    return boundsOf(image, [&](const QColor& c) { return opaque(c) && near(c, tint.red, tint.green, tint.blue, 12); });
}

}  // namespace

TEST(StackIcon, DrawsTheFileInItsOwnColoursOrTheSymbolInTheIconTint) {
    // "tool_caches" ships no file; "Zig" is unknown (its fallback tint is the accent).
    const std::tuple<const char*, bool, RGBA> cases[] = {
        {"tool_caches", false, light(tidewell::stackIconTint("tool_caches"))},
        {"tool_caches", true, light(tidewell::stackIconTint("tool_caches"))},
        {"Zig", false, light(tidewell::Theme::accent())},
        {"node", false, light(Color::hex(0x5FA04E))},
        {"node", true, light(tidewell::stackIconTint("node"))},
    };
    for (const auto& [id, forceTint, expected] : cases) {
        SCOPED_TRACE(std::string(id) + (forceTint ? " forced" : ""));
        const QImage image = layOut(tidewell::StackIcon(id, 28, forceTint), {28, 28})->render(2);
        int drawn = 0, off = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = QColor::fromRgba(image.pixel(x, y));
                drawn += opaque(c);
                off += opaque(c) && !near(c, expected.red, expected.green, expected.blue, 10);
            }
        EXPECT_GE(drawn, 20);
        EXPECT_EQ(off, 0) << "pixels in another colour";
    }
}

TEST(StackIcon, IconsStayRecognisableAtSixteenPoints) {
    // A mark that collapses to a blot fills nearly all of its square; a
    // recognisable one keeps its counters and edges.
    for (const auto id : {"flutter", "react_native", "node", "rust", "python", "go"}) {
        const QImage image = layOut(tidewell::StackIcon(id, 16), {16, 16})->render(2);
        int drawn = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) drawn += opaque(QColor::fromRgba(image.pixel(x, y)));
        const int area = image.width() * image.height();
        EXPECT_GT(drawn, area / 10) << id;
        EXPECT_LT(drawn, area * 9 / 10) << id;
    }
}

TEST(StackPictures, TilesPlaceTheirPicturesAndAllAreHiddenFromAccessibility) {
    auto row = layOut(HStack({tidewell::StackIcon("node", 20), tidewell::IconTile("rust", 30, 8),
                              tidewell::SymbolTile("leaf.fill", tidewell::Theme::reclaim(), 30)}),
                      {200, 60});
    EXPECT_EQ(announcedElements(row->tester.tree()), 0);

    // An icon tile of 40 holds a 22-point tinted icon on white.
    const QImage tile = layOut(tidewell::IconTile("rust", 40, 10), {40, 40})->render(4);
    const QRect icon = boundsIn(tile, light(tidewell::stackIconTint("rust")));
    ASSERT_FALSE(icon.isEmpty());
    EXPECT_TRUE(QRectF(9 * 4 - 1, 9 * 4 - 1, 22 * 4 + 2, 22 * 4 + 2).contains(QRectF(icon))) << "in its 22-point square";
    EXPECT_GT(icon.width(), 14 * 4) << "and fills most of it";
    EXPECT_TRUE(near(pixel(tile, 20 * 4, 2 * 4), 1, 1, 1));

    // A symbol tile of 40 rounds its corners at 11.2 and washes in its tint.
    const RGBA tint = light(tidewell::Theme::caution());
    const QImage symbolTile = layOut(tidewell::SymbolTile("leaf.fill", tidewell::Theme::caution(), 40), {40, 40})->render(4);
    EXPECT_LT(pixel(symbolTile, 1.5 * 4, 1.5 * 4).alpha(), 10);
    const QColor edge = pixel(symbolTile, 20 * 4, 1.5 * 4);
    EXPECT_GT(edge.alpha(), 20);
    EXPECT_TRUE(near(edge, tint.red, tint.green, tint.blue, 12));
    const QRect symbol = boundsIn(symbolTile, tint);
    ASSERT_FALSE(symbol.isEmpty());
    EXPECT_TRUE(QRectF(8 * 4, 8 * 4, 24 * 4, 24 * 4).contains(QRectF(symbol))) << "at 0.44 of the side, centred";
}

TEST(BrandMark, WithoutALogoTheGreenLeafStandsInClippedToTheRoundedSquare) {
    auto laid = layOut(tidewell::BrandMark(40, nullptr), {40, 40});
    const QImage image = laid->render(4);
    const RGBA green = tidewell::Theme::reclaim().resolve(ColorScheme::light);
    const QRect leaf = boundsOf(image, [&](const QColor& c) { return c.alpha() > 200 && near(c, green.red, green.green, green.blue, 10); });
    ASSERT_FALSE(leaf.isEmpty());
    // The leaf symbol at 0.55 × 40 = 22 points, centred.
    EXPECT_LE(leaf.width(), 27 * 4);
    EXPECT_GE(leaf.width(), 12 * 4);
    EXPECT_NEAR(leaf.center().x(), 20 * 4, 2 * 4);
    EXPECT_EQ(announcedElements(laid->tester.tree()), 0) << "hidden from accessibility";
}

TEST(BrandMark, TheLogoIsClippedToCornersOfPointTwentyTwoOfItsSide) {
    const char* bundle = std::getenv("TIDEWELL_BUNDLE");
    ASSERT_NE(bundle, nullptr);
    const auto logo = tidewell::loadBrandLogoFrom(std::string(bundle) + "/Resources");
    ASSERT_TRUE(logo) << "the built bundle carries the drawn logo";
    auto laid = layOut(tidewell::BrandMark(40, logo), {40, 40});
    const QImage image = laid->render(4);
    // Radius 8.8: (1, 1) lies outside the corner's arc, (4, 4) inside it.
    EXPECT_LT(pixel(image, 1 * 4, 1 * 4).alpha(), 10);
    EXPECT_GT(pixel(image, 4 * 4, 4 * 4).alpha(), 200);
    EXPECT_GT(pixel(image, 20 * 4, 20 * 4).alpha(), 200);
    EXPECT_EQ(announcedElements(laid->tester.tree()), 0);
}
