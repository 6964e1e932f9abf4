#include "UITestSupport.h"

#include "ui/Painting.h"

#include <QColor>
#include <QPainter>

#include <algorithm>
#include <cmath>

using namespace uitest;

namespace {

QColor at(const QImage& img, double x, double y) { return img.pixelColor(int(x), int(y)); }
bool isRed(const QColor& c) { return c.red() > 180 && c.green() < 90 && c.blue() < 90 && c.alpha() > 180; }
bool isBlank(const QColor& c) { return c.alpha() < 20; }

}  // namespace

TEST(Painting, TrimmedArcAfterQuarterTurnBackStartsAtTopAndRunsClockwise)
{
    StrokeStyle s;
    s.lineWidth = 10;
    auto arc = Circle().trim(0, 0.25).stroke(Color::sRGB(1, 0, 0), s).rotationEffect(Angle::degrees(-90)).frame(100, 100);
    const QImage img = renderToImage(arc, {100, 100}, 1);
    // The stroke is centred on the circle, so its inner half shows inside the frame.
    EXPECT_TRUE(isRed(at(img, 52, 2)));                    // just past twelve o'clock
    const double a = -M_PI / 4;                            // half way to three o'clock
    EXPECT_TRUE(isRed(at(img, 50 + 47 * std::cos(a), 50 + 47 * std::sin(a))));
    EXPECT_TRUE(isBlank(at(img, 50 - 32, 50 - 32)));       // before twelve: nothing
    EXPECT_TRUE(isBlank(at(img, 50, 95)));                 // six o'clock
    EXPECT_TRUE(isBlank(at(img, 5, 50)));                  // nine o'clock
}

TEST(Painting, AngularGradientTurnsClockwiseFromItsStartAngle)
{
    AngularGradient g{Gradient{Color::sRGB(1, 0, 0), Color::sRGB(0, 0, 1)}, UnitPoint::center, Angle::degrees(0)};
    const QImage img = renderToImage(Rectangle().fill(g).frame(100, 100), {100, 100}, 1);
    // A quarter turn clockwise from three o'clock is six o'clock: still mostly red.
    const QColor bottom = at(img, 50, 95), top = at(img, 50, 5);
    EXPECT_GT(bottom.red(), bottom.blue());
    EXPECT_GT(top.blue(), top.red());
    // Just clockwise of the start is red; just anticlockwise is blue.
    EXPECT_GT(at(img, 95, 53).red(), 200);
    EXPECT_GT(at(img, 95, 46).blue(), 200);
}

TEST(Painting, DashPhaseIsInPoints)
{
    auto line = [](double phase) {
        StrokeStyle s;
        s.lineWidth = 4;
        s.dash = {10, 10};
        s.dashPhase = phase;
        return PathShape([](const Rect& r) {
                   Path p;
                   p.move({r.x, r.midY()});
                   p.addLine({r.maxX(), r.midY()});
                   return p;
               })
            .stroke(Color::sRGB(1, 0, 0), s)
            .frame(100, 20);
    };
    const QImage plain = renderToImage(line(0), {100, 20}, 1);
    EXPECT_TRUE(isRed(at(plain, 5, 10)));
    EXPECT_TRUE(isBlank(at(plain, 15, 10)));
    EXPECT_TRUE(isRed(at(plain, 25, 10)));
    const QImage shifted = renderToImage(line(5), {100, 20}, 1);
    EXPECT_TRUE(isRed(at(shifted, 2, 10)));
    EXPECT_TRUE(isBlank(at(shifted, 8, 10)));
    EXPECT_TRUE(isRed(at(shifted, 18, 10)));
    // The same in points at twice the scale.
    const QImage doubled = renderToImage(line(5), {100, 20}, 2);
    EXPECT_TRUE(isRed(at(doubled, 4, 20)));
    EXPECT_TRUE(isBlank(at(doubled, 16, 20)));
}

