#include "FlowTestSupport.h"
#include "AsOrdinaryUser.h"
#include "FeedingPipe.h"
#include "HeldLook.h"
#include "core/FolderLook.h"
#include "core/ModelTexts.h"
#include "foundation/Log.h"

using namespace tidewell;
using namespace tidewell::testing;
namespace fs = std::filesystem;

namespace {
using Strings = std::vector<std::string>;
struct StoreFixture : FlowFixture {
    static void waitForLaunch(AppStore& store) { ASSERT_TRUE(runUntil([&] { return store.didRunLaunchScan; })); }
    // The start-up, up to the end of its look at the scan folders.
    static void bootstrap(AppStore& store) {
        store.bootstrap();
        ASSERT_TRUE(runUntil([&] { return !store.lookingAtFolders(); }));
    }
    void storeRoots(const Strings& roots) {
        home.defaults().setStringArray(keys::scanRoots, roots);
        home.defaults().setBool(keys::didSeedStartupDisk, true);  // the user removed "/" earlier
    }
};

struct Calls {
    int refreshFolderAccess = 0, endOfDay = 0, scheduleTimer = 0, checkSchedule = 0;
    std::vector<std::string> automaticScans;
    void install(AppStore& s) {
        s.pending.refreshFolderAccess = [this](AppStore&) { ++refreshFolderAccess; };
        s.pending.checkEndOfDay = [this](AppStore&) { ++endOfDay; };
        s.pending.startScheduleTimer = [this](AppStore&) { ++scheduleTimer; };
        s.pending.checkSchedule = [this](AppStore&) { ++checkSchedule; };
        s.pending.runAutomaticScan = [this](AppStore&, const std::string& r) { automaticScans.push_back(r); };
    }
};
}  // namespace

using AppStoreBootstrap = StoreFixture;
using AppStoreSettings = StoreFixture;

TEST_F(AppStoreBootstrap, InitialValuesReadOnlyTheCharacterTotalAndTheBootstrapFindsTheDefaultRoots) {
    home.defaults().setInteger(keys::lifetimeBytes, 42);
    home.defaults().setInteger(keys::idleDays, 30);
    home.defaults().setBool(keys::didSeedStartupDisk, true);
    fs::create_directories(home.home() + "/Projects");
    AppStore store;
    EXPECT_EQ(store.lifetimeReclaimedBytes.get(), 42u);
    EXPECT_TRUE(store.scanRoots.get().empty()) << "the defaults are looked for off the main actor";
    EXPECT_EQ(store.idleDays.get(), 7) << "settings wait for the bootstrap";
    EXPECT_TRUE(home.defaults().dataValue("character.profile").has_value()) << "a first character is saved";
    bootstrap(store);
    EXPECT_EQ(store.scanRoots.get(), (Strings{"/", home.home() + "/Projects"}));
    EXPECT_EQ(store.idleDays.get(), 30) << "the launch scan uses the stored idle days";
    waitForLaunch(store);
}

TEST_F(AppStoreBootstrap, FirstLaunchDefaultsAndASecondCallDoesNothing) {
    fs::create_directories(home.home() + "/Documents");
    AppStore store;
    Calls calls;
    calls.install(store);
    store.bootstrap();
    EXPECT_TRUE(store.isRestoringScan.get());
    EXPECT_EQ(std::tie(calls.scheduleTimer, calls.endOfDay), std::make_tuple(1, 0))
        << "the end-of-day check runs in a later main-actor turn";
    ASSERT_TRUE(runUntil([&] { return !store.lookingAtFolders(); }));
    EXPECT_EQ(home.defaults().stringArray(keys::scanRoots), (Strings{"/", home.home() + "/Documents"}));
    EXPECT_EQ(home.defaults().boolValue(keys::didSeedStartupDisk), true);
    EXPECT_EQ(home.defaults().integerValue(keys::idleDays), 7);
    EXPECT_EQ(store.scheduledScanHours.get(), 8);
    EXPECT_FALSE(store.automaticCleanEnabled.get() || store.scanOnLaunchEnabled.get());
    EXPECT_TRUE(store.hasFullDiskAccess.get());
    EXPECT_TRUE(runUntil([&] { return store.startupDisk.get().has_value(); })) << "read off the main actor";
    ASSERT_TRUE(store.diskTimer);
    EXPECT_EQ(store.diskTimer->interval(), std::chrono::duration<double>(20));
    EXPECT_EQ(calls.refreshFolderAccess, 1);
    waitForLaunch(store);
    EXPECT_EQ(std::tie(calls.endOfDay, calls.checkSchedule), std::make_tuple(1, 1));
    EXPECT_TRUE(calls.automaticScans.empty());

    // The restore's task marks itself done only after it has handed its
    // result to the main actor, so it may still be ending here.
    store.restoreTask().wait();
    auto* timer = store.diskTimer.get();
    bootstrap(store);
    EXPECT_EQ(store.diskTimer.get(), timer);
    EXPECT_TRUE(store.restoreTask().isFinished());
    drain();
    EXPECT_EQ(std::tie(calls.refreshFolderAccess, calls.scheduleTimer, calls.endOfDay, calls.checkSchedule),
              std::make_tuple(1, 1, 1, 1));
    EXPECT_FALSE(store.isRestoringScan.get());
}

