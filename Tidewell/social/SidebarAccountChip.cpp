#include "social/SidebarAccountChip.h"

#include "core/AppStore.h"
#include "social/AccountAvatar.h"
#include "social/AccountPopover.h"
#include "ui/Button.h"
#include "ui/Image.h"
#include "ui/Popover.h"
#include "ui/Shape.h"
#include "ui/State.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

AccountChipTexts accountChipTexts(bool isSignedIn, const std::optional<std::string>& name,
                                  const std::optional<std::string>& email, bool keyringLocked) {
    AccountChipTexts t;
    t.title = keyringLocked ? "Keyring locked" : !isSignedIn ? "Sign in" : name ? *name : email ? *email : "Signed in";
    if (keyringLocked) t.subtitle = email ? email : name;
    else if (isSignedIn && name && email) t.subtitle = *email;
    // These two follow the e-mail address alone, as the account row of the settings does.
    t.tooltip = email ? "Signed in as " + *email : "Sign in to Tidewell";
    t.accessibilityLabel = email ? "Account, signed in as " + *email : "Account, not signed in";
    return t;
}

ui::View SidebarAccountChip(AppStore& store, bool compact) {
    AppStore* s = &store;
    return ui::WithState<bool>(false, [s, compact](ui::Binding<bool> showAccount) {
        const AccountSession& account = *s->accountSession;
        const AccountChipTexts t = accountChipTexts(account.isSignedIn.get(), account.accountName.get(), account.accountEmail.get(),
                                                    account.keyringLocked.get());
        ui::ViewList row{AccountAvatar{account.displayName(), compact ? 26.0 : 30.0}};
        if (!compact) {
            ui::ViewList lines{ui::Text(t.title)
                                   .font(ui::Font::callout().weight(ui::FontWeight::semibold))
                                   .lineLimit(1)
                                   .truncationMode(ui::TruncationMode::tail)};
            if (t.subtitle)
                lines.push_back(ui::Text(*t.subtitle)
                                    .font(ui::Font::caption())
                                    .foregroundStyle(ui::ShapeStyle::secondary())
                                    .lineLimit(1)
                                    .truncationMode(ui::TruncationMode::middle));
            ui::FrameSpec rest;
            rest.maxWidth = ui::infinity;
            rest.alignment = ui::Alignment::leading;
            row.push_back(ui::VStack(ui::HorizontalAlignment::leading, 1, std::move(lines)).frame(rest));
            row.push_back(ui::Image::systemName("chevron.up.chevron.down")
                              .font(ui::Font::caption2().weight(ui::FontWeight::semibold))
                              .foregroundStyle(ui::ShapeStyle::tertiary())
                              .accessibilityHidden(true));
        }
        ui::FrameSpec fill;
        fill.maxWidth = ui::infinity;
        fill.alignment = compact ? ui::Alignment::center : ui::Alignment::leading;
        const ui::Shape shape = ui::RoundedRectangle(10, ui::RoundedCornerStyle::continuous);
        const ui::View label = ui::HStack(ui::VerticalAlignment::center, 10, std::move(row))
                                   .padding(ui::Edges::horizontal(), compact ? 6 : 10)
                                   .padding(ui::Edges::vertical(), 8)
                                   .frame(fill)
                                   .background(shape.fill(ui::Color::primary().opacity(showAccount.get() ? 0.08 : 0.04)))
                                   .contentShape(shape);
        return ui::Button(label, [showAccount] { showAccount.set(!showAccount.get()); })
            .modifier(ui::buttonStyle(ui::plainButtonStyle()))
            .foregroundStyle(ui::Color::primary())
            .help(t.tooltip)
            .accessibilityLabel(t.accessibilityLabel)
            .accessibilityIdentifier("sidebar.account")
            .modifier(ui::popover(
                showAccount, [s, showAccount] { return AccountPopover(*s, [showAccount] { showAccount.set(false); }); },
                ui::Edge::trailing));
    });
}

}  // namespace tidewell
