#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <cmath>

#include "kit/GrowingScanCanvas.h"
#include "ui/ViewHost.h"

using platform::ui::Size;
using namespace tidewell;

namespace {

QImage scene(double growth, long long buds, double time, double scale = 1, Size size = {1000, 800}) {
    return platform::ui::renderToImage(GrowingScanCanvas(growth, buds, time).body(), size, scale);
}

}  // namespace

TEST(GrowingScanCanvas, ASizeWithoutAreaDrawsNothing) {
    for (const Size s : {Size{0, 0}, Size{0, 120}, Size{120, 0}, Size{-5, 40}, Size{std::nan(""), 40}}) {
        QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            platform::ui::GraphicsContext context(p, std::make_shared<platform::ui::EnvironmentValues>(), 1);
            renderGrowingScan(GrowingScanCanvas(0.7, 3, 1.5), context, s);
        }
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) ASSERT_EQ(qAlpha(image.pixel(x, y)), 0) << s.width << "x" << s.height;
    }
    // Through the view layer, a zero-sized canvas neither draws nor crashes.
    const QImage none = scene(0.7, 3, 1.5, 1, {0, 0});
    EXPECT_TRUE(none.isNull() || none.width() * none.height() == 0 || qAlpha(none.pixel(0, 0)) == 0);
}

TEST(GrowingScanCanvas, IsAPureFunctionOfItsInputs) {
    const QImage a = scene(0.6, 3, 0);
    EXPECT_EQ(a, scene(0.6, 3, 0));
    EXPECT_NE(a, scene(0.6, 3, 2.0));  // motes, leaves and sap move with time
    EXPECT_NE(a, scene(0.6, 0, 0));    // a bud fewer is lit
}
