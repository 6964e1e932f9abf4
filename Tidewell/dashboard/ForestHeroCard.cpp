#include "dashboard/ForestHeroCard.h"

#include "dashboard/StorageTreeView.h"
#include "kit/TreePalette.h"
#include "ui/Shape.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View ForestHeroCard(AppStore& store, DashboardDTO dash)
{
    const ui::Shape card = ui::RoundedRectangle(24);
    return StorageTreeView(store, std::move(dash))
        .clipShape(card)
        .overlay(card.strokeBorder(ui::Color::white().opacity(0.12), 1))
        .shadow(TreePalette::glow().opacity(0.1), 28, 0, 12)
        .accessibilityElement(ui::AccessibilityChildBehavior::contain)
        .accessibilityLabel("Development forest. Each bubble is a technology stack.");
}

}  // namespace tidewell