TEST_F(AppStoreBootstrap, StoredSettingsAreReadAndOddValuesFallBack) {
    storeRoots({folder("code")});
    home.defaults().setInteger(keys::idleDays, 0);
    home.defaults().setBool(keys::automaticClean, true);
    home.defaults().setBool(keys::scanOnLaunch, true);
    home.defaults().setString(keys::scheduledScanHours, "12");
    AppStore store;
    Calls calls;
    calls.install(store);
    platform::LogCapture log;
    bootstrap(store);
    EXPECT_EQ(store.scanRoots.get(), Strings{home.path("code")}) << "no second seeding";
    EXPECT_TRUE(log.linesStartingWith("Tidewell scan roots rewritten").empty());
    EXPECT_EQ(store.idleDays.get(), 7);
    EXPECT_TRUE(store.automaticCleanEnabled.get() && store.scanOnLaunchEnabled.get());
    EXPECT_EQ(store.scheduledScanHours.get(), 8);
    waitForLaunch(store);
    EXPECT_EQ(calls.automaticScans, (std::vector<std::string>{"launch"}));
    EXPECT_EQ(calls.checkSchedule, 0);
}

TEST_F(AppStoreBootstrap, AnUnreadableSettingsFileIsNamedOnceAndItsRootsAreKept) {
    const std::string file = platform::UserDefaults::standardFilePath();
    writeText(file, R"({"values": {"didSeedStartupDisk": {"kind": "bool", "value": true}, "scanRoots": )"
                    R"({"kind": "stringArray", "value": [")" + folder("code") + R"("]}, "idleDays": {"kind": "int)");
    home.useDefaults(std::make_shared<platform::UserDefaults>(file));
    AppStore store;
    Calls calls;
    calls.install(store);
    bootstrap(store);
    EXPECT_EQ(store.scanRoots.get(), Strings{home.path("code")});
    const std::string notice = "The settings file could not be read and was set aside as " + file +
                               ".corrupt. The settings that could still be read were kept.";
    EXPECT_EQ(store.lastError.get(), notice);
    waitForLaunch(store);
    store.runScan({home.path("code")});  // the launch scan does not take it away unread
    EXPECT_EQ(store.lastError.get(), notice);
}

TEST_F(AppStoreBootstrap, ScanFoldersThatCannotBeReadAreResetToTheDefaultsAndTheBannerSaysSoBeforeAnyScan) {
    fs::create_directories(home.home() + "/Documents");
    const std::string file = platform::UserDefaults::standardFilePath();
    const std::string seeded = R"("didSeedStartupDisk": {"kind": "bool", "value": true}, )"
                               R"("scanOnLaunch": {"kind": "bool", "value": true})";
    const std::string code = folder("code");
    const std::string defaults = scanRootDisplayName("/") + ", ~/Documents.";
    const std::string reset = "The scan folders could not be read, so they were reset to the defaults: " + defaults;
    const std::string asideText = "The settings file could not be read and was set aside as " + file +
                                  ".corrupt. The settings that could still be read were kept. ";
    const std::pair<std::string, std::string> cases[] = {
        // A text where a list of folders belongs, and a list stored as the wrong kind.
        {R"({"values": {)" + seeded + R"(, "scanRoots": {"kind": "string", "value": ")" + code + R"("}}})", reset},
        {R"({"values": {)" + seeded + R"(, "scanRoots": {"kind": "stringArray", "value": ")" + code + R"("}}})", reset},
        // A damaged file whose folders were lost with the damage, cut short
        // inside their entry or before it.
        {R"({"values": {)" + seeded + R"(, "scanRoots": {"kind": "stringArray", "value": [")" + code, asideText + reset},
        {R"({"values": {)" + seeded + R"(, "idleDays": {"kind": "integer", "value": 30}, "scanRo)", asideText + reset},
    };
    for (const auto& [text, notice] : cases) {
        fs::remove_all(fs::path(file).parent_path());
        writeText(file, text);
        home.useDefaults(std::make_shared<platform::UserDefaults>(file));
        AppStore store;
        Calls calls;
        calls.install(store);
        std::optional<std::string> bannerAtLaunchScan;
        store.pending.runAutomaticScan = [&](AppStore& s, const std::string&) { bannerAtLaunchScan = s.lastError.get(); };
        bootstrap(store);
        EXPECT_EQ(store.scanRoots.get(), (Strings{"/", home.home() + "/Documents"})) << text;
        EXPECT_EQ(store.lastError.get(), notice) << text;
        waitForLaunch(store);
        EXPECT_EQ(bannerAtLaunchScan, notice) << "the launch scan starts with the banner up";
    }
}

