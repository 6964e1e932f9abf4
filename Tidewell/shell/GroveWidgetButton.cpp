#include "shell/GroveWidgetButton.h"

#include "kit/BrandMark.h"
#include "kit/SoftPressButtonStyle.h"
#include "projects/MenuBarWidget.h"
#include "ui/Button.h"
#include "ui/Popover.h"
#include "ui/Shape.h"
#include "ui/State.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

std::string grovePillText(bool isScanning, std::int64_t projectsFound, std::optional<std::int64_t> projectCount) {
    if (isScanning) return "Scanning " + std::to_string(projectsFound);
    if (!projectCount) return "Scan";
    return std::to_string(*projectCount) + (*projectCount == 1 ? " project" : " projects");
}

std::string grovePillText(const AppStore& store) {
    const auto& dashboard = store.dashboard.get();
    return grovePillText(store.isScanning.get(), store.scanUI->projectsFound,
                         dashboard ? std::optional(dashboard->project_count) : std::nullopt);
}

ui::View GroveWidgetButton(AppStore& store, bool compact) {
    return ui::WithState<bool>(false, [&store, compact](ui::Binding<bool> showWidget) {
        const std::string text = grovePillText(store);
        ui::ViewList items{BrandMark(16)};
        if (!compact)
            items.push_back(ui::Text(text)
                                .font(ui::Font::system(13, ui::FontWeight::semibold))
                                .foregroundStyle(ui::ShapeStyle::primary())
                                .lineLimit(1)
                                .fixedSize(true, false));
        const ui::Shape capsule = ui::Capsule(ui::RoundedCornerStyle::continuous);
        const ui::View label = ui::HStack(ui::VerticalAlignment::center, 6, std::move(items))
                                   .padding(ui::Edges::horizontal(), compact ? 8 : 12)
                                   .padding(ui::Edges::vertical(), 6)
                                   .background(capsule.fill(ui::Color::primary().opacity(0.08)))
                                   .contentShape(capsule);
        return softPressButtonStyle(ui::Button(label, [showWidget] { showWidget.set(!showWidget.get()); }))
            .help("Scanning status, project count, and clean")
            .accessibilityLabel(text)
            .modifier(ui::popover(showWidget, [&store, showWidget] {
                return MenuBarWidget(store, true, [showWidget] { showWidget.set(false); });
            }));
    });
}

}  // namespace tidewell
