#include "AccountTesting.h"

#include "Tidewell/core/StoreTestEnvironment.h"
#include "Tidewell/kit/KitViewTesting.h"
#include "core/AppStore.h"
#include "social/LeaderboardSync.h"
#include "ui/Form.h"

#include "core/AppUpdater.h"
#include "shell/AccountSettingsPane.h"
#include "shell/PrivacySettingsPane.h"
#include "ui/Menu.h"
#include "social/AccountAvatar.h"
#include "social/AccountPopover.h"
#include "social/LeaderboardSettingsSection.h"
#include "social/LeaderboardView.h"
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
    EXPECT_EQ(accountChipTexts(false, "Jane Doe", mail, true),
              (AccountChipTexts{"Keyring locked", mail, "Signed in as " + mail, "Account, signed in as " + mail}));
    EXPECT_EQ(accountChipTexts(false, "Jane Doe", none, true).subtitle, "Jane Doe");
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

TEST_F(AccountTest, TheWebPageStaysOnTheServiceOriginAndLeavesItOnlyForTheUser) {
    using Nav = LeaderboardNavigation;
    // url, link followed, main frame, right after the user's click or key
    auto action = [](std::optional<std::string> url, bool link, bool main, bool user = false) {
        return platform::WebNavigationAction{std::move(url), link, main, user};
    };
    // The origin is http://127.0.0.1:<port>: "localhost", another port or
    // another scheme is another site.
    const std::string own = service.origin() + "/u/jane";
    const std::string otherPort = "http://127.0.0.1:" + std::to_string(service.port() + 1) + "/leaderboard";
    const std::string otherScheme = "https://127.0.0.1:" + std::to_string(service.port()) + "/other";
    const std::string otherHost = "http://localhost:" + std::to_string(service.port()) + "/leaderboard";
    EXPECT_TRUE(LeaderboardWebModel::isServiceURL(own));
    EXPECT_TRUE(LeaderboardWebModel::isServiceURL(service.origin()));
    for (const auto& other : {otherPort, otherScheme, otherHost, std::string("about:blank"), std::string("not a url")})
        EXPECT_FALSE(LeaderboardWebModel::isServiceURL(other)) << other;
    EXPECT_FALSE(LeaderboardWebModel::isServiceURL(std::nullopt));
    const std::vector<std::pair<platform::WebNavigationAction, Nav>> cases = {
        {action(std::nullopt, true, true, true), Nav::cancel},
        {action("about:blank", false, true), Nav::allow},
        {action("about:blank", false, false), Nav::allow},
        {action(own, false, true), Nav::allow},
        {action(own, false, false), Nav::allow},
        // The user's click on a link, in the page or in one of its frames.
        {action(otherScheme, true, true, true), Nav::openInBrowser},
        {action(otherPort, true, true, true), Nav::openInBrowser},
        {action(otherHost, true, true, true), Nav::openInBrowser},
        {action("https://github.com/jane", true, false, true), Nav::openInBrowser},
        // The page's answer to the user's click or key.
        {action("https://elsewhere.example.com/", false, true, true), Nav::openInBrowser},
        // The page alone: a script, a refresh or a form sends nothing anywhere.
        {action(otherHost, true, true), Nav::cancel},
        {action("https://elsewhere.example.com/", false, true), Nav::cancel},
        {action("tidewell://activate?code=x", false, true), Nav::cancel},
        // Frames of another origin never load, clicked or not.
        {action(otherPort, false, false), Nav::cancel},
        {action("https://embed.example.com/frame", false, false), Nav::cancel},
        {action("https://embed.example.com/frame", false, false, true), Nav::cancel},
        {action("https://github.com/jane", true, false), Nav::cancel},
    };
    for (const auto& [a, nav] : cases)
        EXPECT_EQ(leaderboardNavigationPolicy(a), nav)
            << a.url.value_or("(none)") << " link " << a.linkActivated << " main " << a.targetsMainFrame << " user " << a.userInitiated;

    // Handing over: only http(s) reaches the browser; new windows never open.
    LeaderboardWebModel model;
    EXPECT_EQ(model.decidePolicy(action("tidewell://activate?code=x", true, true, true)), platform::WebPolicy::cancel);
    EXPECT_EQ(model.decidePolicy(action("https://github.com/jane", true, true, true)), platform::WebPolicy::cancel);
    EXPECT_EQ(model.decidePolicy(action("https://github.com/unasked", true, true)), platform::WebPolicy::cancel);
    model.newWindowRequested(action("https://example.org/new", false, true, true));
    model.newWindowRequested(action("javascript:open()", false, true, true));
    model.newWindowRequested(action("https://example.org/unasked", false, true));  // no click: refused
    model.newWindowRequested(action(own, false, true));
    EXPECT_EQ(workspace.openedURLs, (std::vector<std::string>{"https://github.com/jane", "https://example.org/new"}));
    EXPECT_EQ(workspace.refusedURLs.size(), 2u);
    EXPECT_FALSE(model.hasWebView());
}

