#pragma once

// Menus: a pull-down from a label and a context menu on a view. The menu
// itself is the desktop's (a Qt menu at the pointer); tests install a
// presenter that records the items and picks one.

#include "ui/View.h"

#include <functional>
#include <string>
#include <vector>

namespace platform::ui {

class ViewHost;

struct MenuItem {
    std::string title;
    std::function<void()> action;
    bool enabled = true;
    bool checked = false;
    std::string shortcut;  // shown text, e.g. "Ctrl+R"
    std::vector<MenuItem> submenu;
    bool separator = false;

    static MenuItem divider()
    {
        MenuItem m;
        m.separator = true;
        return m;
    }
};

// Shows `items`; the presenter runs the chosen item's action (later is fine).
using MenuPresenter = std::function<void(const std::vector<MenuItem>& items)>;
void setMenuPresenter(MenuPresenter presenter);  // nullptr restores the desktop's
void presentMenu(const std::vector<MenuItem>& items);

// A borderless label with a chevron; a tap opens the items.
View Menu(View label, std::vector<MenuItem> items);
View Menu(std::string title, std::vector<MenuItem> items);

// The items open on a secondary click over the view.
std::function<View(const View&)> contextMenu(std::vector<MenuItem> items);

// Opens the context menu of the view at `p`; false when it has none.
bool showContextMenu(ViewHost& host, Point p);

}  // namespace platform::ui
