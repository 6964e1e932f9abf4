// A Secret Service that takes every call and answers none, as a locked
// keyring does while its unlock prompt waits for someone who never comes.
// Owns org.freedesktop.secrets on the session bus of its environment, prints
// "ready" once it does, and runs until it is stopped.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusVirtualObject>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

class Silence final : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }  // taken, never answered
};

}  // namespace

int main(int argc, char** argv) {
    // Ends with whoever started it: a test or journey that dies must not leave
    // it holding the test runner's output open.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() == 1) return 1;
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    Silence silence;
    if (!bus.registerVirtualObject(QStringLiteral("/"), &silence, QDBusConnection::SubPath) ||
        !bus.registerService(QStringLiteral("org.freedesktop.secrets"))) {
        std::fprintf(stderr, "silent_secret_service: could not take org.freedesktop.secrets\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
