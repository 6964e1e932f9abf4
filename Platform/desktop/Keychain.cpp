#include "desktop/Keychain.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <atomic>

#include "runtime/MainActor.h"

namespace platform {
namespace {

std::atomic<Keychain*> installedKeychain{nullptr};

const QString kSecretService = QStringLiteral("org.freedesktop.secrets");

}  // namespace

Keychain& Keychain::shared() {
    static SecretServiceKeychain desktop;
    Keychain* installed = installedKeychain.load();
    return installed != nullptr ? *installed : desktop;
}

void Keychain::setShared(Keychain* keychain) { installedKeychain.store(keychain); }

// --- In memory ----------------------------------------------------------------------

void MemoryKeychain::answer(std::function<void()> call) {
    if (!answers) {
        waiting_.push_back(std::move(call));
        return;
    }
    postToMain([alive = std::weak_ptr<bool>(alive_), call = std::move(call)] {
        if (!alive.expired()) call();
    });
}

void MemoryKeychain::read(const KeychainItem& item, ReadDone done) {
    answer([this, item, done = std::move(done)] {
        const auto it = items.find(item);
        if (!done) return;
        if (locked) done({std::nullopt, true});
        else done({it == items.end() ? std::nullopt : std::optional(it->second), false});
    });
}

void MemoryKeychain::write(const KeychainItem& item, const std::string& secret, Done done) {
    answer([this, item, secret, done = std::move(done)] {
        if (!failWrites) items[item] = secret;
        if (done) done(!failWrites);
    });
}

void MemoryKeychain::remove(const KeychainItem& item, Done done) {
    answer([this, item, done = std::move(done)] {
        items.erase(item);
        if (done) done(true);
    });
}

// --- The Secret Service ---------------------------------------------------------------

struct SecretServiceKeychain::Call {
    enum class Kind { read, write, remove } kind;
    KeychainItem item;
    std::string secret;
    ReadDone readDone;
    Done done;
    QKeychain::Job* job = nullptr;
    QTimer* deadline = nullptr;
};

SecretServiceKeychain::SecretServiceKeychain(std::chrono::milliseconds timeout) : timeout_(timeout) {}

SecretServiceKeychain::~SecretServiceKeychain() {
    // A job still out is deleted when the service answers it.
    for (auto& call : queue_) delete call->deadline;
}

bool SecretServiceKeychain::serviceAvailable() const {
    if (!available_) {
        // A connection of its own, made now: the bus named by the environment
        // at this moment is the one libsecret will speak to. Only the bus
        // itself is asked, never the service, so this cannot wait for a prompt.
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

void SecretServiceKeychain::read(const KeychainItem& item, ReadDone done) {
    if (!serviceAvailable()) return memory_.read(item, std::move(done));
    enqueue(std::unique_ptr<Call>(new Call{Call::Kind::read, item, {}, std::move(done), nullptr}));
}

void SecretServiceKeychain::write(const KeychainItem& item, const std::string& secret, Done done) {
    if (!serviceAvailable()) return memory_.write(item, secret, std::move(done));
    enqueue(std::unique_ptr<Call>(new Call{Call::Kind::write, item, secret, nullptr, std::move(done)}));
}

void SecretServiceKeychain::remove(const KeychainItem& item, Done done) {
    memory_.remove(item);
    if (!serviceAvailable()) {
        postToMain([done = std::move(done)] {
            if (done) done(true);
        });
        return;
    }
    enqueue(std::unique_ptr<Call>(new Call{Call::Kind::remove, item, {}, nullptr, std::move(done)}));
}

void SecretServiceKeychain::enqueue(std::unique_ptr<Call> call) {
    queue_.push_back(std::move(call));
    // Started from the main loop, so even the first answer comes after the caller has returned.
    if (!running_) {
        running_ = true;
        postToMain([this, alive = std::weak_ptr<bool>(alive_)] {
            if (!alive.expired()) startNext();
        });
    }
}

void SecretServiceKeychain::startNext() {
    if (queue_.empty()) {
        running_ = false;
        return;
    }
    Call& call = *queue_.front();
    const QString service = QString::fromStdString(call.item.service);
    QKeychain::Job* job = nullptr;
    switch (call.kind) {
        case Call::Kind::read: job = new QKeychain::ReadPasswordJob(service); break;
        case Call::Kind::write: {
            auto* write = new QKeychain::WritePasswordJob(service);
            // The service replaces an item with the same attributes in one
            // step, so nothing is deleted first: a failed write keeps the old secret.
            write->setTextData(QString::fromStdString(call.secret));
            job = write;
            break;
        }
        case Call::Kind::remove: job = new QKeychain::DeletePasswordJob(service); break;
    }
    call.job = job;
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    job->setKey(QString::fromStdString(call.item.account));
    QObject::connect(job, &QKeychain::Job::finished, job, [this, alive = std::weak_ptr<bool>(alive_), job] {
        if (alive.expired() || queue_.empty() || queue_.front()->job != job) {
            job->deleteLater();  // answered after its time-out: nobody waits any more
            return;
        }
        finish(job->error());
    });
    call.deadline = new QTimer();
    call.deadline->setSingleShot(true);
    QObject::connect(call.deadline, &QTimer::timeout, call.deadline, [this, alive = std::weak_ptr<bool>(alive_), job] {
        if (alive.expired() || queue_.empty() || queue_.front()->job != job) return;
        finish(-1);
    });
    call.deadline->start(int(timeout_.count()));
    job->start();
}

void SecretServiceKeychain::askWhetherLocked(const KeychainItem& item, std::function<void(bool)> answer) {
    // SearchItems sorts the matching items into unlocked and locked ones and
    // never prompts. The attributes are those the items are written with.
    static const QMetaType registered = qDBusRegisterMetaType<QMap<QString, QString>>();
    (void)registered;
    const QString name = QStringLiteral("keychain-search-%1-%2").arg(quintptr(this)).arg(++searches_);
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    QDBusConnection bus = address.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
                                            : QDBusConnection::connectToBus(address, name);
    QDBusMessage search = QDBusMessage::createMethodCall(kSecretService, QStringLiteral("/org/freedesktop/secrets"),
                                                         QStringLiteral("org.freedesktop.Secret.Service"),
                                                         QStringLiteral("SearchItems"));
    const QMap<QString, QString> attributes{{QStringLiteral("server"), QString::fromStdString(item.service)},
                                            {QStringLiteral("user"), QString::fromStdString(item.account)}};
    search << QVariant::fromValue(attributes);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(search, int(timeout_.count())));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, name, answer = std::move(answer)] {
        const QDBusPendingReply<QList<QDBusObjectPath>, QList<QDBusObjectPath>> reply = *watcher;
        const bool locked = reply.isValid() && !reply.argumentAt<1>().isEmpty();
        watcher->deleteLater();
        QDBusConnection::disconnectFromBus(name);
        answer(locked);
    });
}