TEST(Painting, ShadowIsDrawnOutsideTheShapeOnTheOffsetSide)
{
    auto card = Rectangle().fill(Color::white()).frame(40, 40).shadow(Color::black().opacity(0.8), 4, 0, 8).frame(100, 100);
    const QImage img = renderToImage(card, {100, 100}, 1);
    EXPECT_EQ(at(img, 50, 50), QColor(Qt::white));
    const QColor below = at(img, 50, 74), above = at(img, 50, 28);
    EXPECT_GT(below.alpha(), 60);
    EXPECT_LT(above.alpha(), below.alpha());
    EXPECT_TRUE(isBlank(at(img, 3, 3)));
}

TEST(Painting, ClipShapeIsAntialiasedAndCutsCorners)
{
    const QImage img = renderToImage(View(Color::sRGB(1, 0, 0)).frame(100, 100).clipShape(Circle()), {100, 100}, 1);
    EXPECT_TRUE(isRed(at(img, 50, 50)));
    EXPECT_TRUE(isBlank(at(img, 3, 3)));
    // Some edge pixel is partly covered.
    bool partial = false;
    for (int x = 0; x < 50 && !partial; ++x) {
        const int a = img.pixelColor(x, 50 - 30).alpha();
        partial = a > 10 && a < 245;
    }
    EXPECT_TRUE(partial);
}

TEST(Painting, ColourSchemeSelectsTheVariant)
{
    const Color surface = Color::dynamic(Color::white(), Color::sRGB(0.145, 0.185, 0.2));
    EnvironmentValues dark;
    dark.colorScheme = ColorScheme::dark;
    const QImage light = renderToImage(View(surface).frame(10, 10), {10, 10}, 1);
    const QImage night = renderToImage(View(surface).frame(10, 10), {10, 10}, 1, dark);
    EXPECT_EQ(at(light, 5, 5), QColor(Qt::white));
    const QColor expected = QColor::fromRgbF(0.145f, 0.185f, 0.2f), got = at(night, 5, 5);
    EXPECT_NEAR(got.red(), expected.red(), 1);
    EXPECT_NEAR(got.green(), expected.green(), 1);
    EXPECT_NEAR(got.blue(), expected.blue(), 1);
}

TEST(Painting, SecondaryForegroundIsFainterThanPrimary)
{
    auto word = [](ShapeStyle s) { return Rectangle().fill().foregroundStyle(s).frame(10, 10); };
    const QImage primary = renderToImage(word(ShapeStyle::primary()), {10, 10}, 1);
    const QImage secondary = renderToImage(word(ShapeStyle::secondary()), {10, 10}, 1);
    EXPECT_GT(at(primary, 5, 5).alpha(), at(secondary, 5, 5).alpha());
}

TEST(Painting, ZeroSizedCanvasDrawsNothing)
{
    int calls = 0;
    auto canvas = Canvas([&](GraphicsContext&, Size) { ++calls; }).frame(0, 0);
    renderToImage(canvas, {20, 20}, 1);
    EXPECT_EQ(calls, 0);
}

TEST(Images, TemplateSvgTakesTheForegroundColour)
{
    const QByteArray svg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24"><rect x="2" y="2" width="20" height="20" fill="black"/></svg>)";
    auto img = Image::svgData(svg, "square").resizable().renderingMode(ImageRenderingMode::template_);
    ASSERT_TRUE(img.isValid());
    const QImage out = renderToImage(View(img).foregroundStyle(Color::sRGB(0, 1, 0)).frame(48, 48), {48, 48}, 1);
    EXPECT_GT(at(out, 24, 24).green(), 200);
    EXPECT_LT(at(out, 24, 24).red(), 40);
    const QImage original = renderToImage(View(Image::svgData(svg, "square").resizable()).frame(48, 48), {48, 48}, 1);
    EXPECT_LT(at(original, 24, 24).green(), 40);
}

TEST(Images, UnknownSymbolDrawsAPlaceholder)
{
    auto v = Image::systemName("no.such.symbol").font(Font::system(40));
    EXPECT_FALSE(Image::systemName("no.such.symbol").isValid());
    const QImage out = renderToImage(v, {60, 60}, 1);
    int painted = 0;
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) painted += out.pixelColor(x, y).alpha() > 0;
    EXPECT_GT(painted, 20);
}

TEST(Images, MissingFileIsInvalidAndDrawsNothing)
{
    EXPECT_FALSE(Image::file("/nonexistent/picture.png").isValid());
    const QImage out = renderToImage(Image::file("/nonexistent/picture.png").resizable().frame(20, 20), {20, 20}, 1);
    EXPECT_TRUE(isBlank(at(out, 10, 10)));
}

