#include "desktop/Keychain.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>

#include <qt6keychain/keychain.h>

#include <atomic>

namespace platform {
namespace {

std::atomic<Keychain*> installedKeychain{nullptr};

const QString kSecretService = QStringLiteral("org.freedesktop.secrets");

// Runs a job to its end while the main event loop keeps serving.
QKeychain::Error run(QKeychain::Job& job, const KeychainItem& item) {
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    job.setKey(QString::fromStdString(item.account));
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
    return job.error();
}

}  // namespace

Keychain& Keychain::shared() {
    static SecretServiceKeychain desktop;
    Keychain* installed = installedKeychain.load();
    return installed != nullptr ? *installed : desktop;
}

void Keychain::setShared(Keychain* keychain) { installedKeychain.store(keychain); }

bool SecretServiceKeychain::serviceAvailable() const {
    if (!available_) {
        // A connection of its own, made now: the bus named by the environment
        // at this moment is the one libsecret will speak to.
        const QString name = QStringLiteral("keychain-probe-%1").arg(quintptr(this));
        const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        const QDBusConnection bus = address.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
                                                      : QDBusConnection::connectToBus(address, name);
        bool found = false;
        if (bus.isConnected() && bus.interface() != nullptr) {
            const auto registered = bus.interface()->isServiceRegistered(kSecretService);
            const auto activatable = bus.interface()->activatableServiceNames();
            found = (registered.isValid() && registered.value()) ||
                    (activatable.isValid() && activatable.value().contains(kSecretService));
        }
        QDBusConnection::disconnectFromBus(name);
        available_ = found;
    }
    return *available_;
}

bool SecretServiceKeychain::isPersistent() const { return serviceAvailable(); }

std::optional<std::string> SecretServiceKeychain::read(const KeychainItem& item) {
    if (!serviceAvailable()) return memory_.read(item);
    QKeychain::ReadPasswordJob job(QString::fromStdString(item.service));
    if (run(job, item) != QKeychain::NoError) return std::nullopt;
    return job.textData().toStdString();
}

bool SecretServiceKeychain::write(const KeychainItem& item, const std::string& secret) {
    if (!serviceAvailable()) return memory_.write(item, secret);
    // The service replaces an item with the same attributes in one step, so
    // nothing is deleted first: a failed write keeps the old secret.
    QKeychain::WritePasswordJob job(QString::fromStdString(item.service));
    job.setTextData(QString::fromStdString(secret));
    const QKeychain::Error error = run(job, item);
    if (error == QKeychain::NoBackendAvailable) {
        available_ = false;
        return memory_.write(item, secret);
    }
    return error == QKeychain::NoError;
}

bool SecretServiceKeychain::remove(const KeychainItem& item) {
    memory_.remove(item);
    if (!serviceAvailable()) return true;
    QKeychain::DeletePasswordJob job(QString::fromStdString(item.service));
    const QKeychain::Error error = run(job, item);
    return error == QKeychain::NoError || error == QKeychain::EntryNotFound;
}

}  // namespace platform