// Like a reveal that nothing can show, an address that nothing can open is
// told in the banner.
TEST_F(AccountTest, OpenInBrowserThatNothingCanOpenSaysSoInTheBanner) {
    tidewell::testing::ScratchHome home;
    AppStore store;
    LeaderboardWebModel model;
    openLeaderboardInBrowser(model);
    idle();
    EXPECT_EQ(workspace.openedURLs, std::vector<std::string>{service.origin() + "/leaderboard"});
    EXPECT_EQ(store.lastError.get(), std::nullopt);

    workspace.openFailure = std::string(platform::kNoBrowserReason);
    openLeaderboardInBrowser(model);
    settle([&] { return store.lastError.get().has_value(); });
    EXPECT_EQ(store.lastError.get(),
              "Could not open " + service.origin() + "/leaderboard in a browser: no web browser is installed.");
    EXPECT_FALSE(model.hasWebView());
}

// Sign In, like "Open in Browser", says in the banner when nothing can open
// the browser; the popover closes as it always does.
TEST_F(AccountTest, SignInThatNothingCanOpenSaysSoInTheBanner) {
    tidewell::testing::ScratchHome home;
    AppStore store;
    int closed = 0;
    auto popover = kittest::layOut(AccountPopover(store, [&] { ++closed; }), {400, 300});
    workspace.openFailure = std::string(platform::kNoBrowserReason);
    ASSERT_TRUE(popover->tester.tapText("Sign In with Google…"));
    settle([&] { return store.lastError.get().has_value(); });
    const std::string page = service.origin() + "/account?from=app&intent=signin";
    EXPECT_EQ(workspace.openedURLs, std::vector<std::string>{page});
    EXPECT_EQ(store.lastError.get(), "Could not open " + page + " in a browser: no web browser is installed.");
    EXPECT_EQ(closed, 1);
}

// The popover, the Account pane and the leaderboard section follow the
// session: the locked keyring named with the account, and the account itself
// once Unlock finds the token.
TEST_F(AccountTest, ThePopoverNamesALockedKeyringAndShowsTheAccountOnceUnlocked) {
    tidewell::testing::ScratchHome home;
    AppStore store;
    home.defaults().setBool("account.signedIn", true);
    home.defaults().setString("account.email", "jane@example.com");
    home.defaults().setString("account.name", "Jane Doe");
    storeToken("t");
    keychain.locked = true;
    auto& account = *store.accountSession;
    account.unlockKeyring();
    settle([&] { return account.keyringLocked.get(); });
    int closed = 0;
    auto popover = kittest::layOut(AccountPopover(store, [&] { ++closed; }), {400, 300});
    EXPECT_TRUE(popover->shows("Keyring locked"));
    EXPECT_TRUE(popover->shows("jane@example.com"));
    EXPECT_FALSE(popover->shows("Not signed in"));
    auto pane = kittest::layOut(platform::ui::Form({AccountSettingsPane(store)}), {640, 300});
    EXPECT_TRUE(pane->shows("jane@example.com") && pane->shows("Keyring locked") && pane->shows("Unlock Keyring…"));
    EXPECT_FALSE(pane->shows("Sign In…"));
    LeaderboardSync sync;
    auto section = kittest::layOut(platform::ui::Form({LeaderboardSettingsSection(store, sync)}), {640, 600});
    EXPECT_TRUE(section->shows("Keyring locked") && section->shows("jane@example.com") && section->shows("Unlock Keyring…"));
    EXPECT_FALSE(section->shows("Sign In…"));

    keychain.locked = false;
    ASSERT_TRUE(popover->tester.tapText("Unlock Keyring…"));
    EXPECT_EQ(closed, 1);
    settle([&] { return account.isSignedIn.get(); });
    popover = kittest::layOut(AccountPopover(store, [] {}), {400, 300});  // opened again
    EXPECT_TRUE(popover->shows("Jane Doe"));
    EXPECT_TRUE(popover->shows("Sign Out"));
    EXPECT_FALSE(popover->shows("Keyring locked"));
    section = kittest::layOut(platform::ui::Form({LeaderboardSettingsSection(store, sync)}), {640, 600});
    EXPECT_TRUE(section->shows("Show me on the public leaderboard"));
    EXPECT_FALSE(section->shows("Unlock Keyring…"));
    account.signOut();
    section = kittest::layOut(platform::ui::Form({LeaderboardSettingsSection(store, sync)}), {640, 600});
    EXPECT_TRUE(section->shows("Sign In…") && !section->shows("Keyring locked"));
}

