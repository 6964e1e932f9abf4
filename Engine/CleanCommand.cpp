#include "CleanCommand.h"

#include "Dashboard.h"
#include "Home.h"
#include "Movability.h"
#include "SizeAccounting.h"
#include "Progress.h"
#include "Walker.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "foundation/Utf8.h"

namespace tidewell::engine {

namespace {

// The stacks a folder's markers name, and those whose folders below it are
// modules of its build.
std::pair<StackMask, StackMask> stacksOfFolder(int fd, const ProjectDetector& detector) {
    const int dupFd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (dupFd < 0) return {};
    DIR* dir = fdopendir(dupFd);
    if (!dir) {
        close(dupFd);
        return {};
    }
    rewinddir(dir);  // a duplicate shares its read position
    StackMask mask = 0, enclosing = 0;
    while (const dirent* d = readdir(dir)) {
        mask |= detector.stacksMarkedBy(d->d_name);
        enclosing |= detector.stacksEnclosedBy(d->d_name);
    }
    closedir(dir);
    return {mask, enclosing};
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) close(fd);
    }
};

std::string parentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Refuses what a scan never offers: a project reached through a symbolic
// link, one inside an artifact folder of a project around it (a package in
// another project's node_modules), or a module of a build around it.
void refuseUnoffered(const std::string& project, StackMask stacks, const ProjectDetector& detector) {
    char* real = realpath(project.c_str(), nullptr);
    const bool direct = real && project == real;
    std::free(real);
    if (!direct) throw CleanRefused("project path " + project + " goes through a symbolic link; only real folders are cleaned");
    for (std::string up = project; up != "/";) {
        up = parentOf(up);
        const int fd = open(up.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) continue;
        FdCloser closeUp{fd};
        const auto [marked, enclosing] = stacksOfFolder(fd, detector);
        const StackMask upStacks = detector.confirmed(fd, marked);
        if (!upStacks) continue;
        stacks &= ~enclosing;
        if (!stacks)
            throw CleanRefused("project path " + project + " is a module of the build of the project " + up + ", which is cleaned as a whole");
        const std::string rel = up == "/" ? project.substr(1) : project.substr(up.size() + 1);
        bool inside = false;
        for (const auto& rule : detector.artifacts(upStacks))
            for (const auto& a : matchArtifactPaths(fd, rule.relPath)) inside = inside || isInsideOrEqual(rel, a);
        for (std::size_t i = 0; i <= rel.size() && !inside;) {
            const std::size_t j = std::min(rel.find('/', i), rel.size());
            inside = (detector.anywhereStacks(std::string_view(rel).substr(i, j - i)) & upStacks) != 0;
            i = j + 1;
        }
        if (inside) throw CleanRefused("project path " + project + " lies inside an artifact folder of the project " + up);
    }
}

