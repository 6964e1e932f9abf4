#include "desktop/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace platform {
namespace {

// Every hand-over starts with this, so a bare connection (a probe) carries none.
constexpr std::string_view kHeader{"argv\0", 5};
constexpr std::size_t kMaxMessageBytes =
    kHeader.size() + SingleInstance::maxArguments * (SingleInstance::maxArgumentBytes + 1);

// The user's runtime folder when it is really private to this user.
std::string privateRuntimeDirectory() {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    struct stat st{};
    if (dir == nullptr || *dir == '\0' || ::stat(dir, &st) != 0) return {};
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 077) != 0) return {};
    return dir;
}

// A socket at `path` that this user owns; anything else is never spoken to.
bool isOwnSocket(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == ::getuid();
}

bool peerIsThisUser(qintptr descriptor) {
    struct ucred cred{};
    socklen_t length = sizeof cred;
    return ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &cred, &length) == 0 && cred.uid == ::getuid();
}

}  // namespace

std::string encodeHandOver(const std::vector<std::string>& arguments) {
    std::string message(kHeader);
    for (const auto& argument : arguments) {
        message += argument;
        message += '\0';
    }
    return message;
}

std::optional<std::vector<std::string>> decodeHandOver(const std::string& message) {
    if (message.size() > kMaxMessageBytes || message.compare(0, kHeader.size(), kHeader) != 0 || message.back() != '\0')
        return std::nullopt;
    std::vector<std::string> arguments;
    std::size_t start = kHeader.size();
    while (start < message.size()) {
        const std::size_t end = message.find('\0', start);
        if (end - start > SingleInstance::maxArgumentBytes || arguments.size() == SingleInstance::maxArguments)
            return std::nullopt;
        arguments.push_back(message.substr(start, end - start));
        start = end + 1;
    }
    return arguments;
}

std::vector<std::string> urlArguments(const std::vector<std::string>& arguments) {
    std::vector<std::string> urls;
    for (const auto& argument : arguments) {
        const auto colon = argument.find(':');
        if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(argument[0]))) continue;
        bool scheme = true;
        for (std::size_t i = 1; i < colon && scheme; ++i) {
            const unsigned char c = static_cast<unsigned char>(argument[i]);
            scheme = std::isalnum(c) || c == '+' || c == '-' || c == '.';
        }
        if (scheme) urls.push_back(argument);
    }
    return urls;
}

SingleInstance::SingleInstance(std::string name, std::string directory) {
    if (directory.empty()) directory = privateRuntimeDirectory();
    if (directory.empty())
        path_ = (std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getuid()) + ".socket")).string();
    else
        path_ = (std::filesystem::path(directory) / (name + ".socket")).string();
}

SingleInstance::~SingleInstance() { delete server_; }

bool SingleInstance::handOver(const std::vector<std::string>& arguments, int timeoutMs) const {
    if (!isOwnSocket(path_)) return false;
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(path_));
    if (!socket.waitForConnected(timeoutMs)) return false;
    const std::string message = encodeHandOver(arguments);
    socket.write(message.data(), qint64(message.size()));
    const bool sent = socket.waitForBytesWritten(timeoutMs) || socket.bytesToWrite() == 0;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMs);
    return sent;
}

bool SingleInstance::listen(Receiver receive) {
    if (server_) return true;
    struct stat st{};
    if (::lstat(path_.c_str(), &st) == 0) {
        // Someone else's file in our place: never remove or trust it.
        if (!isOwnSocket(path_)) return false;
        QLocalSocket probe;
        probe.connectToServer(QString::fromStdString(path_));
        if (probe.waitForConnected(500)) return false;  // an instance answers there
        QLocalServer::removeServer(QString::fromStdString(path_));
    }
    auto* server = new QLocalServer();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(QString::fromStdString(path_))) {
        delete server;
        return false;
    }
    server_ = server;
    receive_ = std::move(receive);
    QObject::connect(server_, &QLocalServer::newConnection, server_, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            if (!peerIsThisUser(socket->socketDescriptor())) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            auto buffer = std::make_shared<std::string>();
            auto overflow = std::make_shared<bool>(false);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, buffer, overflow] {
                const QByteArray chunk = socket->readAll();
                if (*overflow) return;
                buffer->append(chunk.constData(), std::size_t(chunk.size()));
                if (buffer->size() > kMaxMessageBytes) {
                    *overflow = true;
                    buffer->clear();
                }
            });
            QObject::connect(socket, &QLocalSocket::disconnected, socket, [this, socket, buffer, overflow] {
                const QByteArray rest = socket->readAll();
                buffer->append(rest.constData(), std::size_t(rest.size()));
                socket->deleteLater();
                if (*overflow) return;
                if (auto arguments = decodeHandOver(*buffer); arguments && receive_) receive_(std::move(*arguments));
            });
            // A client that never finishes is cut off.
            QTimer::singleShot(5000, socket, [socket, overflow] {
                *overflow = true;
                socket->abort();
            });
        }
    });
    return true;
}

}  // namespace platform
