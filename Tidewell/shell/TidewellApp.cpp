#include "shell/TidewellApp.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

#include "core/ShellServices.h"
#include "desktop/Appearance.h"
#include "desktop/ApplicationMenu.h"
#include "desktop/Notifications.h"
#include "desktop/SingleInstance.h"
#include "desktop/TestProbe.h"
#include "shell/ScanWidgetPanel.h"
#include "desktop/Window.h"
#include "foundation/ProcessInfo.h"
#include "foundation/UserDefaults.h"
#include "kit/BundledFonts.h"
#include "runtime/MainActor.h"
#include "shell/CheckForUpdatesButton.h"
#include "shell/MatchedTitleBar.h"
#include "shell/OnboardingView.h"
#include "shell/RootView.h"
#include "shell/SettingsWindow.h"
#include "shell/TitlebarControlsHost.h"
#include "shell/WindowBackground.h"
#include "social/LeaderboardSync.h"
#include "social/LeaderboardWebModel.h"
#include "social/SocialServices.h"
#include "ui/AppStorage.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

// The visible frame of the first screen of scale 2 or more.
std::optional<ui::Rect> firstRetinaScreen() {
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->devicePixelRatio() < 2.0) continue;
        const QRect a = screen->availableGeometry();
        return ui::Rect{double(a.x()), double(a.y()), double(a.width()), double(a.height())};
    }
    return std::nullopt;
}

}  // namespace

TidewellApp::TidewellApp(AppDelegate::Services services)
    : arguments_(platform::processArguments()), store_(AppStore::shared()) {
    if (!services.terminate) services.terminate = [this] { quit(); };
    terminate_ = services.terminate;
    services.launchScan = [this] { scanOnLaunch(); };
    appDelegate_ = std::make_unique<AppDelegate>(store_, std::move(services));
    installLeaderboardHooks();
    // Windows follow the desktop's colour scheme and motion setting from the start.
    platform::startAppearanceService(arguments_);
    // Interface tests never see onboarding.
    if (hasLaunchOption(arguments_, "--ui-testing"))
        platform::UserDefaults::standard()->setBool(keys::hasCompletedOnboarding, true);
    // The section the user last looked at comes back, as the window's frame
    // does; interface tests start the same way every time.
    if (const auto section = appSectionFromRaw(
            platform::UserDefaults::standard()->stringValue(keys::selectedSection).value_or(""));
        section && !hasLaunchOption(arguments_, "--ui-testing"))
        store_.selectedSection = *section;
    sectionWatch_ = store_.selectedSection.subscribe([](AppSection section) {
        platform::UserDefaults::standard()->setString(keys::selectedSection, std::string(rawValue(section)));
    });
}

TidewellApp::~TidewellApp() {
    // Nothing that outlives the application may still call into it.
    shellHooks().bringUpMainWindow = nullptr;
    shellHooks().postScanStartedNotification = nullptr;
    platform::Notifier::shared().setActivationHandler(nullptr);
    platform::Windows::setLastWindowClosedHandler(nullptr);
    QObject::disconnect(activeConnection_);
    platform::Windows::reset();
}

bool TidewellApp::showsOnboarding(bool hasCompletedOnboarding, bool uiTesting) {
    return !hasCompletedOnboarding && !uiTesting;
}

ui::View TidewellApp::mainWindowContent(AppStore& store) {
    // Completing onboarding writes the key, which swaps the content in place.
    return ui::AppStorage<bool>(keys::hasCompletedOnboarding, false, [&store](ui::Binding<bool> completed) {
        // Settings that are there but cannot be read are no first run: the
        // pages show at once, with the banner saying why they run on defaults.
        const bool settingsUnreadable = platform::UserDefaults::standard()->unreadableFileReason().has_value();
        ui::View content = showsOnboarding(completed.get() || settingsUnreadable, platform::hasArgument("--ui-testing"))
                               ? OnboardingView(store, completed)
                               : RootView(store);
        // The window holds the 600-point minimum height: the content is laid
        // out above the banner's strip, in what room the window leaves it.
        ui::FrameSpec minimum;
        minimum.minWidth = 900;
        return installTitlebarControls(store, content).frame(minimum).background(WindowBackground());
    });
}

