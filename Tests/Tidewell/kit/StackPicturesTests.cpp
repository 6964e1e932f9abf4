#include "KitViewTesting.h"

#include "kit/IconTile.h"
#include "kit/StackIcon.h"
#include "kit/StackVocabulary.h"
#include "kit/SymbolTile.h"
#include "kit/Theme.h"

using namespace kittest;

namespace {

class StackPictures : public ::testing::Test {
protected:
};

bool opaque(const QColor& c) { return c.alpha() > 200; }

// Every clearly drawn pixel is close to `expected`; at least `minimum` of them.
void expectDrawnIn(const QImage& image, const RGBA& expected, int minimum = 20) {
    int drawn = 0, off = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = QColor::fromRgba(image.pixel(x, y));
            if (!opaque(c)) continue;
            ++drawn;
            if (!near(c, expected.red, expected.green, expected.blue, 10)) ++off;
        }
    EXPECT_GE(drawn, minimum);
    EXPECT_EQ(off, 0) << "pixels in another colour";
}

}  // namespace

TEST_F(StackPictures, AStackWithoutAFileShowsItsSymbolInItsIconTintEitherWay) {
    // "tool_caches" ships no icon file; "Zig" is unknown (its fallback tint is the accent).
    for (bool forceTint : {false, true}) {
        SCOPED_TRACE(forceTint);
        auto laid = layOut(tidewell::StackIcon("tool_caches", 40, forceTint), {40, 40});
        expectDrawnIn(laid->render(2), tidewell::stackIconTint("tool_caches").resolve(ColorScheme::light));
    }
    auto unknown = layOut(tidewell::StackIcon("Zig", 40), {40, 40});
    expectDrawnIn(unknown->render(2), tidewell::Theme::accent().resolve(ColorScheme::light));
}

TEST_F(StackPictures, AnIconFileKeepsItsOwnColoursUnlessTheTintIsForced) {
    auto own = layOut(tidewell::StackIcon("node", 28), {28, 28});
    expectDrawnIn(own->render(2), Color::hex(0x5FA04E).resolve(ColorScheme::light));

    auto forced = layOut(tidewell::StackIcon("node", 28, true), {28, 28});
    expectDrawnIn(forced->render(2), tidewell::stackIconTint("node").resolve(ColorScheme::light));
}

TEST_F(StackPictures, IconsStayRecognisableAtSixteenPoints) {
    // A mark that collapses to a blot fills nearly all of its square; a
    // recognisable one keeps its counters and edges.
    for (const auto id : {"flutter", "react_native", "node", "rust", "python", "go"}) {
        SCOPED_TRACE(id);
        auto laid = layOut(tidewell::StackIcon(id, 16), {16, 16});
        const QImage image = laid->render(2);
        int drawn = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) drawn += opaque(QColor::fromRgba(image.pixel(x, y)));
        const int area = image.width() * image.height();
        EXPECT_GT(drawn, area / 10);
        EXPECT_LT(drawn, area * 9 / 10);
    }
}

TEST_F(StackPictures, PicturesAreHiddenFromAccessibility) {
    auto laid = layOut(HStack({tidewell::StackIcon("node", 20), tidewell::IconTile("rust", 30, 8),
                               tidewell::SymbolTile("leaf.fill", tidewell::Theme::reclaim(), 30)}),
                       {200, 60});
    EXPECT_EQ(announcedElements(laid->tester.tree()), 0);
}

TEST_F(StackPictures, AnIconTileOfFortyHoldsATwentyTwoPointTintedIconOnWhite) {
    auto laid = layOut(tidewell::IconTile("rust", 40, 10), {40, 40});
    const double scale = 4;
    const QImage image = laid->render(scale);
    const RGBA tint = tidewell::stackIconTint("rust").resolve(ColorScheme::light);
    const QRect icon = boundsOf(image, [&](const QColor& c) { return opaque(c) && near(c, tint.red, tint.green, tint.blue, 12); });
    ASSERT_FALSE(icon.isEmpty()) << "the tinted icon is drawn";
    const QRectF allowed(9 * scale, 9 * scale, 22 * scale, 22 * scale);
    EXPECT_TRUE(allowed.adjusted(-1, -1, 1, 1).contains(QRectF(icon))) << "the icon stays in its 22-point square";
    EXPECT_GT(icon.width(), 14 * scale) << "and fills most of it";
    EXPECT_TRUE(near(pixel(image, 20 * scale, 2 * scale), 1, 1, 1)) << "on the white tile";
}

TEST_F(StackPictures, ASymbolTileOfFortyRoundsItsCornersAtElevenPointTwo) {
    const RGBA tint = tidewell::Theme::caution().resolve(ColorScheme::light);
    auto laid = layOut(tidewell::SymbolTile("leaf.fill", tidewell::Theme::caution(), 40), {40, 40});
    const QImage image = laid->render(4);
    // (1.5, 1.5) lies outside a corner of radius 11.2; (20, 1.5) inside the tile.
    EXPECT_LT(pixel(image, 1.5 * 4, 1.5 * 4).alpha(), 10);
    const QColor edge = pixel(image, 20 * 4, 1.5 * 4);
    EXPECT_GT(edge.alpha(), 20);
    EXPECT_TRUE(near(edge, tint.red, tint.green, tint.blue, 12)) << "washed in the tint";
    const QRect symbol = boundsOf(image, [&](const QColor& c) { return opaque(c) && near(c, tint.red, tint.green, tint.blue, 12); });
    ASSERT_FALSE(symbol.isEmpty()) << "the symbol is drawn in the tint";
    EXPECT_TRUE(QRectF(8 * 4, 8 * 4, 24 * 4, 24 * 4).contains(QRectF(symbol))) << "at 0.44 of the side, centred";
}
