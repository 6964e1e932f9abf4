#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "AsOrdinaryUser.h"
#include "StoreTestEnvironment.h"
#include "core/FolderLook.h"
#include "core/ScanRoots.h"
#include "foundation/Log.h"

using namespace tidewell;
using namespace tidewell::testing;
namespace fs = std::filesystem;

namespace {
// Each looks at the folders first, as the store's task does, then decides.
std::vector<std::string> defaultScanRoots() {
    return tidewell::defaultScanRoots(lookAtFolders(defaultScanRootCandidates()));
}
std::optional<std::string> normalizeScanRoot(const std::string& root) {
    return tidewell::normalizeScanRoot(root, lookAtFolders(scanRootFoldersToLook({root})));
}
std::vector<std::string> normalizeScanRoots(const std::vector<std::string>& roots) {
    return tidewell::normalizeScanRoots(roots, lookAtFolders(scanRootFoldersToLook(roots)));
}
}  // namespace

TEST(ScanRoots, DefaultsAreTheDiskAndTheHomeFoldersThatExist) {
    ScratchHome home;
    fs::create_directories(home.home() + "/Projects");
    fs::create_directories(home.home() + "/Documents");
    EXPECT_EQ(defaultScanRoots(), (std::vector<std::string>{"/", home.home() + "/Documents", home.home() + "/Projects"}));
    setRealHomeForTesting(home.path("missing-home"));
    EXPECT_EQ(defaultScanRoots().size(), 6u) << "without a home folder all five are taken unchecked";
}

TEST(ScanRoots, TildeAndSandboxHomeMapToTheRealHome) {
    ScratchHome home;
    fs::create_directories(home.home() + "/Work");
    EXPECT_EQ(normalizeScanRoot("  ~/Work \n"), home.home() + "/Work");
    EXPECT_EQ(normalizeScanRoot("~"), home.home());
    EXPECT_EQ(normalizeScanRoot("   "), std::nullopt);

    // A sandbox home ($HOME) that differs from the real one.
    const auto real = home.path("real");
    fs::create_directories(real + "/Code");
    setRealHomeForTesting(real);
    EXPECT_EQ(mapToRealHome(home.home()), real);
    EXPECT_EQ(mapToRealHome(home.home() + "/Code"), real + "/Code");
    EXPECT_EQ(mapToRealHome(home.home() + "2/Code"), home.home() + "2/Code");
    EXPECT_FALSE(isNotAmongRoots(home.home() + "/Code", {real + "/Code"}));
    EXPECT_TRUE(isNotAmongRoots("/elsewhere", {real + "/Code"}));
    EXPECT_TRUE(isNotAmongRoots("/anything", {}));
}

TEST(ScanRoots, HomeIsTheEnvironmentsEvenWhenTheAccountHasAnother) {
    ScratchHome home;  // $HOME points into a scratch folder, not the account's home
    setRealHomeForTesting(std::nullopt);
    fs::create_directories(home.home() + "/Work");
    EXPECT_EQ(scanRootsRealHome(), home.home());
    EXPECT_EQ(normalizeScanRoot(home.home() + "/Work"), home.home() + "/Work");
    EXPECT_EQ(normalizeScanRoot("~/Work"), home.home() + "/Work");
}

TEST(ScanRoots, FilesAndMissingFoldersAreDroppedWithALogLine) {
    ScratchHome home;
    std::ofstream(home.path("file.txt")) << "x";
    platform::LogCapture capture;
    EXPECT_EQ(normalizeScanRoot(home.path("file.txt")), std::nullopt);
    EXPECT_EQ(normalizeScanRoot(home.path("nothing")), std::nullopt);
    EXPECT_TRUE(capture.contains("Tidewell skipping scan root (not a folder): " + home.path("nothing")));
}

TEST(ScanRoots, HiddenFolderStaysARoot) {
    ScratchHome home;
    fs::create_directories(home.path("locked/inner"));
    fs::permissions(home.path("locked"), fs::perms::none);
    const std::string inner = home.path("locked/inner");
    EXPECT_EQ(testsupport::asOrdinaryUser([&] { return normalizeScanRoot(inner) == inner; }), 0);
    fs::permissions(home.path("locked"), fs::perms::owner_all);

    // A folder of root's at 0700: there, and a folder, but not listable.
    const auto locked = home.path("locked");
    EXPECT_EQ(testsupport::asOrdinaryUser([&] {
                  const auto looks = lookAtFolders({locked});
                  const auto* facts = looks.facts(locked);
                  return facts && facts->statError == 0 && facts->isDirectory && !facts->listable;
              }),
              0);
}

TEST(ScanRoots, UnmountedDiskSurvivesLaunchNormalisation) {
    ScratchHome home;
    fs::create_directories(home.home() + "/Projects");
    fs::create_directories(home.path("srv/data"));  // an empty mount point
    const std::string unmounted = "/media/tidewell-test-unmounted-disk/Code";
    const std::string elsewhere = home.path("srv/data/code"), network = home.path("net/share/code");
    ASSERT_FALSE(fs::exists(unmounted));
    auto roots = normalizeScanRoots({home.home() + "/Projects", unmounted, home.home() + "/Projects", elsewhere, network,
                                     home.home() + "/removed"});
    EXPECT_EQ(roots, (std::vector<std::string>{home.home() + "/Projects", unmounted, elsewhere, network}))
        << "only a root removed from a folder still in use is dropped";
    EXPECT_EQ(normalizeScanRoot(unmounted), std::nullopt) << "adding a folder still needs it to exist";
}

TEST(ScanRoots, NothingKeptOrAContainerPathBringsTheDefaults) {
    ScratchHome home;
    fs::create_directories(home.home() + "/Desktop");
    fs::create_directories(home.path("keep"));
    const std::vector<std::string> defaults{"/", home.home() + "/Desktop"};
    EXPECT_EQ(normalizeScanRoots({home.path("gone")}), defaults);
    EXPECT_EQ(normalizeScanRoots({}), defaults);
    auto withContainer = normalizeScanRoots({home.path("keep"), "/x/Library/Containers/app/Data"});
    EXPECT_EQ(withContainer, (std::vector<std::string>{home.path("keep"), "/", home.home() + "/Desktop"}));
}
