#include "ui/Menu.h"

#include "ui/Button.h"
#include "ui/Image.h"
#include "ui/Modifiers.h"
#include "ui/Text.h"
#include "ui/ViewHost.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>

namespace platform::ui {

namespace {

MenuPresenter& presenter()
{
    static MenuPresenter p;
    return p;
}

void fill(QMenu* menu, const std::vector<MenuItem>& items)
{
    for (const MenuItem& item : items) {
        if (item.separator) {
            menu->addSeparator();
            continue;
        }
        if (!item.submenu.empty()) {
            QMenu* sub = menu->addMenu(QString::fromStdString(item.title));
            sub->setEnabled(item.enabled);
            fill(sub, item.submenu);
            continue;
        }
        QAction* a = menu->addAction(QString::fromStdString(item.title));
        a->setEnabled(item.enabled);
        if (item.checked) {
            a->setCheckable(true);
            a->setChecked(true);
        }
        if (!item.shortcut.empty()) a->setShortcut(QKeySequence(QString::fromStdString(item.shortcut)));
        auto action = item.action;
        QObject::connect(a, &QAction::triggered, a, [action] {
            if (action) action();
        });
    }
}

void desktopMenu(const std::vector<MenuItem>& items)
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    // Not modal: the view's handler returns at once and the host keeps drawing.
    auto* menu = new QMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    fill(menu, items);
    menu->popup(QCursor::pos());
}

class ContextMenuNode final : public ModifierNode {
public:
    ContextMenuNode(View content, std::vector<MenuItem> items) : ModifierNode(std::move(content)), items_(std::move(items)) {}
    const std::vector<MenuItem>& items() const { return items_; }

private:
    std::vector<MenuItem> items_;
};

}  // namespace

void setMenuPresenter(MenuPresenter p) { presenter() = std::move(p); }

void presentMenu(const std::vector<MenuItem>& items)
{
    if (presenter()) presenter()(items);
    else desktopMenu(items);
}

View Menu(View label, std::vector<MenuItem> items)
{
    View face = HStack(VerticalAlignment::center, 4, {label, Image::systemName("chevron.up.chevron.down").font(Font::caption2())});
    return Button(face, [items] { presentMenu(items); }).modifier(buttonStyle(borderlessButtonStyle()));
}

View Menu(std::string title, std::vector<MenuItem> items) { return Menu(Text(std::move(title)), std::move(items)); }

std::function<View(const View&)> contextMenu(std::vector<MenuItem> items)
{
    return [items](const View& v) { return View(detail::makeNode<ContextMenuNode>(v, items)); };
}

bool showContextMenu(ViewHost& host, Point p)
{
    host.flush();
    for (const Element* e = host.hitTest(p); e; e = e->parent)
        if (auto* n = dynamic_cast<const ContextMenuNode*>(e->node.get())) {
            presentMenu(n->items());
            return true;
        }
    return false;
}

}  // namespace platform::ui
