#include "desktop/HttpClient.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>

#include <atomic>
#include <strings.h>

namespace platform {
namespace {

std::atomic<HttpClient*> installedClient{nullptr};

bool sameOrigin(const QUrl& a, const QUrl& b) {
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 &&
           a.port(a.scheme() == QLatin1String("https") ? 443 : 80) == b.port(b.scheme() == QLatin1String("https") ? 443 : 80);
}

}  // namespace

bool HttpRequest::hasHeader(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (strcasecmp(key.c_str(), name.c_str()) == 0) return true;
    return false;
}

bool mayFollowRedirect(const std::string& from, const std::string& to) {
    const QUrl source(QString::fromStdString(from));
    const QUrl target = source.resolved(QUrl(QString::fromStdString(to)));
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) return false;
    // Another origin is another party: a request body or a header meant for
    // the service (a code, a token, a heading) must not reach it.
    return sameOrigin(source, target);
}

HttpClient& HttpClient::shared() {
    // Never torn down: its network manager must not outlive the application object's end.
    static auto* network = new NetworkHttpClient();
    HttpClient* installed = installedClient.load();
    return installed != nullptr ? *installed : *network;
}

void HttpClient::setShared(HttpClient* client) { installedClient.store(client); }

struct NetworkHttpClient::Manager {
    QNetworkAccessManager access;
};

NetworkHttpClient::NetworkHttpClient() : manager_(std::make_unique<Manager>()) {}
NetworkHttpClient::~NetworkHttpClient() = default;

HttpTask NetworkHttpClient::send(HttpRequest request, Completion done) {
    QNetworkRequest q{QUrl(QString::fromStdString(request.url), QUrl::StrictMode)};
    for (const auto& [name, value] : request.headers) q.setRawHeader(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
    q.setTransferTimeout(int(request.timeout.count()));
    // Every redirect is checked here before it is followed.
    q.setAttribute(QNetworkRequest::RedirectPolicyAttribute, request.followsRedirects
                                                                 ? QNetworkRequest::UserVerifiedRedirectPolicy
                                                                 : QNetworkRequest::ManualRedirectPolicy);
    const QByteArray body = QByteArray::fromStdString(request.body);
    QNetworkReply* reply = request.body.empty() && request.method != "POST" && request.method != "PUT"
                               ? manager_->access.sendCustomRequest(q, QByteArray::fromStdString(request.method))
                               : manager_->access.sendCustomRequest(q, QByteArray::fromStdString(request.method), body);

    struct State {
        bool cancelled = false;
        bool refused = false;
        std::string at;  // where the last hop went
    };
    auto state = std::make_shared<State>();
    state->at = request.url;
    QObject::connect(reply, &QNetworkReply::redirected, reply, [reply, state](const QUrl& to) {
        if (mayFollowRedirect(state->at, to.toString().toStdString())) {
            state->at = QUrl(QString::fromStdString(state->at)).resolved(to).toString().toStdString();
            emit reply->redirectAllowed();
        } else {
            state->refused = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, state, done = std::move(done)] {
        reply->deleteLater();
        if (state->cancelled) return;
        HttpResponse response;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const QNetworkReply::NetworkError error = reply->error();
        if (state->refused) {
            response.failure = HttpFailure::redirectRefused;
            response.errorText = "redirect to another origin refused";
        } else if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError) {
            response.failure = HttpFailure::timedOut;
            response.errorText = reply->errorString().toStdString();
        } else if (!status.isValid()) {
            response.failure = HttpFailure::transport;
            response.errorText = reply->errorString().toStdString();
        } else {
            // Any HTTP status is an answer; 4xx and 5xx bodies are read as well.
            response.status = status.toInt();
            response.body = reply->readAll().toStdString();
        }
        done(std::move(response));
    });
    QPointer<QNetworkReply> guarded(reply);
    return HttpTask([guarded, state] {
        state->cancelled = true;
        if (guarded) guarded->abort();
    });
}

}  // namespace platform