TEST_F(AppStoreBootstrap, ASettingsFileThisUserCannotReadIsNamedAndNeverWrittenOver) {
    fs::create_directories(home.home() + "/Documents");
    const std::string file = platform::UserDefaults::standardFilePath();
    const std::string text = R"({"values": {"character.lifetimeBytes": {"kind": "integer", "value": 7000000000},)"
                             R"( "hasCompletedOnboarding": {"kind": "bool", "value": true},)"
                             R"( "idleDays": {"kind": "integer", "value": 30}, "scanRoots": {"kind": "stringArray",)"
                             R"( "value": [")" + folder("code") + R"("]}}})";
    const std::string notice = "The settings file " + file +
                               " cannot be read: permission denied. Tidewell runs with defaults and leaves the file "
                               "as it is.";
    // The whole home is the user's own; only the settings file refuses them.
    fs::create_directories(fs::path(file).parent_path());
    home.giveTo(testsupport::kNobody);
    const std::pair<uid_t, mode_t> refusals[] = {{0, 0600}, {testsupport::kNobody, 0}};
    for (const auto& [owner, mode] : refusals) {
        writeText(file, text);
        ASSERT_EQ(::chown(file.c_str(), owner, owner), 0);
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
        auto launchAndGoOn = [&] {
            home.useDefaults(std::make_shared<platform::UserDefaults>(file));
            AppStore store;
            Calls calls;
            calls.install(store);
            bootstrap(store);
            EXPECT_EQ(store.lastError.get(), notice);
            EXPECT_EQ(store.scanRoots.get(), (Strings{"/", home.home() + "/Documents"})) << "the defaults";
            waitForLaunch(store);
            store.runScan({home.path("code")});
            EXPECT_EQ(store.lastError.get(), notice) << "the launch scan does not take it away";
            // The user goes on: onboarding, a setting, a clean's bytes.
            platform::UserDefaults::standard()->setBool(keys::hasCompletedOnboarding, true);
            store.setAutomaticClean(true);
            store.idleDays = 14;
            store.saveScanSettings();
            store.lifetimeReclaimedBytes = 5;
            EXPECT_EQ(platform::UserDefaults::standard()->integerValue(keys::lifetimeBytes), 5);
            std::fflush(stdout);
            return !::testing::Test::HasFailure();
        };
        EXPECT_EQ(testsupport::asOrdinaryUser(launchAndGoOn), 0) << "owner " << owner << ", mode " << std::oct << mode;
        EXPECT_EQ(platform::readFileContents(file), text) << "the file is as it was";
        EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(file).parent_path()), fs::directory_iterator()), 1)
            << "nothing beside it";
    }
}

