#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QProcess>

#include <gtest/gtest.h>

#include "Platform/foundation/TemporaryDirectory.h"
#include "PrivateSessionBus.h"
#include "SilentSocket.h"
#include "desktop/Keychain.h"
#include "runtime/MainActor.h"

using platform::Keychain;
using platform::SecretServiceKeychain;

namespace {

const platform::KeychainItem session{"com.example.keychain-test", "session"};

// Where the test's bus has the service, the bus is given all the time a test
// may take to say so: a busy machine may take longer than the application's
// few seconds, and the calls would then go to memory.
constexpr std::chrono::minutes kCallTimeout{1}, kServicePatience{1};

// The keychain answers later: these wait for the answer.
platform::KeychainRead readAnswer(Keychain& keychain, const platform::KeychainItem& item = session) {
    std::optional<platform::KeychainRead> answer;
    keychain.read(item, [&](platform::KeychainRead read) { answer = std::move(read); });
    platform::processMainEventsUntil([&] { return answer.has_value(); }, std::chrono::seconds(60));
    return answer.value_or(platform::KeychainRead{});
}
std::optional<std::string> readNow(Keychain& keychain) { return readAnswer(keychain).secret; }
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

    SecretServiceKeychain keychain(std::chrono::milliseconds(1500), kServicePatience);
    std::vector<std::string> answers;
    bool turned = false;
    platform::postToMain([&] { turned = true; });
    keychain.read(session, [&](platform::KeychainRead r) {
        answers.push_back(r.secret ? "read " + *r.secret : r.locked ? "read locked" : "read none");
    });
    keychain.write(session, "token", [&](bool ok) { answers.push_back(ok ? "written" : "not written"); });
    EXPECT_TRUE(answers.empty()) << "no answer before the caller has returned";
    ASSERT_TRUE(platform::processMainEventsUntil([&] { return turned; }, std::chrono::seconds(30)))
        << "the main loop goes on while the keyring says nothing";
    EXPECT_TRUE(answers.empty());
    platform::processMainEventsUntil([&] { return answers.size() == 2; }, std::chrono::seconds(60));
    EXPECT_EQ(answers, (std::vector<std::string>{"read locked", "not written"}));
    EXPECT_TRUE(keychain.isPersistent()) << "the service is there, though it says nothing";
    silent.kill();
    silent.waitForFinished(3000);
}

// gnome-keyring on a bus of the test's own, its login keyring unlocked with a
// test password, in a home folder of the test's own. Nothing on that bus can
// show an unlock prompt: one asked for is dismissed at once, as a user's Cancel.
class RealKeyring {
public:
    RealKeyring() {
        if (!bus.isRunning()) return;
        qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString(bus.address()));
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) qputenv(name, QByteArray::fromStdString(home.path()));
        start();
    }
    ~RealKeyring() { stop(); }
    // Ends the daemon and starts another on the same keyrings, as a desktop that restarts it.
    bool restart() {
        stop();
        QDBusConnection probe = bus.connect("probe");
        platform::processMainEventsUntil(
            [&] { return !probe.interface()->isServiceRegistered("org.freedesktop.secrets").value(); }, std::chrono::seconds(60));
        start();
        return running;
    }
    // Locks the login keyring, as the desktop does when the screen locks.
    bool lock() {
        const QDBusMessage reply = bus.connect("locker").call(QDBusMessage::createMethodCall(
            "org.freedesktop.secrets", "/org/freedesktop/secrets", "org.freedesktop.Secret.Service", "Lock")
            << QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath("/org/freedesktop/secrets/collection/login")}));
        return reply.type() == QDBusMessage::ReplyMessage;
    }

    testing_support::PrivateSessionBus bus;
    testing_support::TemporaryDirectory home;
    QProcess daemon;
    bool running = false;

private:
    void start() {
        daemon.start("gnome-keyring-daemon", {"--foreground", "--components=secrets", "--unlock"});
        if (!daemon.waitForStarted(60000)) return;
        daemon.write("test-password");
        daemon.closeWriteChannel();
        QDBusConnection probe = bus.connect("probe");
        running = platform::processMainEventsUntil(
            [&] { return probe.interface()->isServiceRegistered("org.freedesktop.secrets").value(); }, std::chrono::seconds(60));
    }
    void stop() {
        daemon.terminate();
        if (!daemon.waitForFinished(60000)) daemon.kill();
        daemon.waitForFinished();
        running = false;
    }
};

TEST(SecretServiceKeychain, StoresReplacesReadsAndDeletesInARealSecretService) {
    RealKeyring keyring;
    ASSERT_TRUE(keyring.running) << "gnome-keyring-daemon did not come up";

    SecretServiceKeychain keychain(kCallTimeout, kServicePatience);
    EXPECT_EQ(readNow(keychain), std::nullopt);
    EXPECT_TRUE(keychain.isPersistent());
    EXPECT_TRUE(writeNow(keychain, "first") && writeNow(keychain, "second ✓"));
    SecretServiceKeychain another(kCallTimeout, kServicePatience);
    EXPECT_EQ(readNow(another), "second ✓") << "replaced, and kept by the service";
    EXPECT_TRUE(writeNow(keychain, ""));
    EXPECT_EQ(readNow(keychain), "") << "an empty secret is still a secret";
    EXPECT_TRUE(removeNow(keychain) && !readNow(keychain));
    EXPECT_TRUE(removeNow(keychain)) << "removing a missing item";
}

