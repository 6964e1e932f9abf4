#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/AppStore.h"
#include "runtime/MainActor.h"
#include "runtime/Signal.h"
#include "ui/Geometry.h"

namespace platform {
class Window;
}

namespace tidewell {

// The floating card in the top-right corner that follows a scan started in
// the tray, and goes away 12 s after the scan ends. One for the run; its
// window is made on first show and reused.
class ScanWidgetPanel {
public:
    // Runs work after a delay in seconds on the main thread; tests pass one
    // that waits for their own clock.
    using Scheduler = std::function<platform::WorkItem(double seconds, std::function<void()> work)>;

    static constexpr double hideAfterScanSeconds = 12.0;

    explicit ScanWidgetPanel(AppStore& store, Scheduler schedule = {});
    ~ScanWidgetPanel();
    static ScanWidgetPanel& shared();

    void show();
    void hide(double seconds);
    void orderOutNow();
    void position();
    void scanStateChanged(bool scanning);

    bool isShown() const;
    platform::Window* window() const { return panel_.get(); }
    // The subscription to the store's scanning flag while the panel is up.
    const platform::Subscription& scanObserver() const { return scanObserver_; }
    // The pending hide; absent or cancelled when none is pending.
    const std::optional<platform::WorkItem>& hideWork() const { return hideWork_; }

private:
    AppStore& store_;
    Scheduler schedule_;
    std::unique_ptr<platform::Window> panel_;
    platform::Subscription scanObserver_;
    std::optional<platform::WorkItem> hideWork_;
    std::optional<bool> lastScanning_;
    std::shared_ptr<ScanWidgetPanel*> self_;
};

struct ScreenArea {
    platform::ui::Rect frame;
    platform::ui::Rect visibleFrame;
};

// Where the panel of `size` goes: 16 points in from the top-right corner of
// the visible area of the first screen holding the pointer, else of the
// first (main) screen; none without screens.
std::optional<platform::ui::Point> scanPanelOrigin(const std::vector<ScreenArea>& screens, platform::ui::Point pointer,
                                                   platform::ui::Size size);

}  // namespace tidewell
