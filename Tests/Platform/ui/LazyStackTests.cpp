#include "ControlTestSupport.h"

using namespace controltest;

namespace {

// A row that counts how often it is made and keeps a tap count as view state.
View countingRow(size_t i, int& made, std::vector<std::string>& gone)
{
    ++made;
    const std::string id = "row" + std::to_string(i);
    return WithState<int>(0, [id](Binding<int> taps) {
               return Text(id + " taps " + std::to_string(taps.get()))
                   .frame(std::nullopt, 40)
                   .frame(FrameSpec{.maxWidth = infinity})
                   .contentShape(Rectangle())
                   .onTapGesture([taps] { taps.set(taps.get() + 1); })
                   .accessibilityIdentifier(id);
           })
        .onDisappear([&gone, id] { gone.push_back(id); });
}

}  // namespace

TEST(LazyStacks, BuildOnlyVisibleRowsOfTenThousandAndKeepRowStateAcrossScrolling)
{
    int made = 0;
    std::vector<std::string> gone;
    for (const bool grid : {false, true}) {
        made = 0;
        gone.clear();
        Rig rig({400, 600});
        auto rows = ForEachIndex(10000, [](size_t i) { return std::to_string(i); }, [&](size_t i) { return countingRow(i, made, gone); });
        rig.show([&] {
            return ScrollView(grid ? LazyVGrid({GridItem::flexible(), GridItem::flexible()}, {rows}, HorizontalAlignment::center, 0)
                                   : LazyVStack(HorizontalAlignment::leading, 0, {rows}));
        });
        const size_t perRow = grid ? 2 : 1;
        // 600 points of 40-point rows, and the margin above and below.
        const int visible = int(perRow * (600 + 2 * lazyBuildMargin) / 40) + 2 * int(perRow);
        EXPECT_LE(made, visible) << (grid ? "grid" : "stack");
        EXPECT_GE(made, int(perRow) * 15);
        ASSERT_TRUE(rig.tester.tap("row3"));
        ASSERT_TRUE(rig.tester.tap("row3"));
        EXPECT_TRUE(rig.hasText("row3 taps 2"));

        made = 0;
        rig.host.scroll({200, 300}, {0, 40.0 * 5000 / double(perRow)});
        rig.settle();
        EXPECT_FALSE(rig.exists("row3"));
        EXPECT_TRUE(rig.exists("row5000")) << "scrolled to the middle";
        EXPECT_LE(made, 2 * visible) << "one build at the old place and one at the new";
        EXPECT_NE(std::find(gone.begin(), gone.end(), "row3"), gone.end()) << "rows that scroll out disappear";

        rig.host.scroll({200, 300}, {0, -1e9});
        rig.settle();
        EXPECT_TRUE(rig.hasText("row3 taps 2")) << "the row's state survived scrolling out and back";
    }
}

// A 300x200 scroll view of a thousand rows `rowHeight` high in a lazy stack;
// each tap records its row in `tapped`, and `kept` scrolls it.
static void showTappableRows(Rig& rig, ScrollProxy& kept, std::vector<int>& tapped, double rowHeight)
{
    rig.show([&kept, &tapped, rowHeight] {
        return ScrollViewReader([&kept, &tapped, rowHeight](ScrollProxy proxy) {
            kept = proxy;
            return ScrollView(LazyVStack(HorizontalAlignment::leading, 0, {ForEachIndex(
                                  1000, [](size_t i) { return std::to_string(i); },
                                  [&tapped, rowHeight](size_t i) {
                                      return View(Color::gray())
                                          .frame(300, rowHeight)
                                          .onTapGesture([&tapped, i] { tapped.push_back(int(i)); })
                                          .accessibilityIdentifier("row" + std::to_string(i));
                                  })}))
                .frame(300, 200);
        });
    });
}

TEST(LazyStacks, RowsLeftBehindByAnAnimatedScrollAreNotPlacedAndTakeNoTaps)
{
    // An animated scroll lays the rows out where the travel started, then where
    // the content shows on this frame: rows placed only by the first pass must
    // not stay where they were put, over the rows really shown.
    ScrollProxy kept;
    std::vector<int> tapped;
    Rig rig({300, 200});
    showTappableRows(rig, kept, tapped, 40);
    withAnimation(Animation::linear(1.0), [&] { kept.scrollTo("row8", UnitPoint::top); });
    rig.settle();
    rig.advance(0.9);  // 288 of 320 points down: row 7 spans -8 to 32
    ASSERT_TRUE(rig.exists("row7"));
    EXPECT_FALSE(rig.exists("row0")) << "the row at the top where the travel started is out of view";
    rig.tester.tapAt({150, 20});
    EXPECT_EQ(tapped, std::vector<int>{7}) << "the tap reaches the row shown there";
}

TEST(LazyStacks, ATapPartWayThroughAnAnimatedScrollUpwardLandsOnTheRowShownThere)
{
    // Upward, the rows placed where the travel started come after the rows
    // shown now, so they would lie above them: those below the rows shown
    // must not stay where the first pass put them either.
    ScrollProxy kept;
    std::vector<int> tapped;
    Rig rig({300, 200});
    showTappableRows(rig, kept, tapped, 100);
    rig.host.scroll({150, 100}, {0, 2010});
    rig.settle();
    ASSERT_TRUE(rig.exists("row18")) << "built within the margin above";
    withAnimation(Animation::linear(1.0), [&] { kept.scrollTo("row18", UnitPoint::top); });
    rig.settle();
    rig.advance(0.75);  // 157.5 of 210 points up: row 18 spans -52.5 to 47.5
    ASSERT_NEAR(rig.find("row18")->frame.y, -52.5, 1e-6);
    rig.tester.tapAt({150, 195});
    EXPECT_EQ(tapped, std::vector<int>{20}) << "the tap reaches the row shown there";
    rig.tester.tapAt({150, 10});
    EXPECT_EQ(tapped, (std::vector<int>{20, 18}));
    rig.runFrames();
    EXPECT_NEAR(rig.find("row18")->frame.y, 0, 1e-6);
}
