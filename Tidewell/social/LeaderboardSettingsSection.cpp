#include "social/LeaderboardSettingsSection.h"

#include <QString>
#include <QUrl>

#include <regex>

#include "core/AppStore.h"
#include "kit/ForestButton.h"
#include "kit/Theme.h"
#include "social/BrowserLink.h"
#include "social/LeaderboardSync.h"
#include "social/PublicProfileRow.h"
#include "social/ServiceOrigin.h"
#include "ui/Characters.h"
#include "ui/Form.h"
#include "ui/LabeledContent.h"
#include "ui/Link.h"
#include "ui/State.h"
#include "ui/Text.h"
#include "ui/TextField.h"
#include "ui/Toggle.h"

namespace tidewell {

namespace ui = platform::ui;

std::optional<std::string> normalizeProfileLink(const std::string& text) {
    std::string link = QString::fromStdString(text).trimmed().toStdString();
    if (link.empty()) return std::string();
    if (ui::characterCount(link) > 200) return std::nullopt;
    static const std::regex scheme("[A-Za-z][A-Za-z0-9+.-]*:.*", std::regex::extended);
    if (!std::regex_match(link, scheme)) link = "https://" + link;
    const QUrl url(QString::fromStdString(link), QUrl::StrictMode);
    if (!url.isValid()) return std::nullopt;
    const QString lowered = url.scheme().toLower();
    if (lowered != "https" && lowered != "http") return std::nullopt;
    if (url.host().isEmpty() || !url.host().contains('.')) return std::nullopt;
    if (!url.userName().isEmpty() || !url.password().isEmpty()) return std::nullopt;
    return link;
}

std::string publicProfileURL(const std::string& name) {
    // The board knows the character by its trimmed name; a space kept around
    // the stored one would lead to a page that does not exist.
    return appendingPathPiece(appendingPath(serviceOrigin(), "u"), trimmedCharacterName(name));
}

namespace {

const char* const renameFirst =
    "Rename the character above first. Use 3–20 letters, numbers, dots, dashes or underscores. No spaces.";

void setOptIn(AppStore& store, bool on) {
    CharacterProfile p = store.character.get();
    p.leaderboardOptIn = on;
    store.setCharacter(p);
}

void setLink(AppStore& store, const std::string& link) {
    CharacterProfile p = store.character.get();
    p.profileLink = link;
    store.setCharacter(p);
}

void toggleOptIn(AppStore& store, LeaderboardSync& sync, ui::Binding<std::optional<std::string>> error, bool on) {
    error.set(std::nullopt);
    if (!on) {
        setOptIn(store, false);
        sync.leave();
        return;
    }
    if (!isValidCharacterName(store.character->name)) {
        error.set(std::string(renameFirst));
        return;
    }
    setOptIn(store, true);
    AppStore* s = &store;
    sync.sendReport(store.character.get(), store.lifetimeReclaimedBytes.get(), [s](bool ok) {
        if (!ok) setOptIn(*s, false);
    });
}

void commitLink(AppStore& store, LeaderboardSync& sync, ui::Binding<std::string> link,
                ui::Binding<std::optional<std::string>> error) {
    error.set(std::nullopt);
    const auto candidate = normalizeProfileLink(link.get());
    if (!candidate) {
        error.set("Use a web address like https://" + std::string(profileLinkSampleHost) + "/you.");
        return;
    }
    link.set(*candidate);
    const std::string old = store.character->profileLink;
    if (*candidate == old) return;
    setLink(store, *candidate);
    if (!store.character->leaderboardOptIn) return;
    AppStore* s = &store;
    sync.sendReport(store.character.get(), store.lifetimeReclaimedBytes.get(), [s, link, old](bool ok) {
        if (ok) return;
        setLink(*s, old);
        link.set(old);
    });
}

ui::ViewList signedInRows(AppStore& store, LeaderboardSync& sync, ui::Binding<std::string> link,
                      ui::Binding<std::optional<std::string>> error) {
    AppStore* s = &store;
    LeaderboardSync* ls = &sync;
    const CharacterProfile profile = store.character.get();
    ui::TextFieldOptions options;
    options.onSubmit = [s, ls, link, error] { commitLink(*s, *ls, link, error); };
    ui::ViewList rows{
        ui::LabeledContent("Link", ui::TextField(std::string(profileLinkSampleHost) + "/you", link, options))
            .disabled(sync.isBusy.get())
            .help("Shown on your public profile. Leave empty for none."),
        ui::Toggle("Show me on the public leaderboard",
                   ui::Binding<bool>([s] { return s->character->leaderboardOptIn; },
                                     [s, ls, error](bool on) { toggleOptIn(*s, *ls, error, on); }))
            .disabled(sync.isBusy.get())};
    const std::optional<std::string> message = error.get() ? error.get() : sync.status.get();
    if (message)
        rows.push_back(ui::Text(*message)
                           .font(ui::Font::callout())
                           .foregroundStyle(error.get() ? ui::ShapeStyle(Theme::caution()) : ui::ShapeStyle::secondary())
                           .fixedSize(false, true));
    if (profile.leaderboardOptIn) rows.push_back(PublicProfileRow(publicProfileURL(profile.name)));
    rows.push_back(BrowserLink("View the leaderboard", appendingPath(serviceOrigin(), "leaderboard")));
    return rows;
}

ui::ViewList signedOutRows(AppStore& store) {
    auto account = store.accountSession;
    return ui::ViewList(
        {ui::Text("Sign in and " + characterDisplayName(store.character.get()) +
                  " joins the public leaderboard, with a profile page anyone can visit.")
             .foregroundStyle(ui::ShapeStyle::secondary())
             .fixedSize(false, true),
         ForestButton{"Sign In…", std::nullopt, ForestButton::Tone::secondary, ui::ControlSize::regular, false,
                      [account] { account->beginSignIn(); }}});
}

// Still signed in where the token is kept: the account, said to be locked, the way to it, and the way out.
ui::ViewList lockedRows(AppStore& store) {
    auto account = store.accountSession;
    return ui::ViewList(
        {ui::LabeledContent("Keyring locked",
                            ui::Text(account->accountEmail.get().value_or(account->accountName.get().value_or("")))
                                .foregroundStyle(ui::ShapeStyle::secondary())
                                .lineLimit(1)
                                .truncationMode(ui::TruncationMode::middle)),
         ui::HStack(ui::VerticalAlignment::center, 8,
                    {ForestButton{"Unlock Keyring…", std::nullopt, ForestButton::Tone::secondary, ui::ControlSize::regular,
                                  false, [account] { account->unlockKeyring(); }},
                     ForestButton{"Sign Out", std::nullopt, ForestButton::Tone::secondary, ui::ControlSize::regular, false,
                                  [account] { account->signOut(); }}})});
}

}  // namespace

ui::View LeaderboardSettingsSection(AppStore& store, LeaderboardSync& sync) {
    AppStore* s = &store;
    LeaderboardSync* ls = &sync;
    return ui::WithState<std::string>("", [s, ls](ui::Binding<std::string> link) {
        return ui::WithState<std::optional<std::string>>(std::nullopt, [s, ls, link](ui::Binding<std::optional<std::string>> error) {
            const bool signedIn = s->accountSession->isSignedIn.get();
            ui::FrameSpec full;
            full.maxWidth = ui::infinity;
            full.alignment = ui::Alignment::leading;
            const ui::View footer =
                ui::Text("On by default. Only your character, its name, total space reclaimed and the link you add are "
                         "shared, never your account name, email or file paths. Renaming the character changes your "
                         "profile link.")
                    .font(ui::Font::callout())
                    .foregroundStyle(ui::ShapeStyle::secondary())
                    .fixedSize(false, true)
                    .frame(full)
                    .padding(ui::Edges::horizontal(), 10);
            ui::ViewList rows = signedIn                              ? signedInRows(*s, *ls, link, error)
                                : s->accountSession->keyringLocked.get() ? lockedRows(*s)
                                                                         : signedOutRows(*s);
            rows.front() = rows.front().onAppear([s, ls, link] {
                link.set(s->character->profileLink);
                if (s->accountSession->isSignedIn.get() && !ls->status.get())
                    ls->sync(s->character.get(), s->lifetimeReclaimedBytes.get(), 0);
            });
            return ui::Section(std::move(rows), {ui::Text("Leaderboard"), footer});
        });
    });
}

}  // namespace tidewell
