#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "desktop/HttpClient.h"
#include "runtime/MainActor.h"

using namespace platform;
using namespace std::chrono_literals;

namespace {

// A loopback HTTP server that records each request's head and body. "/slow"
// never answers; "/to-same" and "/to-other" redirect to "/landed" on this
// origin and on another ("localhost" for "127.0.0.1"); the rest echo the body.
struct LoopbackServer {
    QTcpServer server;
    std::vector<std::string> seen;  // head, blank line, body

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
    bool saw(const std::string& text) const {
        for (const auto& r : seen)
            if (r.find(text) != std::string::npos) return true;
        return false;
    }
    void answer(QTcpSocket* s) {
        std::string request = s->property("buffer").toByteArray().toStdString() + s->readAll().toStdString();
        s->setProperty("buffer", QByteArray::fromStdString(request));
        const auto end = request.find("\r\n\r\n");
        const auto length = request.find("Content-Length: ");
        if (end == std::string::npos || request.size() < end + 4 + (length < end ? std::stoul(request.substr(length + 16)) : 0)) return;
        s->setProperty("buffer", QByteArray());
        seen.push_back(request);
        const std::string path = request.substr(request.find(' ') + 1, request.find(" HTTP/") - request.find(' ') - 1);
        const std::string body = request.substr(end + 4);
        std::string reply = "HTTP/1.1 418 Teapot\r\nContent-Length: " + std::to_string(body.size() + 2) + "\r\n\r\n<" + body + ">";
        if (path == "/slow") return;
        if (path == "/to-same" || path == "/to-other")
            reply = "HTTP/1.1 302 Found\r\nLocation: " + url("/landed", path == "/to-same" ? "127.0.0.1" : "localhost") +
                    "\r\nContent-Length: 0\r\n\r\n";
        s->write(reply.data(), qint64(reply.size()));
    }
};

std::optional<HttpResponse> send(NetworkHttpClient& client, HttpRequest request) {
    std::optional<HttpResponse> response;
    client.send(std::move(request), [&](HttpResponse r) { response = std::move(r); });
    processMainEventsUntil([&] { return response.has_value(); }, 5s);
    return response;
}

}  // namespace

TEST(NetworkHttpClient, SendsTheRequestAndReturnsAnyStatusWithItsBody) {
    LoopbackServer server;
    NetworkHttpClient client;
    const std::string jpeg("\xff\xd8\x00\x01", 4);
    auto r = send(client, {"PUT", server.url("/api?x=1"), {{"Content-Type", "image/jpeg"}}, jpeg});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->failure, HttpFailure::none);
    EXPECT_EQ(r->status, 418);
    EXPECT_EQ(r->body, "<" + jpeg + ">");
    EXPECT_TRUE(server.saw("PUT /api?x=1 HTTP/1.1") && server.saw("Content-Type: image/jpeg"));
    EXPECT_EQ(send(client, {"GET", "http://127.0.0.1:1/nothing-listens"})->failure, HttpFailure::transport);
}

TEST(NetworkHttpClient, TimesOutAndCancelsWithoutAnswering) {
    LoopbackServer server;
    NetworkHttpClient client;
    HttpRequest slow{"GET", server.url("/slow")};
    slow.timeout = 200ms;
    EXPECT_EQ(send(client, slow)->failure, HttpFailure::timedOut);

    bool answered = false;
    slow.timeout = 60s;
    HttpTask task = client.send(slow, [&](HttpResponse) { answered = true; });
    processMainEventsUntil([&] { return server.seen.size() == 2; }, 5s);
    task.cancel();
    processMainEventsUntil([&] { return answered; }, 300ms);
    EXPECT_FALSE(answered);
}

TEST(NetworkHttpClient, NeverCarriesTheTokenToAnotherOrigin) {
    LoopbackServer server;
    NetworkHttpClient client;
    const std::tuple<std::string, bool, HttpFailure> cases[] = {
        {"/to-same", true, HttpFailure::none},
        {"/to-other", true, HttpFailure::redirectRefused},
        {"/to-other", false, HttpFailure::none},
    };
    for (const auto& [path, withToken, failure] : cases) {
        server.seen.clear();
        HttpRequest request{"GET", server.url(path)};
        if (withToken) request.headers.push_back({"Authorization", "Bearer secret"});
        EXPECT_EQ(send(client, request)->failure, failure) << path << withToken;
        EXPECT_EQ(server.saw("GET /landed"), failure == HttpFailure::none) << path << withToken;
    }
    EXPECT_FALSE(mayFollowRedirect("https://a.example/x", "http://a.example/y", false)) << "never down to http";
    EXPECT_FALSE(mayFollowRedirect("https://a.example/x", "file:///etc/passwd", false));
}
