#include "KitViewTesting.h"

#include "../core/StoreTestEnvironment.h"
#include "core/AppStore.h"
#include "kit/ScanningBanner.h"

using namespace kittest;

class ScanningBannerOnStore : public ::testing::Test {
protected:
    tidewell::testing::ScratchHome home;
    tidewell::AppStore store;
};

TEST_F(ScanningBannerOnStore, ShowsTheLiveSnapshotOnlyWhileTheStoreIsScanning) {
    EXPECT_TRUE(layOut(tidewell::ScanningBanner(store), {600, 100})->texts().empty());
    store.isScanning = true;
    EXPECT_EQ(layOut(tidewell::ScanningBanner(store), {600, 100})->texts(),
              (std::vector<std::string>{"Growing the forest…", "0 saplings · Walking the grove", "0:00"}));

    tidewell::ScanSnapshot snapshot;
    snapshot.projectsFound = 1;  // the same wording for one
    snapshot.message = "Scanning ~/Projects…";
    snapshot.elapsed = 75;
    store.scanUI = snapshot;
    ViewHost host;
    host.setScheduler(nullptr);
    host.setSize({600, 100});
    host.setRoot([&] { return tidewell::ScanningBanner(store); });
    UITester tester(host);
    EXPECT_TRUE(tester.findText("1 saplings · Scanning ~/Projects…"));
    EXPECT_TRUE(tester.findText("1:15"));
    store.isScanning = false;
    host.setNeedsRebuild();
    tester.settle();
    EXPECT_FALSE(tester.findText("Growing the forest…")) << "gone at once when the scan ends";
}

TEST_F(ScanningBannerOnStore, ALongMessageShrinksThenIsCutInTheMiddleOnOneLine) {
    store.isScanning = true;
    tidewell::ScanSnapshot snapshot;
    snapshot.message = "Measuring /home/someone/Projects/" + std::string(200, 'a') + "/node_modules";
    store.scanUI = snapshot;
    auto laid = layOut(tidewell::ScanningBanner(store), {500, 100});
    const std::string full = tidewell::scanningBannerDetail(0, snapshot.message);
    const Element* detail =
        findElement(*laid->host->rootElement(), [&](const Element& e) { return textOfNode(e.node.get()) == full; });
    ASSERT_NE(detail, nullptr);
    const auto lines = textLinesOf(*detail);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with("0 saplings")) << lines[0];
    EXPECT_TRUE(lines[0].ends_with("node_modules")) << lines[0];
    EXPECT_NE(lines[0].find("…"), std::string::npos);
    EXPECT_NEAR(textScaleOf(*detail), 0.8, 0.01) << "shrunk to 80 % before cutting";
}
