#include "social/AccountSession.h"

#include <QString>
#include <QStringDecoder>
#include <QUrl>

#include <utility>

#include <nlohmann/json.hpp>

#include "desktop/HttpClient.h"
#include "desktop/Workspace.h"
#include "foundation/UserDefaults.h"
#include "foundation/Utf8.h"
#include "social/ServiceOrigin.h"

namespace tidewell {

namespace {

std::string networkFailureText() {
    return std::string("Could not reach ") + builtInServiceHost + ". Check your connection and try again.";
}

std::optional<std::string> optionalString(const nlohmann::json& reply, const char* key) {
    const auto it = reply.find(key);
    if (it == reply.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

// Control characters (C0, DEL, C1) and format characters (U+202E RIGHT-TO-LEFT
// OVERRIDE, the zero-width ones, U+FEFF …), in valid UTF-8: no issued code
// holds one, and a code that does would only spend the sign-in's one try.
bool holdsControlOrFormatCharacter(std::string_view text) {
    // A leading U+FEFF is decoded too, not dropped as a byte order mark.
    QStringDecoder decode(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QString decoded = decode(QByteArrayView(text.data(), qsizetype(text.size())));
    for (const char32_t c : decoded.toUcs4()) {
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Other_Control || category == QChar::Other_Format) return true;
    }
    return false;
}

}  // namespace

std::optional<std::string> signInCallbackCode(const std::string& url) {
    const QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
    if (!parsed.isValid() || parsed.scheme() != "tidewell") return std::nullopt;
    // The host as written: QUrl would lower-case "Activate".
    const std::string prefix = "tidewell://activate";
    if (url.compare(0, prefix.size(), prefix) != 0 || (url.size() > prefix.size() && url[prefix.size()] != '?' &&
                                                       url[prefix.size()] != '/' && url[prefix.size()] != '#'))
        return std::nullopt;
    if (!parsed.hasQuery()) return std::nullopt;
    // Decoded here, byte for byte: a decoder that turns bytes that are no
    // UTF-8 into U+FFFD would send a code nobody issued, and spend the try.
    for (const QString& item : parsed.query(QUrl::FullyEncoded).split(u'&')) {
        const qsizetype eq = item.indexOf(u'=');
        if (QByteArray::fromPercentEncoding(item.left(eq).toLatin1()) != "code") continue;
        const std::string code = QByteArray::fromPercentEncoding(eq < 0 ? QByteArray() : item.mid(eq + 1).toLatin1()).toStdString();
        if (code.empty() || !platform::isValidUtf8(code) || holdsControlOrFormatCharacter(code)) return std::nullopt;
        return code;
    }
    return std::nullopt;
}

namespace {

bool hasStoredAccount() {
    auto defaults = platform::UserDefaults::standard();
    // The e-mail or name alone marks an account stored before the flag was kept.
    return defaults->boolValue(keys::accountSignedIn).value_or(false) || defaults->contains(keys::accountEmail) ||
           defaults->contains(keys::accountName);
}

}  // namespace

AccountSession::AccountSession()
    : isSignedIn(*this, hasStoredAccount()),
      keyringLocked(*this, false),
      accountEmail(*this, platform::UserDefaults::standard()->stringValue(keys::accountEmail)),
      accountName(*this, platform::UserDefaults::standard()->stringValue(keys::accountName)),
      signInMessage(*this) {
    watchSessionToken(alive_, [this](SessionTokenRead read) { follow(read); });
    if (!isSignedIn.get()) {
        accountEmail = std::nullopt;
        accountName = std::nullopt;
        return;
    }
    readSessionToken(nullptr);
}

void AccountSession::follow(SessionTokenRead read) {
    // Signed out: the item is gone, or going, and no read brings it back.
    if (!hasStoredAccount()) return;
    switch (read) {
        case SessionTokenRead::found:
            tokenSeen_ = true;
            if (keyringLocked.get() || !isSignedIn.get()) {
                keyringLocked = false;
                showStoredAccount();
                isSignedIn = true;
            }
            break;
        case SessionTokenRead::locked:
            // Still signed in where it is kept; this run cannot use it until the keyring opens.
            isSignedIn = false;
            showStoredAccount();
            keyringLocked = true;
            break;
        case SessionTokenRead::missing:
            // (A failed write, once signed in, leaves the session signed in for this run.)
            if (tokenSeen_ && !keyringLocked.get()) break;
            // No token after all: signed out for this run; the stored account stays for the next one.
            keyringLocked = false;
            isSignedIn = false;
            accountEmail = std::nullopt;
            accountName = std::nullopt;
            break;
    }
}

void AccountSession::showStoredAccount() {
    auto defaults = platform::UserDefaults::standard();
    accountEmail = defaults->stringValue(keys::accountEmail);
    accountName = defaults->stringValue(keys::accountName);
}

void AccountSession::unlockKeyring() { readSessionToken(nullptr); }

std::shared_ptr<AccountSession> AccountSession::shared() {
    static const auto instance = std::make_shared<AccountSession>();
    return instance;
}

std::string AccountSession::accountPageURL(bool intent) const {
    std::string url = appendingPath(serviceOrigin(), "account") + "?from=app";
    if (intent) url += "&intent=signin";
    return url;
}

void AccountSession::beginSignIn() {
    signInMessage = std::nullopt;
    signInStarted_ = platform::monotonicNow();
    const std::string url = accountPageURL(true);
    platform::Workspace::shared().openURL(url, [this, alive = std::weak_ptr<bool>(alive_), url](const std::string& reason) {
        if (!alive.expired() && onBrowserFailed) onBrowserFailed(url, reason);
    });
}

void AccountSession::handleSignInCallback(const std::string& url) {
    const auto code = signInCallbackCode(url);
    if (!code) return;
    // Only the answer to a sign-in started here: a link planted by a web page
    // must not sign this computer into someone else's account.
    // The window survives a change of the date, and a code gets one try: a
    // second link, planted after a failed exchange, finds it closed.
    if (!signInStarted_ || platform::monotonicNow() - *signInStarted_ > signInWindow) return;
    signInStarted_.reset();
    exchange(*code);
}

void AccountSession::exchange(const std::string& code) {
    platform::HttpRequest request;
    request.method = "POST";
    request.url = appendingPath(serviceOrigin(), "api/app/token");
    request.headers = {{"Content-Type", "application/json"}};
    try {
        request.body = nlohmann::json{{"code", code}}.dump();
    } catch (const nlohmann::json::exception&) {  // not UTF-8
        signInMessage = networkFailureText();
        return;
    }
    request.timeout = std::chrono::seconds(60);
    // A redirect would carry the one-time code, a credential, to wherever it points.
    request.followsRedirects = false;
    platform::HttpClient::shared().send(std::move(request), [this, alive = std::weak_ptr<bool>(alive_)](platform::HttpResponse response) {
        if (alive.expired()) return;
        if (response.failure != platform::HttpFailure::none) {
            signInMessage = networkFailureText();
            return;
        }
        if (response.status != 200) {
            signInMessage = std::string("This sign-in link has expired. Click Sign In and try again.");
            return;
        }
        const auto reply = nlohmann::json::parse(response.body, nullptr, false);
        const auto session = reply.is_object() ? optionalString(reply, "session") : std::nullopt;
        if (!session) {
            signInMessage = networkFailureText();
            return;
        }
        storeSessionToken(*session);
        tokenSeen_ = true;
        keyringLocked = false;
        isSignedIn = true;
        const auto email = optionalString(reply, "email");
        const auto name = optionalString(reply, "name");
        accountEmail = email;
        accountName = name;
        auto defaults = platform::UserDefaults::standard();
        defaults->setBool(keys::accountSignedIn, true);
        if (email) defaults->setString(keys::accountEmail, *email);
        else defaults->remove(keys::accountEmail);
        if (name) defaults->setString(keys::accountName, *name);
        else defaults->remove(keys::accountName);
        if (onSignedIn) onSignedIn();
    });
}

void AccountSession::signOut() {
    deleteSessionToken();
    tokenSeen_ = false;
    keyringLocked = false;
    isSignedIn = false;
    accountEmail = std::nullopt;
    accountName = std::nullopt;
    platform::UserDefaults::standard()->remove(keys::accountEmail);
    platform::UserDefaults::standard()->remove(keys::accountName);
    platform::UserDefaults::standard()->remove(keys::accountSignedIn);
}

std::optional<std::string> AccountSession::displayName() const {
    return accountName.get() ? accountName.get() : accountEmail.get();
}

}  // namespace tidewell
