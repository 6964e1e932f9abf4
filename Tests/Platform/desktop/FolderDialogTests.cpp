// The Qt folder dialog behind the open panel, driven as a person would:
// select two folders in the list and accept.

#include <QAbstractItemView>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QListView>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <filesystem>
#include <fstream>
#include <optional>

#include <gtest/gtest.h>

#include "Platform/foundation/TemporaryDirectory.h"
#include "PrivateSessionBus.h"
#include "desktop/OpenPanel.h"

using namespace platform;

namespace {
QFileDialog* openDialog() {
    for (auto* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible()) return dialog;
    return nullptr;
}

// Lets the event loop run until `done` holds (a child process or the bus
// answers in its own time), for at most half a minute.
template <class F>
bool waitFor(F done) {
    const QDeadlineTimer deadline(30000);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return done();
}

OpenPanelOptions options(const std::string& directory) {
    OpenPanelOptions o;
    o.prompt = "Allow Access";
    o.message = "Select a, b and click Allow Access.";
    o.directory = directory;
    return o;
}
}  // namespace

TEST(FolderDialog, CancelAnswersNoneAndAcceptTakesSeveralFoldersAtOnce) {
    testing_support::TemporaryDirectory dir;
    std::optional<std::optional<std::vector<std::string>>> answer;
    DesktopOpenPanel::beginFolderDialog(options(dir.path()), [&](auto paths) { answer = paths; });
    ASSERT_NE(openDialog(), nullptr);
    openDialog()->reject();
    ASSERT_TRUE(waitFor([&] { return answer.has_value(); }));
    EXPECT_FALSE(answer->has_value());

    std::filesystem::create_directories(dir / "a");
    std::filesystem::create_directories(dir / "b");
    answer.reset();
    DesktopOpenPanel::beginFolderDialog(options(dir.path()), [&](auto paths) { answer = paths; });
    auto* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Select a, b and click Allow Access.");
    EXPECT_EQ(dialog->labelText(QFileDialog::Accept).toStdString(), "Allow Access");
    auto* list = dialog->findChild<QListView*>("listView");
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(waitFor([&] { return list->model()->rowCount(list->rootIndex()) == 2; }));
    list->selectionModel()->select(QItemSelection(list->model()->index(0, 0, list->rootIndex()),
                                                  list->model()->index(1, 0, list->rootIndex())),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QMetaObject::invokeMethod(dialog, "accept");
    ASSERT_TRUE(waitFor([&] { return answer.has_value(); }));
    ASSERT_TRUE(answer->has_value());
    auto chosen = **answer;
    std::sort(chosen.begin(), chosen.end());  // the list may not be sorted yet when it is read
    EXPECT_EQ(chosen, (std::vector<std::string>{dir / "a", dir / "b"}));
}

namespace {
// A desktop portal whose file chooser answers each OpenFile as it is told:
// with a D-Bus error (a portal that cannot choose folders), or with a request
// that ends with the given response code and chosen folders.
class FakePortal : public QDBusVirtualObject {
public:
    explicit FakePortal(QDBusConnection bus) : bus_(std::move(bus)) {}
    std::optional<uint> responseCode;  // none: an error reply
    QStringList uris;
    int calls = 0;
    // An older portal: it answers on a request path of its own choosing,
    // which the caller learns only from the reply. It then says its answer
    // until it is heard, since the caller subscribes to that path only
    // after the reply, in its own time.
    bool choosesItsOwnPath = false;
    std::function<bool()> heard;

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QLatin1String("OpenFile")) return false;
        ++calls;
        if (!responseCode) {
            connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                                                     QStringLiteral("No such interface FileChooser")));
            return true;
        }
        QString sender = message.service().mid(1);
        sender.replace('.', '_');
        const QString token = qdbus_cast<QVariantMap>(message.arguments().at(2)).value("handle_token").toString();
        const QString handle = choosesItsOwnPath ? "/org/freedesktop/portal/desktop/request/" + QString::number(calls)
                                                 : "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(handle))));
        auto signal = QDBusMessage::createSignal(handle, "org.freedesktop.portal.Request", "Response");
        signal << *responseCode << QVariantMap{{"uris", uris}};
        if (!choosesItsOwnPath) {
            QTimer::singleShot(0, [bus = bus_, signal] { bus.send(signal); });
            return true;
        }
        auto* repeat = new QTimer(this);
        QObject::connect(repeat, &QTimer::timeout, repeat, [repeat, bus = bus_, signal, heard = heard, times = 0]() mutable {
            if (++times > 1000 || (heard && heard())) return repeat->deleteLater();
            bus.send(signal);
        });
        repeat->start(20);
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

private:
    QDBusConnection bus_;
};
}  // namespace