std::unique_ptr<platform::Window> TidewellApp::makeMainWindow() {
    platform::WindowSpec mainWindow;
    mainWindow.identifier = "main";
    mainWindow.title = "Tidewell";
    mainWindow.defaultSize = {1180, 760};
    auto window = std::make_unique<platform::Window>(mainWindow);
    platform::Window* w = window.get();
    configureMainWindow(w);
    if (!hasLaunchOption(arguments_, "--ui-testing")) w->setFrameAutosaveName("main");
    w->host().observe(store_);
    // The account and the leaderboard page publish on their own.
    w->host().observe(*store_.accountSession);
    w->host().observe(*LeaderboardWebModel::shared());
    w->setContent([this] { return mainWindowContent(store_); });
    addCommands(*w);
    w->setCloseHandler([this, w] {
        appDelegate_->windowWillClose(*w);
        return true;
    });
    w->setVisibilityHandler([this](bool visible) {
        if (!visible) return;
        // On screen while the start in the background still stands: the user
        // restored it from the task bar, which ends the background start.
        if (store_.runsInBackground.get()) appDelegate_->bringUpMainWindow();
        mainWindowAppeared();
    });
    return window;
}

void TidewellApp::addCommands(platform::Window& window) {
    struct SectionCommand {
        const char* title;
        Qt::Key key;
        AppSection section;
    };
    // The order of the View menu; the leaderboard has no command.
    static constexpr SectionCommand sections[] = {
        {"Projects", Qt::Key_2, AppSection::projects},
        {"Dashboard", Qt::Key_1, AppSection::dashboard},
        {"Global Caches", Qt::Key_3, AppSection::caches},
        {"Activity", Qt::Key_4, AppSection::activity},
    };
    AppUpdater& updater = AppUpdater::shared();
    // The application menu stands in for the platform's own: settings, the
    // update check after the application's information, and quitting.
    std::vector<platform::MenuCommand> commands{
        {"Tidewell", {"Settings\u2026", QKeySequence(Qt::CTRL | Qt::Key_Comma), [] { openSettingsWindow(); }, nullptr}},
        {"Tidewell", CheckForUpdatesButton(updater)},
        {"Tidewell", {"Quit Tidewell", QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { quit(); }, nullptr}},
    };
    for (const auto& c : sections) {
        const AppSection section = c.section;
        commands.push_back({"View", {c.title, QKeySequence(Qt::CTRL | c.key), [this, section] {
                                         store_.selectedSection = section;
                                         showMainWindow();
                                     }, nullptr}});
    }
    commands.push_back({"Scan", {"Scan Now", QKeySequence(Qt::CTRL | Qt::Key_R),
                                 [this] {
                                     showMainWindow();
                                     store_.startScan();
                                 },
                                 [this] { return !store_.isScanning.get(); }}});
    platform::installApplicationMenu(window, std::move(commands));
}

void TidewellApp::mainWindowAppeared() {
    if (std::exchange(appeared_, true)) return;
    if (store_.runsInBackground.get()) appDelegate_->hideMainWindows();
    registerBundledFonts();
    platform::postToMain([this] { startAfterAppear(); });
}

void TidewellApp::startAfterAppear() {
    store_.bootstrap();
    scanOnLaunch();
    applyWindowSizeOption();
    applyPresentOption();
}

void TidewellApp::scanOnLaunch() {
    if (std::exchange(scannedOnLaunch_, true)) return;
    if (hasLaunchOption(arguments_, "--scan-on-launch")) store_.startScan();
}

void TidewellApp::applyWindowSizeOption() {
    const auto size = windowSizeOption(arguments_);
    if (!size) return;
    platform::Window* main = mainWindow();
    if (!main) return;
    const ui::Rect frame = main->frame();
    const auto screen = hasLaunchOption(arguments_, "--retina") ? firstRetinaScreen() : std::nullopt;
    const ui::Point origin = windowSizeOrigin({frame.x, frame.y}, *size, screen);
    main->setFrame({origin.x, origin.y, size->width, size->height});
}

void TidewellApp::applyPresentOption() {
    const auto action = presentOption(arguments_);
    if (!action) return;
    platform::postToMainAfter(std::chrono::duration<double>(2.0), [this, action = *action] {
        const auto project = presentSampleProject(store_.dashboard.get());
        switch (action) {
            case PresentAction::files: store_.filesPopupProject = project; break;
            case PresentAction::confirm:
                if (project) store_.requestClean({*project}, true);
                break;
            case PresentAction::endOfDay: store_.showEndOfDay = true; break;
        }
    });
}

void TidewellApp::quit() { QCoreApplication::quit(); }

