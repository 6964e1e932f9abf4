#pragma once
// Web requests: a method, a body (JSON text or binary bytes), headers and a
// time-out; the status, body or transport failure come back on the main
// thread. A redirect to another origin is never followed, nor one from https
// to http, and a request may refuse redirects altogether. Code asks
// `HttpClient::shared()`; tests install a `RecordingHttpClient`.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;  // bytes as sent
    // Longest wait without any data moving.
    std::chrono::milliseconds timeout{60000};
    // False: a redirect is the answer itself (its status), never followed.
    bool followsRedirects = true;

    bool hasHeader(const std::string& name) const;
};

enum class HttpFailure {
    none,             // an HTTP response arrived (any status)
    transport,        // no connection, reset, TLS failure, bad address
    timedOut,
    redirectRefused,  // a redirect to another origin, or from https down to http
};

struct HttpResponse {
    int status = 0;  // 0 unless a response arrived
    std::string body;
    HttpFailure failure = HttpFailure::none;
    std::string errorText;
};

// Stops a request; its completion then never runs.
class HttpTask {
public:
    HttpTask() = default;
    explicit HttpTask(std::function<void()> cancel) : cancel_(std::make_shared<std::function<void()>>(std::move(cancel))) {}
    void cancel() const {
        if (cancel_ && *cancel_) std::exchange(*cancel_, nullptr)();
    }

private:
    std::shared_ptr<std::function<void()>> cancel_;
};

class HttpClient {
public:
    using Completion = std::function<void(HttpResponse)>;
    virtual ~HttpClient() = default;

    // Sends `request`; `done` runs once on the main thread unless cancelled.
    virtual HttpTask send(HttpRequest request, Completion done) = 0;

    static HttpClient& shared();
    // Installs `client` (not owned); nullptr restores the network one.
    static void setShared(HttpClient* client);
};

// Whether a redirect from `from` to `to` may be followed: only within the
// same origin (scheme, host and port), never to another (pure).
bool mayFollowRedirect(const std::string& from, const std::string& to);

class NetworkHttpClient final : public HttpClient {
public:
    NetworkHttpClient();
    ~NetworkHttpClient() override;
    HttpTask send(HttpRequest request, Completion done) override;

private:
    struct Manager;
    std::unique_ptr<Manager> manager_;
};

// Records requests and answers them when the test says, for tests.
class RecordingHttpClient final : public HttpClient {
public:
    struct Sent {
        HttpRequest request;
        Completion done;
        bool cancelled = false;
    };
    std::vector<std::shared_ptr<Sent>> sent;

    HttpTask send(HttpRequest request, Completion done) override {
        auto s = std::make_shared<Sent>(Sent{std::move(request), std::move(done)});
        sent.push_back(s);
        return HttpTask([s] { s->cancelled = true; });
    }
    // Answers the request at `index` (once, unless it was cancelled).
    void answer(std::size_t index, HttpResponse response) {
        auto& s = *sent.at(index);
        if (!s.cancelled && s.done) std::exchange(s.done, nullptr)(std::move(response));
    }
};

}  // namespace platform
