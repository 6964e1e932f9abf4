#include "shell/SettingsView.h"

#include "character/CharacterSettingsPane.h"
#include "core/AppStore.h"
#include "core/AppUpdater.h"
#include "kit/PointingHandCursorModifier.h"
#include "kit/Theme.h"
#include "shell/AccountSettingsPane.h"
#include "shell/GeneralSettingsPane.h"
#include "shell/PrivacySettingsPane.h"
#include "shell/ScanFoldersSettingsPane.h"
#include "shell/SettingsPane.h"
#include "shell/UpdatesSection.h"
#include "ui/AppStorage.h"
#include "ui/Button.h"
#include "ui/Form.h"
#include "ui/Label.h"
#include "ui/ScrollView.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

ui::View paneRow(SettingsPane pane, bool current, const ui::Binding<std::string>& paneID) {
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.alignment = ui::Alignment::leading;
    const ui::Color highlight = current ? Theme::accent().opacity(0.16) : ui::Color::primary().opacity(0.001);
    const ui::View label = ui::Label(settingsPaneTitle(pane), settingsPaneSymbol(pane))
                               .frame(fill)
                               .padding(ui::EdgeInsets{6, 10, 6, 10})
                               .background(ui::RoundedRectangle(7).fill(highlight))
                               .contentShape(ui::RoundedRectangle(7));
    ui::View row = ui::Button(label, [paneID, raw = rawValue(pane)] { paneID.set(raw); })
                       .modifier(ui::buttonStyle(ui::plainButtonStyle()))
                       .contentShape(ui::Rectangle())
                       .foregroundStyle(ui::ShapeStyle::primary())
                       .accessibilityIdentifier("settings." + rawValue(pane));
    if (current) row = row.accessibilityAddTraits(ui::AccessibilityTrait::selected);
    return PointingHandCursorModifier(row);
}

ui::View paneList(SettingsPane current, const ui::Binding<std::string>& paneID) {
    ui::ViewList blocks;
    for (const auto& group : settingsPaneGroups()) {
        ui::ViewList block{ui::Text(group.title)
                               .font(ui::Font::caption())
                               .fontWeight(ui::FontWeight::semibold)
                               .foregroundStyle(ui::ShapeStyle::secondary())
                               .padding(ui::Edges::horizontal(), 10)
                               .padding(ui::Edge::bottom, 4)};
        for (auto pane : group.panes) block.push_back(paneRow(pane, pane == current, paneID));
        blocks.push_back(ui::VStack(ui::HorizontalAlignment::leading, 2, std::move(block)).id(group.title));
    }
    return ui::ScrollView(ui::VStack(ui::HorizontalAlignment::leading, 14, std::move(blocks))
                              .padding(ui::Edges::horizontal(), 10)
                              .padding(ui::Edges::vertical(), 16))
        .frame(190, std::nullopt);
}

ui::View paneBody(AppStore& store, SettingsPane pane) {
    switch (pane) {
    case SettingsPane::general: return GeneralSettingsPane(store);
    case SettingsPane::folders: return ScanFoldersSettingsPane(store);
    case SettingsPane::account: return AccountSettingsPane(store);
    case SettingsPane::character: return CharacterSettingsPane(store);
    case SettingsPane::updates: return UpdatesSection(AppUpdater::shared());
    case SettingsPane::privacy: return PrivacySettingsPane(store);
    }
    return GeneralSettingsPane(store);
}

ui::FrameSpec fullWidth() {
    ui::FrameSpec f;
    f.maxWidth = ui::infinity;
    f.alignment = ui::Alignment::leading;
    return f;
}

ui::View paneDetail(AppStore& store, SettingsPane pane) {
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.maxHeight = ui::infinity;
    fill.alignment = ui::Alignment::topLeading;
    const ui::View heading = ui::Text(settingsPaneTitle(pane))
                                 .font(ui::Font::title2())
                                 .fontWeight(ui::FontWeight::semibold)
                                 .padding(ui::Edges::horizontal(), 28)
                                 .padding(ui::Edge::top, 20)
                                 .padding(ui::Edge::bottom, 6)
                                 .frame(fullWidth())
                                 .background(ui::View(Theme::windowBackground()))
                                 .zIndex(1)
                                 .accessibilityAddTraits(ui::AccessibilityTrait::header);
    // Identified by the pane, so a switch replaces the form and its scroll
    // position. The form scrolls under the title, never over it.
    return ui::VStack(ui::HorizontalAlignment::leading, 0, {heading, ui::Form({paneBody(store, pane)}).clipped()})
        .frame(fill)
        .id(rawValue(pane));
}

}  // namespace

ui::View SettingsView(AppStore& store, ui::Binding<std::string> paneID) {
    const SettingsPane current = currentSettingsPane(paneID.get());
    const ui::View columns = ui::HStack(ui::VerticalAlignment::center, 0,
                                        {paneList(current, paneID), ui::Divider(), paneDetail(store, current)});
    return ui::ZStack({ui::View(Theme::windowBackground()), columns}).frame(720, 500);
}

}  // namespace tidewell

namespace tidewell {

ui::View SettingsView(AppStore& store) {
    return ui::AppStorage<std::string>(kSelectedPaneKey, "general",
                                       [&store](ui::Binding<std::string> paneID) { return SettingsView(store, paneID); });
}

}  // namespace tidewell
