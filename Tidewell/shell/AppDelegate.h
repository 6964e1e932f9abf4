#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/AppStore.h"
#include "shell/AppDelegateRules.h"

namespace platform {
class Window;
}

namespace tidewell {

class MenuBarStatusItem;

// The application's delegate: decides a start in the tray, quits when the
// main window closes, brings the main window back (making it again when it
// is gone), routes the `tidewell` URLs and re-checks disk access whenever
// the application becomes active. Main thread only.
class AppDelegate {
public:
    // What the delegate reaches outside the store; tests replace them.
    struct Services {
        std::function<BackgroundLaunchFacts()> launchFacts;
        // Asks the application to quit (on a later turn of the main loop).
        std::function<void()> terminate;
        std::function<void(const std::string& url)> handleSignInCallback;
        std::function<void()> hideScanPanel;
        // Without a tray the window is minimised instead of hidden, so it can always be found again.
        std::function<bool()> trayAvailable;
        // The launch's own work once the store has started ("--scan-on-launch").
        std::function<void()> launchScan;
    };
    static Services systemServices();

    AppDelegate(AppStore& store, Services services);
    ~AppDelegate();

    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();
    bool applicationShouldTerminateAfterLastWindowClosed() const;
    void windowWillClose(const platform::Window& window);
    void applicationDidBecomeActive();
    // A click on a notification: the main window comes up on a later turn.
    void userNotificationCenterDidReceiveNotificationResponse();
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    void handleOpenedURLs(const std::vector<std::string>& urls);

    void bringUpMainWindow();
    void hideMainWindows();
    void finishBackgroundLaunch();
    // Only the automatic scans of a start in the tray post it.
    void postScanStartedNotification();

    bool isTerminating() const { return isTerminating_; }
    bool trayAvailable() const { return !services_.trayAvailable || services_.trayAvailable(); }
    MenuBarStatusItem* menuBar() const { return menuBar_.get(); }

private:
    AppStore& store_;
    Services services_;
    std::unique_ptr<MenuBarStatusItem> menuBar_;
    bool isTerminating_ = false;
};

// The first window that is a main window; none when there is none.
platform::Window* mainWindow();

}  // namespace tidewell
