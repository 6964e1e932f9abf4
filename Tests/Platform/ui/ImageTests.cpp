#include "UITestSupport.h"

#include "foundation/Bundle.h"

#include <QColor>
#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>

using namespace uitest;

namespace {

int paintedPixels(const QImage& img)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += img.pixelColor(x, y).alpha() > 40;
    return n;
}

}  // namespace

TEST(Images, PngFilesKeepTheirColoursAndSize)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage source(8, 4, QImage::Format_ARGB32);
    source.fill(QColor(0, 0, 255));
    const QString path = dir.filePath("blue.png");
    ASSERT_TRUE(source.save(path));

    auto laid = layOut(View(Image::file(path.toStdString())).accessibilityIdentifier("png"), {100, 100});
    EXPECT_EQ(laid->frame("png").size(), (Size{8, 4}));
    const QImage out = renderToImage(View(Image::file(path.toStdString()).resizable()).frame(40, 40), {40, 40}, 1);
    EXPECT_GT(out.pixelColor(20, 20).blue(), 240);
    EXPECT_LT(out.pixelColor(20, 20).red(), 20);

    // A file that is not an image is refused, not drawn.
    const QString bogus = dir.filePath("bogus.png");
    QFile f(bogus);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not an image");
    f.close();
    EXPECT_FALSE(Image::file(bogus.toStdString()).isValid());
}

TEST(Images, SymbolsComeFromTheBundleAndFillNamesTakeTheFilledWeight)
{
    const char* bundle = std::getenv("TIDEWELL_BUNDLE");
    if (!bundle || !QDir(QString(bundle) + "/Resources/symbols").exists())
        FAIL() << "the bundle has no symbols";
    platform::Bundle::setMainForTesting(std::string(bundle) + "/bin/platform_ui_tests");
    const Image regular = Image::systemName("folder");
    const Image filled = Image::systemName("folder.fill");
    ASSERT_TRUE(regular.isValid());
    ASSERT_TRUE(filled.isValid());
    auto draw = [](const Image& img) {
        return renderToImage(View(img).font(Font::system(40)).foregroundStyle(Color::sRGB(0, 0.6, 0)).frame(60, 60), {60, 60}, 1);
    };
    const QImage r = draw(regular), f = draw(filled);
    EXPECT_GT(paintedPixels(f), paintedPixels(r) + 100);
    // A canvas draws it as its view does, in the square the view gives it.
    const double side = symbolSide(Font::system(40));
    const QImage drawn = renderToImage(Canvas([&](GraphicsContext& g, Size) {
                                           g.draw(filled, {30 - side / 2, 30 - side / 2, side, side}, Color::sRGB(0, 0.6, 0));
                                       }).frame(60, 60),
                                       {60, 60}, 1);
    EXPECT_EQ(drawn, f);
    // Tinted with the foreground style.
    bool green = false;
    for (int x = 0; x < 60 && !green; ++x) {
        const QColor c = f.pixelColor(x, 30);
        green = c.alpha() > 200 && c.green() > 120 && c.red() < 40;
    }
    EXPECT_TRUE(green);
    // The symbol is sized by the font.
    auto laid = layOut(View(Image::systemName("folder")).font(Font::system(20)).accessibilityIdentifier("s"), {100, 100});
    EXPECT_NEAR(laid->frame("s").width, 24, 0.01);
    platform::Bundle::resetMainForTesting();
}
