#include "Activity.h"

#include "Home.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tidewell::engine {

std::set<FolderId> userWorkingFolders() {
    std::set<FolderId> out;
    DIR* proc = opendir("/proc");
    if (!proc) return out;
    const uid_t me = getuid();
    const std::string self = std::to_string(getpid());
    while (const dirent* d = readdir(proc)) {
        if (d->d_name[0] < '0' || d->d_name[0] > '9' || self == d->d_name) continue;
        const std::string base = std::string("/proc/") + d->d_name;
        struct stat st {};
        if (stat(base.c_str(), &st) != 0 || st.st_uid != me) continue;
        // Up from the working folder itself, by "..", until the process's
        // root ("/" is its own parent) or a folder already met, whose own
        // parents are met already too.
        FolderId below{};
        for (int fd = open((base + "/cwd").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); fd >= 0;) {
            const bool read = fstat(fd, &st) == 0;
            const FolderId here{st.st_dev, st.st_ino};
            if (!read || here == below || !out.insert(here).second) {
                close(fd);
                break;
            }
            below = here;
            const int up = openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
            close(fd);
            fd = up;
        }
    }
    closedir(proc);
    return out;
}

std::uint64_t wholeDaysSince(std::int64_t last, std::int64_t now) {
    if (now <= last) return 0;
    return static_cast<std::uint64_t>(now - last) / kSecondsPerDay;
}

}  // namespace tidewell::engine
