#include <QClipboard>
#include <QDeadlineTimer>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
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
    std::vector<std::string> openedFolders;
    bool fileManagerAnswers = true;
    std::optional<std::string> folderFailure;
    SystemWorkspace workspace{SystemWorkspace::Launchers{
        [this](const std::string& url, std::function<void(std::optional<std::string>)> done) {
            opened.push_back(url);
            done(std::nullopt);
        },
        [this](const std::string& url, std::function<void(bool)> done) {
            shown.push_back(url);
            done(fileManagerAnswers);
        },
        [this](const std::string& url, std::function<void(std::optional<std::string>)> done) {
            openedFolders.push_back(url);
            done(folderFailure);
        }}};
};

// Lets the event loop run until `done` holds (a child process or the bus
// answers in its own time), for at most half a minute.
template <class F>
bool waitFor(F done) {
    const QDeadlineTimer deadline(30000);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return done();
}

// A stand-in for xdg-open on PATH that ends with `status`.
struct FakeOpener {
    testing_support::TemporaryDirectory dir;
    std::optional<testing_support::ScopedEnvironment> path;
    explicit FakeOpener(std::optional<int> status) {
        if (status) dir.write("xdg-open", "#!/bin/sh\nexit " + std::to_string(*status) + "\n", 0755);
        path.emplace("PATH", dir.path().c_str());  // nothing else is found
    }
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
    std::vector<std::string> failures;
    EXPECT_TRUE(noFileManager.workspace.revealPath(build.string(), [&](const std::string& r) { failures.push_back(r); }));
    EXPECT_EQ(noFileManager.openedFolders, std::vector<std::string>{"file://" + app.string()});
    EXPECT_TRUE(noFileManager.opened.empty() && failures.empty());
}

TEST(SystemWorkspace, ARevealThatNothingCanShowSaysWhy) {
    testing_support::TemporaryDirectory dir;
    const fs::path app = dir / "app", build = app / "build";
    fs::create_directories(build);
    std::vector<std::string> failures;
    auto failed = [&](const std::string& reason) { failures.push_back(reason); };

    WatchedWorkspace watched;
    watched.fileManagerAnswers = false;
    watched.folderFailure = platform::kNoFileManagerReason;
    EXPECT_TRUE(watched.workspace.revealPath(build.string(), failed));
    EXPECT_EQ(failures, std::vector<std::string>{"no file manager is installed"});

    // The desktop's own way to open the folder, with what xdg-open answers:
    // opened; nothing on this system opens folders; no xdg-open at all; another failure.
    const std::pair<std::optional<int>, std::optional<std::string>> cases[] = {
        {0, std::nullopt},
        {3, "no file manager is installed"},
        {std::nullopt, "no file manager is installed"},
        {4, "the file manager could not open it"},
    };
    for (const auto& [status, reason] : cases) {
        FakeOpener opener(status);
        auto launchers = SystemWorkspace::desktopLaunchers();
        launchers.showItems = [](const std::string&, std::function<void(bool)> done) { done(false); };
        SystemWorkspace workspace(launchers);
        std::optional<std::optional<std::string>> answer;
        launchers.openFolder("file://" + app.string(), [&](std::optional<std::string> r) { answer = r; });
        ASSERT_TRUE(waitFor([&] { return answer.has_value(); })) << status.value_or(-1);
        EXPECT_EQ(*answer, reason) << status.value_or(-1);

        if (!reason) continue;
        // A reveal that finds no file manager on the bus ends the same way, and says so.
        failures.clear();
        EXPECT_TRUE(workspace.revealPath(build.string(), failed));
        ASSERT_TRUE(waitFor([&] { return !failures.empty(); }));
        EXPECT_EQ(failures, std::vector<std::string>{*reason});
    }
}

TEST(SystemWorkspace, AnAddressThatNothingCanOpenSaysWhy) {
    std::vector<std::string> failures;
    auto failed = [&](const std::string& reason) { failures.push_back(reason); };
    // The desktop's own way, with what xdg-open answers: opened; nothing on
    // this system opens web addresses; no xdg-open (and no browser Qt could
    // find); another failure.
    const std::pair<std::optional<int>, std::optional<std::string>> cases[] = {
        {0, std::nullopt},
        {3, "no web browser is installed"},
        {std::nullopt, "no web browser is installed"},
        {4, "the desktop could not open it"},
    };
    for (const auto& [status, reason] : cases) {
        FakeOpener opener(status);
        SystemWorkspace workspace(SystemWorkspace::desktopLaunchers());
        failures.clear();
        bool settled = false;
        EXPECT_TRUE(workspace.openURL("https://tidewell.app/leaderboard", failed));
        QTimer::singleShot(std::chrono::milliseconds(300), [&] { settled = true; });
        ASSERT_TRUE(waitFor([&] { return !failures.empty() || (settled && !reason); })) << status.value_or(-1);
        EXPECT_EQ(failures, reason ? std::vector<std::string>{*reason} : std::vector<std::string>{}) << status.value_or(-1);
    }
    // Nothing to open it with at all.
    failures.clear();
    EXPECT_TRUE(SystemWorkspace(SystemWorkspace::Launchers{}).openURL("https://tidewell.app/", failed));
    EXPECT_EQ(failures, std::vector<std::string>{"no web browser is installed"});
    // A refused address is never handed on, and no failure is told for it.
    WatchedWorkspace watched;
    failures.clear();
    EXPECT_FALSE(watched.workspace.openURL("file:///etc/passwd", failed));
    EXPECT_TRUE(watched.opened.empty() && failures.empty());
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
