#pragma once
// A D-Bus session bus of the test's own (dbus-daemon --session), so services
// can be started and spoken to without touching the user's session.

#include <QDBusConnection>
#include <QProcess>
#include <QString>

#include <string>

namespace testing_support {

class PrivateSessionBus {
public:
    PrivateSessionBus() {
        daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                      QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(5000)) return;
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
        }
        address_ = daemon_.readLine().trimmed().toStdString();
    }
    ~PrivateSessionBus() {
        daemon_.terminate();
        daemon_.waitForFinished(3000);
    }
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    bool isRunning() const { return !address_.empty(); }
    const std::string& address() const { return address_; }
    // A connection of its own (each name is one client of the bus).
    QDBusConnection connect(const QString& name) const {
        return QDBusConnection::connectToBus(QString::fromStdString(address_), name);
    }

private:
    QProcess daemon_;
    std::string address_;
};

}  // namespace testing_support