void TidewellApp::stopEngineWork() {
    // A Trash move is never cut in half: the engine is asked to stop, finishes
    // or undoes its current move and records it, and only then do we leave.
    // This runs after the event loop, so every way of quitting passes here.
    if (store_.isCleaning.get() || !store_.cleanTask().isFinished()) {
        store_.cancelClean();
        store_.cleanTask().wait();
    }
    if (store_.isScanning.get() || !store_.scanTask().isFinished()) {
        store_.cancelScan();
        store_.scanTask().wait();
    }
    // The stopped clean hands what it moved to the main thread, which
    // credits it to the lifetime total; run that before leaving, or the
    // folders already in the Trash would never count.
    QCoreApplication::sendPostedEvents();
}

void TidewellApp::handOver(const std::vector<std::string>& arguments) {
    const auto urls = platform::urlArguments(arguments);
    if (!urls.empty()) {
        appDelegate_->handleOpenedURLs(urls);
        return;
    }
    // As a click on a running application's icon: the application comes
    // forward, and its delegate brings the main window back when none of its
    // windows is on screen (a minimised one is not).
    platform::Window* shown = nullptr;
    for (platform::Window* w : platform::Windows::all())
        if ((w->kind() == platform::WindowKind::standard || w->kind() == platform::WindowKind::settings) && w->isVisible() &&
            !w->isMinimized() && (!shown || isMainWindow(w->identifier(), w->title())))
            shown = w;
    if (shown) shown->activate();
    appDelegate_->applicationShouldHandleReopen(shown != nullptr);
}

int TidewellApp::run() {
    if (!launch()) return 0;
    QCoreApplication::exec();
    stopEngineWork();
    return 0;
}

bool TidewellApp::launch() {
    // One instance per user: a second launch hands its arguments over and leaves.
    // Interface tests keep to an instance of their own, as they keep their data.
    instance_ = std::make_unique<platform::SingleInstance>(hasLaunchOption(arguments_, "--ui-testing") ? "tidewell-UITests"
                                                                                                  : "tidewell");
    if (instance_->handOver(arguments_)) return false;
    // The end-to-end tests read the windows through a socket their environment names.
    if (const auto probe = platform::environmentValue("TIDEWELL_TEST_PROBE")) platform::startTestProbe(*probe);
    instance_->listen([this](std::vector<std::string> arguments) { handOver(arguments); });

    QGuiApplication::setQuitOnLastWindowClosed(false);
    registerSettingsScene(store_);
    platform::Windows::registerScene("main", [this] { return makeMainWindow(); });
    shellHooks().bringUpMainWindow = [this] { appDelegate_->bringUpMainWindow(); };
    shellHooks().postScanStartedNotification = [this] { appDelegate_->postScanStartedNotification(); };
    shellHooks().showScanPanel = [] { ScanWidgetPanel::shared().show(); };
    // The share card's picture of the main window: the first one on screen.
    socialHooks().findMainWindow = [] { return platform::Windows::findVisible("main", "Tidewell") != nullptr; };
    socialHooks().captureMainWindowImage = []() -> std::optional<QImage> {
        platform::Window* main = platform::Windows::findVisible("main", "Tidewell");
        return main ? main->capture() : std::nullopt;
    };
    platform::Notifier::shared().setActivationHandler(
        [this](const std::string&) { appDelegate_->userNotificationCenterDidReceiveNotificationResponse(); });
    platform::Windows::setLastWindowClosedHandler([this] {
        if (appDelegate_->applicationShouldTerminateAfterLastWindowClosed()) terminate_();
    });
    activeConnection_ = QObject::connect(qGuiApp, &QGuiApplication::applicationStateChanged, qGuiApp, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) appDelegate_->applicationDidBecomeActive();
    });

    appDelegate_->applicationWillFinishLaunching();
    appDelegate_->applicationDidFinishLaunching();
    // A start in the background makes the main window only when it is first
    // brought up (without a tray the delegate has made it, minimised).
    if (!store_.runsInBackground.get()) platform::Windows::open("main");

    // A start through a `tidewell` link carries the link as an argument.
    const auto urls = platform::urlArguments(
        std::vector<std::string>(arguments_.begin() + (arguments_.empty() ? 0 : 1), arguments_.end()));
    if (!urls.empty()) platform::postToMain([this, urls] { appDelegate_->handleOpenedURLs(urls); });
    return true;
}

}  // namespace tidewell
