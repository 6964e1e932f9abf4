#include "character/DashboardCharacter.h"

#include "character/CharacterFigure.h"
#include "character/CharacterViewRules.h"
#include "core/AppStore.h"
#include "dashboard/StorageTreeView.h"
#include "ui/Shape.h"
#include "ui/Text.h"
#include "ui/TimelineView.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View DashboardCharacter(AppStore& store, double size, std::optional<std::string> caption) {
    const CharacterProfile profile = store.character.get();
    if (!profile.walksOnTree) return ui::EmptyView();
    const double sizeFactor = characterSizeFactor(store.lifetimeReclaimedBytes.get());
    const CharacterFigure figure{profile.body, characterUIColor(profile), profile.accessory, sizeFactor};
    return ui::EnvironmentReader([figure, size, caption, name = characterDisplayName(profile)](const ui::EnvironmentValues& env) {
        const bool reduceMotion = env.reduceMotion;
        ui::ViewList column;
        if (caption)
            column.push_back(ui::Text(*caption)
                                 .font(ui::Font::callout().weight(ui::FontWeight::medium))
                                 .padding(ui::Edges::horizontal(), 10)
                                 .padding(ui::Edges::vertical(), 5)
                                 .background(ui::Capsule().fill(ui::Material::regular))
                                 .fixedSize());
        column.push_back(ui::TimelineView(ui::TimelineSchedule::animation(1.0 / 30, reduceMotion),
                                          [figure, size, reduceMotion](double hostSeconds) {
                                              const double hop = dashboardHop(secondsSinceReferenceDate(hostSeconds), reduceMotion);
                                              return figure.body().frame(size, size * 130 / 110).offset(0, -0.14 * size * hop);
                                          }));
        return ui::VStack(ui::HorizontalAlignment::center, 6, column)
            .accessibilityElement(ui::AccessibilityChildBehavior::ignore)
            .accessibilityLabel(name + ", your character");
    });
}

}  // namespace tidewell
