#pragma once

#include <QMetaObject>

#include <memory>

#include "core/AppStore.h"
#include "shell/AppDelegate.h"
#include "shell/LaunchOptions.h"
#include "runtime/Signal.h"
#include "ui/View.h"

namespace platform {
class SingleInstance;
class Window;
}

namespace tidewell {

namespace keys {
// The main window's section, kept across restarts.
inline constexpr const char* selectedSection = "selectedSection";
}  // namespace keys

// The application: the one store, the delegate, the main window scene
// ("main", "Tidewell", 1180 × 760, at least 900 × 600) with its commands,
// the settings scene, the onboarding gate and the launch options.
class TidewellApp {
public:
    explicit TidewellApp(AppDelegate::Services services = AppDelegate::systemServices());
    ~TidewellApp();

    // Registers the scenes, starts the delegate and runs until the application quits.
    int run();
    // Everything `run` does before the event loop; false when another
    // instance took this launch over.
    bool launch();
    // A later launch handed its arguments over: links are opened; anything
    // else brings the main window back, un-minimised, raised and active.
    void handOver(const std::vector<std::string>& arguments);

    AppStore& store() { return store_; }
    AppDelegate& appDelegate() { return *appDelegate_; }

    // Onboarding until it is complete (never under "--ui-testing", nor while the
    // settings file is there but cannot be read), then the root view.
    static platform::ui::View mainWindowContent(AppStore& store);
    static bool showsOnboarding(bool hasCompletedOnboarding, bool uiTesting);

    // Once per launch: the main window's content was created and shown (a
    // restore from minimised or a re-show is not an appearance).
    void mainWindowAppeared();
    void startAfterAppear();
    // "--scan-on-launch", once per launch: when the window first appears, or
    // right after a start in the background.
    void scanOnLaunch();

private:
    std::unique_ptr<platform::Window> makeMainWindow();
    void addCommands(platform::Window& window);
    void applyWindowSizeOption();
    void applyPresentOption();
    void quit();
    void stopEngineWork();

    LaunchArguments arguments_;
    std::function<void()> terminate_;
    std::unique_ptr<platform::SingleInstance> instance_;
    std::unique_ptr<AppDelegate> appDelegate_;
    AppStore& store_;
    QMetaObject::Connection activeConnection_;
    platform::Subscription sectionWatch_;
    bool appeared_ = false;
    bool scannedOnLaunch_ = false;
};

}  // namespace tidewell
