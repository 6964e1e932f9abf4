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

int countIdentified(const AccessibilityNodeInfo& n, const std::string& id) {
    int count = n.identifier == id;
    for (const auto& c : n.children) count += countIdentified(c, id);
    return count;
}

}  // namespace

TEST(ForestPanel, UnderReduceTransparencyTheSurfaceIsOpaqueInEitherScheme) {
    auto dark = layOut(panel(), {200, 120}, scheme(ColorScheme::dark, true));
    const Rect content = dark->frame("content");
    // A point of the surface beside the content, inside the padding.
    const QColor darkSurface = pixel(dark->render(), content.x - 6, content.midY());
    EXPECT_EQ(darkSurface.alpha(), 255);
    EXPECT_TRUE(near(darkSurface, 0.145, 0.185, 0.2, 2));

    auto light = layOut(panel(), {200, 120}, scheme(ColorScheme::light, true));
    const QColor lightSurface = pixel(light->render(), content.x - 6, content.midY());
    EXPECT_EQ(lightSurface.alpha(), 255);
    EXPECT_TRUE(near(lightSurface, 1, 1, 1, 2));
}

TEST(ForestPanel, WithoutReduceTransparencyTheMaterialShowsThrough) {
    auto laid = layOut(panel(), {200, 120}, scheme(ColorScheme::dark));
    const Rect content = laid->frame("content");
    const QColor surface = pixel(laid->render(), content.x - 6, content.midY());
    EXPECT_GT(surface.alpha(), 0);
    EXPECT_LT(surface.alpha(), 250) << "a translucent material, not an opaque fill";
}

TEST(ForestPanel, ACardMarkerIsOneEmptyElementOfTheCardsSize) {
    auto without = layOut(panel(), {200, 120});
    EXPECT_EQ(countIdentified(without->tester.tree(), "storage-card"), 0);

    auto with = layOut(panel(std::string("storage-card")), {200, 120});
    EXPECT_EQ(countIdentified(with->tester.tree(), "storage-card"), 1);
    const Rect marker = with->frame("storage-card");
    const Rect content = with->frame("content");
    EXPECT_DOUBLE_EQ(marker.width, content.width + 28);
    EXPECT_DOUBLE_EQ(marker.height, content.height + 28);
    EXPECT_TRUE(with->tester.exists("content")) << "the marker sits behind, not over, the content";
}

TEST(ForestPanel, ItsRimDoesNotTakeTheContentsClicks) {
    int taps = 0;
    const View content = View(Color::gray()).frame(100, 40).onTapGesture([&] { ++taps; }).accessibilityIdentifier("content");
    auto laid = layOut(tidewell::ForestPanel(14, 16, true, false, std::string("card"), content), {200, 120});
    EXPECT_TRUE(laid->tester.tap("content"));
    EXPECT_EQ(taps, 1);
}

TEST(ForestPanel, FillingTheHeightPinsTheContentTopLeading) {
    auto laid = layOut(topLeading(panel(std::nullopt, true)), {300, 200});
    const Rect content = laid->frame("content");
    EXPECT_DOUBLE_EQ(content.x, 14);
    EXPECT_DOUBLE_EQ(content.y, 14);
}

TEST(ForestPageHeader, TrailingViewsSitBesideTheTitleWhenTheyFit) {
    auto laid = layOut(topLeading(tidewell::ForestPageHeader("Projects", "Every project with something to reclaim",
                                                             box("trailing", 120, 28))),
                       {900, 300});
    const Rect trailing = laid->frame("trailing");
    const auto title = laid->tester.findText("Projects");
    ASSERT_TRUE(title);
    EXPECT_GT(trailing.x, title->frame.maxX());
    EXPECT_DOUBLE_EQ(trailing.maxX(), 900) << "pushed to the trailing edge by the spacer";
    EXPECT_LT(trailing.y, title->frame.maxY());
}

TEST(ForestPageHeader, TrailingViewsMoveBelowTheTitleAtTheTrailingEdgeWhenTheyDoNot) {
    auto laid = layOut(topLeading(tidewell::ForestPageHeader("Projects", "Every project with something to reclaim",
                                                             box("trailing", 240, 28))),
                       {320, 300});
    const Rect trailing = laid->frame("trailing");
    const auto subtitle = laid->tester.findText("Every project with something to reclaim");
    ASSERT_TRUE(subtitle);
    EXPECT_GE(trailing.y, subtitle->frame.maxY() + 10 - 0.01);
    EXPECT_DOUBLE_EQ(trailing.maxX(), 320);
}

TEST(ForestPageHeader, TitlesUseTheSystemSerifUntilTheDisplayFaceIsRegistered) {
    if (!tidewell::bundledFontsRegistered()) {
        const Font before = tidewell::displayTitleFont(30);
        EXPECT_EQ(before.design(), FontDesign::serif);
        EXPECT_EQ(before.weight(), FontWeight::bold);
        EXPECT_DOUBLE_EQ(before.size(), 30);
        EXPECT_TRUE(before.family().empty());
    }
    tidewell::registerBundledFonts();
    ASSERT_TRUE(tidewell::bundledFontsRegistered()) << "the built bundle carries the display face";
    const Font after = tidewell::displayTitleFont(22);
    EXPECT_EQ(after.family(), "Fraunces");
    EXPECT_EQ(after.weight(), FontWeight::bold);
    EXPECT_DOUBLE_EQ(after.size(), 22);
}

TEST(ForestEmptyState, ALongDetailWrapsWithinFourHundredPointsCentred) {
    const std::string detail =
        "Tidewell has not found any project folders with regenerable build output yet. Add a folder in Settings "
        "or run a scan to grow the forest.";
    auto laid = layOut(tidewell::ForestEmptyState("leaf", "Nothing to reclaim", detail), {900, 600});
    const auto text = laid->tester.findText(detail);
    ASSERT_TRUE(text);
    EXPECT_LE(text->frame.width, 400.01);
    EXPECT_GT(text->frame.height, 2 * 12) << "several lines";
    EXPECT_NEAR(text->frame.midX(), 450, 0.5);
    const auto title = laid->tester.findText("Nothing to reclaim");
    ASSERT_TRUE(title);
    EXPECT_NEAR(title->frame.midX(), 450, 0.5);
    EXPECT_LT(title->frame.maxY(), text->frame.y);
}

TEST(StackBadge, NamesTheStackAndHidesItsTile) {
    auto laid = layOut(HStack({tidewell::StackBadge("node"), tidewell::StackBadge("tool_caches")}), {400, 40});
    EXPECT_EQ(laid->texts(), (std::vector<std::string>{"Node / JS", "Tool Caches"}));
}
