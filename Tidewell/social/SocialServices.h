#pragma once
// What the store needs of the leaderboard and share-capture side: the delayed
// leaderboard report, and finding and capturing the main window. Each hook does nothing until the
// side that owns it installs an implementation.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QImage>

#include "character/CharacterProfile.h"
#include "runtime/Published.h"

namespace tidewell {

struct SocialHooks {
    // Schedules one leaderboard report after `delaySeconds`, replacing a waiting one.
    std::function<void(const CharacterProfile&, std::uint64_t lifetimeBytes, double delaySeconds)> leaderboardSync;
    // True when the main window exists.
    std::function<bool()> findMainWindow;
    std::function<std::optional<QImage>()> captureMainWindowImage;
    // Whether an account session is signed in (none installed: signed out).
    std::function<bool()> isSignedIn;
    // Sends the leaderboard report at once; `done` gets the success flag and
    // the report's status sentence, if any.
    std::function<void(const CharacterProfile&, std::uint64_t lifetimeBytes,
                       std::function<void(bool ok, std::optional<std::string> status)> done)>
        leaderboardReportNow;
};

SocialHooks& socialHooks();

// LeaderboardSync.sync on the shared instance: does nothing unless the
// profile opted in, then hands the report to the installed hook.
void leaderboardSync(const CharacterProfile& profile, std::uint64_t lifetimeBytes, double delaySeconds);
bool findMainWindow();
std::optional<QImage> captureMainWindowImage();

}  // namespace tidewell
