#pragma once

#include <QMetaObject>

#include <memory>

#include "core/AppStore.h"
#include "shell/AppDelegate.h"
#include "shell/LaunchOptions.h"
#include "ui/View.h"

namespace platform {
class SingleInstance;
class Window;
}

namespace tidewell {

// The application: the one store, the delegate, the main window scene
// ("main", "Tidewell", 1180 × 760, at least 900 × 600) with its commands,
// the settings scene, the onboarding gate and the launch options.
class TidewellApp {
public:
    TidewellApp();
    ~TidewellApp();

    // Registers the scenes, starts the delegate and runs until the application quits.
    int run();

    AppStore& store() { return store_; }
    AppDelegate& delegate() { return *delegate_; }

    // Onboarding until it is complete (never under "--ui-testing"), then the root view.
    static platform::ui::View mainWindowContent(AppStore& store);
    static bool showsOnboarding(bool hasCompletedOnboarding, bool uiTesting);

    void mainWindowAppeared();
    void startAfterAppear();

private:
    std::unique_ptr<platform::Window> makeMainWindow();
    void addCommands(platform::Window& window);
    void applyWindowSizeOption();
    void applyPresentOption();
    void quit();
    void stopEngineWork();

    LaunchArguments arguments_;
    std::unique_ptr<platform::SingleInstance> instance_;
    std::unique_ptr<AppDelegate> delegate_;
    AppStore& store_;
    QMetaObject::Connection activeConnection_;
};

}  // namespace tidewell
