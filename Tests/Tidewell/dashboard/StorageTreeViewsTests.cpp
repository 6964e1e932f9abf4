#include <cmath>
#include <limits>

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "Tidewell/kit/KitViewTesting.h"
#include "dashboard/EnergyFlowView.h"
#include "dashboard/ParticleView.h"
#include "dashboard/StorageNodeLayout.h"
#include "dashboard/StorageNodeView.h"
#include "dashboard/TreeBackgroundView.h"
#include "dashboard/TreeFoliageView.h"
#include "dashboard/TreeTrunkView.h"

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

}  // namespace
}  // namespace tidewell
