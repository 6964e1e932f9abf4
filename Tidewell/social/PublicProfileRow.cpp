#include "social/PublicProfileRow.h"

#include <QUrl>

#include "desktop/Workspace.h"
#include "runtime/MainActor.h"
#include "social/BrowserLink.h"
#include "ui/Animation.h"
#include "ui/Button.h"
#include "ui/Label.h"
#include "ui/Link.h"
#include "ui/Menu.h"
#include "ui/Shape.h"
#include "ui/State.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

std::string profileLinkLabel(const std::string& url) {
    std::string label = url;
    for (auto at = label.find("https://"); at != std::string::npos; at = label.find("https://")) label.erase(at, 8);
    return label;
}

namespace {

std::string queryValue(const std::string& text) {
    return QUrl::toPercentEncoding(QString::fromStdString(text)).toStdString();
}

// Linux has no system share sheet: the profile goes to the same two networks
// the share card posts to, through their public share pages.
ui::View shareMenu(const std::string& url) {
    auto open = [](std::string page) { return [page] { openInBrowser(page); }; };
    return ui::Menu(ui::Label("Share", "square.and.arrow.up"),
                    {{"Post on X", open("https://x.com/intent/post?url=" + queryValue(url))},
                     {"Post on LinkedIn", open("https://www.linkedin.com/sharing/share-offsite/?url=" + queryValue(url))}})
        .fixedSize();
}

}  // namespace

ui::View PublicProfileRow(const std::string& url) {
    return ui::WithState<bool>(false, [url](ui::Binding<bool> copied) {
        const auto spring = ui::Animation::spring(0.5, 0.85);
        auto copy = [url, copied, spring] {
            platform::Workspace::shared().copyToClipboard(url);
            ui::withAnimation(spring, [copied] { copied.set(true); });
            // The binding lets go of its state with the row, so a late reset does nothing.
            platform::postToMainAfter(std::chrono::duration<double>(1.6),
                                      [copied, spring] { ui::withAnimation(spring, [copied] { copied.set(false); }); });
        };
        return ui::VStack(
                   ui::HorizontalAlignment::leading, 8,
                   {ui::Text("Your public profile").font(ui::Font::callout().weight(ui::FontWeight::semibold)),
                    ui::Text("Share it: anyone with the link can see your character, stage and total.")
                        .font(ui::Font::callout())
                        .foregroundStyle(ui::ShapeStyle::secondary())
                        .fixedSize(false, true),
                    ui::HStack(ui::VerticalAlignment::center, 8,
                               {BrowserLink(profileLinkLabel(url), url)
                                    .lineLimit(1)
                                    .truncationMode(ui::TruncationMode::middle)
                                    .help("Open your profile"),
                                ui::Button(copied.get() ? "Copied" : "Copy Link", copy).contentShape(ui::Rectangle()),
                                shareMenu(url)})})
            .padding(ui::Edges::vertical(), 2)
            .accessibilityIdentifier("leaderboard.profileLink");
    });
}

}  // namespace tidewell
