#include "shell/AppDelegateRules.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace tidewell {

bool isBackgroundLaunch(const BackgroundLaunchFacts& facts) {
    if (facts.uiTesting) return false;
    // A first run always opens the window for onboarding.
    if (!facts.hasCompletedOnboarding) return false;
    if (facts.backgroundArgument || facts.launchedAtLogin) return true;
    return facts.loginItemEnabled && facts.uptimeSeconds && *facts.uptimeSeconds < 180;
}

std::optional<double> parseUptime(const std::string& procUptime) {
    const auto end = procUptime.find(' ');
    const std::string_view first = std::string_view(procUptime).substr(0, end);
    double seconds = 0;
    const auto [ptr, ec] = std::from_chars(first.data(), first.data() + first.size(), seconds);
    if (ec != std::errc() || ptr == first.data() || !std::isfinite(seconds) || seconds < 0) return std::nullopt;
    return seconds;
}

bool isMainWindow(const std::string& identifier, const std::string& title) {
    return identifier == "main" || title == "Tidewell";
}

namespace {

// The part after "tidewell://<host>" when the URL names that host exactly.
std::optional<std::string_view> afterHost(std::string_view url, std::string_view host) {
    if (url.size() > maxOpenedURLLength) return std::nullopt;
    const std::string_view prefix = "tidewell://";
    if (url.substr(0, prefix.size()) != prefix) return std::nullopt;
    url.remove_prefix(prefix.size());
    if (url.substr(0, host.size()) != host) return std::nullopt;
    url.remove_prefix(host.size());
    if (!url.empty() && url[0] != '/' && url[0] != '?' && url[0] != '#') return std::nullopt;
    return url;
}

}  // namespace

bool isSignInCallbackURL(const std::string& url) {
    const auto rest = afterHost(url, "activate");
    if (!rest) return false;
    // The fragment is not part of the query, even when it holds a "?".
    const std::string_view beforeFragment = rest->substr(0, rest->find('#'));
    const auto query = beforeFragment.find('?');
    if (query == std::string_view::npos) return false;
    std::string_view items = beforeFragment.substr(query + 1);
    while (!items.empty()) {
        const auto amp = items.find('&');
        const std::string_view item = items.substr(0, amp);
        if (item.substr(0, 5) == "code=" && item.size() > 5) return true;
        if (amp == std::string_view::npos) break;
        items.remove_prefix(amp + 1);
    }
    return false;
}

bool isShareURL(const std::string& url) { return afterHost(url, "share").has_value(); }

OpenedURLRoute routeOpenedURLs(const std::vector<std::string>& urls) {
    OpenedURLRoute route;
    for (const auto& url : urls) {
        if (isSignInCallbackURL(url)) route.signInCallbacks.push_back(url);
        if (isShareURL(url)) route.share = true;
    }
    return route;
}

}  // namespace tidewell
