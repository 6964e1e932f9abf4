#include "character/CharacterSettingsPane.h"

#include "character/CharacterFigure.h"
#include "character/CharacterNameField.h"
#include "character/CharacterViewRules.h"
#include "core/AppStore.h"
#include "foundation/Formatters.h"
#include "kit/ForestButton.h"
#include "kit/PointingHandCursorModifier.h"
#include "kit/Theme.h"
#include "ui/Form.h"
#include "ui/Grid.h"
#include "ui/Label.h"
#include "ui/LabeledContent.h"
#include "ui/Picker.h"
#include "social/LeaderboardSettingsSection.h"
#include "social/LeaderboardSync.h"
#include "ui/Shape.h"
#include "ui/Text.h"
#include "ui/Toggle.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

ui::View previewSection(AppStore& store, const CharacterProfile& profile, std::uint64_t lifetime) {
    AppStore* s = &store;
    const ui::View figure =
        CharacterFigure{profile.body, characterUIColor(profile), profile.accessory, characterSizeFactor(lifetime)}
            .body()
            .frame(120, 140)
            .background(ui::RoundedRectangle(12, ui::RoundedCornerStyle::continuous).fill(Theme::accent().opacity(0.16)));
    const ui::View about = ui::VStack(
        ui::HorizontalAlignment::leading, 4,
        {ui::Text(characterDisplayName(profile)).font(ui::Font::title3().weight(ui::FontWeight::semibold)),
         ui::Text(paneStageLine(lifetime)).monospacedDigit().foregroundStyle(Theme::reclaim()),
         ui::Text("Grows as you clean. It never shrinks.").font(ui::Font::callout()).foregroundStyle(ui::ShapeStyle::secondary()),
         ForestButton{"Randomize", std::string("dice"), ForestButton::Tone::secondary, ui::ControlSize::regular, false,
                      [s] { randomizeCharacterLook(*s); }}
             .body()
             .padding(ui::Edge::top, 6)});
    return ui::Section({ui::HStack(ui::VerticalAlignment::center, 18, {figure, about, ui::Spacer(0)})
                            .padding(ui::Edges::vertical(), 4)
                            .onAppear([s] { markCharacterSetUp(*s); })});
}

ui::Binding<bool> flag(AppStore& store, bool CharacterProfile::*field) {
    AppStore* s = &store;
    return ui::Binding<bool>([s, field] { return s->character.get().*field; },
                             [s, field](bool on) {
                                 CharacterProfile p = s->character.get();
                                 p.*field = on;
                                 s->setCharacter(p);
                             });
}

ui::View showSection(AppStore& store) {
    return ui::Section("Show it", {ui::Toggle("Dashboard", flag(store, &CharacterProfile::walksOnTree)),
                                   ui::Toggle("Sidebar", flag(store, &CharacterProfile::showsInSidebar)),
                                   ui::Toggle("Share cards", flag(store, &CharacterProfile::showsOnShareCard))});
}

ui::View swatch(AppStore& store, const CharacterProfile& profile, int i) {
    AppStore* s = &store;
    const bool selected = profile.colorIndex == i;
    const ui::View face = ui::Circle()
                              .fill(paletteColor(characterPalette[std::size_t(i)]))
                              .frame(20, 20)
                              .padding(3)
                              .overlay(ui::Circle().strokeBorder(selected ? ui::Color::primary() : ui::Color::clear(), 2))
                              .contentShape(ui::Circle());
    ui::View button = ui::Button(face, [s, i] { chooseCharacterColor(*s, i); })
                          .modifier(ui::buttonStyle(ui::plainButtonStyle()))
                          .contentShape(ui::Rectangle())
                          .accessibilityLabel("Color " + std::to_string(i + 1));
    if (selected) button = button.accessibilityAddTraits(ui::AccessibilityTrait::selected);
    return PointingHandCursorModifier(button);
}

