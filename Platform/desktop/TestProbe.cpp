#include "desktop/TestProbe.h"

#include "ui/Accessibility.h"
#include "ui/HostWidget.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>

namespace platform {
namespace {

// Counts paint events delivered to host widgets, so a driver can tell the
// frame rate the interface reached while something else runs.
class PaintCounter : public QObject {
public:
    using QObject::QObject;
    qint64 frames = 0;
    qint64 lastFrameMs = 0;  // on `clock`: rates measured between frames, not between questions
    QElapsedTimer clock;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && dynamic_cast<ui::HostWidget*>(watched)) {
            ++frames;
            lastFrameMs = clock.elapsed();
        }
        return false;
    }
};

void addNodes(const ui::AccessibilityNodeInfo& node, QPoint origin, int depth, QJsonArray& out) {
    QJsonObject o;
    o["id"] = QString::fromStdString(node.identifier);
    o["label"] = QString::fromStdString(node.label);
    o["value"] = QString::fromStdString(node.value);
    QJsonArray texts;
    for (const auto& t : node.texts) texts.append(QString::fromStdString(t));
    o["texts"] = texts;
    o["x"] = origin.x() + node.frame.x;
    o["y"] = origin.y() + node.frame.y;
    o["w"] = node.frame.width;
    o["h"] = node.frame.height;
    o["depth"] = depth;
    out.append(o);
    for (const auto& child : node.children) addNodes(child, origin, depth + 1, out);
}

QJsonObject windowsTree() {
    QJsonArray windows;
    for (ui::HostWidget* host : ui::HostWidget::all()) {
        if (!host->isVisible()) continue;
        const QPoint origin = host->mapToGlobal(QPoint(0, 0));
        QJsonObject w;
        w["title"] = host->window()->windowTitle();
        w["x"] = origin.x();
        w["y"] = origin.y();
        w["w"] = host->width();
        w["h"] = host->height();
        w["active"] = host->window()->isActiveWindow();
        QJsonArray nodes;
        addNodes(host->host().accessibilityTree(), origin, 0, nodes);
        w["nodes"] = nodes;
        windows.append(w);
    }
    return QJsonObject{{"windows", windows}, {"platform", QGuiApplication::platformName()}};
}

}  // namespace

void startTestProbe(const std::string& socketPath) {
    auto* counter = new PaintCounter(qApp);
    counter->clock.start();
    qApp->installEventFilter(counter);
    auto* server = new QLocalServer(qApp);
    QLocalServer::removeServer(QString::fromStdString(socketPath));
    server->setSocketOptions(QLocalServer::UserAccessOption);
    server->listen(QString::fromStdString(socketPath));
    QObject::connect(server, &QLocalServer::newConnection, server, [server, counter] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, counter] {
                if (!socket->canReadLine()) return;
                const QByteArray request = socket->readLine().trimmed();
                QJsonObject answer = request == "frames"
                                         ? QJsonObject{{"frames", counter->frames},
                                                       {"ms", counter->clock.elapsed()},
                                                       {"last", counter->lastFrameMs}}
                                         : windowsTree();
                socket->write(QJsonDocument(answer).toJson(QJsonDocument::Compact));
                socket->write("\n");
                socket->disconnectFromServer();
            });
        }
    });
}

}  // namespace platform
