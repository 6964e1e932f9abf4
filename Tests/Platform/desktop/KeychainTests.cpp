#include <QDBusConnectionInterface>
#include <QProcess>

#include <gtest/gtest.h>

#include "Platform/foundation/TemporaryDirectory.h"
#include "PrivateSessionBus.h"
#include "desktop/Keychain.h"
#include "runtime/MainActor.h"

using platform::SecretServiceKeychain;

namespace {
const platform::KeychainItem session{"com.example.keychain-test", "session"};
}

TEST(SecretServiceKeychain, WithoutASecretServiceKeepsSecretsForThisRunOnly) {
    testing_support::PrivateSessionBus bus;
    if (!bus.isRunning()) GTEST_SKIP() << "dbus-daemon could not start";
    qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(bus.address()));
    SecretServiceKeychain keychain;
    EXPECT_FALSE(keychain.isPersistent());
    EXPECT_TRUE(keychain.write(session, "token") && keychain.read(session) == "token");
    EXPECT_TRUE(keychain.remove(session) && !keychain.read(session));
}

// gnome-keyring on a bus of the test's own, its login keyring unlocked with a
// test password, in a home folder of the test's own.
TEST(SecretServiceKeychain, StoresReplacesReadsAndDeletesInARealSecretService) {
    testing_support::PrivateSessionBus bus;
    testing_support::TemporaryDirectory home;
    if (!bus.isRunning()) GTEST_SKIP() << "dbus-daemon could not start";
    qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(bus.address()));
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) qputenv(name, QByteArray::fromStdString(home.path()));
    QProcess keyring;
    keyring.start("gnome-keyring-daemon", {"--foreground", "--components=secrets", "--unlock"});
    if (!keyring.waitForStarted(5000)) GTEST_SKIP() << "gnome-keyring-daemon is not installed";
    keyring.write("test-password");
    keyring.closeWriteChannel();
    QDBusConnection probe = bus.connect("probe");
    if (!platform::processMainEventsUntil([&] { return probe.interface()->isServiceRegistered("org.freedesktop.secrets").value(); },
                                          std::chrono::seconds(10)))
        GTEST_SKIP() << "gnome-keyring-daemon did not come up";

    SecretServiceKeychain keychain;
    EXPECT_TRUE(keychain.isPersistent());
    EXPECT_EQ(keychain.read(session), std::nullopt);
    EXPECT_TRUE(keychain.write(session, "first") && keychain.write(session, "second ✓"));
    EXPECT_EQ(SecretServiceKeychain().read(session), "second ✓") << "replaced, and kept by the service";
    EXPECT_TRUE(keychain.write(session, ""));
    EXPECT_EQ(keychain.read(session), "") << "an empty secret is still a secret";
    EXPECT_TRUE(keychain.remove(session) && !keychain.read(session));
    EXPECT_TRUE(keychain.remove(session)) << "removing a missing item";
    keyring.terminate();
    keyring.waitForFinished(3000);
}
