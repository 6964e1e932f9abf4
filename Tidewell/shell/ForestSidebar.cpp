#include "shell/ForestSidebar.h"

#include <atomic>

#include "character/SidebarCharacterRow.h"
#include "kit/BrandMark.h"
#include "kit/PointingHandCursorModifier.h"
#include "kit/ScrollsWhenShort.h"
#include "kit/SizeClass.h"
#include "kit/Theme.h"
#include "kit/ForestSpring.h"
#include "shell/SettingsWindow.h"
#include "shell/SidebarSelectionPill.h"
#include "shell/SidebarStatusCard.h"
#include "social/SidebarAccountChip.h"
#include "ui/Animation.h"
#include "ui/Button.h"
#include "ui/Image.h"
#include "ui/MatchedGeometryEffect.h"
#include "ui/Shape.h"
#include "ui/State.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

SidebarRow sidebarRow(AppSection section) {
    const std::string title(rawValue(section));
    const char* symbol = "house.fill";
    switch (section) {
        case AppSection::dashboard: symbol = "house.fill"; break;
        case AppSection::projects: symbol = "folder"; break;
        case AppSection::caches: symbol = "externaldrive"; break;
        case AppSection::activity: symbol = "clock"; break;
        case AppSection::leaderboard: symbol = "trophy"; break;
    }
    return {title, symbol, "sidebar." + title};
}

namespace {

// Each sidebar owns its selection space, so two windows never trade pills.
std::string newSelectionSpace() {
    static std::atomic<unsigned> next{0};
    return "selectionSpace-" + std::to_string(++next);
}

ui::View rowLabel(const std::string& symbol, const std::string& title, bool compact) {
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    ui::View label;
    if (compact) {
        label = ui::Image::systemName(symbol).frame(18, std::nullopt).frame(fill);
    } else {
        fill.alignment = ui::Alignment::leading;
        label = ui::HStack(ui::VerticalAlignment::center, 8,
                           {ui::Image::systemName(symbol).frame(18, std::nullopt),
                            ui::Text(title).lineLimit(1).minimumScaleFactor(0.85).frame(fill)});
    }
    return label.font(Theme::buttonFont());
}

ui::View sectionRow(AppStore& store, AppSection section, bool compact, bool reduceMotion, const std::string& selectionSpace) {
    const SidebarRow row = sidebarRow(section);
    const bool selected = store.selectedSection.get() == section;
    const ui::Shape hit = ui::RoundedRectangle(10, ui::RoundedCornerStyle::continuous);
    ui::View label = rowLabel(row.symbol, row.title, compact)
                         .padding(ui::Edges::horizontal(), compact ? 10 : 12)
                         .padding(ui::Edges::vertical(), 9);
    if (selected) label = label.background(SidebarSelectionPill().modifier(ui::matchedGeometryEffect("selection", selectionSpace)));
    label = label.contentShape(hit).foregroundStyle(selected ? Theme::accent() : ui::Color::primary());
    const std::optional<ui::Animation> spring = reduceMotion ? std::nullopt : std::optional(forestSpring());
    ui::View button = ui::Button(label, [&store, section, spring] {
                          ui::withAnimation(spring, [&] { store.selectedSection = section; });
                      }).modifier(ui::buttonStyle(ui::plainButtonStyle()));
    return PointingHandCursorModifier(button.contentShape(ui::Rectangle())
                                          .help(row.title)
                                          .accessibilityLabel(row.title)
                                          .accessibilityIdentifier(row.identifier));
}

ui::View brandTitle(bool compact) {
    ui::View title;
    if (compact) {
        title = BrandMark(28).help("Tidewell").accessibilityLabel("Tidewell");
    } else {
        title = ui::HStack(ui::VerticalAlignment::center, 8,
                           {BrandMark(28), ui::Text("Tidewell").font(ui::Font::headline()).lineLimit(1).minimumScaleFactor(0.85),
                            ui::Spacer()});
    }
    return title.padding(ui::Edges::horizontal(), compact ? 8 : 16)
        .padding(ui::Edge::top, 36)
        .padding(ui::Edge::bottom, 14);
}

ui::View settingsRow(bool compact) {
    const ui::Shape backdrop = ui::RoundedRectangle(8, ui::RoundedCornerStyle::continuous);
    ui::View label = rowLabel("gearshape", "Settings", compact)
                         .padding(ui::Edges::horizontal(), compact ? 10 : 12)
                         .padding(ui::Edges::vertical(), 8)
                         .background(backdrop.fill(ui::Color::primary().opacity(0.001)))
                         .contentShape(backdrop);
    // The link opens the window on the pane already stored; it doesn't change it.
    ui::View link = ui::Button(label, [] { openSettingsWindow(); })
                        .modifier(ui::buttonStyle(ui::plainButtonStyle()))
                        .foregroundStyle(ui::Color::primary())
                        .help("Settings")
                        .accessibilityLabel("Settings");
    return PointingHandCursorModifier(link);
}

ui::View sidebarBody(AppStore& store, bool compact, bool reduceMotion, const std::string& selectionSpace) {
    ui::ViewList rows;
    for (AppSection section : allAppSections)
        rows.push_back(sectionRow(store, section, compact, reduceMotion, selectionSpace));

    const ui::HorizontalAlignment column = compact ? ui::HorizontalAlignment::center : ui::HorizontalAlignment::leading;
    ui::ViewList bottom;
    // The character row stands here only in compact width; wider sidebars show it in the status card.
    if (store.character->showsInSidebar && compact) bottom.push_back(SidebarCharacterRow(store, true));
    bottom.push_back(SidebarStatusCard(store, compact));
    bottom.push_back(settingsRow(compact));
    bottom.push_back(SidebarAccountChip(store, compact));

    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.maxHeight = ui::infinity;
    fill.alignment = ui::Alignment::topLeading;
    return ScrollsWhenShort(ui::VStack(column, 0,
                                       {brandTitle(compact),
                                        ui::VStack(ui::HorizontalAlignment::center, 4, std::move(rows))
                                            .padding(ui::Edges::horizontal(), compact ? 6 : 10),
                                        ui::Spacer(16), ui::VStack(column, 10, std::move(bottom)).padding(compact ? 8 : 16)})
                                .frame(fill))
        .background(ui::View(ui::Color::primary().opacity(0.03)));
}

}  // namespace

ui::View ForestSidebar(AppStore& store) {
    return ui::WithState<std::string>(newSelectionSpace(), [&store](ui::Binding<std::string> selectionSpace) {
        return ui::EnvironmentReader([&store, selectionSpace = selectionSpace.get()](const ui::EnvironmentValues& env) {
            return sidebarBody(store, env.get<WidthClassKey>() == WidthClass::compact, env.reduceMotion, selectionSpace);
        });
    });
}

}  // namespace tidewell
