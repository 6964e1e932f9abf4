#pragma once
// The delegate's decisions as plain functions: whether a start goes to the
// tray, which window is the main one, and what the opened URLs ask for.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tidewell {

struct BackgroundLaunchFacts {
    bool uiTesting = false;
    bool hasCompletedOnboarding = false;
    bool backgroundArgument = false;  // "--background"
    bool launchedAtLogin = false;     // the session's autostart marker
    bool loginItemEnabled = false;
    std::optional<double> uptimeSeconds;  // none when the system won't say
};
bool isBackgroundLaunch(const BackgroundLaunchFacts& facts);

// The seconds in /proc/uptime's first field; none when unreadable.
std::optional<double> parseUptime(const std::string& procUptime);

// The main window is the one whose identifier is "main" or whose title is "Tidewell".
bool isMainWindow(const std::string& identifier, const std::string& title);

// URLs longer than this are ignored whole.
inline constexpr std::size_t maxOpenedURLLength = 2048;

// "tidewell://activate?…code=…" and "tidewell://share", on the raw text,
// case-sensitively; anything else, or anything too long, does nothing.
bool isSignInCallbackURL(const std::string& url);
bool isShareURL(const std::string& url);

struct OpenedURLRoute {
    std::vector<std::string> signInCallbacks;  // in the order given
    bool share = false;                        // several share URLs still open one sheet
    bool acts() const { return share || !signInCallbacks.empty(); }
    bool operator==(const OpenedURLRoute&) const = default;
};
OpenedURLRoute routeOpenedURLs(const std::vector<std::string>& urls);

}  // namespace tidewell
