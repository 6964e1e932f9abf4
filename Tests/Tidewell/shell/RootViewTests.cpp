// The main window's content in a headless host: the sidebar's column by
// window width, rows that select their section, the banner's dismissal and a
// character name in the narrowest sidebar card.

#include "Tidewell/core/StoreTestEnvironment.h"
#include "Tidewell/kit/KitViewTesting.h"
#include "core/AppStore.h"
#include "shell/RootView.h"

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
    EXPECT_GE(laid->frame("error.banner").minX(), 220) << "the banner keeps off the sidebar";
    ASSERT_TRUE(laid->tester.tapText("Dismiss error"));
    EXPECT_EQ(store.lastError.get(), std::nullopt);
}

TEST(RootView, AGeneratedNameFitsWholeInTheNarrowestSidebarCard) {
    tidewell::testing::ScratchHome home;
    AppStore store;
    for (const std::string name : {"CosmicWalrus8888", "BreezyPuffin0000", "NimbleBadger4444"}) {
        CharacterProfile profile = store.character.get();
        profile.name = name;
        store.character = profile;
        auto laid = layOut(RootView(store), {1100, 760});
        const Element* text = findElement(*laid->host->rootElement(), [&](const Element& e) { return textOfNode(e.node.get()) == name; });
        ASSERT_NE(text, nullptr) << name;
        EXPECT_EQ(textLinesOf(*text), std::vector<std::string>{name});
    }
}

