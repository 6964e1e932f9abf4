#include "ControlTestSupport.h"

using namespace controltest;

TEST(GridColumns, AdaptiveFitsAsManyAsTheWidthAllows)
{
    // Cards of at least 240 with 12 between them.
    auto cols = gridColumns({GridItem::adaptive(240, infinity, 12)}, 1000);
    ASSERT_EQ(cols.size(), 4u);  // 4 × 240 + 3 × 12 = 996
    EXPECT_DOUBLE_EQ(cols[0].width, (1000 - 36) / 4.0);
    EXPECT_DOUBLE_EQ(cols[1].x, cols[0].width + 12);
    EXPECT_EQ(gridColumns({GridItem::adaptive(240, infinity, 12)}, 995).size(), 3u);
    // Narrower than one minimum: still one column, at its minimum.
    cols = gridColumns({GridItem::adaptive(240, infinity, 12)}, 100);
    ASSERT_EQ(cols.size(), 1u);
    EXPECT_DOUBLE_EQ(cols[0].width, 240);
    // As many as fit at the minimum, each between minimum and maximum.
    cols = gridColumns({GridItem::adaptive(100, 150, 10)}, 1000);
    EXPECT_EQ(cols.size(), 9u);
    EXPECT_LE(cols[0].width, 150);
    EXPECT_GE(cols[0].width, 100);
}

TEST(GridColumns, FixedAndFlexibleShareTheRest)
{
    std::vector<GridItem> swatches(6, GridItem::fixed(30, 8));
    auto cols = gridColumns(swatches, 500);
    ASSERT_EQ(cols.size(), 6u);
    EXPECT_DOUBLE_EQ(cols[5].x, 5 * 38);
    std::vector<GridItem> four(4, GridItem::flexible(10, infinity, 8));
    cols = gridColumns(four, 400);
    EXPECT_DOUBLE_EQ(cols[0].width, (400 - 24) / 4.0);
    cols = gridColumns({GridItem::fixed(100), GridItem::flexible(10, 50)}, 400);
    EXPECT_DOUBLE_EQ(cols[1].width, 50) << "a flexible column keeps to its maximum";
    EXPECT_TRUE(gridColumns({}, 300).empty());
    EXPECT_DOUBLE_EQ(gridColumns({GridItem::fixed(std::nan(""))}, 300)[0].width, 0) << "no NaN widths";
}

TEST(Grids, CellsFillRowsAndRowsTakeTheTallestCell)
{
    Rig rig({400, 400});
    rig.show([] {
        ViewList cells;
        for (int i = 0; i < 7; ++i)
            cells.push_back(View(Color::gray()).frame(40, i == 1 ? 60 : 30).accessibilityIdentifier("c" + std::to_string(i)));
        return LazyVGrid(std::vector<GridItem>(4, GridItem::flexible(10, infinity, 8)), cells, HorizontalAlignment::center, 8)
            .frame(400, std::nullopt)
            .accessibilityIdentifier("grid");
    });
    const Rect c0 = rig.find("c0")->frame, c1 = rig.find("c1")->frame, c4 = rig.find("c4")->frame, c6 = rig.find("c6")->frame;
    EXPECT_NEAR(c0.midY(), c1.midY(), 1e-9) << "cells centred in their row";
    EXPECT_NEAR(c4.y, c1.maxY() + 8, 1e-9) << "the second row starts under the tallest cell";
    EXPECT_NEAR(c4.midX(), c0.midX(), 1e-9);
    EXPECT_NEAR(c6.midX() - c4.midX(), 2 * (400 - 24) / 4.0 + 16, 1e-9);
}

TEST(Grids, AdaptiveGridInAScrollViewGrowsColumnsWithTheWindow)
{
    double width = 520;
    Rig rig({1200, 400});
    rig.show([&] {
        ViewList cards;
        for (int i = 0; i < 10; ++i) cards.push_back(View(Color::gray()).frame(FrameSpec{.maxWidth = infinity, .minHeight = 80, .maxHeight = 80}).accessibilityIdentifier("p" + std::to_string(i)));
        return ScrollView(LazyVGrid({GridItem::adaptive(240, infinity, 12)}, cards, HorizontalAlignment::center, 12)).frame(width, 300);
    });
    auto rowOf = [&](int i) { return rig.find("p" + std::to_string(i))->frame.y; };
    EXPECT_NEAR(rowOf(1), rowOf(0), 1e-9);
    EXPECT_GT(rowOf(2), rowOf(0)) << "two columns at 520";
    width = 1000;
    rig.host.setNeedsRebuild();
    rig.settle();
    EXPECT_NEAR(rowOf(3), rowOf(0), 1e-9);
    EXPECT_GT(rowOf(4), rowOf(0)) << "four columns at 1000";
    EXPECT_NEAR(rig.find("p0")->frame.width, (1000 - 36) / 4.0, 1e-9);
}
