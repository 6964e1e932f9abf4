#include "desktop/Notifications.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <atomic>

namespace platform {
namespace {

std::atomic<Notifier*> installedNotifier{nullptr};

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

}  // namespace

// Receives the server's signals (QtDBus delivers them to slots).
class NotificationListener : public QObject {
    Q_OBJECT
public:
    NotificationListener(DesktopNotifier* owner, const QDBusConnection& bus) : owner_(owner), bus_(bus) {
        bus_.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                     SLOT(actionInvoked(uint, QString)));
        bus_.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                     SLOT(notificationClosed(uint, uint)));
    }
    QDBusConnection& bus() { return bus_; }

public slots:
    void actionInvoked(uint id, const QString& action) { owner_->actionInvoked(id, action.toStdString()); }
    void notificationClosed(uint id, uint) { owner_->closed(id); }

private:
    DesktopNotifier* owner_;
    QDBusConnection bus_;
};

Notifier& Notifier::shared() {
    // Never torn down: its bus connection must not outlive the application object's end.
    static auto* desktop = new DesktopNotifier();
    Notifier* installed = installedNotifier.load();
    return installed != nullptr ? *installed : *desktop;
}

void Notifier::setShared(Notifier* notifier) { installedNotifier.store(notifier); }

DesktopNotifier::DesktopNotifier() : DesktopNotifier(QDBusConnection::sessionBus()) {}

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus)
    : listener_(std::make_unique<NotificationListener>(this, bus)) {}

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::post(const NotificationRequest& request) {
    QDBusConnection& bus = listener_->bus();
    if (!bus.isConnected()) {
        ++answered_;
        return;
    }
    unsigned replaces = 0;
    for (const auto& [id, identifier] : identifiers_)
        if (identifier == request.identifier) replaces = id;
    QVariantMap hints{{QStringLiteral("suppress-sound"), true}};
    if (qGuiApp != nullptr && !QGuiApplication::desktopFileName().isEmpty())
        hints.insert(QStringLiteral("desktop-entry"), QGuiApplication::desktopFileName());
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    call << QCoreApplication::applicationName() << replaces << QString()
         << QString::fromStdString(request.title) << QString::fromStdString(request.body)
         << QStringList{QStringLiteral("default"), QString()} << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), listener_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, listener_.get(),
                     [this, identifier = request.identifier](QDBusPendingCallWatcher* finished) {
                         QDBusPendingReply<uint> reply = *finished;
                         ++answered_;
                         if (!reply.isError()) identifiers_[reply.value()] = identifier;
                         finished->deleteLater();
                     });
}

void DesktopNotifier::actionInvoked(unsigned id, const std::string& action) {
    const auto it = identifiers_.find(id);
    if (it == identifiers_.end() || action != "default") return;
    activated(it->second);
}

void DesktopNotifier::closed(unsigned id) { identifiers_.erase(id); }

}  // namespace platform

#include "Notifications.moc"
