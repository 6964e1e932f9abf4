#include "UITestSupport.h"

#include <QColor>
#include <QPainter>

#include <algorithm>
#include <cmath>

using namespace uitest;

namespace {

QImage draw(const std::function<void(GraphicsContext&, Size)>& renderer, Size size = {100, 100}, double scale = 1)
{
    return renderToImage(Canvas(renderer).frame(size.width, size.height), size, scale);
}

QColor at(const QImage& img, int x, int y) { return img.pixelColor(x, y); }
bool red(const QColor& c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60 && c.alpha() > 200; }
bool blank(const QColor& c) { return c.alpha() < 10; }
const Color kRed = Color::sRGB(1, 0, 0);

Path bar() { return Path::rect({40, 0, 20, 30}); }  // a bar at the top centre

}  // namespace

TEST(CanvasContext, RotationTurnsClockwiseAboutTheOrigin)
{
    const QImage img = draw([](GraphicsContext& ctx, Size s) {
        ctx.translateBy(s.width / 2, s.height / 2);
        ctx.rotate(Angle::degrees(90));
        ctx.translateBy(-s.width / 2, -s.height / 2);
        ctx.fill(bar(), kRed);
    });
    EXPECT_TRUE(red(at(img, 85, 50)));  // the top bar now points right
    EXPECT_TRUE(blank(at(img, 50, 10)));
}

TEST(CanvasContext, ClipLimitsLaterDrawingOnly)
{
    const QImage img = draw([](GraphicsContext& ctx, Size s) {
        ctx.fill(Path::rect({0, 90, s.width, 10}), Color::sRGB(0, 0, 1));  // before the clip: whole width
        ctx.clip(Path::rect({0, 0, s.width / 2, s.height}));
        ctx.fill(Path::rect({0, 0, s.width, 50}), kRed);
    });
    EXPECT_TRUE(red(at(img, 10, 10)));
    EXPECT_TRUE(blank(at(img, 90, 10)));
    EXPECT_GT(at(img, 90, 95).blue(), 200);
}

TEST(CanvasContext, CopiesKeepTheirOwnState)
{
    const QImage img = draw([](GraphicsContext& ctx, Size) {
        GraphicsContext faded = ctx;
        faded.opacity = 0.5;
        faded.translateBy(50, 0);
        faded.fill(Path::rect({0, 0, 50, 50}), kRed);
        ctx.fill(Path::rect({0, 0, 50, 50}), kRed);  // the original is untouched
    });
    EXPECT_EQ(at(img, 25, 25).alpha(), 255);
    EXPECT_NEAR(at(img, 75, 25).alpha(), 128, 3);
}

TEST(CanvasContext, LayerIsCompositedWithTheContextOpacity)
{
    const QImage img = draw([](GraphicsContext& ctx, Size) {
        ctx.opacity = 0.5;
        ctx.drawLayer([](GraphicsContext& layer) {
            // Overlapping fills inside a layer do not add up.
            layer.fill(Path::rect({0, 0, 60, 60}), kRed);
            layer.fill(Path::rect({30, 30, 60, 60}), kRed);
        });
    });
    EXPECT_NEAR(at(img, 45, 45).alpha(), 128, 3);
    EXPECT_NEAR(at(img, 10, 10).alpha(), 128, 3);
}

TEST(CanvasContext, FillRules)
{
    auto ring = [](FillRule rule) {
        return draw([rule](GraphicsContext& ctx, Size) {
            Path p;
            p.addEllipse({10, 10, 80, 80});
            p.addEllipse({30, 30, 40, 40});
            ctx.fill(p, kRed, rule);
        });
    };
    EXPECT_TRUE(blank(at(ring(FillRule::evenOdd), 50, 50)));
    EXPECT_TRUE(red(at(ring(FillRule::nonZero), 50, 50)));  // both run the same way
    EXPECT_TRUE(red(at(ring(FillRule::evenOdd), 20, 50)));
}

