#pragma once
// The folder open panel: the desktop portal's file chooser when the portal
// runs, else a Qt folder dialog that takes several folders at once. Callers
// use `OpenPanel::shared()`; tests install a scripted panel.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QImage>

class QDBusConnection;
class QFile;

namespace platform {

struct OpenPanelOptions {
    std::string prompt;     // the accept button's label
    std::string message;    // shown as the panel's title
    std::string directory;  // the folder the panel starts in
    bool canChooseFiles = false;
    bool canChooseDirectories = true;
    bool allowsMultipleSelection = true;
    bool canCreateDirectories = false;
    bool treatsFilePackagesAsDirectories = true;
    // Files offered when choosing files: these extensions (no dot, lower
    // case) under `filterName`; every file when empty.
    std::vector<std::string> fileExtensions;
    std::string filterName;
};

// Options for choosing one picture: the image formats this system can read
// among the usual photo formats (PNG, JPEG, HEIC where a plug-in reads it,
// WebP, TIFF, GIF, BMP).
OpenPanelOptions singleImageOptions(std::string message);
// The image formats this system can read, as file extensions (pure over the installed plug-ins).
std::vector<std::string> readableImageExtensions();
// The regular file at `path` open for reading, for a picture reader: none for
// a named pipe or anything else that would keep the reader waiting.
std::unique_ptr<QFile> openPictureFile(const std::string& path);
// The picture in `path`, turned as its orientation tag says; none when unreadable.
std::optional<QImage> loadImageFile(const std::string& path);

class OpenPanel {
public:
    // The chosen paths on OK; none when the panel was cancelled or failed.
    using Completion = std::function<void(std::optional<std::vector<std::string>>)>;

    virtual ~OpenPanel() = default;
    // Shows the panel without blocking; `done` runs once, on the main thread.
    virtual void begin(const OpenPanelOptions& options, Completion done) = 0;

    static OpenPanel& shared();
    // Installs `panel` (not owned); nullptr restores the desktop's.
    static void setShared(OpenPanel* panel);
};

// The desktop's panel: the portal's chooser over D-Bus when the portal is on
// the session bus, else a non-native Qt folder dialog with multiple selection.
// A portal that answers with an error (one that cannot choose folders, say)
// gives way to the Qt dialog too, so a click never does nothing.
class DesktopOpenPanel final : public OpenPanel {
public:
    // On the session bus, or on `bus` (a test's own).
    DesktopOpenPanel();
    explicit DesktopOpenPanel(const QDBusConnection& bus);
    ~DesktopOpenPanel() override;

    void begin(const OpenPanelOptions& options, Completion done) override;
    // The Qt dialog alone (needs a QApplication; without one it answers none).
    static void beginFolderDialog(const OpenPanelOptions& options, Completion done);

private:
    std::unique_ptr<QDBusConnection> bus_;
};

// A portal response's "uris" turned into local paths; other schemes are dropped.
std::vector<std::string> localPathsFromURIs(const std::vector<std::string>& uris);

}  // namespace platform
