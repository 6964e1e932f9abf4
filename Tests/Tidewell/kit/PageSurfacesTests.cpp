#include "KitViewTesting.h"

#include "kit/BundledFonts.h"
#include "kit/DisplayFont.h"
#include "kit/ForestEmptyState.h"
#include "kit/ForestPageHeader.h"
#include "kit/ForestPanel.h"
#include "kit/StackBadge.h"

using namespace kittest;

namespace {

View box(const std::string& id, double w, double h) { return View(Color::gray()).frame(w, h).accessibilityIdentifier(id); }

View panel(std::optional<std::string> marker = std::nullopt, bool fillsHeight = false) {
    return tidewell::ForestPanel(14, 16, false, fillsHeight, std::move(marker), box("content", 100, 40));
}

// A point of the panel's surface beside the content, inside the padding.
QColor surface(ColorScheme s, bool reduceTransparency) {
    auto laid = layOut(panel(), {200, 120}, scheme(s, reduceTransparency));
    const Rect content = laid->frame("content");
    return pixel(laid->render(), content.x - 6, content.midY());
}

}  // namespace

TEST(ForestPanel, TheSurfaceIsOpaqueOnlyUnderReduceTransparency) {
    const QColor dark = surface(ColorScheme::dark, true), light = surface(ColorScheme::light, true);
    EXPECT_EQ(dark.alpha(), 255);
    EXPECT_EQ(light.alpha(), 255);
    const QColor material = surface(ColorScheme::dark, false);
    EXPECT_GT(material.alpha(), 0);
    EXPECT_LT(material.alpha(), 250) << "a translucent material, not an opaque fill";
}

TEST(ForestPanel, ACardMarkerIsOneEmptyElementBehindTheContentOfTheCardsSize) {
    EXPECT_FALSE(layOut(panel(), {200, 120})->tester.exists("storage-card"));
    auto with = layOut(panel(std::string("storage-card")), {200, 120});
    EXPECT_EQ(with->tester.findAll([](const auto& n) { return n.identifier == "storage-card"; }).size(), 1u);
    const Rect marker = with->frame("storage-card"), content = with->frame("content");
    EXPECT_DOUBLE_EQ(marker.width, content.width + 28);
    EXPECT_DOUBLE_EQ(marker.height, content.height + 28);

    // Its rim does not take the content's clicks.
    int taps = 0;
    const View tappable = box("content", 100, 40).onTapGesture([&] { ++taps; });
    auto card = layOut(tidewell::ForestPanel(14, 16, true, false, std::string("card"), tappable), {200, 120});
    EXPECT_TRUE(card->tester.tap("content"));
    EXPECT_EQ(taps, 1);

    // Filling the height pins the content top-leading.
    const Rect pinned = layOut(topLeading(panel(std::nullopt, true)), {300, 200})->frame("content");
    EXPECT_EQ(pinned.origin(), (Point{14, 14}));
}

TEST(ForestPageHeader, TrailingViewsSitBesideTheTitleOrMoveBelowItWhenTheyDoNotFit) {
    const std::string subtitle = "Every project with something to reclaim";
    auto wide = layOut(topLeading(tidewell::ForestPageHeader("Projects", subtitle, box("trailing", 120, 28))), {900, 300});
    const Rect beside = wide->frame("trailing");
    const auto title = wide->tester.findText("Projects");
    ASSERT_TRUE(title);
    EXPECT_GT(beside.x, title->frame.maxX());
    EXPECT_DOUBLE_EQ(beside.maxX(), 900) << "pushed to the trailing edge by the spacer";
    EXPECT_LT(beside.y, title->frame.maxY());

    auto narrow = layOut(topLeading(tidewell::ForestPageHeader("Projects", subtitle, box("trailing", 240, 28))), {320, 300});
    const Rect below = narrow->frame("trailing");
    const auto sub = narrow->tester.findText(subtitle);
    ASSERT_TRUE(sub);
    EXPECT_GE(below.y, sub->frame.maxY() + 10 - 0.01);
    EXPECT_DOUBLE_EQ(below.maxX(), 320);
}

TEST(ForestPageHeader, TitlesUseTheSystemSerifUntilTheDisplayFaceIsRegistered) {
    tidewell::registerBundledFonts();
    ASSERT_TRUE(tidewell::frauncesRegistered()) << "the built bundle carries the display face";
    const Font after = tidewell::displayTitleFont(22);
    EXPECT_EQ(after.family(), "Fraunces");
    EXPECT_EQ(after.weight(), FontWeight::bold);
    EXPECT_DOUBLE_EQ(after.size(), 22);
}

TEST(ForestEmptyState, ALongDetailWrapsWithinFourHundredPointsCentredBelowTheTitle) {
    const std::string detail =
        "Tidewell has not found any project folders with regenerable build output yet. Add a folder in Settings "
        "or run a scan to grow the forest.";
    auto laid = layOut(tidewell::ForestEmptyState("leaf", "Nothing to reclaim", detail), {900, 600});
    const auto text = laid->tester.findText(detail);
    const auto title = laid->tester.findText("Nothing to reclaim");
    ASSERT_TRUE(text && title);
    EXPECT_LE(text->frame.width, 400.01);
    EXPECT_GT(text->frame.height, 2 * 12) << "several lines";
    EXPECT_NEAR(text->frame.midX(), 450, 0.5);
    EXPECT_NEAR(title->frame.midX(), 450, 0.5);
    EXPECT_LT(title->frame.maxY(), text->frame.y);
}

TEST(StackBadge, NamesTheStackAndHidesItsTile) {
    auto laid = layOut(HStack({tidewell::StackBadge("node"), tidewell::StackBadge("tool_caches")}), {400, 40});
    EXPECT_EQ(laid->texts(), (std::vector<std::string>{"Node / JS", "Tool Caches"}));
}