// A settings file the user may read but not write runs the launch with its
// values, the banner says why nothing will be saved, and the file stays. Root
// is held to the owner's write bit and never swaps a user's file for its own.
TEST_F(AppStoreBootstrap, ASettingsFileThisUserMayNotWriteIsUsedNamedAndNeverReplaced) {
    const std::string file = platform::UserDefaults::standardFilePath();
    const std::string text = R"({"values": {"didSeedStartupDisk": {"kind": "bool", "value": true}, "scanRoots":)"
                             R"( {"kind": "stringArray", "value": [")" + folder("code") + R"("]}}})";
    fs::create_directories(fs::path(file).parent_path());
    home.giveTo(testsupport::kNobody);
    const std::string folder = fs::path(file).parent_path().string();
    // The file's owner and mode, its folder's, whether root runs, and why.
    const std::tuple<uid_t, mode_t, uid_t, mode_t, bool, std::string> protections[] = {
        {testsupport::kNobody, 0444, testsupport::kNobody, 0755, false, "it is read-only"},
        {0, 0644, testsupport::kNobody, 0755, false, "it belongs to another user"},
        {0, 0444, testsupport::kNobody, 0755, true, "it is read-only"},
        {testsupport::kNobody, 0644, testsupport::kNobody, 0755, true, "it belongs to another user"},
        {testsupport::kNobody, 0644, testsupport::kNobody, 0555, false, "its folder is read-only"},
        {testsupport::kNobody, 0644, 0, 0755, false, "its folder belongs to another user"},
        {0, 0644, 0, 0555, true, "its folder is read-only"}};
    for (const auto& [owner, mode, folderOwner, folderMode, asRoot, why] : protections) {
        writeText(file, text);
        ASSERT_TRUE(::chown(file.c_str(), owner, owner) == 0 && ::chmod(file.c_str(), mode) == 0);
        ASSERT_TRUE(::chown(folder.c_str(), folderOwner, folderOwner) == 0 && ::chmod(folder.c_str(), folderMode) == 0);
        auto launchAndGoOn = [&, why = why] {
            home.useDefaults(std::make_shared<platform::UserDefaults>(file));
            AppStore store;
            Calls calls;
            calls.install(store);
            bootstrap(store);
            EXPECT_EQ(store.lastError.get(), "The settings file " + file + " cannot be saved: " + why +
                                                 ". Tidewell runs with its settings and keeps changes only until it quits.");
            EXPECT_EQ(store.scanRoots.get(), Strings{home.path("code")}) << "its values";
            waitForLaunch(store);
            store.idleDays = 14;
            store.saveScanSettings();
            EXPECT_EQ(platform::UserDefaults::standard()->integerValue(keys::idleDays), 14) << "kept in memory";
            std::fflush(stdout);
            return !::testing::Test::HasFailure();
        };
        EXPECT_EQ(asRoot ? !launchAndGoOn() : testsupport::asOrdinaryUser(launchAndGoOn), 0) << why;
        EXPECT_EQ(platform::readFileContents(file), text) << why << ": the file is as it was";
        EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(file).parent_path()), {}), 1) << why;
    }
}

// No settings file yet, and the folder it needs cannot take one (the
// nearest folder there is read-only, or another user's): the first launch
// names it as it names a file that is there, every change lives in memory,
// and nothing is made. A run as root with a user's home makes nothing of
// the user's its own: the settings are not made, and the data folder is the
// home's owner's.
TEST_F(AppStoreBootstrap, ASettingsFileThatCannotBeMadeIsNamedAtTheFirstLaunch) {
    const std::string file = platform::UserDefaults::standardFilePath();
    const std::string config = fs::path(file).parent_path().parent_path().string();
    fs::create_directories(config);
    home.giveTo(testsupport::kNobody);
    const auto cannotBeSaved = [&](const std::string& why) {
        return "The settings file " + file + " cannot be saved: " + why +
               ". Tidewell runs with its settings and keeps changes only until it quits.";
    };
    const uid_t thirdUser = testsupport::kNobody - 1;
    // Whether root runs, the config folder's owner, the mode of its "Tidewell" folder (0: not there), and the notice.
    const std::tuple<bool, uid_t, mode_t, std::string> layouts[] = {
        {false, testsupport::kNobody, 0555, cannotBeSaved("its folder is read-only")},
        {false, 0, 0, cannotBeSaved("its folder belongs to another user")},
        {true, testsupport::kNobody, 0, cannotBeSaved("its folder belongs to another user")},
        // The user's own folder that not even its owner may enter.
        {false, testsupport::kNobody, 0600,
         "The settings file " + file +
             " cannot be read: permission denied. Tidewell runs with defaults and leaves the file as it is."},
        // Root makes nothing in a third user's folder, whoever owns the home.
        {true, thirdUser, 0, cannotBeSaved("its folder belongs to another user")}};
    for (const auto& [asRoot, configOwner, settingsFolderMode, notice] : layouts) {
        const bool settingsFolder = settingsFolderMode != 0;
        fs::remove_all(fs::path(file).parent_path());
        fs::remove_all(home.dataFolder());
        if (settingsFolder) {
            fs::create_directories(fs::path(file).parent_path());
            ASSERT_EQ(::chown(fs::path(file).parent_path().c_str(), testsupport::kNobody, testsupport::kNobody), 0);
            ASSERT_EQ(::chmod(fs::path(file).parent_path().c_str(), settingsFolderMode), 0);
        }
        ASSERT_EQ(::chown(config.c_str(), configOwner, configOwner), 0);
        auto launchAndGoOn = [&, notice = notice] {
            home.useDefaults(std::make_shared<platform::UserDefaults>(file));
            AppStore store;
            Calls calls;
            calls.install(store);
            bootstrap(store);
            EXPECT_EQ(store.lastError.get(), notice);
            waitForLaunch(store);
            platform::UserDefaults::standard()->setBool(keys::hasCompletedOnboarding, true);
            store.idleDays = 14;
            store.saveScanSettings();
            EXPECT_EQ(platform::UserDefaults::standard()->boolValue(keys::hasCompletedOnboarding), true) << "in memory";
            std::fflush(stdout);
            return !::testing::Test::HasFailure();
        };
        EXPECT_EQ(asRoot ? !launchAndGoOn() : testsupport::asOrdinaryUser(launchAndGoOn), 0) << notice;
        EXPECT_FALSE(fs::exists(file)) << notice;
        EXPECT_EQ(fs::exists(fs::path(file).parent_path()), settingsFolder) << notice;
        for (const auto& entry : fs::recursive_directory_iterator(home.home())) {
            struct stat st {};
            ASSERT_EQ(::lstat(entry.path().c_str(), &st), 0);
            if (entry.path() != config) {
                EXPECT_EQ(st.st_uid, testsupport::kNobody) << notice << ": " << entry.path();
            }
        }
        EXPECT_TRUE(fs::is_directory(home.dataFolder())) << notice;
    }
}

