#include "desktop/ApplicationMenu.h"

#include <QAction>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>

#include <map>
#include <memory>

namespace platform {

namespace {
using Entries = std::vector<std::pair<QAction*, std::function<bool()>>>;
}

void installApplicationMenu(Window& window, std::vector<MenuCommand> commands)
{
    QWidget* top = window.widget();
    if (!top) return;
    if (auto* old = top->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly)) delete old;
    auto* bar = new QMenuBar(top);
    if (top->layout()) top->layout()->setMenuBar(bar);
    std::map<std::string, std::pair<QMenu*, std::shared_ptr<Entries>>> menus;
    for (MenuCommand& c : commands) {
        auto& [menu, entries] = menus[c.menu];
        if (!menu) {
            menu = bar->addMenu(QString::fromStdString(c.menu));
            entries = std::make_shared<Entries>();
            // Entries show whether they can run now; out of the menu they stay
            // enabled so a shortcut always reaches the check made on triggering.
            QObject::connect(menu, &QMenu::aboutToShow, menu, [entries] {
                for (auto& [action, enabled] : *entries) action->setEnabled(!enabled || enabled());
            });
            QObject::connect(menu, &QMenu::aboutToHide, menu, [entries] {
                for (auto& [action, enabled] : *entries) action->setEnabled(true);
            });
        }
        auto* action = new QAction(QString::fromStdString(c.command.title), menu);
        action->setShortcut(c.command.shortcut);
        // Every window of the application, not just the one holding the bar.
        action->setShortcutContext(Qt::ApplicationShortcut);
        auto run = c.command.action;
        auto enabled = c.command.enabled;
        QObject::connect(action, &QAction::triggered, action, [run, enabled] {
            if (enabled && !enabled()) return;
            if (run) run();
        });
        menu->addAction(action);
        entries->emplace_back(action, enabled);
    }
}

}  // namespace platform
