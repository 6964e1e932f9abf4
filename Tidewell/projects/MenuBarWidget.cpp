#include "projects/MenuBarWidget.h"

#include <cstdio>

#include "core/ModelTexts.h"
#include "core/ShellServices.h"
#include "dashboard/ProjectTypeCard.h"
#include "foundation/Formatters.h"
#include "kit/BrandMark.h"
#include "kit/DisplayFont.h"
#include "kit/ForestButton.h"
#include "kit/PointingHandCursorModifier.h"
#include "kit/Theme.h"
#include "shell/StartupDiskCard.h"
#include "ui/Button.h"
#include "ui/ContentTransition.h"
#include "ui/Image.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

std::int64_t eligibleProjectCount(const std::optional<DashboardDTO>& dashboard) {
    if (!dashboard) return 0;
    std::int64_t count = 0;
    for (const auto& p : dashboard->projects)
        if (!p.is_active && !p.pinned && p.reclaimable_bytes != 0) ++count;
    return count;
}

namespace {

std::string lld(std::int64_t n) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(n));
    return text;
}

ui::View caption(std::string text) {
    return ui::Text(std::move(text)).font(ui::Font::caption()).foregroundStyle(ui::ShapeStyle::secondary());
}

ui::ViewList statusTexts(AppStore& store) {
    if (store.isScanning.get()) {
        const ScanSnapshot& scan = store.scanUI.get();
        return {ui::Text("Scanning… " + formatElapsed(scan.elapsed)).font(ui::Font::headline()),
                ui::Text(lld(scan.projectsFound) + " projects found")
                    .font(ui::Font::subheadline().weight(ui::FontWeight::semibold))
                    .foregroundStyle(Theme::reclaim()),
                caption(scan.message).lineLimit(2)};
    }
    if (const auto& dashboard = store.dashboard.get()) {
        const std::string size = platform::formatByteCount(dashboard->reclaimable_bytes);
        return {ui::Text(projectCountText(dashboard->project_count)).font(ui::Font::headline()),
                ui::NumericText(size)
                    .font(ui::Font::system(28, ui::FontWeight::bold, ui::FontDesign::rounded))
                    .foregroundStyle(Theme::reclaim()),
                caption(lld(dashboard->idle_count) + " idle · " + size + " reclaimable")};
    }
    return {ui::Text("No scan yet").font(ui::Font::headline()), caption("Scan to count projects on this computer.")};
}

ui::View menuRow(const std::string& title, const std::string& symbol, bool enabled, std::function<void()> action) {
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.alignment = ui::Alignment::leading;
    const ui::View label = ui::HStack(ui::VerticalAlignment::center, 8,
                                      {ui::Image::systemName(symbol).frame(16, std::nullopt), ui::Text(title)})
                               .frame(fill)
                               .contentShape(ui::Rectangle())
                               .foregroundStyle(enabled ? ui::ShapeStyle::primary() : ui::ShapeStyle::secondary());
    return PointingHandCursorModifier(ui::Button(label, std::move(action))
                                          .modifier(ui::buttonStyle(ui::plainButtonStyle()))
                                          .disabled(!enabled));
}

}  // namespace

ui::View MenuBarWidget(AppStore& store, bool embedded, std::function<void()> onClose) {
    // Each control acts, then closes its container when there is one.
    auto then = [embedded, onClose](std::function<void()> action) {
        return [embedded, onClose, action = std::move(action)] {
            action();
            if (embedded && onClose) onClose();
        };
    };
    const bool scanning = store.isScanning.get();
    ForestButton clean{"Clean", "leaf.fill", ForestButton::Tone::reclaim, ui::ControlSize::regular, true,
                       then([&store] { store.cleanAll(); })};

    ui::ViewList rows{ui::HStack(ui::VerticalAlignment::center, 8,
                                 {BrandMark(22), ui::Text("Tidewell").font(displayTitleFont(16)), ui::Spacer()})};
    for (auto& text : statusTexts(store)) rows.push_back(std::move(text));
    rows.push_back(StartupDiskCard(store, StartupDiskStyle::menu));
    rows.push_back(ui::View(clean).disabled(scanning || store.isCleaning.get() ||
                                            eligibleProjectCount(store.dashboard.get()) == 0));
    rows.push_back(ui::Divider());
    rows.push_back(menuRow("Rescan", "arrow.clockwise", !scanning, then([&store] {
                               showMainWindow();
                               store.startScan();
                           })));
    rows.push_back(menuRow("Open App", "macwindow", true, then([] { showMainWindow(); })));
    rows.push_back(menuRow("Review Projects", "folder", true, then([&store] {
                               store.selectedSection = AppSection::projects;
                               showMainWindow();
                           })));
    return ui::VStack(ui::HorizontalAlignment::leading, 14, std::move(rows)).padding(16).frame(280, std::nullopt);
}

}  // namespace tidewell
