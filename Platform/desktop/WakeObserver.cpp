#include "desktop/WakeObserver.h"

#include "desktop/BusProbe.h"
#include "runtime/MainActor.h"
#include "runtime/Task.h"

#include <QDBusConnection>
#include <QObject>

namespace platform {

// Receives logind's signal on the system bus and hands it to the observer.
struct WakeObserver::Receiver : QObject {
    explicit Receiver(WakeObserver& owner) : owner(owner) {}
    WakeObserver& owner;
    bool listening = false;
};

}  // namespace platform

namespace {
class LogindSleepSignal : public QObject {
    Q_OBJECT
public:
    explicit LogindSleepSignal(platform::WakeObserver& owner, QObject* parent) : QObject(parent), owner_(owner) {}
public slots:
    void prepareForSleep(bool starting) { owner_.prepareForSleep(starting); }

private:
    platform::WakeObserver& owner_;
};
}  // namespace

namespace platform {

WakeObserver::WakeObserver(std::function<void()> onWake)
    : onWake_(std::move(onWake)), receiver_(std::make_unique<Receiver>(*this)) {
    // Qt waits for a silent bus without limit, on the one thread all its
    // connections share, so the system bus is looked at without Qt first, on a
    // task; only a bus that answered is listened to.
    detachTask(TaskPriority::utility, [alive = std::weak_ptr<bool>(alive_), this] {
        const bool answered = askBus(systemBusAddress(), std::chrono::seconds(3)) == BusAnswer::answered;
        if (!answered) return;
        postToMain([alive, this] {
            if (!alive.expired()) listen();
        });
    });
}

void WakeObserver::listen() {
    auto* slot = new LogindSleepSignal(*this, receiver_.get());
    auto bus = QDBusConnection::systemBus();
    // No system bus (a container, a test machine) is not an error: no wakes are heard.
    if (!bus.isConnected()) return;
    receiver_->listening = bus.connect("org.freedesktop.login1", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", "PrepareForSleep", slot,
                                       SLOT(prepareForSleep(bool)));
}

WakeObserver::~WakeObserver() {
    if (receiver_ && receiver_->listening) {
        auto bus = QDBusConnection::systemBus();
        for (auto* slot : receiver_->findChildren<QObject*>())
            bus.disconnect("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                           "PrepareForSleep", slot, SLOT(prepareForSleep(bool)));
    }
}

bool WakeObserver::isListening() const { return receiver_ && receiver_->listening; }

void WakeObserver::prepareForSleep(bool starting) {
    // logind sends true before sleeping and false after waking.
    if (!starting && onWake_) onWake_();
}

}  // namespace platform

#include "WakeObserver.moc"