// A cancelled unlock prompt reads as a missing item to the library: the
// keychain tells the two apart, so a stored sign-in is not taken for none.
TEST(SecretServiceKeychain, TellsALockedKeyringFromAMissingItem) {
    RealKeyring keyring;
    ASSERT_TRUE(keyring.running) << "gnome-keyring-daemon did not come up";
    SecretServiceKeychain keychain(kCallTimeout, kServicePatience);
    ASSERT_TRUE(writeNow(keychain, "token"));
    ASSERT_TRUE(keyring.lock());
    const platform::KeychainRead locked = readAnswer(keychain);
    EXPECT_EQ(locked.secret, std::nullopt);
    EXPECT_TRUE(locked.locked) << "stored, behind a prompt that was cancelled";
    const platform::KeychainRead missing = readAnswer(keychain, {"com.example.keychain-test", "nobody"});
    EXPECT_FALSE(missing.secret || missing.locked) << "not stored at all";
}

// Whether a keyring is locked is asked on a connection of its own, which
// waits for the bus to answer: a bus that takes the connection and never
// speaks holds neither the main loop nor the read past its one deadline.
TEST(SecretServiceKeychain, TheQuestionWhetherTheKeyringIsLockedKeepsTheReadsDeadline) {
    RealKeyring keyring;
    ASSERT_TRUE(keyring.running) << "gnome-keyring-daemon did not come up";
    SecretServiceKeychain keychain(std::chrono::seconds(10), kServicePatience);
    ASSERT_TRUE(writeNow(keychain, "token"));
    ASSERT_TRUE(keyring.lock());
    // The library keeps the connection it has; a new one finds a bus that never answers.
    testing_support::TemporaryDirectory folder;
    const std::string path = folder / "bus";
    testing_support::SilentSocket silent(path);
    ASSERT_TRUE(silent.isListening());
    qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString("unix:path=" + path));

    std::vector<std::string> answers;
    keychain.read(session, [&](platform::KeychainRead r) { answers.push_back(r.locked ? "read locked" : "read none"); });
    keychain.remove(session, [&](bool) { answers.push_back("remove answered"); });
    platform::processMainEventsUntil([&] { return answers.size() == 2; }, std::chrono::seconds(60));
    EXPECT_EQ(answers, (std::vector<std::string>{"read locked", "remove answered"}))
        << "a question left unanswered ends with the read's deadline, as a prompt nobody answered";
}

// After the keyring daemon restarts, the library's connection and session are
// stale: the item is still there, open, and a read finds it, a write stores
// (the stale connection is dropped and the call tried once more), never "missing".
TEST(SecretServiceKeychain, ARestartedKeyringDaemonStillHandsTheItemOver) {
    RealKeyring keyring;
    ASSERT_TRUE(keyring.running) << "gnome-keyring-daemon did not come up";
    SecretServiceKeychain keychain(kCallTimeout, kServicePatience);
    ASSERT_TRUE(writeNow(keychain, "token"));
    ASSERT_EQ(readNow(keychain), "token");
    ASSERT_TRUE(keyring.restart()) << "gnome-keyring-daemon did not come back";
    const platform::KeychainRead read = readAnswer(keychain);
    EXPECT_EQ(read.secret, "token") << (read.locked ? "read as locked" : "read as missing");
    EXPECT_EQ(readNow(keychain), "token") << "and on the next read";
    ASSERT_TRUE(keyring.restart()) << "gnome-keyring-daemon did not come back";
    EXPECT_TRUE(writeNow(keychain, "renewed")) << "a write after a restart";
    EXPECT_EQ(readNow(keychain), "renewed");
}

// A bus that takes the connection and never answers: whether the service runs
// is asked on a task, so the read is answered (from this run's memory) and
// the main loop turns meanwhile.
TEST(SecretServiceKeychain, ABusThatNeverAnswersCountsAsNoService) {
    testing_support::TemporaryDirectory folder;
    const std::string path = folder / "bus";
    testing_support::SilentSocket silent(path);
    ASSERT_TRUE(silent.isListening());
    qputenv("DBUS_SESSION_BUS_ADDRESS", QByteArray::fromStdString("unix:path=" + path));
    SecretServiceKeychain keychain(std::chrono::minutes(1), std::chrono::milliseconds(300));
    bool turned = false;
    platform::postToMain([&] { turned = true; });
    std::vector<std::string> answers;
    keychain.write(session, "token", [&](bool ok) { answers.push_back(ok ? "written" : "not written"); });
    keychain.read(session, [&](platform::KeychainRead r) { answers.push_back(r.secret ? "read " + *r.secret : "read none"); });
    EXPECT_TRUE(platform::processMainEventsUntil([&] { return turned; }, std::chrono::seconds(30)));
    platform::processMainEventsUntil([&] { return answers.size() == 2; }, std::chrono::seconds(60));
    EXPECT_EQ(answers, (std::vector<std::string>{"written", "read token"}));
    EXPECT_FALSE(keychain.isPersistent());
}
