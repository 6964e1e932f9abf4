#pragma once
// An embedded web page (Chromium through QtWebEngine) with what a delegate
// needs to keep navigation in hand: a script injected at document start, a
// transparent background, a policy decision for every navigation, new-window
// requests handed over instead of opening windows, and start, finish and
// failure of each load. Its widget goes into a view tree's native slot.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QWidget;

namespace platform {

struct WebNavigationAction {
    std::optional<std::string> url;  // none: the request has no address
    bool linkActivated = false;      // a link was followed (the engine says so of a script's navigation too)
    bool targetsMainFrame = true;
    bool userInitiated = false;      // right after the user's own click or key in the view
};

enum class WebPolicy { allow, cancel };

// The error code of a load that was stopped rather than failed.
inline constexpr int webLoadCancelledCode = -999;

struct WebViewDelegate {
    std::function<WebPolicy(const WebNavigationAction&)> decidePolicy;
    std::function<void()> didStartNavigation;
    std::function<void()> didFinishNavigation;
    std::function<void(int errorCode)> didFailNavigation;
    // A page asked for a new window; none is ever made.
    std::function<void(const WebNavigationAction&)> newWindowRequested;
};

struct WebViewConfiguration {
    std::string documentStartScript;  // main frame only
    std::string accessibilityIdentifier;
};

class WebView {
public:
    WebView(WebViewConfiguration configuration, WebViewDelegate delegate);
    ~WebView();
    WebView(const WebView&) = delete;
    WebView& operator=(const WebView&) = delete;

    void load(const std::string& url, std::chrono::milliseconds timeout = std::chrono::seconds(60));
    // Runs script in the page's main frame (for tests that drive a page).
    void runJavaScript(const std::string& script);
    // The same, handing the script's value (as text) to `done` on the main thread.
    void evaluateJavaScript(const std::string& script, std::function<void(std::string)> done);
    // The address shown now; none before the first load.
    std::optional<std::string> url() const;
    // A new widget showing the page (made on first use), for a view tree's
    // slot to own. The page draws in a native window of its own kept over
    // that widget, so the window around it never composes through OpenGL;
    // when the widget is deleted the page stays, ready for the next one.
    QWidget* widget();

    // Whether the page sees a dark colour scheme (prefers-color-scheme): its
    // own colour-scheme rules follow each change at once. The engine takes
    // its own preference from the first page it makes.
    void setPrefersDarkColorScheme(bool dark);

    // Call before the application object exists: the engine's sharing of GL
    // contexts, and its sandbox off when running as root (it refuses to start
    // otherwise).
    static void prepareProcess();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
