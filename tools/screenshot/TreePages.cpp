// The storage tree's pictures: the hero card with 1, 5 and 17 stacks, a
// hovered, a selected and a protected bubble, the legend and the detail panel.
#include "ScreenshotPages.h"
#include "SampleStore.h"

#include "dashboard/ForestHeroCard.h"
#include "dashboard/StorageDetailPanel.h"
#include "dashboard/StorageLegendView.h"
#include "dashboard/StorageNodeLayout.h"
#include "dashboard/StorageNodeView.h"
#include "dashboard/StorageTreeRules.h"
#include "foundation/UserDefaults.h"
#include "ui/UI.h"

using namespace platform::ui;
using namespace tidewell;

namespace {

View padded(View v) { return v.padding(24).background(Color::dynamic(Color::sRGB(0.91, 0.949, 0.98), Color::sRGB(0.075, 0.11, 0.125))); }

View tree(int projects, int stacks, std::optional<std::string> selected = {}, std::string protectedCSV = {})
{
    AppStore& store = sampleStore(projects, stacks);
    store.filterStack = selected;
    platform::UserDefaults::standard()->setString(protectedStacksKey, protectedCSV);
    return padded(ForestHeroCard(store, *store.dashboard.get()));
}

// A row of bubbles in each state, on the tree's night.
View bubbles()
{
    AppStore& store = sampleStore(40, 5);
    const auto& dash = *store.dashboard.get();
    auto nodes = layoutStorageNodes({900, 420}, dash.by_type, dash.projects, {dash.by_type.back().project_type});
    ViewList row;
    const char* captions[] = {"plain", "hovered", "selected", "hovered + selected", "protected"};
    for (int i = 0; i < 5 && i < int(nodes.size()); ++i) {
        StorageNodeModel node = nodes[std::size_t(i == 4 ? nodes.size() - 1 : 0)];
        node.diameter = 128;
        StorageNodeView v{node, i == 2 || i == 3, i == 1 || i == 3, true, i, 0.6, false, {}};
        row.push_back(VStack(HorizontalAlignment::center, 10,
                             {v.body().frame(200, 200), Text(captions[i]).font(Font::caption()).foregroundStyle(Color::white())}));
    }
    return HStack(VerticalAlignment::center, 0, row).padding(20).background(Color::rgb255(10, 36, 43));
}

View panels()
{
    AppStore& store = sampleStore(40, 5);
    const auto& dash = *store.dashboard.get();
    auto nodes = layoutStorageNodes({900, 420}, dash.by_type, dash.projects, {});
    auto node = nodes.front();
    auto pinned = node;
    pinned.status = StorageNodeStatus::protected_;
    return VStack(HorizontalAlignment::leading, 20,
                  {StorageLegendView(),
                   StorageDetailPanel{node, false, true, {}, {}, {}}.body(),
                   StorageDetailPanel{pinned, true, false, {}, {}, {}}.body(),
                   StorageDetailPanel{pinned, false, false, {}, {}, {}}.body().frame(380, std::nullopt)})
        .padding(24)
        .background(Color::rgb255(10, 36, 43))
        .environment([](EnvironmentValues& e) { e.colorScheme = ColorScheme::dark; });
}

const ScreenshotPage tree1("tree-1", [] { return tree(3, 1); });
const ScreenshotPage tree5("tree-5", [] { return tree(24, 5); });
const ScreenshotPage tree17("tree-17", [] { return tree(60, 17); });
const ScreenshotPage treeSelected("tree-selected", [] { return tree(24, 5, "node", "flutter"); });
const ScreenshotPage treeBubbles("tree-bubbles", [] { return bubbles(); });
const ScreenshotPage treePanels("tree-panels", [] { return panels(); });

}  // namespace
