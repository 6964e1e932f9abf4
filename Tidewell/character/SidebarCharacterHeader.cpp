#include "character/SidebarCharacterHeader.h"

#include "character/CharacterFigure.h"
#include "character/CharacterSettingsLink.h"
#include "character/CharacterViewRules.h"
#include "core/AppStore.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {
ui::FrameSpec leadingFill() {
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.alignment = ui::Alignment::leading;
    return fill;
}
}  // namespace

ui::View SidebarCharacterHeader(AppStore& store) {
    const CharacterProfile profile = store.character.get();
    const SidebarCharacterTexts t = sidebarCharacterTexts(profile, store.lifetimeReclaimedBytes.get());
    const ui::View label =
        ui::HStack(ui::VerticalAlignment::center, 10,
                   {CharacterFigure{profile.body, characterUIColor(profile), profile.accessory, 1}.body().frame(42, 50),
                    ui::VStack(ui::HorizontalAlignment::leading, 1,
                               {ui::Text(t.name)
                                    .font(ui::Font::system(14, ui::FontWeight::semibold))
                                    .lineLimit(1)
                                    .truncationMode(ui::TruncationMode::middle),
                                ui::Text(t.stage).font(ui::Font::caption()).foregroundStyle(ui::ShapeStyle::secondary())})
                        // All the width beside the figure goes to the name (a spacer would share it).
                        .frame(leadingFill())})
            .contentShape(ui::Rectangle());
    return SidebarCharacterLink(label, t.headerTooltip, t.headerLabel);
}

}  // namespace tidewell
