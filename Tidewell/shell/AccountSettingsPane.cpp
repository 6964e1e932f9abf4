#include "shell/AccountSettingsPane.h"

#include "kit/ForestButton.h"
#include "ui/Form.h"
#include "ui/LabeledContent.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View AccountSettingsPane(AppStore&) {
    // PLACEHOLDER: the store does not hold the account session yet. Until it
    // does, the pane shows the signed-out state and its buttons do nothing;
    // bind `isSignedIn`, `accountName`, `accountEmail`, sign-in and sign-out
    // here once the session lands.
    return AccountSettingsPane(AccountPaneState{}, [] {}, [] {});
}

ui::View AccountSettingsPane(const AccountPaneState& state, std::function<void()> signIn, std::function<void()> signOut) {
    auto value = [](std::string text) { return ui::Text(std::move(text)).foregroundStyle(ui::ShapeStyle::secondary()); };
    ui::ViewList rows;
    if (state.name) rows.push_back(ui::LabeledContent("Name", value(*state.name)));
    rows.push_back(ui::LabeledContent("Email", value(accountEmailText(state))));
    rows.push_back(state.isSignedIn ? ForestButton{"Sign Out", std::nullopt, ForestButton::Tone::secondary,
                                                   ui::ControlSize::regular, false, std::move(signOut)}
                                    : ForestButton{"Sign In…", std::nullopt, ForestButton::Tone::secondary,
                                                   ui::ControlSize::regular, false, std::move(signIn)});
    return ui::Section(std::move(rows));
}

}  // namespace tidewell
