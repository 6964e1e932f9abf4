#include "KitViewTesting.h"

#include "../core/StoreTestEnvironment.h"
#include "core/AppStore.h"
#include "kit/StackFilterBar.h"
#include "kit/StackFilterRules.h"
#include "ui/ScrollView.h"

using namespace kittest;
using namespace tidewell;
using Filter = std::optional<std::string>;

namespace {

TypeSummaryDTO summary(std::string type, std::string label, std::int64_t count, std::uint64_t total, std::uint64_t reclaimable) {
    TypeSummaryDTO s;
    s.project_type = std::move(type);
    s.label = std::move(label);
    s.project_count = count;
    s.total_bytes = total;
    s.reclaimable_bytes = reclaimable;
    return s;
}

const std::vector<TypeSummaryDTO> kStacks = {
    summary("flutter", "Flutter", 3, 4'000'000'000, 1'200'000'000),
    summary("node", "Node / JS", 1, 900'000'000, 300'000'000),
    summary("rust", "Rust", 0, 0, 0),
};
const std::string kAll = "All stacks", kFlutter = "Flutter, 3 projects, 1.2 GB reclaimable",
                  kNode = "Node / JS, 1 project, 300 MB reclaimable", kRust = "Rust, 0 projects, Zero KB reclaimable";

}  // namespace

