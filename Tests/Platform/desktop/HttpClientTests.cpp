#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include "desktop/HttpClient.h"
#include "runtime/MainActor.h"

using namespace platform;
using namespace std::chrono_literals;

namespace {

// A loopback HTTP server that keeps every request it reads whole. "/slow"
// never answers; "/to-same" and "/to-other" redirect to "/landed" on this
// origin and on another ("localhost" for "127.0.0.1"); the rest echo the body.
struct LoopbackServer {
    QTcpServer server;
    std::string seen;

    LoopbackServer() {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            while (QTcpSocket* s = server.nextPendingConnection())
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] { answer(s); });
        });
    }
    std::string url(const std::string& path, const std::string& host = "127.0.0.1") const {
        return "http://" + host + ":" + std::to_string(server.serverPort()) + path;
    }
    void answer(QTcpSocket* s) {
        // A request is answered once its head and body are all in.
        const std::string request = (s->property("read").toByteArray() + s->readAll()).toStdString();
        const auto end = request.find("\r\n\r\n"), length = request.find("Content-Length: ");
        s->setProperty("read", QByteArray::fromStdString(request));
        if (end == std::string::npos || (length < end && request.size() < end + 4 + std::stoul(request.substr(length + 16)))) return;
        s->setProperty("read", QByteArray());
        seen += request;
        const std::string path = request.substr(request.find(' ') + 1, request.find(" HTTP/") - request.find(' ') - 1);
        const std::string body = request.substr(end + 4);
        std::string reply = "HTTP/1.1 418 Teapot\r\nContent-Length: " + std::to_string(body.size() + 2) + "\r\n\r\n<" + body + ">";
        if (path == "/to-same" || path == "/to-other")
            reply = "HTTP/1.1 302 Found\r\nContent-Length: 0\r\nLocation: " +
                    url("/landed", path == "/to-same" ? "127.0.0.1" : "localhost") + "\r\n\r\n";
        if (path != "/slow") s->write(reply.data(), qint64(reply.size()));
    }
};

HttpResponse send(NetworkHttpClient& client, HttpRequest request) {
    std::optional<HttpResponse> response;
    client.send(std::move(request), [&](HttpResponse r) { response = std::move(r); });
    processMainEventsUntil([&] { return response.has_value(); }, 5s);
    return response.value_or(HttpResponse{-1});
}

}  // namespace

TEST(NetworkHttpClient, AnswersWithAnyStatusAndItsBodyTimesOutAndCancels) {
    LoopbackServer server;
    NetworkHttpClient client;
    const std::string jpeg("\xff\xd8\x00\x01", 4);
    const HttpResponse r = send(client, {"PUT", server.url("/api?x=1"), {{"Content-Type", "image/jpeg"}}, jpeg});
    EXPECT_EQ(std::tie(r.failure, r.status, r.body), std::tuple(HttpFailure::none, 418, "<" + jpeg + ">"));
    EXPECT_NE(server.seen.find("PUT /api?x=1 HTTP/1.1"), std::string::npos);
    EXPECT_NE(server.seen.find("Content-Type: image/jpeg"), std::string::npos);
    EXPECT_EQ(send(client, {"GET", "http://127.0.0.1:1/nothing-listens"}).failure, HttpFailure::transport);

    HttpRequest slow{"GET", server.url("/slow")};
    slow.timeout = 200ms;
    EXPECT_EQ(send(client, slow).failure, HttpFailure::timedOut);
    bool answered = false;
    server.seen.clear();
    HttpTask task = client.send(slow, [&](HttpResponse) { answered = true; });
    processMainEventsUntil([&] { return !server.seen.empty(); }, 5s);
    task.cancel();
    processMainEventsUntil([&] { return answered; }, 400ms);
    EXPECT_FALSE(answered) << "a cancelled request never answers";
}

TEST(NetworkHttpClient, FollowsRedirectsOnlyWithinTheOriginAndNoneWhenAskedNotTo) {
    LoopbackServer server;
    NetworkHttpClient client;
    for (const auto& [path, withToken, failure] : {std::tuple{"/to-same", true, HttpFailure::none},
                                                   {"/to-other", true, HttpFailure::redirectRefused},
                                                   {"/to-other", false, HttpFailure::redirectRefused}}) {
        server.seen.clear();
        HttpRequest request{"GET", server.url(path)};
        if (withToken) request.headers.push_back({"Authorization", "Bearer secret"});
        EXPECT_EQ(send(client, request).failure, failure) << path << withToken;
        EXPECT_EQ(server.seen.find("GET /landed") != std::string::npos, failure == HttpFailure::none) << path << withToken;
    }
    server.seen.clear();
    HttpRequest once{"POST", server.url("/to-same"), {}, "code"};
    once.followsRedirects = false;
    const HttpResponse r = send(client, once);
    EXPECT_EQ(std::tie(r.failure, r.status), std::tuple(HttpFailure::none, 302)) << "the redirect is the answer";
    EXPECT_EQ(server.seen.find("/landed"), std::string::npos);
    EXPECT_FALSE(mayFollowRedirect("https://a.example/x", "http://a.example/y")) << "never down to http";
    EXPECT_FALSE(mayFollowRedirect("https://a.example/x", "https://a.example:8443/y"));
    EXPECT_FALSE(mayFollowRedirect("https://a.example/x", "file:///etc/passwd"));
    EXPECT_TRUE(mayFollowRedirect("https://a.example/x", "/y"));
}
