#include "shell/AppDelegate.h"

#include <fstream>
#include <sstream>

#include "core/LoginItemService.h"
#include "core/ScanRoots.h"
#include "desktop/Notifications.h"
#include "desktop/StatusItem.h"
#include "desktop/Window.h"
#include "foundation/ProcessInfo.h"
#include "foundation/UserDefaults.h"
#include "kit/BundledFonts.h"
#include "runtime/MainActor.h"
#include "shell/MenuBarStatusItem.h"
#include "shell/ScanWidgetPanel.h"
#include "social/AccountSession.h"

namespace tidewell {

platform::Window* mainWindow() {
    for (platform::Window* w : platform::Windows::all())
        if (isMainWindow(w->identifier(), w->title())) return w;
    return nullptr;
}

AppDelegate::Services AppDelegate::systemServices() {
    Services s;
    s.launchFacts = [] {
        BackgroundLaunchFacts facts;
        facts.uiTesting = platform::hasArgument("--ui-testing");
        facts.hasCompletedOnboarding =
            platform::UserDefaults::standard()->boolValue(keys::hasCompletedOnboarding).value_or(false);
        facts.backgroundArgument = platform::hasArgument("--background");
        facts.launchedAtLogin = platform::environmentValue("DESKTOP_AUTOSTART_ID").has_value();
        facts.loginItemEnabled = openAtLoginEnabled();
        std::ifstream uptime("/proc/uptime");
        std::stringstream text;
        text << uptime.rdbuf();
        facts.uptimeSeconds = parseUptime(text.str());
        return facts;
    };
    s.hideScanPanel = [] { ScanWidgetPanel::shared().hide(0); };
    s.handleSignInCallback = [](const std::string& url) { AccountSession::shared()->handleSignInCallback(url); };
    return s;
}

AppDelegate::AppDelegate(AppStore& store, Services services) : store_(store), services_(std::move(services)) {}
AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationWillFinishLaunching() {
    if (services_.launchFacts && isBackgroundLaunch(services_.launchFacts())) store_.runsInBackground = true;
}

void AppDelegate::applicationDidFinishLaunching() {
    // The tray item is made in every start, background or not.
    menuBar_ = std::make_unique<MenuBarStatusItem>(store_);
    // The way out of a start in the tray that needs no window.
    menuBar_->item().setMenu({{"&Open Tidewell", [this] { bringUpMainWindow(); }},
                              {"&Quit Tidewell", [terminate = services_.terminate] {
                                   if (terminate) terminate();
                               }}});
    if (!services_.trayAvailable) services_.trayAvailable = [this] { return menuBar_->trayAvailable(); };
    if (!store_.runsInBackground.get()) return;
    // Without a tray nothing would lead back to a hidden window: it is made
    // now, never shown, and minimised instead, so the user can always get back.
    if (!services_.trayAvailable()) platform::Windows::make("main");
    hideMainWindows();
    platform::postToMain([this] { finishBackgroundLaunch(); });
}

void AppDelegate::finishBackgroundLaunch() {
    hideMainWindows();
    registerBundledFonts();
    store_.bootstrap();
    if (services_.launchScan) services_.launchScan();
}

bool AppDelegate::applicationShouldTerminateAfterLastWindowClosed() const { return !store_.runsInBackground.get(); }

void AppDelegate::windowWillClose(const platform::Window& window) {
    if (!isMainWindow(window.identifier(), window.title())) return;
    // Several close notifications at once ask for termination only once.
    if (isTerminating_) return;
    isTerminating_ = true;
    platform::postToMain([terminate = services_.terminate] {
        if (terminate) terminate();
    });
}

void AppDelegate::applicationDidBecomeActive() {
    platform::postToMain([this] { store_.hasFullDiskAccess = probeFullDiskAccess(); });
}

void AppDelegate::userNotificationCenterDidReceiveNotificationResponse() {
    platform::postToMain([this] { bringUpMainWindow(); });
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
    if (!hasVisibleWindows) bringUpMainWindow();
    return true;
}

void AppDelegate::handleOpenedURLs(const std::vector<std::string>& urls) {
    const OpenedURLRoute route = routeOpenedURLs(urls);
    if (!route.acts()) return;
    for (const auto& url : route.signInCallbacks)
        platform::postToMain([handle = services_.handleSignInCallback, url] {
            if (handle) handle(url);
        });
    bringUpMainWindow();
    if (route.share) platform::postToMain([this] { store_.shareTotal(); });
}

void AppDelegate::bringUpMainWindow() {
    if (store_.runsInBackground.get()) {
        store_.runsInBackground = false;
        if (services_.hideScanPanel) services_.hideScanPanel();
    }
    if (platform::Window* main = mainWindow()) {
        main->activate();
        return;
    }
    // The window is gone: make it again from its scene.
    platform::Windows::open("main");
}

void AppDelegate::hideMainWindows() {
    const bool tray = trayAvailable();
    for (platform::Window* w : platform::Windows::all()) {
        if (!isMainWindow(w->identifier(), w->title())) continue;
        if (tray) w->hide();
        else w->minimize();
    }
}

}  // namespace tidewell

namespace tidewell {

void AppDelegate::postScanStartedNotification() {
    // The desktop asks for no permission; without a notification server the post is dropped.
    platform::Notifier::shared().post(
        {"scan-started", "Scanning started", "Tidewell is checking your projects in the background."});
}

}  // namespace tidewell
