#include "desktop/ApplicationMenu.h"

#include <QAction>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>
#include <map>
#include <memory>

namespace platform {

namespace {
struct Entry {
    QAction* action;
    std::function<bool()> enabled;
    bool followsState;  // its state is published: it shows it at all times
};
using Entries = std::vector<Entry>;
}

std::vector<std::string> withMnemonics(const std::vector<std::string>& titles)
{
    std::vector<std::string> marked;
    QString taken;
    for (const std::string& title : titles) {
        const QString text = QString::fromStdString(title);
        int at = -1;
        for (bool wordStartsOnly : {true, false}) {
            for (int i = 0; i < text.size() && at < 0; ++i) {
                const bool wordStart = i == 0 || !text[i - 1].isLetterOrNumber();
                if (text[i].isLetter() && (wordStart || !wordStartsOnly) && !taken.contains(text[i].toLower())) at = i;
            }
            if (at >= 0) break;
        }
        QString result;
        for (int i = 0; i < text.size(); ++i) {
            if (i == at) result += QLatin1Char('&');
            result += text[i];
            if (text[i] == QLatin1Char('&')) result += QLatin1Char('&');
        }
        if (at >= 0) taken += text[at].toLower();
        marked.push_back(result.toStdString());
    }
    return marked;
}

void installApplicationMenu(Window& window, std::vector<MenuCommand> commands)
{
    // Alt+letter for the menus, and for the entries within each menu.
    std::vector<std::string> menuTitles;
    std::map<std::string, std::vector<std::string>> entryTitles;
    for (const MenuCommand& c : commands) {
        if (std::find(menuTitles.begin(), menuTitles.end(), c.menu) == menuTitles.end()) menuTitles.push_back(c.menu);
        entryTitles[c.menu].push_back(c.command.title);
    }
    const std::vector<std::string> markedMenus = withMnemonics(menuTitles);
    std::map<std::string, std::vector<std::string>> markedEntries;
    for (auto& [menu, titles] : entryTitles) markedEntries[menu] = withMnemonics(titles);
    std::map<std::string, size_t> nextEntry;

    QWidget* top = window.widget();
    if (!top) return;
    if (auto* old = top->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly)) delete old;
    auto* bar = new QMenuBar(top);
    if (top->layout()) top->layout()->setMenuBar(bar);
    std::map<std::string, std::pair<QMenu*, std::shared_ptr<Entries>>> menus;
    for (MenuCommand& c : commands) {
        auto& [menu, entries] = menus[c.menu];
        if (!menu) {
            const size_t index = size_t(std::find(menuTitles.begin(), menuTitles.end(), c.menu) - menuTitles.begin());
            menu = bar->addMenu(QString::fromStdString(markedMenus[index]));
            entries = std::make_shared<Entries>();
            // Entries show whether they can run now; out of the menu they stay
            // enabled so a shortcut always reaches the check made on
            // triggering, unless their state is published and shown throughout.
            QObject::connect(menu, &QMenu::aboutToShow, menu, [entries] {
                for (auto& e : *entries) e.action->setEnabled(!e.enabled || e.enabled());
            });
            QObject::connect(menu, &QMenu::aboutToHide, menu, [entries] {
                for (auto& e : *entries)
                    if (!e.followsState) e.action->setEnabled(true);
            });
        }
        auto* action = new QAction(QString::fromStdString(markedEntries[c.menu][nextEntry[c.menu]++]), menu);
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
        const bool followsState = enabled && c.command.enabledChanges;
        if (followsState) {
            action->setEnabled(enabled());
            auto watch = std::make_shared<Subscription>(c.command.enabledChanges([action, enabled] { action->setEnabled(enabled()); }));
            // Kept as long as the entry is.
            QObject::connect(action, &QObject::destroyed, [watch] { watch->cancel(); });
        }
        entries->push_back({action, enabled, followsState});
    }
    // The bar takes the window's colours; its menus, windows of their own, are given them.
    if (const auto& palette = window.titlebarPalette())
        for (QMenu* menu : bar->findChildren<QMenu*>()) menu->setPalette(*palette);
}

}  // namespace platform
