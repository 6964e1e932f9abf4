#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>

#include <gtest/gtest.h>

#include "PrivateSessionBus.h"
#include "desktop/Notifications.h"
#include "runtime/MainActor.h"

namespace {

// Answers Notify with increasing ids and records each call's arguments.
class FakeNotificationServer : public QDBusVirtualObject {
public:
    std::vector<QVariantList> calls;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QLatin1String("Notify")) return false;
        calls.push_back(message.arguments());
        connection.send(message.createReply(uint(40 + calls.size())));
        return true;
    }
    QString introspect(const QString&) const override { return {}; }
};

}  // namespace

TEST(DesktopNotifier, PostsToTheServerAndDeliversTheClickBack) {
    testing_support::PrivateSessionBus bus;
    if (!bus.isRunning()) GTEST_SKIP() << "dbus-daemon could not start";
    platform::DesktopNotifier notifier(bus.connect(QStringLiteral("app")));
    std::vector<std::string> clicked;
    notifier.setActivationHandler([&](const std::string& id) { clicked.push_back(id); });
    const platform::NotificationRequest request{"scan-started", "Scanning started", "Checking in the background."};

    // No server on the bus: the post is dropped without a word.
    notifier.post(request);
    ASSERT_TRUE(platform::processMainEventsUntil([&] { return notifier.answeredPosts() == 1; }));

    FakeNotificationServer fake;
    QDBusConnection server = bus.connect(QStringLiteral("server"));
    ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(server.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &fake));
    for (std::size_t answered : {2u, 3u}) {
        notifier.post(request);
        ASSERT_TRUE(platform::processMainEventsUntil([&] { return notifier.answeredPosts() == answered; }));
    }
    ASSERT_EQ(fake.calls.size(), 2u);
    const QVariantList& first = fake.calls[0];  // app, replaces, icon, title, body, actions, hints, time-out
    EXPECT_EQ((QVariantList{first[1], first[3], first[4], first[5]}),
              (QVariantList{0u, "Scanning started", "Checking in the background.", QStringList{"default", ""}}));
    EXPECT_TRUE(qdbus_cast<QVariantMap>(first[6]).value("suppress-sound").toBool());
    EXPECT_EQ(fake.calls[1][1].toUInt(), 41u) << "the same identifier replaces the earlier notification";

    // A click on another notification, another action, then ours.
    for (const auto& [id, action] : {std::pair{99u, "default"}, {42u, "other"}, {42u, "default"}})
        server.send(QDBusMessage::createSignal("/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked")
                    << id << QString(action));
    platform::processMainEventsUntil([&] { return !clicked.empty(); }, std::chrono::seconds(5));
    EXPECT_EQ(clicked, std::vector<std::string>{"scan-started"});
}
