#include "kit/ScanSceneDrawing.h"

#include "kit/TreePalette.h"
#include "ui/Shape.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tidewell {

using platform::ui::AffineTransform;
using platform::ui::Angle;
using platform::ui::GraphicsContext;
using platform::ui::LineCap;
using platform::ui::LineJoin;
using platform::ui::Path;
using platform::ui::Point;
using platform::ui::Rect;
using platform::ui::Size;
using platform::ui::StrokeStyle;

// --- Shared functions ----------------------------------------------------------

Point branchControlPoint(Point a, Point b)
{
    if (a == b)
        return a;
    const double d = std::hypot(b.x - a.x, b.y - a.y);
    const Point mid{(a.x + b.x) / 2, (a.y + b.y) / 2};
    const double side = std::min(0.22 * d, 56.0);
    const double lift = std::min(0.08 * d, 28.0);
    return {b.x < a.x ? mid.x - side : mid.x + side, mid.y - lift};
}

namespace {

// Decodes one scalar from UTF-8 at `i`, advancing it; malformed input yields
// U+FFFD and consumes one byte, so every byte is accounted for.
std::uint32_t nextScalar(std::string_view s, size_t& i)
{
    constexpr std::uint32_t replacement = 0xFFFD;
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(s[at]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = 0;
    std::uint32_t cp = 0, min = 0;
    if ((b0 & 0xE0) == 0xC0) { extra = 1; cp = b0 & 0x1F; min = 0x80; }
    else if ((b0 & 0xF0) == 0xE0) { extra = 2; cp = b0 & 0x0F; min = 0x800; }
    else if ((b0 & 0xF8) == 0xF0) { extra = 3; cp = b0 & 0x07; min = 0x10000; }
    else { ++i; return replacement; }
    if (i + extra >= s.size()) {
        ++i;
        return replacement;
    }
    for (int n = 1; n <= extra; ++n) {
        const unsigned char bn = byte(i + n);
        if ((bn & 0xC0) != 0x80) { ++i; return replacement; }
        cp = (cp << 6) | (bn & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return replacement;
    }
    i += extra + 1;
    return cp;
}

}  // namespace

double stableUnitHash(std::string_view text, int seed)
{
    constexpr std::uint64_t prime = 16777619u;
    std::uint64_t h = 2166136261u;
    for (size_t i = 0; i < text.size();)
        h = (h ^ nextScalar(text, i)) * prime;  // unsigned: wraps modulo 2^64
    h = (h ^ (static_cast<std::uint64_t>(std::max(seed, 0)) + 1u)) * prime;
    return static_cast<double>(h % 1000u) / 1000.0;
}

Path trunkPath(double w, double h)
{
    const double c = 0.5 * w;
    Path p;
    p.move({c - 0.036 * w, 0.905 * h});
    p.addCurve({c - 0.012 * w, 0.56 * h}, {c - 0.052 * w, 0.78 * h}, {c - 0.02 * w, 0.64 * h});
    p.addQuadCurve({c + 0.014 * w, 0.548 * h}, {c, 0.52 * h});
    p.addCurve({c + 0.042 * w, 0.905 * h}, {c + 0.026 * w, 0.66 * h}, {c + 0.058 * w, 0.78 * h});
    p.closeSubpath();
    return p;
}

// --- Curves ----------------------------------------------------------------------

Point quadPoint(Point s, Point k, Point e, double t)
{
    const double u = 1 - t;
    return {u * u * s.x + 2 * u * t * k.x + t * t * e.x, u * u * s.y + 2 * u * t * k.y + t * t * e.y};
}

std::array<Point, 26> taperedBranchOutline(Point s, Point k, Point e, double p, double b)
{
    std::array<Point, 26> out{};
    for (int j = 0; j <= 12; ++j) {
        const double t = p * j / 12.0;
        const Point ahead = quadPoint(s, k, e, std::min(t + 0.04, p));
        const Point behind = quadPoint(s, k, e, std::max(t - 0.04, 0.0));
        const double dx = ahead.x - behind.x, dy = ahead.y - behind.y;
        const double d = std::hypot(dx, dy);
        const Point n = d >= 0.001 ? Point{-dy / d, dx / d} : Point{1, 0};
        const double half = b * (1 - 0.65 * j / 12.0);
        const Point on = quadPoint(s, k, e, t);
        out[size_t(j)] = {on.x + half * n.x, on.y + half * n.y};
        out[size_t(25 - j)] = {on.x - half * n.x, on.y - half * n.y};
    }
    return out;
}

Path taperedBranchPath(Point s, Point k, Point e, double p, double b)
{
    const auto points = taperedBranchOutline(s, k, e, p, b);
    Path path;
    path.move(points[0]);
    for (size_t i = 1; i < points.size(); ++i)
        path.addLine(points[i]);
    path.closeSubpath();
    return path;
}

const Path& leafShape()
{
    static const Path leaf = [] {
        Path p;
        p.move({0, 8});
        p.addQuadCurve({0, -10}, {7.2, -1});
        p.addQuadCurve({0, 8}, {-7.2, -1});
        return p;
    }();
    return leaf;
}

double sapDashPhase(double time)
{
    // The pattern [8, 16] repeats every 24 points; reducing the phase keeps
    // it small at clock values of many years in seconds.
    const double period = 24;
    double phase = std::fmod(-34.0 * time, period);
    if (phase < 0)
        phase += period;
    return std::isfinite(phase) ? phase : 0;
}

void drawSapFlow(GraphicsContext& context, const Path& path, double time)
{
    drawSapGlow(context, path);
    drawSapDashes(context, path, time);
}

void drawSapGlow(GraphicsContext& context, const Path& path)
{
    StrokeStyle glow;
    glow.lineWidth = 5;
    glow.lineCap = LineCap::round;
    glow.lineJoin = LineJoin::miter;
    context.stroke(path, TreePalette::glow().opacity(0.18), glow);
}

void drawSapDashes(GraphicsContext& context, const Path& path, double time)
{
    StrokeStyle sap;
    sap.lineWidth = 1.6;
    sap.lineCap = LineCap::round;
    sap.lineJoin = LineJoin::miter;
    sap.dash = {8, 16};
    sap.dashPhase = sapDashPhase(time);
    context.stroke(path, TreePalette::activeGreen().opacity(0.9), sap);
}

// --- One frame's geometry -----------------------------------------------------------

double clampedGrowth(double growth)
{
    if (!(growth > 0))  // also not a number
        return 0;
    return std::min(growth, 1.0);
}

double rawGrowth(double growth) { return std::isnan(growth) ? 0 : growth; }

double crownY(double gc, double h)
{
    const double rise = std::min(gc / 0.28, 1.0) * 0.36;
    return (0.905 - rise) * h;
}

std::optional<double> rootProgress(double gc)
{
    const double rp = (gc - 0.05) / 0.2;
    if (!(rp > 0))
        return std::nullopt;
    return std::min(rp, 1.0);
}

double branchProgress(double gc, int i)
{
    double p = (gc - (0.24 + 0.08 * i)) / 0.12;
    if (!(p > 0))
        return 0;
    // A growth written with a few decimals on a threshold (0.2424) must not be
    // pushed over it by the rounding of the subtraction.
    p = std::round(p * 1e9) / 1e9;
    return std::min(p, 1.0);
}

bool branchShows(double progress) { return progress > 0.02; }

bool budIsLit(int i, long long buds) { return i < std::max(buds, 1LL); }

double skyGlowOpacity(double g) { return 0.08 + 0.12 * g; }

double pondShimmer(double t) { return 0.22 + 0.1 * (0.5 + 0.5 * std::sin(0.7 * t)); }

double pondGlowOpacity(double g, double t) { return (g + 0.45) * pondShimmer(t); }

TreeLayout growingTreeLayout(double growth, long long buds, double time, Size size,
                             const std::vector<std::pair<double, double>>& arms, size_t budColorCount)
{
    const double w = size.width, h = size.height, c = 0.5 * w;
    const double gc = clampedGrowth(growth);
    TreeLayout tree;
    tree.crownY = crownY(gc, h);
    tree.rootProgress = rootProgress(gc);
    const double s0 = std::min(0.012 * w, 16.0);
    for (size_t idx = 0; idx < arms.size(); ++idx) {
        const int i = int(idx);
        const double p = branchProgress(gc, i);
        if (!branchShows(p))
            continue;
        BranchLayout b;
        b.index = i;
        b.progress = p;
        b.end = {arms[idx].first * w, arms[idx].second * h};
        const double sy = std::min(std::max(tree.crownY + 10, b.end.y + 0.16 * h), 0.78 * h);
        const double sx = b.end.x < c ? c - s0 : c + s0;
        b.start = {sx, sy};
        b.control = branchControlPoint(b.start, b.end);
        const auto B = [&](double t) { return quadPoint(b.start, b.control, b.end, t); };
        b.grownEnd = B(p);
        b.centre[0] = b.start;
        for (int j = 1; j <= 12; ++j)
            b.centre[size_t(j)] = B(j * p / 12.0);
        b.baseHalfWidth = 3.2 + 2.4 * p;

        if (p > 0.45) {
            const Point r = B(0.42), u = B(std::min(p, 0.5));
            const double a = std::atan2(u.y - r.y, u.x - r.x);
            b.firstLeaf = LeafPlacement{{r.x + 10 * std::cos(a - 1), r.y + 10 * std::sin(a - 1)},
                                        0.22 * std::sin(0.9 * time + i + 1.68) + a - 0.35, false};
        }
        if (p > 0.68) {
            const Point r = B(0.68), u = B(std::min(p, 0.76));
            const double a = std::atan2(u.y - r.y, u.x - r.x);
            b.secondLeaf = LeafPlacement{{r.x + 10 * std::cos(a + 1), r.y + 10 * std::sin(a + 1)},
                                         0.22 * std::sin(0.9 * time + i + 2.72) + a + 0.35, i % 4 == 0};
        }
        if (p > 0.82 && budColorCount > 0) {
            BudPlacement bud;
            bud.center = b.grownEnd;
            bud.lit = budIsLit(i, buds);
            bud.radius = bud.lit ? 16 : 11;
            const double pulse = std::sin(2.2 * time + i);
            bud.glow = (0.5 + 0.5 * pulse) * 0.45 + 0.55;
            bud.colorIndex = idx % budColorCount;
            b.bud = bud;
        }
        tree.branches.push_back(b);
    }
    return tree;
}

std::array<Mote, 18> scanMotes(double t, Size size)
{
    const double w = size.width, h = size.height;
    std::array<Mote, 18> motes{};
    for (int k = 0; k < 18; ++k) {
        const double a = stableUnitHash("scan", k);
        const double bx = stableUnitHash("scanX", k);
        const double speed = 6 + 10 * a;
        const double x = 10 * std::sin((0.2 + 0.2 * a) * t + k) + bx * w;
        const double y = std::fmod((h + 12) * a + 0.28 * speed * t, h + 12);
        const double side = 1.1 + 1.6 * a;
        motes[size_t(k)] = Mote{{x, y, side, side}, 0.16 + 0.4 * (0.5 + 0.5 * std::sin(k + 1.3 * t)), k % 3 == 0};
    }
    return motes;
}

std::array<FallingLeaf, 4> fallingLeaves(double t, Size size)
{
    const double w = size.width, h = size.height;
    std::array<FallingLeaf, 4> leaves{};
    for (int k = 0; k < 4; ++k) {
        const double x = (0.18 + 0.2 * k) * w + 16 * std::sin(0.35 * t + k);
        const double y = std::fmod(40.0 * k + (k + 9) * t, 0.7 * h) + 0.06 * h;
        leaves[size_t(k)] = FallingLeaf{{x, y}, k + 0.4 * t, k % 2 == 0};
    }
    return leaves;
}

AffineTransform leafTransform(Point at, double angle, double sx, double sy)
{
    return AffineTransform::translation(at.x, at.y).rotated(Angle::fromRadians(angle)).scaled(sx, sy);
}

}  // namespace tidewell
