#include "shell/AccountSettingsPane.h"

#include "core/AppStore.h"
#include "kit/ForestButton.h"
#include "ui/Form.h"
#include "ui/LabeledContent.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View AccountSettingsPane(AppStore& store) {
    const auto account = store.accountSession;
    const AccountPaneState state{account->isSignedIn.get(), account->accountName.get(), account->accountEmail.get(),
                                 account->keyringLocked.get()};
    return AccountSettingsPane(state, [account] { account->beginSignIn(); }, [account] { account->signOut(); },
                               [account] { account->unlockKeyring(); });
}

ui::View AccountSettingsPane(const AccountPaneState& state, std::function<void()> signIn, std::function<void()> signOut,
                             std::function<void()> unlockKeyring) {
    auto value = [](std::string text) { return ui::Text(std::move(text)).foregroundStyle(ui::ShapeStyle::secondary()); };
    ui::ViewList rows;
    if (state.name) rows.push_back(ui::LabeledContent("Name", value(*state.name)));
    rows.push_back(ui::LabeledContent("Email", value(accountEmailText(state))));
    if (state.keyringLocked)
        // Said as the chip and the popover say it, with Sign Out beside the way in.
        rows.push_back(ui::LabeledContent(
            "Keyring locked",
            ui::HStack(ui::VerticalAlignment::center, 8,
                       {ForestButton{"Unlock Keyring…", std::nullopt, ForestButton::Tone::secondary, ui::ControlSize::regular,
                                     false, std::move(unlockKeyring)},
                        ForestButton{"Sign Out", std::nullopt, ForestButton::Tone::secondary, ui::ControlSize::regular,
                                     false, signOut}})));
    else if (state.isSignedIn)
        rows.push_back(ForestButton{"Sign Out", std::nullopt, ForestButton::Tone::secondary, ui::ControlSize::regular, false,
                                    std::move(signOut)});
    else
        rows.push_back(ForestButton{"Sign In…", std::nullopt, ForestButton::Tone::secondary, ui::ControlSize::regular, false,
                                    std::move(signIn)});
    return ui::Section(std::move(rows));
}

}  // namespace tidewell
