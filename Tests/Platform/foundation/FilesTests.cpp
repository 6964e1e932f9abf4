#include "foundation/Files.h"

#include "FeedingPipe.h"
#include "Platform/foundation/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// What stands where a file belongs is neither read nor written, nor waited
// on: each refusal says what it is.
TEST(Files, WhatIsNoRegularFileIsRefusedWithoutWaiting) {
    testing_support::TemporaryDirectory dir;
    testsupport::FeedingPipe fed(dir / "fed.json", "{}");
    // Someone reads this one: a write that opened it would go in, not wait.
    ASSERT_EQ(::mkfifo((dir / "read.json").c_str(), 0666), 0);
    const int reader = ::open((dir / "read.json").c_str(), O_RDONLY | O_NONBLOCK);
    std::filesystem::create_directories(dir / "folder.json");
    std::filesystem::create_symlink("/dev/null", dir / "device.json");
    const std::tuple<std::string, std::string, std::string> refusals[] = {
        {"fed.json", "read.json", "it is a named pipe, not a regular file"},
        {"folder.json", "folder.json", "it is a folder, not a regular file"},
        {"device.json", "device.json", "it is a device, not a regular file"}};
    for (const auto& [read, written, reason] : refusals) {
        platform::FileError readError, writeError;
        EXPECT_EQ(platform::readFileContents(dir / read, &readError), std::nullopt) << reason;
        EXPECT_EQ(platform::openRegularFileForWriting(dir / written, &writeError), -1) << reason;
        EXPECT_EQ(readError.reason, reason);
        EXPECT_EQ(writeError.reason, reason);
    }
    ::close(reader);

    const int fd = platform::openRegularFileForWriting(dir.write("file.json", "old and longer"));
    ASSERT_TRUE(fd >= 0 && ::write(fd, "new", 3) == 3 && ::close(fd) == 0);
    EXPECT_EQ(platform::readFileContents(dir / "file.json"), "new") << "emptied before the write";
}

// A run as root with a user's HOME hands none of that user's files to root:
// folders and files it makes there are the user's, and a file it replaces
// keeps its owner. In a folder of root's own, what root makes is root's.
TEST(Files, ARunAsRootWithAUsersHomeMakesAndReplacesFilesAsThatUser) {
    testing_support::TemporaryDirectory dir;
    ::chmod(dir.path().c_str(), 0755);
    const std::string home = dir / "home";
    std::filesystem::create_directories(home + "/.local");
    for (const auto& entry : {home, home + "/.local"}) ASSERT_EQ(::chown(entry.c_str(), 65534, 65534), 0);
    testing_support::ScopedEnvironment homeVariable("HOME", home.c_str());
    const auto ownerOf = [](const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 ? std::pair{st.st_uid, st.st_gid} : std::pair{uid_t(-1), gid_t(-1)};
    };
    const auto users = std::pair{uid_t(65534), gid_t(65534)};
    const std::string file = home + "/.local/share/Tidewell/last-dashboard.json";
    ASSERT_TRUE(platform::writeFileAtomically(file, "{}"));
    for (const auto& made : {home + "/.local/share", home + "/.local/share/Tidewell", file})
        EXPECT_EQ(ownerOf(made), users) << made;
    ASSERT_TRUE(platform::writeFileAtomically(file, "{\"later\": 1}"));
    EXPECT_EQ(ownerOf(file), users) << "replaced, the file stays the user's";
    ASSERT_TRUE(platform::createDirectories(home + "/.config/Tidewell"));
    EXPECT_EQ(ownerOf(home + "/.config"), users);
    ASSERT_TRUE(platform::writeFileAtomically(dir / "roots/own.json", "{}"));
    EXPECT_EQ(ownerOf(dir / "roots/own.json"), (std::pair{uid_t(0), gid_t(0)}));
    EXPECT_EQ(platform::whyNotReplaceable(home + "/.config/Tidewell/defaults.json"), "its folder belongs to another user")
        << "settings are not made in another user's folder";
    EXPECT_EQ(platform::whyNotReplaceable(file, platform::RootSaves::asTheHomeOwner), std::nullopt);
}
