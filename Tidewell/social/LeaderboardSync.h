#pragma once
// The leaderboard report: the character, its lifetime total and profile link
// sent to the service when the user opted in, a delayed report that a newer
// one replaces, the withdrawal, and the last outcome as one sentence.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "character/CharacterProfile.h"
#include "runtime/MainActor.h"
#include "runtime/Published.h"

namespace tidewell {

// The PUT body, keys in their order: nickname, character {body, colorIndex,
// accessory}, lifetimeBytes (exact), link. None when it cannot be encoded.
std::optional<std::string> leaderboardReportBody(const CharacterProfile& profile, std::uint64_t lifetimeBytes);

// What a 200 answer holds: the service's total (whole bytes) and the cap
// flag; none when the body is no such reply or its total is not a count of
// bytes (negative, infinite, past 64 bits).
struct LeaderboardReply {
    std::uint64_t lifetimeBytes = 0;
    bool capped = false;
};
std::optional<LeaderboardReply> decodeLeaderboardReply(const std::string& body);

class LeaderboardSync final : public platform::ObservableObject {
public:
    LeaderboardSync();
    ~LeaderboardSync() override;
    static std::shared_ptr<LeaderboardSync> shared();

    platform::Published<std::optional<std::string>> status;
    platform::Published<bool> isBusy;

    // Sends one report after `delaySeconds`, replacing a waiting one; nothing
    // unless the profile opted in.
    void sync(const CharacterProfile& profile, std::uint64_t lifetimeBytes, double delaySeconds);
    // Sends one report as soon as the keychain hands over the token; `done`
    // learns whether a just-stored opt-in or link may stand (false: no
    // session, or the service refused it).
    void sendReport(const CharacterProfile& profile, std::uint64_t lifetimeBytes, std::function<void(bool)> done = nullptr);
    void leave(std::function<void()> done = nullptr);
    // Drops the waiting report (leaving the leaderboard).
    void cancelPending();
    bool hasPending() const { return pending_.has_value() && !pending_->isCancelled(); }

private:
    void sendReport(const CharacterProfile& profile, std::uint64_t lifetimeBytes, const std::optional<std::string>& token,
                    std::function<void(bool)> done);
    std::optional<platform::WorkItem> pending_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Points the store's and the character views' social hooks at the shared
// report and account session.
void installLeaderboardHooks();

}  // namespace tidewell
