#pragma once

// The tray icon with its title and popover. The icon is the logo with the
// title drawn beside it (and the title as tooltip); a click toggles a
// frameless popup window of the view layer near the icon, or near the
// pointer when the tray doesn't say where its icon is. A tray that appears
// after start-up (a login start often comes first) gets the icon then.

#include "desktop/Window.h"

#include <QImage>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace platform {

class StatusItem {
public:
    StatusItem();
    ~StatusItem();

    void setImage(const QImage& logo);
    void setTitle(std::string title);
    const std::string& title() const { return title_; }
    void setToolTip(std::string toolTip);
    const std::string& toolTip() const { return toolTip_; }
    // The popover's content; it is sized by the content's ideal size.
    void setPopoverContent(std::function<ui::View()> content);

    // The menu of a secondary click on the icon: titles (with "&" before
    // their mnemonic letter) and actions, in order.
    void setMenu(std::vector<std::pair<std::string, std::function<void()>>> entries);
    QMenu* menu() const { return menu_; }

    void togglePopover();
    void showPopover();
    void closePopover();
    bool isPopoverShown() const;
    Window& popover() { return *popover_; }

    bool isTrayAvailable() const;
    // The icon as it is shown (logo and title).
    QImage iconImage() const;

private:
    void refreshIcon();
    void ensureTray();

    std::string title_;
    std::string toolTip_ = "Tidewell";
    QImage logo_;
    bool justClosed_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // the popup closed on the press that is now reaching the icon
    std::unique_ptr<Window> popover_;
    std::function<ui::View()> content_;
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* menu_ = nullptr;
    QTimer* trayWatch_ = nullptr;
};

// The logo with `title` drawn to its right on a dark plate, `height` pixels
// high (pure); digits take equal cells, so the width holds while they change.
QImage composeStatusIcon(const QImage& logo, const std::string& title, int height);

// Where a popup of `size` goes under an icon at `anchor`, inside `screen` (pure).
ui::Point popupOrigin(ui::Rect anchor, ui::Size size, ui::Rect screen);

}  // namespace platform
