#include "StandInService.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QUrl>

#include <sqlite3.h>

#include <chrono>
#include <ctime>
#include <limits>
#include <random>
#include <regex>
#include <sstream>

#include <nlohmann/json.hpp>

#include "foundation/Formatters.h"
#include "foundation/Utf8.h"

namespace tidewell::service {

using json = nlohmann::json;

namespace {

constexpr std::int64_t codeLifetimeSeconds = 600;

std::int64_t unixNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string randomToken(std::size_t length) {
    static std::random_device device;
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof(alphabet) - 2);
    std::string out;
    for (std::size_t i = 0; i < length; ++i) out += alphabet[pick(device)];
    return out;
}

std::string html(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string pathPiece(const std::string& text) {
    return QString::fromUtf8(QUrl::toPercentEncoding(QString::fromStdString(text))).toStdString();
}

std::string decoded(const std::string& text) {
    QByteArray bytes = QByteArray::fromStdString(text);
    bytes.replace('+', ' ');
    return QByteArray::fromPercentEncoding(bytes).toStdString();
}

// One value of an "a=1&b=2" text.
std::optional<std::string> formValue(const std::string& form, const std::string& name) {
    std::stringstream in(form);
    std::string pair;
    while (std::getline(in, pair, '&')) {
        const auto eq = pair.find('=');
        if (decoded(pair.substr(0, eq)) != name) continue;
        return eq == std::string::npos ? std::string() : decoded(pair.substr(eq + 1));
    }
    return std::nullopt;
}

// The bytes a UTF-8 character starting with `lead` takes (1 for a byte that starts none).
std::size_t characterLength(unsigned char lead) { return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1; }

// The first `limit` bytes of `bytes`, cut back to the start of a character the limit would split.
std::string cutAtCharacter(const std::string& bytes, std::size_t limit) {
    if (bytes.size() <= limit) return bytes;
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if ((at(limit) & 0xC0) != 0x80) return bytes.substr(0, limit);  // no character goes on past the limit
    // Back to the lead byte of the character, at most three bytes back.
    std::size_t lead = limit - 1;
    while (lead > 0 && limit - lead < 3 && (at(lead) & 0xC0) == 0x80) --lead;
    const bool split = at(lead) >= 0xC0 && lead + characterLength(at(lead)) > limit;
    return bytes.substr(0, split ? lead : limit);
}

// `bytes` as JSON text can carry them: UTF-8 as it is, and each byte that is
// part of no character (a JPEG upload, a header in Latin-1) written as \xNN.
std::string recordText(const std::string& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = characterLength(static_cast<unsigned char>(bytes[i]));
        if (platform::isValidUtf8(std::string_view(bytes).substr(i, length))) {
            out.append(bytes, i, length);
            i += length;
        } else {
            static const char hex[] = "0123456789ABCDEF";
            const auto byte = static_cast<unsigned char>(bytes[i++]);
            out += {'\\', 'x', hex[byte >> 4], hex[byte & 0xF]};
        }
    }
    return out;
}

ServiceAnswer jsonAnswer(int status, const json& body) { return {status, "application/json", body.dump(), {}}; }
ServiceAnswer htmlAnswer(int status, std::string body) { return {status, "text/html; charset=utf-8", std::move(body), {}}; }

QHttpServerResponse toResponse(const ServiceAnswer& answer) {
    const auto status = static_cast<QHttpServerResponse::StatusCode>(answer.status);
    QHttpServerResponse response = answer.body.empty() && answer.contentType.empty()
                                       ? QHttpServerResponse(status)
                                       : QHttpServerResponse(QByteArray::fromStdString(answer.contentType),
                                                             QByteArray::fromStdString(answer.body), status);
    if (!answer.location.empty()) response.setHeader("Location", QByteArray::fromStdString(answer.location));
    return response;
}

// Prepared statement with positional binding, finalised on scope exit.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement& bind(int i, const std::string& v) {
        sqlite3_bind_text(stmt_, i, v.data(), int(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int i, std::int64_t v) {
        sqlite3_bind_int64(stmt_, i, v);
        return *this;
    }
    Statement& blob(int i, const std::string& v) {
        sqlite3_bind_blob(stmt_, i, v.data(), int(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    bool step() { return sqlite3_step(stmt_) == SQLITE_ROW; }
    bool run() {
        const int rc = sqlite3_step(stmt_);
        return rc == SQLITE_DONE || rc == SQLITE_ROW;
    }
    std::int64_t integer(int col) const { return sqlite3_column_int64(stmt_, col); }
    std::string text(int col) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_blob(stmt_, col));
        return p ? std::string(p, std::size_t(sqlite3_column_bytes(stmt_, col))) : std::string();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

constexpr const char* schema = R"(
CREATE TABLE IF NOT EXISTS users (id INTEGER PRIMARY KEY, email TEXT UNIQUE NOT NULL, name TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS codes (code TEXT PRIMARY KEY, user_id INTEGER NOT NULL, created INTEGER NOT NULL, used INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS sessions (token TEXT PRIMARY KEY, user_id INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS entries (user_id INTEGER PRIMARY KEY, nickname TEXT UNIQUE NOT NULL, body TEXT NOT NULL,
  color_index INTEGER NOT NULL, accessory TEXT NOT NULL, lifetime_bytes INTEGER NOT NULL, link TEXT NOT NULL,
  day TEXT NOT NULL, day_base INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS shares (id TEXT PRIMARY KEY, heading TEXT NOT NULL, image BLOB NOT NULL);
)";

// The page colours the application's stylesheet overrides in light appearance.
constexpr const char* pageStyle = R"(
:root { color-scheme: dark; --bg: #0b1513; --bg-2: #0f1f1b; --panel: rgba(255,255,255,0.04);
  --panel-strong: rgba(255,255,255,0.08); --stroke: rgba(255,255,255,0.08); --stroke-strong: rgba(255,255,255,0.16);
  --text: #e6f1ed; --muted: #9fb5ae; --faint: #73877f; --accent-hi: #64d2ff; }
@media (prefers-color-scheme: light) { :root { color-scheme: light; --bg: #f3f7f5; --bg-2: #e8f0ec;
  --panel: #ffffff; --panel-strong: #f0f5f3; --stroke: #dbe5e1; --stroke-strong: #c3d1cb;
  --text: #10201c; --muted: #4d625c; --faint: #6f827c; --accent-hi: #0a6fd6; } }
html, body { margin: 0; background: linear-gradient(var(--bg), var(--bg-2)); color: var(--text);
  font: 14px/1.45 Inter, system-ui, sans-serif; min-height: 100%; }
nav.top { display: flex; gap: 18px; align-items: center; padding: 14px 28px; border-bottom: 1px solid var(--stroke); }
nav.top a { color: var(--muted); text-decoration: none; }
nav.top .brand { color: var(--text); font-weight: 700; margin-right: auto; }
main { max-width: 760px; margin: 0 auto; padding: 0 24px 32px; }
.leaderboard { padding-top: 28px; }
.leaderboard h1 { font-size: 20px; margin: 0 0 14px; }
.row { display: flex; align-items: center; gap: 12px; padding: 10px 14px; margin-bottom: 8px;
  border-radius: 12px; background: var(--panel); border: 1px solid var(--stroke); }
.row .rank { width: 28px; color: var(--faint); font-variant-numeric: tabular-nums; }
.row .avatar { width: 34px; height: 34px; border-radius: 50%; background: var(--panel-strong); border: 1px solid var(--stroke-strong); }
.row a.name { color: var(--text); font-weight: 600; text-decoration: none; flex: 1; }
.row .bytes { color: var(--accent-hi); font-weight: 600; font-variant-numeric: tabular-nums; }
.empty { color: var(--muted); padding: 24px 0; }
body > footer { color: var(--faint); padding: 20px 28px; border-top: 1px solid var(--stroke); }
form { display: grid; gap: 10px; max-width: 360px; }
input, button { font: inherit; padding: 8px 10px; border-radius: 8px; border: 1px solid var(--stroke-strong);
  background: var(--panel); color: var(--text); }
)";

const std::vector<std::string> avatarColours = {"#30d158", "#0a84ff", "#ff9f0a", "#bf5af2", "#ff375f", "#64d2ff"};

std::string page(const std::string& title, const std::string& content) {
    return "<!doctype html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + html(title) +
           "</title><meta name=\"viewport\" content=\"width=device-width\"><style>" + pageStyle +
           "</style></head><body><nav class=\"top\"><a class=\"brand\" href=\"/\">Tidewell</a>"
           "<a href=\"/leaderboard\">Leaderboard</a><a href=\"/account\">Account</a></nav><main>" +
           content + "</main><footer>Tidewell · reclaimed space, ranked.</footer></body></html>";
}

ServiceAnswer notFound() { return htmlAnswer(404, page("Not found", "<p class=\"empty\">Nothing here.</p>")); }

bool isValidNickname(const std::string& name) {
    static const std::regex rule("[A-Za-z0-9_.-]{3,20}");
    return std::regex_match(name, rule);
}

bool isValidLink(const std::string& link) {
    if (link.empty()) return true;
    if (link.size() > 200) return false;
    const QUrl url(QString::fromStdString(link), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == "http" || scheme == "https") && url.host().contains('.');
}

}  // namespace

std::string ServiceRequest::path() const { return target.substr(0, target.find('?')); }

std::string ServiceRequest::query() const {
    const auto q = target.find('?');
    return q == std::string::npos ? std::string() : target.substr(q + 1);
}

std::string ServiceRequest::header(const std::string& lowerName) const {
    const auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
}

ServiceAnswer tooManyRequests() { return jsonAnswer(429, {{"error", "Too many reports. Try again in a moment."}}); }
ServiceAnswer serverErrorPage() {
    return htmlAnswer(500, "<!doctype html><html><body><h1>500 Internal Server Error</h1></body></html>");
}
ServiceAnswer refusal(std::string error) { return jsonAnswer(400, {{"error", std::move(error)}}); }
ServiceAnswer junkOK() { return {200, "application/json", R"({"ok":true,"entry":"soon"})", {}}; }
ServiceAnswer emptyAnswer(int status) { return {status, {}, {}, {}}; }

StandInService::StandInService(const std::string& databasePath, Options options) : options_(options) {
    sqlite3_open(databasePath.c_str(), &db_);
    sqlite3_exec(db_, schema, nullptr, nullptr, nullptr);
}

StandInService::~StandInService() { sqlite3_close(db_); }

bool StandInService::listen(std::uint16_t port) {
    server_ = std::make_unique<QHttpServer>();
    auto on = [this](const char* path, QHttpServerRequest::Method method, const char* forcedRoute, Handler handler) {
        server_->route(path, method, [this, forcedRoute, handler](const QHttpServerRequest& request) {
            return respond(request, forcedRoute, handler);
        });
    };
    auto onNamed = [this](const char* path, QHttpServerRequest::Method method, Handler handler) {
        server_->route(path, method, [this, handler](const QString&, const QHttpServerRequest& request) {
            return respond(request, nullptr, handler);
        });
    };
    using Method = QHttpServerRequest::Method;
    on("/account", Method::Get, "account", [this](const ServiceRequest& r) { return accountPage(r); });
    on("/account", Method::Post, "account", [this](const ServiceRequest& r) { return accountSubmit(r); });
    on("/api/app/token", Method::Post, "token", [this](const ServiceRequest& r) { return token(r); });
    on("/api/app/leaderboard", Method::Put, "leaderboard.put", [this](const ServiceRequest& r) { return report(r); });
    on("/api/app/leaderboard", Method::Delete, "leaderboard.delete", [this](const ServiceRequest& r) { return leave(r); });
    on("/leaderboard", Method::Get, "leaderboard", [this](const ServiceRequest&) { return leaderboardPage(); });
    on("/", Method::Get, "leaderboard", [this](const ServiceRequest&) { return leaderboardPage(); });
    on("/api/share", Method::Post, "share", [this](const ServiceRequest& r) { return shareUpload(r); });
    onNamed("/u/<arg>", Method::Get, [this](const ServiceRequest& r) { return profilePage(decoded(r.path().substr(3))); });
    onNamed("/s/<arg>", Method::Get, [this](const ServiceRequest& r) { return shareImage(r.path().substr(3)); });
    // Only a run started for tests lets a request choose answers or read the record.
    if (options_.servesRequestRecord) {
        onNamed("/__knobs/<arg>", Method::Post, [this](const ServiceRequest& r) { return knob(r); });
        on("/__requests", Method::Get, nullptr, [this](const ServiceRequest&) { return recordList(); });
    }
    server_->setMissingHandler([](const QHttpServerRequest&, QHttpServerResponder&& responder) {
        toResponse(notFound()).write(std::move(responder));
    });
    return server_->listen(QHostAddress::LocalHost, port) != 0;
}

std::uint16_t StandInService::port() const {
    if (!server_) return 0;
    const auto ports = server_->serverPorts();
    return ports.isEmpty() ? 0 : ports.front();
}

std::string StandInService::origin() const { return "http://127.0.0.1:" + std::to_string(port()); }

QHttpServerResponse StandInService::respond(const QHttpServerRequest& request, const char* forcedRoute, const Handler& handler) {
    ServiceRequest r;
    static const std::map<QHttpServerRequest::Method, const char*> names = {
        {QHttpServerRequest::Method::Get, "GET"}, {QHttpServerRequest::Method::Post, "POST"},
        {QHttpServerRequest::Method::Put, "PUT"}, {QHttpServerRequest::Method::Delete, "DELETE"}};
    const auto name = names.find(request.method());
    r.method = name == names.end() ? "OTHER" : name->second;
    r.target = request.url().toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::FullyEncoded).toStdString();
    for (const auto& [key, value] : request.headers()) r.headers[key.toLower().toStdString()] = value.toStdString();
    r.body = request.body().toStdString();
    std::optional<ServiceAnswer> forced = forcedRoute ? takeForced(forcedRoute) : std::nullopt;
    const ServiceAnswer answer = forced ? *forced : handler(r);
    if (options_.servesRequestRecord && r.path().rfind("/__", 0) != 0) {
        if (requests.size() == recordedRequestLimit) requests.pop_front();
        requests.push_back({r.method, r.target, r.header("authorization"), r.header("content-type"),
                            cutAtCharacter(r.body, recordedBodyLimit), answer.status});
    }
    return toResponse(answer);
}

std::string StandInService::today() const {
    if (day_) return *day_;
    const std::time_t t = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &utc);
    return text;
}

void StandInService::force(const std::string& route, ServiceAnswer answer, int times) {
    forced_[route] = Forced{std::move(answer), times};
}

void StandInService::clearForced() { forced_.clear(); }

std::optional<ServiceAnswer> StandInService::takeForced(const std::string& route) {
    const auto it = forced_.find(route);
    if (it == forced_.end()) return std::nullopt;
    ServiceAnswer answer = it->second.answer;
    if (it->second.times > 0 && --it->second.times == 0) forced_.erase(it);
    return answer;
}

std::string StandInService::issueCode(const std::string& email, const std::string& name) {
    Statement(db_, "INSERT INTO users (email, name) VALUES (?, ?) ON CONFLICT(email) DO UPDATE SET name = excluded.name")
        .bind(1, email)
        .bind(2, name)
        .run();
    Statement user(db_, "SELECT id FROM users WHERE email = ?");
    user.bind(1, email).step();
    const std::string code = randomToken(24);
    Statement(db_, "INSERT INTO codes (code, user_id, created) VALUES (?, ?, ?)").bind(1, code).bind(2, user.integer(0)).bind(3, unixNow()).run();
    return code;
}

std::string StandInService::sessionFor(const std::string& email, const std::string& name) {
    const std::string code = issueCode(email, name);
    const ServiceAnswer answer = token({"POST", "/api/app/token", {{"content-type", "application/json"}}, json{{"code", code}}.dump()});
    return json::parse(answer.body).value("session", "");
}

std::optional<std::uint64_t> StandInService::totalFor(const std::string& nickname) {
    Statement q(db_, "SELECT lifetime_bytes FROM entries WHERE nickname = ?");
    if (!q.bind(1, nickname).step()) return std::nullopt;
    return std::uint64_t(q.integer(0));
}

void StandInService::addToBoard(const std::string& nickname, int colorIndex, std::uint64_t lifetimeBytes) {
    const std::string session = sessionFor(nickname + "@example.com");
    const json body{{"nickname", nickname},
                    {"character", {{"body", "robot"}, {"colorIndex", colorIndex}, {"accessory", "none"}}},
                    {"lifetimeBytes", lifetimeBytes},
                    {"link", ""}};
    report({"PUT", "/api/app/leaderboard", {{"authorization", "Bearer " + session}, {"content-type", "application/json"}}, body.dump()});
}

std::optional<std::int64_t> StandInService::userForBearer(const ServiceRequest& request) {
    const std::string auth = request.header("authorization");
    if (auth.rfind("Bearer ", 0) != 0) return std::nullopt;
    Statement q(db_, "SELECT user_id FROM sessions WHERE token = ?");
    if (!q.bind(1, auth.substr(7)).step()) return std::nullopt;
    return q.integer(0);
}

ServiceAnswer StandInService::accountPage(const ServiceRequest& request) {
    const bool fromApp = formValue(request.query(), "from") == std::optional<std::string>("app");
    return htmlAnswer(200, page("Sign in to Tidewell",
                                "<section class=\"leaderboard\"><h1>Sign in to Tidewell</h1>"
                                "<p class=\"empty\">This stand-in signs you in with any address.</p>"
                                "<form method=\"post\" action=\"/account\">"
                                "<input name=\"email\" type=\"email\" placeholder=\"you@example.com\" required>"
                                "<input name=\"name\" placeholder=\"Your name\">"
                                "<input type=\"hidden\" name=\"from\" value=\"" +
                                    std::string(fromApp ? "app" : "web") +
                                    "\"><button type=\"submit\">Continue</button></form></section>"));
}

ServiceAnswer StandInService::accountSubmit(const ServiceRequest& request) {
    const std::string email = formValue(request.body, "email").value_or("");
    if (email.empty() || email.find('@') == std::string::npos)
        return htmlAnswer(400, page("Sign in to Tidewell", "<p class=\"empty\">Enter an e-mail address.</p>"));
    const std::string code = issueCode(email, formValue(request.body, "name").value_or(""));
    if (formValue(request.body, "from") != std::optional<std::string>("app"))
        return htmlAnswer(200, page("Signed in", "<p class=\"empty\">Signed in.</p>"));
    return {303, {}, {}, "tidewell://activate?code=" + pathPiece(code)};
}

ServiceAnswer StandInService::token(const ServiceRequest& request) {
    const json body = json::parse(request.body, nullptr, false);
    if (!body.is_object() || !body.contains("code") || !body["code"].is_string())
        return refusal("This sign-in link is not valid.");
    Statement q(db_, "SELECT codes.user_id, codes.created, codes.used, users.email, users.name FROM codes "
                     "JOIN users ON users.id = codes.user_id WHERE code = ?");
    if (!q.bind(1, body["code"].get<std::string>()).step() || q.integer(2) != 0 ||
        unixNow() - q.integer(1) > codeLifetimeSeconds)
        return refusal("This sign-in link has expired.");
    Statement(db_, "UPDATE codes SET used = 1 WHERE code = ?").bind(1, body["code"].get<std::string>()).run();
    const std::string session = randomToken(40);
    Statement(db_, "INSERT INTO sessions (token, user_id) VALUES (?, ?)").bind(1, session).bind(2, q.integer(0)).run();
    json reply{{"session", session}, {"email", q.text(3)}};
    if (!q.text(4).empty()) reply["name"] = q.text(4);
    return jsonAnswer(200, reply);
}

ServiceAnswer StandInService::report(const ServiceRequest& request) {
    const auto user = userForBearer(request);
    if (!user) return jsonAnswer(401, {{"error", "Your session has ended. Sign in again."}});
    const json body = json::parse(request.body, nullptr, false);
    static const std::vector<std::string> bodies = {"robot", "blob", "cat"};
    static const std::vector<std::string> accessories = {"none", "cap", "headphones", "scarf", "shades", "cape", "crown"};
    auto in = [](const std::vector<std::string>& set, const json& v) {
        return v.is_string() && std::find(set.begin(), set.end(), v.get<std::string>()) != set.end();
    };
    if (!body.is_object() || !body.contains("nickname") || !body["nickname"].is_string() || !body.contains("character") ||
        !body["character"].is_object() || !body.contains("lifetimeBytes") || !body["lifetimeBytes"].is_number_unsigned() ||
        !body.contains("link") || !body["link"].is_string() || !in(bodies, body["character"].value("body", json())) ||
        !body["character"].value("colorIndex", json()).is_number_integer() ||
        !in(accessories, body["character"].value("accessory", json())))
        return refusal("The report could not be read.");
    const std::string nickname = body["nickname"];
    if (!isValidNickname(nickname)) return refusal("Use 3–20 letters, numbers, dots, dashes or underscores for the name.");
    const std::string link = body["link"];
    if (!isValidLink(link)) return refusal("That profile link is not a web address.");
    {
        Statement taken(db_, "SELECT user_id FROM entries WHERE nickname = ? AND user_id != ?");
        if (taken.bind(1, nickname).bind(2, *user).step())
            return jsonAnswer(409, {{"error", "That name is taken. Rename the character and try again."}});
    }
    // Totals are kept as signed 64-bit numbers; more than that is held at the top.
    constexpr auto top = std::uint64_t(std::numeric_limits<std::int64_t>::max());
    const std::uint64_t reported = std::min(body["lifetimeBytes"].get<std::uint64_t>(), top);
    std::uint64_t previous = 0, dayBase = 0;
    const std::string day = today();
    Statement old(db_, "SELECT lifetime_bytes, day, day_base FROM entries WHERE user_id = ?");
    if (old.bind(1, *user).step()) {
        previous = std::uint64_t(old.integer(0));
        dayBase = old.text(1) == day ? std::uint64_t(old.integer(2)) : previous;
    }
    const std::uint64_t allowed = std::min(top, dayBase + dailyCapBytes);
    const bool capped = reported > allowed;
    const std::uint64_t total = std::max(previous, std::min(reported, allowed));
    Statement(db_, "INSERT INTO entries (user_id, nickname, body, color_index, accessory, lifetime_bytes, link, day, day_base) "
                   "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9) ON CONFLICT(user_id) DO UPDATE SET nickname = ?2, body = ?3, "
                   "color_index = ?4, accessory = ?5, lifetime_bytes = ?6, link = ?7, day = ?8, day_base = ?9")
        .bind(1, *user)
        .bind(2, nickname)
        .bind(3, body["character"]["body"].get<std::string>())
        .bind(4, body["character"]["colorIndex"].get<std::int64_t>())
        .bind(5, body["character"]["accessory"].get<std::string>())
        .bind(6, std::int64_t(total))
        .bind(7, link)
        .bind(8, day)
        .bind(9, std::int64_t(dayBase))
        .run();
    Statement rank(db_, "SELECT COUNT(*) FROM entries WHERE lifetime_bytes > ?");
    rank.bind(1, std::int64_t(total)).step();
    return jsonAnswer(200, {{"entry", {{"nickname", nickname}, {"lifetimeBytes", double(total)}, {"rank", rank.integer(0) + 1}}},
                            {"capped", capped}});
}

ServiceAnswer StandInService::leave(const ServiceRequest& request) {
    const auto user = userForBearer(request);
    if (!user) return jsonAnswer(401, {{"error", "Your session has ended. Sign in again."}});
    Statement(db_, "DELETE FROM entries WHERE user_id = ?").bind(1, *user).run();
    return emptyAnswer(204);
}

ServiceAnswer StandInService::leaderboardPage() {
    std::string rows;
    Statement q(db_, "SELECT nickname, color_index, lifetime_bytes FROM entries ORDER BY lifetime_bytes DESC, nickname LIMIT 100");
    int rank = 0;
    while (q.step()) {
        const std::string name = q.text(0);
        const auto colour = avatarColours[std::size_t(std::abs(q.integer(1))) % avatarColours.size()];
        rows += "<div class=\"row\"><span class=\"rank\">" + std::to_string(++rank) +
                "</span><span class=\"avatar\" style=\"background:" + colour + "\"></span><a class=\"name\" href=\"/u/" +
                html(pathPiece(name)) + "\">" + html(name) + "</a><span class=\"bytes\">" +
                html(platform::formatByteCount(std::uint64_t(q.integer(2)))) + "</span></div>";
    }
    if (rows.empty()) rows = "<p class=\"empty\">Nobody has joined yet.</p>";
    return htmlAnswer(200, page("Tidewell leaderboard", "<section class=\"leaderboard\"><h1>All time</h1>" + rows + "</section>"));
}

ServiceAnswer StandInService::profilePage(const std::string& name) {
    Statement q(db_, "SELECT nickname, body, accessory, lifetime_bytes, link FROM entries WHERE nickname = ?");
    if (!q.bind(1, name).step()) return htmlAnswer(404, page("Not found", "<p class=\"empty\">No such profile.</p>"));
    std::string link;
    if (!q.text(4).empty()) link = "<p><a href=\"" + html(q.text(4)) + "\" rel=\"nofollow\">" + html(q.text(4)) + "</a></p>";
    return htmlAnswer(200, page(q.text(0), "<section class=\"leaderboard\"><h1>" + html(q.text(0)) + "</h1><p>A " +
                                               html(q.text(1)) + " wearing " + html(q.text(2)) + ", " +
                                               html(platform::formatByteCount(std::uint64_t(q.integer(3)))) +
                                               " reclaimed.</p>" + link + "</section>"));
}

ServiceAnswer StandInService::shareUpload(const ServiceRequest& request) {
    if (request.header("content-type") != "image/jpeg" || request.body.size() < 3 ||
        request.body.compare(0, 3, "\xFF\xD8\xFF") != 0)
        return refusal("Send a JPEG image.");
    const std::string id = randomToken(16);
    Statement(db_, "INSERT INTO shares (id, heading, image) VALUES (?, ?, ?)")
        .bind(1, id)
        .bind(2, formValue(request.query(), "heading").value_or(""))
        .blob(3, request.body)
        .run();
    std::string host = request.header("host");
    if (host.empty()) host = "127.0.0.1:" + std::to_string(port());
    return jsonAnswer(200, {{"url", "http://" + host + "/s/" + id}});
}

ServiceAnswer StandInService::shareImage(const std::string& id) {
    Statement q(db_, "SELECT image FROM shares WHERE id = ?");
    if (!q.bind(1, id).step()) return htmlAnswer(404, page("Not found", "<p class=\"empty\">No such image.</p>"));
    return {200, "image/jpeg", q.text(0), {}};
}

// POST /__knobs/<route>?status=429&times=1 with the answer's body (of the request's type).
ServiceAnswer StandInService::knob(const ServiceRequest& request) {
    const std::string route = request.path().substr(9);
    if (route == "clear") {
        clearForced();
        return emptyAnswer(204);
    }
    const int status = std::atoi(formValue(request.query(), "status").value_or("200").c_str());
    const int times = std::atoi(formValue(request.query(), "times").value_or("1").c_str());
    force(route, {status, request.header("content-type"), request.body, {}}, times);
    return emptyAnswer(204);
}

ServiceAnswer StandInService::recordList() {
    json list = json::array();
    for (const auto& r : requests)
        list.push_back({{"method", r.method}, {"target", recordText(r.target)}, {"authorization", recordText(r.authorization)},
                        {"contentType", recordText(r.contentType)}, {"body", recordText(r.body)}, {"status", r.status}});
    return jsonAnswer(200, list);
}

}  // namespace tidewell::service
