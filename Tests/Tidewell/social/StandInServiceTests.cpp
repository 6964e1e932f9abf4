// The stand-in service as a client on the wire sees it: raw requests on a
// socket, so malformed ones reach it as they were sent.

#include <gtest/gtest.h>

#include <QTcpSocket>

#include "StandInService.h"
#include "runtime/MainActor.h"

namespace {

using tidewell::service::StandInService;
using tidewell::service::recordedBodyLimit;
using tidewell::service::recordedRequestLimit;

// Sends `request` as bytes and returns what came back before the service
// closed the connection or a full answer arrived.
std::string sendRaw(const StandInService& service, const std::string& request) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, service.port());
    platform::processMainEventsUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; }, std::chrono::seconds(10));
    socket.write(request.data(), qint64(request.size()));
    std::string answer;
    platform::processMainEventsUntil(
        [&] {
            answer += socket.readAll().toStdString();
            const auto head = answer.find("\r\n\r\n");
            const auto length = answer.find("Content-Length: ");
            const bool whole = head != std::string::npos && length != std::string::npos && length < head &&
                               answer.size() >= head + 4 + std::stoul(answer.substr(length + 16));
            return whole || socket.state() == QAbstractSocket::UnconnectedState;
        },
        std::chrono::seconds(10));
    return answer;
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

TEST(StandInService, RefusesAMalformedRequestAndServesTheNextOne) {
    StandInService service(":memory:", {.servesRequestRecord = true});
    ASSERT_TRUE(service.listen());
    // A target with a space in it, and a request line with no target: once
    // read as requests for "/leader" and "", now closed without an answer.
    for (const char* malformed : {"GET /leader board HTTP/1.1\r\nHost: x\r\n\r\n", "GET\r\n\r\n"})
        EXPECT_EQ(sendRaw(service, malformed), "") << malformed;
    EXPECT_TRUE(service.requests.empty());
    EXPECT_TRUE(startsWith(sendRaw(service, "GET /leaderboard HTTP/1.1\r\nHost: x\r\n\r\n"), "HTTP/1.1 200"));
    ASSERT_EQ(service.requests.size(), 1u);
}

std::string post(const std::string& target, const std::string& body) {
    return "POST " + target + " HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Knobs and the record of requests (with its tokens) exist only in a run
// started for them; there the record keeps the newest requests, bodies cut.
TEST(StandInService, TakesKnobsAndKeepsItsRequestRecordOnlyWhenStartedForIt) {
    const std::string ask = "GET /__requests HTTP/1.1\r\nHost: x\r\n\r\n";
    const std::string planted = post("/__knobs/token?status=200", R"({"session":"planted"})");
    StandInService plain;
    ASSERT_TRUE(plain.listen());
    EXPECT_TRUE(startsWith(sendRaw(plain, planted), "HTTP/1.1 404"));
    const std::string exchanged = sendRaw(plain, post("/api/app/token", R"({"code":")" + plain.issueCode("jane@example.com", "") + "\"}"));
    EXPECT_TRUE(startsWith(exchanged, "HTTP/1.1 200")) << exchanged;
    EXPECT_EQ(exchanged.find("planted"), std::string::npos) << exchanged;
    EXPECT_TRUE(startsWith(sendRaw(plain, ask), "HTTP/1.1 404"));
    EXPECT_TRUE(plain.requests.empty());

    StandInService recording(":memory:", {.servesRequestRecord = true});
    ASSERT_TRUE(recording.listen());
    EXPECT_TRUE(startsWith(sendRaw(recording, planted), "HTTP/1.1 204"));
    EXPECT_NE(sendRaw(recording, post("/api/app/token", R"({"code":"x"})")).find("planted"), std::string::npos);
    sendRaw(recording, "DELETE /api/app/leaderboard HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer t\r\n\r\n");
    const std::string answer = sendRaw(recording, ask);
    EXPECT_TRUE(startsWith(answer, "HTTP/1.1 200")) << answer;
    EXPECT_NE(answer.find("\"authorization\":\"Bearer t\""), std::string::npos) << answer.substr(answer.size() - 300);
    sendRaw(recording, post("/api/share", std::string(recordedBodyLimit + 1000, 'j')));
    EXPECT_EQ(recording.requests.back().body.size(), recordedBodyLimit);
    // Measured by a number written out, so a changed limit cannot pass unseen.
    sendRaw(recording, post("/api/share", std::string(70'000, 'k')));
    EXPECT_EQ(recording.requests.back().body, std::string(65'536, 'k'));
    for (std::size_t i = 0; i < recordedRequestLimit; ++i) sendRaw(recording, "GET /u/" + std::to_string(i) + " HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_EQ(recording.requests.size(), recordedRequestLimit);
    EXPECT_EQ(recording.requests.front().target, "/u/0");
}

// Bodies are recorded up to the limit exactly, cut back to a character the
// limit would split, and any bytes at all are served from the record.
TEST(StandInService, RecordsAnyBodyWithinItsLimitAndServesItsRecord) {
    StandInService service(":memory:", {.servesRequestRecord = true});
    ASSERT_TRUE(service.listen());
    const std::string whole(recordedBodyLimit, 'a');
    const std::string shortOf1(recordedBodyLimit - 1, 'a'), shortOf2(recordedBodyLimit - 2, 'a');
    const std::vector<std::pair<std::string, std::string>> cases = {
        {whole, whole},
        {whole + "b", whole},
        {shortOf1 + "\u00E9", shortOf1},
        {shortOf2 + "\U0001F30A", shortOf2},
        {shortOf2 + "\u00E9b", shortOf2 + "\u00E9"},
        {std::string(recordedBodyLimit + 1, '\x80'), std::string(recordedBodyLimit, '\x80')},
    };
    for (const auto& [body, recorded] : cases) {
        sendRaw(service, post("/api/share", body));
        ASSERT_FALSE(service.requests.empty());
        EXPECT_EQ(service.requests.back().body.size(), recorded.size()) << body.substr(recordedBodyLimit - 4);
        EXPECT_TRUE(service.requests.back().body == recorded) << body.substr(recordedBodyLimit - 4);
    }
    // A JPEG upload, and a header that is no UTF-8: both served as escapes.
    sendRaw(service, "POST /api/share HTTP/1.1\r\nHost: x\r\nContent-Type: image/jpeg\r\nAuthorization: Bearer caf\xE9\r\n"
                     "Content-Length: 5\r\n\r\n\xFF\xD8\xFF\u00E9");
    const std::string answer = sendRaw(service, "GET /__requests HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(startsWith(answer, "HTTP/1.1 200")) << answer.substr(0, 200);
    EXPECT_NE(answer.find("\"body\":\"\\\\xFF\\\\xD8\\\\xFF\u00E9\""), std::string::npos) << answer.substr(answer.size() - 300);
    EXPECT_NE(answer.find(R"("authorization":"Bearer caf\\xE9")"), std::string::npos) << answer.substr(answer.size() - 300);
}

}  // namespace
