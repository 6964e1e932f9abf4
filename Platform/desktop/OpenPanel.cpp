#include "desktop/OpenPanel.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImageReader>
#include <QListView>
#include <QTreeView>
#include <QUrl>
#include <QUuid>

#include <atomic>

#include <unistd.h>

#include "foundation/Files.h"

// The portal's file filters: a(sa(us)), a name and (kind, pattern) rules.
struct PortalFilterRule {
    uint kind = 0;  // 0: a glob pattern
    QString pattern;
};
struct PortalFilter {
    QString name;
    QList<PortalFilterRule> rules;
};
Q_DECLARE_METATYPE(PortalFilterRule)
Q_DECLARE_METATYPE(PortalFilter)

QDBusArgument& operator<<(QDBusArgument& a, const PortalFilterRule& r) {
    a.beginStructure();
    a << r.kind << r.pattern;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, PortalFilterRule& r) {
    a.beginStructure();
    a >> r.kind >> r.pattern;
    a.endStructure();
    return a;
}
QDBusArgument& operator<<(QDBusArgument& a, const PortalFilter& f) {
    a.beginStructure();
    a << f.name << f.rules;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, PortalFilter& f) {
    a.beginStructure();
    a >> f.name >> f.rules;
    a.endStructure();
    return a;
}

namespace platform {

namespace {
std::atomic<OpenPanel*> installed{nullptr};

// Both cases of each extension: globs are matched case-sensitively.
QStringList extensionGlobs(const std::vector<std::string>& extensions) {
    QStringList globs;
    for (const auto& e : extensions) {
        globs << "*." + QString::fromStdString(e).toLower();
        globs << "*." + QString::fromStdString(e).toUpper();
    }
    return globs;
}

const char* const portalService = "org.freedesktop.portal.Desktop";
const char* const portalPath = "/org/freedesktop/portal/desktop";

bool portalRuns(const QDBusConnection& bus) {
    if (!bus.isConnected() || !bus.interface()) return false;
    return bus.interface()->isServiceRegistered(QString::fromLatin1(portalService)).value();
}
}  // namespace

// Waits for the portal request's Response signal and hands the answer on once.
class PortalResponse : public QObject {
    Q_OBJECT
public:
    PortalResponse(const QDBusConnection& bus, const OpenPanelOptions& options, OpenPanel::Completion done)
        : bus_(bus), options_(options), done_(std::move(done)) {}

    void finish(std::optional<std::vector<std::string>> paths) {
        if (!done_) return;
        auto done = std::move(done_);
        done_ = nullptr;
        stopListening();
        deleteLater();
        done(std::move(paths));
    }

    // The portal could not ask: Qt's own dialog asks instead.
    void askWithoutPortal() {
        if (!done_) return;
        auto done = std::move(done_);
        done_ = nullptr;
        stopListening();
        deleteLater();
        DesktopOpenPanel::beginFolderDialog(options_, std::move(done));
    }

    void listenOn(const QString& path) {
        stopListening();
        path_ = path;
        bus_.connect({}, path_, "org.freedesktop.portal.Request", "Response", this, SLOT(response(uint, QVariantMap)));
    }

    QDBusConnection bus_;
    QString path_;

public slots:
    void response(uint code, const QVariantMap& results) {
        // 1: the user cancelled; 2: the chooser ended some other way, without asking.
        if (code == 2) return askWithoutPortal();
        if (code != 0) return finish(std::nullopt);
        std::vector<std::string> uris;
        for (const auto& uri : results.value("uris").toStringList()) uris.push_back(uri.toStdString());
        finish(localPathsFromURIs(uris));
    }

private:
    void stopListening() {
        if (path_.isEmpty()) return;
        bus_.disconnect({}, path_, "org.freedesktop.portal.Request", "Response", this, SLOT(response(uint, QVariantMap)));
        path_.clear();
    }

    OpenPanelOptions options_;
    OpenPanel::Completion done_;
};

namespace {

void beginPortal(const QDBusConnection& bus, const OpenPanelOptions& options, OpenPanel::Completion done) {
    const QString token = "tidewell" + QUuid::createUuid().toString(QUuid::Id128);
    QString sender = bus.baseService().mid(1);
    sender.replace('.', '_');
    auto* receiver = new PortalResponse(bus, options, std::move(done));
    // Subscribe before asking, so an answer can never arrive unheard.
    receiver->listenOn(QString::fromLatin1(portalPath) + "/request/" + sender + "/" + token);

    QVariantMap portalOptions;
    portalOptions["handle_token"] = token;
    portalOptions["accept_label"] = QString::fromStdString(options.prompt);
    portalOptions["multiple"] = options.allowsMultipleSelection;
    portalOptions["directory"] = options.canChooseDirectories && !options.canChooseFiles;
    portalOptions["modal"] = false;
    if (!options.fileExtensions.empty()) {
        qDBusRegisterMetaType<PortalFilterRule>();
        qDBusRegisterMetaType<QList<PortalFilterRule>>();
        qDBusRegisterMetaType<PortalFilter>();
        qDBusRegisterMetaType<QList<PortalFilter>>();
        PortalFilter filter{QString::fromStdString(options.filterName), {}};
        for (const auto& glob : extensionGlobs(options.fileExtensions)) filter.rules.push_back({0, glob});
        portalOptions["filters"] = QVariant::fromValue(QList<PortalFilter>{filter});
    }
    if (!options.directory.empty()) {
        QByteArray folder = QFile::encodeName(QString::fromStdString(options.directory));
        folder.append('\0');
        portalOptions["current_folder"] = folder;
    }
    auto call = QDBusMessage::createMethodCall(portalService, portalPath, "org.freedesktop.portal.FileChooser",
                                               "OpenFile");
    call << QString() << QString::fromStdString(options.message) << portalOptions;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), receiver);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, receiver, [receiver](QDBusPendingCallWatcher* w) {
        QDBusPendingReply<QDBusObjectPath> reply = *w;
        w->deleteLater();
        // A portal without a working chooser answers with an error: every
        // click would do nothing, so Qt's own dialog asks instead.
        if (reply.isError()) return receiver->askWithoutPortal();
        // An older portal answers on a path of its own choosing.
        const QString handle = reply.value().path();
        if (handle != receiver->path_) receiver->listenOn(handle);
    });
}

}  // namespace

