// The application itself on the offscreen platform: how its main window
// comes and goes over a launch (in the background without a tray, a second
// launch, the launch options), and what it answers without any window.

#include <QCoreApplication>
#include <QEvent>
#include <QProcess>
#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>

#include "Tidewell/core/StoreTestEnvironment.h"
#include "desktop/Window.h"
#include "foundation/Bundle.h"
#include "runtime/MainActor.h"
#include "shell/TidewellApp.h"

using namespace tidewell;

namespace {

bool settle(const std::function<bool()>& done) { return platform::processMainEventsUntil(done, std::chrono::seconds(60)); }
void turns(int n = 20) {
    for (int i = 0; i < n; ++i) QCoreApplication::processEvents();
}

// A launch of the application in a scratch home, on a desktop with or without a tray.
struct Launch {
    explicit Launch(std::vector<std::string> arguments, bool background = false, bool tray = false)
        : home(std::move(arguments)), runtime(home.path("run")) {
        std::filesystem::create_directories(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        // Nothing to scan: no seeded disk, no schedule.
        home.defaults().setBool(keys::hasCompletedOnboarding, true);
        home.defaults().setBool(keys::didSeedStartupDisk, true);
        home.defaults().setInteger(keys::scheduledScanHours, 0);
        home.defaults().setStringArray(keys::scanRoots, {home.home()});
        AppDelegate::Services services = AppDelegate::systemServices();
        services.launchFacts = [background] {
            BackgroundLaunchFacts facts;
            facts.hasCompletedOnboarding = true;
            facts.backgroundArgument = background;
            return facts;
        };
        services.trayAvailable = [tray] { return tray; };
        app = std::make_unique<TidewellApp>(std::move(services));
        EXPECT_TRUE(app->launch());
    }
    ~Launch() {
        // The launch restore runs in the background: let it land before the home goes.
        settle([] { return !AppStore::shared().isRestoringScan.get(); });
        app.reset();
        ::unsetenv("XDG_RUNTIME_DIR");
    }
    platform::Window& main() { return *mainWindow(); }
    bool upFront() { return mainWindow() && main().isVisible() && !main().isMinimized(); }

    tidewell::testing::ScratchHome home;
    std::string runtime;
    std::unique_ptr<TidewellApp> app;
};

// Counts the times the main window came on screen un-minimised.
struct ShownUnminimised : QObject {
    int times = 0;
    bool eventFilter(QObject* o, QEvent* e) override {
        auto* w = qobject_cast<QWidget*>(o);
        if (w && w->isWindow() && w->objectName() == "main" &&
            (e->type() == QEvent::Show || e->type() == QEvent::WindowStateChange) && w->isVisible() && !w->isMinimized())
            ++times;
        return false;
    }
};

}  // namespace

// Stock GNOME with "Open at login": no tray, so the window waits minimised;
// restoring it from the task bar ends the background start for good.
TEST(ApplicationLaunch, ATraylessBackgroundStartEndsWhenTheWindowIsRestored) {
    ShownUnminimised shown;
    QCoreApplication::instance()->installEventFilter(&shown);
    Launch launch({"tidewell", "--background"}, true);
    turns();
    ASSERT_NE(mainWindow(), nullptr);
    EXPECT_TRUE(launch.main().isMinimized());
    EXPECT_EQ(shown.times, 0) << "never shown before it is minimised";
    EXPECT_EQ(launch.main().phase(), platform::ui::ScenePhase::background);
    EXPECT_TRUE(launch.app->store().runsInBackground.get());

    launch.main().widget()->setWindowState(Qt::WindowNoState);  // the task bar's restore
    ASSERT_TRUE(settle([&] { return launch.upFront(); }));
    turns();
    EXPECT_TRUE(launch.upFront()) << "stays up";
    EXPECT_FALSE(launch.app->store().runsInBackground.get());
}

// "--scan-on-launch" in a start in the tray scans at launch, not once the window is first opened.
TEST(ApplicationLaunch, ATrayStartScansAtLaunchWhenAskedTo) {
    Launch launch({"tidewell", "--background", "--scan-on-launch"}, true, true);
    bool scanned = false;
    auto watch = launch.app->store().isScanning.subscribe([&](bool scanning) { scanned = scanned || scanning; });
    EXPECT_TRUE(settle([&] { return scanned && !launch.app->store().isScanning.get(); }));
    EXPECT_EQ(mainWindow(), nullptr) << "no window until it is brought up";
}

// Another `tidewell` while one runs: the window comes back, whatever state it is in.
TEST(ApplicationLaunch, ASecondLaunchBringsTheWindowBack) {
    Launch launch({"tidewell"});
    ASSERT_TRUE(settle([&] { return launch.upFront(); }));
    launch.main().minimize();
    ASSERT_TRUE(settle([&] { return launch.main().isMinimized(); }));
    launch.app->handOver({"tidewell"});
    EXPECT_TRUE(settle([&] { return launch.upFront(); })) << "un-minimised";
    launch.main().hide();
    launch.app->handOver({"tidewell"});
    EXPECT_TRUE(settle([&] { return launch.upFront(); })) << "shown again";
}

// Launch options act once per launch: a restore from minimised is no new
// appearance. The section chosen comes back at the next start.
TEST(ApplicationLaunch, LaunchOptionsActOnceAndTheSectionComesBackNextTime) {
    Launch launch({"tidewell", "--window-size", "1000x700"});
    ASSERT_TRUE(settle([&] { return launch.upFront() && launch.main().frame().width == 1000; }));
    launch.main().setFrame({50, 50, 1300, 850});
    launch.main().minimize();
    turns();
    launch.main().widget()->setWindowState(Qt::WindowNoState);
    ASSERT_TRUE(settle([&] { return launch.upFront(); }));
    turns();
    EXPECT_EQ(launch.main().frame().width, 1300);
    EXPECT_EQ(launch.main().frame().height, 850);

    AppStore& store = launch.app->store();
    store.selectedSection = AppSection::activity;
    launch.app.reset();
    store.selectedSection = AppSection::dashboard;  // as a new run starts
    TidewellApp next;
    EXPECT_EQ(store.selectedSection.get(), AppSection::activity);
}

// Asked for its help or its version, it answers and leaves, with no window.
TEST(ApplicationLaunch, HelpAndVersionPrintAndExit) {
    for (const char* option : {"--help", "--version"}) {
        QProcess app;
        app.start(QString::fromStdString(platform::Bundle::main().executablePath()), {option});
        ASSERT_TRUE(app.waitForFinished(60000)) << option << " opened the application instead";
        EXPECT_EQ(app.exitCode(), 0);
        const QString out = QString::fromUtf8(app.readAllStandardOutput());
        EXPECT_TRUE(out.startsWith(option == std::string("--help") ? "Usage: tidewell" : "Tidewell ")) << out.toStdString();
    }
}