void SecretServiceKeychain::finish(int error) {
    std::unique_ptr<Call> done = std::move(queue_.front());
    queue_.pop_front();
    done->deadline->deleteLater();
    const bool answered = error >= 0;
    // A job that timed out is deleted when the service answers it at last.
    if (answered) done->job->deleteLater();
    switch (done->kind) {
        case Call::Kind::read: {
            if (answered && error == QKeychain::NoError) {
                const auto secret = static_cast<QKeychain::ReadPasswordJob*>(done->job)->textData().toStdString();
                if (done->readDone) done->readDone({secret, false});
            } else if (!answered || error == QKeychain::AccessDenied) {
                // Left unanswered: an unlock prompt nobody answered in time.
                if (done->readDone) done->readDone({std::nullopt, true});
            } else {
                // A cancelled unlock prompt reads as a missing item: whether it
                // is one is asked before the next call starts.
                auto readDone = std::move(done->readDone);
                askWhetherLocked(done->item, [this, alive = std::weak_ptr<bool>(alive_), readDone](bool locked) {
                    if (alive.expired()) return;
                    if (readDone) readDone({std::nullopt, locked});
                    startNext();
                });
                return;
            }
            break;
        }
        case Call::Kind::write:
            if (answered && error == QKeychain::NoBackendAvailable) {
                available_ = false;
                memory_.write(done->item, done->secret, done->done);
            } else if (done->done) {
                done->done(answered && error == QKeychain::NoError);
            }
            break;
        case Call::Kind::remove:
            if (done->done) done->done(answered && (error == QKeychain::NoError || error == QKeychain::EntryNotFound));
            break;
    }
    startNext();
}

}  // namespace platform
