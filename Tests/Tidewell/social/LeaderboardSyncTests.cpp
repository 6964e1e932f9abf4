#include "AccountTesting.h"

#include <nlohmann/json.hpp>

#include "Tidewell/core/StoreTestEnvironment.h"
#include "character/CharacterNameField.h"
#include "core/AppStore.h"
#include "desktop/HttpClient.h"
#include "social/LeaderboardSettingsSection.h"
#include "social/LeaderboardSync.h"

namespace {

using namespace tidewell;
using accounttest::AccountTest;
namespace svc = tidewell::service;

class LeaderboardTest : public AccountTest {
protected:
    LeaderboardTest() {
        profile.name = " \tjane_doe\t";
        profile.body = CharacterBody::cat;
        profile.colorIndex = 7;
        profile.accessory = CharacterAccessory::crown;
        storeToken(service.sessionFor("jane@example.com"));
    }
    // Sends one report now and waits for its outcome.
    std::optional<bool> report(std::uint64_t total) {
        std::optional<bool> result;
        sync.sendReport(profile, total, [&](bool ok) { result = ok; });
        settle([&] { return result.has_value(); });
        return result;
    }
    CharacterProfile profile;
    LeaderboardSync sync;
};

TEST(LeaderboardReplyTest, OnlyACountOfBytesIsATotal) {
    const std::vector<std::pair<std::string, std::optional<std::uint64_t>>> cases = {
        {R"({"entry":{"lifetimeBytes":1234.9},"capped":false})", 1234},
        {R"({"entry":{"lifetimeBytes":18446744073709551615},"capped":false})", 18446744073709551615ULL},
        {R"({"entry":{"lifetimeBytes":1e19},"capped":false})", 10000000000000000000ULL},
        {R"({"entry":{"lifetimeBytes":1.8446744073709552e19},"capped":false})", std::nullopt},
        {R"({"entry":{"lifetimeBytes":1e400},"capped":false})", std::nullopt},
        {R"({"entry":{"lifetimeBytes":-1},"capped":false})", std::nullopt},
        {R"({"entry":{"lifetimeBytes":-0.5},"capped":false})", std::nullopt},
        {R"({"entry":{"lifetimeBytes":"12"},"capped":false})", std::nullopt},
        {R"({"entry":{"lifetimeBytes":12}})", std::nullopt},
        {R"({"entry":{},"capped":true})", std::nullopt},
        {"<html>", std::nullopt},
    };
    for (const auto& [body, total] : cases) {
        const auto reply = decodeLeaderboardReply(body);
        EXPECT_EQ(reply ? std::optional(reply->lifetimeBytes) : std::nullopt, total) << body;
    }
}

TEST(LeaderboardReportBodyTest, KeysInOrderAndTheTotalExact) {
    CharacterProfile p;
    p.name = "  \t  ";
    p.colorIndex = -3;
    EXPECT_EQ(leaderboardReportBody(p, 18446744073709551615ULL),
              R"({"nickname":"","character":{"body":"robot","colorIndex":-3,"accessory":"cap"},)"
              R"("lifetimeBytes":18446744073709551615,"link":""})");
    p.name = "bad\xff";
    EXPECT_EQ(leaderboardReportBody(p, 1), std::nullopt);
}

TEST_F(LeaderboardTest, EachAnswerToTheReportHasItsSentenceAndVerdict) {
    struct Case {
        const char* what;
        std::optional<svc::ServiceAnswer> forced;
        std::uint64_t sent;
        std::optional<std::string> status;  // none: unchanged
        bool ok;
    };
    const std::vector<Case> cases = {
        {"accepted", std::nullopt, 12'345'000'000ULL, "On the leaderboard as jane_doe \u00B7 12.35 GB", true},
        {"capped", std::nullopt, 900'000'000'000ULL,
         "On the leaderboard as jane_doe \u00B7 300 GB. Big jumps are added up to 300 GB a day.", true},
        {"junk 200", svc::junkOK(), 5'000'000'000ULL, "On the leaderboard as jane_doe \u00B7 5 GB", true},
        {"429", svc::tooManyRequests(), 1, std::nullopt, true},
        {"400 with a sentence", svc::refusal("That name is taken."), 1, "That name is taken.", false},
        {"500 page", svc::serverErrorPage(), 1, "Could not update the leaderboard.", false},
        {"201", svc::emptyAnswer(201), 1, "Could not update the leaderboard.", false},
        // The token never follows a redirect to another origin ("localhost" is not 127.0.0.1).
        {"307 elsewhere", svc::ServiceAnswer{307, {}, {}, "http://localhost:" + std::to_string(service.port()) + "/api/app/leaderboard"},
         1, "Could not update the leaderboard.", false},
    };
    for (const auto& c : cases) {
        if (c.forced) service.force("leaderboard.put", *c.forced);
        sync.status = std::string("before");
        EXPECT_EQ(report(c.sent), c.ok) << c.what;
        EXPECT_EQ(sync.status.get(), c.status ? c.status : std::optional<std::string>("before")) << c.what;
        EXPECT_FALSE(sync.isBusy.get()) << c.what;
        EXPECT_EQ(sync.hasPending(), std::string(c.what) == "429") << c.what;
        sync.cancelPending();
    }
    EXPECT_EQ(countOf("PUT"), int(cases.size()));
    const auto& sent = service.requests.front();
    EXPECT_EQ(sent.method, "PUT");
    EXPECT_EQ(sent.target, "/api/app/leaderboard");
    EXPECT_EQ(sent.contentType, "application/json");
    EXPECT_EQ(sent.authorization, "Bearer " + *token());
    EXPECT_EQ(sent.body, R"({"nickname":"jane_doe","character":{"body":"cat","colorIndex":7,"accessory":"crown"},)"
                         R"("lifetimeBytes":12345000000,"link":""})");
}

TEST_F(LeaderboardTest, WithoutServiceOrSessionTheReportSaysWhy) {
    ::setenv("TIDEWELL_SITE", "http://127.0.0.1:9", 1);
    EXPECT_EQ(report(1), true);
    EXPECT_EQ(sync.status.get(), "Could not reach tidewell.app. It updates after your next clean.");
    keychain.items.clear();
    EXPECT_EQ(report(1), false);
    EXPECT_EQ(sync.status.get(), "Sign in to join the leaderboard.");
}

TEST_F(LeaderboardTest, LeavingCountsOnlyNoContent) {
    const std::vector<std::pair<std::optional<svc::ServiceAnswer>, std::string>> cases = {
        {std::nullopt, "You left the leaderboard."},
        {svc::emptyAnswer(200), "Could not leave the leaderboard. Try again."},
        {svc::serverErrorPage(), "Could not leave the leaderboard. Try again."},
    };
    for (const auto& [forced, text] : cases) {
        if (forced) service.force("leaderboard.delete", *forced);
        sync.sync(profile, 1, 30);
        bool done = false;
        sync.leave([&] { done = true; });
        EXPECT_FALSE(sync.hasPending());
        settle([&] { return done; });
        EXPECT_EQ(sync.status.get(), text);
        EXPECT_EQ(service.requests.back().body, "");
        EXPECT_EQ(service.requests.back().contentType, "");
    }
    keychain.items.clear();
    const auto sent = service.requests.size();
    bool done = false;
    sync.leave([&] { done = true; });
    settle([&] { return done; });
    EXPECT_EQ(sync.status.get(), std::nullopt);
    EXPECT_EQ(service.requests.size(), sent);
}

TEST_F(LeaderboardTest, DelayedReportsCollapseIntoTheLastOne) {
    for (std::uint64_t total : {1'000ULL, 2'000ULL, 3'000ULL}) sync.sync(profile, total, 0.05);
    CharacterProfile optedOut = profile;
    optedOut.leaderboardOptIn = false;
    sync.sync(optedOut, 9, 0);  // leaves the waiting one alone
    EXPECT_EQ(countOf("PUT"), 0);  // even a delay of 0 leaves on a later turn
    settle([&] { return countOf("PUT") > 0 && !sync.isBusy.get(); });
    idle(0.1);
    ASSERT_EQ(countOf("PUT"), 1);
    EXPECT_NE(service.requests.back().body.find("\"lifetimeBytes\":3000,"), std::string::npos);
}

// One trim of the name wherever it is read: the older stored form, the
// display name, the name field and the report with its sentence all drop the
// tab and every space separator at the ends, a pasted no-break space included.
TEST_F(LeaderboardTest, EveryPlaceTrimsTheNameOfTheSameSpaces) {
    tidewell::testing::ScratchHome home;
    AppStore store;
    std::string text;
    std::optional<std::string> error;
    const NameFieldState field{{[&] { return text; }, [&](std::string v) { text = v; }},
                               {[&] { return error; }, [&](std::optional<std::string> v) { error = v; }},
                               platform::ui::Binding<bool>::constant(false)};
    const NameFieldReporting signedOut{[] { return false; }, nullptr};
    const std::pair<std::string, std::string> cases[] = {
        {"Otter_7\u00A0", "Otter_7"},
        {"\u3000Mira.k\u2009", "Mira.k"},
        {"\t\u202F jane-doe \u205F\u00A0", "jane-doe"},
    };
    for (const auto& [name, trimmed] : cases) {
        EXPECT_EQ(decodeCharacterProfile(nlohmann::json{{"name", name}}.dump()).name, trimmed) << "older form: " << name;
        profile.name = name;
        EXPECT_EQ(characterDisplayName(profile), trimmed) << name;
        text = name;
        commitName(store, field, signedOut);
        EXPECT_EQ(error, std::nullopt) << name;
        EXPECT_EQ(store.character.get().name, trimmed) << "name field: " << name;
        EXPECT_EQ(report(1), true);
        EXPECT_EQ(nlohmann::json::parse(service.requests.back().body)["nickname"], trimmed) << name;
        EXPECT_EQ(sync.status.get(), "On the leaderboard as " + trimmed + " \u00B7 1 byte") << name;
    }
}

// The profile link leads to the page the board keeps for the reported name,
// a stored name with a no-break space after it included.
TEST_F(LeaderboardTest, TheProfileLinkOfAStoredNameWithSpacesIsAPageOnTheService) {
    platform::NetworkHttpClient client;
    for (const std::string name : {"OldNick\u00A0", " \tjane_doe\t", "Mira_7"}) {
        profile.name = name;
        ASSERT_EQ(report(1), true) << name;
        std::optional<int> status;
        client.send({.url = publicProfileURL(name)}, [&](platform::HttpResponse r) { status = r.status; });
        settle([&] { return status.has_value(); });
        EXPECT_EQ(status, 200) << publicProfileURL(name);
    }
}

}  // namespace