TEST(CanvasContext, GradientsAreInCanvasPoints)
{
    const QImage linear = draw([](GraphicsContext& ctx, Size s) {
        ctx.fill(Path::rect({0, 0, s.width, s.height}),
                 Shading::linearGradient(Gradient{kRed, Color::sRGB(0, 0, 1)}, {20, 0}, {80, 0}));
    });
    EXPECT_TRUE(red(at(linear, 10, 50)));               // before the start: the first colour
    EXPECT_GT(at(linear, 95, 50).blue(), 240);          // past the end: the last
    EXPECT_NEAR(at(linear, 50, 50).red(), 128, 12);     // half way

    const QImage radial = draw([](GraphicsContext& ctx, Size s) {
        ctx.fill(Path::rect({0, 0, s.width, s.height}),
                 Shading::radialGradient(Gradient{kRed, Color::sRGB(0, 0, 1)}, {50, 50}, 10, 40));
    });
    EXPECT_TRUE(red(at(radial, 52, 52)));               // inside the start radius
    EXPECT_GT(at(radial, 50, 5).blue(), 240);           // beyond the end radius
    const QColor mid = at(radial, 75, 50);              // 25 points out: half way
    EXPECT_NEAR(mid.red(), 128, 16);
}

TEST(CanvasContext, LineCapsAndWidthsInPoints)
{
    auto line = [](LineCap cap, double scale) {
        return draw([cap](GraphicsContext& ctx, Size) {
            Path p;
            p.move({20, 50});
            p.addLine({80, 50});
            StrokeStyle s;
            s.lineWidth = 10;
            s.lineCap = cap;
            ctx.stroke(p, kRed, s);
        }, {100, 100}, scale);
    };
    EXPECT_TRUE(blank(at(line(LineCap::butt, 1), 17, 50)));
    EXPECT_TRUE(red(at(line(LineCap::square, 1), 17, 50)));
    EXPECT_TRUE(red(at(line(LineCap::round, 1), 17, 50)));
    EXPECT_TRUE(red(at(line(LineCap::butt, 2), 100, 91)));   // 10 points is 20 pixels at 2×
    EXPECT_TRUE(blank(at(line(LineCap::butt, 2), 100, 80)));
}

TEST(CanvasContext, DrawsPlainText)
{
    const QImage img = draw([](GraphicsContext& ctx, Size s) {
        ctx.draw("<b>Hi</b>", Font::system(20, FontWeight::bold), kRed, {s.width / 2, s.height / 2});
    });
    int painted = 0;
    for (int y = 30; y < 70; ++y)
        for (int x = 0; x < 100; ++x) painted += at(img, x, y).alpha() > 0;
    EXPECT_GT(painted, 50);
    EXPECT_TRUE(blank(at(img, 50, 5)));
}

TEST(CanvasView, TakesTheOfferAndAnIdealOfTen)
{
    Size seen;
    auto laid = layOut(VStack({Canvas([&](GraphicsContext&, Size s) { seen = s; }).frame(FrameSpec{.maxWidth = 120}).accessibilityIdentifier("c")}),
                       {300, 300});
    laid->host->renderImage(1);
    EXPECT_EQ(seen.width, 120);
    EXPECT_EQ(laid->frame("c").height, 300);  // a canvas is as tall as offered
}

