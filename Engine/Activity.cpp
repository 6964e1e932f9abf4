#include "Activity.h"

#include "Home.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace tidewell::engine {

std::vector<std::string> userWorkingFolders() {
    std::vector<std::string> out;
    DIR* proc = opendir("/proc");
    if (!proc) return out;
    const uid_t me = getuid();
    const std::string self = std::to_string(getpid());
    while (const dirent* d = readdir(proc)) {
        if (d->d_name[0] < '0' || d->d_name[0] > '9' || self == d->d_name) continue;
        const std::string base = std::string("/proc/") + d->d_name;
        struct stat st {};
        if (stat(base.c_str(), &st) != 0 || st.st_uid != me) continue;
        char buf[4096];
        const ssize_t n = readlink((base + "/cwd").c_str(), buf, sizeof buf - 1);
        if (n <= 0) continue;
        std::string cwd(buf, static_cast<std::size_t>(n));
        if (cwd.size() > 10 && cwd.compare(cwd.size() - 10, 10, " (deleted)") == 0) continue;
        out.push_back(std::move(cwd));
    }
    closedir(proc);
    return out;
}

bool anyFolderInside(const std::vector<std::string>& folders, const std::string& project) {
    for (const auto& f : folders)
        if (isInsideOrEqual(f, project)) return true;
    return false;
}

std::uint64_t wholeDaysSince(std::int64_t last, std::int64_t now) {
    if (now <= last) return 0;
    return static_cast<std::uint64_t>(now - last) / kSecondsPerDay;
}

}  // namespace tidewell::engine