TEST(StackFilterRules, CanopiesAndArcsScaleWithReclaimableBytesWithoutDividingByZero) {
    const auto maximum = stackFilterMaximum(kStacks);
    EXPECT_DOUBLE_EQ(stackTokenScale(1'200'000'000, maximum), 1.10);
    EXPECT_DOUBLE_EQ(stackTokenScale(300'000'000, maximum), 0.82 + 0.28 * 0.5) << "the square root of the share";
    EXPECT_EQ(stackFilterMaximum({}), 1u);
    const auto none = stackFilterMaximum({summary("go", "Go", 2, 10, 0), summary("php", "PHP", 1, 0, 0)});
    EXPECT_DOUBLE_EQ(stackTokenScale(0, none), 0.82);
    // The arc shows the reclaimable share between a glimpse and a full circle.
    EXPECT_DOUBLE_EQ(stackCanopyArcFraction(5, 0), 0.08);
    EXPECT_DOUBLE_EQ(stackCanopyArcFraction(1, 100), 0.08);
    EXPECT_DOUBLE_EQ(stackCanopyArcFraction(50, 100), 0.5);
    EXPECT_DOUBLE_EQ(stackCanopyArcFraction(UINT64_MAX, 1), 1.0);
}

TEST(StackFilterRules, SelectionIsExact) {
    EXPECT_FALSE(stackTokenDimmed(std::nullopt, "node")) << "no filter dims nothing";
    EXPECT_FALSE(stackTokenSelected(Filter("cobol"), "node"));
    EXPECT_TRUE(stackTokenDimmed(Filter("cobol"), "node")) << "a filter matching no stack dims them all";
    EXPECT_FALSE(stackTokenSelected(Filter("Node"), "node")) << "exact, case-sensitive";
}

namespace {

class StackFilterBarOnStore : public ::testing::Test {
protected:
    tidewell::testing::ScratchHome home;
    AppStore store;
    ViewHost host;
    UITester tester{host};

    void show(std::vector<TypeSummaryDTO> summaries) {
        host.setScheduler(nullptr);
        host.setSize({900, 220});
        host.setRoot([this, summaries] {
            return StackFilterBar(summaries, Binding<Filter>([this] { return store.filterStack.get(); },
                                                             [this](Filter f) { store.filterStack = std::move(f); }));
        });
    }
    std::optional<AccessibilityNodeInfo> token(const std::string& label) {
        host.setNeedsRebuild();
        auto all = tester.findAll([&](const AccessibilityNodeInfo& n) { return n.label == label; });
        return all.empty() ? std::nullopt : std::optional(all.front());
    }
    // The labels of the selected tokens.
    std::vector<std::string> selected() {
        std::vector<std::string> out;
        for (const auto& label : {kAll, kFlutter, kNode, kRust})
            if (auto t = token(label); t && t->hasTrait(AccessibilityTrait::selected)) out.push_back(label);
        return out;
    }
    void click(const std::string& label) {
        auto t = token(label);
        ASSERT_TRUE(t) << label;
        tester.tap(*t);
    }
    using Labels = std::vector<std::string>;
};

}  // namespace

TEST_F(StackFilterBarOnStore, ClicksSetMoveAndClearTheStoresFilter) {
    show(kStacks);
    EXPECT_EQ(selected(), Labels{kAll});
    click(kFlutter);
    EXPECT_EQ(store.filterStack.get(), Filter("flutter"));
    EXPECT_EQ(selected(), Labels{kFlutter});
    click(kNode);
    EXPECT_EQ(store.filterStack.get(), Filter("node"));
    EXPECT_EQ(selected(), Labels{kNode});
    click(kNode);
    EXPECT_EQ(store.filterStack.get(), std::nullopt) << "a second click on the selected stack shows all stacks";
    EXPECT_EQ(selected(), Labels{kAll});
    click(kFlutter);
    click(kAll);
    EXPECT_EQ(store.filterStack.get(), std::nullopt);
    store.filterStack = Filter("cobol");
    EXPECT_EQ(selected(), Labels{}) << "a filter matching no stack selects nothing";
}

TEST_F(StackFilterBarOnStore, OneLabelledContainerHoldsTheTokensInOrderWithTheirCountsAndTooltips) {
    show(kStacks);
    auto bar = tester.findAll([](const AccessibilityNodeInfo& n) { return n.label == "Filter by stack"; });
    ASSERT_EQ(bar.size(), 1u);
    EXPECT_TRUE(bar.front().isContainer);
    Labels labels;
    for (const auto& c : bar.front().children) labels.push_back(c.label);
    EXPECT_EQ(labels, (Labels{kAll, kFlutter, kNode, kRust})) << "projects counted in the right number";
    auto all = token(kAll), rust = token(kRust);
    ASSERT_TRUE(all && rust);
    EXPECT_EQ(host.tooltipAt({all->frame.midX(), all->frame.midY()}), std::optional<std::string>("Show every stack"));
    EXPECT_EQ(host.tooltipAt({rust->frame.midX(), rust->frame.midY()}), std::optional<std::string>("Show only Rust projects"));
}

TEST_F(StackFilterBarOnStore, WithoutStacksOnlyTheSelectedAllTokenShows) {
    show({});
    auto bar = tester.findAll([](const AccessibilityNodeInfo& n) { return n.label == "Filter by stack"; });
    ASSERT_EQ(bar.size(), 1u);
    EXPECT_EQ(bar.front().children.size(), 1u);
    EXPECT_EQ(selected(), Labels{kAll});
}

TEST_F(StackFilterBarOnStore, AFullWidthRowWithoutScrollIndicatorsThatTheWheelAndADragMoveAndClicksStillSelect) {
    show(kStacks);
    host.setSize({360, 220});  // four tokens of 104 points overflow it
    tester.settle();
    std::vector<ScrollViewFacts> scrolls;
    std::vector<Rect> frames;
    findElement(*host.rootElement(), [&](const Element& e) {
        if (auto facts = scrollViewFacts(e)) {
            scrolls.push_back(*facts);
            frames.push_back(e.frame);
        }
        return false;
    });
    ASSERT_EQ(scrolls.size(), 1u);
    EXPECT_EQ(scrolls[0].axis, Axis::horizontal);
    EXPECT_FALSE(scrolls[0].options.showsIndicators);
    EXPECT_DOUBLE_EQ(frames[0].width, 360) << "the scroll view takes the whole width";
    const Rect all = token(kAll)->frame;
    EXPECT_DOUBLE_EQ(all.x - frames[0].x, 16) << "the tokens' own padding";

    // One notch of a mouse wheel down moves the row sideways.
    const Rect node = token(kNode)->frame;
    EXPECT_TRUE(host.scroll({180, node.midY()}, ScrollDelta{0, 40, true}));
    EXPECT_DOUBLE_EQ(token(kNode)->frame.x, node.x - 40);
    EXPECT_DOUBLE_EQ(token(kNode)->frame.y, node.y);

    // A drag that starts on a token moves the row and selects nothing.
    const Rect flutter = token(kFlutter)->frame;
    host.pointerPress({flutter.midX(), flutter.midY()});
    host.pointerMove({flutter.midX() - 50, flutter.midY()});
    host.pointerRelease({flutter.midX() - 50, flutter.midY()});
    EXPECT_DOUBLE_EQ(token(kFlutter)->frame.x, flutter.x - 50);
    EXPECT_EQ(store.filterStack.get(), std::nullopt);
    EXPECT_EQ(selected(), Labels{kAll});

    // A click on a token still selects it.
    click(kNode);
    EXPECT_EQ(store.filterStack.get(), Filter("node"));
    EXPECT_EQ(selected(), Labels{kNode});
}
