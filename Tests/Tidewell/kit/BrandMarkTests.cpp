#include "KitViewTesting.h"

#include "kit/BrandMark.h"
#include "kit/Theme.h"

using namespace kittest;

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
