#include "desktop/Keychain.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <utility>

#include <dlfcn.h>

#include "runtime/MainActor.h"
#include "runtime/Task.h"

namespace platform {
namespace {

std::atomic<Keychain*> installedKeychain{nullptr};

const QString kSecretService = QStringLiteral("org.freedesktop.secrets");

// libsecret keeps one connection to the service for the whole process, with a
// session opened on it. A service that restarted knows neither, and every call
// made on them fails until they are dropped; the next call connects afresh.
void dropStaleServiceConnection() {
    void* library = ::dlopen("libsecret-1.so.0", RTLD_LAZY | RTLD_NOLOAD);
    if (library == nullptr) return;
    using Disconnect = void (*)();
    if (auto disconnect = reinterpret_cast<Disconnect>(::dlsym(library, "secret_service_disconnect"))) disconnect();
    ::dlclose(library);
}

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
    std::uint64_t search = 0;  // the job found nothing; nonzero while the service is asked whether the keyring is locked
    bool serviceUnanswered = false;  // the bus said nothing in time about the service: this call goes to memory
    bool retried = false;            // tried once more after a stale connection was dropped
    bool failedOnTheBus = false;     // the job's error came from the connection, not from the service's answer
};

SecretServiceKeychain::SecretServiceKeychain(std::chrono::milliseconds timeout, std::chrono::milliseconds servicePatience)
    : timeout_(timeout), servicePatience_(servicePatience) {}

SecretServiceKeychain::~SecretServiceKeychain() {
    // A job still out is deleted when the service answers it.
    for (auto& call : queue_) delete call->deadline;
}

void SecretServiceKeychain::askWhetherServiceRuns() {
    if (std::exchange(askingService_, true)) return;  // one question at a time; its answer counts whenever it comes
    // A connection of its own, made now: the bus named by the environment at
    // this moment is the one libsecret will speak to. Only the bus itself is
    // asked, never the service, so no prompt can hold the answer; a bus that
    // holds it holds this task only.
    static std::atomic<std::uint64_t> probes{0};
    const QString name = QStringLiteral("keychain-probe-%1-%2").arg(quintptr(this)).arg(++probes);
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    detachTask(TaskPriority::userInitiated, [this, alive = std::weak_ptr<bool>(alive_), name, address] {
        bool found = false;
        {
            const QDBusConnection bus = address.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
                                                          : QDBusConnection::connectToBus(address, name);
            if (bus.isConnected() && bus.interface() != nullptr) {
                const auto registered = bus.interface()->isServiceRegistered(kSecretService);
                const auto activatable = bus.interface()->activatableServiceNames();
                found = (registered.isValid() && registered.value()) ||
                        (activatable.isValid() && activatable.value().contains(kSecretService));
            }
        }
        QDBusConnection::disconnectFromBus(name);
        postToMain([this, alive, found] {
            if (alive.expired()) return;
            askingService_ = false;
            available_ = found;
            if (std::exchange(serviceWait_, 0) != 0) startNext();
        });
    });
}

bool SecretServiceKeychain::isPersistent() const { return available_.value_or(false); }

void SecretServiceKeychain::read(const KeychainItem& item, ReadDone done) {
    enqueue(std::unique_ptr<Call>(new Call{Call::Kind::read, item, {}, std::move(done), nullptr}));
}

void SecretServiceKeychain::write(const KeychainItem& item, const std::string& secret, Done done) {
    enqueue(std::unique_ptr<Call>(new Call{Call::Kind::write, item, secret, nullptr, std::move(done)}));
}

void SecretServiceKeychain::remove(const KeychainItem& item, Done done) {
    memory_.remove(item);
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
    if (!available_ && !call.serviceUnanswered) {
        askWhetherServiceRuns();
        static std::atomic<std::uint64_t> waits{0};
        const std::uint64_t wait = serviceWait_ = ++waits;
        postToMainAfter(servicePatience_, [this, alive = std::weak_ptr<bool>(alive_), wait, waiting = &call] {
            if (alive.expired() || serviceWait_ != wait || queue_.empty() || queue_.front().get() != waiting) return;
            serviceWait_ = 0;
            waiting->serviceUnanswered = true;
            startNext();
        });
        return;
    }
    if (!available_.value_or(false)) return answerFromMemory();
    startJob(call);
}

void SecretServiceKeychain::answerFromMemory() {
    std::unique_ptr<Call> call = std::move(queue_.front());
    queue_.pop_front();
    // The memory answers on a later turn; the next call waits for it, so answers keep the calls' order.
    auto next = [this, alive = std::weak_ptr<bool>(alive_)] {
        if (!alive.expired()) startNext();
    };
    switch (call->kind) {
        case Call::Kind::read:
            memory_.read(call->item, [done = std::move(call->readDone), next](KeychainRead read) {
                if (done) done(std::move(read));
                next();
            });
            break;
        case Call::Kind::write:
            memory_.write(call->item, call->secret, [done = std::move(call->done), next](bool ok) {
                if (done) done(ok);
                next();
            });
            break;
        case Call::Kind::remove:
            memory_.remove(call->item, [done = std::move(call->done), next](bool ok) {
                if (done) done(ok);
                next();
            });
            break;
    }
}

void SecretServiceKeychain::startJob(Call& call) {
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
    // Runs on while the service is asked whether the keyring is locked: one deadline for the whole read.
    QObject::connect(call.deadline, &QTimer::timeout, call.deadline, [this, alive = std::weak_ptr<bool>(alive_), timed = &call] {
        if (alive.expired() || queue_.empty() || queue_.front().get() != timed) return;
        finish(-1);
    });
    call.deadline->start(int(timeout_.count()));
    job->start();
}

void SecretServiceKeychain::askWhetherLocked(Call& call) {
    // SearchItems sorts the matching items into unlocked and locked ones and
    // never prompts. The attributes are those the items are written with.
    // Connecting blocks until the bus answers, so the question is asked on a
    // thread of its own; the read's deadline still runs, and ends it as locked
    // when the service gives no answer in time.
    static const QMetaType registered = qDBusRegisterMetaType<QMap<QString, QString>>();
    (void)registered;
    static std::atomic<std::uint64_t> searches{0};
    call.search = ++searches;
    const QString name = QStringLiteral("keychain-search-%1-%2").arg(quintptr(this)).arg(call.search);
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    QDBusMessage search = QDBusMessage::createMethodCall(kSecretService, QStringLiteral("/org/freedesktop/secrets"),
                                                         QStringLiteral("org.freedesktop.Secret.Service"),
                                                         QStringLiteral("SearchItems"));
    const QMap<QString, QString> attributes{{QStringLiteral("server"), QString::fromStdString(call.item.service)},
                                            {QStringLiteral("user"), QString::fromStdString(call.item.account)}};
    search << QVariant::fromValue(attributes);
    const int patience = std::max(call.deadline->remainingTime(), 1);
    detachTask(TaskPriority::userInitiated, [this, alive = std::weak_ptr<bool>(alive_), asked = call.search, name, address, search, patience] {
        bool locked = false, held = false;
        {
            const QDBusConnection bus = address.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
                                                          : QDBusConnection::connectToBus(address, name);
            if (bus.isConnected()) {
                const QDBusPendingReply<QList<QDBusObjectPath>, QList<QDBusObjectPath>> reply(bus.call(search, QDBus::Block, patience));
                locked = reply.isValid() && !reply.argumentAt<1>().isEmpty();
                held = reply.isValid() && !reply.argumentAt<0>().isEmpty();
            }
        }
        QDBusConnection::disconnectFromBus(name);
        postToMain([this, alive, asked, locked, held] {
            // Answered after the deadline: the read was answered then.
            if (alive.expired() || queue_.empty() || queue_.front()->search != asked) return;
            Call& front = *queue_.front();
            if (!front.retried && (held || (locked && front.failedOnTheBus))) {
                // The item is there, yet was not handed over: open, or locked
                // with a failure of the connection rather than a dismissed
                // prompt. The connection is stale (the service restarted), so
                // it is dropped and the read tried once more, which may prompt.
                retryOnAFreshConnection(front);
                return;
            }
            auto done = std::move(queue_.front());
            queue_.pop_front();
            done->deadline->stop();
            done->deadline->deleteLater();
            // An item held but still not handed reads as locked, never as missing.
            if (done->readDone) done->readDone({std::nullopt, locked || held});
            startNext();
        });
    });
}

void SecretServiceKeychain::retryOnAFreshConnection(Call& call) {
    call.retried = true;
    call.search = 0;
    call.deadline->stop();
    call.deadline->deleteLater();
    call.deadline = nullptr;
    dropStaleServiceConnection();
    startJob(call);
}

void SecretServiceKeychain::finish(int error) {
    Call& call = *queue_.front();
    const bool answered = error >= 0;
    // A job that timed out is deleted when the service answers it at last.
    if (answered) call.job->deleteLater();
    if (answered && call.kind == Call::Kind::read && error != QKeychain::NoError && error != QKeychain::AccessDenied) {
        // A cancelled unlock prompt reads as a missing item: whether it is one
        // is asked before the next call starts, within the same deadline.
        call.failedOnTheBus = error == QKeychain::OtherError;
        askWhetherLocked(call);
        return;
    }
    if (answered && call.kind != Call::Kind::read && error == QKeychain::OtherError && !call.retried) {
        // Failed on the connection, not refused by the service: it may be stale.
        retryOnAFreshConnection(call);
        return;
    }
    std::unique_ptr<Call> done = std::move(queue_.front());
    queue_.pop_front();
    done->deadline->stop();
    done->deadline->deleteLater();
    switch (done->kind) {
        case Call::Kind::read:
            if (answered && error == QKeychain::NoError) {
                const auto secret = static_cast<QKeychain::ReadPasswordJob*>(done->job)->textData().toStdString();
                if (done->readDone) done->readDone({secret, false});
            } else if (done->readDone) {
                // Left unanswered (an unlock prompt nobody answered in time), or refused.
                done->readDone({std::nullopt, true});
            }
            break;
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