// A settings file made read-only while Tidewell runs is named at the next
// save, as the launch names it, and kept as it is.
TEST_F(AppStoreSettings, ASettingsFileProtectedWhileItRunsIsNamedAtTheNextSave) {
    storeRoots({folder("code")});
    const std::string file = platform::UserDefaults::standardFilePath();
    const auto before = platform::readFileContents(file);
    AppStore store;
    Calls calls;
    calls.install(store);
    bootstrap(store);
    waitForLaunch(store);
    EXPECT_FALSE(store.lastError.get().has_value());
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    const auto protectedText = platform::readFileContents(file);
    store.idleDays = 14;
    store.saveScanSettings();
    EXPECT_TRUE(runUntil([&] { return store.lastError.get().has_value(); }));
    EXPECT_EQ(store.lastError.get(), "The settings file " + file +
                                         " cannot be saved: it is read-only. Tidewell runs with its settings and keeps "
                                         "changes only until it quits.");
    EXPECT_EQ(platform::readFileContents(file), protectedText);
    EXPECT_EQ(home.defaults().integerValue(keys::idleDays), 14) << "kept in memory";
}

// A notice about the user's settings heads the banner until the user
// dismisses it: a scan or clean starting leaves it, later messages show
// below it, one replacing the other, and a file refused later joins it.
TEST_F(AppStoreSettings, ANoticeAboutTheSettingsStaysAboveLaterMessagesUntilDismissed) {
    storeRoots({folder("code")});
    const std::string file = platform::UserDefaults::standardFilePath();
    AppStore store;
    Calls calls;
    calls.install(store);
    bootstrap(store);
    waitForLaunch(store);
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    store.idleDays = 14;
    store.saveScanSettings();
    ASSERT_TRUE(runUntil([&] { return store.lastError.get().has_value(); }));
    const std::string notice = *store.lastError.get();
    const std::string refused = "The file /tmp/x/operations.json cannot be saved: it is read-only.";
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"a scan starting", [&] { store.clearLastError(); }},
        {"a scan's message", [&] { store.lastError = std::string("Found 3 projects."); }},
        {"the next message", [&] { AppStore::showErrorInBanner("Could not move 2 folders."); }},
        {"another file refused", [&] { store.holdSettingsNotice(refused); }},
        {"the same file again", [&] { store.holdSettingsNotice(refused); }},
        {"dismissed", [&] { store.dismissBanner(); }},
        {"a message after", [&] { store.lastError = std::string("Found 3 projects."); }},
        {"a scan starting after", [&] { store.clearLastError(); }},
    };
    const std::optional<std::string> banners[] = {
        notice,
        notice + "\n\nFound 3 projects.",
        notice + "\n\nCould not move 2 folders.",
        notice + " " + refused + "\n\nCould not move 2 folders.",
        notice + " " + refused + "\n\nCould not move 2 folders.",
        std::nullopt,
        "Found 3 projects.",
        std::nullopt,
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        steps[i].second();
        EXPECT_EQ(store.lastError.get(), banners[i]) << steps[i].first;
    }
}

