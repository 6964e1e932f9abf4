#include "kit/GrowingScanCanvas.h"

#include "kit/ScanSceneDrawing.h"
#include "kit/TreePalette.h"
#include "ui/Shape.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

namespace tidewell {

using platform::ui::Color;
using platform::ui::GraphicsContext;
using platform::ui::Gradient;
using platform::ui::GradientStop;
using platform::ui::LineCap;
using platform::ui::LineJoin;
using platform::ui::Path;
using platform::ui::Point;
using platform::ui::Rect;
using platform::ui::Shading;
using platform::ui::Size;
using platform::ui::StrokeStyle;
using platform::ui::View;

namespace {

// Gradients that fade out end on the same colour at zero opacity: Qt blends
// stops unpremultiplied, and a fade towards transparent black would darken.
Color faded(const Color& c) { return c.opacity(0); }

StrokeStyle roundStroke(double width)
{
    StrokeStyle s;
    s.lineWidth = width;
    s.lineCap = LineCap::round;
    s.lineJoin = LineJoin::miter;
    return s;
}

StrokeStyle buttStroke(double width)
{
    StrokeStyle s;
    s.lineWidth = width;
    s.lineCap = LineCap::butt;
    s.lineJoin = LineJoin::miter;
    return s;
}

Color clampedOpacity(const Color& c, double opacity)
{
    return c.opacity(std::clamp(std::isfinite(opacity) ? opacity : 0.0, 0.0, 1.0));
}

Rect square(Point centre, double side) { return {centre.x - side / 2, centre.y - side / 2, side, side}; }

}  // namespace

GrowingScanCanvas::GrowingScanCanvas(double growth_, long long buds_, double time_)
    : growth(growth_), buds(buds_), time(time_),
      arms{{0.24, 0.34}, {0.76, 0.32}, {0.14, 0.50}, {0.86, 0.48}, {0.38, 0.24}, {0.62, 0.22}, {0.50, 0.14}},
      budColors{TreePalette::activeGreen(), TreePalette::glow(),         Color::rgb255(142, 116, 216),
                TreePalette::idleAmber(),   Color::rgb255(62, 198, 243), Color::rgb255(124, 179, 66),
                Color::rgb255(208, 106, 58)}
{
}

View GrowingScanCanvas::body() const
{
    GrowingScanCanvas scene = *this;
    return platform::ui::Canvas([scene](GraphicsContext& context, Size size) {
               renderGrowingScan(scene, context, size);
           })
        .accessibilityHidden(true);
}

namespace {

// The scene's kept pixels, one set per painting thread.
struct SceneCaches {
    platform::ui::CanvasCache backdrop, skyGlow, pondGlow, water, trunk;
    std::vector<platform::ui::CanvasCache> stems;  // one per branch
};

void drawTree(const GrowingScanCanvas& scene, GraphicsContext& context, Size size, SceneCaches* caches,
              const std::string& scheme);

Rect grown(const Rect& r, double by) { return {r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by}; }

Rect pondGlowRect(Size size) { return {0.22 * size.width, 0.74 * size.height, 0.56 * size.width, 0.28 * size.height}; }
Rect waterRect(Size size) { return {0.3 * size.width, 0.8 * size.height, 0.4 * size.width, 0.16 * size.height}; }

// The glows fade only in opacity: drawn at full strength, they are the same
// picture composited at their opacity.
void drawSkyGlowAt(GraphicsContext& context, Size size, double a)
{
    const double c = 0.5 * size.width;
    context.fill(Path::ellipse(scanSkyGlowRect(size)),
                 Shading::radialGradient(Gradient{TreePalette::glow().opacity(a), TreePalette::activeGreen().opacity(0.35 * a),
                                                  faded(TreePalette::activeGreen())},
                                         {c, 0.36 * size.height}, 8, 190));
}

void drawPondGlowAt(GraphicsContext& context, Size size, double a)
{
    const Rect g = pondGlowRect(size);
    context.fill(Path::ellipse(g), Shading::radialGradient(Gradient{TreePalette::activeGreen().opacity(a),
                                                                    faded(TreePalette::activeGreen())},
                                                           g.center(), 6, 0.48 * g.width));
}

double clampedUnit(double v) { return std::clamp(std::isfinite(v) ? v : 0.0, 0.0, 1.0); }
double skyGlowStrength(double growth) { return std::clamp(skyGlowOpacity(rawGrowth(growth)), 0.0, 1.0); }

// Draws a layer kept in `cache` at opacity `a` of the context's own.
void drawCachedAt(const GraphicsContext& context, platform::ui::CanvasCache& cache, const std::string& key, Rect bounds,
                  double a, const std::function<void(GraphicsContext&)>& draw)
{
    if (!(a > 0))
        return;
    GraphicsContext faint = context;
    faint.opacity = context.opacity * a;
    faint.drawCached(cache, key, bounds, draw);
}

}  // namespace

void renderGrowingScan(const GrowingScanCanvas& scene, GraphicsContext& context, Size size)
{
    if (!(size.width > 0) || !(size.height > 0) || !std::isfinite(size.width) || !std::isfinite(size.height))
        return;
    const double time = std::isfinite(scene.time) ? scene.time : 0;
    // What does not move is drawn once and copied each frame: the sky with
    // (when the sky glow stays above them) the hills, the two glows at full
    // strength, the water, and the tree's still parts while its growth holds.
    // The painting order is kept, so the picture is the same.
    thread_local SceneCaches caches;
    const std::string scheme = std::to_string(int(context.environment().colorScheme));
    const bool hillsCached = scanHillsClearOfSkyGlow(size);
    context.drawCached(caches.backdrop, (hillsCached ? "sky+hills/" : "sky/") + scheme, {0, 0, size.width, size.height},
                       [&](GraphicsContext& layer) {
                           drawScanSkyBackdrop(layer, size);
                           if (hillsCached)
                               drawScanHills(layer, size);
                       });
    drawCachedAt(context, caches.skyGlow, "sky glow/" + scheme, grown(scanSkyGlowRect(size), 2),
                 skyGlowStrength(scene.growth),
                 [&](GraphicsContext& layer) { drawSkyGlowAt(layer, size, 1); });
    if (!hillsCached)
        drawScanHills(context, size);
    drawCachedAt(context, caches.pondGlow, "pond glow/" + scheme, grown(pondGlowRect(size), 2),
                 clampedUnit(pondGlowOpacity(rawGrowth(scene.growth), time)),
                 [&](GraphicsContext& layer) { drawPondGlowAt(layer, size, 1); });
    context.drawCached(caches.water, "water/" + scheme, grown(waterRect(size), 2),
                       [&](GraphicsContext& layer) { drawScanWater(layer, size); });
    drawTree(scene, context, size, &caches, scheme);
    drawScanDrift(context, size, time);
}

void drawScanSky(GraphicsContext& context, Size size, double growth)
{
    drawScanSkyBackdrop(context, size);
    drawScanSkyGlow(context, size, growth);
}

void drawScanSkyBackdrop(GraphicsContext& context, Size size)
{
    const double w = size.width, h = size.height, c = 0.5 * w;
    const Path whole = Path::rect({0, 0, w, h});
    context.fill(whole, Shading::linearGradient(
                            Gradient{TreePalette::nightDeep(), Color::rgb255(8, 40, 51), TreePalette::night()},
                            {c, 0}, {c, h}));
    const Color vignette = TreePalette::nightDeep().opacity(0.5);
    context.fill(whole, Shading::radialGradient(Gradient{faded(vignette), vignette}, {c, 0.42 * h}, 0.16 * w,
                                                0.72 * std::max(w, h)));
}

void drawScanSkyGlow(GraphicsContext& context, Size size, double growth)
{
    drawSkyGlowAt(context, size, skyGlowStrength(growth));
}

Rect scanSkyGlowRect(Size size) { return {0.5 * size.width - 200, 0.36 * size.height - 150, 400, 300}; }

Path scanBackHill(Size size)
{
    const double w = size.width, h = size.height;
    Path back;
    back.move({0, 0.72 * h});
    back.addQuadCurve({w, 0.74 * h}, {0.42 * w, 0.56 * h});
    back.addLine({w, h});
    back.addLine({0, h});
    back.closeSubpath();
    return back;
}

bool scanHillsClearOfSkyGlow(Size size)
{
    // The front hill lies below the back one; a couple of points cover the
    // antialiased edge pixels of both at any scale.
    return scanSkyGlowRect(size).maxY() + 2 < scanBackHill(size).boundingRect().minY() - 2;
}

void drawScanHills(GraphicsContext& context, Size size, const Path& within)
{
    const double w = size.width, h = size.height;
    // Cut to `within` as shapes, so their edges stay antialiased.
    const auto inside = [&within](const Path& p) { return within.isEmpty() ? p : Path(p.qt().intersected(within.qt())); };
    context.fill(inside(scanBackHill(size)), Color::rgb255(12, 48, 56, 0.85));

    Path front;
    front.move({0, 0.8 * h});
    front.addQuadCurve({w, 0.78 * h}, {0.62 * w, 0.66 * h});
    front.addLine({w, h});
    front.addLine({0, h});
    front.closeSubpath();
    context.fill(inside(front), Color::rgb255(14, 58, 52, 0.9));
}

void drawScanWater(GraphicsContext& context, Size size)
{
    const Rect p = waterRect(size);
    const Path water = Path::ellipse(p);
    context.fill(water, Shading::linearGradient(
                            Gradient{Color::rgb255(28, 107, 69), Color::rgb255(12, 51, 40), TreePalette::nightDeep()},
                            {p.midX(), p.minY()}, {p.midX(), p.maxY()}));
    context.stroke(water, TreePalette::activeGreen().opacity(0.35), buttStroke(1.2));
}

Path trunkGrainPath(double w, double h)
{
    const double c = 0.5 * w;
    Path grain;
    grain.move({c - 0.012 * w, 0.86 * h});
    grain.addCurve({c - 0.004 * w, 0.58 * h}, {c - 0.02 * w, 0.76 * h}, {c - 0.008 * w, 0.66 * h});
    return grain;
}

Path trunkSapPath(double w, double h)
{
    const double c = 0.5 * w;
    Path sap;
    sap.move({c, 0.9 * h});
    sap.addCurve({c + 0.006 * w, 0.555 * h}, {c - 0.012 * w, 0.78 * h}, {c + 0.014 * w, 0.66 * h});
    return sap;
}

void drawScanPond(GraphicsContext& context, Size size, double growth, double time)
{
    drawPondGlowAt(context, size, clampedUnit(pondGlowOpacity(rawGrowth(growth), time)));
    drawScanWater(context, size);
}

namespace {

Path rootPath(double c, double w, double h, double rp, double f)
{
    Path root;
    root.move({c, 0.88 * h});
    root.addQuadCurve({c + 0.09 * f * w * rp, 0.90 * h}, {c + 0.03 * f * w, 0.92 * h});
    return root;
}

// The trunk's clip: only what has risen above the ground shows.
GraphicsContext trunkLayer(const GraphicsContext& context, double crownY, double w, double h)
{
    // A layer at full opacity composites exactly like drawing in place, so a
    // copy of the context carries the clip instead of an offscreen image.
    GraphicsContext layer = context;
    layer.clip(Path::rect({0, crownY, w, h - crownY + 2}));
    return layer;
}

void drawTrunkBody(GraphicsContext& layer, double w, double h)
{
    layer.fill(trunkPath(w, h),
               Shading::linearGradient(Gradient{TreePalette::barkLight(), TreePalette::bark(), TreePalette::barkDark()},
                                       {0.46 * w, 0.5 * h}, {0.56 * w, 0.92 * h}));
    layer.stroke(trunkGrainPath(w, h), Color::rgb255(215, 165, 106, 0.55), roundStroke(2.4));
}

Path branchCentre(const BranchLayout& b)
{
    Path centre;
    centre.move(b.centre[0]);
    for (size_t j = 1; j < b.centre.size(); ++j)
        centre.addLine(b.centre[j]);
    return centre;
}

Rect united(const Rect& a, const Rect& b)
{
    const double x0 = std::min(a.minX(), b.minX()), y0 = std::min(a.minY(), b.minY());
    return {x0, y0, std::max(a.maxX(), b.maxX()) - x0, std::max(a.maxY(), b.maxY()) - y0};
}

// A key naming the exact numbers a kept drawing was made from.
std::string keyOf(const std::string& name, std::initializer_list<double> values)
{
    std::string key = name;
    char number[40];
    for (const double v : values) {
        std::snprintf(number, sizeof number, "/%a", v);
        key += number;
    }
    return key;
}

// The tree's still parts (roots, trunk and sap glows, branch shadows and
// wood) are drawn through `caches` when given; between them, in the same
// order, the moving ones (sap dashes, leaves, buds) are drawn each time.
void drawTree(const GrowingScanCanvas& scene, GraphicsContext& context, Size size, SceneCaches* caches,
              const std::string& scheme)
{
    const double w = size.width, h = size.height, c = 0.5 * w;
    const double time = std::isfinite(scene.time) ? scene.time : 0;
    const TreeLayout tree = growingTreeLayout(scene.growth, scene.buds, time, size, scene.arms, scene.budColors.size());
    const auto keptOrDirect = [&](platform::ui::CanvasCache* cache, const std::string& key, Rect bounds,
                                  const std::function<void(GraphicsContext&)>& draw) {
        if (cache)
            context.drawCached(*cache, key, bounds, draw);
        else
            draw(context);
    };

    const Path sap = trunkSapPath(w, h);
    {
        Rect bounds = united(united(trunkPath(w, h).boundingRect(), trunkGrainPath(w, h).boundingRect()), sap.boundingRect());
        const double rp = tree.rootProgress.value_or(0);
        if (tree.rootProgress)
            for (const double f : {-1.0, 1.0})
                bounds = united(bounds, rootPath(c, w, h, rp, f).boundingRect());
        keptOrDirect(caches ? &caches->trunk : nullptr,
                     keyOf("trunk/" + scheme, {tree.rootProgress ? rp : -1.0, tree.crownY, w, h}), grown(bounds, 8),
                     [&](GraphicsContext& g) {
                         if (tree.rootProgress)
                             for (const double f : {-1.0, 1.0}) {
                                 const Path root = rootPath(c, w, h, rp, f);
                                 g.stroke(root, TreePalette::barkDark(), roundStroke(4 + 4 * rp));
                                 g.stroke(root, TreePalette::barkLight().opacity(0.4), roundStroke(1.6));
                             }
                         GraphicsContext layer = trunkLayer(g, tree.crownY, w, h);
                         drawTrunkBody(layer, w, h);
                         drawSapGlow(layer, sap);
                     });
        GraphicsContext layer = trunkLayer(context, tree.crownY, w, h);
        drawSapDashes(layer, sap, time);
    }

    if (caches && caches->stems.size() < scene.arms.size())
        caches->stems.resize(scene.arms.size());
    const Path& leaf = leafShape();
    const Color leafGreen = Color::rgb255(92, 219, 110, 0.9);
    const Color leafAmber = Color::rgb255(226, 177, 90, 0.9);
    for (size_t n = 0; n < tree.branches.size(); ++n) {
        const BranchLayout& b = tree.branches[n];
        const Path centre = branchCentre(b);
        const Path wood = taperedBranchPath(b.start, b.control, b.end, b.progress, b.baseHalfWidth);
        keptOrDirect(caches ? &caches->stems[size_t(b.index)] : nullptr,
                     keyOf("stem/" + scheme, {b.progress, b.start.x, b.start.y, b.control.x, b.control.y, b.end.x, b.end.y,
                                              b.baseHalfWidth}),
                     grown(united(centre.boundingRect(), wood.boundingRect()), 8), [&](GraphicsContext& g) {
                         g.stroke(centre, Color::black().opacity(0.25), roundStroke(7));
                         g.fill(wood, Shading::linearGradient(Gradient{TreePalette::barkLight(), TreePalette::bark()},
                                                              b.start, b.grownEnd));
                         drawSapGlow(g, centre);
                     });
        drawSapDashes(context, centre, time);

        for (const auto* placement : {&b.firstLeaf, &b.secondLeaf}) {
            if (!*placement)
                continue;
            const LeafPlacement& l = **placement;
            context.fill(leaf.applying(leafTransform(l.anchor, l.rotation, 0.75, 0.9)), l.amber ? leafAmber : leafGreen);
        }

        if (b.bud) {
            const BudPlacement& bud = *b.bud;
            const Color colour = scene.budColors[bud.colorIndex];
            const double r = bud.radius;
            context.fill(Path::ellipse(square(bud.center, 3.2 * r)),
                         Shading::radialGradient(Gradient{clampedOpacity(colour, 0.55 * bud.glow), faded(colour)},
                                                 bud.center, 2, 1.7 * r));
            const Path body = Path::ellipse(square(bud.center, 2 * r));
            context.fill(body, Shading::radialGradient(Gradient{colour.opacity(0.85), Color::rgb255(7, 24, 32, 0.75)},
                                                       {bud.center.x - 0.25 * r, bud.center.y - 0.3 * r}, 1, r));
            context.stroke(body, Color::white().opacity(bud.lit ? 0.85 : 0.4), buttStroke(bud.lit ? 1.6 : 1));
        }
    }
}

}  // namespace

void drawTrunkLayer(GraphicsContext& context, double crownY, double w, double h, double time)
{
    GraphicsContext layer = trunkLayer(context, crownY, w, h);
    drawTrunkBody(layer, w, h);
    drawSapFlow(layer, trunkSapPath(w, h), time);
}

void drawGrowingTree(const GrowingScanCanvas& scene, GraphicsContext& context, Size size)
{
    drawTree(scene, context, size, nullptr, {});
}

void drawScanDrift(GraphicsContext& context, Size size, double time)
{
    for (const Mote& m : scanMotes(time, size))
        context.fill(Path::ellipse(m.square),
                     (m.green ? TreePalette::activeGreen() : TreePalette::glow()).opacity(m.opacity));

    const Path& leaf = leafShape();
    for (const FallingLeaf& l : fallingLeaves(time, size))
        context.fill(leaf.applying(leafTransform(l.at, l.angle, 0.5, 0.6)),
                     l.green ? Color::rgb255(139, 239, 120, 0.7) : Color::rgb255(226, 177, 90, 0.7));
}

}  // namespace tidewell
