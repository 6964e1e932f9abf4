#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

#include "kit/GrowingScanCanvas.h"

using platform::ui::EnvironmentValues;
using platform::ui::GraphicsContext;
using platform::ui::Size;
using namespace tidewell;

namespace {

QImage paint(Size size, double scale, double shift, const std::function<void(GraphicsContext&)>& body)
{
    QImage image(int(std::ceil((size.width + shift) * scale)), int(std::ceil((size.height + shift) * scale)),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    p.translate(shift, shift);
    GraphicsContext context(p, std::make_shared<EnvironmentValues>(), scale);
    body(context);
    return image;
}

// The scene drawn layer by layer, nothing kept between frames.
void drawDirectly(const GrowingScanCanvas& scene, GraphicsContext& context, Size size)
{
    drawScanSky(context, size, scene.growth);
    drawScanHills(context, size);
    drawScanPond(context, size, scene.growth, scene.time);
    drawGrowingTree(scene, context, size);
    drawScanDrift(context, size, scene.time);
}

int largestDifference(const QImage& a, const QImage& b)
{
    int most = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            most = std::max({most, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                             std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    return most;
}

}  // namespace

TEST(ScanSceneKeptLayers, FramesLookAsIfDrawnLayerByLayer)
{
    // Sizes with the hills kept beneath the sky glow and with them drawn over it.
    struct Case {
        Size size;
        double scale, shift;
    };
    for (const Case& c : {Case{{640, 400}, 1, 0}, Case{{640, 400}, 2, 0.25}, Case{{520, 300}, 1, 0},
                          Case{{520, 300}, 2, 0}, Case{{800, 560}, 1.5, 0.5}})
        for (const double growth : {0.0, 0.5, 1.0})
            // The second and third frames copy what the first one kept.
            for (const double time : {0.0, 3.5, 7.25}) {
                const GrowingScanCanvas scene(growth, 3, time);
                const QImage direct = paint(c.size, c.scale, c.shift,
                                            [&](GraphicsContext& ctx) { drawDirectly(scene, ctx, c.size); });
                const QImage kept = paint(c.size, c.scale, c.shift,
                                          [&](GraphicsContext& ctx) { renderGrowingScan(scene, ctx, c.size); });
                // Kept layers composite as a whole: a few levels of rounding, no more.
                EXPECT_LE(largestDifference(direct, kept), 3)
                    << c.size.width << "x" << c.size.height << " at " << c.scale << "x, growth " << growth << ", time " << time;
            }
}

TEST(ScanSceneKeptLayers, TheHillsAreKeptOnlyWhereTheSkyGlowStaysAboveThem)
{
    EXPECT_TRUE(scanHillsClearOfSkyGlow({1280, 800}));
    EXPECT_TRUE(scanHillsClearOfSkyGlow({640, 600}));
    EXPECT_FALSE(scanHillsClearOfSkyGlow({640, 400}));  // the glow's foot reaches the back hill
    EXPECT_FALSE(scanHillsClearOfSkyGlow({1280, 500}));
    for (const Size s : {Size{1280, 800}, Size{640, 600}}) {
        const double glowFoot = scanSkyGlowRect(s).maxY();
        EXPECT_LT(glowFoot, scanBackHill(s).boundingRect().minY());
    }
}
