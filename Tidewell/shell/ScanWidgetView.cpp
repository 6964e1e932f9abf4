#include "shell/ScanWidgetView.h"

#include "core/ModelTexts.h"
#include "core/ShellServices.h"
#include "dashboard/ProjectTypeCard.h"
#include "foundation/Formatters.h"
#include "kit/BrandMark.h"
#include "kit/ForestButton.h"
#include "kit/Theme.h"
#include "shell/GlassBackground.h"
#include "ui/Button.h"
#include "ui/Image.h"
#include "ui/ProgressView.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

// A whole number as the US-English formatter writes it: "1,234".
std::string wholeNumberText(std::int64_t n) {
    std::string digits = std::to_string(n < 0 ? -(n + 1) + std::uint64_t(1) : std::uint64_t(n));
    for (int at = int(digits.size()) - 3; at > 0; at -= 3) digits.insert(std::size_t(at), ",");
    return (n < 0 ? "-" : "") + digits;
}

ui::View secondaryCaption(std::string text) {
    return ui::Text(std::move(text)).font(ui::Font::caption()).foregroundStyle(ui::ShapeStyle::secondary());
}

ui::View header(AppStore& store, const std::function<void()>& onClose) {
    const bool scanning = store.isScanning.get();
    ui::ViewList items{BrandMark(18), ui::Text(scanning ? "Scanning…" : "Scan complete").font(ui::Font::headline()),
                       ui::Spacer(0)};
    if (scanning) items.push_back(secondaryCaption(formatElapsed(store.scanUI->elapsed)).monospacedDigit());
    items.push_back(ui::Button(ui::Image::systemName("xmark")
                                   .font(ui::Font::caption().weight(ui::FontWeight::semibold))
                                   .frame(16, 16)
                                   .contentShape(ui::Rectangle()),
                               onClose)
                        .modifier(ui::buttonStyle(ui::plainButtonStyle()))
                        .foregroundStyle(ui::ShapeStyle::secondary())
                        .help("Hide")
                        .accessibilityLabel("Hide"));
    return ui::HStack(ui::VerticalAlignment::center, 8, std::move(items));
}

ui::ViewList middle(AppStore& store) {
    if (store.isScanning.get()) {
        const ScanSnapshot& scan = store.scanUI.get();
        return {ui::ProgressView(store.scanGrowth.get()).modifier(ui::tint(Theme::reclaim())),
                ui::Text(projectCountText(scan.projectsFound) + " found")
                    .font(ui::Font::subheadline().weight(ui::FontWeight::semibold))
                    .foregroundStyle(Theme::reclaim()),
                secondaryCaption(scan.currentPath).lineLimit(1).truncationMode(ui::TruncationMode::middle)};
    }
    const auto& dashboard = store.dashboard.get();
    if (!dashboard) return {};
    return {ui::Text(platform::formatByteCount(dashboard->reclaimable_bytes))
                .font(ui::Font::system(24, ui::FontWeight::bold, ui::FontDesign::rounded))
                .foregroundStyle(Theme::reclaim()),
            secondaryCaption(projectCountText(dashboard->project_count) + " · " +
                             wholeNumberText(dashboard->idle_count) + " idle")};
}

}  // namespace

void openApp() { showMainWindow(); }

void hideNow(ScanWidgetPanel& panel) { panel.hide(0); }

ui::View ScanWidgetView(AppStore& store, std::function<void()> onOpen, std::function<void()> onClose) {
    ui::ViewList rows{header(store, onClose)};
    for (auto& v : middle(store)) rows.push_back(std::move(v));
    rows.push_back(ForestButton{"Open Tidewell", "macwindow", ForestButton::Tone::secondary, ui::ControlSize::small, true,
                                std::move(onOpen)});
    return glassBackground(ui::VStack(ui::HorizontalAlignment::leading, 10, std::move(rows)).padding(14).frame(260, std::nullopt),
                           16, Theme::windowBackground().opacity(0.7));
}

}  // namespace tidewell
