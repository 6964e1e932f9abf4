#include "AccountTesting.h"

#include "runtime/Clock.h"
#include "social/AccountSession.h"
#include "social/LeaderboardSync.h"
#include "social/ServiceOrigin.h"

namespace {

using namespace tidewell;
using accounttest::AccountTest;
namespace svc = tidewell::service;

const std::string networkText = "Could not reach tidewell.app. Check your connection and try again.";
const std::string expiredText = "This sign-in link has expired. Click Sign In and try again.";

TEST(ServiceOriginTest, TakesOnlyAnAbsoluteWebAddress) {
    const std::string builtIn = "https://tidewell.app";
    const std::vector<std::pair<std::optional<std::string>, std::string>> cases = {
        {std::nullopt, builtIn},
        {"", builtIn},
        {"not a url", builtIn},
        {"tidewell.test/path", builtIn},
        {"file:///tmp/x", builtIn},
        {"http://127.0.0.1:9123", "http://127.0.0.1:9123"},
        {"https://staging.example.org/", "https://staging.example.org/"},
    };
    for (const auto& [site, origin] : cases) {
        if (site) ::setenv("TIDEWELL_SITE", site->c_str(), 1);
        else ::unsetenv("TIDEWELL_SITE");
        EXPECT_EQ(serviceOrigin(), origin) << site.value_or("(unset)");
    }
    ::unsetenv("TIDEWELL_SITE");
    EXPECT_EQ(appendingPath("https://staging.example.org/", "api/app/token"), "https://staging.example.org/api/app/token");
    EXPECT_EQ(appendingPathPiece("http://h:1/u", "a b/../?#é"), "http://h:1/u/a%20b%2F..%2F%3F%23%C3%A9");
}

TEST(SignInCallbackTest, OnlyAWellFormedActivationCarriesACode) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"tidewell://activate?code=abc", "abc"},
        {"tidewell://activate?x=1&code=first&code=second", "first"},
        {"tidewell://activate?code=a%20b", "a b"},
        {"tidewell://activate?code=%C3%A9t%C3%A9+1&c%6Fde=x", "\u00E9t\u00E9+1"},
        // Bytes that are no UTF-8, and control characters (C0, DEL, C1), are no code.
        {"tidewell://activate?code=%ff%fe", std::nullopt},
        {"tidewell://activate?code=ab%C3", std::nullopt},
        {"tidewell://activate?code=a%0Ab", std::nullopt},
        {"tidewell://activate?code=a%00", std::nullopt},
        {"tidewell://activate?code=a%7F", std::nullopt},
        {"tidewell://activate?code=a%C2%85", std::nullopt},
        {"tidewell://activate?code=a%C2%9F", std::nullopt},
        {"tidewell://activate?code=a%C2%A0", "a\u00A0"},
        {"tidewell://activate?code=a%F0%9F%8C%8A", "a\U0001F30A"},
        // Format characters too: an override that turns the code around, the
        // invisible ones, and one past the Basic Multilingual Plane.
        {"tidewell://activate?code=abc%E2%80%AE", std::nullopt},
        {"tidewell://activate?code=a%C2%ADb", std::nullopt},
        {"tidewell://activate?code=a%E2%80%8Bb", std::nullopt},
        {"tidewell://activate?code=%EF%BB%BFabc", std::nullopt},
        {"tidewell://activate?code=a%F3%A0%80%81", std::nullopt},
        {"tidewell://activate?code=", std::nullopt},
        {"tidewell://activate", std::nullopt},
        {"tidewell://activate?other=1", std::nullopt},
        {"TIDEWELL://activate?code=abc", std::nullopt},
        {"tidewell://Activate?code=abc", std::nullopt},
        {"tidewell://activate.evil?code=abc", std::nullopt},
        {"tidewell://share?code=abc", std::nullopt},
        {"https://activate?code=abc", std::nullopt},
    };
    for (const auto& [url, code] : cases) EXPECT_EQ(signInCallbackCode(url), code) << url;
}