TEST_F(AppStoreBootstrap, ASettingsFileThatIsANamedPipeIsNamedInsteadOfWaitedOn) {
    const std::string file = platform::UserDefaults::standardFilePath();
    fs::create_directories(fs::path(file).parent_path());
    testsupport::FeedingPipe pipe(file, R"({"values": {"idleDays": {"kind": "integer", "value": 30}}})");
    home.useDefaults(std::make_shared<platform::UserDefaults>(file));
    AppStore store;
    Calls calls;
    calls.install(store);
    bootstrap(store);
    EXPECT_EQ(store.lastError.get(), "The settings file " + file +
                                         " cannot be read: it is a named pipe, not a regular file. Tidewell runs with "
                                         "defaults and leaves the file as it is.");
    EXPECT_EQ(store.idleDays.get(), 7);
    waitForLaunch(store);
    EXPECT_TRUE(fs::is_fifo(file));
}

TEST_F(AppStoreBootstrap, RootsAreNormalisedAndRewrittenButAnUnmountedDiskIsKept) {
    fs::create_directories(home.home() + "/Work");
    const std::string unmounted = "/run/media/tidewell-test-absent/Backup";
    storeRoots({"~/Work", home.path("gone"), unmounted});
    home.defaults().setInteger(keys::scheduledScanHours, 0);
    AppStore store;
    platform::LogCapture log;
    bootstrap(store);
    EXPECT_EQ(home.defaults().stringArray(keys::scanRoots), (Strings{home.home() + "/Work", unmounted}));
    EXPECT_EQ(store.scanRoots.get(), home.defaults().stringArray(keys::scanRoots));
    EXPECT_TRUE(log.contains("Tidewell scan roots rewritten to real folders: " + home.home() + "/Work, " + unmounted));
    EXPECT_EQ(store.scheduledScanHours.get(), 0);
    waitForLaunch(store);
}

using tidewell::testing::HeldLook;

// A stored scan folder whose look never returns: the start-up still ends,
// the other folders are opened and scanned, the silent one stays stored and
// is named, and a later look waits on the same held one instead of another.
TEST_F(AppStoreBootstrap, AScanFolderThatDoesNotAnswerHoldsNothingAndIsNamedAndKept) {
    const auto code = folder("code");
    const auto remote = home.path("remote");
    HeldLook held(remote);
    storeRoots({code, remote});
    home.defaults().setBool(keys::scanOnLaunch, true);
    AppStore store;
    Calls calls;
    calls.install(store);
    store.pending.refreshFolderAccess = nullptr;
    std::vector<Strings> launchScans;
    store.pending.runAutomaticScan = [&](AppStore& s, const std::string&) { launchScans.push_back(s.scopedRootURLs); };
    store.bootstrap();
    waitForLaunch(store);
    const std::string named = "The scan folder " + remote +
                              " does not answer, so Tidewell leaves it out until it does. It stays among your scan "
                              "folders.";
    EXPECT_EQ(launchScans, std::vector<Strings>{{code}}) << "the launch waited for the look and scans the others";
    EXPECT_EQ(store.scanRoots.get(), (Strings{code, remote}));
    EXPECT_EQ(home.defaults().stringArray(keys::scanRoots), (Strings{code, remote})) << "kept in the settings";
    EXPECT_EQ(store.silentScanRoots(), Strings{remote});
    EXPECT_EQ(store.lastError.get(), named);

    std::optional<Strings> allowed;
    store.prepareScanRoots([&](Strings roots) { allowed = std::move(roots); });
    ASSERT_TRUE(runUntil([&] { return allowed.has_value(); }));
    EXPECT_EQ(*allowed, Strings{code});
    EXPECT_EQ(store.lastError.get(), named) << "named, not called blocked";
    EXPECT_EQ(held.asked(), 1) << "the held look is waited on again, never asked twice";

    // Chosen again in the panel, it is added and named as well.
    store.removeScanRoot(remote);
    store.lastError = std::nullopt;
    store.addScanRoots({remote});
    ASSERT_TRUE(runUntil([&] { return !store.lookingAtFolders(); }));
    EXPECT_EQ(store.scanRoots.get(), (Strings{code, remote}));
    EXPECT_EQ(store.lastError.get(), named);
}

