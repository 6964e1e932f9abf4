// An atomic write must make the new contents durable before they replace the
// old file: fsync of the written file, then the rename, then fsync of the
// folder that holds the new name. This binary interposes fsync and rename
// to see the order in which they happen.

#include "foundation/Files.h"

#include "Platform/foundation/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

struct Step {
    std::string what;  // "fsync file", "fsync folder", "rename"
    ino_t inode = 0;   // the file or folder synced, or the file renamed
    std::string contents;  // of the file synced, as it stood then
};

bool recording = false;
std::vector<Step> steps;

}  // namespace

extern "C" int fsync(int fd) {
    static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    if (recording) {
        struct stat st {};
        ::fstat(fd, &st);
        Step step{S_ISDIR(st.st_mode) ? "fsync folder" : "fsync file", st.st_ino, {}};
        if (!S_ISDIR(st.st_mode)) {
            std::string buffer(static_cast<std::size_t>(st.st_size), '\0');
            if (::pread(fd, buffer.data(), buffer.size(), 0) == st.st_size) step.contents = buffer;
        }
        steps.push_back(step);
    }
    return real(fd);
}

extern "C" int rename(const char* from, const char* to) {
    static auto real = reinterpret_cast<int (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "rename"));
    if (recording) {
        struct stat st {};
        ::stat(from, &st);
        steps.push_back({"rename", st.st_ino, {}});
    }
    return real(from, to);
}

TEST(Files, AtomicWriteSyncsTheFileThenRenamesThenSyncsTheFolder) {
    testing_support::TemporaryDirectory dir;
    const std::string file = dir / "defaults.json";
    ASSERT_TRUE(platform::writeFileAtomically(file, "old"));

    steps.clear();
    recording = true;
    const bool written = platform::writeFileAtomically(file, "new contents");
    recording = false;
    ASSERT_TRUE(written);

    struct stat written_file {}, folder {};
    ASSERT_EQ(::stat(file.c_str(), &written_file), 0);
    ASSERT_EQ(::stat(dir.path().c_str(), &folder), 0);
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].what, "fsync file");
    EXPECT_EQ(steps[0].inode, written_file.st_ino);
    EXPECT_EQ(steps[0].contents, "new contents");  // synced whole, not before the last write
    EXPECT_EQ(steps[1].what, "rename");
    EXPECT_EQ(steps[1].inode, written_file.st_ino);
    EXPECT_EQ(steps[2].what, "fsync folder");
    EXPECT_EQ(steps[2].inode, folder.st_ino);
}
