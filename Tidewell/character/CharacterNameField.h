#pragma once
// The field that names the character. The name is also the nickname on the
// public leaderboard, so it is checked against the name rule and, when the
// user takes part and is signed in, reported at once and taken back when the
// service refuses it.

#include <functional>
#include <optional>
#include <string>

#include "character/CharacterProfile.h"
#include "ui/State.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

inline constexpr std::size_t characterNameFieldLimit = 20;  // user-perceived characters

// The first 20 user-perceived characters of what was typed or pasted.
std::string limitCharacterNameText(const std::string& text);

// How the field reaches the account and the leaderboard; by default the installed social hooks.
struct NameFieldReporting {
    std::function<bool()> isSignedIn;
    std::function<void(const CharacterProfile&, std::uint64_t lifetime,
                       std::function<void(bool ok, std::optional<std::string> status)> done)>
        reportNow;
};
NameFieldReporting installedNameFieldReporting();

// The field's view state. Writes through a binding whose field is gone do nothing.
struct NameFieldState {
    platform::ui::Binding<std::string> text;
    platform::ui::Binding<std::optional<std::string>> error;
    platform::ui::Binding<bool> saving;
};

inline constexpr const char* characterNameRuleMessage = "Use 3\u201320 letters, numbers, dots, dashes or underscores. No spaces.";
inline constexpr const char* characterNameHelp = "Also your name on the public leaderboard and in your profile link.";

// Checks and saves the typed name; with the leaderboard on and a session,
// reports it and restores the previous name when the report is refused.
void commitName(AppStore& store, const NameFieldState& state, const NameFieldReporting& reporting);

platform::ui::View CharacterNameField(AppStore& store, NameFieldReporting reporting = installedNameFieldReporting());

}  // namespace tidewell
