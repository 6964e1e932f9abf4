#pragma once
// The leaderboard part of the character settings: join or leave the public
// leaderboard, the link shown on the public profile, the last report's
// outcome and the profile's address; signed out, the way to sign in; with
// the keyring keeping the token locked, the account said to be locked and the
// way to unlock it.

#include <optional>
#include <string>

#include "ui/View.h"

namespace tidewell {

class AppStore;
class LeaderboardSync;

// The sample address of the link field and of its refusal.
inline constexpr const char* profileLinkSampleHost = "github.com";

// The typed link as stored: "" for none, none when it is not an http(s)
// address with a dotted host and no user or password, or is longer than 200
// characters; a missing scheme becomes "https://" (pure).
std::optional<std::string> normalizeProfileLink(const std::string& text);

// <origin>/u/<name>, the name as the board shows it (trimmed), encoded as one path piece.
std::string publicProfileURL(const std::string& name);

platform::ui::View LeaderboardSettingsSection(AppStore& store, LeaderboardSync& sync);

}  // namespace tidewell
