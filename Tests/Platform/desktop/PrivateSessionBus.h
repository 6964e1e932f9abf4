#pragma once
// A D-Bus session bus of the test's own, so services can be started and
// spoken to without touching the user's session. Nothing is activated on it:
// a service is there only when the test starts it.

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QTemporaryFile>

#include <string>

namespace testing_support {

class PrivateSessionBus {
public:
    PrivateSessionBus() {
        if (!config_.open()) return;
        config_.write(R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy>
</busconfig>)");
        config_.flush();
        daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config_.fileName(),
                                                      QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(60000)) return;
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(60000)) continue;
        address_ = daemon_.readLine().trimmed().toStdString();
    }
    ~PrivateSessionBus() {
        daemon_.terminate();
        if (!daemon_.waitForFinished(60000)) daemon_.kill();
        daemon_.waitForFinished();
    }
    bool isRunning() const { return !address_.empty(); }
    const std::string& address() const { return address_; }
    // A connection of its own (each name is one client of the bus).
    QDBusConnection connect(const QString& name) const {
        return QDBusConnection::connectToBus(QString::fromStdString(address_), name);
    }

private:
    QTemporaryFile config_;
    QProcess daemon_;
    std::string address_;
};

}  // namespace testing_support
