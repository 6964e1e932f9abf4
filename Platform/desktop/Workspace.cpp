#include "desktop/Workspace.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>

#include <atomic>
#include <filesystem>
#include <system_error>
#include <memory>
#include <utility>

namespace platform {
namespace {

std::atomic<Workspace*> installedWorkspace{nullptr};

const QString kFileManagerService = QStringLiteral("org.freedesktop.FileManager1");
const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");

QUrl localFileURL(const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path));
}

bool serviceOnBus(const QDBusConnection& bus, const QString& service) {
    if (!bus.isConnected() || bus.interface() == nullptr) return false;
    const auto registered = bus.interface()->isServiceRegistered(service);
    if (registered.isValid() && registered.value()) return true;
    const auto activatable = bus.interface()->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(service);
}

bool openWithQt(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url), QUrl::StrictMode));
}

using Answer = std::function<void(std::optional<std::string>)>;

// Opens `target` with xdg-open, which says whether anything could: 3 when
// nothing on this system can. One that runs its program in the foreground is
// still running a while later: the target is open. Without xdg-open at all,
// `withoutOpener` gives the answer.
void openWithXdgOpen(const std::string& target, const char* nothingOpensIt, const char* itFailed,
                     std::function<std::optional<std::string>()> withoutOpener, Answer done) {
    auto* opener = new QProcess;
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    auto answer = [done = std::make_shared<Answer>(std::move(done))](std::optional<std::string> failure) {
        if (auto once = std::exchange(*done, nullptr)) once(std::move(failure));
    };
    QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, answer, withoutOpener](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        answer(withoutOpener());
        opener->deleteLater();
    });
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, answer, nothingOpensIt, itFailed](int code, QProcess::ExitStatus status) {
                         if (status == QProcess::NormalExit && code == 0) answer(std::nullopt);
                         else if (status == QProcess::NormalExit && code == 3) answer(std::string(nothingOpensIt));
                         else answer(std::string(itFailed));
                         opener->deleteLater();
                     });
    QTimer::singleShot(std::chrono::seconds(5), opener, [answer] { answer(std::nullopt); });
    opener->start(QStringLiteral("xdg-open"), {QString::fromStdString(target)});
}

// A web address through xdg-open; without it, through Qt's own search for a browser.
void openInBrowser(const std::string& url, Answer done) {
    openWithXdgOpen(
        url, kNoBrowserReason, "the desktop could not open it",
        [url]() -> std::optional<std::string> {
            if (openWithQt(url)) return std::nullopt;
            return std::string(kNoBrowserReason);
        },
        std::move(done));
}

}  // namespace

Workspace& Workspace::shared() {
    static SystemWorkspace system;
    Workspace* installed = installedWorkspace.load();
    return installed != nullptr ? *installed : system;
}

void Workspace::setShared(Workspace* workspace) { installedWorkspace.store(workspace); }

bool isBrowserURL(std::string_view url) {
    const QUrl parsed(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())),
                      QUrl::StrictMode);
    if (!parsed.isValid() || parsed.isRelative()) return false;
    const QString scheme = parsed.scheme().toLower();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !parsed.host().isEmpty();
}

std::optional<std::string> nearestExistingPath(const std::string& path) {
    if (path.empty()) return std::nullopt;
    std::error_code error;
    std::filesystem::path current = std::filesystem::absolute(path, error);
    if (error) return std::nullopt;
    current = current.lexically_normal();
    if (!current.has_filename() && current != current.root_path()) current = current.parent_path();
    while (true) {
        // A dangling symbolic link is still an item the file manager can show.
        if (std::filesystem::symlink_status(current, error).type() !=
            std::filesystem::file_type::not_found) {
            if (!error) return current.string();
        }
        if (current == current.root_path() || !current.has_parent_path()) return std::nullopt;
        current = current.parent_path();
    }
}

SystemWorkspace::SystemWorkspace() : SystemWorkspace(desktopLaunchers()) {}

SystemWorkspace::SystemWorkspace(Launchers launchers) : launchers_(std::move(launchers)) {}

bool SystemWorkspace::openURL(const std::string& url, OpenFailed failed) {
    if (!isBrowserURL(url)) return false;
    if (!launchers_.openWithDefaultHandler) {
        if (failed) failed(kNoBrowserReason);
        return true;
    }
    launchers_.openWithDefaultHandler(url, [failed](std::optional<std::string> failure) {
        if (failure && failed) failed(*failure);
    });
    return true;
}

bool SystemWorkspace::revealPath(const std::string& path, RevealFailed failed) {
    const auto target = nearestExistingPath(path);
    if (!target) return false;
    const std::filesystem::path item(*target);
    const std::string folder = item == item.root_path() ? item.string() : item.parent_path().string();
    auto openFolder = [open = launchers_.openFolder, folder, failed] {
        if (!open) {
            if (failed) failed(kNoFileManagerReason);
            return;
        }
        open(localFileURL(folder).toString(QUrl::FullyEncoded).toStdString(),
             [failed](std::optional<std::string> failure) {
                 if (failure && failed) failed(*failure);
             });
    };
    if (!launchers_.showItems) {
        openFolder();
        return true;
    }
    launchers_.showItems(localFileURL(*target).toString(QUrl::FullyEncoded).toStdString(),
                         [openFolder](bool shown) {
                             if (!shown) openFolder();
                         });
    return true;
}

void SystemWorkspace::copyToClipboard(const std::string& text) {
    if (qGuiApp == nullptr) return;
    qGuiApp->clipboard()->setText(QString::fromStdString(text));
}

void SystemWorkspace::copyImageToClipboard(const QImage& image) {
    if (qGuiApp == nullptr) return;
    qGuiApp->clipboard()->setImage(image);
}

SystemWorkspace::Launchers SystemWorkspace::desktopLaunchers() {
    Launchers launchers;
    launchers.openWithDefaultHandler = [](const std::string& url, Answer done) {
        // Web addresses go through the desktop portal when one runs (it works
        // inside sandboxes and honours the desktop's choice of browser); a
        // portal that refuses falls back to xdg-open.
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!isBrowserURL(url) || !serviceOnBus(bus, kPortalService)) return openInBrowser(url, std::move(done));
        QDBusMessage call = QDBusMessage::createMethodCall(
            kPortalService, QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.OpenURI"), QStringLiteral("OpenURI"));
        call << QString() << QString::fromStdString(url) << QVariantMap();
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                         [url, done = std::move(done)](QDBusPendingCallWatcher* finished) {
                             if (finished->isError()) openInBrowser(url, done);
                             else done(std::nullopt);
                             finished->deleteLater();
                         });
    };
    launchers.showItems = [](const std::string& fileURL, std::function<void(bool)> done) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!serviceOnBus(bus, kFileManagerService)) {
            done(false);
            return;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(
            kFileManagerService, QStringLiteral("/org/freedesktop/FileManager1"),
            kFileManagerService, QStringLiteral("ShowItems"));
        call << QStringList{QString::fromStdString(fileURL)} << QString();
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                         [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                             done(!finished->isError());
                             finished->deleteLater();
                         });
    };
    launchers.openFolder = [](const std::string& folderURL, Answer done) {
        openWithXdgOpen(
            folderURL, kNoFileManagerReason, "the file manager could not open it",
            [] { return std::optional<std::string>(kNoFileManagerReason); }, std::move(done));
    };
    return launchers;
}

}  // namespace platform
