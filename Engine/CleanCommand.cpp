#include "CleanCommand.h"

#include "Dashboard.h"
#include "Home.h"
#include "SizeAccounting.h"
#include "Walker.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace tidewell::engine {

namespace {

StackMask stacksOfFolder(int fd, const ProjectDetector& detector) {
    const int dupFd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (dupFd < 0) return 0;
    DIR* dir = fdopendir(dupFd);
    if (!dir) {
        close(dupFd);
        return 0;
    }
    StackMask mask = 0;
    while (const dirent* d = readdir(dir)) mask |= detector.stacksMarkedBy(d->d_name);
    closedir(dir);
    return mask;
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) close(fd);
    }
};

}  // namespace

CleanOutcome runClean(const CleanOptions& options, const ProjectDetector& detector, Database& db, TrashMover& mover,
                      const std::atomic<bool>& stop) {
    const std::string project = normalizePath(options.projectPath);
    struct stat st {};
    if (lstat(project.c_str(), &st) != 0) throw CleanRefused("project path " + project + " cannot be found: " + std::strerror(errno));
    if (S_ISLNK(st.st_mode)) throw CleanRefused("project path " + project + " is a symbolic link; only real folders are cleaned");
    if (!S_ISDIR(st.st_mode)) throw CleanRefused("project path " + project + " is not a folder");
    const int fd = open(project.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throw CleanRefused("project path " + project + " cannot be opened: " + std::strerror(errno));
    FdCloser closeProject{fd};
    const StackMask stacks = stacksOfFolder(fd, detector);
    if (!stacks) throw CleanRefused("project path " + project + " is not a project (it holds no marker of any stack)");

    CleanOutcome out;
    CleanReportDTO& report = out.report;
    report.dry_run = !options.execute;
    report.project_path = project;
    std::vector<MovedFolder> moved;
    std::vector<std::string> listed;

    for (const auto& rule : detector.artifacts(stacks)) {
        if (rule.safetyClass == "caution" && !options.caution) continue;
        const std::string abs = project + "/" + rule.relPath;
        bool nested = false;
        for (const auto& l : listed) nested = nested || isInsideOrEqual(abs, l);
        if (nested) continue;
        const FolderState state = probeRealFolder(fd, rule.relPath);
        if (state == FolderState::Missing) continue;
        listed.push_back(abs);

        CleanItemDTO item;
        item.path = abs;
        item.safetyClass = rule.safetyClass;
        if (state != FolderState::RealFolder) {
            item.error = "not a real folder (a symbolic link, a file, or a link on the way); left in place";
            report.items.push_back(std::move(item));
            continue;
        }
        if (stop.load()) {
            out.interrupted = true;
            break;
        }
        const auto bytes = measureFolder(abs, true, false, stop);
        if (stop.load()) {
            out.interrupted = true;
            break;
        }
        if (!bytes) {
            item.error = "cannot be read; left in place";
            report.items.push_back(std::move(item));
            continue;
        }
        item.bytes = *bytes;
        if (!options.execute) {
            item.success = true;
        } else {
            const int parentFd = openParentNoFollow(fd, rule.relPath);
            if (parentFd < 0) {
                item.error = std::string("cannot be reached without following a link: ") + std::strerror(errno) + "; left in place";
            } else {
                const auto slash = rule.relPath.rfind('/');
                const std::string name = slash == std::string::npos ? rule.relPath : rule.relPath.substr(slash + 1);
                // Checked again at the moment of the move: a folder replaced
                // by a link since it was measured is not moved.
                struct stat now {};
                if (fstatat(parentFd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(now.st_mode)) {
                    item.error = "not a real folder any more; left in place";
                } else {
                    const TrashResult r = mover.trash(parentFd, name, abs);
                    item.success = r.moved;
                    if (!r.moved) item.error = r.error;
                }
                close(parentFd);
            }
            if (item.success) moved.push_back({abs, item.bytes});
        }
        if (item.success) report.bytes_reclaimed = saturatingAdd(report.bytes_reclaimed, item.bytes);
        report.items.push_back(std::move(item));
    }

    OperationDTO op;
    op.id = newUuid();
    op.timestamp_unix = static_cast<std::int64_t>(std::time(nullptr));
    op.project_path = project;
    op.bytes_reclaimed = report.bytes_reclaimed;
    op.dry_run = report.dry_run;
    op.items = report.items;
    report.operation_id = op.id;

    // Stopped before anything moved: there is nothing to record.
    if (out.interrupted && moved.empty()) return out;

    std::optional<DashboardDTO> dashboard;
    if (!moved.empty()) {
        try {
            dashboard = db.lastDashboard();
        } catch (const DatabaseError&) {
            dashboard.reset();  // an unreadable stored scan is left for the next scan to replace
        }
        if (dashboard && !applyClean(*dashboard, project, moved)) dashboard.reset();
    }
    db.recordClean(op, dashboard);
    return out;
}

}  // namespace tidewell::engine