void DesktopOpenPanel::beginFolderDialog(const OpenPanelOptions& options, Completion done) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        done(std::nullopt);  // no widgets in this process: nothing can be asked
        return;
    }
    auto* dialog = new QFileDialog(nullptr, QString::fromStdString(options.message),
                                   QString::fromStdString(options.directory));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setOption(QFileDialog::ReadOnly, !options.canCreateDirectories);
    dialog->setFileMode(!options.canChooseFiles             ? QFileDialog::Directory
                        : options.allowsMultipleSelection ? QFileDialog::ExistingFiles
                                                          : QFileDialog::ExistingFile);
    if (!options.fileExtensions.empty())
        dialog->setNameFilter(QString::fromStdString(options.filterName) + " (" +
                              extensionGlobs(options.fileExtensions).join(' ') + ")");
    if (!options.canChooseFiles) dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setLabelText(QFileDialog::Accept, QString::fromStdString(options.prompt));
    if (options.allowsMultipleSelection) {
        // The folder mode picks one folder; its views take several when asked.
        for (auto* view : dialog->findChildren<QListView*>("listView"))
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        for (auto* view : dialog->findChildren<QTreeView*>())
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
    auto shared = std::make_shared<OpenPanel::Completion>(std::move(done));
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, shared](int result) {
        if (!*shared) return;
        auto finish = std::move(*shared);
        *shared = nullptr;
        if (result != QDialog::Accepted) return finish(std::nullopt);
        std::vector<std::string> paths;
        for (const auto& file : dialog->selectedFiles()) paths.push_back(QDir::cleanPath(file).toStdString());
        finish(std::move(paths));
    });
    dialog->open();
    dialog->raise();
    dialog->activateWindow();
}

std::vector<std::string> localPathsFromURIs(const std::vector<std::string>& uris) {
    std::vector<std::string> paths;
    for (const auto& text : uris) {
        const QUrl url(QString::fromStdString(text));
        if (!url.isValid() || !url.isLocalFile()) continue;
        const auto path = QDir::cleanPath(url.toLocalFile());
        if (!path.isEmpty()) paths.push_back(path.toStdString());
    }
    return paths;
}

std::vector<std::string> readableImageExtensions() {
    static const char* const photoFormats[] = {"png", "jpg", "jpeg", "heic", "heif", "webp", "tif", "tiff", "gif", "bmp"};
    const QList<QByteArray> readable = QImageReader::supportedImageFormats();
    std::vector<std::string> extensions;
    for (const char* format : photoFormats)
        if (readable.contains(QByteArray(format))) extensions.emplace_back(format);
    return extensions;
}

OpenPanelOptions singleImageOptions(std::string message) {
    OpenPanelOptions options;
    options.message = std::move(message);
    options.canChooseFiles = true;
    options.canChooseDirectories = false;
    options.allowsMultipleSelection = false;
    options.fileExtensions = readableImageExtensions();
    options.filterName = "Images";
    return options;
}

std::unique_ptr<QFile> openPictureFile(const std::string& path) {
    const int fd = openRegularFileForReading(path);
    if (fd < 0) return nullptr;
    // Named, so the reader still takes the file's extension as a hint.
    auto file = std::make_unique<QFile>(QString::fromStdString(path));
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return nullptr;
    }
    return file;
}

std::optional<QImage> loadImageFile(const std::string& path) {
    const auto file = openPictureFile(path);
    if (!file) return std::nullopt;
    QImageReader reader(file.get());
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull()) return std::nullopt;
    return image;
}

DesktopOpenPanel::DesktopOpenPanel() : DesktopOpenPanel(QDBusConnection::sessionBus()) {}

DesktopOpenPanel::DesktopOpenPanel(const QDBusConnection& bus) : bus_(std::make_unique<QDBusConnection>(bus)) {}

DesktopOpenPanel::~DesktopOpenPanel() = default;

void DesktopOpenPanel::begin(const OpenPanelOptions& options, Completion done) {
    if (portalRuns(*bus_)) beginPortal(*bus_, options, std::move(done));
    else beginFolderDialog(options, std::move(done));
}

OpenPanel& OpenPanel::shared() {
    if (auto* panel = installed.load()) return *panel;
    static DesktopOpenPanel desktop;
    return desktop;
}

void OpenPanel::setShared(OpenPanel* panel) { installed.store(panel); }

}  // namespace platform

#include "OpenPanel.moc"
