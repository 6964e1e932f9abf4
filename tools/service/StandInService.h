#pragma once
// A small stand-in of the product's web service, for development and tests:
// the account page with one-time codes, the code exchange, the leaderboard
// report and withdrawal with bearer checks and a daily cap, the leaderboard
// and profile pages, and the share upload. HTTP on loopback only, through Qt
// HTTP Server, state in SQLite. Knobs force the answers the application must
// cope with. Over HTTP the knobs and the record of requests (which holds
// bearer tokens) are there only in a run started for tests: any local user
// can reach the port, and must not choose the next answer nor read a token.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QObject>

class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponse;
struct sqlite3;

namespace tidewell::service {

struct ServiceRequest {
    std::string method;
    std::string target;  // path and query as sent
    std::map<std::string, std::string> headers;  // names lower-cased
    std::string body;

    std::string path() const;   // without the query
    std::string query() const;  // after "?", raw
    std::string header(const std::string& lowerName) const;
};

struct ServiceAnswer {
    int status = 200;
    std::string contentType;
    std::string body;
    std::string location;  // a redirect's target
};

// The one record kept per request (the Authorization header included, so
// tests can check it went out or stayed home).
struct RecordedRequest {
    std::string method;
    std::string target;
    std::string authorization;
    std::string contentType;
    std::string body;
    int status = 0;
};

// Named answers the knobs can force.
ServiceAnswer tooManyRequests();        // 429 with a JSON error
ServiceAnswer serverErrorPage();        // 500 with an HTML page
ServiceAnswer refusal(std::string error);  // 400 with {"error": …}
ServiceAnswer junkOK();                 // 200 whose body is no reply the app knows
ServiceAnswer emptyAnswer(int status);  // 201, 204, 200 … with no body

// The most the reports of one day may add to a total (300 GB).
inline constexpr std::uint64_t dailyCapBytes = 300'000'000'000ULL;

struct ServiceOptions {
    // Keeps the record of requests and serves it at GET /__requests, tokens
    // included, and takes knobs at POST /__knobs/<route>.
    bool servesRequestRecord = false;
};

// The record keeps the newest requests only, each body cut at a length (back
// to the start of a character the cut would split), so a long run of large
// uploads never grows the service without end. GET /__requests writes each
// byte that is part of no UTF-8 character as the text \xNN.
inline constexpr std::size_t recordedRequestLimit = 200;
inline constexpr std::size_t recordedBodyLimit = 64 * 1024;

class StandInService : public QObject {
public:
    using Options = ServiceOptions;
    // `databasePath` ":memory:" keeps nothing between runs.
    explicit StandInService(const std::string& databasePath = ":memory:", Options options = Options());
    ~StandInService() override;

    // Listens on 127.0.0.1; port 0 takes a free one.
    bool listen(std::uint16_t port = 0);
    std::uint16_t port() const;
    // "http://127.0.0.1:<port>"
    std::string origin() const;

    // Issues a one-time sign-in code for an account (made when new).
    std::string issueCode(const std::string& email, const std::string& name);
    // The session token of a signed-in account, made as a code exchange would.
    std::string sessionFor(const std::string& email, const std::string& name = {});

    // Routes: "token", "leaderboard.put", "leaderboard.delete", "share",
    // "leaderboard", "account". The next `times` requests to the route get
    // `answer` instead of the real one (-1: until cleared).
    void force(const std::string& route, ServiceAnswer answer, int times = 1);
    void clearForced();

    // The day the cap counts in ("2026-12-06"); the real UTC day unless set.
    void setDay(std::optional<std::string> day) { day_ = std::move(day); }
    // The total the board holds for a nickname, if it holds one.
    std::optional<std::uint64_t> totalFor(const std::string& nickname);
    // Puts an account of that nickname on the board, through the report an
    // application would send (for pictures of the leaderboard page).
    void addToBoard(const std::string& nickname, int colorIndex, std::uint64_t lifetimeBytes);

    // Kept only when the options ask for the record (empty otherwise).
    std::deque<RecordedRequest> requests;

private:
    struct Forced {
        ServiceAnswer answer;
        int times;
    };
    using Handler = std::function<ServiceAnswer(const ServiceRequest&)>;
    // Records the request and answers it: a forced answer of `forcedRoute`
    // (none: the route takes no knobs) when one is set, else the handler's.
    QHttpServerResponse respond(const QHttpServerRequest& request, const char* forcedRoute, const Handler& handler);
    std::string today() const;
    std::optional<ServiceAnswer> takeForced(const std::string& route);
    std::optional<std::int64_t> userForBearer(const ServiceRequest& request);

    ServiceAnswer accountPage(const ServiceRequest& request);
    ServiceAnswer accountSubmit(const ServiceRequest& request);
    ServiceAnswer token(const ServiceRequest& request);
    ServiceAnswer report(const ServiceRequest& request);
    ServiceAnswer leave(const ServiceRequest& request);
    ServiceAnswer leaderboardPage();
    ServiceAnswer profilePage(const std::string& name);
    ServiceAnswer shareUpload(const ServiceRequest& request);
    ServiceAnswer shareImage(const std::string& id);
    ServiceAnswer knob(const ServiceRequest& request);
    ServiceAnswer recordList();

    sqlite3* db_ = nullptr;
    Options options_;
    std::unique_ptr<QHttpServer> server_;
    std::map<std::string, Forced> forced_;
    std::optional<std::string> day_;
};

}  // namespace tidewell::service
