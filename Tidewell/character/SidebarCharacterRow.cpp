#include "character/SidebarCharacterRow.h"

#include "character/CharacterFigure.h"
#include "character/CharacterSettingsLink.h"
#include "character/CharacterViewRules.h"
#include "core/AppStore.h"
#include "kit/Theme.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View SidebarCharacterRow(AppStore& store, bool compact) {
    const CharacterProfile profile = store.character.get();
    const SidebarCharacterTexts t = sidebarCharacterTexts(profile, store.lifetimeReclaimedBytes.get());
    ui::ViewList row{CharacterFigure{profile.body, characterUIColor(profile), profile.accessory, 1}.body().frame(26, 30)};
    if (!compact) {
        row.push_back(ui::VStack(ui::HorizontalAlignment::leading, 1,
                                 {ui::Text(t.name)
                                      .font(ui::Font::callout().weight(ui::FontWeight::semibold))
                                      .lineLimit(1)
                                      .truncationMode(ui::TruncationMode::middle),
                                  ui::HStack(ui::VerticalAlignment::center, 4,
                                             {ui::Text(t.stage).foregroundStyle(ui::ShapeStyle::secondary()),
                                              ui::Text("·").foregroundStyle(ui::ShapeStyle::tertiary()),
                                              ui::Text(t.bytes + " freed").monospacedDigit().foregroundStyle(Theme::reclaim())})
                                      .font(ui::Font::caption().weight(ui::FontWeight::medium))
                                      .lineLimit(1)}));
        row.push_back(ui::Spacer(0));
    }
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.alignment = compact ? ui::Alignment::center : ui::Alignment::leading;
    const ui::View label = ui::HStack(ui::VerticalAlignment::center, 8, row)
                               .padding(ui::Edges::horizontal(), compact ? 6 : 10)
                               .padding(ui::Edges::vertical(), 4)
                               .frame(fill)
                               .contentShape(ui::RoundedRectangle(8, ui::RoundedCornerStyle::continuous));
    return SidebarCharacterLink(label, t.rowTooltip, t.rowLabel);
}

}  // namespace tidewell
