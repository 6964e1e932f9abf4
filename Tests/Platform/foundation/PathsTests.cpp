#include "foundation/Paths.h"

#include "Platform/foundation/TemporaryDirectory.h"

#include <gtest/gtest.h>

using namespace platform;
using testing_support::ScopedEnvironment;

TEST(StandardizePath, RemovesDotsDuplicateAndTrailingSlashes) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"/", "/"},
        {"//", "/"},
        {"/a/b/", "/a/b"},
        {"/a//b///c", "/a/b/c"},
        {"/a/./b/.", "/a/b"},
        {"/a/b/../c", "/a/c"},
        {"/a/b/../../..", "/"},
        {"/../x", "/x"},
        {"/Volumes/Disk/../Other", "/Volumes/Other"},
        {"a/../../b", "../b"},
        {"./a", "a"},
        {".", "."},
        {"", ""},
        {"/a/.../b", "/a/.../b"},  // only "." and ".." are special
    };
    for (const auto& c : cases) EXPECT_EQ(standardizePath(c.in), c.out) << c.in;
}

TEST(StandardizePath, ExpandsLeadingTildeOnly) {
    ScopedEnvironment home("HOME", "/home/someone");
    EXPECT_EQ(standardizePath("~"), "/home/someone");
    EXPECT_EQ(standardizePath("~/"), "/home/someone");
    EXPECT_EQ(standardizePath("~/Projects/../Code/"), "/home/someone/Code");
    EXPECT_EQ(standardizePath("/a/~/b"), "/a/~/b");
    EXPECT_EQ(standardizePath("~no-such-user-here/x"), "~no-such-user-here/x");
    EXPECT_EQ(standardizePath("~root"), "/root");
}

TEST(Paths, HomeFallsBackToThePasswordDatabase) {
    const std::string real = realHomeDirectory();
    EXPECT_FALSE(real.empty());
    {
        ScopedEnvironment home("HOME", "/sandbox/home");
        EXPECT_EQ(homeDirectory(), "/sandbox/home");
        EXPECT_EQ(realHomeDirectory(), real);  // never the sandbox's
    }
    {
        ScopedEnvironment home("HOME", nullptr);
        EXPECT_EQ(homeDirectory(), real);
    }
}

TEST(Paths, XdgFoldersWithDefaults) {
    ScopedEnvironment home("HOME", "/h");
    {
        ScopedEnvironment data("XDG_DATA_HOME", nullptr);
        ScopedEnvironment config("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(dataHomeDirectory(), "/h/.local/share");
        EXPECT_EQ(configHomeDirectory(), "/h/.config");
    }
    {
        ScopedEnvironment data("XDG_DATA_HOME", "/x/data/");
        ScopedEnvironment config("XDG_CONFIG_HOME", "/x/config");
        EXPECT_EQ(dataHomeDirectory(), "/x/data");
        EXPECT_EQ(configHomeDirectory(), "/x/config");
    }
    {
        // Relative values are invalid by the standard and ignored.
        ScopedEnvironment data("XDG_DATA_HOME", "relative");
        EXPECT_EQ(dataHomeDirectory(), "/h/.local/share");
    }
}

TEST(Paths, OtherVolumes) {
    for (const char* p : {"/Volumes/Disk", "/media/me/USB", "/run/media/me/USB/x", "/mnt/backup"})
        EXPECT_TRUE(isOtherVolumePath(p)) << p;
    for (const char* p : {"/Volumes", "/media", "/mnt", "/home/me/mnt/x", "/medias/x", "/", ""})
        EXPECT_FALSE(isOtherVolumePath(p)) << p;
}

TEST(Paths, Components) {
    EXPECT_EQ(appendPathComponent("/a", "b"), "/a/b");
    EXPECT_EQ(appendPathComponent("/a/", "/b"), "/a/b");
    EXPECT_EQ(appendPathComponent("/", "b"), "/b");
    EXPECT_EQ(deletingLastPathComponent("/a/b"), "/a");
    EXPECT_EQ(deletingLastPathComponent("/a/b/"), "/a");
    EXPECT_EQ(deletingLastPathComponent("/a"), "/");
    EXPECT_EQ(deletingLastPathComponent("a"), "");
    EXPECT_EQ(lastPathComponent("/a/b/"), "b");
    EXPECT_EQ(lastPathComponent("/"), "/");
    EXPECT_EQ(lastPathComponent("name"), "name");
}
