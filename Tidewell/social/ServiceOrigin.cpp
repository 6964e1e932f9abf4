#include "social/ServiceOrigin.h"

#include <QUrl>

#include "desktop/Keychain.h"
#include "foundation/ProcessInfo.h"

namespace tidewell {

namespace {

const platform::KeychainItem sessionItem{"com.brisvane.tidewell.account", "session"};

}  // namespace

std::string serviceOrigin() {
    if (auto site = platform::environmentValue("TIDEWELL_SITE"); site && !site->empty()) {
        // Only an absolute web address is taken: anything else would send the
        // session token somewhere no one chose.
        const QUrl url(QString::fromStdString(*site), QUrl::StrictMode);
        const QString scheme = url.scheme();
        if (url.isValid() && (scheme == "http" || scheme == "https") && !url.host().isEmpty()) return *site;
    }
    return std::string("https://") + builtInServiceHost;
}

std::string appendingPath(const std::string& base, const std::string& path) {
    if (!base.empty() && base.back() == '/') return base + path;
    return base + "/" + path;
}

std::string appendingPathPiece(const std::string& base, const std::string& piece) {
    return appendingPath(base, QUrl::toPercentEncoding(QString::fromStdString(piece)).toStdString());
}

std::string originOf(const std::string& url) {
    const QUrl parsed(QString::fromStdString(url));
    if (parsed.host().isEmpty()) return {};
    const QString scheme = parsed.scheme().toLower();
    const int port = parsed.port(scheme == QLatin1String("https") ? 443 : scheme == QLatin1String("http") ? 80 : -1);
    return (scheme + "://" + parsed.host().toLower() + ":" + QString::number(port)).toStdString();
}

void readSessionToken(std::function<void(std::optional<std::string>)> done) {
    platform::Keychain::shared().read(sessionItem, std::move(done));
}

void storeSessionToken(const std::string& token) {
    // A failed write leaves no token behind, so a half-finished sign-in reads
    // as signed out. The keychain serves calls in order: a read asked for
    // after this sees the new token.
    deleteSessionToken();
    platform::Keychain::shared().write(sessionItem, token);
}

void deleteSessionToken() { platform::Keychain::shared().remove(sessionItem); }

}  // namespace tidewell
