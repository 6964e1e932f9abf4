#include <QDBusConnectionInterface>
#include <QProcess>

#include <gtest/gtest.h>

#include "Platform/foundation/TemporaryDirectory.h"
#include "PrivateSessionBus.h"
#include "desktop/Keychain.h"
#include "runtime/MainActor.h"

using platform::Keychain;
using platform::SecretServiceKeychain;

namespace {

const platform::KeychainItem session{"com.example.keychain-test", "session"};

// The keychain answers later: these wait for the answer.
std::optional<std::string> readNow(Keychain& keychain) {
    std::optional<std::optional<std::string>> answer;
    keychain.read(session, [&](std::optional<std::string> secret) { answer = std::move(secret); });
    platform::processMainEventsUntil([&] { return answer.has_value(); }, std::chrono::seconds(60));
    return answer.value_or(std::nullopt);
}
bool writeNow(Keychain& keychain, const std::string& secret) {
    std::optional<bool> ok;
    keychain.write(session, secret, [&](bool done) { ok = done; });
    platform::processMainEventsUntil([&] { return ok.has_value(); }, std::chrono::seconds(60));
    return ok.value_or(false);
}
bool removeNow(Keychain& keychain) {
    std::optional<bool> ok;
    keychain.remove(session, [&](bool done) { ok = done; });
    platform::processMainEventsUntil([&] { return ok.has_value(); }, std::chrono::seconds(60));
    return ok.value_or(false);
}

}  // namespace

TEST(SecretServiceKeychain, WithoutASecretServiceKeepsSecretsForThisRunOnly) {
    testing_support::PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning()) << "dbus-daemon could not start";
    qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(bus.address()));
    SecretServiceKeychain keychain;
    EXPECT_FALSE(keychain.isPersistent());
    EXPECT_TRUE(writeNow(keychain, "token") && readNow(keychain) == "token");
    EXPECT_TRUE(removeNow(keychain) && !readNow(keychain));
}

// A keyring that takes the calls and never answers, as a locked one whose
// unlock prompt nobody sees: no call holds the caller or the main loop, each
// fails after the time-out, in the order made.
TEST(SecretServiceKeychain, AKeyringThatNeverAnswersHoldsNothingBack) {
    testing_support::PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning()) << "dbus-daemon could not start";
    qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(bus.address()));
    QProcess silent;
    silent.start(SILENT_SECRET_SERVICE, QStringList{});
    ASSERT_TRUE(silent.waitForReadyRead(30000)) << "the silent service did not start";

    SecretServiceKeychain keychain(std::chrono::milliseconds(1500));
    ASSERT_TRUE(keychain.isPersistent());
    std::vector<std::string> answers;
    bool turned = false;
    platform::postToMain([&] { turned = true; });
    keychain.read(session, [&](std::optional<std::string> s) { answers.push_back(s ? "read " + *s : "read none"); });
    keychain.write(session, "token", [&](bool ok) { answers.push_back(ok ? "written" : "not written"); });
    EXPECT_TRUE(answers.empty()) << "no answer before the caller has returned";
    ASSERT_TRUE(platform::processMainEventsUntil([&] { return turned; }, std::chrono::seconds(30)))
        << "the main loop goes on while the keyring says nothing";
    EXPECT_TRUE(answers.empty());
    platform::processMainEventsUntil([&] { return answers.size() == 2; }, std::chrono::seconds(60));
    EXPECT_EQ(answers, (std::vector<std::string>{"read none", "not written"}));
    silent.kill();
    silent.waitForFinished(3000);
}

// gnome-keyring on a bus of the test's own, its login keyring unlocked with a
// test password, in a home folder of the test's own.
TEST(SecretServiceKeychain, StoresReplacesReadsAndDeletesInARealSecretService) {
    testing_support::PrivateSessionBus bus;
    testing_support::TemporaryDirectory home;
    ASSERT_TRUE(bus.isRunning()) << "dbus-daemon could not start";
    qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(bus.address()));
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) qputenv(name, QByteArray::fromStdString(home.path()));
    QProcess keyring;
    keyring.start("gnome-keyring-daemon", {"--foreground", "--components=secrets", "--unlock"});
    ASSERT_TRUE(keyring.waitForStarted(5000)) << "gnome-keyring-daemon is not installed";
    keyring.write("test-password");
    keyring.closeWriteChannel();
    QDBusConnection probe = bus.connect("probe");
    ASSERT_TRUE(platform::processMainEventsUntil(
        [&] { return probe.interface()->isServiceRegistered("org.freedesktop.secrets").value(); }, std::chrono::seconds(60)))
        << "gnome-keyring-daemon did not come up";

    SecretServiceKeychain keychain;
    EXPECT_TRUE(keychain.isPersistent());
    EXPECT_EQ(readNow(keychain), std::nullopt);
    EXPECT_TRUE(writeNow(keychain, "first") && writeNow(keychain, "second ✓"));
    SecretServiceKeychain another;
    EXPECT_EQ(readNow(another), "second ✓") << "replaced, and kept by the service";
    EXPECT_TRUE(writeNow(keychain, ""));
    EXPECT_EQ(readNow(keychain), "") << "an empty secret is still a secret";
    EXPECT_TRUE(removeNow(keychain) && !readNow(keychain));
    EXPECT_TRUE(removeNow(keychain)) << "removing a missing item";
    keyring.terminate();
    keyring.waitForFinished(3000);
}
