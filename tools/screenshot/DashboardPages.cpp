// The dashboard in each of its states, where the main window puts it: the
// size classes of the whole window, the sidebar's width left blank, the
// page padding of the width class.

#include "ScreenshotPages.h"
#include "SampleStore.h"

#include "dashboard/DashboardView.h"
#include "kit/SizeClassReader.h"
#include "kit/Theme.h"

namespace {

using namespace tidewell;
namespace ui = platform::ui;

ui::View inWindow(AppStore& store) {
    return SizeClassReader([&store](WidthClass width, HeightClass) {
               const double sidebar = width == WidthClass::compact ? 64 : width == WidthClass::regular ? 200 : 220;
               const double padding = width == WidthClass::compact ? 14 : width == WidthClass::regular ? 18 : 20;
               ui::FrameSpec fill;
               fill.maxWidth = ui::infinity;
               fill.maxHeight = ui::infinity;
               fill.alignment = ui::Alignment::topLeading;
               return ui::HStack(ui::VerticalAlignment::top, 0,
                                 {ui::View(ui::Color::primary().opacity(0.04)).frame(sidebar, std::nullopt),
                                  DashboardView(store).frame(fill).padding(padding)});
           })
        .background(ui::View(Theme::windowBackground()));
}

AppStore& storeFor(bool scanning, bool restoring, bool withDashboard) {
    AppStore& store = sampleStore();
    store.isScanning = scanning;
    store.isRestoringScan = restoring;
    store.startupDisk = VolumeSpace{"File System", 500'000'000'000, 120'000'000'000};
    if (!withDashboard) store.dashboard = std::nullopt;
    if (scanning) {
        // Mid-scan: the root folder done, the projects folder being read.
        store.scanRoots = std::vector<std::string>{"/", "/home/sam/Projects", "/home/sam/Developer/tidewell"};
        ScanSnapshot scan;
        scan.elapsed = 74;
        scan.phase = "measure";
        scan.message = "Measuring harbor-cli";
        scan.currentPath = "/home/sam/Projects/harbor-cli/node_modules";
        scan.projectsFound = 23;
        scan.rootsDone = 1;
        scan.rootsTotal = 3;
        scan.log = {"Found tide-charts", "Measuring harbor-cli"};
        store.scanUI = scan;
        store.scanGrowth = 0.46;
    }
    return store;
}

const ScreenshotPage result("dashboard", [] { return inWindow(storeFor(false, false, true)); });
const ScreenshotPage scanning("dashboard-scanning", [] { return inWindow(storeFor(true, false, true)); });
const ScreenshotPage firstScan("dashboard-first-scan", [] { return inWindow(storeFor(true, false, false)); });
const ScreenshotPage restoring("dashboard-restoring", [] { return inWindow(storeFor(false, true, false)); });
const ScreenshotPage empty("dashboard-empty", [] { return inWindow(storeFor(false, false, false)); });

}  // namespace
