// The project list, the files sheet and the clean confirmation, on the
// sample disk, framed as the main window frames a page; the confirmation
// after a clean that moved nothing also over the main window.

#include <algorithm>

#include "ScreenshotPages.h"
#include "SampleStore.h"
#include "foundation/UserDefaults.h"
#include "kit/SizeClassReader.h"
#include "kit/Theme.h"
#include "projects/CleanConfirmView.h"
#include "projects/ProjectFilesSheet.h"
#include "projects/ProjectListView.h"
#include "shell/TidewellApp.h"

using namespace tidewell;
namespace ui = platform::ui;

namespace {

ui::View framedPage(std::function<ui::View()> page) {
    return SizeClassReader(
        [page](WidthClass, HeightClass) { return page().padding(24).background(Theme::windowBackground()); });
}

AppStore& storeWith(bool idle, std::optional<std::string> stack) {
    AppStore& store = sampleStore(40, 8);
    store.filterIdle = idle;
    store.filterStack = std::move(stack);
    store.isScanning = false;
    return store;
}

const ScreenshotPage projects("projects",
                              [] { return framedPage([] { return ProjectListPage(storeWith(false, {})); }); });
const ScreenshotPage projectsStack("projects-stack", [] {
    return framedPage([] { return ProjectListPage(storeWith(false, std::string("node"))); });
});
const ScreenshotPage projectsIdle("projects-idle",
                                  [] { return framedPage([] { return ProjectListPage(storeWith(true, {})); }); });
const ScreenshotPage projectsSelecting("projects-selecting", [] {
    return framedPage([] {
        AppStore& store = storeWith(false, {});
        ProjectListState state;
        state.selecting = true;
        const auto& projects = store.dashboard.get()->projects;
        for (std::size_t i = 0; i < projects.size(); i += 3) state.selectedIDs.insert(projects[i].id);
        return ProjectListPage(store, state);
    });
});
const ScreenshotPage projectsEmpty("projects-empty", [] {
    return framedPage([] {
        AppStore& store = storeWith(false, {});
        store.dashboard = std::nullopt;
        return ProjectListPage(store);
    });
});

}  // namespace

namespace {

// The sample project with the most folders, with its caution bytes.
const ProjectDTO& busiestProject(AppStore& store) {
    const auto& projects = store.dashboard.get()->projects;
    return *std::max_element(projects.begin(), projects.end(), [](const ProjectDTO& a, const ProjectDTO& b) {
        return a.artifacts.size() < b.artifacts.size();
    });
}

const ScreenshotPage filesSheet("projects-files", [] {
    AppStore& store = storeWith(false, {});
    return ProjectFilesSheet(
        store, [] {}, busiestProject(store));
});

// A finished dry run of three projects, as the store publishes it.
AppStore& storeWithPreview(int copies = 1) {
    AppStore& store = storeWith(false, {});
    const auto& projects = store.dashboard.get()->projects;
    std::vector<ProjectDTO> chosen(projects.begin(), projects.begin() + 3);
    CleanReportDTO report;
    report.dry_run = true;
    for (int copy = 0; copy < copies; ++copy)
        for (const auto& p : chosen)
            for (const auto& a : p.artifacts) {
                report.items.push_back(CleanItemDTO{a.absolute_path, a.size_bytes, a.safetyClass, true, {}});
                report.bytes_reclaimed += a.size_bytes;
            }
    store.cleanConfirmProjects = chosen;
    store.cleanConfirmProject = chosen.front();
    store.pendingCleanReport = report;
    store.isCleaning = false;
    store.cleanStatus = "";
    return store;
}

const ScreenshotPage confirm("projects-confirm", [] {
    AppStore& store = storeWithPreview();
    return CleanConfirmView(store, *store.cleanConfirmProject.get(), [] {});
});
// Several hundred folders: the list scrolls, the heading, totals and buttons stay.
const ScreenshotPage confirmLong("projects-confirm-long", [] {
    AppStore& store = storeWithPreview(60);
    return CleanConfirmView(store, *store.cleanConfirmProject.get(), [] {});
});
const ScreenshotPage confirmProgress("projects-confirm-progress", [] {
    AppStore& store = storeWithPreview();
    store.isCleaning = true;
    store.cleanStatus = "Cleaning 2 of 3\u2026";
    return CleanConfirmView(store, *store.cleanConfirmProject.get(), [] {});
});

// The dry run, which can be left.
const ScreenshotPage confirmDryRun("projects-confirm-dry-run", [] {
    AppStore& store = storeWithPreview();
    store.pendingCleanReport = std::nullopt;
    store.isCleaning = true;
    store.cleanStatus = "Calculating 2 of 3\u2026";
    return CleanConfirmView(store, *store.cleanConfirmProject.get(), [] {});
});
// A real clean in which nothing moved: the failed folders keep their sizes.
const ScreenshotPage confirmFailed("projects-confirm-failed", [] {
    AppStore& store = storeWithPreview();
    CleanReportDTO report = *store.pendingCleanReport.get();
    report.dry_run = false;
    report.bytes_reclaimed = 0;
    for (auto& item : report.items) {
        item.success = false;
        item.error = item.path + " cannot be moved to the trash: Permission denied";
    }
    store.pendingCleanReport = report;
    return CleanConfirmView(store, *store.cleanConfirmProject.get(), [] {});
});

// Over the main window, a real clean that moved nothing: two folders on a
// device that was busy, which a second press may move, and one another clean
// took meanwhile; the banner tells the first failure.
const ScreenshotPage confirmNothingMoved("shell-confirm-nothing-moved", [] {
    AppStore& store = storeWithPreview();
    platform::UserDefaults::standard()->setBool(keys::hasCompletedOnboarding, true);
    store.selectedSection = AppSection::projects;
    CleanReportDTO report = *store.pendingCleanReport.get();
    report.items.resize(std::min<std::size_t>(report.items.size(), 3));
    report.dry_run = false;
    report.bytes_reclaimed = 0;
    for (auto& item : report.items) {
        item.success = false;
        item.error = item.path + " cannot be moved to the trash: Device or resource busy; it was left in place";
    }
    report.items.back().error = report.items.back().path + " was moved to the Trash by another clean";
    store.pendingCleanReport = report;
    store.lastError = *report.items.front().error;
    return TidewellApp::mainWindowContent(store);
});

// The confirmation over the main window with a banner of five lines and
// more beneath it: the sheet keeps its buttons above the banner.
const ScreenshotPage confirmLongBanner("shell-confirm-long-banner", [] {
    AppStore& store = storeWithPreview();
    platform::UserDefaults::standard()->setBool(keys::hasCompletedOnboarding, true);
    store.selectedSection = AppSection::projects;
    std::string banner = "Could not move 2 folders to the Trash. They are still where they were.";
    for (const char* name : {"storefront", "admin-panel", "blog", "ripgrep-fork", "tiny-http", "ml-notebook"})
        banner += std::string(" The project ") + name + " was left out: it is active, it changed in the last day, or a "
                                                        "program is working in it.";
    store.lastError = banner;
    return TidewellApp::mainWindowContent(store);
});

}  // namespace
