#pragma once
// What the store needs of the application shell: bringing the main window
// forward, the floating scan panel and the scan-started notification. The
// shell installs these when it starts; until then each does nothing.

#include <functional>

namespace tidewell {

struct ShellHooks {
    // The application delegate's bring-up; set while our delegate runs the application.
    std::function<void()> bringUpMainWindow;
    // Without our delegate: the first window is made key and brought front.
    std::function<void()> activateFirstWindow;
    std::function<void()> showScanPanel;
    std::function<void()> postScanStartedNotification;
};

ShellHooks& shellHooks();

// Brings the main window forward through the delegate when there is one.
void showMainWindow();

}  // namespace tidewell
