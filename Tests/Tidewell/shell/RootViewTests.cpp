// The main window's content in a headless host: the sidebar's column by
// window width, rows that select their section, the banner's dismissal, a
// character name in the narrowest sidebar card, and the titlebar strip by
// the main window's width.

#include "Tidewell/core/StoreTestEnvironment.h"
#include "Tidewell/kit/KitViewTesting.h"
#include "core/AppStore.h"
#include "desktop/Window.h"
#include "shell/OnboardingView.h"
#include "shell/RootView.h"
#include "shell/TitlebarAccountControls.h"
#include "shell/TitlebarControlsHost.h"

using namespace tidewell;
using namespace kittest;

TEST(RootView, SidebarByWidthRowsAndBanner) {
    tidewell::testing::ScratchHome home;
    AppStore store;
    for (const auto& [width, sidebar] : std::vector<std::pair<double, double>>{{960, 64}, {1100, 200}, {1400, 220}}) {
        auto laid = layOut(RootView(store), {width, 760});
        const Rect row = laid->frame("sidebar.Global Caches");
        EXPECT_LE(row.maxX(), sidebar) << width;
        EXPECT_GT(row.maxX(), sidebar - 20) << width;
    }
    auto laid = layOut(RootView(store), {1400, 760});
    laid->host->observe(store);
    ASSERT_TRUE(laid->tester.tap("sidebar.Activity"));
    EXPECT_EQ(store.selectedSection.get(), AppSection::activity);
    ASSERT_TRUE(laid->tester.tap("sidebar.Activity"));
    EXPECT_EQ(store.selectedSection.get(), AppSection::activity);

    store.lastError = std::string("Could not move 2 folders.");
    EXPECT_TRUE(laid->shows("Could not move 2 folders."));
    ASSERT_TRUE(laid->tester.tapText("Dismiss error"));
    EXPECT_EQ(store.lastError.get(), std::nullopt);
}

// The overlays of the whole window: the unlock toast at the top, 14 points
// down and centred, moving in from the top edge; the error banner at the
// bottom, the default padding from the window's edges, spanning its width.
TEST(RootView, TheToastStandsAtTheTopAndTheBannerAtTheFootOfTheWindow) {
    tidewell::testing::ScratchHome home;
    AppStore store;
    store.lastError = std::string("Could not move 2 folders to the Trash. They are still where they were.");
    store.newUnlock = CharacterAccessory::scarf;
    for (const Size size : {Size{1180, 760}, Size{900, 600}}) {
        auto laid = layOut(RootView(store), size);
        const Rect toast = laid->frame("unlock.toast");
        EXPECT_DOUBLE_EQ(toast.minY(), 14) << size.width;
        EXPECT_NEAR(toast.midX(), size.width / 2, 0.5) << "centred in the window, not in the page";
        EXPECT_LE(toast.width, 440);
        const Rect banner = laid->frame("error.banner");
        EXPECT_DOUBLE_EQ(banner.minX(), defaultPadding) << size.width;
        EXPECT_DOUBLE_EQ(banner.maxX(), size.width - defaultPadding) << size.width;
        EXPECT_DOUBLE_EQ(banner.maxY(), size.height - defaultPadding) << size.width;
    }

    store.newUnlock = std::nullopt;
    auto laid = layOut(RootView(store), {1180, 760});
    laid->host->observe(store);
    double now = 0;
    laid->host->setClock([&] { return now; });
    store.newUnlock = CharacterAccessory::cape;
    EXPECT_LT(laid->frame("unlock.toast").maxY(), 14) << "comes in from above the top edge";
    now = 5;
    laid->host->setNeedsRebuild();
    EXPECT_DOUBLE_EQ(laid->frame("unlock.toast").minY(), 14);
}