TEST(PortalPanel, APortalThatAnswersWithAnErrorGivesWayToQtsOwnFolderDialog) {
    testing_support::PrivateSessionBus bus;
    if (!bus.isRunning()) GTEST_SKIP() << "dbus-daemon could not start";
    QDBusConnection server = bus.connect(QStringLiteral("portal"));
    FakePortal portal(server);
    ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
    ASSERT_TRUE(server.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal));
    DesktopOpenPanel panel(bus.connect(QStringLiteral("app")));
    testing_support::TemporaryDirectory dir;

    // A portal that chooses: its folders come back and no dialog of ours opens.
    portal.responseCode = 0u;
    portal.uris = {QString::fromStdString("file://" + dir.path() + "/a"), QStringLiteral("https://example.com/x")};
    std::optional<std::optional<std::vector<std::string>>> answer;
    panel.begin(options(dir.path()), [&](auto paths) { answer = paths; });
    ASSERT_TRUE(waitFor([&] { return answer.has_value(); }));
    EXPECT_EQ(*answer, std::optional(std::vector<std::string>{dir / "a"}));
    EXPECT_EQ(openDialog(), nullptr);

    // An error reply, and a request that ends without asking: each click opens the dialog.
    for (std::optional<uint> code : {std::optional<uint>(), std::optional<uint>(2u)}) {
        portal.responseCode = code;
        answer.reset();
        panel.begin(options(dir.path()), [&](auto paths) { answer = paths; });
        ASSERT_TRUE(waitFor([&] { return openDialog() != nullptr; })) << "code " << code.value_or(99);
        EXPECT_EQ(openDialog()->windowTitle().toStdString(), "Select a, b and click Allow Access.");
        EXPECT_FALSE(answer.has_value()) << "the dialog answers, not the portal";
        openDialog()->reject();
        ASSERT_TRUE(waitFor([&] { return answer.has_value(); }));
        EXPECT_FALSE(answer->has_value());
    }

    // The user cancelling the portal's chooser is an answer: no dialog follows.
    portal.responseCode = 1u;
    answer.reset();
    panel.begin(options(dir.path()), [&](auto paths) { answer = paths; });
    ASSERT_TRUE(waitFor([&] { return answer.has_value(); }));
    EXPECT_FALSE(answer->has_value());
    EXPECT_EQ(openDialog(), nullptr);
    EXPECT_EQ(portal.calls, 4);
}

// An older portal names the request's path itself, in its reply: its
// answer is still heard there, and the chooser ends once.
TEST(PortalPanel, AnOlderPortalThatChoosesItsOwnRequestPathIsStillHeard) {
    testing_support::PrivateSessionBus bus;
    if (!bus.isRunning()) GTEST_SKIP() << "dbus-daemon could not start";
    QDBusConnection server = bus.connect(QStringLiteral("older-portal"));
    FakePortal portal(server);
    ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
    ASSERT_TRUE(server.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal));
    DesktopOpenPanel panel(bus.connect(QStringLiteral("older-portal-app")));
    testing_support::TemporaryDirectory dir;

    portal.choosesItsOwnPath = true;
    int answers = 0;
    std::optional<std::optional<std::vector<std::string>>> answer;
    portal.heard = [&] { return answer.has_value(); };
    for (uint code : {0u, 1u}) {
        portal.responseCode = code;
        portal.uris = {QString::fromStdString("file://" + dir.path() + "/b")};
        answer.reset();
        answers = 0;
        panel.begin(options(dir.path()), [&](auto paths) {
            ++answers;
            answer = paths;
        });
        ASSERT_TRUE(waitFor([&] { return answer.has_value(); })) << "code " << code << ": the answer on the portal's own path";
        if (code == 0) EXPECT_EQ(*answer, std::optional(std::vector<std::string>{dir / "b"}));
        else EXPECT_FALSE(answer->has_value()) << "cancelled";
        EXPECT_EQ(openDialog(), nullptr);
        for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_EQ(answers, 1);
    }
}

TEST(ImagePanel, OffersOneReadablePictureAndLoadsIt) {
    const auto extensions = readableImageExtensions();
    for (const char* format : {"png", "jpg", "jpeg", "tif", "webp"})
        EXPECT_NE(std::find(extensions.begin(), extensions.end(), format), extensions.end()) << format;

    testing_support::TemporaryDirectory dir;
    QImage red(4, 2, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(QString::fromStdString(dir / "photo.PNG"), "PNG"));
    std::ofstream(dir / "broken.png") << "not a picture";
    EXPECT_EQ(loadImageFile(dir / "photo.PNG")->size(), QSize(4, 2));
    EXPECT_EQ(loadImageFile(dir / "broken.png"), std::nullopt);

    auto o = singleImageOptions("Choose a background");
    o.directory = dir.path();
    DesktopOpenPanel::beginFolderDialog(o, [](auto) {});
    auto* dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    EXPECT_TRUE(dialog->nameFilters().front().contains("*.PNG"));
    dialog->reject();
}
