#pragma once
// The growing-forest scene as numbers: the drawing functions it shares with the
// storage tree (curved-branch control point, stable per-string hash, trunk
// outline), and the pure geometry of one frame for a growth, bud count, time and
// canvas size. Painting (GrowingScanCanvas) only turns this geometry into fills
// and strokes, so everything here is tested without drawing.

#include "ui/Canvas.h"
#include "ui/Color.h"
#include "ui/Geometry.h"
#include "ui/Path.h"

#include <array>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace tidewell {

// --- Shared with the storage tree -------------------------------------------

// The control point of a gently curved branch from `a` to `b`: the midpoint
// moved sideways (away from the side `b` lies on; a vertical branch bends
// right) and upwards, both capped. Equal points give `a`.
platform::ui::Point branchControlPoint(platform::ui::Point a, platform::ui::Point b);

// A number in [0, 1) with three decimals, the same on every run and machine:
// FNV-1a over the text's Unicode scalars with a 64-bit state, then the seed.
// `text` is UTF-8; a byte that is not valid UTF-8 counts as U+FFFD. A negative
// seed counts as 0.
double stableUnitHash(std::string_view text, int seed);

// The closed outline of the trunk for a canvas of w × h.
platform::ui::Path trunkPath(double w, double h);

// --- Curves and outlines --------------------------------------------------------

// The quadratic Bézier point for start s, control k, end e at t.
platform::ui::Point quadPoint(platform::ui::Point s, platform::ui::Point k, platform::ui::Point e, double t);

// The outline of a branch grown to p, with base half-width b narrowing to 0.35 b:
// left points 0…12, then right points 12…0.
std::array<platform::ui::Point, 26> taperedBranchOutline(platform::ui::Point s, platform::ui::Point k,
                                                         platform::ui::Point e, double p, double b);
platform::ui::Path taperedBranchPath(platform::ui::Point s, platform::ui::Point k, platform::ui::Point e, double p,
                                     double b);

// The leaf, in its own coordinates (tip up, stem at (0, 8)); filled unclosed.
const platform::ui::Path& leafShape();

// The glowing sap line along a path, its dashes travelling away from the start.
void drawSapFlow(platform::ui::GraphicsContext& context, const platform::ui::Path& path, double time);
// Its two strokes: the still glow beneath, the travelling dashes above.
void drawSapGlow(platform::ui::GraphicsContext& context, const platform::ui::Path& path);
void drawSapDashes(platform::ui::GraphicsContext& context, const platform::ui::Path& path, double time);
// The dash phase of the sap line at `time`, brought into one dash period.
double sapDashPhase(double time);

// --- One frame's geometry ----------------------------------------------------------

// Growth as the tree uses it: below 0 or not a number is 0, 1 or more is 1.
double clampedGrowth(double growth);
// Growth as the sky and pond glows use it: raw, except that not a number is 0.
double rawGrowth(double growth);

// The top of the visible trunk, in points from the top.
double crownY(double clampedGrowth, double h);
// How far the roots have grown (0…1], or none before they start.
std::optional<double> rootProgress(double clampedGrowth);
// How far branch i has grown, 0…1.
double branchProgress(double clampedGrowth, int i);
// Whether branch i is drawn at this progress.
bool branchShows(double progress);
// Whether bud i glows for `buds` projects found (the first always does).
bool budIsLit(int i, long long buds);

// Opacities that follow the raw growth and time.
double skyGlowOpacity(double rawGrowth);
double pondShimmer(double time);
double pondGlowOpacity(double rawGrowth, double time);

struct LeafPlacement {
    platform::ui::Point anchor;
    double rotation = 0;  // radians
    bool amber = false;   // amber instead of green
};

struct BudPlacement {
    platform::ui::Point center;
    bool lit = false;
    double radius = 11;
    double glow = 1;       // 0.55…1, the halo's pulse
    size_t colorIndex = 0;  // into the canvas's bud colours
};

struct BranchLayout {
    int index = 0;
    double progress = 0;
    platform::ui::Point start, control, end;
    platform::ui::Point grownEnd;                  // the curve at `progress`
    std::array<platform::ui::Point, 13> centre{};  // the curve sampled up to `progress`
    double baseHalfWidth = 0;
    std::optional<LeafPlacement> firstLeaf, secondLeaf;
    std::optional<BudPlacement> bud;
};

struct TreeLayout {
    double crownY = 0;
    std::optional<double> rootProgress;
    std::vector<BranchLayout> branches;  // only the grown ones, in index order
};

// The tree for a canvas of `size`; `arms` are the branch tips as fractions of
// the canvas width and height; `budColorCount` is the number of bud colours.
TreeLayout growingTreeLayout(double growth, long long buds, double time, platform::ui::Size size,
                             const std::vector<std::pair<double, double>>& arms, size_t budColorCount);

struct Mote {
    platform::ui::Rect square;
    double opacity = 0;
    bool green = false;  // else cyan
};
// The eighteen drifting light motes.
std::array<Mote, 18> scanMotes(double time, platform::ui::Size size);

struct FallingLeaf {
    platform::ui::Point at;
    double angle = 0;
    bool green = false;  // else amber
};
// The four falling leaves.
std::array<FallingLeaf, 4> fallingLeaves(double time, platform::ui::Size size);

// The transform that places a leaf: scaled, then rotated, then moved to `at`.
platform::ui::AffineTransform leafTransform(platform::ui::Point at, double angle, double sx, double sy);

}  // namespace tidewell