// A locked keyring the user cannot open is no dead end: each place that names
// it offers Sign Out beside "Unlock Keyring…", and Sign Out leaves the account
// for good, so the next launch asks for a sign-in, not an unlock.
TEST_F(AccountTest, ALockedKeyringOffersSignOutBesideUnlockWhereverItIsNamed) {
    LeaderboardSync sync;
    struct Place {
        const char* name;
        std::function<std::unique_ptr<kittest::Laid>(AppStore&)> lay;
        const char* signedOut;
    };
    const std::vector<Place> places{
        {"popover", [](AppStore& store) { return kittest::layOut(AccountPopover(store, [] {}), {400, 300}); },
         "Sign In with Google…"},
        {"Account pane",
         [](AppStore& store) { return kittest::layOut(platform::ui::Form({AccountSettingsPane(store)}), {640, 300}); },
         "Sign In…"},
        {"leaderboard section",
         [&sync](AppStore& store) {
             return kittest::layOut(platform::ui::Form({LeaderboardSettingsSection(store, sync)}), {640, 600});
         },
         "Sign In…"},
    };
    for (const Place& place : places) {
        SCOPED_TRACE(place.name);
        tidewell::testing::ScratchHome home;
        home.defaults().setBool("account.signedIn", true);
        home.defaults().setString("account.email", "jane@example.com");
        storeToken("t");
        keychain.locked = true;
        AppStore store;
        auto& account = *store.accountSession;
        account.unlockKeyring();
        settle([&] { return account.keyringLocked.get(); });
        auto laid = place.lay(store);
        EXPECT_TRUE(laid->shows("Keyring locked") && laid->shows("Unlock Keyring…") && laid->shows("Sign Out"));
        ASSERT_TRUE(laid->tester.tapText("Sign Out"));
        settle([&] { return !token(); });
        EXPECT_FALSE(account.isSignedIn.get() || account.keyringLocked.get());
        EXPECT_FALSE(home.defaults().contains("account.signedIn") || home.defaults().contains("account.email"));
        laid = place.lay(store);
        EXPECT_TRUE(laid->shows(place.signedOut) && !laid->shows("Keyring locked"));
        keychain.locked = false;
    }
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
    // The engine's own colour preference is fixed at its start: the page follows classes the window switches.
    EXPECT_EQ(script.find("prefers-color-scheme"), std::string::npos);
    // In dark appearance the page keeps its own colours: only the light class sets any.
    EXPECT_EQ(script.find("tidewell-dark"), std::string::npos);
    EXPECT_NE(script.find(":root.tidewell-light {"), std::string::npos);
    EXPECT_NE(leaderboardSchemeScript(true).find("add('tidewell-dark')"), std::string::npos);
    EXPECT_NE(leaderboardSchemeScript(false).find("add('tidewell-light')"), std::string::npos);
}

}  // namespace

namespace {

using namespace tidewell;
using kittest::layOut;
namespace ui = platform::ui;

class SectionTest : public accounttest::AccountTest {
protected:
    SectionTest() {
        store.emplace();
        store->accountSession->isSignedIn = true;
        CharacterProfile p = store->character.get();
        p.name = "ab";
        p.leaderboardOptIn = false;
        p.profileLink = "";
        store->setCharacter(p);
        storeToken(service.sessionFor("jane@example.com"));
        laid = layOut(ui::Form({LeaderboardSettingsSection(*store, sync)}), {640, 900});
        laid->host->observe(*store);
        laid->host->observe(sync);
    }
    ~SectionTest() override { store->accountSession->isSignedIn = false; }
    const CharacterProfile& profile() { return store->character.get(); }
    void rename(const std::string& name) {
        CharacterProfile p = profile();
        p.name = name;
        store->setCharacter(p);
    }
    void replied() {
        settle([&] { return !sync.isBusy.get(); });
        laid->tester.settle();
    }
    void toggle() {
        ASSERT_TRUE(laid->tester.tapText("Show me on the public leaderboard"));
        replied();
    }
    void commitLink(const std::string& text) {
        const auto field = laid->tester.findAll([](const auto& n) { return n.label == "github.com/you"; });
        ASSERT_EQ(field.size(), 1u);
        laid->tester.tap(field[0]);
        laid->tester.pressKey(Qt::Key_A, Qt::ControlModifier);
        laid->tester.typeText(text);
        laid->tester.pressKey(Qt::Key_Return);
        replied();
    }
    bool shows(const std::string& text) { return laid->tester.findText(text).has_value(); }