// A banner raised while a sheet is open stands above the sheet's dimming: it
// reads as it does with no sheet, and its dismiss button takes the click,
// while Escape still goes to the sheet.
TEST(RootView, TheBannerRaisedWhileASheetIsOpenStandsAboveTheSheet) {
    tidewell::testing::ScratchHome home;
    AppStore store;
    EnvironmentValues still;  // the pictures compared are at rest
    still.reduceMotion = true;
    auto laid = layOut(EmptyView(), {1180, 760}, still);
    laid->host->setRoot([&store] { return RootView(store); });
    laid->host->observe(store);
    store.lastError = std::string("Could not show ~/remote/dir in Files: it does not answer.");
    laid->tester.settle();
    const Rect banner = laid->frame("error.banner");
    const auto bannerPixel = [&] { return laid->host->renderImage(1).pixel(int(banner.minX()) + 6, int(banner.midY())); };
    const QRgb clear = bannerPixel();
    store.showEndOfDay = true;
    laid->tester.settle();
    ASSERT_TRUE(laid->shows("Before you go"));
    EXPECT_EQ(bannerPixel(), clear) << "drawn under the sheet's dimming";
    ASSERT_TRUE(laid->tester.tapText("Dismiss error"));
    EXPECT_EQ(store.lastError.get(), std::nullopt);
    EXPECT_TRUE(store.showEndOfDay.get());
    store.lastError = std::string("Could not move 2 folders.");
    laid->tester.pressKey(Qt::Key_Escape);
    EXPECT_FALSE(store.showEndOfDay.get());
    EXPECT_TRUE(laid->shows("Could not move 2 folders."));
}

// A notice as long as the first run's settings notice.
std::string longNotice() {
    std::string notice = "The settings file /home/mira/.config/Tidewell/defaults.json cannot be saved: its folder is "
                         "read-only. Tidewell runs with its settings and keeps changes only until it quits.";
    while (notice.size() < 636) notice += " The scan folder /home/mira/mnt/share does not answer, so Tidewell leaves it out.";
    return notice;
}

// The banner takes a strip at the window's foot: at every window size from
// the smallest up, the pages, the sidebar and onboarding draw no control
// beneath it, and a notice past five lines scrolls inside it.
TEST(RootView, TheBannerCoversNoControlAtAnyWindowSize) {
    tidewell::testing::ScratchHome home;
    AppStore store;
    store.lastError = longNotice();
    const double fiveLines = 5 * resolveFont(Font::callout()).lineHeight;
    Binding<bool> notCompleted([] { return false; }, [](bool) {});
    const std::pair<const char*, std::function<View()>> windows[] = {
        {"pages", [&] { return RootView(store); }},
        {"onboarding", [&] { return OnboardingView(store, notCompleted); }},
    };
    for (const auto& [what, window] : windows)
        for (const Size size : {Size{900, 600}, Size{1024, 650}, Size{1180, 680}}) {
            SCOPED_TRACE(std::string(what) + " at " + std::to_string(int(size.width)) + "x" + std::to_string(int(size.height)));
            auto laid = layOut(window(), size);
            const Rect banner = laid->frame("error.banner");
            EXPECT_DOUBLE_EQ(banner.maxY(), size.height - defaultPadding);
            EXPECT_LE(banner.height, fiveLines + 2 * 24) << "the text scrolls past five lines";
            EXPECT_EQ(controlsDrawnWithin(*laid->host, {0, banner.minY() - defaultPadding, size.width, size.height}),
                      std::vector<std::string>{});
            EXPECT_GT(laid->host->footStrip(), banner.height);
        }
}

// "Dismiss error" is the last stop of Tab in the window, and Return presses it there.
TEST(RootView, TabReachesTheBannersDismissButtonLast) {
    tidewell::testing::ScratchHome home;
    AppStore store;
    store.lastError = std::string("Could not move 2 folders.");
    auto laid = layOut(RootView(store), {1180, 760});
    laid->host->observe(store);
    // With no sheet open, the banner's is the only layer above the content.
    const auto inBanner = [](const std::string& identity) { return identity.rfind("/#layer", 0) == 0; };
    std::vector<std::string> stops;
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(laid->tester.pressKey(Qt::Key_Tab));
        if (!stops.empty() && laid->host->focus() == stops.front()) break;
        stops.push_back(laid->host->focus());
    }
    ASSERT_GT(stops.size(), 2u);
    EXPECT_TRUE(inBanner(stops.back())) << stops.back();
    EXPECT_EQ(std::count_if(stops.begin(), stops.end(), inBanner), 1);
    ASSERT_TRUE(laid->tester.pressKey(Qt::Key_Backtab));
    ASSERT_TRUE(laid->tester.pressKey(Qt::Key_Return));
    EXPECT_EQ(store.lastError.get(), std::nullopt);
}

