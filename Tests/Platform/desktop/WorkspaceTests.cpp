#include <QClipboard>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "desktop/RecordingWorkspace.h"
#include "desktop/Workspace.h"

namespace fs = std::filesystem;
using platform::SystemWorkspace;

namespace {

// A temporary folder removed at the end of the test.
class TempTree {
public:
    TempTree() {
        root_ = fs::temp_directory_path() / ("tidewell-workspace-" + std::to_string(::getpid()) + "-" +
                                             std::to_string(counter_++));
        fs::create_directories(root_);
    }
    ~TempTree() { fs::remove_all(root_); }
    const fs::path& root() const { return root_; }

private:
    static inline int counter_ = 0;
    fs::path root_;
};

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

std::string fileURL(const fs::path& path) { return "file://" + path.string(); }

}  // namespace

TEST(BrowserURL, AcceptsOnlyAbsoluteHttpAndHttpsWithHost) {
    EXPECT_TRUE(platform::isBrowserURL("https://tidewell.app/leaderboard"));
    EXPECT_TRUE(platform::isBrowserURL("http://127.0.0.1:8080/signin?intent=x"));
    EXPECT_TRUE(platform::isBrowserURL("HTTPS://Example.com"));

    for (const char* refused : {"", "file:///etc/passwd", "javascript:alert(1)", "tidewell://share",
                                "ftp://example.com", "mailto:a@b.c", "/usr/bin/xterm", "example.com",
                                "https://", "http:///path-only", "https://exa mple.com",
                                "data:text/html,hi", "smb://host/share"}) {
        EXPECT_FALSE(platform::isBrowserURL(refused)) << refused;
    }
}

TEST(SystemWorkspace, OpenURLHandsOnlyBrowserAddressesToTheDesktop) {
    WatchedWorkspace watched;
    EXPECT_TRUE(watched.workspace.openURL("https://tidewell.app/account"));
    EXPECT_FALSE(watched.workspace.openURL("file:///home"));
    EXPECT_EQ(watched.opened, std::vector<std::string>{"https://tidewell.app/account"});
}

TEST(NearestExistingPath, WalksUpToTheClosestExistingFolder) {
    TempTree tree;
    const fs::path project = tree.root() / "project";
    fs::create_directories(project / "node_modules");

    EXPECT_EQ(platform::nearestExistingPath((project / "node_modules").string()),
              (project / "node_modules").string());
    EXPECT_EQ(platform::nearestExistingPath((project / "build" / "deep" / "gone").string()),
              project.string());
    EXPECT_EQ(platform::nearestExistingPath((project / "node_modules" / "").string()),
              (project / "node_modules").string());
    EXPECT_EQ(platform::nearestExistingPath((project / "x" / ".." / "node_modules").string()),
              (project / "node_modules").string());
    EXPECT_EQ(platform::nearestExistingPath("/"), "/");
    EXPECT_EQ(platform::nearestExistingPath(""), std::nullopt);
}

TEST(NearestExistingPath, ADanglingLinkIsStillAnItem) {
    TempTree tree;
    const fs::path link = tree.root() / "link";
    fs::create_symlink(tree.root() / "missing-target", link);
    EXPECT_EQ(platform::nearestExistingPath(link.string()), link.string());
}

TEST(SystemWorkspace, RevealAsksTheFileManagerToSelectTheItem) {
    TempTree tree;
    const fs::path folder = tree.root() / "app" / "build";
    fs::create_directories(folder);

    WatchedWorkspace watched;
    EXPECT_TRUE(watched.workspace.revealPath(folder.string()));
    EXPECT_EQ(watched.shown, std::vector<std::string>{fileURL(folder)});
    EXPECT_TRUE(watched.opened.empty());
}

TEST(SystemWorkspace, RevealOfAMissingPathSelectsItsNearestExistingParent) {
    TempTree tree;
    const fs::path app = tree.root() / "app";
    fs::create_directories(app);

    WatchedWorkspace watched;
    EXPECT_TRUE(watched.workspace.revealPath((app / "build" / "intermediates").string()));
    EXPECT_EQ(watched.shown, std::vector<std::string>{fileURL(app)});
}

TEST(SystemWorkspace, WithoutAFileManagerRevealOpensTheContainingFolder) {
    TempTree tree;
    const fs::path folder = tree.root() / "app" / "dist";
    fs::create_directories(folder);

    WatchedWorkspace watched;
    watched.fileManagerAnswers = false;
    EXPECT_TRUE(watched.workspace.revealPath(folder.string()));
    EXPECT_EQ(watched.opened, std::vector<std::string>{fileURL(folder.parent_path())});
}

TEST(SystemWorkspace, RevealOfAnEmptyPathShowsNothing) {
    WatchedWorkspace watched;
    EXPECT_FALSE(watched.workspace.revealPath(""));
    EXPECT_TRUE(watched.shown.empty());
    EXPECT_TRUE(watched.opened.empty());
}

TEST(SystemWorkspace, RevealEncodesPathsAsFileURLs) {
    TempTree tree;
    const fs::path odd = tree.root() / "my app #1 %20";
    fs::create_directories(odd);

    WatchedWorkspace watched;
    watched.workspace.revealPath(odd.string());
    ASSERT_EQ(watched.shown.size(), 1u);
    EXPECT_NE(watched.shown[0].find("my%20app%20%231%20%2520"), std::string::npos) << watched.shown[0];
}

TEST(SystemWorkspace, CopiesTextToTheClipboard) {
    SystemWorkspace workspace(SystemWorkspace::Launchers{});
    workspace.copyToClipboard("~/code/app · 1.2 GB");
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "~/code/app · 1.2 GB");
}

TEST(SharedWorkspace, ATestCanInstallARecorderAndRestoreTheSystemOne) {
    platform::Workspace& system = platform::Workspace::shared();
    platform::RecordingWorkspace recorder;
    {
        platform::ScopedWorkspace scope(recorder);
        EXPECT_EQ(&platform::Workspace::shared(), &recorder);
        EXPECT_FALSE(platform::Workspace::shared().openURL("file:///etc"));
        EXPECT_TRUE(platform::Workspace::shared().openURL("https://example.com"));
    }
    EXPECT_EQ(&platform::Workspace::shared(), &system);
    EXPECT_EQ(recorder.refusedURLs, std::vector<std::string>{"file:///etc"});
    EXPECT_EQ(recorder.openedURLs, std::vector<std::string>{"https://example.com"});
}
