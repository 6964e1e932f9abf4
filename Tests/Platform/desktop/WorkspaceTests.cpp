#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Platform/foundation/TemporaryDirectory.h"
#include "desktop/Workspace.h"

namespace fs = std::filesystem;
using platform::SystemWorkspace;

namespace {

// A system workspace whose ways out to the desktop are recorded instead of run.
struct WatchedWorkspace {
    std::vector<std::string> opened;
    std::vector<std::string> shown;
    bool fileManagerAnswers = true;
    SystemWorkspace workspace{SystemWorkspace::Launchers{
        [this](const std::string& url) {
            opened.push_back(url);
            return true;
        },
        [this](const std::string& url, std::function<void(bool)> done) {
            shown.push_back(url);
            done(fileManagerAnswers);
        }}};
};

}  // namespace

TEST(BrowserURL, OpenURLHandsOnlyAbsoluteHttpAndHttpsWithAHostToTheDesktop) {
    for (const char* accepted : {"https://tidewell.app/leaderboard", "http://127.0.0.1:8080/signin?intent=x", "HTTPS://Example.com"})
        EXPECT_TRUE(platform::isBrowserURL(accepted)) << accepted;
    for (const char* refused : {"", "file:///etc/passwd", "javascript:alert(1)", "tidewell://share", "ftp://example.com",
                                "mailto:a@b.c", "/usr/bin/xterm", "example.com", "https://", "http:///path-only",
                                "https://exa mple.com", "data:text/html,hi", "smb://host/share"})
        EXPECT_FALSE(platform::isBrowserURL(refused)) << refused;

    WatchedWorkspace watched;
    EXPECT_TRUE(watched.workspace.openURL("https://tidewell.app/account"));
    EXPECT_FALSE(watched.workspace.openURL("file:///home"));
    EXPECT_EQ(watched.opened, std::vector<std::string>{"https://tidewell.app/account"});
}

TEST(NearestExistingPath, WalksUpToTheClosestExistingItem) {
    testing_support::TemporaryDirectory dir;
    const fs::path project = dir / "project", modules = project / "node_modules", link = dir / "link";
    fs::create_directories(modules);
    fs::create_symlink(dir / "missing-target", link);
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {modules.string(), modules.string()},
        {(project / "build" / "deep" / "gone").string(), project.string()},
        {(modules / "").string(), modules.string()},
        {(project / "x" / ".." / "node_modules").string(), modules.string()},
        {link.string(), link.string()},  // a dangling link is still an item
        {"/", "/"},
        {"", std::nullopt},
    };
    for (const auto& [path, nearest] : cases) EXPECT_EQ(platform::nearestExistingPath(path), nearest) << path;
}

TEST(SystemWorkspace, RevealSelectsTheItemOrItsNearestExistingParentAsAFileURL) {
    testing_support::TemporaryDirectory dir;
    const fs::path app = dir / "app", build = app / "build", odd = dir / "my app #1 %20";
    fs::create_directories(build);
    fs::create_directories(odd);
    const std::pair<std::string, std::string> cases[] = {
        {build.string(), "file://" + build.string()},
        {(app / "dist" / "intermediates").string(), "file://" + app.string()},
        {odd.string(), "file://" + dir.path() + "/my%20app%20%231%20%2520"},
    };
    for (const auto& [path, url] : cases) {
        WatchedWorkspace watched;
        EXPECT_TRUE(watched.workspace.revealPath(path));
        EXPECT_EQ(watched.shown, std::vector<std::string>{url});
        EXPECT_TRUE(watched.opened.empty());
    }

    WatchedWorkspace nothing;
    EXPECT_FALSE(nothing.workspace.revealPath(""));
    EXPECT_TRUE(nothing.shown.empty() && nothing.opened.empty());

    // Without a file manager the containing folder opens instead.
    WatchedWorkspace noFileManager;
    noFileManager.fileManagerAnswers = false;
    EXPECT_TRUE(noFileManager.workspace.revealPath(build.string()));
    EXPECT_EQ(noFileManager.opened, std::vector<std::string>{"file://" + app.string()});
}

TEST(SystemWorkspace, CopiesTextToTheClipboard) {
    SystemWorkspace workspace(SystemWorkspace::Launchers{});
    workspace.copyToClipboard("~/code/app · 1.2 GB");
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "~/code/app · 1.2 GB");
    QImage card(6, 3, QImage::Format_ARGB32);
    card.fill(Qt::green);
    workspace.copyImageToClipboard(card);
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_ARGB32), card);
}
