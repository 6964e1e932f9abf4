#include "character/CharacterSetupButton.h"

#include "character/CharacterFigure.h"
#include "character/CharacterSettingsLink.h"
#include "character/CharacterViewRules.h"
#include "core/AppStore.h"
#include "kit/GlassOrBorderedButton.h"
#include "kit/PointingHandCursorModifier.h"
#include "kit/Theme.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View CharacterSetupButton(AppStore& store) {
    const CharacterProfile profile = store.character.get();
    const ui::View label =
        ui::HStack(ui::VerticalAlignment::center, 6,
                   {CharacterFigure{profile.body, characterUIColor(profile), profile.accessory, 1}.body().frame(18, 21),
                    ui::Text("Set Up Your Character").font(Theme::buttonFont()).lineLimit(1)});
    const std::string tooltip = setupButtonTooltip(profile);
    return CharacterSettingsLink(label, [tooltip](const ui::View& link) {
        return PointingHandCursorModifier(GlassOrBorderedButton(link.contentShape(ui::Rectangle())))
            .help(tooltip)
            .accessibilityIdentifier("dashboard.setUpCharacter");
    });
}

}  // namespace tidewell
