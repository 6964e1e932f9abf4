#include "foundation/Paths.h"

#include "Platform/foundation/TemporaryDirectory.h"

#include <gtest/gtest.h>

using namespace platform;
using testing_support::ScopedEnvironment;

TEST(StandardizePath, RemovesDotsDuplicateAndTrailingSlashesAndExpandsALeadingTilde) {
    ScopedEnvironment home("HOME", "/home/someone");
    // Only "." and ".." are special, and only a leading tilde expands.
    const std::pair<const char*, const char*> cases[] = {
        {"/", "/"}, {"//", "/"}, {"/a/b/", "/a/b"}, {"/a//b///c", "/a/b/c"}, {"/a/./b/.", "/a/b"},
        {"/a/b/../c", "/a/c"}, {"/a/b/../../..", "/"}, {"/../x", "/x"}, {"/Volumes/Disk/../Other", "/Volumes/Other"},
        {"a/../../b", "../b"}, {"./a", "a"}, {".", "."}, {"", ""}, {"/a/.../b", "/a/.../b"},
        {"~", "/home/someone"}, {"~/", "/home/someone"}, {"~/Projects/../Code/", "/home/someone/Code"},
        {"/a/~/b", "/a/~/b"}, {"~no-such-user-here/x", "~no-such-user-here/x"}, {"~root", "/root"}};
    for (const auto& [in, out] : cases) EXPECT_EQ(standardizePath(in), out) << in;
}

TEST(Paths, HomeFallsBackToThePasswordDatabase) {
    const std::string real = realHomeDirectory();
    EXPECT_FALSE(real.empty());
    {
        ScopedEnvironment home("HOME", "/sandbox/home");
        EXPECT_EQ(homeDirectory(), "/sandbox/home");
        EXPECT_EQ(realHomeDirectory(), real);  // never the sandbox's
    }
    ScopedEnvironment home("HOME", nullptr);
    EXPECT_EQ(homeDirectory(), real);
}

TEST(Paths, XdgFoldersWithDefaults) {
    ScopedEnvironment home("HOME", "/h");
    for (const char* unset : {static_cast<const char*>(nullptr), "relative"}) {  // relative values are invalid
        ScopedEnvironment data("XDG_DATA_HOME", unset);
        ScopedEnvironment config("XDG_CONFIG_HOME", unset);
        EXPECT_EQ(dataHomeDirectory(), "/h/.local/share");
        EXPECT_EQ(configHomeDirectory(), "/h/.config");
    }
    ScopedEnvironment data("XDG_DATA_HOME", "/x/data/");
    ScopedEnvironment config("XDG_CONFIG_HOME", "/x/config");
    EXPECT_EQ(dataHomeDirectory(), "/x/data");
    EXPECT_EQ(configHomeDirectory(), "/x/config");
}

TEST(Paths, OtherVolumesAndComponents) {
    for (const char* p : {"/Volumes/Disk", "/media/me/USB", "/run/media/me/USB/x", "/mnt/backup"})
        EXPECT_TRUE(isOtherVolumePath(p)) << p;
    for (const char* p : {"/Volumes", "/media", "/mnt", "/home/me/mnt/x", "/medias/x", "/", ""})
        EXPECT_FALSE(isOtherVolumePath(p)) << p;
    EXPECT_EQ(appendPathComponent("/a", "b"), "/a/b");
    EXPECT_EQ(appendPathComponent("/a/", "/b"), "/a/b");
    EXPECT_EQ(appendPathComponent("/", "b"), "/b");
    for (const auto& [path, parent] : {std::pair{"/a/b", "/a"}, {"/a/b/", "/a"}, {"/a", "/"}, {"a", ""}})
        EXPECT_EQ(deletingLastPathComponent(path), parent) << path;
    EXPECT_EQ(lastPathComponent("/a/b/"), "b");
    EXPECT_EQ(lastPathComponent("/"), "/");
    EXPECT_EQ(lastPathComponent("name"), "name");
}
