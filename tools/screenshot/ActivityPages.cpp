// The activity page (empty, with a log, one day, many days), the evening
// review (alone, and over the main window with an active and a protected
// idle project) and the global caches page, each as the main window shows it.

#include "ScreenshotPages.h"
#include "SampleStore.h"

#include "kit/SizeClassReader.h"
#include "kit/Theme.h"
#include "projects/ActivityView.h"
#include "projects/EndOfDayView.h"
#include "projects/GlobalCachesView.h"
#include "core/ProtectedStacks.h"
#include "foundation/UserDefaults.h"
#include "shell/TidewellApp.h"
#include "shell/RootView.h"
#include "ui/Shape.h"

namespace {

using namespace platform::ui;
using tidewell::AppStore;

// The page inside the window's margins, classed by the window's width.
View inWindow(std::function<View()> page) {
    return tidewell::SizeClassReader([page](tidewell::WidthClass, tidewell::HeightClass) {
               return page().padding(24);
           })
        .background(Rectangle().fill(tidewell::Theme::windowBackground()));
}

// The sample history with each preview moved to 40 s before the clean after
// it, so the timeline shows cleans paired with their previews.
std::vector<tidewell::OperationDTO> pairedHistory(int count, int days) {
    auto history = tidewell::fixtures::sampleHistory(count, days);
    for (std::size_t i = 1; i < history.size(); i += 2) history[i].timestamp_unix = history[i - 1].timestamp_unix - 40;
    if (history.size() > 4) history[3].project_path = "/home/dev/code/scratch-notes";  // a lone preview
    return history;
}

AppStore& withHistory(std::vector<tidewell::OperationDTO> history, std::string log = "") {
    AppStore& store = sampleStore();
    store.operations = std::move(history);
    store.activityLog = std::move(log);
    return store;
}

const ScreenshotPage empty("activity-empty", [] {
    return inWindow([] { return tidewell::ActivityView(withHistory({})); });
});
const ScreenshotPage logged("activity-log", [] {
    return inWindow([] {
        return tidewell::ActivityView(withHistory({}, "Scan finished: 24 projects, 18.4 GB reclaimable."));
    });
});
const ScreenshotPage oneDay("activity-one-day", [] {
    return inWindow([] {
        // The morning of the sample's day only.
        auto history = pairedHistory(5, 1);
        const std::int64_t now = tidewell::fixtures::SampleOptions{}.now;
        for (auto& op : history) op.timestamp_unix = now - (now - op.timestamp_unix) / 3;
        return tidewell::ActivityView(withHistory(std::move(history)));
    });
});
const ScreenshotPage manyDays("activity", [] {
    return inWindow([] { return tidewell::ActivityView(withHistory(pairedHistory(40, 12))); });
});
const ScreenshotPage review("end-of-day", [] {
    return inWindow([] { return tidewell::EndOfDayView(sampleStore(), [] {}).frame(480, 400); });
});
// The first idle project is active and the second of a protected stack: the
// review counts, lists and measures only the idle projects a clean takes.
const ScreenshotPage reviewOverWindow("shell-end-of-day", [] {
    AppStore& store = sampleStore(40, 8);
    platform::UserDefaults::standard()->setBool(tidewell::keys::hasCompletedOnboarding, true);
    auto d = *store.dashboard.get();
    std::vector<tidewell::ProjectDTO*> idle;
    for (auto& p : d.projects)
        if (p.is_idle && !p.is_active && !p.pinned) idle.push_back(&p);
    if (idle.size() >= 2) {
        idle[0]->is_active = true;
        platform::UserDefaults::standard()->setString(tidewell::protectedStacksKey, idle[1]->types.front());
    }
    store.applyDashboard(d);
    store.isScanning = false;
    store.lastError = std::nullopt;
    store.showEndOfDay = true;
    return tidewell::TidewellApp::mainWindowContent(store);
});
const ScreenshotPage caches("caches", [] { return inWindow([] { return tidewell::GlobalCachesView(sampleStore()); }); });
const ScreenshotPage noCaches("caches-empty", [] {
    return inWindow([] {
        AppStore& store = sampleStore();
        store.dashboard = std::nullopt;
        return tidewell::GlobalCachesView(store);
    });
});

// The activity page in the main window, beside the sidebar.
const ScreenshotPage mainActivity("main-activity", [] {
    AppStore& store = withHistory(pairedHistory(40, 12));
    store.selectedSection = tidewell::AppSection::activity;
    return tidewell::RootView(store);
});

}  // namespace
