#include "social/AccountPopover.h"

#include "core/AppStore.h"
#include "desktop/Keychain.h"
#include "kit/ForestButton.h"
#include "social/AccountAvatar.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View AccountPopover(AppStore& store, std::function<void()> onClose) {
    const std::shared_ptr<AccountSession> account = store.accountSession;
    ui::ViewList rows;
    if (account->isSignedIn.get()) {
        rows.push_back(ui::HStack(
            ui::VerticalAlignment::center, 12,
            {AccountAvatar{account->displayName(), 40},
             ui::VStack(ui::HorizontalAlignment::leading, 2,
                        {ui::Text(account->accountName.get().value_or("Signed in")).font(ui::Font::headline()).lineLimit(1),
                         ui::Text(account->accountEmail.get().value_or(""))
                             .font(ui::Font::callout())
                             .foregroundStyle(ui::ShapeStyle::secondary())
                             .lineLimit(1)
                             .truncationMode(ui::TruncationMode::middle)
                             .textSelection(true)})}));
        rows.push_back(ui::Divider());
        rows.push_back(ui::HStack(ui::VerticalAlignment::center, 8,
                                  {ForestButton{"Sign Out", std::nullopt, ForestButton::Tone::secondary,
                                                ui::ControlSize::regular, false, [account, onClose] {
                                                    account->signOut();
                                                    if (onClose) onClose();
                                                }}}));
    } else if (account->keyringLocked.get()) {
        // Still signed in where the token is kept: the account, and the way to it.
        rows.push_back(ui::HStack(
            ui::VerticalAlignment::center, 12,
            {AccountAvatar{account->displayName(), 40},
             ui::VStack(ui::HorizontalAlignment::leading, 2,
                        {ui::Text("Keyring locked").font(ui::Font::headline()).lineLimit(1),
                         ui::Text(account->accountEmail.get().value_or(account->accountName.get().value_or("")))
                             .font(ui::Font::callout())
                             .foregroundStyle(ui::ShapeStyle::secondary())
                             .lineLimit(1)
                             .truncationMode(ui::TruncationMode::middle)})}));
        // Sign Out beside it: a user who cannot unlock is not held in this state at every launch.
        rows.push_back(ui::HStack(ui::VerticalAlignment::center, 8,
                                  {ForestButton{"Unlock Keyring…", std::nullopt, ForestButton::Tone::accent,
                                                ui::ControlSize::regular, false,
                                                [account, onClose] {
                                                    account->unlockKeyring();
                                                    if (onClose) onClose();
                                                }},
                                   ForestButton{"Sign Out", std::nullopt, ForestButton::Tone::secondary,
                                                ui::ControlSize::regular, false, [account, onClose] {
                                                    account->signOut();
                                                    if (onClose) onClose();
                                                }}}));
    } else {
        rows.push_back(ui::HStack(ui::VerticalAlignment::center, 12,
                                  {AccountAvatar{std::nullopt, 40},
                                   ui::VStack(ui::HorizontalAlignment::leading, 2,
                                              {ui::Text("Not signed in").font(ui::Font::headline())})}));
        rows.push_back(ForestButton{"Sign In with Google…", std::nullopt, ForestButton::Tone::accent, ui::ControlSize::regular,
                                    false, [account, onClose] {
                                        account->beginSignIn();
                                        if (onClose) onClose();
                                    }});
    }
    // Without a keyring the token is kept in memory only; the user should know.
    if (account->isSignedIn.get() && !platform::Keychain::shared().isPersistent())
        rows.push_back(ui::Text("No keyring is running, so you stay signed in only until Tidewell quits.")
                           .font(ui::Font::caption())
                           .foregroundStyle(ui::ShapeStyle::secondary())
                           .fixedSize(false, true));
    if (const auto message = account->signInMessage.get())
        rows.push_back(ui::Text(*message).font(ui::Font::caption()).foregroundStyle(ui::ShapeStyle::secondary()));
    return ui::VStack(ui::HorizontalAlignment::leading, 14, std::move(rows)).padding(16).frame(320, std::nullopt, ui::Alignment::leading);
}

}  // namespace tidewell