// One clean at a time per database, and no recovery while a clean moves:
// an exclusive lock on a file beside the database, released by the kernel
// when the process ends, however it ends.
class CleanLock {
public:
    explicit CleanLock(const std::string& dbPath) : fd_(open((dbPath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_ >= 0)
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~CleanLock() {
        if (fd_ >= 0) close(fd_);
    }
    CleanLock(const CleanLock&) = delete;
    CleanLock& operator=(const CleanLock&) = delete;

private:
    int fd_;
};

std::uint64_t movedBytes(const OperationDTO& op) {
    std::uint64_t sum = 0;
    for (const auto& i : *op.items)
        if (i.success) sum = saturatingAdd(sum, i.bytes);
    return sum;
}

// The history holds what moved: a clean's failed items stay in its report.
std::vector<CleanItemDTO> movedItems(const std::vector<CleanItemDTO>& items) {
    std::vector<CleanItemDTO> out;
    for (const auto& i : items)
        if (i.success) out.push_back(i);
    return out;
}

// The dashboard in store with the moved folders taken out, or none.
std::optional<DashboardDTO> dashboardAfter(Database& db, const std::string& project, const std::vector<MovedFolder>& moved) {
    if (moved.empty()) return std::nullopt;
    std::optional<DashboardDTO> dashboard;
    try {
        dashboard = db.lastDashboard();
    } catch (const DatabaseError&) {
        return std::nullopt;  // an unreadable stored scan is left for the next scan to replace
    }
    if (dashboard && !applyClean(*dashboard, project, moved)) dashboard.reset();
    return dashboard;
}

// Completes the records of cleans that ended abruptly (killed) while moving:
// the move in flight counts when its folder reached the trash, else its
// reserved info file is removed. What moved joins the history.
void completeInterruptedCleans(Database& db) {
    for (auto& p : db.pendingCleans()) {
        OperationDTO& op = p.operation;
        if (!op.items) op.items.emplace();
        if (!p.movingInfo.empty() && !op.items->empty()) {
            CleanItemDTO& last = op.items->back();
            struct stat st {};
            const bool there = lstat(p.movingTrashed.c_str(), &st) == 0;
            if (!there || static_cast<std::int64_t>(st.st_dev) != p.movingDev || static_cast<std::int64_t>(st.st_ino) != p.movingIno) {
                if (!there && errno == ENOENT) unlink(p.movingInfo.c_str());
                last.success = false;
                last.error = last.path + " was not moved: the clean was interrupted before it moved; left in place";
            }
        }
        op.items = movedItems(*op.items);
        op.bytes_reclaimed = movedBytes(op);
        std::vector<MovedFolder> moved;
        for (const auto& i : *op.items)
            if (i.success) moved.push_back({i.path, i.bytes});
        if (moved.empty()) db.dropPending(op.id);
        else db.recordClean(op, dashboardAfter(db, op.project_path.value_or(""), moved));
    }
}

struct Target {
    std::string rel;
    std::string safetyClass;
};

// The artifact folders of the project now: those at the rules' places, then
// those the rules name anywhere inside it (found by a walk that does not
// enter artifacts), each with its class.
std::vector<Target> currentArtifacts(int fd, const std::string& project, StackMask stacks, const ProjectDetector& detector,
                                     const std::atomic<bool>& stop) {
    std::vector<Target> out;
    for (const auto& rule : detector.artifacts(stacks))
        for (const auto& rel : matchArtifactPaths(fd, rule.relPath)) out.push_back({rel, rule.safetyClass});
    keepOutermost(out, [](const Target& t) -> const std::string& { return t.rel; });
    if (!(stacks & (detector.anywhereStackMask() | detector.enclosableStackMask()))) return out;
    Progress silent(nullptr, 0);
    Walker walker(detector, silent, stop, 32, Walker::defaultThreads());
    walker.skipArtifactContents();
    std::string error;
    if (!walker.walkRoot(project, error)) return out;
    const WalkResult walk = walker.finish();
    if (walk.projects.empty() || walk.projects[0].path != project) return out;
    std::vector<Target> anywhere;
    for (const auto& a : walk.projects[0].artifacts)
        if (std::none_of(out.begin(), out.end(), [&](const Target& t) { return t.rel == a.relPath; }))
            anywhere.push_back({a.relPath, a.safetyClass});
    std::sort(anywhere.begin(), anywhere.end(), [](const Target& a, const Target& b) { return a.rel < b.rel; });
    out.insert(out.end(), anywhere.begin(), anywhere.end());
    keepOutermost(out, [](const Target& t) -> const std::string& { return t.rel; });
    return out;
}

bool identityOf(int projectFd, const std::string& rel, FolderIdentity& id) {
    const int parent = openParentNoFollow(projectFd, rel);
    if (parent < 0) return false;
    const auto slash = rel.rfind('/');
    struct stat st {};
    const bool ok = fstatat(parent, (slash == std::string::npos ? rel : rel.substr(slash + 1)).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISDIR(st.st_mode);
    close(parent);
    id = {st.st_dev, st.st_ino};
    return ok;
}

}  // namespace

// A folder the caller asked for by path (the confirmed preview), and why it
// was left when it no longer qualifies.
struct Asked {
    std::string path;
    bool listed = false;
    std::string safetyClass = "caution";
    std::string reason;
};

CleanOutcome runClean(const CleanOptions& options, const ProjectDetector& detector, Database& db, TrashMover& mover,
                      const std::atomic<bool>& stop) {
    const std::string project = normalizePath(options.projectPath);
    // The application names projects by their path in JSON: one it cannot
    // give back as it is was never offered.
    if (!platform::isValidUtf8(project))
        throw CleanRefused("project path " + project + " is not valid UTF-8; such a project cannot be cleaned");
    struct stat st {};
    if (lstat(project.c_str(), &st) != 0) throw CleanRefused("project path " + project + " cannot be found: " + std::strerror(errno));
    if (S_ISLNK(st.st_mode)) throw CleanRefused("project path " + project + " is a symbolic link; only real folders are cleaned");
    if (!S_ISDIR(st.st_mode)) throw CleanRefused("project path " + project + " is not a folder");
    const int fd = open(project.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throw CleanRefused("project path " + project + " cannot be opened: " + std::strerror(errno));
    FdCloser closeProject{fd};
    const StackMask stacks = detector.confirmed(fd, stacksOfFolder(fd, detector).first);
    if (!stacks) throw CleanRefused("project path " + project + " is not a project (it holds no marker of any stack)");
    refuseUnoffered(project, stacks, detector);

    const CleanLock lock(db.path());
    completeInterruptedCleans(db);

    CleanOutcome out;
    CleanReportDTO& report = out.report;
    report.dry_run = !options.execute;
    report.project_path = project;
    std::vector<MovedFolder> moved;
    Movability movability(mover.dataHome());
    const ProjectPlace place = placeOf(fd, project);

    std::vector<Asked> asked;
    for (const auto& a : options.artifacts) {
        const std::string path = normalizePath(a);
        if (std::none_of(asked.begin(), asked.end(), [&](const Asked& x) { return x.path == path; })) asked.push_back({path});
    }

    Database::PendingClean pending;
    OperationDTO& op = pending.operation;
    op.id = newUuid();
    op.timestamp_unix = static_cast<std::int64_t>(std::time(nullptr));
    op.project_path = project;
    op.dry_run = report.dry_run;
    report.operation_id = op.id;

    for (const auto& target : currentArtifacts(fd, project, stacks, detector, stop)) {
        const std::string abs = joinPath(project, target.rel);
        // With the folders of a confirmed preview, only those are touched.
        Asked* wanted = nullptr;
        for (auto& a : asked)
            if (a.path == abs) wanted = &a;
        if (!asked.empty() && !wanted) continue;
        if (wanted) wanted->safetyClass = target.safetyClass;
        if (target.safetyClass == "caution" && !options.caution) {
            if (wanted) wanted->reason = abs + " is a Caution folder and Caution folders were not included; left in place";
            continue;
        }
        const FolderState state = probeRealFolder(fd, target.rel);
        if (state == FolderState::Missing) continue;
        if (wanted) wanted->listed = true;

        CleanItemDTO item;
        item.path = abs;
        item.safetyClass = target.safetyClass;
        FolderIdentity checked;
        if (state != FolderState::RealFolder || !identityOf(fd, target.rel, checked)) {
            item.error = abs + " is not a real folder (a symbolic link, a file, or a link on the way); left in place";
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
            item.error = abs + " cannot be read; left in place";
            report.items.push_back(std::move(item));
            continue;
        }
        item.bytes = *bytes;  // also when it fails: what it holds, not what was freed
        const int parentFd = openParentNoFollow(fd, target.rel);
        const auto slash = target.rel.rfind('/');
        const std::string name = slash == std::string::npos ? target.rel : target.rel.substr(slash + 1);
        if (parentFd < 0) {
            item.error = abs + " cannot be reached without following a link: " + std::strerror(errno) + "; left in place";
        } else if (const auto why = movability.obstacle(parentFd, name, abs, place)) {
            item.error = abs + " " + *why + "; left in place";
        } else if (!options.execute) {
            item.success = true;
        } else {
            // Checked again at the moment of the move: a folder replaced
            // since it was measured is not moved.
            FolderIdentity now;
            if (!identityOf(fd, target.rel, now) || now.dev != checked.dev || now.ino != checked.ino) {
                item.error = abs + " is not the folder that was measured any more; left in place";
            } else {
                // Recorded as pending just before the move, so that a move
                // finished by a process killed right after it is still
                // completed in the history by the next clean.
                const auto recordMove = [&](const std::string& info, const std::string& trashed) {
                    CleanItemDTO inFlight = item;
                    inFlight.success = true;
                    op.items = movedItems(report.items);
                    op.items->push_back(inFlight);
                    op.bytes_reclaimed = saturatingAdd(report.bytes_reclaimed, item.bytes);
                    pending.movingInfo = info;
                    pending.movingTrashed = trashed;
                    pending.movingDev = static_cast<std::int64_t>(checked.dev);
                    pending.movingIno = static_cast<std::int64_t>(checked.ino);
                    db.savePending(pending);
                };
                try {
                    const TrashResult r = mover.trash(parentFd, name, abs, &checked, recordMove);
                    item.success = r.moved;
                    if (!r.moved) item.error = r.error;
                } catch (const DatabaseError& e) {
                    // A move that cannot be recorded is not made, nor any
                    // after it; what moved before is still reported.
                    item.error = abs + " was left in place: its move cannot be recorded: " + e.what();
                    out.unrecorded = e.what();
                }
            }
            if (item.success) moved.push_back({abs, item.bytes});
        }
        if (parentFd >= 0) close(parentFd);
        if (item.success) report.bytes_reclaimed = saturatingAdd(report.bytes_reclaimed, item.bytes);
        report.items.push_back(std::move(item));
        if (!out.unrecorded.empty()) break;
    }

    if (!out.interrupted) {
        for (const auto& a : asked) {
            if (a.listed) continue;
            CleanItemDTO item;
            item.path = a.path;
            item.safetyClass = a.safetyClass;
            item.error = !out.unrecorded.empty() ? a.path + " was left in place: the clean stopped, as its moves cannot be recorded"
                         : !a.reason.empty()      ? a.reason
                                                  : a.path + " is not a folder this project can clean any more; left in place";
            report.items.push_back(std::move(item));
        }
    }
    if (!out.unrecorded.empty() && moved.empty()) throw DatabaseError(out.unrecorded);

    // A preview is recorded whole; a clean only with what it moved, and not
    // at all when nothing moved.
    op.bytes_reclaimed = report.bytes_reclaimed;
    op.items = options.execute ? movedItems(report.items) : report.items;
    if ((options.execute || out.interrupted) && moved.empty()) {
        db.dropPending(op.id);
        return out;
    }
    try {
        db.recordClean(op, dashboardAfter(db, project, moved));
    } catch (const DatabaseError& e) {
        if (moved.empty()) throw;
        // What moved is in the Trash whatever the database says: it is
        // reported now, and its pending record completes the history later.
        out.unrecorded = e.what();
    }
    return out;
}

}  // namespace tidewell::engine
