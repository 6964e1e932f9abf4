// The application itself on the offscreen platform: how its main window
// comes and goes over a launch (in the background without a tray, a second
// launch, the launch options), and what it answers without any window.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>
#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>

#include <sys/stat.h>
#include <unistd.h>

#include "AsOrdinaryUser.h"
#include "Platform/desktop/SilentSocket.h"
#include "Tidewell/core/StoreTestEnvironment.h"
#include "Tidewell/kit/KitViewTesting.h"
#include "core/AppUpdater.h"
#include "desktop/Appearance.h"
#include "desktop/Window.h"
#include "foundation/Bundle.h"
#include "foundation/Files.h"
#include "kit/Theme.h"
#include "runtime/MainActor.h"
#include "shell/ScanWidgetPanel.h"
#include "shell/SettingsWindow.h"
#include "shell/TidewellApp.h"
#include "social/AccountSession.h"
#include "ui/Painting.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

using namespace tidewell;

namespace {

bool settle(const std::function<bool()>& done) { return platform::processMainEventsUntil(done, std::chrono::seconds(60)); }

// The main window at 1180×760 over `store`, bootstrapped, once the start-up's
// looks at the scan folders are done.
std::unique_ptr<kittest::Laid> bootstrappedWindow(AppStore& store) {
    auto laid = kittest::layOut(TidewellApp::mainWindowContent(store), {1180, 760});
    laid->host->observe(store);
    store.bootstrap();
    settle([&] { return !store.lookingAtFolders(); });
    laid->tester.settle();
    return laid;
}
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
        services.terminate = [this] { ++terminations; };
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
    int terminations = 0;
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

// "--scan-on-launch" in a start in the tray scans at launch, not once the
// window is first opened, and only once: opening the window later starts no
// second scan.
TEST(ApplicationLaunch, ATrayStartScansOnceAtLaunchWhenAskedTo) {
    Launch launch({"tidewell", "--background", "--scan-on-launch"}, true, true);
    int scans = 0;
    auto watch = launch.app->store().isScanning.subscribe([&](bool scanning) { scans += scanning ? 1 : 0; });
    EXPECT_TRUE(settle([&] { return scans == 1 && !launch.app->store().isScanning.get(); }));
    EXPECT_EQ(mainWindow(), nullptr) << "no window until it is brought up";
    launch.app->appDelegate().bringUpMainWindow();
    ASSERT_TRUE(settle([&] { return launch.upFront(); }));
    turns(50);
    EXPECT_FALSE(launch.app->store().isScanning.get());
    EXPECT_EQ(scans, 1);
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

// A second start is a reopen: with a window of the application on screen the
// application only comes forward; with none (the main window minimised or
// hidden) the delegate brings the main window back.
TEST(ApplicationLaunch, ASecondStartIsAReopenThatBringsTheWindowOnlyWhenNoneIsShown) {
    Launch launch({"tidewell"});
    ASSERT_TRUE(settle([&] { return launch.upFront(); }));
    launch.main().hide();
    openSettingsWindow();
    platform::Window* settings = platform::Windows::find(settingsWindowIdentifier);
    ASSERT_TRUE(settings && settle([&] { return settings->isVisible(); }));
    launch.app->handOver({"tidewell"});
    turns();
    EXPECT_FALSE(launch.main().isVisible()) << "the settings window is on screen: nothing extra";
    settings->hide();
    launch.app->handOver({"tidewell"});
    EXPECT_TRUE(settle([&] { return launch.upFront(); }));
}

// The last window's close asks the delegate whether to quit: yes in a
// windowed start, no in the tray.
TEST(ApplicationLaunch, TheLastWindowsCloseQuitsOnlyOutsideTheTray) {
    for (const bool tray : {false, true}) {
        Launch launch({"tidewell"}, tray, tray);
        if (!tray) {
            ASSERT_TRUE(settle([&] { return launch.upFront(); }));
            launch.main().hide();
        }
        openSettingsWindow();
        platform::Window* settings = platform::Windows::find(settingsWindowIdentifier);
        ASSERT_TRUE(settings && settle([&] { return settings->isVisible(); }));
        EXPECT_EQ(launch.terminations, 0);
        settings->widget()->close();  // the window manager's close button
        turns();
        EXPECT_EQ(launch.terminations, tray ? 0 : 1) << (tray ? "in the tray" : "windowed");
    }
}

// The scan panel is no window the user works in: closed alone it quits
// nothing, and while it is up, closing the main window still quits outside
// the tray.
TEST(ApplicationLaunch, TheScanPanelNeitherQuitsNorKeepsTheApplicationOpen) {
    Launch launch({"tidewell"});
    ASSERT_TRUE(settle([&] { return launch.upFront(); }));
    ScanWidgetPanel& scanPanel = ScanWidgetPanel::shared();
    launch.main().hide();
    scanPanel.show();
    ASSERT_TRUE(settle([&] { return scanPanel.isShown(); }));
    scanPanel.window()->widget()->close();
    turns();
    EXPECT_FALSE(scanPanel.isShown());
    EXPECT_EQ(launch.terminations, 0) << "the panel alone";

    openSettingsWindow();
    platform::Window* settings = platform::Windows::find(settingsWindowIdentifier);
    scanPanel.show();
    ASSERT_TRUE(settings && settle([&] { return settings->isVisible() && scanPanel.isShown(); }));
    settings->widget()->close();
    turns();
    EXPECT_TRUE(scanPanel.isShown());
    EXPECT_EQ(launch.terminations, 1) << "the last work window, with the panel up";

    launch.main().show();
    ASSERT_TRUE(settle([&] { return launch.upFront() && scanPanel.isShown(); }));
    const int before = launch.terminations;
    launch.main().widget()->close();  // the window manager's close button
    turns();
    EXPECT_GT(launch.terminations, before) << "the main window, with the panel up";
    scanPanel.orderOutNow();
}

// "Check for Updates…" in the menu follows the updater: disabled while it
// cannot check, at once when that changes, not only when the menu opens.
TEST(ApplicationLaunch, CheckForUpdatesInTheMenuFollowsTheUpdater) {
    Launch launch({"tidewell"});
    ASSERT_TRUE(settle([&] { return launch.upFront(); }));
    QAction* check = nullptr;
    for (QAction* action : launch.main().widget()->findChildren<QAction*>())
        if (action->text().remove('&') == QString::fromUtf8("Check for Updates\u2026")) check = action;
    ASSERT_NE(check, nullptr);
    AppUpdater& updater = AppUpdater::shared();
    ASSERT_FALSE(updater.canCheckForUpdates.get());
    EXPECT_FALSE(check->isEnabled());
    updater.canCheckForUpdates = true;
    EXPECT_TRUE(check->isEnabled());
    updater.canCheckForUpdates = false;
    EXPECT_FALSE(check->isEnabled());
}

// The menu bar above the content follows the appearance the window follows,
// while the application runs: the window colour behind, the primary text.
TEST(ApplicationLaunch, TheMenuBarFollowsTheAppearance) {
    Launch launch({"tidewell"});
    ASSERT_TRUE(settle([&] { return launch.upFront(); }));
    auto* bar = launch.main().widget()->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    using platform::ui::ColorScheme;
    const QColor first = platform::ui::toQColor(Theme::windowBackground().resolve(platform::currentAppearance().colorScheme));
    EXPECT_EQ(bar->palette().color(QPalette::Window), first) << "from the start";
    auto menus = [bar] {
        std::vector<QMenu*> out;
        for (QAction* a : bar->actions())
            if (a->menu()) out.push_back(a->menu());
        return out;
    };
    ASSERT_EQ(menus().size(), 3u);
    for (QMenu* menu : menus()) EXPECT_EQ(menu->palette().color(QPalette::Window), first) << menu->title().toStdString();
    for (const ColorScheme scheme : {ColorScheme::dark, ColorScheme::light, ColorScheme::dark}) {
        platform::startAppearanceService({"tidewell", "--ui-testing", "--appearance", scheme == ColorScheme::dark ? "dark" : "light"});
        const QColor background = platform::ui::toQColor(Theme::windowBackground().resolve(scheme));
        const QColor text = platform::ui::toQColor(platform::ui::Color::primary().resolve(scheme));
        EXPECT_EQ(bar->palette().color(QPalette::Window), background);
        EXPECT_EQ(bar->palette().color(QPalette::ButtonText), text);
        for (QMenu* menu : menus()) EXPECT_EQ(menu->palette().color(QPalette::Window), background) << menu->title().toStdString();
        // As drawn: the bar's empty right end.
        const QImage drawn = bar->grab().toImage();
        const QColor pixel = drawn.pixelColor(drawn.width() - 4, drawn.height() / 2);
        EXPECT_NEAR(pixel.red(), background.red(), 3);
        EXPECT_NEAR(pixel.green(), background.green(), 3);
        EXPECT_NEAR(pixel.blue(), background.blue(), 3);
    }
    platform::startAppearanceService({"tidewell"});
}

namespace {
// How far what is drawn in `row` stands out from the row's own background
// at its strongest (0 to 255): the grey of the pixel that differs most from
// the colour most of the row is.
int strongestInk(const QImage& drawn, const QRect& row) {
    std::map<QRgb, int> counts;
    for (int y = row.top(); y <= row.bottom(); ++y)
        for (int x = row.left(); x <= row.right(); ++x) ++counts[drawn.pixel(x, y)];
    QRgb background = 0;
    int most = 0;
    for (const auto& [rgb, n] : counts)
        if (n > most) std::tie(background, most) = std::pair{rgb, n};
    const int ground = qGray(background);
    int strongest = 0;
    for (const auto& [rgb, n] : counts) strongest = std::max(strongest, std::abs(qGray(rgb) - ground));
    return strongest;
}
}  // namespace

// Disabled entries read dimmer than enabled ones in both appearances, as
// drawn, and follow a switch while the application runs: "Check for
// Updates…" (disabled with no updater) beside "Settings…" and "Quit Tidewell".
TEST(ApplicationLaunch, DisabledMenuEntriesReadDimmerThanEnabledOnes) {
    Launch launch({"tidewell"});
    ASSERT_TRUE(settle([&] { return launch.upFront(); }));
    auto* bar = launch.main().widget()->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    QMenu* menu = bar->actions().front()->menu();
    ASSERT_NE(menu, nullptr);
    auto entry = [menu](const char* title) -> QAction* {
        for (QAction* a : menu->actions())
            if (a->text().remove('&') == QString::fromUtf8(title)) return a;
        return nullptr;
    };
    QAction* check = entry("Check for Updates\u2026");
    QAction* settings = entry("Settings\u2026");
    QAction* quit = entry("Quit Tidewell");
    ASSERT_TRUE(check && settings && quit);
    using platform::ui::ColorScheme;
    for (const ColorScheme scheme : {ColorScheme::dark, ColorScheme::light, ColorScheme::dark}) {
        const char* name = scheme == ColorScheme::dark ? "dark" : "light";
        platform::startAppearanceService({"tidewell", "--ui-testing", "--appearance", name});
        menu->popup(QPoint(0, 0));
        ASSERT_TRUE(settle([&] { return menu->isVisible(); }));
        turns();
        EXPECT_FALSE(check->isEnabled());
        const QImage drawn = menu->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const int disabled = strongestInk(drawn, menu->actionGeometry(check));
        for (QAction* enabled : {settings, quit}) {
            const int ink = strongestInk(drawn, menu->actionGeometry(enabled));
            EXPECT_GT(ink, 60) << name << ": " << enabled->text().toStdString() << " reads";
            EXPECT_LT(disabled, ink * 3 / 4) << name << ": the disabled entry beside " << enabled->text().toStdString();
        }
        menu->hide();
        turns();
    }
    platform::startAppearanceService({"tidewell"});
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

namespace {

// What the application's test probe answers, or nothing yet.
QJsonObject askProbe(const QString& socket) {
    QLocalSocket probe;
    probe.connectToServer(socket);
    if (!probe.waitForConnected(1000)) return {};
    probe.write("tree\n");
    QByteArray answer;
    while (probe.waitForReadyRead(5000)) answer += probe.readAll();
    return QJsonDocument::fromJson(answer).object();
}

// An X server of the test's own; `number` stays empty when it did not start.
struct VirtualDisplay {
    explicit VirtualDisplay(const std::string& numberFile) {
        server.start("sh", {"-c", QString::fromStdString("exec Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>" +
                                                         numberFile + " 2>/dev/null")});
        for (int i = 0; i < 600 && number.empty(); ++i) {
            std::ifstream(numberFile) >> number;
            if (number.empty()) QThread::msleep(100);
        }
    }
    ~VirtualDisplay() {
        server.terminate();
        server.waitForFinished();
    }
    QProcess server;
    std::string number;
};

// Whether the probe's answer shows the main window.
bool showsMainWindow(const QJsonObject& answer) {
    for (const auto& window : answer.value("windows").toArray())
        if (window.toObject().value("title").toString() == "Tidewell") return true;
    return false;
}

}  // namespace

// On a Wayland desktop that runs X11 programs too, a start with no choice of
// the user's runs on X11, where the scan panel and the popovers can place
// themselves; a choice of the user's still holds.
TEST(ApplicationLaunch, RunsOnX11OnAWaylandDesktop) {
    tidewell::testing::ScratchHome home;
    home.defaults().setBool(keys::hasCompletedOnboarding, true);
    const std::string runtime = home.path("run");
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    VirtualDisplay xvfb(home.path("display"));
    const std::string display = xvfb.number;
    ASSERT_FALSE(display.empty()) << "Xvfb did not start";

    for (const auto& [choice, expected] : std::vector<std::pair<QString, QString>>{{"", "xcb"}, {"offscreen", "offscreen"}}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        if (!choice.isEmpty()) env.insert("QT_QPA_PLATFORM", choice);
        env.insert("DISPLAY", QString::fromStdString(":" + display));
        env.insert("WAYLAND_DISPLAY", "wayland-0");
        env.insert("XDG_SESSION_TYPE", "wayland");
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime));
        const QString socket = QString::fromStdString(home.path("probe.sock"));
        env.insert("TIDEWELL_TEST_PROBE", socket);
        QProcess app;
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::MergedChannels);
        app.start(QString::fromStdString(platform::Bundle::main().executablePath()), {"--ui-testing"});
        ASSERT_TRUE(app.waitForStarted());
        QJsonObject answer;
        for (int i = 0; i < 600 && !answer.contains("platform") && app.state() == QProcess::Running; ++i) {
            answer = askProbe(socket);
            if (!answer.contains("platform")) QThread::msleep(100);
        }
        EXPECT_EQ(answer.value("platform").toString(), expected) << choice.toStdString() << app.readAll().toStdString();
        app.terminate();
        if (!app.waitForFinished(60000)) app.kill();
        app.waitForFinished();
    }
}