TEST_F(AccountTest, SignInRunsFromTheBrowserToTheStoredTokenAndIdentity) {
    AccountSession session;
    int signedIn = 0;
    session.onSignedIn = [&] { ++signedIn; };
    session.signInMessage = std::string("old failure");
    session.beginSignIn();
    EXPECT_EQ(session.signInMessage.get(), std::nullopt);
    ASSERT_EQ(workspace.openedURLs, std::vector<std::string>{service.origin() + "/account?from=app&intent=signin"});

    const std::string code = service.issueCode("jane@example.com", "Jane Doe");
    // Refused as no code at all: the sign-in's one try is still there for the real one.
    session.handleSignInCallback("tidewell://activate?code=%ff%fe");
    session.handleSignInCallback("tidewell://activate?code=" + code + "%0A");
    session.handleSignInCallback("tidewell://activate?code=%E2%80%AE" + code);
    session.handleSignInCallback("tidewell://activate?code=" + code + "&code=ignored");
    settle([&] { return (session.isSignedIn.get() && token()) || session.signInMessage.get(); });
    ASSERT_TRUE(session.isSignedIn.get()) << session.signInMessage.get().value_or("");
    EXPECT_EQ(session.accountEmail.get(), "jane@example.com");
    EXPECT_EQ(session.accountName.get(), "Jane Doe");
    EXPECT_EQ(signedIn, 1);
    ASSERT_TRUE(token().has_value());
    EXPECT_EQ(service.requests.back().body, "{\"code\":\"" + code + "\"}");
    EXPECT_EQ(service.requests.back().authorization, "");
    // The token stays out of the settings file; the identity comes back at the next start.
    EXPECT_EQ(defaults->object("session"), std::nullopt);
    for (const auto& key : {"account.email", "account.name"}) EXPECT_TRUE(defaults->contains(key));
    AccountSession nextRun;
    EXPECT_TRUE(nextRun.isSignedIn.get());
    EXPECT_EQ(nextRun.accountName.get(), "Jane Doe");

    // Sign-out removes all of it and nothing else: the report still waiting
    // stays scheduled, finds no session when it leaves, and sends nothing.
    auto sync = LeaderboardSync::shared();
    CharacterProfile profile;
    profile.name = "jane";
    profile.leaderboardOptIn = true;
    sync->sync(profile, 1, 0.05);
    session.signOut();
    EXPECT_TRUE(sync->hasPending());
    settle([&] { return sync->status.get().has_value(); });
    EXPECT_EQ(sync->status.get(), "Sign in to join the leaderboard.");
    EXPECT_EQ(countOf("PUT"), 0);
    sync->status = std::nullopt;
    EXPECT_FALSE(session.isSignedIn.get());
    EXPECT_EQ(session.accountEmail.get(), std::nullopt);
    EXPECT_EQ(session.accountName.get(), std::nullopt);
    EXPECT_EQ(token(), std::nullopt);
    EXPECT_FALSE(defaults->contains("account.email"));
    EXPECT_FALSE(AccountSession().isSignedIn.get());
}

// At launch the keyring is asked only for a stored account, and its answer
// is never waited for: the session is there at once, believed signed in.
TEST_F(AccountTest, LaunchAsksTheKeyringOnlyForAStoredAccountAndNeverWaits) {
    keychain.answers = false;  // a locked keyring nobody unlocks
    EXPECT_FALSE(AccountSession().isSignedIn.get());
    EXPECT_EQ(keychain.waitingCalls(), 0u) << "a signed-out user is never asked to unlock anything";

    defaults->setBool("account.signedIn", true);
    defaults->setString("account.email", "jane@example.com");
    {
        AccountSession waiting;
        EXPECT_TRUE(waiting.isSignedIn.get());
        EXPECT_EQ(waiting.accountEmail.get(), "jane@example.com");
        EXPECT_EQ(keychain.waitingCalls(), 1u);
    }

    keychain.answers = true;  // a keyring that holds no token after all
    AccountSession session;
    settle([&] { return !session.isSignedIn.get(); });
    EXPECT_FALSE(session.isSignedIn.get());
    EXPECT_EQ(session.accountEmail.get(), std::nullopt);
    EXPECT_TRUE(defaults->contains("account.email")) << "kept for the next start";
    storeToken("t");
    AccountSession signedIn;
    idle();
    EXPECT_TRUE(signedIn.isSignedIn.get());
}

// A keyring whose unlock prompt was cancelled keeps the account, said to be
// behind the locked keyring; the first read that finds the token, whoever
// asks (a report after a clean, the user's Unlock), brings the account back.
TEST_F(AccountTest, ALockedKeyringKeepsTheAccountAndTheTokenFoundBringsItBack) {
    defaults->setBool("account.signedIn", true);
    defaults->setString("account.email", "jane@example.com");
    defaults->setString("account.name", "Jane Doe");
    storeToken(service.sessionFor("jane@example.com", "Jane Doe"));
    keychain.locked = true;
    AccountSession session;
    settle([&] { return session.keyringLocked.get(); });
    EXPECT_FALSE(session.isSignedIn.get());
    EXPECT_EQ(session.displayName(), "Jane Doe");
    EXPECT_EQ(session.accountEmail.get(), "jane@example.com");

    keychain.locked = false;  // unlocked at the prompt of a report after a clean
    CharacterProfile profile;
    profile.name = "jane_doe";
    profile.leaderboardOptIn = true;
    std::optional<bool> reported;
    LeaderboardSync sync;
    sync.sendReport(profile, 1, [&](bool ok) { reported = ok; });
    settle([&] { return reported.has_value(); });
    EXPECT_TRUE(session.isSignedIn.get() && !session.keyringLocked.get());
    EXPECT_EQ(session.accountName.get(), "Jane Doe");
    EXPECT_EQ(countOf("PUT"), 1);

    keychain.locked = true;  // locked again while running, the next prompt cancelled
    session.unlockKeyring();
    settle([&] { return session.keyringLocked.get(); });
    EXPECT_FALSE(session.isSignedIn.get());
    keychain.locked = false;
    session.unlockKeyring();
    settle([&] { return session.isSignedIn.get(); });
    EXPECT_FALSE(session.keyringLocked.get());

    // Unlocked, and no token there after all: signed out for this run.
    keychain.locked = true;
    session.unlockKeyring();
    settle([&] { return session.keyringLocked.get(); });
    keychain.locked = false;
    keychain.items.clear();
    session.unlockKeyring();
    settle([&] { return !session.keyringLocked.get(); });
    EXPECT_FALSE(session.isSignedIn.get());
    EXPECT_EQ(session.accountEmail.get(), std::nullopt);

    // After a sign-out, no token a read finds brings the account back.
    session.signOut();
    storeToken("t");
    session.unlockKeyring();
    idle();
    EXPECT_FALSE(session.isSignedIn.get() || session.keyringLocked.get());
}

