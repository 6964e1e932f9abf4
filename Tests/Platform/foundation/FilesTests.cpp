#include "foundation/Files.h"

#include "FeedingPipe.h"
#include "Platform/foundation/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <fcntl.h>
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