ui::View lookSection(AppStore& store, const CharacterProfile& profile) {
    AppStore* s = &store;
    std::vector<ui::PickerOption> bodies;
    for (CharacterBody b : allCharacterBodies) bodies.push_back({std::string(rawValue(b)), std::string(title(b))});
    const ui::Binding<std::string> body([s] { return std::string(rawValue(s->character.get().body)); },
                                        [s](std::string raw) {
                                            if (auto b = characterBodyFromRaw(raw)) chooseCharacterBody(*s, *b);
                                        });
    ui::ViewList swatches;
    for (int i = 0; i < 6; ++i) swatches.push_back(swatch(store, profile, i));
    return ui::Section("Look", {ui::Picker("Body", body, bodies, ui::PickerStyle::segmented),
                                ui::LabeledContent("Color", ui::HStack(ui::VerticalAlignment::center, 8, swatches)),
                                CharacterNameField(store)});
}

ui::View accessoryCell(AppStore& store, const CharacterProfile& profile, CharacterAccessory a, std::uint64_t lifetime) {
    AppStore* s = &store;
    const bool unlocked = accessoryUnlocked(a, lifetime);
    const bool selected = profile.accessory == a;
    const ui::Color figureColor = unlocked ? characterUIColor(profile) : ui::Color::secondary().opacity(0.5);
    const ui::View caption = unlocked ? ui::Text(std::string(title(a)))
                                      : ui::Label(platform::formatByteCount(std::uint64_t(unlockThreshold(a))), "lock.fill");
    const ui::Shape cell = ui::RoundedRectangle(10, ui::RoundedCornerStyle::continuous);
    ui::FrameSpec full;
    full.maxWidth = ui::infinity;
    const ui::View label = ui::VStack(ui::HorizontalAlignment::center, 4,
                                      {CharacterFigure{profile.body, figureColor, a, 1}.body().frame(44, 50), caption})
                               .font(ui::Font::caption())
                               .foregroundStyle(unlocked ? ui::ShapeStyle::primary() : ui::ShapeStyle::secondary())
                               .frame(full)
                               .padding(ui::Edges::vertical(), 6)
                               .background(cell.fill(selected ? Theme::accent().opacity(0.16) : ui::Color::primary().opacity(0.03)))
                               .overlay(cell.strokeBorder(selected ? Theme::accent() : ui::Color::clear(), 1.5))
                               .contentShape(cell);
    ui::View button = ui::Button(label, [s, a] { chooseCharacterAccessory(*s, a); })
                          .modifier(ui::buttonStyle(ui::plainButtonStyle()))
                          .help(accessoryCellTooltip(a, lifetime))
                          .accessibilityLabel(accessoryCellAccessibilityLabel(a, lifetime))
                          .accessibilityIdentifier("character.accessory." + std::string(rawValue(a)));
    if (selected) button = button.accessibilityAddTraits(ui::AccessibilityTrait::selected);
    return PointingHandCursorModifier(button);
}

ui::View accessorySection(AppStore& store, const CharacterProfile& profile, std::uint64_t lifetime) {
    ui::ViewList cells;
    for (CharacterAccessory a : allCharacterAccessories) cells.push_back(accessoryCell(store, profile, a, lifetime));
    const std::vector<ui::GridItem> columns(4, ui::GridItem::flexible(10, ui::infinity, 8));
    ui::FrameSpec full;
    full.maxWidth = ui::infinity;
    full.alignment = ui::Alignment::leading;
    const ui::View footer = ui::Text(accessoryProgressLine(lifetime))
                                .font(ui::Font::callout())
                                .foregroundStyle(ui::ShapeStyle::secondary())
                                .frame(full)
                                .padding(ui::Edges::horizontal(), 10);
    return ui::Section({ui::LazyVGrid(columns, cells, ui::HorizontalAlignment::center, 8).padding(ui::Edges::vertical(), 4)},
                       {ui::Text("Accessory"), footer});
}


}  // namespace

ui::View CharacterSettingsPane(AppStore& store) {
    const CharacterProfile profile = store.character.get();
    const std::uint64_t lifetime = store.lifetimeReclaimedBytes.get();
    return ui::Group({previewSection(store, profile, lifetime), showSection(store), lookSection(store, profile),
                      accessorySection(store, profile, lifetime), LeaderboardSettingsSection(store, *LeaderboardSync::shared())});
}

}  // namespace tidewell
