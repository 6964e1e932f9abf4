#include "shell/ErrorBannerSurface.h"

#include "kit/ForestPanel.h"

namespace tidewell {

platform::ui::View ErrorBannerSurface(platform::ui::View content) {
    return ForestPanel(12, 14, true, false, std::nullopt, std::move(content));
}

}  // namespace tidewell
