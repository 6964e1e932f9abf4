#include "UITestSupport.h"

#include "ui/Painting.h"

#include <QColor>

using namespace uitest;

namespace {

QColor at(const QImage& img, double x, double y) { return img.pixelColor(int(x), int(y)); }
bool blank(const QColor& c) { return c.alpha() < 10; }
const Color kRed = Color::sRGB(1, 0, 0);

// A 40×40 view centred in a 60×60 picture.
QImage centred(const View& v) { return renderToImage(v.frame(40, 40).frame(60, 60), {60, 60}, 1); }

}  // namespace

TEST(Shapes, StrokeBorderStaysInsideWhileStrokeStraddlesTheEdge)
{
    const QImage border = centred(Rectangle().strokeBorder(kRed, 4));
    const QImage stroke = centred(Rectangle().stroke(kRed, 4));
    EXPECT_TRUE(blank(at(border, 9, 30)));       // just outside the frame
    EXPECT_EQ(at(border, 11, 30).alpha(), 255);  // just inside
    EXPECT_EQ(at(stroke, 9, 30).alpha(), 255);
    EXPECT_TRUE(blank(at(stroke, 13, 30)));      // half the width inside only
}

TEST(Shapes, ContinuousCornersBendEarlierThanCircularOnes)
{
    const QImage continuous = renderToImage(RoundedRectangle(20).fill(kRed).frame(100, 100), {100, 100}, 1);
    const QImage circular = renderToImage(RoundedRectangle(20, RoundedCornerStyle::circular).fill(kRed).frame(100, 100), {100, 100}, 1);
    EXPECT_TRUE(blank(at(continuous, 0, 0)));
    EXPECT_TRUE(blank(at(circular, 0, 0)));
    EXPECT_EQ(at(circular, 22, 0).alpha(), 255);       // circular: straight edge from 20 on
    EXPECT_LT(at(continuous, 22, 0).alpha(), 200);     // continuous: still curving
    EXPECT_EQ(at(continuous, 50, 0).alpha(), 255);
    EXPECT_EQ(at(continuous, 50, 50).alpha(), 255);
}

TEST(Shapes, CapsulesAndCirclesFitTheirFrame)
{
    const QImage capsule = renderToImage(Capsule().fill(kRed).frame(100, 20), {100, 20}, 1);
    EXPECT_TRUE(blank(at(capsule, 0, 0)));
    EXPECT_EQ(at(capsule, 10, 10).alpha(), 255);
    EXPECT_EQ(at(capsule, 50, 1).alpha(), 255);
    // A circle is the largest one centred in a wide frame.
    const QImage circle = renderToImage(Circle().fill(kRed).frame(100, 40), {100, 40}, 1);
    EXPECT_TRUE(blank(at(circle, 20, 20)));
    EXPECT_EQ(at(circle, 50, 20).alpha(), 255);
    EXPECT_TRUE(blank(at(circle, 71, 20)));
}

TEST(Shapes, LinearAndRadialGradientsOverTheShape)
{
    const QImage linear = renderToImage(Rectangle().fill(LinearGradient{Gradient{kRed, Color::sRGB(0, 0, 1)}}).frame(20, 100), {20, 100}, 1);
    EXPECT_GT(at(linear, 10, 1).red(), 240);   // top to bottom by default
    EXPECT_GT(at(linear, 10, 98).blue(), 240);
    const QImage radial = renderToImage(
        Rectangle().fill(RadialGradient{Gradient{kRed, Color::sRGB(0, 0, 1)}, UnitPoint::center, 10, 40}).frame(100, 100), {100, 100}, 1);
    EXPECT_GT(at(radial, 55, 50).red(), 240);
    EXPECT_GT(at(radial, 50, 2).blue(), 240);
}

