#pragma once

#include <optional>
#include <string>

#include "ui/View.h"

namespace tidewell {

// The card surface of the pages: content padded by `padding` on a rounded
// rectangle (a translucent material, or the opaque raised surface under
// reduce transparency), with a light rim and a soft shadow, stronger when
// `elevated`. `fillsHeight` stretches the content to the offered space,
// top-leading; `cardMarkerID` tags the card with a `DashboardCardMarker`.
platform::ui::View ForestPanel(double padding, double cornerRadius, bool elevated, bool fillsHeight,
                               std::optional<std::string> cardMarkerID, platform::ui::View content);

// The panel's shadow and rim for a colour scheme, so a reader can see which
// numbers depend on the appearance.
struct ForestPanelShadow {
    double radius = 0;
    double y = 0;
    double opacity = 0;
};
ForestPanelShadow forestPanelShadow(bool elevated, bool dark);
double forestPanelRimOpacity(bool dark);

}  // namespace tidewell
