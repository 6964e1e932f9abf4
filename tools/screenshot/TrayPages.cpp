// The tray widget (after a scan, during one, before any) and the floating
// scan panel (during and after a scan), each on a stand-in desktop.

#include "ScreenshotPages.h"
#include "SampleStore.h"

#include "projects/MenuBarWidget.h"
#include "shell/MenuBarStatusItem.h"
#include "shell/ScanWidgetView.h"
#include "ui/Shape.h"

namespace {

using namespace tidewell;
namespace ui = platform::ui;

// A desktop-like backdrop, so translucent surfaces show what lies behind them.
ui::View onDesktop(const ui::View& content) {
    ui::LinearGradient wallpaper{ui::Gradient{ui::Color::sRGB(0.18, 0.32, 0.45), ui::Color::sRGB(0.55, 0.42, 0.38)},
                                 ui::UnitPoint::topLeading, ui::UnitPoint::bottomTrailing};
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.maxHeight = ui::infinity;
    fill.alignment = ui::Alignment::topTrailing;
    return content.padding(16).frame(fill).background(ui::Rectangle().fill(wallpaper));
}

AppStore& storeFor(bool scanning, bool withDashboard) {
    AppStore& store = sampleStore();
    ScanSnapshot scan;
    scan.elapsed = 83;
    scan.projectsFound = 17;
    scan.message = "Measuring node_modules in ~/code/storefront";
    scan.currentPath = "/home/sam/code/storefront/packages/checkout/node_modules/.cache/babel-loader";
    store.scanUI = scan;
    store.scanGrowth = 0.62;
    store.startupDisk = VolumeSpace{"File System", 500'000'000'000, 48'000'000'000};
    store.isScanning = scanning;
    if (!withDashboard) store.dashboard = std::nullopt;
    return store;
}

ui::View widget(AppStore& store) { return menuBarPopoverContent(store, [] {}); }

const ScreenshotPage trayWidget("tray-widget", [] { return onDesktop(widget(storeFor(false, true))); });
const ScreenshotPage trayScanning("tray-widget-scanning", [] { return onDesktop(widget(storeFor(true, true))); });
const ScreenshotPage trayEmpty("tray-widget-empty", [] { return onDesktop(widget(storeFor(false, false))); });
const ScreenshotPage panelScanning("scan-panel", [] { return onDesktop(ScanWidgetView(storeFor(true, true), [] {}, [] {})); });
const ScreenshotPage panelDone("scan-panel-complete", [] { return onDesktop(ScanWidgetView(storeFor(false, true), [] {}, [] {})); });

}  // namespace
