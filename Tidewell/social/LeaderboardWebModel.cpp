#include "social/LeaderboardWebModel.h"

#include <algorithm>

#include "social/BrowserLink.h"
#include "social/ServiceOrigin.h"

namespace tidewell {

namespace {

std::string leaderboardURL() { return appendingPath(serviceOrigin(), "leaderboard"); }

std::string schemeOf(const std::string& url) {
    const auto colon = url.find(':');
    return colon == std::string::npos ? std::string() : url.substr(0, colon);
}

}  // namespace

const std::string& leaderboardPageStylesheet() {
    static const std::string css =
        "html, body { background: transparent !important; }\n"
        "nav.top, body > footer { display: none !important; }\n"
        ".leaderboard { padding-top: 12px !important; }\n"
        // The web engine fixes its colour preference when it starts; the window's
        // appearance can change after that, so the page follows a class we set.
        // In dark appearance the page keeps its own colours: no rule for that class.
        ":root.tidewell-light {\n"
        "    color-scheme: light;\n"
        "    --bg: transparent;\n"
        "    --bg-2: transparent;\n"
        "    --panel: rgba(0, 0, 0, 0.035);\n"
        "    --panel-strong: rgba(0, 0, 0, 0.06);\n"
        "    --stroke: rgba(0, 0, 0, 0.08);\n"
        "    --stroke-strong: rgba(0, 0, 0, 0.14);\n"
        "    --text: #10201c;\n"
        "    --muted: #4d625c;\n"
        "    --faint: #6f827c;\n"
        "    --accent-hi: #0a6fd6;\n"
        "}\n";
    return css;
}

std::string leaderboardStyleScript() {
    std::string css = leaderboardPageStylesheet();
    std::erase(css, '`');
    // The engine runs document-start scripts before the root element exists,
    // so the style goes in as soon as the root appears, before the first paint.
    return "(() => { const s = document.createElement('style'); s.textContent = `" + css +
           "`; const root = () => document.documentElement.appendChild(s); if (document.documentElement) root(); "
           "else new MutationObserver((_, o) => { if (document.documentElement) { o.disconnect(); root(); } })"
           ".observe(document, { childList: true }); })();";
}

std::string leaderboardSchemeScript(bool dark) {
    return std::string("document.documentElement.classList.remove('tidewell-dark', 'tidewell-light');"
                       "document.documentElement.classList.add('") +
           (dark ? "tidewell-dark" : "tidewell-light") + "');";
}

bool LeaderboardWebModel::isServiceURL(const std::optional<std::string>& url) {
    // The whole origin: another port or scheme on the same host is another site.
    const std::string own = originOf(leaderboardURL());
    const std::string other = url ? originOf(*url) : std::string();
    if (own.empty() && other.empty()) return true;
    if (own.empty() || other.empty()) return false;
    return own == other;
}

LeaderboardNavigation leaderboardNavigationPolicy(const platform::WebNavigationAction& action) {
    if (!action.url) return LeaderboardNavigation::cancel;
    if (schemeOf(*action.url) == "about") return LeaderboardNavigation::allow;
    if (LeaderboardWebModel::isServiceURL(action.url)) return LeaderboardNavigation::allow;
    // Elsewhere: nothing of another site loads in the page, its frames
    // included, and only the user's own click or key sends the page (or a
    // link in one of its frames) to the browser; the page alone sends nothing.
    if (action.userInitiated && (action.targetsMainFrame || action.linkActivated))
        return LeaderboardNavigation::openInBrowser;
    return LeaderboardNavigation::cancel;
}

bool leaderboardNeedsLoad(std::optional<platform::TimePoint> loadedAt, bool failed, platform::TimePoint now) {
    if (!loadedAt) return true;
    if (now - *loadedAt >= std::chrono::seconds(300)) return true;
    return failed;
}

LeaderboardWebModel::LeaderboardWebModel() : isLoading(*this, false), failed(*this, false), hasLoaded(*this, false) {}

LeaderboardWebModel::~LeaderboardWebModel() = default;

std::shared_ptr<LeaderboardWebModel> LeaderboardWebModel::shared() {
    static const auto instance = std::make_shared<LeaderboardWebModel>();
    return instance;
}

platform::WebView& LeaderboardWebModel::webView() {
    if (!webView_) {
        platform::WebViewDelegate delegate;
        std::weak_ptr<bool> alive = alive_;
        delegate.decidePolicy = [this, alive](const platform::WebNavigationAction& a) {
            return alive.expired() ? platform::WebPolicy::cancel : decidePolicy(a);
        };
        delegate.didStartNavigation = [this, alive] {
            if (!alive.expired()) didStartNavigation();
        };
        delegate.didFinishNavigation = [this, alive] {
            if (!alive.expired()) didFinishNavigation();
        };
        delegate.didFailNavigation = [this, alive](int code) {
            if (!alive.expired()) didFailNavigation(code);
        };
        delegate.newWindowRequested = [this, alive](const platform::WebNavigationAction& a) {
            if (!alive.expired()) newWindowRequested(a);
        };
        webView_ = std::make_unique<platform::WebView>(
            platform::WebViewConfiguration{leaderboardStyleScript(), "leaderboard.webView"}, std::move(delegate));
        // The page's own colour-scheme rules follow the window's appearance.
        webView_->setPrefersDarkColorScheme(dark_);
    }
    return *webView_;
}

void LeaderboardWebModel::load() {
    failed = false;
    loadedAt = platform::now();
    webView().load(leaderboardURL(), std::chrono::seconds(60));
}

void LeaderboardWebModel::loadIfNeeded() {
    if (leaderboardNeedsLoad(loadedAt, failed.get(), platform::now())) load();
}

std::string LeaderboardWebModel::currentURL() const {
    if (webView_)
        if (auto url = webView_->url()) return *url;
    return leaderboardURL();
}

platform::WebPolicy LeaderboardWebModel::decidePolicy(const platform::WebNavigationAction& action) {
    switch (leaderboardNavigationPolicy(action)) {
        case LeaderboardNavigation::allow: return platform::WebPolicy::allow;
        case LeaderboardNavigation::cancel: return platform::WebPolicy::cancel;
        case LeaderboardNavigation::openInBrowser:
            // The workspace takes only http(s): web content can't hand the desktop other schemes.
            openInBrowser(*action.url);
            return platform::WebPolicy::cancel;
    }
    return platform::WebPolicy::cancel;
}

void LeaderboardWebModel::didStartNavigation() { isLoading = true; }

void LeaderboardWebModel::didFinishNavigation() {
    isLoading = false;
    failed = false;
    hasLoaded = true;
    if (webView_) webView_->runJavaScript(leaderboardSchemeScript(dark_));
}

void LeaderboardWebModel::setColorScheme(bool dark) {
    if (dark == dark_) return;
    dark_ = dark;
    if (!webView_) return;
    webView_->setPrefersDarkColorScheme(dark_);
    webView_->runJavaScript(leaderboardSchemeScript(dark_));
}

void LeaderboardWebModel::didFailNavigation(int errorCode) {
    isLoading = false;
    if (errorCode != platform::webLoadCancelledCode) failed = true;
}

void LeaderboardWebModel::newWindowRequested(const platform::WebNavigationAction& action) {
    // A window.open the user did not ask for by a click is refused.
    if (!action.url || !action.userInitiated) return;
    if (LeaderboardWebModel::isServiceURL(action.url)) webView().load(*action.url, std::chrono::seconds(60));
    else openInBrowser(*action.url);
}

}  // namespace tidewell
