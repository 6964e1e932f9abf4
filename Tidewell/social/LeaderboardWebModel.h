#pragma once
// The leaderboard page's model: one embedded web view on the service's
// leaderboard, restyled onto the window's backdrop, kept on the service's
// origin (other addresses go to the browser when the user asks), with its
// loading state.
// One instance serves the whole run, so the page keeps its content.

#include <memory>
#include <optional>
#include <string>

#include "desktop/WebView.h"
#include "runtime/Clock.h"
#include "runtime/Published.h"

namespace tidewell {

// The stylesheet laid over the service's page, and the script that injects
// it at document start (as soon as the page has a root element).
const std::string& leaderboardPageStylesheet();
std::string leaderboardStyleScript();

enum class LeaderboardNavigation { allow, cancel, openInBrowser };
// What becomes of a navigation: no address is cancelled, "about:" pages and
// the service's origin stay; anywhere else goes to the browser only right
// after the user's click or key in the view (the page, or a link followed in
// a frame), and is otherwise cancelled: frames of another origin never load.
LeaderboardNavigation leaderboardNavigationPolicy(const platform::WebNavigationAction& action);

// Whether the page should load on appearing: never loaded, loaded 300 s or
// more ago, or the last load failed.
bool leaderboardNeedsLoad(std::optional<platform::TimePoint> loadedAt, bool failed, platform::TimePoint now);

// Script that puts the page in the dark or the light colours.
std::string leaderboardSchemeScript(bool dark);

class LeaderboardWebModel final : public platform::ObservableObject {
public:
    LeaderboardWebModel();
    ~LeaderboardWebModel() override;
    static std::shared_ptr<LeaderboardWebModel> shared();

    platform::Published<bool> isLoading;
    platform::Published<bool> failed;
    platform::Published<bool> hasLoaded;
    std::optional<platform::TimePoint> loadedAt;

    // The web view, made on first use.
    platform::WebView& webView();
    bool hasWebView() const { return webView_ != nullptr; }

    void loadIfNeeded();
    void load();
    // The window's appearance, which the page follows from now on.
    void setColorScheme(bool dark);
    // The page on screen now, else the leaderboard's address.
    std::string currentURL() const;
    // Whether `url` is on the service's origin: scheme, host and port (pure
    // over the current origin); true when neither has one.
    static bool isServiceURL(const std::optional<std::string>& url);

    // The web view's callbacks, public for tests.
    platform::WebPolicy decidePolicy(const platform::WebNavigationAction& action);
    void didStartNavigation();
    void didFinishNavigation();
    void didFailNavigation(int errorCode);
    void newWindowRequested(const platform::WebNavigationAction& action);

private:
    std::unique_ptr<platform::WebView> webView_;
    bool dark_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tidewell