// In the narrowest sidebar card a generated name keeps its size on its one
// line; what does not fit is cut from its middle, its start and end shown.
TEST(RootView, AGeneratedNameInTheNarrowestSidebarCardIsCutInTheMiddleNotShrunk) {
    tidewell::testing::ScratchHome home;
    AppStore store;
    for (const std::string name : {"CosmicWalrus8888", "BreezyPuffin0000", "NimbleBadger4444"}) {
        CharacterProfile profile = store.character.get();
        profile.name = name;
        store.character = profile;
        auto laid = layOut(RootView(store), {1100, 760});
        const Element* text = findElement(*laid->host->rootElement(), [&](const Element& e) { return textOfNode(e.node.get()) == name; });
        ASSERT_NE(text, nullptr) << name;
        EXPECT_EQ(textScaleOf(*text), 1.0) << name;
        const auto lines = textLinesOf(*text);
        ASSERT_EQ(lines.size(), 1u) << name;
        const std::string& line = lines[0];
        const auto cut = line.find("…");
        if (cut == std::string::npos) {
            EXPECT_EQ(line, name);
            continue;
        }
        const std::string head = line.substr(0, cut), tail = line.substr(cut + std::string("…").size());
        EXPECT_FALSE(head.empty() || tail.empty()) << line;
        EXPECT_EQ(name.substr(0, head.size()), head) << line;
        EXPECT_EQ(name.substr(name.size() - tail.size()), tail) << line;
    }
}


// The strip at the top edge follows the main window's width: below 1100
// points the pill drops its text, and the controls come closer to the edge
// in narrow windows (8 points) than in wide ones (14).
TEST(TitlebarControls, NarrowMainWindowsShowTheCompactPillCloserToTheEdge) {
    tidewell::testing::ScratchHome home;
    AppStore store;
    platform::Window main({"main", "Tidewell"});
    const double strip = 500;
    for (const auto& [width, text, inset] : std::vector<std::tuple<double, bool, double>>{
             {999, false, 8}, {1000, false, 12}, {1100, true, 12}, {1320, true, 14}}) {
        main.setFrame({0, 0, width, 700});
        ASSERT_EQ(main.frame().width, width);
        auto laid = layOut(HStack(VerticalAlignment::center, 0, {Spacer(), TitlebarAccountControls(store)}), {strip, 40});
        const auto pill = laid->tester.findAll([](const AccessibilityNodeInfo& n) { return n.label == "Scan"; });
        ASSERT_EQ(pill.size(), 1u) << width;
        EXPECT_EQ(laid->shows("Scan"), text) << width;
        EXPECT_DOUBLE_EQ(strip - pill[0].frame.maxX(), inset) << width;
    }
}

// The strip across the top of the window: its titlebar area's height, the
// controls centred in it on a whole point, the page beneath.
TEST(TitlebarControls, TheStripCentresTheControlsInItsArea) {
    tidewell::testing::ScratchHome home;
    AppStore store;
    auto laid = layOut(installTitlebarControls(store, Text("page").accessibilityIdentifier("page")), {1180, 700});
    const auto pill = laid->tester.findAll([](const AccessibilityNodeInfo& n) { return n.label == "Scan"; });
    ASSERT_EQ(pill.size(), 1u);
    EXPECT_EQ(pill[0].frame.minY(), std::round((titlebarAreaHeight - pill[0].frame.height) / 2));
    EXPECT_GE(laid->frame("page").minY(), titlebarAreaHeight);
}
