#include "kit/ScanningBanner.h"

#include "core/AppStore.h"
#include "core/ModelTexts.h"
#include "kit/ForestPanel.h"
#include "kit/Theme.h"
#include "ui/ContentTransition.h"
#include "ui/Image.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

std::string scanningBannerDetail(std::int64_t projectsFound, const std::string& message) {
    return std::to_string(projectsFound) + " saplings · " + (message.empty() ? std::string("Walking the grove") : message);
}

ui::View ScanningBanner(const AppStore& store) {
    if (!store.isScanning.get()) return ui::EmptyView();
    const ScanSnapshot& scan = store.scanUI.get();
    const ui::View content = ui::HStack(
        ui::VerticalAlignment::center, 12,
        {
            ui::Image::systemName("leaf.fill").foregroundStyle(Theme::reclaim()).accessibilityHidden(true),
            ui::VStack(ui::HorizontalAlignment::leading, 2,
                       {
                           ui::Text("Growing the forest…").font(ui::Font::headline()),
                           ui::Text(scanningBannerDetail(scan.projectsFound, scan.message))
                               .font(ui::Font::caption())
                               .foregroundStyle(ui::ShapeStyle::secondary())
                               .lineLimit(1)
                               .truncationMode(ui::TruncationMode::middle)
                               .minimumScaleFactor(0.8),
                       }),
            ui::Spacer(8),
            // Changed digits roll over as the seconds count up.
            ui::NumericText(formatElapsed(scan.elapsed))
                .font(ui::Font::system(18, ui::FontWeight::semibold, ui::FontDesign::rounded).monospacedDigit()),
        });
    return ForestPanel(14, 16, false, false, std::nullopt, content);
}

}  // namespace tidewell