// A first run: a folder chosen in onboarding while the start-up's look at a
// default folder is held is kept, after the defaults, once that look returns,
// whichever of the two rounds of looks lands first; it is opened and scanned
// as the others are, not only listed.
TEST_F(AppStoreBootstrap, AFolderChosenWhileTheStartUpsLookIsHeldIsKeptAfterTheDefaults) {
    const auto documents = folder("home/Documents");
    const auto chosen = folder("chosen");
    for (int run = 0; run < 12; ++run) {
        home.defaults().remove(keys::scanRoots);
        home.defaults().remove(keys::didSeedStartupDisk);
        HeldLook held(home.home() + "/Projects");
        AppStore store;
        Calls calls;
        calls.install(store);
        store.pending.refreshFolderAccess = nullptr;
        store.bootstrap();
        store.addScanRoots({chosen});
        ASSERT_TRUE(runUntil([&] { return held.asked() == 1; }));
        held.release();
        ASSERT_TRUE(runUntil([&] { return !store.lookingAtFolders(); }));
        EXPECT_EQ(store.scanRoots.get(), (Strings{"/", documents, chosen})) << run;
        EXPECT_EQ(home.defaults().stringArray(keys::scanRoots), store.scanRoots.get()) << run;
        EXPECT_EQ(store.scopedRootURLs, (Strings{"/", documents, chosen})) << run << ": granted";
        waitForLaunch(store);
        std::optional<Strings> scanned;
        store.prepareScanRoots([&](Strings roots) { scanned = std::move(roots); });
        ASSERT_TRUE(runUntil([&] { return scanned.has_value(); }));
        EXPECT_EQ(scanned, (Strings{"/", documents, chosen})) << run;
    }
}

TEST_F(AppStoreBootstrap, LaunchScanFollowsAnEveningCleanThatStartedFirst) {
    home.defaults().setBool(keys::scanOnLaunch, true);
    AppStore store;
    Calls calls;
    calls.install(store);
    store.pending.checkEndOfDay = [](AppStore& s) { s.isCleaning = true; };  // its dry runs are under way
    bootstrap(store);
    waitForLaunch(store);
    EXPECT_TRUE(calls.automaticScans.empty());
    store.isCleaning = false;
    ASSERT_TRUE(runUntil([&] { return !calls.automaticScans.empty(); }));
    store.isCleaning = true;
    store.isCleaning = false;
    drain();
    EXPECT_EQ(calls.automaticScans, (Strings{"launch"})) << "once";
}

TEST_F(AppStoreBootstrap, AccountChangesAreResentAsTheStoresOwn) {
    AppStore store;
    bootstrap(store);
    int changes = 0;
    auto sub = store.objectWillChange().subscribe([&] { ++changes; });
    waitForLaunch(store);
    // The start-up's own reads (the start-up disk, the last session) publish
    // when they land; one landing in the same turn as the resend would count too.
    ASSERT_TRUE(runUntil([&] { return store.startupDisk.get().has_value() && !store.isRestoringScan.get(); }));
    changes = 0;
    store.accountSession->sendWillChange();
    EXPECT_EQ(changes, 0) << "delivered on the main run loop, not inline";
    ASSERT_TRUE(runUntil([&] { return changes >= 1; }));
}

TEST_F(AppStoreSettings, AddingRootsComparesNormalisedForms) {
    fs::create_directories(home.home() + "/Work");
    AppStore store;
    store.scanRoots = {home.home() + "/Work"};
    home.defaults().remove(keys::scanRoots);
    store.addScanRoots({"~/Work", " ~/Work\n", home.path("missing")});
    ASSERT_TRUE(runUntil([&] { return !store.lookingAtFolders(); }));
    EXPECT_EQ(store.scanRoots.get().size(), 1u);
    EXPECT_FALSE(home.defaults().contains(keys::scanRoots)) << "nothing added, nothing written";
    EXPECT_EQ(store.lastError.get(), "\u201C" + home.path("missing") + "\u201D was not added: it is not a folder.");
    fs::create_directories(home.path("new"));
    store.addScanRoots({home.path("new")});
    ASSERT_TRUE(runUntil([&] { return !store.lookingAtFolders(); }));
    EXPECT_EQ(home.defaults().stringArray(keys::scanRoots), (Strings{home.home() + "/Work", home.path("new")}));
}

