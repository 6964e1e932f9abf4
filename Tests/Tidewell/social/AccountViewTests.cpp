#include "AccountTesting.h"

#include "social/AccountAvatar.h"
#include "social/LeaderboardSettingsSection.h"
#include "social/LeaderboardWebModel.h"
#include "social/PublicProfileRow.h"
#include "social/SidebarAccountChip.h"

namespace {

using namespace tidewell;
using accounttest::AccountTest;

TEST(AccountAvatarTest, InitialsComeFromTheFirstTwoPieces) {
    const std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> cases = {
        {"Jane Doe", "JD"},           {"jane.doe@example.com", "JD"}, {"cher", "C"},
        {" .@. ", std::nullopt},      {"", std::nullopt},             {std::nullopt, std::nullopt},
        {"ßtefan Ölm", "SSÖ"},        {"  anna   lee  x", "AL"},       {"émile", "É"},
    };
    for (const auto& [name, initials] : cases) EXPECT_EQ(accountInitials(name), initials) << name.value_or("(none)");
}

TEST(SidebarAccountChipTest, TextsFollowTheAccount) {
    const std::optional<std::string> none;
    const std::string mail = "jane@example.com";
    EXPECT_EQ(accountChipTexts(false, none, none),
              (AccountChipTexts{"Sign in", none, "Sign in to Tidewell", "Account, not signed in"}));
    EXPECT_EQ(accountChipTexts(true, none, mail),
              (AccountChipTexts{mail, none, "Signed in as " + mail, "Account, signed in as " + mail}));
    EXPECT_EQ(accountChipTexts(true, "Jane Doe", mail),
              (AccountChipTexts{"Jane Doe", mail, "Signed in as " + mail, "Account, signed in as " + mail}));
    EXPECT_EQ(accountChipTexts(true, none, none).title, "Signed in");
}

TEST(ProfileLinkTest, OnlyWebAddressesWithADottedHostAreKept) {
    const std::string long200 = "https://example.com/" + std::string(180, 'a');
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"  github.com/jane \n", "https://github.com/jane"},
        {"", ""},
        {" \t\n", ""},
        {"HTTP://Example.com/x", "HTTP://Example.com/x"},
        {"http://example.com", "http://example.com"},
        {"ftp://example.com/x", std::nullopt},
        {"mailto:jane@example.com", std::nullopt},
        {"javascript:alert(1)", std::nullopt},
        {"example.com:8080/x", std::nullopt},
        {"localhost:8080", std::nullopt},
        {"https://localhost/x", std::nullopt},
        {"https://user:pw@example.com/", std::nullopt},
        {"https://jane@example.com/", std::nullopt},
        {"https://exa mple.com/", std::nullopt},
        {long200, long200},
        {long200 + "b", std::nullopt},
    };
    for (const auto& [text, stored] : cases) EXPECT_EQ(normalizeProfileLink(text), stored) << text;
}

TEST_F(AccountTest, ProfileAddressesAreOnePathPieceOnTheService) {
    EXPECT_EQ(publicProfileURL("jane_doe"), service.origin() + "/u/jane_doe");
    EXPECT_EQ(publicProfileURL("a/../b?c#d e"), service.origin() + "/u/a%2F..%2Fb%3Fc%23d%20e");
    EXPECT_EQ(profileLinkLabel("https://tidewell.app/u/jane"), "tidewell.app/u/jane");
    EXPECT_EQ(profileLinkLabel("http://127.0.0.1:9/u/jane"), "http://127.0.0.1:9/u/jane");
}

TEST_F(AccountTest, TheWebPageStaysOnTheServiceHost) {
    using Nav = LeaderboardNavigation;
    auto action = [](std::optional<std::string> url, bool link, bool main) {
        return platform::WebNavigationAction{std::move(url), link, main};
    };
    // The origin is 127.0.0.1: "localhost" is another host.
    const std::string own = service.origin() + "/u/jane";
    const std::vector<std::pair<platform::WebNavigationAction, Nav>> cases = {
        {action(std::nullopt, true, true), Nav::cancel},
        {action("about:blank", false, true), Nav::allow},
        {action(own, true, true), Nav::allow},
        {action("https://127.0.0.1/other", false, true), Nav::allow},
        {action("http://localhost:" + std::to_string(service.port()) + "/leaderboard", true, true), Nav::openInBrowser},
        {action("https://github.com/jane", true, false), Nav::openInBrowser},
        {action("https://embed.example.com/frame", false, false), Nav::allow},
        {action("https://elsewhere.example.com/", false, true), Nav::openInBrowser},
        {action("tidewell://activate?code=x", false, true), Nav::openInBrowser},
    };
    for (const auto& [a, nav] : cases) EXPECT_EQ(leaderboardNavigationPolicy(a), nav) << a.url.value_or("(none)");

    // Handing over: only http(s) reaches the browser; new windows never open.
    LeaderboardWebModel model;
    EXPECT_EQ(model.decidePolicy(action("tidewell://activate?code=x", false, true)), platform::WebPolicy::cancel);
    EXPECT_EQ(model.decidePolicy(action("https://github.com/jane", true, true)), platform::WebPolicy::cancel);
    model.newWindowRequested(action("https://example.org/new", true, true));
    model.newWindowRequested(action("javascript:open()", true, true));
    EXPECT_EQ(workspace.openedURLs, (std::vector<std::string>{"https://github.com/jane", "https://example.org/new"}));
    EXPECT_EQ(workspace.refusedURLs.size(), 2u);
    EXPECT_FALSE(model.hasWebView());
}

TEST(LeaderboardWebModelTest, LoadingStateFollowsTheNavigations) {
    const auto t0 = platform::TimePoint{} + std::chrono::hours(1000);
    using std::chrono::seconds;
    EXPECT_TRUE(leaderboardNeedsLoad(std::nullopt, false, t0));
    EXPECT_FALSE(leaderboardNeedsLoad(t0, false, t0 + seconds(299)));
    EXPECT_TRUE(leaderboardNeedsLoad(t0, false, t0 + seconds(300)));
    EXPECT_TRUE(leaderboardNeedsLoad(t0, true, t0 + seconds(1)));

    LeaderboardWebModel model;
    model.didStartNavigation();
    EXPECT_TRUE(model.isLoading.get());
    model.didFailNavigation(platform::webLoadCancelledCode);
    EXPECT_FALSE(model.isLoading.get() || model.failed.get());
    model.didStartNavigation();
    model.didFailNavigation(-1001);
    EXPECT_TRUE(model.failed.get());
    EXPECT_FALSE(model.hasLoaded.get());
    model.didFinishNavigation();
    EXPECT_TRUE(model.hasLoaded.get() && !model.failed.get() && !model.isLoading.get());
    const std::string script = leaderboardStyleScript();
    EXPECT_EQ(script.rfind("(() => { const s = document.createElement('style'); s.textContent = `", 0), 0u);
    EXPECT_NE(script.find("nav.top, body > footer { display: none !important; }"), std::string::npos);
}

}  // namespace
