#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/AppStore.h"
#include "runtime/Signal.h"
#include "ui/View.h"

namespace platform {
class StatusItem;
class RepeatingTimer;
}  // namespace platform

namespace tidewell {

// The tray icon for the whole run: the logo when idle; while a scan runs the
// elapsed time and the projects found beside it (drawn into the icon, as a
// tray shows no text) and in the tooltip, refreshed every second. A click
// opens the tray widget in a popover near the icon.
class MenuBarStatusItem {
public:
    explicit MenuBarStatusItem(AppStore& store);
    ~MenuBarStatusItem();

    void toggle();
    void updateScanState(bool scanning);
    void scanningTitle();

    // Whether a tray shows the icon now (without one a background start
    // minimises the main window instead of hiding it).
    bool trayAvailable() const;
    platform::StatusItem& item() { return *item_; }
    const platform::RepeatingTimer* scanTicker() const { return scanTicker_.get(); }
    // The subscription to the store's scanning flag, held for the item's life.
    const platform::Subscription& scanObserver() const { return scanObserver_; }

private:
    AppStore& store_;
    std::unique_ptr<platform::StatusItem> item_;
    std::unique_ptr<platform::RepeatingTimer> scanTicker_;
    platform::Subscription scanObserver_;
    std::optional<bool> delivered_;  // the last scanning value acted on
    std::shared_ptr<MenuBarStatusItem*> self_;  // what posted work reaches us through
};

// The popover's content: the tray widget on the window surface, rounded (the
// popup window itself is transparent).
platform::ui::View menuBarPopoverContent(AppStore& store, std::function<void()> onClose);

// " 1:05 · 12": the elapsed time and the projects found.
std::string menuBarScanningTitle(const ScanSnapshot& scan);
// "Tidewell is scanning · 12 projects found" (the plural for every count).
std::string menuBarScanningToolTip(std::int64_t projectsFound);

}  // namespace tidewell
