#include "shell/TitlebarAccountControls.h"

#include "desktop/Window.h"
#include "kit/ControlGlassGroup.h"
#include "kit/SoftPressButtonStyle.h"
#include "shell/AppDelegate.h"
#include "shell/GroveWidgetButton.h"
#include "shell/NoticePopover.h"
#include "ui/Button.h"
#include "ui/Image.h"
#include "ui/Popover.h"
#include "ui/Shape.h"
#include "ui/State.h"

namespace tidewell {

namespace ui = platform::ui;

TitlebarChrome titlebarChrome(double width) {
    if (width < 1000) return {true, 8};
    if (width < 1100) return {true, 12};
    if (width < 1320) return {false, 12};
    return {false, 14};
}

double measureTitlebarHost() {
    const platform::Window* main = mainWindow();
    return main ? main->frame().width : 1180;
}

std::string bellAccessibilityLabel(int badgeCount) {
    if (badgeCount > 0) return "Notifications, " + std::to_string(badgeCount) + " new";
    return "Notifications";
}

namespace {

ui::View bellButton(AppStore& store, const ui::Binding<bool>& showNotices) {
    const int badge = store.groveNoticeBadgeCount();
    ui::ViewList layers{ui::Image::systemName("bell.fill")
                            .font(ui::Font::system(13, ui::FontWeight::semibold))
                            .foregroundStyle(ui::ShapeStyle::primary())
                            .frame(28, 28)
                            .background(ui::Circle().fill(ui::Color::primary().opacity(0.08)))};
    if (badge > 0)
        layers.push_back(ui::Circle().fill(ui::Color::rgb255(255, 69, 58)).frame(8, 8).offset(1, -1).accessibilityHidden(true));
    const ui::View label = ui::ZStack(ui::Alignment::topTrailing, std::move(layers)).contentShape(ui::Circle());
    return softPressButtonStyle(ui::Button(label, [showNotices] { showNotices.set(!showNotices.get()); }))
        .help("Notifications")
        .accessibilityLabel(bellAccessibilityLabel(badge))
        .modifier(ui::popover(showNotices, [&store, showNotices] {
            return NoticePopover(store, [showNotices] { showNotices.set(false); });
        }));
}

}  // namespace

ui::View TitlebarAccountControls(AppStore& store) {
    return ui::WithState<bool>(false, [&store](ui::Binding<bool> showNotices) {
        const TitlebarChrome chrome = titlebarChrome(measureTitlebarHost());
        return ControlGlassGroup(8, ui::HStack(ui::VerticalAlignment::center, 8,
                                               {bellButton(store, showNotices), GroveWidgetButton(store, chrome.compactChrome)}))
            .fixedSize()
            .padding(ui::Edge::trailing, chrome.trailingInset);
    });
}

}  // namespace tidewell
