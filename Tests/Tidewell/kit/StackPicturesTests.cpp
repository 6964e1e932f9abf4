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
}

TEST(BrandMark, WithoutALogoTheGreenLeafStandsInClippedToTheRoundedSquare) {
    auto laid = layOut(tidewell::BrandMark(40, nullptr), {40, 40});
    const QImage image = laid->render(4);
    const RGBA green = tidewell::Theme::reclaim().resolve(ColorScheme::light);
    const QRect leaf = boundsOf(image, [&](const QColor& c) { return c.alpha() > 200 && near(c, green.red, green.green, green.blue, 10); });
    ASSERT_FALSE(leaf.isEmpty());
    EXPECT_EQ(announcedElements(laid->tester.tree()), 0) << "hidden from accessibility";
}

