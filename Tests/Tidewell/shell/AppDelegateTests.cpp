// The delegate with real windows on the offscreen platform: closing quits
// once and only for the main window, bring-up leaves the tray mode and makes
// a gone main window again, and opened links act once.

#include <gtest/gtest.h>

#include "Tidewell/core/StoreTestEnvironment.h"
#include "desktop/Window.h"
#include "runtime/MainActor.h"
#include "desktop/StatusItem.h"
#include "shell/AppDelegate.h"
#include "shell/MenuBarStatusItem.h"

#include <QAction>
#include <QMenu>

using namespace tidewell;

namespace {

struct DelegateFixture {
    tidewell::testing::ScratchHome home;
    AppStore store;
    int terminations = 0, panelHides = 0, shares = 0;
    std::vector<std::string> signIns;
    AppDelegate delegate{store, services()};
    platform::Subscription shareWatch = store.sharePrompt.subscribe([this](const auto&) { ++shares; });

    DelegateFixture() {
        platform::Windows::registerScene("main", [] {
            return std::make_unique<platform::Window>(platform::WindowSpec{"main", "Tidewell"});
        });
    }
    ~DelegateFixture() { platform::Windows::reset(); }

    AppDelegate::Services services() {
        AppDelegate::Services s;
        s.terminate = [this] { ++terminations; };
        s.hideScanPanel = [this] { ++panelHides; };
        s.handleSignInCallback = [this](const std::string& url) { signIns.push_back(url); };
        return s;
    }
    // Runs what the delegate posted to the main queue, and what that posts in turn.
    void settle() {
        for (int turn = 0; turn < 3; ++turn) {
            bool turned = false;
            platform::postToMain([&] { turned = true; });
            platform::processMainEventsUntil([&] { return turned; });
        }
    }
};

}  // namespace

TEST(AppDelegate, ClosingTheMainWindowQuitsOnce) {
    DelegateFixture f;
    platform::Window settings({"settings", "Settings"});
    f.delegate.windowWillClose(settings);
    f.settle();
    EXPECT_EQ(f.terminations, 0);
    platform::Window* main = platform::Windows::open("main");
    f.delegate.windowWillClose(*main);
    f.delegate.windowWillClose(*main);
    f.settle();
    EXPECT_EQ(f.terminations, 1);
    EXPECT_TRUE(f.delegate.isTerminating());
}

TEST(AppDelegate, BringUpLeavesTheTrayAndMakesAGoneWindowAgain) {
    DelegateFixture f;
    f.store.runsInBackground = true;
    EXPECT_FALSE(f.delegate.applicationShouldTerminateAfterLastWindowClosed());
    ASSERT_EQ(mainWindow(), nullptr);
    f.delegate.bringUpMainWindow();
    ASSERT_NE(mainWindow(), nullptr);
    EXPECT_TRUE(mainWindow()->isVisible());
    EXPECT_FALSE(f.store.runsInBackground.get());
    EXPECT_EQ(f.panelHides, 1);
    EXPECT_TRUE(f.delegate.applicationShouldTerminateAfterLastWindowClosed());

    f.delegate.hideMainWindows();
    EXPECT_FALSE(mainWindow()->isVisible());
    EXPECT_TRUE(f.delegate.applicationShouldHandleReopen(false));
    EXPECT_TRUE(mainWindow()->isVisible());
    EXPECT_EQ(platform::Windows::all().size(), 1u);
}

// Right-click on the tray icon: the way back to the window, and the way out
// of a start that has none.
TEST(AppDelegate, TheTrayMenuOpensTheWindowOrQuits) {
    DelegateFixture f;
    f.delegate.applicationDidFinishLaunching();
    QMenu* menu = f.delegate.menuBar()->item().menu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text(), "&Open Tidewell");
    EXPECT_EQ(menu->actions()[1]->text(), "&Quit Tidewell");
    menu->actions()[0]->trigger();
    ASSERT_NE(mainWindow(), nullptr);
    EXPECT_TRUE(mainWindow()->isVisible());
    menu->actions()[1]->trigger();
    f.settle();
    EXPECT_EQ(f.terminations, 1);
}

TEST(AppDelegate, OpenedLinksActOnceAndOnlyWhenExact) {
    DelegateFixture f;
    f.delegate.handleOpenedURLs({"Tidewell://share", "tidewell://elsewhere"});
    f.settle();
    EXPECT_EQ(mainWindow(), nullptr) << "nothing acts, nothing comes forward";
    EXPECT_EQ(f.shares, 0);

    f.delegate.handleOpenedURLs({"tidewell://share", "tidewell://activate?code=42", "tidewell://share"});
    f.settle();
    EXPECT_EQ(f.shares, 1) << "several share links open one sheet";
    EXPECT_EQ(f.signIns, std::vector<std::string>{"tidewell://activate?code=42"});
    ASSERT_NE(mainWindow(), nullptr);
    EXPECT_TRUE(mainWindow()->isVisible());
}
