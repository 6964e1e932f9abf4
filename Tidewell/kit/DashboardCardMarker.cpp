#include "kit/DashboardCardMarker.h"

#include "ui/Color.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View DashboardCardMarker(const std::string& id) {
    return ui::View(ui::Color::clear()).allowsHitTesting(false).accessibilityIdentifier(id);
}

}  // namespace tidewell