TEST_F(AccountTest, ActivationActsOnlyWhileASignInOfThisRunIsAwaited) {
    platform::ManualClock clock(platform::now());
    platform::setClockForTesting(&clock);
    AccountSession session;
    const std::string code = service.issueCode("mallory@example.com", "");
    session.handleSignInCallback("tidewell://activate?code=" + code);  // no sign-in begun
    session.beginSignIn();
    for (const char* url : {"tidewell://activate?code=", "tidewell://activate", "TIDEWELL://activate?code=x",
                            "tidewell://Activate?code=x"})
        session.handleSignInCallback(url);
    clock.set(clock.now() - std::chrono::hours(1));  // the date moved back: the window does not grow
    clock.advance(signInWindow + std::chrono::seconds(1));
    session.handleSignInCallback("tidewell://activate?code=" + code);  // too late
    idle();
    EXPECT_TRUE(service.requests.empty());
    EXPECT_EQ(session.signInMessage.get(), std::nullopt);
    EXPECT_FALSE(session.isSignedIn.get());
    platform::setClockForTesting(nullptr);
}

TEST_F(AccountTest, TheFirstActivationClosesTheWindowWhateverItsOutcome) {
    AccountSession session;
    session.beginSignIn();
    service.force("token", svc::refusal("expired"));
    session.handleSignInCallback("tidewell://activate?code=first");
    settle([&] { return session.signInMessage.get().has_value(); });
    session.handleSignInCallback("tidewell://activate?code=" + service.issueCode("mallory@example.com", ""));
    idle();
    EXPECT_EQ(countOf("POST"), 1);
    EXPECT_FALSE(session.isSignedIn.get());
}

TEST_F(AccountTest, EachAnswerOfTheCodeExchangeHasItsOutcome) {
    struct Case {
        const char* what;
        std::optional<svc::ServiceAnswer> forced;  // none: the real exchange
        bool reachable;
        std::optional<std::string> message;
        bool signedIn;
    };
    const std::vector<Case> cases = {
        {"200", std::nullopt, true, std::nullopt, true},
        {"200 with an empty session", svc::ServiceAnswer{200, "application/json", R"({"session":""})", {}}, true, std::nullopt, true},
        {"201 with a valid body", svc::ServiceAnswer{201, "application/json", R"({"session":"t"})", {}}, true, expiredText, false},
        {"400", svc::refusal("expired"), true, expiredText, false},
        {"500 page", svc::serverErrorPage(), true, expiredText, false},
        {"200 without a session", svc::junkOK(), true, networkText, false},
        // The code is a credential: no redirect takes it anywhere, not even back here.
        {"307 here", svc::ServiceAnswer{307, {}, {}, service.origin() + "/api/app/token"}, true, expiredText, false},
        {"307 elsewhere", svc::ServiceAnswer{307, {}, {}, "http://localhost:" + std::to_string(service.port()) + "/api/app/token"},
         true, expiredText, false},
        {"no service", std::nullopt, false, networkText, false},
    };
    for (const auto& c : cases) {
        keychain.items.clear();
        for (const auto& key : {"account.signedIn", "account.email", "account.name"}) defaults->remove(key);
        if (c.forced) service.force("token", *c.forced);
        if (!c.reachable) ::setenv("TIDEWELL_SITE", "http://127.0.0.1:9", 1);
        AccountSession session;
        session.beginSignIn();
        session.handleSignInCallback("tidewell://activate?code=" + service.issueCode("a@example.com", ""));
        settle([&] { return (session.isSignedIn.get() && token()) || session.signInMessage.get().has_value(); });
        EXPECT_EQ(session.signInMessage.get(), c.message) << c.what;
        EXPECT_EQ(session.isSignedIn.get(), c.signedIn) << c.what;
        EXPECT_EQ(token().has_value(), c.signedIn) << c.what;
        ::setenv("TIDEWELL_SITE", service.origin().c_str(), 1);
    }
    EXPECT_EQ(keychain.items.size(), 0u);
    EXPECT_EQ(countOf("POST"), int(cases.size()) - 1) << "one exchange per reachable case, no redirect followed";
}

}  // namespace
