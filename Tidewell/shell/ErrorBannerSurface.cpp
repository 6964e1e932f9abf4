#include "shell/ErrorBannerSurface.h"

#include "kit/ForestPanel.h"
#include "kit/Theme.h"
#include "ui/Shape.h"

namespace tidewell {

platform::ui::View ErrorBannerSurface(platform::ui::View content) {
    namespace ui = platform::ui;
    // The panel's material lets the page read through; an error line must not.
    const ui::Shape card = ui::RoundedRectangle(14, ui::RoundedCornerStyle::continuous);
    return ForestPanel(12, 14, true, false, std::nullopt, std::move(content)).background(card.fill(Theme::raisedSurface()));
}

}  // namespace tidewell
