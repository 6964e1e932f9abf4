#include "KitViewTesting.h"

#include <fstream>

#include "../core/StoreTestEnvironment.h"
#include "core/AppStore.h"
#include "core/FolderAccess.h"
#include "core/FolderLook.h"
#include "kit/RescanButton.h"
#include "foundation/Log.h"
#include "runtime/MainActor.h"
#include "ui/Image.h"

using namespace kittest;
namespace fs = std::filesystem;

namespace {

// A store in a scratch home with an allowed root, whose bundle holds a fake
// engine that records its arguments and answers a scan with a one-project
// dashboard; the rescan button is hosted on it.
class RescanOnStore : public ::testing::Test {
protected:
    tidewell::testing::ScratchHome home;
    platform::LogCapture log;
    std::string bin = home.path("bundle/bin"), root = home.path("work");
    std::optional<tidewell::AppStore> store;
    ViewHost host;
    UITester tester{host};
    bool sawScanning = false;
    platform::Subscription heard;

    void SetUp() override {
        // Symbols are looked up once per run: find the button's in the built
        // bundle before the scratch bundle takes its place.
        (void)platform::ui::symbolFile("arrow.clockwise");
        (void)platform::ui::symbolFile("leaf.fill");
        fs::create_directories(bin);
        tidewell::DashboardDTO dashboard;
        dashboard.project_count = 1;
        dashboard.total_bytes = dashboard.reclaimable_bytes = 4000;
        dashboard.projects = {tidewell::testing::project("p1", home.path("work/alpha"), 4000, 4000)};
        std::ofstream(bin + "/dashboard.json") << tidewell::encode(dashboard);
        std::ofstream(bin + "/tidewell-engine") << "#!/bin/sh\nhere=$(dirname \"$0\")\n"
                                                   "echo \"$@\" >> \"$here/args.txt\"\ncat \"$here/dashboard.json\"\n";
        fs::permissions(bin + "/tidewell-engine", fs::perms::owner_all);
        platform::Bundle::setMainForTesting(bin + "/tidewell");
        store.emplace();
        store->scanRoots = {root};
        tidewell::saveFolderPermission(root, {}, tidewell::lookAtFolders({root}));
        // A fast engine may finish before the loop looks, so every change is heard.
        heard = store->isScanning.subscribe([this](const bool& scanning) { sawScanning = sawScanning || scanning; });
        host.setScheduler(nullptr);
        host.setSize({300, 80});
        host.setRoot([this] { return tidewell::RescanButton(*store).accessibilityIdentifier("rescan"); });
    }
    void TearDown() override { useBuiltBundle(); }

    std::string title() {
        host.setNeedsRebuild();
        auto node = tester.find("rescan");
        return node ? node->label : "";
    }
    std::vector<std::string> engineCalls() {
        std::ifstream in(bin + "/args.txt");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    void finishScan() {
        std::string logText;
        for (const auto& line : log.lines()) logText += line + "\n";
        ASSERT_TRUE(platform::processMainEventsUntil([&] { return sawScanning && !store->isScanning.get(); })) << logText;
        store->scanTask().wait();
        drain();
    }
    static void drain() {
        for (int i = 0; i < 2; ++i) {
            bool turned = false;
            platform::postToMain([&] { turned = true; });
            platform::processMainEventsUntil([&] { return turned; });
        }
    }
};

}  // namespace

TEST_F(RescanOnStore, APressScansTheAllowedRootsWithTheEngineAndTheTitleFollows) {
    EXPECT_EQ(title(), "Scan Now");
    auto node = tester.find("rescan");
    ASSERT_TRUE(node);
    EXPECT_TRUE(node->hasTrait(AccessibilityTrait::button));
    EXPECT_EQ(host.tooltipAt({node->frame.midX(), node->frame.midY()}),
              std::optional<std::string>("Scan project folders for reclaimable build files"));
    ASSERT_TRUE(tester.tap("rescan"));
    finishScan();
    ASSERT_TRUE(store->dashboard.get()) << store->lastError.get().value_or("");
    EXPECT_EQ(store->dashboard.get()->projects.size(), 1u);
    ASSERT_EQ(engineCalls().size(), 1u);
    EXPECT_NE(engineCalls()[0].find("scan"), std::string::npos);
    EXPECT_NE(engineCalls()[0].find(root), std::string::npos);
    EXPECT_EQ(title(), "Rescan");
}

TEST_F(RescanOnStore, APressDoesNothingWhileACleanOrAScanRunsAndTwoQuickPressesStartOneScan) {
    store->isCleaning = true;
    ASSERT_TRUE(tester.tap("rescan"));
    drain();
    EXPECT_FALSE(store->isScanning.get());
    EXPECT_TRUE(engineCalls().empty()) << "no engine run while a clean runs";

    // A scan flagged as running: the button is disabled and the guard holds.
    store->isCleaning = false;
    store->isScanning = true;
    EXPECT_EQ(title(), "Scanning…");
    tidewell::rescanButtonAction(*store);
    ASSERT_TRUE(tester.tap("rescan"));
    drain();
    EXPECT_TRUE(engineCalls().empty());

    store->isScanning = false;
    sawScanning = false;
    tidewell::rescanButtonAction(*store);
    tidewell::rescanButtonAction(*store);
    finishScan();
    EXPECT_EQ(engineCalls().size(), 1u);
}

TEST_F(RescanOnStore, APressKeepsTheFoldersStillBlockedNamedAsScanNowDoes) {
    const std::string unreadable = "/media/tidewell-test-absent/Disk";
    store->scanRoots = {root, unreadable};
    ASSERT_TRUE(tester.tap("rescan"));
    finishScan();
    ASSERT_EQ(engineCalls().size(), 1u);
    EXPECT_NE(engineCalls()[0].find("--root " + root), std::string::npos);
    EXPECT_EQ(engineCalls()[0].find(unreadable), std::string::npos) << "only the readable folder is scanned";
    EXPECT_EQ(store->lastError.get(), "Linux is still blocking Disk. Give yourself read access to those folders.");

    // The menu's Scan Now does the same work.
    store->lastError = std::nullopt;
    sawScanning = false;
    store->startScan();
    finishScan();
    EXPECT_EQ(engineCalls().size(), 2u);
    EXPECT_EQ(store->lastError.get(), "Linux is still blocking Disk. Give yourself read access to those folders.");
}
