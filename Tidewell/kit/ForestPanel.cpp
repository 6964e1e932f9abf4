#include "kit/ForestPanel.h"

#include "kit/DashboardCardMarker.h"
#include "kit/Theme.h"
#include "ui/Shape.h"

namespace tidewell {

namespace ui = platform::ui;

ForestPanelShadow forestPanelShadow(bool elevated, bool dark) {
    if (elevated) return {18, 8, dark ? 0.28 : 0.07};
    return {8, 3, dark ? 0.16 : 0.04};
}

double forestPanelRimOpacity(bool dark) { return dark ? 0.10 : 0.72; }

ui::View ForestPanel(double padding, double cornerRadius, bool elevated, bool fillsHeight,
                     std::optional<std::string> cardMarkerID, ui::View content) {
    ui::View padded = content.padding(padding);
    if (fillsHeight) {
        ui::FrameSpec fill;
        fill.maxWidth = ui::infinity;
        fill.maxHeight = ui::infinity;
        fill.alignment = ui::Alignment::topLeading;
        padded = padded.frame(fill);
    }
    return ui::EnvironmentReader([=](const ui::EnvironmentValues& env) {
        const bool dark = env.colorScheme == ui::ColorScheme::dark;
        const ui::Shape card = ui::RoundedRectangle(cornerRadius, ui::RoundedCornerStyle::continuous);
        const ui::View surface = env.reduceTransparency
                                     ? card.fill(Theme::raisedSurface())
                                     : card.fill(ui::Color::clear()).background(card.fill(ui::Material::regular));
        ui::View panel = padded.background(surface);
        if (cardMarkerID) panel = panel.background(DashboardCardMarker(*cardMarkerID));
        const ForestPanelShadow shadow = forestPanelShadow(elevated, dark);
        // The rim is drawn over the content but must not take its clicks.
        return panel.overlay(card.strokeBorder(ui::Color::white(1, forestPanelRimOpacity(dark)), 1).allowsHitTesting(false))
            .shadow(ui::Color::black().opacity(shadow.opacity), shadow.radius, 0, shadow.y);
    });
}

}  // namespace tidewell
