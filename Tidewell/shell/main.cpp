#include <QApplication>

#include <chrono>
#include <cstdio>

#include "desktop/BusProbe.h"
#include "desktop/WebView.h"
#include "desktop/Window.h"
#include "foundation/ProcessInfo.h"
#include "shell/LaunchOptions.h"
#include "shell/TidewellApp.h"

int main(int argc, char** argv) {
    platform::setProcessArguments(argc, argv);
    // Answered before any display or window is touched.
    if (platform::hasArgument("--help")) {
        std::fputs(tidewell::commandLineHelp().c_str(), stdout);
        return 0;
    }
    if (platform::hasArgument("--version")) {
        std::printf("%s\n", tidewell::versionLine().c_str());
        return 0;
    }
    // From the executable itself, so the desktop entry, autostart and scripts all get it.
    platform::chooseWindowingSystem();
    platform::WebView::prepareProcess();
    // Before anything of Qt's speaks to the session bus: one that takes the
    // connection and never answers would hold the first frame for ever.
    platform::leaveASilentSessionBus(std::chrono::milliseconds(750));
    QApplication application(argc, argv);
    platform::restoreWindowingSystemChoice();
    tidewell::TidewellApp app;
    return app.run();
}
