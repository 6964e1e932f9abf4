#include "social/SocialServices.h"

#include <mutex>

namespace tidewell {

SocialHooks& socialHooks() {
    static SocialHooks hooks;
    return hooks;
}

void leaderboardSync(const CharacterProfile& profile, std::uint64_t lifetimeBytes, double delaySeconds) {
    if (!profile.leaderboardOptIn) return;
    if (auto& hook = socialHooks().leaderboardSync) hook(profile, lifetimeBytes, delaySeconds);
}

bool findMainWindow() {
    auto& hook = socialHooks().findMainWindow;
    return hook ? hook() : false;
}

std::optional<QImage> captureMainWindowImage() {
    auto& hook = socialHooks().captureMainWindowImage;
    return hook ? hook() : std::nullopt;
}

}  // namespace tidewell
