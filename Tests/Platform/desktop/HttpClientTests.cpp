#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "desktop/HttpClient.h"
#include "runtime/MainActor.h"

using namespace platform;
using namespace std::chrono_literals;

namespace {

// A loopback HTTP/1.1 server: records each request and answers by path.
// "/slow" never answers; "/to-same" and "/to-other" redirect to "/landed" on
// this origin and on another one ("localhost" instead of "127.0.0.1").
class LoopbackServer {
public:
    struct Seen {
        std::string method, path, head, body;
    };
    std::vector<Seen> seen;

    LoopbackServer() {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection())
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] { read(s); });
        });
    }
    std::string url(const std::string& path, const char* host = "127.0.0.1") const {
        return "http://" + std::string(host) + ":" + std::to_string(server_.serverPort()) + path;
    }

private:
    void read(QTcpSocket* s) {
        auto& buffer = buffers_[s];
        buffer += s->readAll().toStdString();
        const auto end = buffer.find("\r\n\r\n");
        if (end == std::string::npos) return;
        const std::string head = buffer.substr(0, end);
        std::size_t length = 0;
        if (auto at = head.find("Content-Length: "); at != std::string::npos) length = std::stoul(head.substr(at + 16));
        if (buffer.size() < end + 4 + length) return;
        Seen r{head.substr(0, head.find(' ')), head.substr(head.find(' ') + 1, head.find(' ', head.find(' ') + 1) - head.find(' ') - 1),
               head, buffer.substr(end + 4, length)};
        buffer.erase(0, end + 4 + length);
        seen.push_back(r);
        std::string reply;
        if (r.path == "/slow") return;
        if (r.path == "/to-same" || r.path == "/to-other")
            reply = "HTTP/1.1 302 Found\r\nLocation: " + url("/landed", r.path == "/to-same" ? "127.0.0.1" : "localhost") +
                    "\r\nContent-Length: 0\r\n\r\n";
        else
            reply = "HTTP/1.1 418 Teapot\r\nContent-Length: " + std::to_string(r.body.size() + 2) + "\r\n\r\n<" + r.body + ">";
        s->write(reply.data(), qint64(reply.size()));
    }
    QTcpServer server_;
    std::map<QTcpSocket*, std::string> buffers_;
};

std::optional<HttpResponse> send(NetworkHttpClient& client, HttpRequest request, std::chrono::milliseconds wait = 5s) {
    std::optional<HttpResponse> response;
    client.send(std::move(request), [&](HttpResponse r) { response = std::move(r); });
    processMainEventsUntil([&] { return response.has_value(); }, wait);
    return response;
}

}  // namespace

TEST(NetworkHttpClient, SendsMethodHeadersAndBodyAndReturnsStatusAndBody) {
    LoopbackServer server;
    NetworkHttpClient client;
    const std::string jpeg("\xff\xd8\x00\x01", 4);
    auto r = send(client, {"PUT", server.url("/api?x=1"), {{"Content-Type", "image/jpeg"}, {"X-Probe", "yes"}}, jpeg});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->failure, HttpFailure::none);
    EXPECT_EQ(r->status, 418) << "any status is an answer";
    EXPECT_EQ(r->body, "<" + jpeg + ">");
    ASSERT_EQ(server.seen.size(), 1u);
    EXPECT_EQ(server.seen[0].method, "PUT");
    EXPECT_EQ(server.seen[0].path, "/api?x=1");
    EXPECT_NE(server.seen[0].head.find("X-Probe: yes"), std::string::npos);

    auto refused = send(client, {"GET", "http://127.0.0.1:1/nothing-listens"});
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->failure, HttpFailure::transport);
}

TEST(NetworkHttpClient, TimesOutAndCancelsWithoutAnswering) {
    LoopbackServer server;
    NetworkHttpClient client;
    HttpRequest slow{"GET", server.url("/slow")};
    slow.timeout = 200ms;
    auto r = send(client, slow);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->failure, HttpFailure::timedOut);

    slow.timeout = 60s;
    bool answered = false;
    HttpTask task = client.send(slow, [&](HttpResponse) { answered = true; });
    processMainEventsUntil([&] { return server.seen.size() == 2; }, 5s);
    task.cancel();
    processMainEventsUntil([&] { return answered; }, 300ms);
    EXPECT_FALSE(answered);
}

TEST(NetworkHttpClient, NeverCarriesTheTokenToAnotherOrigin) {
    LoopbackServer server;
    NetworkHttpClient client;
    const std::pair<std::string, std::string> token{"Authorization", "Bearer secret"};
    struct Case {
        std::string path;
        bool withToken;
        HttpFailure failure;
    };
    for (const Case& c : {Case{"/to-same", true, HttpFailure::none}, Case{"/to-other", true, HttpFailure::redirectRefused},
                          Case{"/to-other", false, HttpFailure::none}}) {
        server.seen.clear();
        HttpRequest request{"GET", server.url(c.path)};
        if (c.withToken) request.headers.push_back(token);
        auto r = send(client, request);
        ASSERT_TRUE(r) << c.path;
        EXPECT_EQ(r->failure, c.failure) << c.path << c.withToken;
        const bool landed = std::any_of(server.seen.begin(), server.seen.end(), [](auto& r) { return r.path == "/landed"; });
        EXPECT_EQ(landed, c.failure == HttpFailure::none) << c.path << c.withToken;
    }
    EXPECT_FALSE(mayFollowRedirect("https://a.example/x", "http://a.example/y", false)) << "never down to http";
    EXPECT_FALSE(mayFollowRedirect("https://a.example/x", "file:///etc/passwd", false));
    EXPECT_TRUE(mayFollowRedirect("https://a.example/x", "/y", true));
}
