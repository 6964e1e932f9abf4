#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QImage;

namespace platform {

// The desktop's shared services for showing things to the user: the browser,
// the file manager and the clipboard. Code asks `Workspace::shared()`; tests
// install a recording workspace so nothing is launched.
class Workspace {
public:
    virtual ~Workspace() = default;

    // Why nothing could be shown or opened ("no file manager is installed");
    // called once, on the main thread, when every way has failed.
    using RevealFailed = std::function<void(const std::string& reason)>;
    using OpenFailed = RevealFailed;

    // Hands an http or https address to the default browser. Any other
    // address (file, custom schemes, relative or malformed text) is refused
    // and false returned, so untrusted text can never launch a program. A
    // desktop that cannot open it answers later, through `failed`.
    virtual bool openURL(const std::string& url, OpenFailed failed = {}) = 0;

    // Shows `path` selected in the file manager. A path that no longer exists
    // shows its nearest existing parent folder instead. False when nothing
    // could be shown (an empty path, or no existing folder above it); a
    // desktop that cannot show it answers later, through `failed`.
    virtual bool revealPath(const std::string& path, RevealFailed failed = {}) = 0;

    virtual void copyToClipboard(const std::string& text) = 0;
    // Puts the image itself on the clipboard (other programs paste it as an image).
    virtual void copyImageToClipboard(const QImage& image) = 0;

    // The workspace in use: the system's, unless a test installed another.
    static Workspace& shared();
    // Installs `workspace` as the shared one (not owned); nullptr restores the system's.
    static void setShared(Workspace* workspace);
};

// True for an absolute http or https address with a host.
bool isBrowserURL(std::string_view url);

// `path` itself when something exists there, else the closest existing folder
// above it (the path is made absolute first); none for an empty path.
std::optional<std::string> nearestExistingPath(const std::string& path);

// What a reveal says when no file manager answered and none could be started.
inline constexpr const char* kNoFileManagerReason = "no file manager is installed";
// What opening an address says when nothing on the desktop can open it.
inline constexpr const char* kNoBrowserReason = "no web browser is installed";

// The desktop's own services: the default browser through the desktop's URL
// handler, the file manager over D-Bus (org.freedesktop.FileManager1, falling
// back to opening the containing folder) and the Qt clipboard.
class SystemWorkspace : public Workspace {
public:
    // The ways out to the desktop, replaceable so tests can watch them.
    struct Launchers {
        // Opens a web address with the desktop's default handler; calls
        // `done` with the reason when nothing could open it, else with none.
        std::function<void(const std::string& url, std::function<void(std::optional<std::string>)> done)>
            openWithDefaultHandler;
        // Asks the file manager to show items selected; calls `done(false)`
        // when it can't (no file manager on the bus, or the call failed).
        std::function<void(const std::string& fileURL, std::function<void(bool)> done)> showItems;
        // Opens a folder with the desktop's handler for folders; calls `done`
        // with the reason when nothing could open it, else with none.
        std::function<void(const std::string& folderURL, std::function<void(std::optional<std::string>)> done)>
            openFolder;
    };

    SystemWorkspace();
    explicit SystemWorkspace(Launchers launchers);

    bool openURL(const std::string& url, OpenFailed failed = {}) override;
    bool revealPath(const std::string& path, RevealFailed failed = {}) override;
    void copyToClipboard(const std::string& text) override;
    void copyImageToClipboard(const QImage& image) override;

    static Launchers desktopLaunchers();

private:
    Launchers launchers_;
};

}  // namespace platform
