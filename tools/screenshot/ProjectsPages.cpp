// The project list, the files sheet and the clean confirmation, on the
// sample disk, framed as the main window frames a page.

#include "ScreenshotPages.h"
#include "SampleStore.h"
#include "kit/SizeClassReader.h"
#include "kit/Theme.h"
#include "projects/ProjectListView.h"

using namespace tidewell;
namespace ui = platform::ui;

namespace {

ui::View framedPage(std::function<ui::View()> page) {
    return SizeClassReader([page](WidthClass, HeightClass) {
        return page().padding(24).background(Theme::windowBackground());
    });
}

AppStore& storeWith(bool idle, std::optional<std::string> stack) {
    AppStore& store = sampleStore(40, 8);
    store.filterIdle = idle;
    store.filterStack = std::move(stack);
    store.isScanning = false;
    return store;
}

const ScreenshotPage projects("projects", [] { return framedPage([] { return ProjectListView(storeWith(false, {})); }); });
const ScreenshotPage projectsStack("projects-stack", [] {
    return framedPage([] { return ProjectListView(storeWith(false, std::string("node"))); });
});
const ScreenshotPage projectsIdle("projects-idle", [] { return framedPage([] { return ProjectListView(storeWith(true, {})); }); });
const ScreenshotPage projectsSelecting("projects-selecting", [] {
    return framedPage([] {
        AppStore& store = storeWith(false, {});
        ProjectListState state;
        state.selecting = true;
        const auto& projects = store.dashboard.get()->projects;
        for (std::size_t i = 0; i < projects.size(); i += 3) state.selectedIDs.insert(projects[i].id);
        return ProjectListView(store, state);
    });
});
const ScreenshotPage projectsEmpty("projects-empty", [] {
    return framedPage([] {
        AppStore& store = storeWith(false, {});
        store.dashboard = std::nullopt;
        return ProjectListView(store);
    });
});

}  // namespace