namespace {

// A picture with a gradient, a translucent stroke and curved edges.
void picture(GraphicsContext& ctx)
{
    ctx.fill(Path::rect({0, 0, 100, 100}),
             Shading::linearGradient(Gradient{Color::sRGB(0, 0.2, 0.3), Color::sRGB(0.1, 0.4, 0.2)}, {0, 0}, {0, 100}));
    ctx.fill(Path::ellipse({20, 30, 50, 40}),
             Shading::radialGradient(Gradient{kRed.opacity(0.6), kRed.opacity(0)}, {45, 50}, 2, 25));
    StrokeStyle s;
    s.lineWidth = 1.5;
    ctx.stroke(Path::ellipse({10, 10, 70, 30}), Color::white().opacity(0.4), s);
}

// The largest difference of any channel of any pixel.
int largestDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return 256;
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

TEST(CanvasCachedDrawing, LooksLikeDrawingDirectlyAtAnyScaleAndPlacement)
{
    for (const double scale : {1.0, 2.0, 1.5})
        for (const double shift : {0.0, 0.25, 3.5}) {
            CanvasCache cache;
            const auto shifted = [shift](GraphicsContext& ctx) { ctx.translateBy(shift, shift / 2); };
            const QImage direct = draw([&](GraphicsContext& ctx, Size) { shifted(ctx); picture(ctx); }, {120, 120}, scale);
            for (int frame = 0; frame < 2; ++frame) {  // drawn afresh, then copied
                const QImage cached = draw([&](GraphicsContext& ctx, Size) {
                    shifted(ctx);
                    ctx.drawCached(cache, "picture", {0, 0, 100, 100}, picture);
                }, {120, 120}, scale);
                EXPECT_LE(largestDifference(direct, cached), 1) << scale << "x shifted " << shift << " frame " << frame;
            }
            EXPECT_EQ(cache.renders(), 1u);
        }
}

TEST(CanvasCachedDrawing, DrawsAfreshWhenTheKeyBoundsScaleOrSubPixelPlacementChange)
{
    CanvasCache cache;
    const auto frame = [&](const std::string& key, Rect bounds, double scale, double dx) {
        draw([&](GraphicsContext& ctx, Size) {
            ctx.translateBy(dx, 0);
            ctx.drawCached(cache, key, bounds, [](GraphicsContext& c) { c.fill(Path::rect({0, 0, 50, 50}), kRed); });
        }, {100, 100}, scale);
        return cache.renders();
    };
    EXPECT_EQ(frame("a", {0, 0, 50, 50}, 1, 0), 1u);
    EXPECT_EQ(frame("a", {0, 0, 50, 50}, 1, 0), 1u);
    EXPECT_EQ(frame("a", {0, 0, 50, 50}, 1, 7), 1u);     // a whole-pixel move copies the same pixels
    EXPECT_EQ(frame("b", {0, 0, 50, 50}, 1, 7), 2u);     // another key
    EXPECT_EQ(frame("b", {0, 0, 40, 50}, 1, 7), 3u);     // other bounds
    EXPECT_EQ(frame("b", {0, 0, 40, 50}, 2, 7), 4u);     // another scale
    EXPECT_EQ(frame("b", {0, 0, 40, 50}, 2, 7.25), 5u);  // half a pixel over at 2×
    cache.clear();
    EXPECT_EQ(frame("b", {0, 0, 40, 50}, 2, 7.25), 6u);
}

TEST(CanvasCachedDrawing, AGrowingDrawingIsResampledAndCrispOnceItsScaleHolds)
{
    CanvasCache cache;
    const auto frame = [&](double s, bool cached) {
        return draw([&](GraphicsContext& ctx, Size) {
            ctx.translateBy(10.3, 10.3);
            ctx.scaleBy(s, s);
            if (cached) ctx.drawCached(cache, "picture", {0, 0, 100, 100}, picture);
            else picture(ctx);
        }, {120, 120});
    };
    // {scale, renders so far, largest difference from drawing directly}
    const struct { double scale; size_t renders; int most; } steps[] = {
        {0.84, 1, 1},   // first seen: crisp
        {0.9, 2, 40},   // growing: made once at its own scale, then resampled
        {0.97, 2, 40}, {1.02, 2, 40},
        {1.0, 3, 1},    // its own scale: crisp at once
        {1.05, 3, 40},  // a swell: resampled while it moves
        {1.05, 4, 1},   // held: crisp again
    };
    for (const auto& step : steps) {
        const QImage cached = frame(step.scale, true);
        EXPECT_EQ(cache.renders(), step.renders) << step.scale;
        EXPECT_LE(largestDifference(frame(step.scale, false), cached), step.most) << step.scale;
    }
}

TEST(CanvasCachedDrawing, TakesTheContextsOpacityAndClip)
{
    CanvasCache cache;
    const QImage img = draw([&](GraphicsContext& ctx, Size s) {
        ctx.clip(Path::rect({0, 0, s.width, 60}));
        ctx.opacity = 0.5;
        ctx.drawCached(cache, "bar", {0, 0, 50, 100}, [](GraphicsContext& c) { c.fill(Path::rect({0, 0, 50, 100}), kRed); });
    });
    EXPECT_NEAR(at(img, 25, 30).alpha(), 128, 2);
    EXPECT_GT(at(img, 25, 30).red(), 200);
    EXPECT_TRUE(blank(at(img, 25, 80)));  // beyond the clip
}

// Turned, the pixels kept at the drawing's own scale are laid down resampled
// through the rotation: made once, whatever the angle.
TEST(CanvasCachedDrawing, ARotatedContextLaysItsKeptPixelsDownTurned)
{
    CanvasCache cache;
    for (const double degrees : {30.0, 75.0, 200.0}) {
        const auto turned = [degrees](GraphicsContext& ctx) {
            ctx.translateBy(60, 60);
            ctx.rotate(Angle::degrees(degrees));
            ctx.translateBy(-50, -50);
        };
        const QImage direct = draw([&](GraphicsContext& ctx, Size) { turned(ctx); picture(ctx); }, {120, 120});
        const QImage cached = draw([&](GraphicsContext& ctx, Size) {
            turned(ctx);
            ctx.drawCached(cache, "picture", {0, 0, 100, 100}, picture);
        }, {120, 120});
        EXPECT_LE(largestDifference(direct, cached), 40) << degrees;
    }
    EXPECT_EQ(cache.renders(), 1u);
}

// Pixels made of a drawing and laid back down are the drawing, at any scale
// and sub-pixel place; they are laid as one layer under the context's opacity.
TEST(CanvasContext, PixelsOfADrawingLayItDownAsDrawn)
{
    for (const double scale : {1.0, 2.0}) {
        const auto moved = [](GraphicsContext& ctx) { ctx.translateBy(3.25, 0.5); };
        const QImage direct = draw([&](GraphicsContext& ctx, Size) { moved(ctx); picture(ctx); }, {120, 120}, scale);
        const QImage laid = draw([&](GraphicsContext& ctx, Size) {
            moved(ctx);
            ctx.drawPixels(ctx.pixels({0, 0, 100, 100}, picture));
        }, {120, 120}, scale);
        EXPECT_LE(largestDifference(direct, laid), 1) << scale;
    }
    const QImage faded = draw([](GraphicsContext& ctx, Size) {
        ctx.opacity = 0.5;
        ctx.drawPixels(ctx.pixels({0, 0, 100, 100}, [](GraphicsContext& c) {
            c.fill(Path::rect({0, 0, 60, 60}), kRed);
            c.fill(Path::rect({30, 30, 60, 60}), kRed);
        }));
    });
    EXPECT_NEAR(at(faded, 45, 45).alpha(), 128, 3);
}

// Pixels made in one context serve another whose grid differs by whole
// pixels (moved onto it); made at a lower density they are laid down
// resampled, close to the drawing for soft drawing.
TEST(CanvasContext, PixelsServeOtherContextsOnTheirGridOrResampled)
{
    draw([](GraphicsContext& ctx, Size) {
        const auto made = ctx.pixels({0, 0, 20, 20}, [](GraphicsContext& c) { c.fill(Path::rect({0, 0, 20, 20}), kRed); });
        GraphicsContext moved = ctx, nudged = ctx, grown = ctx;
        moved.translateBy(3, 0);  // six pixels at 2×
        nudged.translateBy(0.25, 0);
        grown.scaleBy(2, 2);
        auto copy = made;
        EXPECT_TRUE(moved.place(copy));
        EXPECT_EQ(copy.origin, made.origin + QPoint(6, 0));
        copy = made;
        EXPECT_FALSE(nudged.place(copy));
        EXPECT_FALSE(grown.place(copy));
    }, {100, 100}, 2);
    const auto soft = [](GraphicsContext& c) {
        c.fill(Path::ellipse({10, 10, 80, 80}), Shading::radialGradient(Gradient{kRed, kRed.opacity(0)}, {50, 50}, 0, 40));
    };
    const QImage direct = draw([&](GraphicsContext& ctx, Size) { soft(ctx); }, {100, 100}, 2);
    const QImage coarse = draw([&](GraphicsContext& ctx, Size) {
        const auto pixels = ctx.pixels({0, 0, 100, 100}, soft, 0, 0, 0, 1);
        EXPECT_EQ(pixels.image.size(), QSize(100, 100)) << "one pixel a point";
        ctx.drawPixels(pixels);
    }, {100, 100}, 2);
    EXPECT_LE(largestDifference(direct, coarse), 12);
}

// A drawing's shadow alone falls where and as a view's shadow of it does, at
// any scale, without the drawing.
TEST(CanvasContext, ShadowPixelsFallAsAViewsShadow)
{
    const Color shade = Color::black().opacity(0.8);
    const Rect square{35, 30, 30, 30};
    const auto fillSquare = [&](GraphicsContext& c) { c.fill(Path::rect(square), kRed); };
    for (const double scale : {1.0, 2.0}) {
        const QImage viewed = renderToImage(
            Rectangle().fill(kRed).frame(30, 30).shadow(shade, 6, 0, 10).frame(100, 90, Alignment::center), {100, 90}, scale);
        const auto shadow = [&](GraphicsContext& ctx) {
            ctx.drawPixels(ctx.shadowPixels(ctx.pixels(square, fillSquare, 0, 10, 11), shade, 6));
        };
        const QImage alone = draw([&](GraphicsContext& ctx, Size) { shadow(ctx); }, {100, 90}, scale);
        const QImage both = draw([&](GraphicsContext& ctx, Size) {
            shadow(ctx);
            fillSquare(ctx);
        }, {100, 90}, scale);
        EXPECT_LE(largestDifference(viewed, both), 1) << scale;
        EXPECT_EQ(at(alone, int(50 * scale), int(50 * scale)).red(), 0) << "no red square";
        EXPECT_GT(at(alone, int(50 * scale), int(66 * scale)).alpha(), 100) << "dropped below it";
        EXPECT_TRUE(blank(at(alone, int(50 * scale), int(22 * scale)))) << "and not above it";
    }
}

TEST(CanvasCachedDrawing, KeepsFullResolutionOnADeviceWithAPixelRatio)
{
    const auto paint = [](const std::function<void(GraphicsContext&)>& body) {
        QImage image(200, 200, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        GraphicsContext ctx(p, std::make_shared<EnvironmentValues>(), 2);
        body(ctx);
        p.end();
        return image;
    };
    CanvasCache cache;
    const QImage direct = paint(picture);
    const QImage cached = paint([&](GraphicsContext& ctx) { ctx.drawCached(cache, "picture", {0, 0, 100, 100}, picture); });
    EXPECT_EQ(cache.renders(), 1u);
    EXPECT_LE(largestDifference(direct, cached), 1);
}

TEST(CanvasCachedDrawing, EmptyBoundsDrawNothingAndEndlessOnesDrawDirectly)
{
    CanvasCache cache;
    bool called = false;
    draw([&](GraphicsContext& ctx, Size) {
        for (const Rect r : {Rect{0, 0, 0, 50}, Rect{0, 0, 50, -1}, Rect{0, 0, std::nan(""), 50}})
            ctx.drawCached(cache, "none", r, [&](GraphicsContext&) { called = true; });
    });
    EXPECT_FALSE(called);
    const QImage img = draw([&](GraphicsContext& ctx, Size) {
        ctx.drawCached(cache, "all", {0, 0, infinity, infinity}, [](GraphicsContext& c) { c.fill(Path::rect({0, 0, 100, 100}), kRed); });
    });
    EXPECT_TRUE(red(at(img, 90, 90)));
    EXPECT_EQ(cache.renders(), 0u);
}

TEST(CanvasCachedDrawing, AViewsContentIsCopiedUntilItsKeyOrSubPixelPlacementChanges)
{
    CanvasCache cache;
    const View content = Canvas([](GraphicsContext& ctx, Size) { picture(ctx); }).frame(100, 100);
    const auto frame = [&](const std::string& key, double dx) {
        const QImage direct = renderToImage(content.offset(dx, 0), {120, 120}, 1);
        const QImage cached = renderToImage(CachedDrawing(content, cache, key).offset(dx, 0), {120, 120}, 1);
        EXPECT_LE(largestDifference(direct, cached), 1) << key << " moved " << dx;
        return cache.renders();
    };
    EXPECT_EQ(frame("a", 0), 1u);
    EXPECT_EQ(frame("a", 0), 1u);
    EXPECT_EQ(frame("a", 7), 1u);  // a whole-pixel move copies the same pixels
    EXPECT_EQ(frame("a", 7.5), 2u);
    EXPECT_EQ(frame("b", 7.5), 3u);
}

TEST(CanvasContext, AFadedAncestorFadesTheCanvas)
{
    const QImage img = renderToImage(Canvas([](GraphicsContext& ctx, Size s) { ctx.fill(Path::rect({0, 0, s.width, s.height}), kRed); })
                                         .frame(100, 100)
                                         .opacity(0.5),
                                     {100, 100}, 1);
    EXPECT_NEAR(at(img, 50, 50).alpha(), 128, 2);
}
