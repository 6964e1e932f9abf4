#include "social/LeaderboardSync.h"

#include <cmath>

#include <nlohmann/json.hpp>

#include "desktop/HttpClient.h"
#include "foundation/Formatters.h"
#include "social/AccountSession.h"
#include "social/ServiceOrigin.h"
#include "social/SocialServices.h"

namespace tidewell {

namespace {

std::string onTheBoardText(const std::string& nickname, std::uint64_t bytes) {
    return "On the leaderboard as " + nickname + " \u00B7 " + platform::formatByteCount(bytes);
}

platform::HttpRequest leaderboardRequest(const char* method, const std::string& token) {
    platform::HttpRequest request;
    request.method = method;
    request.url = appendingPath(serviceOrigin(), "api/app/leaderboard");
    request.timeout = std::chrono::seconds(60);
    request.headers = {{"Authorization", "Bearer " + token}};
    return request;
}

}  // namespace

std::optional<std::string> leaderboardReportBody(const CharacterProfile& profile, std::uint64_t lifetimeBytes) {
    nlohmann::ordered_json character;
    character["body"] = std::string(rawValue(profile.body));
    character["colorIndex"] = profile.colorIndex;
    character["accessory"] = std::string(rawValue(profile.accessory));
    nlohmann::ordered_json report;
    report["nickname"] = trimmedCharacterName(profile.name);
    report["character"] = std::move(character);
    report["lifetimeBytes"] = lifetimeBytes;
    report["link"] = profile.profileLink;
    try {
        return report.dump();
    } catch (const nlohmann::json::exception&) {  // text that is not UTF-8
        return std::nullopt;
    }
}

std::optional<LeaderboardReply> decodeLeaderboardReply(const std::string& body) {
    const auto reply = nlohmann::json::parse(body, nullptr, false);
    if (!reply.is_object()) return std::nullopt;
    const auto entry = reply.find("entry");
    const auto capped = reply.find("capped");
    if (entry == reply.end() || !entry->is_object() || capped == reply.end() || !capped->is_boolean()) return std::nullopt;
    const auto total = entry->find("lifetimeBytes");
    if (total == entry->end() || !total->is_number()) return std::nullopt;
    LeaderboardReply out;
    out.capped = capped->get<bool>();
    if (total->is_number_unsigned()) {
        out.lifetimeBytes = total->get<std::uint64_t>();
        return out;
    }
    const double value = total->get<double>();
    // 2^64: the first total a byte count cannot hold.
    if (!std::isfinite(value) || value < 0 || value >= 18446744073709551616.0) return std::nullopt;
    out.lifetimeBytes = static_cast<std::uint64_t>(value);
    return out;
}

LeaderboardSync::LeaderboardSync() : status(*this), isBusy(*this, false) {}

LeaderboardSync::~LeaderboardSync() { cancelPending(); }

std::shared_ptr<LeaderboardSync> LeaderboardSync::shared() {
    static const auto instance = std::make_shared<LeaderboardSync>();
    return instance;
}

void LeaderboardSync::sync(const CharacterProfile& profile, std::uint64_t lifetimeBytes, double delaySeconds) {
    if (!profile.leaderboardOptIn) return;
    cancelPending();
    pending_ = platform::postToMainAfter(std::chrono::duration<double>(std::max(0.0, delaySeconds)),
                                         [this, alive = std::weak_ptr<bool>(alive_), profile, lifetimeBytes] {
                                             if (alive.expired()) return;
                                             sendReport(profile, lifetimeBytes);
                                         });
}

void LeaderboardSync::cancelPending() {
    if (pending_) pending_->cancel();
}

void LeaderboardSync::sendReport(const CharacterProfile& profile, std::uint64_t lifetimeBytes, std::function<void(bool)> done) {
    // Busy from here: the keychain may take a while to hand over the token.
    isBusy = true;
    readSessionToken([this, alive = std::weak_ptr<bool>(alive_), profile, lifetimeBytes,
                      done = std::move(done)](std::optional<std::string> token) {
        if (!alive.expired()) sendReport(profile, lifetimeBytes, token, done);
    });
}

void LeaderboardSync::sendReport(const CharacterProfile& profile, std::uint64_t lifetimeBytes,
                                 const std::optional<std::string>& token, std::function<void(bool)> done) {
    auto finish = [done](bool ok) {
        if (done) done(ok);
    };
    if (!token) {
        status = std::string("Sign in to join the leaderboard.");
        isBusy = false;
        return finish(false);
    }
    const std::string nickname = trimmedCharacterName(profile.name);
    platform::HttpRequest request = leaderboardRequest("PUT", *token);
    request.headers.insert(request.headers.begin(), {"Content-Type", "application/json"});
    request.body = leaderboardReportBody(profile, lifetimeBytes).value_or("");
    isBusy = true;
    platform::HttpClient::shared().send(
        std::move(request), [this, alive = std::weak_ptr<bool>(alive_), profile, lifetimeBytes, nickname,
                             finish](platform::HttpResponse response) {
            if (alive.expired()) return;
            bool ok = true;
            if (response.failure == platform::HttpFailure::transport || response.failure == platform::HttpFailure::timedOut) {
                status = std::string("Could not reach ") + builtInServiceHost + ". It updates after your next clean.";
            } else if (response.failure == platform::HttpFailure::none && response.status == 200) {
                if (const auto reply = decodeLeaderboardReply(response.body)) {
                    std::string text = onTheBoardText(nickname, reply->lifetimeBytes);
                    if (reply->capped) text += ". Big jumps are added up to 300 GB a day.";
                    status = text;
                } else {
                    status = onTheBoardText(nickname, lifetimeBytes);
                }
            } else if (response.failure == platform::HttpFailure::none && response.status == 429) {
                sync(profile, lifetimeBytes, 25);
            } else {
                const auto reply = nlohmann::json::parse(response.body, nullptr, false);
                const auto error = reply.is_object() ? reply.find("error") : reply.end();
                status = reply.is_object() && error != reply.end() && error->is_string()
                             ? error->get<std::string>()
                             : std::string("Could not update the leaderboard.");
                ok = false;
            }
            isBusy = false;
            finish(ok);
        });
}

void LeaderboardSync::leave(std::function<void()> done) {
    cancelPending();
    isBusy = true;
    readSessionToken([this, alive = std::weak_ptr<bool>(alive_), done = std::move(done)](std::optional<std::string> token) {
        if (alive.expired()) return;
        if (!token) {
            status = std::nullopt;
            isBusy = false;
            if (done) done();
            return;
        }
        platform::HttpClient::shared().send(leaderboardRequest("DELETE", *token),
                                            [this, alive, done](platform::HttpResponse response) {
                                                if (alive.expired()) return;
                                                status = response.failure == platform::HttpFailure::none && response.status == 204
                                                             ? std::string("You left the leaderboard.")
                                                             : std::string("Could not leave the leaderboard. Try again.");
                                                isBusy = false;
                                                if (done) done();
                                            });
    });
}

void installLeaderboardHooks() {
    auto& hooks = socialHooks();
    hooks.leaderboardSync = [](const CharacterProfile& profile, std::uint64_t bytes, double delay) {
        LeaderboardSync::shared()->sync(profile, bytes, delay);
    };
    hooks.isSignedIn = [] { return AccountSession::shared()->isSignedIn.get(); };
    hooks.leaderboardReportNow = [](const CharacterProfile& profile, std::uint64_t bytes, auto done) {
        const auto sync = LeaderboardSync::shared();
        sync->sendReport(profile, bytes, [sync, done](bool ok) {
            if (done) done(ok, sync->status.get());
        });
    };
}

}  // namespace tidewell