TEST(Shapes, MaterialsAreTranslucentAndFollowTheScheme)
{
    EnvironmentValues dark;
    dark.colorScheme = ColorScheme::dark;
    const QImage light = renderToImage(Rectangle().fill(Material::regular).frame(10, 10), {10, 10}, 1);
    const QImage night = renderToImage(Rectangle().fill(Material::regular).frame(10, 10), {10, 10}, 1, dark);
    EXPECT_GT(at(light, 5, 5).alpha(), 20);
    EXPECT_LT(at(light, 5, 5).alpha(), 250);
    EXPECT_GT(at(light, 5, 5).lightness(), at(night, 5, 5).lightness());
}

TEST(Effects, OpacityScaleAndHidden)
{
    const QImage half = renderToImage(View(kRed).frame(10, 10).opacity(0.5), {10, 10}, 1);
    EXPECT_NEAR(at(half, 5, 5).alpha(), 128, 2);
    EXPECT_TRUE(blank(at(renderToImage(View(kRed).frame(10, 10).opacity(0), {10, 10}, 1), 5, 5)));

    // Scaling draws beyond the frame without moving the layout.
    const QImage scaled = renderToImage(View(kRed).frame(20, 20).scaleEffect(2).frame(60, 60), {60, 60}, 1);
    EXPECT_EQ(at(scaled, 12, 30).alpha(), 255);
    auto laid = layOut(VStack(HorizontalAlignment::center, 0, {box("big", 20, 20).scaleEffect(2), box("next", 20, 20)}), {100, 100});
    EXPECT_EQ(laid->frame("big").width, 40);
    EXPECT_EQ(laid->frame("next").y - laid->frame("big").y, 30);  // laid out at 20, drawn at 40

    // Hidden views keep their room but draw nothing and are not found.
    auto hidden = layOut(VStack(HorizontalAlignment::center, 0, {box("gone", 20, 20).hidden(), box("after", 20, 20)}), {100, 100});
    EXPECT_FALSE(hidden->has("gone"));
    EXPECT_EQ(hidden->frame("after").y, 50);
}

TEST(Effects, HigherZIndexDrawsOnTop)
{
    auto pair = [](double firstZ) {
        return renderToImage(ZStack({View(kRed).frame(20, 20).zIndex(firstZ), View(Color::sRGB(0, 0, 1)).frame(20, 20)}), {20, 20}, 1);
    };
    EXPECT_GT(at(pair(0), 10, 10).blue(), 240);  // later draws over earlier
    EXPECT_GT(at(pair(1), 10, 10).red(), 240);
}

TEST(Effects, ShadowsAreBlurredOncePerContent)
{
    auto card = [] { return Rectangle().fill(Color::white()).frame(30, 30).shadow(Color::black().opacity(0.5), 6, 0, 2).frame(80, 80); };
    renderToImage(card(), {80, 80}, 1);
    const size_t before = shadowBlurCount();
    renderToImage(card(), {80, 80}, 1);
    EXPECT_EQ(shadowBlurCount(), before);
    renderToImage(Rectangle().fill(Color::white()).frame(30, 30).shadow(Color::black().opacity(0.5), 9, 0, 2).frame(80, 80), {80, 80}, 1);
    EXPECT_EQ(shadowBlurCount(), before + 1);
}

TEST(Effects, ClippedRowsDoNotSpillAndClippedViewsTakeNoOutsideTaps)
{
    const QImage img = renderToImage(VStack(HorizontalAlignment::center, 0, {View(kRed).frame(40, 100)}).frame(40, 40).clipped().frame(60, 60), {60, 60}, 1);
    EXPECT_EQ(at(img, 30, 30).alpha(), 255);
    EXPECT_TRUE(blank(at(img, 30, 55)));

    int taps = 0;
    auto laid = layOut(View(kRed).frame(100, 100).onTapGesture([&] { ++taps; }).clipShape(Circle()), {100, 100});
    laid->tester.tapAt({3, 3});
    EXPECT_EQ(taps, 0);
    laid->tester.tapAt({50, 50});
    EXPECT_EQ(taps, 1);
}
