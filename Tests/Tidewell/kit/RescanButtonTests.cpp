#include "KitViewTesting.h"

#include <fstream>

#include "../core/StoreTestEnvironment.h"
#include "core/AppStore.h"
#include "core/FolderAccess.h"
#include "kit/RescanButton.h"
#include "foundation/Log.h"
#include "runtime/MainActor.h"
#include "ui/Image.h"

using namespace kittest;
using tidewell::AppStore;
namespace fs = std::filesystem;

namespace {

// A store in a scratch home whose bundle holds a fake engine that records
// its arguments and answers a scan with a one-project dashboard.
class RescanOnStore : public ::testing::Test {
protected:
    tidewell::testing::ScratchHome home;
    platform::LogCapture log;
    std::string bin;

    std::string logText() const {
        std::string out;
        for (const auto& line : log.lines()) out += line + "\n";
        return out;
    }

    void SetUp() override {
        // Symbols are looked up once per run: find the button's in the built
        // bundle before the scratch bundle takes its place.
        (void)platform::ui::symbolFile("arrow.clockwise");
        (void)platform::ui::symbolFile("leaf.fill");
        bin = home.path("bundle/bin");
        fs::create_directories(bin);
        tidewell::DashboardDTO dashboard;
        dashboard.project_count = 1;
        dashboard.total_bytes = dashboard.reclaimable_bytes = 4000;
        dashboard.projects = {tidewell::testing::project("p1", home.path("work/alpha"), 4000, 4000)};
        std::ofstream(bin + "/dashboard.json") << tidewell::encode(dashboard);
        {
            std::ofstream script(bin + "/tidewell-engine");
            script << "#!/bin/sh\n"
                      "here=$(dirname \"$0\")\n"
                      "echo \"$@\" >> \"$here/args.txt\"\n"
                      "cat \"$here/dashboard.json\"\n";
        }
        fs::permissions(bin + "/tidewell-engine", fs::perms::owner_all);
        platform::Bundle::setMainForTesting(bin + "/tidewell");
    }
    void TearDown() override { useBuiltBundle(); }

    std::string engineCalls() {
        std::ifstream in(bin + "/args.txt");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void drain() {
        bool turned = false;
        platform::postToMain([&] { turned = true; });
        platform::processMainEventsUntil([&] { return turned; });
    }
};

struct Hosted {
    ViewHost host;
    UITester tester{host};
    explicit Hosted(AppStore& store) {
        host.setScheduler(nullptr);
        host.setSize({300, 80});
        host.setRoot([&store] { return tidewell::RescanButton(store).accessibilityIdentifier("rescan"); });
    }
    std::string title() {
        host.setNeedsRebuild();
        auto node = tester.find("rescan");
        return node ? node->label : "";
    }
};

}  // namespace

TEST_F(RescanOnStore, APressScansTheAllowedRootsWithTheEngineAndTheTitleFollows) {
    AppStore store;
    const std::string root = home.path("work");
    store.scanRoots = {root};
    tidewell::saveFolderPermission(root, {});
    Hosted ui(store);
    EXPECT_EQ(ui.title(), "Scan Now");
    auto node = ui.tester.find("rescan");
    ASSERT_TRUE(node);
    EXPECT_TRUE(node->hasTrait(AccessibilityTrait::button));
    EXPECT_EQ(ui.host.tooltipAt({node->frame.midX(), node->frame.midY()}),
              std::optional<std::string>("Scan project folders for reclaimable build files"));

    // A fast engine may finish before the loop looks, so every change is heard.
    bool sawScanning = false;
    auto heard = store.isScanning.subscribe([&](const bool& scanning) { sawScanning = sawScanning || scanning; });
    ASSERT_TRUE(ui.tester.tap("rescan"));
    ASSERT_TRUE(platform::processMainEventsUntil([&] { return sawScanning && !store.isScanning.get(); })) << logText();
    store.scanTask().wait();
    drain();
    ASSERT_TRUE(store.dashboard.get()) << store.lastError.get().value_or("");
    EXPECT_EQ(store.dashboard.get()->projects.size(), 1u);
    EXPECT_NE(engineCalls().find("scan"), std::string::npos);
    EXPECT_NE(engineCalls().find(root), std::string::npos);
    EXPECT_EQ(ui.title(), "Rescan");
}

TEST_F(RescanOnStore, APressDoesNothingWhileACleanOrAScanRuns) {
    AppStore store;
    const std::string root = home.path("work");
    store.scanRoots = {root};
    tidewell::saveFolderPermission(root, {});
    Hosted ui(store);

    store.isCleaning = true;
    ASSERT_TRUE(ui.tester.tap("rescan"));
    drain();
    drain();
    EXPECT_FALSE(store.isScanning.get());
    EXPECT_EQ(engineCalls(), "") << "no engine run while a clean runs";

    // A scan flagged as running: the button is disabled and the guard holds.
    store.isCleaning = false;
    store.isScanning = true;
    EXPECT_EQ(ui.title(), "Scanning…");
    tidewell::rescanButtonAction(store);
    ASSERT_TRUE(ui.tester.tap("rescan"));
    drain();
    drain();
    EXPECT_EQ(engineCalls(), "");
}

TEST_F(RescanOnStore, TwoQuickPressesStartOneScan) {
    AppStore store;
    const std::string root = home.path("work");
    store.scanRoots = {root};
    tidewell::saveFolderPermission(root, {});
    bool sawScanning = false;
    auto heard = store.isScanning.subscribe([&](const bool& scanning) { sawScanning = sawScanning || scanning; });
    tidewell::rescanButtonAction(store);
    tidewell::rescanButtonAction(store);
    ASSERT_TRUE(platform::processMainEventsUntil([&] { return sawScanning && !store.isScanning.get(); })) << logText();
    store.scanTask().wait();
    drain();
    drain();
    std::istringstream calls(engineCalls());
    int scans = 0;
    for (std::string line; std::getline(calls, line);) scans += line.find("scan") != std::string::npos;
    EXPECT_EQ(scans, 1);
}
