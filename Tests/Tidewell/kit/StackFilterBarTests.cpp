#include "KitViewTesting.h"

#include "../core/StoreTestEnvironment.h"
#include "core/AppStore.h"
#include "kit/StackFilterBar.h"
#include "kit/StackFilterRules.h"

using namespace kittest;
using tidewell::TypeSummaryDTO;
using Filter = std::optional<std::string>;

namespace {

TypeSummaryDTO summary(std::string type, std::string label, std::int64_t count, std::uint64_t total,
                       std::uint64_t reclaimable) {
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

}  // namespace

TEST(StackFilterRules, CanopiesGrowWithTheSquareRootOfTheShareOfTheLargest) {
    const auto maximum = tidewell::stackFilterMaximum(kStacks);
    EXPECT_DOUBLE_EQ(tidewell::stackTokenScale(1'200'000'000, maximum), 1.10);
    EXPECT_DOUBLE_EQ(tidewell::stackTokenScale(300'000'000, maximum), 0.82 + 0.28 * 0.5);
    EXPECT_NEAR(tidewell::stackCanopyDiameter(1.10), 74.8, 1e-9);
    // Nothing reclaimable anywhere (or no stacks): the smallest canopies, no division by zero.
    EXPECT_EQ(tidewell::stackFilterMaximum({}), 1u);
    const auto none = tidewell::stackFilterMaximum({summary("go", "Go", 2, 10, 0), summary("php", "PHP", 1, 0, 0)});
    EXPECT_DOUBLE_EQ(tidewell::stackTokenScale(0, none), 0.82);
    EXPECT_NEAR(tidewell::stackCanopyDiameter(0.82), 55.76, 1e-9);
}

TEST(StackFilterRules, TheArcShowsTheReclaimableShareBetweenAGlimpseAndAFullCircle) {
    EXPECT_DOUBLE_EQ(tidewell::stackCanopyArcFraction(5, 0), 0.08);
    EXPECT_DOUBLE_EQ(tidewell::stackCanopyArcFraction(1, 100), 0.08);
    EXPECT_DOUBLE_EQ(tidewell::stackCanopyArcFraction(50, 100), 0.5);
    EXPECT_DOUBLE_EQ(tidewell::stackCanopyArcFraction(UINT64_MAX, 1), 1.0);
}

TEST(StackFilterRules, SelectionDimmingAndClicks) {
    EXPECT_FALSE(tidewell::stackTokenDimmed(std::nullopt, "node")) << "no filter dims nothing";
    // A filter that matches no stack dims them all and selects none.
    EXPECT_FALSE(tidewell::stackTokenSelected(Filter("cobol"), "node"));
    EXPECT_TRUE(tidewell::stackTokenDimmed(Filter("cobol"), "node"));
    EXPECT_FALSE(tidewell::stackTokenSelected(Filter("Node"), "node")) << "exact, case-sensitive";

}

TEST(StackFilterRules, AccessibilityLabelsCountProjectsInTheRightNumber) {
    EXPECT_EQ(tidewell::stackTokenAccessibilityLabel(kStacks[0]), "Flutter, 3 projects, 1.2 GB reclaimable");
    EXPECT_EQ(tidewell::stackTokenAccessibilityLabel(kStacks[1]), "Node / JS, 1 project, 300 MB reclaimable");
    EXPECT_EQ(tidewell::stackTokenAccessibilityLabel(kStacks[2]), "Rust, 0 projects, Zero KB reclaimable");
}

namespace {

class StackFilterBarOnStore : public ::testing::Test {
protected:
    tidewell::testing::ScratchHome home;
    tidewell::AppStore store;
    ViewHost host;
    UITester tester{host};

    void show(std::vector<TypeSummaryDTO> summaries) {
        host.setScheduler(nullptr);
        host.setSize({900, 220});
        host.setRoot([this, summaries] {
            return tidewell::StackFilterBar(
                summaries, Binding<Filter>([this] { return store.filterStack.get(); },
                                           [this](Filter f) { store.filterStack = std::move(f); }));
        });
    }
    std::optional<AccessibilityNodeInfo> token(const std::string& label) {
        host.setNeedsRebuild();
        auto all = tester.findAll([&](const AccessibilityNodeInfo& n) { return n.label == label; });
        if (all.empty()) return std::nullopt;
        return all.front();
    }
    bool selected(const std::string& label) {
        auto t = token(label);
        return t && t->hasTrait(AccessibilityTrait::selected);
    }
    void click(const std::string& label) {
        auto t = token(label);
        ASSERT_TRUE(t) << label;
        tester.tap(*t);
    }
};

}  // namespace

TEST_F(StackFilterBarOnStore, ClicksSetMoveAndClearTheStoresFilter) {
    show(kStacks);
    const std::string flutter = "Flutter, 3 projects, 1.2 GB reclaimable";
    const std::string node = "Node / JS, 1 project, 300 MB reclaimable";
    EXPECT_TRUE(selected("All stacks"));
    EXPECT_FALSE(selected(flutter));

    click(flutter);
    EXPECT_EQ(store.filterStack.get(), Filter("flutter"));
    EXPECT_TRUE(selected(flutter));
    EXPECT_FALSE(selected("All stacks"));

    click(node);
    EXPECT_EQ(store.filterStack.get(), Filter("node"));
    EXPECT_TRUE(selected(node));
    EXPECT_FALSE(selected(flutter));

    click(node);
    EXPECT_EQ(store.filterStack.get(), std::nullopt) << "a second click on the selected stack shows all stacks";
    EXPECT_TRUE(selected("All stacks"));

    click(flutter);
    click("All stacks");
    EXPECT_EQ(store.filterStack.get(), std::nullopt);
}

TEST_F(StackFilterBarOnStore, OneLabelledContainerHoldsTheTokensInOrderWithTheirTooltips) {
    show(kStacks);
    auto bar = tester.findAll([](const AccessibilityNodeInfo& n) { return n.label == "Filter by stack"; });
    ASSERT_EQ(bar.size(), 1u);
    EXPECT_TRUE(bar.front().isContainer);
    std::vector<std::string> labels;
    for (const auto& c : bar.front().children) labels.push_back(c.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"All stacks", "Flutter, 3 projects, 1.2 GB reclaimable",
                                                "Node / JS, 1 project, 300 MB reclaimable",
                                                "Rust, 0 projects, Zero KB reclaimable"}));
    auto all = token("All stacks");
    auto rust = token("Rust, 0 projects, Zero KB reclaimable");
    ASSERT_TRUE(all && rust);
    EXPECT_EQ(host.tooltipAt({all->frame.midX(), all->frame.midY()}), std::optional<std::string>("Show every stack"));
    EXPECT_EQ(host.tooltipAt({rust->frame.midX(), rust->frame.midY()}),
              std::optional<std::string>("Show only Rust projects"));
    // Tokens 104 points wide, 14 apart: Rust is the third after All.
    EXPECT_NEAR(all->frame.width, 104, 0.01);
    EXPECT_NEAR(rust->frame.x - all->frame.x, 3 * (104 + 14), 0.01);
}

TEST_F(StackFilterBarOnStore, WithoutStacksOnlyTheSelectedAllTokenShows) {
    show({});
    auto bar = tester.findAll([](const AccessibilityNodeInfo& n) { return n.label == "Filter by stack"; });
    ASSERT_EQ(bar.size(), 1u);
    ASSERT_EQ(bar.front().children.size(), 1u);
    EXPECT_TRUE(selected("All stacks"));
}

TEST_F(StackFilterBarOnStore, AFilterMatchingNoStackSelectsNothing) {
    store.filterStack = Filter("cobol");
    show(kStacks);
    EXPECT_FALSE(selected("All stacks"));
    for (const auto& s : kStacks) EXPECT_FALSE(selected(tidewell::stackTokenAccessibilityLabel(s)));
}