TEST(Paths, TrimMeasuresByLength)
{
    Path p;
    p.move({0, 0});
    p.addLine({100, 0});
    p.addLine({100, 100});
    EXPECT_NEAR(p.length(), 200, 1e-6);
    const Rect half = p.trimmed(0, 0.5).boundingRect();
    EXPECT_NEAR(half.width, 100, 1e-6);
    EXPECT_NEAR(half.height, 0, 1e-6);
    EXPECT_TRUE(p.trimmed(0.5, 0.5).isEmpty());
    EXPECT_NEAR(Path::ellipse({0, 0, 100, 100}).trimmed(0, 0.5).boundingRect().height, 50, 1.0);
    // A circle starts at three o'clock and its first quarter runs down to six.
    const Rect q = Path::ellipse({0, 0, 100, 100}).trimmed(0, 0.25).boundingRect();
    EXPECT_NEAR(q.x, 50, 1.0);
    EXPECT_NEAR(q.y, 50, 1.0);
}

TEST(Paths, ArcsTurnClockwiseOnScreenWhenAsked)
{
    Path p;
    p.addArc({50, 50}, 40, Angle::degrees(0), Angle::degrees(90), true);
    const Rect r = p.boundingRect();
    EXPECT_NEAR(r.y, 50, 1.0);      // through the lower half
    EXPECT_NEAR(r.maxY(), 90, 1.0);
}

TEST(Colours, OpacityMultipliesBothVariants)
{
    const Color c = Color::dynamic(Color::rgb255(255, 0, 0), Color::rgb255(0, 0, 255, 0.5)).opacity(0.5);
    EXPECT_DOUBLE_EQ(c.resolve(ColorScheme::light).alpha, 0.5);
    EXPECT_DOUBLE_EQ(c.resolve(ColorScheme::dark).alpha, 0.25);
    EXPECT_DOUBLE_EQ(c.resolve(ColorScheme::dark).blue, 1.0);
    EXPECT_EQ(Color::hex(0x0A84FF), Color::rgb255(10, 132, 255));
    EXPECT_DOUBLE_EQ(Color::sRGB(2, -1, 0.5).resolve(ColorScheme::light).red, 1.0);  // clamped
    EXPECT_FALSE(Color::red().resolve(ColorScheme::light) == Color::red().resolve(ColorScheme::dark));
}

TEST(Paths, TrimWithBadFractionsIsSafe)
{
    const Path circle = Path::ellipse({0, 0, 100, 100});
    EXPECT_TRUE(circle.trimmed(std::nan(""), std::nan("")).isEmpty());
    EXPECT_NEAR(circle.trimmed(-5, std::numeric_limits<double>::infinity()).length(), circle.length(), 1e-6);
    EXPECT_TRUE(circle.trimmed(0.7, 0.2).isEmpty());
    EXPECT_TRUE(Path().trimmed(0, 1).isEmpty());
}

TEST(Painting, InkedPartsCoverEveryPixelThatIsNotClearAndLittleElse)
{
    QImage rim(900, 500, QImage::Format_ARGB32_Premultiplied);
    rim.fill(Qt::transparent);
    {
        QPainter p(&rim);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::white, 1));
        p.drawRoundedRect(QRectF(3.5, 3.5, 890, 490), 20, 20);
    }
    QImage solid(300, 300, QImage::Format_ARGB32_Premultiplied);
    solid.fill(Qt::red);
    for (const QImage& image : {rim, solid}) {
        const std::vector<QRect> parts = inkedParts(image);
        long covered = 0;
        for (const QRect& r : parts) covered += long(r.width()) * r.height();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) != 0) {
                    ASSERT_TRUE(std::any_of(parts.begin(), parts.end(), [&](const QRect& r) { return r.contains(x, y); })) << x << "," << y;
                }
        EXPECT_LE(covered, long(image.width()) * image.height());
        if (image.width() == 900) {
            EXPECT_LT(covered, 900L * 500 / 2);  // a thin rim leaves most of the image out
        }
    }
}