    tidewell::testing::ScratchHome home;
    std::optional<AppStore> store;
    LeaderboardSync sync;
    std::unique_ptr<kittest::Laid> laid;
};

TEST_F(SectionTest, ChangesTheServiceRefusesAreTakenBack) {
    toggle();  // a name the board refuses
    EXPECT_FALSE(profile().leaderboardOptIn);
    EXPECT_TRUE(shows("Rename the character above first. Use 3–20 letters, numbers, dots, dashes or underscores. No spaces."));
    rename("jane_doe\n");  // the rule takes the whole text
    toggle();
    EXPECT_FALSE(profile().leaderboardOptIn);
    EXPECT_EQ(countOf("PUT"), 0);

    rename("jane_doe");
    service.force("leaderboard.put", service::refusal("That name is taken."));
    toggle();
    EXPECT_FALSE(profile().leaderboardOptIn);
    EXPECT_TRUE(shows("That name is taken."));
    toggle();
    EXPECT_TRUE(profile().leaderboardOptIn);
    EXPECT_TRUE(laid->tester.exists("leaderboard.profileLink"));

    commitLink("  github.com/jane ");
    EXPECT_EQ(profile().profileLink, "https://github.com/jane");
    const int sent = countOf("PUT");
    commitLink("https://github.com/jane");  // the same link again sends nothing
    EXPECT_EQ(countOf("PUT"), sent);
    service.force("leaderboard.put", service::refusal("That link is not allowed."));
    commitLink("gitlab.com/jane");
    EXPECT_EQ(profile().profileLink, "https://github.com/jane");
    commitLink("ftp://example.com");
    EXPECT_TRUE(shows("Use a web address like https://github.com/you."));
    EXPECT_EQ(countOf("PUT"), sent + 1);

    // "Copied" reverts on its own, and doing so after the row is gone is harmless.
    ASSERT_TRUE(laid->tester.tapText("Copy Link"));
    EXPECT_EQ(workspace.copiedTexts, std::vector<std::string>{service.origin() + "/u/jane_doe"});
    EXPECT_TRUE(shows("Copied"));
    toggle();  // leaving removes the row
    EXPECT_FALSE(profile().leaderboardOptIn);
    EXPECT_TRUE(shows("You left the leaderboard."));
    EXPECT_FALSE(laid->tester.exists("leaderboard.profileLink"));
    idle(1.7);
    laid->tester.settle();
}

// With nothing on the desktop to open a browser, each link of the section,
// each post of its Share menu and the privacy link say so in the banner. The
// profile's address, copied or opened, is the board's (trimmed) name.
TEST_F(SectionTest, LinksThatNothingCanOpenSaySoInTheBanner) {
    CharacterProfile p = profile();
    p.name = "jane_doe\u00A0";
    p.leaderboardOptIn = true;
    store->setCharacter(p);
    laid->tester.settle();
    const std::string profileURL = service.origin() + "/u/jane_doe";
    ASSERT_TRUE(laid->tester.tapText("Copy Link"));
    EXPECT_EQ(workspace.copiedTexts, std::vector<std::string>{profileURL});

    workspace.openFailure = std::string(platform::kNoBrowserReason);
    std::vector<ui::MenuItem> shareItems;
    ui::setMenuPresenter([&](const std::vector<ui::MenuItem>& items) { shareItems = items; });
    ASSERT_TRUE(laid->tester.tapText("Share"));
    ui::setMenuPresenter(nullptr);
    ASSERT_EQ(shareItems.size(), 2u);
    const auto tap = [&](kittest::Laid& on, std::string text) { return [&on, text] { ASSERT_TRUE(on.tester.tapText(text)); }; };
    auto privacy = layOut(ui::Form({PrivacySettingsPane(*store)}), {600, 400});
    struct Case { std::string what; std::function<void()> open; std::string address; };
    const Case cases[] = {
        {"View the leaderboard", tap(*laid, "View the leaderboard"), service.origin() + "/leaderboard"},
        {"the profile link", tap(*laid, profileLinkLabel(profileURL)), profileURL},
        {"Post on X", shareItems[0].action, "https://x.com/intent/post?url="},
        {"Post on LinkedIn", shareItems[1].action, "https://www.linkedin.com/sharing/share-offsite/?url="},
        {"Privacy Policy", tap(*privacy, "Privacy Policy"), AppUpdater::privacyPageURL()},
    };
    for (const auto& c : cases) {
        store->lastError = std::nullopt;
        const auto opened = workspace.openedURLs.size();
        c.open();
        settle([&] { return store->lastError.get().has_value(); });
        ASSERT_EQ(workspace.openedURLs.size(), opened + 1) << c.what;
        const std::string& url = workspace.openedURLs.back();
        EXPECT_TRUE(url.starts_with(c.address)) << c.what << ": " << url;
        EXPECT_EQ(store->lastError.get(), "Could not open " + url + " in a browser: no web browser is installed.") << c.what;
    }
}

}  // namespace
