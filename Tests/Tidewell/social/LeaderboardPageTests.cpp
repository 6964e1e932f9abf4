#include "AccountTesting.h"

#include "social/LeaderboardWebModel.h"

// The web engine's own library fails AddressSanitizer's delete-size check
// when a page goes away, so the page runs only in the plain build.
#if !defined(__SANITIZE_ADDRESS__)

namespace {

using namespace tidewell;

// The real page in the engine, on the stand-in service at 127.0.0.1, where
// "localhost" is another host.
class LeaderboardPageTest : public accounttest::AccountTest {
protected:
    LeaderboardPageTest() {
        if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
        service.sessionFor("jane@example.com");
    }
    void loaded() {
        settle([&] { return model.hasLoaded.get() && !model.isLoading.get(); });
        idle(0.3);
    }
    std::string page() { return model.webView().url().value_or(""); }
    LeaderboardWebModel model;
};

TEST_F(LeaderboardPageTest, NavigationStaysOnTheServiceHost) {
    model.loadIfNeeded();
    loaded();
    ASSERT_TRUE(model.hasLoaded.get());
    EXPECT_EQ(page(), service.origin() + "/leaderboard");
    const std::string elsewhere = "http://localhost:" + std::to_string(service.port()) + "/u/jane";

    model.webView().runJavaScript("location.href = '" + elsewhere + "';");
    settle([&] { return !workspace.openedURLs.empty(); });
    EXPECT_EQ(workspace.openedURLs, std::vector<std::string>{elsewhere});
    idle(0.3);
    // A navigation sent elsewhere leaves the page as it was, not failed.
    EXPECT_FALSE(model.failed.get() || model.isLoading.get());
    EXPECT_EQ(page(), service.origin() + "/leaderboard");
    // Another scheme never leaves the page, whoever asks.
    model.webView().runJavaScript("location.href = 'tidewell://activate?code=planted';");
    idle(0.5);
    EXPECT_EQ(page(), service.origin() + "/leaderboard");
    EXPECT_FALSE(model.failed.get() || model.isLoading.get());

    // A window the user did not click for is refused, even on the service.
    model.webView().runJavaScript("window.open('" + service.origin() + "/u/jane', '_blank');");
    idle(0.5);
    EXPECT_EQ(page(), service.origin() + "/leaderboard");
    EXPECT_FALSE(model.failed.get());
    EXPECT_EQ(workspace.openedURLs.size(), 1u);
    EXPECT_TRUE(workspace.refusedURLs.empty());
}

TEST_F(LeaderboardPageTest, AnUnreachableServiceShowsTheFailure) {
    ::setenv("TIDEWELL_SITE", "http://127.0.0.1:9", 1);
    model.load();
    settle([&] { return model.failed.get(); });
    EXPECT_TRUE(model.failed.get());
    EXPECT_FALSE(model.isLoading.get() || model.hasLoaded.get());
}

}  // namespace

#endif
