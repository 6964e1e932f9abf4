#include "ui/HostAccessibility.h"

#include "ui/HostWidget.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QWindow>
#include <map>
#include <memory>

namespace platform::ui {

namespace {

class HostAccessible;

// One element of a snapshot of the host's tree. The snapshot is shared, so
// an interface Qt still holds stays valid after the tree changed.
class NodeAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    NodeAccessible(HostAccessible* host, std::shared_ptr<const AccessibilityNodeInfo> snapshot,
                   const AccessibilityNodeInfo* node, QAccessibleInterface* parent, unsigned generation)
        : host_(host), snapshot_(std::move(snapshot)), node_(node), parent_(parent), generation_(generation) {}

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* parent() const override { return parent_; }
    QAccessibleInterface* child(int index) const override;
    int childCount() const override { return int(node_->children.size()); }
    int indexOfChild(const QAccessibleInterface* child) const override;
    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name: return QString::fromStdString(node_->label);
        case QAccessible::Description: return QString::fromStdString(node_->hint);
        case QAccessible::Value: return QString::fromStdString(node_->value);
        case QAccessible::Help: return QString::fromStdString(node_->identifier);
        default: return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override
    {
        if (node_->hasTrait(AccessibilityTrait::header)) return QAccessible::Heading;
        if (node_->hasTrait(AccessibilityTrait::button)) return QAccessible::Button;
        if (node_->hasTrait(AccessibilityTrait::image)) return QAccessible::Graphic;
        if (node_->isContainer) return QAccessible::Grouping;
        if (node_->hasTrait(AccessibilityTrait::staticText)) return QAccessible::StaticText;
        return QAccessible::Client;
    }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.selected = node_->hasTrait(AccessibilityTrait::selected);
        s.selectable = s.selected;
        s.modal = node_->hasTrait(AccessibilityTrait::isModal);
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::ActionInterface && !node_->actions.empty())
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }
    // Named actions.
    QStringList actionNames() const override
    {
        QStringList names;
        for (const auto& a : node_->actions) names << QString::fromStdString(a.first);
        return names;
    }
    void doAction(const QString& name) override
    {
        if (!isValid()) return;
        for (const auto& a : node_->actions)
            if (QString::fromStdString(a.first) == name && a.second) {
                a.second();
                return;
            }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    HostAccessible* host_;
    std::shared_ptr<const AccessibilityNodeInfo> snapshot_;
    const AccessibilityNodeInfo* node_;
    QAccessibleInterface* parent_;
    unsigned generation_;
};

class HostAccessible final : public QAccessibleWidget {
public:
    explicit HostAccessible(HostWidget* w) : QAccessibleWidget(w, QAccessible::Client), widget_(w) {}
    ~HostAccessible() override
    {
        forget(stale_);
        forget(ids_);
    }

    int childCount() const override { return int(snapshot()->children.size()); }
    QAccessibleInterface* child(int index) const override
    {
        const auto& s = snapshot();
        if (index < 0 || index >= int(s->children.size())) return nullptr;
        return interfaceFor(&s->children[size_t(index)], const_cast<HostAccessible*>(this));
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (this->child(i) == child) return i;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int i = childCount() - 1; i >= 0; --i)
            if (auto* c = child(i); c && c->rect().contains(x, y)) return c;
        return nullptr;
    }

    // The interface of a snapshot node, made and registered once per snapshot.
    QAccessibleInterface* interfaceFor(const AccessibilityNodeInfo* node, QAccessibleInterface* parent) const
    {
        auto it = ids_.find(node);
        if (it != ids_.end())
            return QAccessible::accessibleInterface(it->second);
        auto* iface = new NodeAccessible(const_cast<HostAccessible*>(this), snapshot_, node, parent, snapshotNumber_);
        ids_[node] = QAccessible::registerAccessibleInterface(iface);
        return iface;
    }

    const std::shared_ptr<const AccessibilityNodeInfo>& snapshot() const
    {
        if (!widget_) {
            static const auto empty = std::make_shared<const AccessibilityNodeInfo>();
            return empty;
        }
        ViewHost& host = widget_->host();
        if (!snapshot_ || generation_ != host.rebuildCount() || laidOutSize_ != host.size()) {
            // Interfaces of the last tree stay alive (and invalid) for one more
            // change, so a client holding one can still ask whether it is valid.
            forget(stale_);
            stale_ = std::move(ids_);
            ids_.clear();
            ++snapshotNumber_;
            host.flush();
            snapshot_ = std::make_shared<const AccessibilityNodeInfo>(host.accessibilityTree());
            generation_ = host.rebuildCount();
            laidOutSize_ = host.size();
        }
        return snapshot_;
    }

    HostWidget* hostWidget() const { return widget_; }
    // Whether the tree an interface was made from is still the one on screen.
    bool current(unsigned snapshotNumber) const
    {
        if (!widget_ || snapshotNumber != snapshotNumber_) return false;
        ViewHost& host = widget_->host();
        return !host.needsRebuild() && generation_ == host.rebuildCount() && laidOutSize_ == host.size();
    }

private:
    using Ids = std::map<const AccessibilityNodeInfo*, QAccessible::Id>;
    static void forget(Ids& ids)
    {
        for (auto& [node, id] : ids) QAccessible::deleteAccessibleInterface(id);
        ids.clear();
    }

    QPointer<HostWidget> widget_;
    mutable std::shared_ptr<const AccessibilityNodeInfo> snapshot_;
    mutable unsigned generation_ = 0;
    mutable Size laidOutSize_;
    mutable unsigned snapshotNumber_ = 0;
    mutable Ids ids_;
    mutable Ids stale_;
};

bool NodeAccessible::isValid() const { return host_ && host_->current(generation_); }

QWindow* NodeAccessible::window() const
{
    return host_ && host_->hostWidget() ? host_->hostWidget()->window()->windowHandle() : nullptr;
}

QAccessibleInterface* NodeAccessible::child(int index) const
{
    if (index < 0 || index >= childCount()) return nullptr;
    return host_->interfaceFor(&node_->children[size_t(index)], const_cast<NodeAccessible*>(this));
}

int NodeAccessible::indexOfChild(const QAccessibleInterface* c) const
{
    for (int i = 0; i < childCount(); ++i)
        if (child(i) == c) return i;
    return -1;
}

QAccessibleInterface* NodeAccessible::childAt(int x, int y) const
{
    for (int i = childCount() - 1; i >= 0; --i)
        if (auto* c = child(i); c && c->rect().contains(x, y)) return c;
    return nullptr;
}

QRect NodeAccessible::rect() const
{
    if (!host_ || !host_->hostWidget()) return {};
    const Rect f = node_->frame;
    const QPoint origin = host_->hostWidget()->mapToGlobal(QPoint(int(f.x), int(f.y)));
    return QRect(origin, QSize(int(std::ceil(f.width)), int(std::ceil(f.height))));
}

QAccessibleInterface* factory(const QString&, QObject* object)
{
    if (auto* w = dynamic_cast<HostWidget*>(object))
        return new HostAccessible(w);
    return nullptr;
}

}  // namespace

void installHostAccessibility()
{
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(factory);
}

}  // namespace platform::ui
