#pragma once

#include <QImage>
#include <QTimer>

#include <optional>
#include <string>
#include <vector>

#include "desktop/Workspace.h"

namespace platform {

// A workspace that only records what it was asked, for tests. openURL answers
// as the system's would (true only for http and https) without opening anything.
class RecordingWorkspace : public Workspace {
public:
    std::vector<std::string> openedURLs;     // the accepted addresses
    std::vector<std::string> refusedURLs;
    std::vector<std::string> revealedPaths;  // the paths asked for, as given
    std::vector<std::string> copiedTexts;
    std::vector<QImage> copiedImages;

    // Set: every accepted address fails to open later, on the main thread, for this reason.
    std::optional<std::string> openFailure;

    bool openURL(const std::string& url, OpenFailed failed = {}) override {
        if (!isBrowserURL(url)) {
            refusedURLs.push_back(url);
            return false;
        }
        openedURLs.push_back(url);
        if (openFailure && failed) QTimer::singleShot(0, [failed, reason = *openFailure] { failed(reason); });
        return true;
    }
    // Set: every reveal fails later, on the main thread, for this reason.
    std::optional<std::string> revealFailure;

    bool revealPath(const std::string& path, RevealFailed failed = {}) override {
        revealedPaths.push_back(path);
        if (revealFailure && failed) QTimer::singleShot(0, [failed, reason = *revealFailure] { failed(reason); });
        return true;
    }
    void copyToClipboard(const std::string& text) override { copiedTexts.push_back(text); }
    void copyImageToClipboard(const QImage& image) override { copiedImages.push_back(image); }
};

// Installs a workspace as the shared one for the lifetime of this object.
class ScopedWorkspace {
public:
    explicit ScopedWorkspace(Workspace& workspace) { Workspace::setShared(&workspace); }
    ~ScopedWorkspace() { Workspace::setShared(nullptr); }
    ScopedWorkspace(const ScopedWorkspace&) = delete;
    ScopedWorkspace& operator=(const ScopedWorkspace&) = delete;
};

}  // namespace platform
