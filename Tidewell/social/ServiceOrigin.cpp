#include "social/ServiceOrigin.h"

#include <QUrl>

#include <cstdint>
#include <vector>

#include "desktop/Keychain.h"
#include "foundation/ProcessInfo.h"

namespace tidewell {

namespace {

const platform::KeychainItem sessionItem{"com.brisvane.tidewell.account", "session"};

struct SessionTokenWatcher {
    std::weak_ptr<void> owner;
    std::function<void(SessionTokenRead)> watcher;
};
std::vector<SessionTokenWatcher>& sessionTokenWatchers() {
    static std::vector<SessionTokenWatcher> watchers;
    return watchers;
}
// Counts the stores and deletes asked for, so a read can tell whether one came after it.
std::uint64_t sessionTokenChanges = 0;

void tellWatchers(SessionTokenRead read) {
    auto& watchers = sessionTokenWatchers();
    std::erase_if(watchers, [](const SessionTokenWatcher& w) { return w.owner.expired(); });
    // A copy: a watcher may add another while it is told.
    for (const auto& w : std::vector<SessionTokenWatcher>(watchers))
        if (!w.owner.expired()) w.watcher(read);
}

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
    const std::uint64_t asked = sessionTokenChanges;
    platform::Keychain::shared().read(sessionItem, [asked, done = std::move(done)](platform::KeychainRead read) {
        if (asked == sessionTokenChanges)
            tellWatchers(read.secret   ? SessionTokenRead::found
                         : read.locked ? SessionTokenRead::locked
                                       : SessionTokenRead::missing);
        if (done) done(std::move(read.secret));
    });
}

void storeSessionToken(const std::string& token) {
    // A failed write leaves no token behind, so a half-finished sign-in reads
    // as signed out. The keychain serves calls in order: a read asked for
    // after this sees the new token.
    deleteSessionToken();
    ++sessionTokenChanges;
    platform::Keychain::shared().write(sessionItem, token);
}

void deleteSessionToken() {
    ++sessionTokenChanges;
    platform::Keychain::shared().remove(sessionItem);
}

void watchSessionToken(std::weak_ptr<void> owner, std::function<void(SessionTokenRead)> watcher) {
    sessionTokenWatchers().push_back({std::move(owner), std::move(watcher)});
}

}  // namespace tidewell
