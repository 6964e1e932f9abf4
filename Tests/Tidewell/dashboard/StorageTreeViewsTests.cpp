#include <cmath>
#include <limits>

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "Tidewell/kit/KitViewTesting.h"
#include "dashboard/EnergyFlowView.h"
#include "dashboard/ParticleView.h"
#include "dashboard/StorageDetailPanel.h"
#include "dashboard/StorageNodeLayout.h"
#include "dashboard/StorageNodeView.h"
#include "dashboard/TreeBackgroundView.h"
#include "dashboard/TreeFoliageView.h"
#include "dashboard/TreeTrunkView.h"
#include "kit/StackVocabulary.h"
#include "kit/TreePalette.h"

namespace tidewell {
namespace {

using namespace platform::ui;

TEST(StorageTreeScene, SizesWithoutAreaDrawNothing)
{
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    const std::vector<StorageNodeModel> nodes{{{"node", "Node", 1, 9, 9}, StorageNodeStatus::reclaimable, {50, 30}, 40}};
    for (Size size : {Size{0, 0}, Size{0, 80}, Size{80, -1}, Size{inf, 80}, Size{80, nan}}) {
        QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            GraphicsContext g(p, std::make_shared<EnvironmentValues>(), 1);
            drawTreeBackground(g, size, 1, 24);
            drawTreeTrunk(g, size, nodes);
            drawTreeFoliage(g, size, nodes, 1);
            drawEnergyFlow(g, size, nodes, 1);
            drawTreeParticles(g, size, 1);
        }
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ASSERT_EQ(qAlpha(image.pixel(x, y)), 0) << size.width << "×" << size.height;
    }
}

TEST(StorageTreeScene, ShortAndFlatBranchesAndALateDashPhase)
{
    const auto node = [](double x, double y, double d) {
        return StorageNodeModel{{"go", "Go", 1, 1, 1}, StorageNodeStatus::active, {x, y}, d};
    };
    // An end within 12 points of the start: no branch.
    EXPECT_FALSE(storageBranch(node(415, 318, 2), 800, 500));
    // A canvas of height 1 or less takes y itself as the attach ratio.
    EXPECT_DOUBLE_EQ(storageBranch(node(10, 0.5, 4), 800, 1)->start.y, (0.52 + 0.2 * 0.5) * 1);
    // Far along the reference-date clock the dash phase stays inside one period.
    const double phase = energyDashPhase(34, 26, 8.2e8 + 0.1);
    EXPECT_TRUE(phase >= 0 && phase < 26);
}

TEST(StorageTreeScene, ThePaletteIsTenOpaqueColoursEachMadeOnce)
{
    struct Case {
        const char* name;
        const Color& (*colour)();
        int r, g, b;
    };
    for (const Case& c : std::vector<Case>{{"nightDeep", &TreePalette::nightDeep, 6, 25, 35},
                                           {"night", &TreePalette::night, 10, 36, 43},
                                           {"glow", &TreePalette::glow, 0, 217, 255},
                                           {"activeGreen", &TreePalette::activeGreen, 57, 245, 107},
                                           {"idleAmber", &TreePalette::idleAmber, 255, 170, 0},
                                           {"reclaimBlue", &TreePalette::reclaimBlue, 0, 168, 255},
                                           {"protectedGrey", &TreePalette::protectedGrey, 156, 168, 184},
                                           {"barkLight", &TreePalette::barkLight, 163, 106, 59},
                                           {"bark", &TreePalette::bark, 91, 56, 43},
                                           {"barkDark", &TreePalette::barkDark, 58, 36, 28}}) {
        const RGBA rgba = c.colour().resolve(ColorScheme::dark);
        EXPECT_NEAR(rgba.red * 255, c.r, 1e-9) << c.name;
        EXPECT_NEAR(rgba.green * 255, c.g, 1e-9) << c.name;
        EXPECT_NEAR(rgba.blue * 255, c.b, 1e-9) << c.name;
        EXPECT_EQ(rgba.alpha, 1) << c.name;
        EXPECT_EQ(&c.colour(), &c.colour()) << c.name << " is shared";
    }
}

QImage foliage(const std::vector<StorageNodeModel>& nodes)
{
    QImage image(800, 500, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    GraphicsContext g(p, std::make_shared<EnvironmentValues>(), 1);
    drawTreeFoliage(g, {800, 500}, nodes, 0);
    p.end();
    return image;
}

// Branch leaves are laid in the order of the nodes: where a later node's leaf
// crosses an earlier one's, the later lies on top, whatever the colours (here
// the first node's gold leaf under the second node's green ones).
TEST(StorageTreeScene, LaterNodesLeavesLieOverEarlierOnes)
{
    const auto node = [](const char* id, double x, double y, double d) {
        return StorageNodeModel{{id, id, 1, 1, 1}, StorageNodeStatus::active, {x, y}, d};
    };
    const StorageNodeModel first = node("go", 600, 200, 80), second = node("rust", 634, 182, 80);
    const StorageNodeModel bare = node("node", 400, 318, 2);  // too close to the trunk for a branch
    ASSERT_FALSE(storageBranch(bare, 800, 500));
    const QImage alone1 = foliage({first, bare}), alone2 = foliage({bare, second}),
                 both = foliage({first, second});
    const QRgb gold = qRgb(226, 177, 90), green = qRgb(62, 190, 98), lightGreen = qRgb(139, 239, 120);
    int crossings = 0;
    for (int y = 0; y < 500; ++y)
        for (int x = 0; x < 800; ++x) {
            const QRgb under = alone1.pixel(x, y), over = alone2.pixel(x, y);
            // Where each draws a leaf of its own at full cover: the first a gold one, the second a green one.
            if (under != gold || (over != green && over != lightGreen))
                continue;
            ++crossings;
            EXPECT_EQ(both.pixel(x, y), over) << x << "," << y;
        }
    EXPECT_GT(crossings, 20) << "the leaves cross";
}

// One path's flowing light: a glow along its whole length, green pulses 8
// points on and 18 off moving away from its start at 34 points a second, and
// cyan sparks 3 on and 22 off at 22 points a second.
TEST(StorageTreeScene, EnergyFlowStrokesGlowPulsesAndSparksAlongItsPath)
{
    Path line;
    // Along the middle of pixel row 20, so the row reads each stroke whole.
    line.move({10, 20.5});
    line.addLine({210, 20.5});
    const auto drawn = [&](double time) {
        QImage image(220, 40, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        GraphicsContext g(p, std::make_shared<EnvironmentValues>(), 1);
        strokeEnergyFlow(g, line, time);
        p.end();
        return image;
    };
    // On black: the glow alone is (0, 43, 51), a pulse over it about
    // (51, 225, 101), a spark over it about (0, 174, 204).
    const auto at = [](const QImage& image, double along) { return QColor::fromRgb(image.pixel(int(10 + along), 20)); };
    const auto pulseAt = [&](const QImage& image, double along) {
        const QColor c = at(image, along);
        return c.green() > 200 && c.blue() < 150;
    };
    const auto sparkAt = [&](const QImage& image, double along) { return at(image, along).blue() > 180; };

    const QImage still = drawn(0);
    const QColor faint = at(still, 16);
    EXPECT_EQ(faint.red(), 0);
    EXPECT_NEAR(faint.green(), 0.2 * 217, 3) << "the glow: cyan at 0.2";
    EXPECT_NEAR(faint.blue(), 0.2 * 255, 3);
    EXPECT_EQ(QColor::fromRgb(still.pixel(10 + 16, 22)).blue(), faint.blue()) << "the glow is 6 points wide";
    EXPECT_EQ(QColor::fromRgb(still.pixel(10 + 16, 25)).blue(), 0);
    EXPECT_EQ(QColor::fromRgb(still.pixel(10 + 170, 20)).blue(), faint.blue()) << "along the whole path";
    // At time 0 the patterns start at the path's start.
    for (double along : {5.0, 31.0, 57.0})
        EXPECT_TRUE(pulseAt(still, along)) << along;
    for (double along : {13.0, 20.0, 40.0, 46.0, 170.0})
        EXPECT_FALSE(pulseAt(still, along)) << along;
    // 10/34 s later the pulses have moved 10 points along.
    const QImage later = drawn(10.0 / 34);
    for (double along : {14.0, 40.0, 66.0})
        EXPECT_TRUE(pulseAt(later, along)) << along;
    for (double along : {5.0, 29.0, 50.0})
        EXPECT_FALSE(pulseAt(later, along)) << along;
    // 12/22 s on, the sparks stand 12 points along.
    const QImage sparks = drawn(12.0 / 22);
    for (double along : {13.5, 38.5, 63.5})
        EXPECT_TRUE(sparkAt(sparks, along)) << along;
    for (double along : {20.5, 30.5, 45.5})
        EXPECT_FALSE(sparkAt(sparks, along)) << along;
}

// Drawn ten times larger: a pulse's and a spark's ends are rounded, past the
// dash by half the line's width along it and not at its corners.
TEST(StorageTreeScene, PulsesAndSparksEndInRoundCaps)
{
    Path line;
    line.move({2, 4});
    line.addLine({60, 4});
    QImage image(620, 80, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(10, 10);
        GraphicsContext g(p, std::make_shared<EnvironmentValues>(), 10);
        strokeEnergyFlow(g, line, 0);
    }
    const auto at = [&](double x, double y) { return QColor::fromRgb(image.pixel(int(10 * x), int(10 * y))); };
    const int glow = at(12, 5.5).green();  // beside the line: the glow alone
    // The first pulse runs 0 to 8 points along, its cap to 8.85 (half of 1.7).
    EXPECT_GT(at(10.6, 4).green(), 200) << "the cap's middle";
    EXPECT_LE(at(10.75, 4.75).green(), glow + 8) << "the cap's corner stays empty";
    EXPECT_LE(at(10.75, 3.25).green(), glow + 8);
    // The next spark runs 25 to 28 points along, its cap from 24.45 (half of
    // 1.1), clear of the next pulse's cap.
    EXPECT_GT(at(26.6, 4).blue(), 180) << "the spark's cap";
    EXPECT_LE(at(26.55, 4.45).blue(), 51 + 8) << "the spark cap's corner stays empty";
    EXPECT_LE(at(26.55, 3.55).blue(), 51 + 8);
}

// The widest texts the byte formatter writes, digits set in equal cells.
double widestSizeText(const ResolvedFont& f)
{
    double widest = 0;
    for (const char* text : {"888.88 GB", "888.88 TB", "888.88 PB", "18.45 EB", "888.8 MB", "888 KB", "999 bytes"})
        widest = std::max(widest, f.advance(QString::fromUtf8(text)));
    return widest;
}

// Every bubble the layout can make holds its size whole: shrunk at most to
// its smallest scale, never cut.
TEST(StorageNodeBubble, TheWidestSizeTextFitsEveryBubbleAtItsSmallestScale)
{
    for (double d = storageNodeMinimumDiameter; d < 220; d += 0.5) {
        const ResolvedFont& f =
            resolveFont(Font::system(d >= 124 ? 11.5 : 10.5, FontWeight::semibold, FontDesign::rounded).monospacedDigit());
        EXPECT_LE(0.65 * widestSizeText(f), storageNodeSizeTextRoom(d, f.lineHeight + 6)) << d;
    }

    // Laid out, the smallest bubble shows the widest size whole.
    StorageNodeModel node{{"rust", "Rust", 3, 999'000'000'000, 888'880'000'000}, StorageNodeStatus::reclaimable, {}, storageNodeMinimumDiameter};
    auto laid = kittest::layOut(StorageNodeView{node}.body(), {120, 120}, kittest::scheme(ColorScheme::dark));
    const Element* text = findElement(*laid->host->rootElement(),
                                      [](const Element& e) { return textOfNode(e.node.get()) == "888.88 GB"; });
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(textLinesOf(*text), std::vector<std::string>{"888.88 GB"});
    EXPECT_GE(textScaleOf(*text), 0.65);
    EXPECT_LE(text->frame.width, storageNodeMinimumDiameter);
}

// The shadow under a bubble is the tint at 0.28 + 0.25 × glow on every frame
// of the glow's swing, behind the halo at the glow. Read at two frames: above
// the face, where the dropped shadow is faintest, the halo gives its strength;
// at the same distance below, what is left is the shadow, whose share of the
// tint's full strength stays one and the same when the glow moves.
TEST(StorageNodeBubble, TheShadowFollowsTheGlowOnEveryFrame)
{
    const double d = 100, pi = std::acos(-1.0);
    const StorageNodeModel node{{"go", "Go", 2, 9'000'000, 4'000'000}, StorageNodeStatus::reclaimable, {}, d};
    const auto shadowShare = [&](double time) {
        StorageNodeView view{node};
        view.appeared = true;
        view.time = time;
        const double glow = storageNodeGlow(false, false, 0, time, false);
        auto laid = kittest::layOut(view.body(), {200, 200}, kittest::scheme(ColorScheme::dark));
        const QImage image = laid->render();
        const double above = qAlpha(image.pixel(100, 100 - 55)) / 255.0, below = qAlpha(image.pixel(100, 100 + 55)) / 255.0;
        const double halo = above;  // the halo's own alpha there
        const double shadow = 1 - (1 - below) / (1 - halo);
        return std::pair{glow, shadow / (0.28 + 0.25 * glow)};
    };
    // The glow at the bottom and at the top of its swing.
    const auto [low, lowShare] = shadowShare(1.5 * pi / 1.45);
    const auto [high, highShare] = shadowShare(0.5 * pi / 1.45);
    EXPECT_NEAR(low, 0.40, 1e-6);
    EXPECT_NEAR(high, 0.56, 1e-6);
    EXPECT_GT(lowShare, 0.3);
    EXPECT_NEAR(highShare, lowShare, 0.03);
}

// The halo casts the shadow with the button: dropped 5 points, the shadow of
// its fringe tints the band from where the halo fades to just past its edge
// below the bubble, more than the same band above it (the halo alone is the
// same all round), in the tint; more so in a selected bubble, brighter and
// more blurred.
TEST(StorageNodeBubble, TheHalosFringeCastsTheShadowBelowIt)
{
    const double d = 100;
    const StorageNodeModel node{{"go", "Go", 2, 9'000'000, 4'000'000}, StorageNodeStatus::reclaimable, {}, d};
    const RGBA tint = stackTint("go").resolve(ColorScheme::dark);
    for (const auto& [selected, least] : {std::pair{false, 1.5}, std::pair{true, 5.0}}) {
        StorageNodeView view{node};
        view.appeared = true;
        view.selected = selected;
        auto laid = kittest::layOut(view.body(), {260, 260}, kittest::scheme(ColorScheme::dark));
        const QImage image = laid->render();
        // Coverage and premultiplied colour summed over the band, below and above.
        double sums[2][4] = {};
        int n = 0;
        for (int y = int(0.72 * d); y < int(0.8 * d); ++y)
            for (int x = 110; x <= 150; ++x, ++n)
                for (int side = 0; side < 2; ++side) {
                    const QColor c = image.pixelColor(x, side == 0 ? 130 + y : 129 - y);
                    const double a = c.alphaF();
                    const double values[4] = {a, c.redF() * a, c.greenF() * a, c.blueF() * a};
                    for (int i = 0; i < 4; ++i)
                        sums[side][i] += values[i];
                }
        const double dropped = sums[0][0] - sums[1][0];
        EXPECT_GT(255 * dropped / n, least) << (selected ? "selected" : "normal");
        EXPECT_NEAR((sums[0][1] - sums[1][1]) / dropped, tint.red, 0.06);
        EXPECT_NEAR((sums[0][2] - sums[1][2]) / dropped, tint.green, 0.06);
        EXPECT_NEAR((sums[0][3] - sums[1][3]) / dropped, tint.blue, 0.06);
    }
}

// A selected bubble's turning ring casts its shadow 5 points down too. Half a
// turn apart, at two frames of one glow, the ring lies on opposite sides:
// the two drawings differ by the ring and its shadow only, the rings
// balance about the centre, and what is left of their middle is the drop.
TEST(StorageNodeBubble, TheRingsShadowFallsBelowIt)
{
    const StorageNodeModel node{{"go", "Go", 2, 9'000'000, 4'000'000}, StorageNodeStatus::reclaimable, {}, 100};
    const auto drawn = [&](double time) {
        StorageNodeView view{node};
        view.appeared = true;
        view.selected = true;
        view.time = time;
        return kittest::layOut(view.body(), {260, 260}, kittest::scheme(ColorScheme::dark))->render();
    };
    // 10 s a turn; the glow's swing peaks at 2.5 t = π / 2 + 2π, midway between.
    const double first = (5 * std::acos(-1.0) - 12.5) / 5;
    ASSERT_NEAR(storageNodeGlow(true, false, 0, first, false), storageNodeGlow(true, false, 0, first + 5, false), 1e-9);
    const QImage a = drawn(first), b = drawn(first + 5);
    double weight[2] = {}, rows[2] = {};
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const double change = (qAlpha(a.pixel(x, y)) - qAlpha(b.pixel(x, y))) / 255.0;
            weight[change < 0] += std::abs(change);
            rows[change < 0] += std::abs(change) * (y + 0.5);
        }
    const double middle = (rows[0] / weight[0] + rows[1] / weight[1]) / 2 - 130;
    EXPECT_GT(middle, 1) << "the ring's shadow lies " << middle << " points below the ring";
}

// The white pixels of a 40-point tile, inside the ring its border draws.
std::vector<bool> whiteInside(const QImage& tile)
{
    std::vector<bool> mask;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const QColor c = QColor::fromRgb(tile.pixel(x, y));
            mask.push_back(std::hypot(x + 0.5 - 20, y + 0.5 - 20) < 17 && c.red() > 235 && c.green() > 235 && c.blue() > 235);
        }
    return mask;
}

// The panel's 40-point tile shows the stack's symbol in white, 16 points
// semibold, also for a stack whose brand mark the bundle holds.
TEST(StorageDetailPanelView, TheStackTileShowsTheStacksSymbol)
{
    for (const char* stack : {"python", "flutter", "node"}) {
        SCOPED_TRACE(stack);
        const StorageNodeModel node{{stack, "Stack", 2, 9'000'000, 4'000'000}, StorageNodeStatus::reclaimable, {}, 120};
        auto laid = kittest::layOut(kittest::topLeading(StorageDetailPanel{node, false, true, {}, {}, {}}.body()),
                                    {560, 140}, kittest::scheme(ColorScheme::dark));
        const Element* tile = findElement(*laid->host->rootElement(), [](const Element& e) {
            return e.frame.width == 40 && e.frame.height == 40;
        });
        ASSERT_NE(tile, nullptr);
        const Rect at = visualFrame(*tile);
        const QImage panel = laid->render().copy(int(std::floor(at.x)), int(std::floor(at.y)), 40, 40);

        const View symbol = ZStack({Circle().fill(stackTint(stack).opacity(0.9)),
                                    View(Image::systemName(stackSymbol(stack)))
                                        .font(Font::system(16, FontWeight::semibold))
                                        .foregroundStyle(Color::white())})
                                .frame(40, 40)
                                .padding(EdgeInsets{at.y - std::floor(at.y), at.x - std::floor(at.x), 0, 0});
        // Drawn at the same offset within its pixels as the panel's tile.
        const QImage expected =
            kittest::layOut(kittest::topLeading(symbol), {41, 41}, kittest::scheme(ColorScheme::dark))->render().copy(0, 0, 40, 40);

        const std::vector<bool> drawn = whiteInside(panel), wanted = whiteInside(expected);
        int both = 0, either = 0;
        for (std::size_t i = 0; i < drawn.size(); ++i) {
            both += drawn[i] && wanted[i];
            either += drawn[i] || wanted[i];
        }
        ASSERT_GT(std::count(wanted.begin(), wanted.end(), true), 30);
        EXPECT_GE(double(both) / either, 0.9) << "the drawn mark matches the symbol";
    }
}

}  // namespace
}  // namespace tidewell