TEST_F(AppStoreSettings, AddingChosenFoldersSavesEachPermissionThenRefreshes) {
    fs::create_directories(home.path("a"));
    AppStore store;
    store.scanRoots = {};
    std::vector<std::string> saved;
    int refreshes = 0;
    store.pending.saveFolderPermission = [&](const std::string& p, const std::vector<std::string>& aliases) {
        EXPECT_TRUE(aliases.empty());
        saved.push_back(p);
    };
    store.pending.refreshFolderAccess = [&](AppStore&) { ++refreshes; };
    store.addScanRoots({home.path("a")});
    ASSERT_TRUE(runUntil([&] { return !store.lookingAtFolders(); }));
    EXPECT_EQ(saved, Strings{home.path("a")});
    EXPECT_EQ(store.scanRoots.get(), saved);
    EXPECT_EQ(refreshes, 1);
    store.isScanning = true;
    store.addScanRoots({home.path("a")});
    ASSERT_TRUE(runUntil([&] { return !store.lookingAtFolders(); }));
    EXPECT_EQ(refreshes, 1) << "no refresh while a scan runs";
}

TEST_F(AppStoreSettings, RemovingANonRootStillDropsItsBookmarkAndWrites) {
    AppStore store;
    store.scanRoots = {"/x", "/y", "/x"};
    std::vector<std::string> removed;
    store.pending.removeFolderPermission = [&](const std::string& p) { removed.push_back(p); };
    store.removeScanRoot("/x");
    store.removeScanRoot("/not-a-root");
    EXPECT_EQ(removed, (Strings{"/x", "/not-a-root"}));
    EXPECT_EQ(home.defaults().stringArray(keys::scanRoots), Strings{"/y"});
    EXPECT_EQ(home.defaults().integerValue(keys::idleDays), 7);
}

TEST_F(AppStoreSettings, OnlyALookChangeSchedulesAReport) {
    std::vector<double> reports;
    socialHooks().leaderboardSync = [&](const CharacterProfile&, std::uint64_t, double delay) {
        reports.push_back(delay);
    };
    AppStore store;
    auto p = store.character.get();
    p.leaderboardOptIn = true;
    store.setCharacter(p);  // only the switch changed
    p.name = "Renamed_1";
    store.setCharacter(p);
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(loadCharacterProfile().name, "Renamed_1") << "saved at once";
    p.colorIndex = (p.colorIndex + 1) % 6;
    store.setCharacter(p);
    EXPECT_EQ(reports, (std::vector<double>{2.0}));
    store.setCharacter(p);  // unchanged: neither saved nor reported
    EXPECT_EQ(reports.size(), 1u);
}

TEST_F(AppStoreSettings, LifetimeTotalIsStoredClampedOnlyWhenItChanges) {
    AppStore store;
    int writes = 0;
    auto sub = store.lifetimeReclaimedBytes.subscribe([&](const std::uint64_t&) { ++writes; });
    store.setLifetimeReclaimedBytes(0);
    EXPECT_FALSE(home.defaults().contains(keys::lifetimeBytes));
    store.setLifetimeReclaimedBytes(UINT64_MAX);
    EXPECT_EQ(home.defaults().integerValue(keys::lifetimeBytes), INT64_MAX);
    EXPECT_EQ(writes, 1) << "an unchanged total publishes nothing";
}

TEST_F(AppStoreSettings, BellFollowsTheStoreAndOpensItsDestination) {
    AppStore store;
    EXPECT_EQ(store.groveNotices().front().id, "empty");
    store.applyDashboard(dashboard({project("a", "/a", 5, 5, {"node"}, true)}));
    auto notices = store.groveNotices();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(store.groveNoticeBadgeCount(), 1);
    store.openNotice(notices[0]);
    EXPECT_TRUE(store.filterIdle.get() && store.selectedSection.get() == AppSection::projects);
    store.openNotice(notices[1]);
    EXPECT_EQ(store.selectedSection.get(), AppSection::dashboard);
}

TEST(ShowMainWindow, UsesTheDelegateWhenThereIsOne) {
    int bringUps = 0, activations = 0;
    shellHooks().activateFirstWindow = [&] { ++activations; };
    showMainWindow();
    shellHooks().bringUpMainWindow = [&] { ++bringUps; };
    showMainWindow();
    EXPECT_EQ(activations, 1);
    EXPECT_EQ(bringUps, 1);
    shellHooks() = {};
    showMainWindow();  // nothing installed: nothing happens
}