// A settings file that is there but refuses this user is no first run: the
// window opens on the pages, with the banner saying why the settings are the
// defaults, instead of onboarding with no word; the file stays as it was.
TEST(ApplicationLaunch, ASettingsFileThisUserCannotReadOpensOnTheBannerNotOnboarding) {
    tidewell::testing::ScratchHome home;
    const std::string file = platform::UserDefaults::standardFilePath();
    const std::string text = R"({"values": {"hasCompletedOnboarding": {"kind": "bool", "value": true}}})";
    tidewell::testing::writeText(file, text);
    const std::string notice = "The settings file " + file +
                               " cannot be read: permission denied. Tidewell runs with defaults and leaves the file "
                               "as it is.";
    // The whole home is the user's own; only the settings file refuses them.
    home.giveTo(testsupport::kNobody);
    ASSERT_EQ(::chown(file.c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
    auto launch = [&] {
        home.useDefaults(std::make_shared<platform::UserDefaults>(file));
        AppStore store;
        auto laid = bootstrappedWindow(store);
        EXPECT_FALSE(laid->shows("Choose Folders…")) << "onboarding";
        EXPECT_TRUE(laid->shows(notice));
        EXPECT_EQ(platform::UserDefaults::standard()->boolValue(keys::hasCompletedOnboarding), std::nullopt)
            << "nothing is taken as chosen by the user";
        settle([&] { return !store.isRestoringScan.get(); });
        std::fflush(stdout);
        return !::testing::Test::HasFailure();
    };
    EXPECT_EQ(testsupport::asOrdinaryUser(launch), 0);
    EXPECT_EQ(platform::readFileContents(file), text);
}

// No settings file yet, and its folder cannot take one: onboarding, the first
// window, carries the banner that says nothing will be saved.
TEST(ApplicationLaunch, ASettingsFileThatCannotBeMadeIsNamedOnOnboarding) {
    tidewell::testing::ScratchHome home;
    const std::string file = platform::UserDefaults::standardFilePath();
    const std::string folder = std::filesystem::path(file).parent_path().string();
    std::filesystem::create_directories(folder);
    home.giveTo(testsupport::kNobody);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    auto launch = [&] {
        home.useDefaults(std::make_shared<platform::UserDefaults>(file));
        AppStore store;
        auto laid = bootstrappedWindow(store);
        EXPECT_TRUE(laid->shows("Choose Folders…")) << "onboarding";
        EXPECT_TRUE(laid->shows("The settings file " + file +
                                " cannot be saved: its folder is read-only. Tidewell runs with its settings and keeps "
                                "changes only until it quits."));
        settle([&] { return !store.isRestoringScan.get(); });
        std::fflush(stdout);
        return !::testing::Test::HasFailure();
    };
    EXPECT_EQ(testsupport::asOrdinaryUser(launch), 0);
    EXPECT_FALSE(std::filesystem::exists(file));
}

// A session bus that takes the connection and never says a word (a wedged bus
// daemon, a stale address) holds no window back, with an account stored (whose
// keyring is asked at launch) and without one: the bus is left for the run.
// The window is waited for with a generous deadline, never timed.
TEST(ApplicationLaunch, ASessionBusThatNeverAnswersHoldsNoWindowBack) {
    for (const bool accountStored : {false, true}) {
        SCOPED_TRACE(accountStored ? "with an account stored" : "without an account");
        tidewell::testing::ScratchHome home;
        home.defaults().setBool(keys::hasCompletedOnboarding, true);
        home.defaults().setBool(keys::didSeedStartupDisk, true);
        home.defaults().setInteger(keys::scheduledScanHours, 0);
        home.defaults().setStringArray(keys::scanRoots, {home.home()});
        if (accountStored) {
            home.defaults().setBool(keys::accountSignedIn, true);
            home.defaults().setString(keys::accountEmail, "mira@example.com");
        }
        const std::string runtime = home.path("run");
        std::filesystem::create_directories(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        const std::string busPath = home.path("bus");
        testing_support::SilentSocket silent(busPath);
        ASSERT_TRUE(silent.isListening());
        VirtualDisplay xvfb(home.path("display"));
        ASSERT_FALSE(xvfb.number.empty()) << "Xvfb did not start";

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", QString::fromStdString(":" + xvfb.number));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime));
        env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString("unix:path=" + busPath));
        const QString socket = QString::fromStdString(home.path("probe.sock"));
        env.insert("TIDEWELL_TEST_PROBE", socket);
        QProcess app;
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::MergedChannels);
        QElapsedTimer clock;
        clock.start();
        app.start(QString::fromStdString(platform::Bundle::main().executablePath()), QStringList{});
        ASSERT_TRUE(app.waitForStarted());
        bool shown = false;
        while (!shown && app.state() == QProcess::Running && clock.elapsed() < 120000) {
            shown = showsMainWindow(askProbe(socket));
            if (!shown) QThread::msleep(100);
        }
        std::printf("main window after %lld ms\n", static_cast<long long>(clock.elapsed()));
        EXPECT_TRUE(shown) << "no window while the bus says nothing" << app.readAll().toStdString();
        app.terminate();
        if (!app.waitForFinished(60000)) app.kill();
        app.waitForFinished();
    }
}
