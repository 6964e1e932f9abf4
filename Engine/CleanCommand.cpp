#include "CleanCommand.h"

#include "Activity.h"
#include "CleanHelper.h"
#include "CleanJournal.h"
#include "Dashboard.h"
#include "FolderProbe.h"
#include "Home.h"
#include "Movability.h"
#include "Progress.h"
#include "SizeAccounting.h"
#include "TrackedFiles.h"
#include "Walker.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <optional>
#include <unordered_map>

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

// What a project folder around the one being cleaned says of it: the stacks
// whose folders below it are modules of its build, and whether the one being
// cleaned lies inside one of its artifact folders.
struct Around {
    std::string path;
    StackMask enclosing = 0;
    bool inside = false;
};

// Looks at the folder `up` around `project` (open as `fd`, perhaps only as a
// path): nothing when it is no project or cannot be listed.
std::optional<Around> lookAround(int fd, const std::string& up, const std::string& project, const ProjectDetector& detector) {
    const int readable = openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readable < 0) return std::nullopt;
    FdCloser closeReadable{readable};
    const auto [marked, enclosing] = stacksOfFolder(readable, detector);
    const StackMask upStacks = detector.confirmed(readable, marked);
    if (!upStacks) return std::nullopt;
    Around around{up, enclosing};
    const std::string rel = up == "/" ? project.substr(1) : project.substr(up.size() + 1);
    for (const auto& rule : detector.artifacts(upStacks))
        for (const auto& a : matchArtifactPaths(readable, rule)) around.inside = around.inside || isInsideOrEqual(rel, a);
    for (std::size_t i = 0; i <= rel.size() && !around.inside;) {
        const std::size_t j = std::min(rel.find('/', i), rel.size());
        around.inside = (detector.anywhereStacks(std::string_view(rel).substr(i, j - i)) & upStacks) != 0;
        i = j + 1;
    }
    return around;
}

// Opens the project folder from "/" one name at a time: a path of any length
// opens (the scan reaches projects deeper than PATH_MAX the same way). Links
// in the path are the user's own layout (~/code -> /data/code, or a scan
// folder ~/myapp -> /data/myapp that is itself the project), as the scan
// takes its roots: each is followed, once, here. The project then stays open
// by this descriptor for the whole clean, so a link changed meanwhile moves
// nothing else, and below it nothing is ever reached through a link. The
// project folders around it are looked at on the way, outermost first.
int openProject(const std::string& project, const ProjectDetector& detector, std::vector<Around>& around) {
    const auto refuse = [&](const std::string& why) { return CleanRefused("project path " + project + " " + why); };
    int fd = open("/", (project == "/" ? O_RDONLY : O_PATH) | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw refuse("cannot be opened: " + std::string(std::strerror(errno)));
    std::string up = "/";
    for (std::size_t i = 1; i < project.size();) {
        if (auto a = lookAround(fd, up, project, detector)) around.push_back(std::move(*a));
        const std::size_t j = std::min(project.find('/', i), project.size());
        const std::string name = project.substr(i, j - i);
        const bool last = j == project.size();
        const int next = openat(fd, name.c_str(), (last ? O_RDONLY : O_PATH) | O_DIRECTORY | O_CLOEXEC);
        if (next < 0) {
            const int e = errno;
            struct stat st {};
            // Of the project folder itself, what a link there leads to.
            const int rc = fstatat(fd, name.c_str(), &st, last ? 0 : AT_SYMLINK_NOFOLLOW);
            const int statError = errno;
            close(fd);
            if (rc != 0) throw refuse("cannot be found: " + std::string(std::strerror(statError)));
            // A link on the way that leads nowhere (or nowhere this user may go).
            if (S_ISLNK(st.st_mode)) throw refuse("cannot be found: " + std::string(std::strerror(e)));
            if (!S_ISDIR(st.st_mode)) throw refuse(last ? "is not a folder" : "cannot be found: " + std::string(std::strerror(ENOTDIR)));
            throw refuse("cannot be opened: " + std::string(std::strerror(e)));
        }
        close(fd);
        fd = next;
        up = project.substr(0, j);
        i = j + 1;
    }
    return fd;
}

// Refuses what a scan never offers: a project inside an artifact folder of a
// project around it (a package in another project's node_modules), or a
// module of a build around it. The nearest project around it speaks first.
void refuseUnoffered(const std::string& project, StackMask stacks, const std::vector<Around>& around) {
    for (auto it = around.rbegin(); it != around.rend(); ++it) {
        stacks &= ~it->enclosing;
        if (!stacks)
            throw CleanRefused("project path " + project + " is a module of the build of the project " + it->path + ", which is cleaned as a whole");
        if (it->inside) throw CleanRefused("project path " + project + " lies inside an artifact folder of the project " + it->path);
    }
}

struct Target {
    std::string rel;
    std::string safetyClass;
    std::string keptBy;  // why a project nested in this one keeps it now, if one does
};

// The artifact folders of the project now: those at the rules' places, then
// those the rules name anywhere inside it (found by a walk that does not
// enter artifacts), each with its class. One that lies inside a nested
// project that is active or pinned now says so.
std::vector<Target> currentArtifacts(int fd, const std::string& project, StackMask stacks, const ProjectDetector& detector,
                                     const std::atomic<bool>& stop) {
    std::vector<Target> out;
    for (const auto& rule : detector.artifacts(stacks))
        for (const auto& rel : matchArtifactPaths(fd, rule)) out.push_back({rel, rule.safetyClass});
    keepOutermost(out, [](const Target& t) -> const std::string& { return t.rel; });
    // Only a folder below the project's own can lie in a nested project.
    const bool deeper = std::any_of(out.begin(), out.end(), [](const Target& t) { return t.rel.find('/') != std::string::npos; });
    if (!deeper && !(stacks & (detector.anywhereStackMask() | detector.enclosableStackMask()))) return out;
    Progress silent(nullptr, 0);
    Walker walker(detector, silent, stop, 32, Walker::defaultThreads());
    walker.skipArtifactContents();
    std::string error;
    if (!walker.walkRoot(project, error, fd)) return out;
    const WalkResult walk = walker.finish();
    if (walk.projects.empty() || walk.projects[0].path != project) return out;
    std::optional<ScanContext> now;
    std::unordered_map<std::string, std::string> kept;  // by relative path
    for (const auto& a : walk.projects[0].artifacts) {
        if (a.within < 0) continue;
        if (!now) now = ScanContext{static_cast<std::int64_t>(std::time(nullptr)), 0, userWorkingFolders()};
        if (const WalkedProject* held = heldAround(walk, 0, a, *now))
            kept[a.relPath] = joinPath(project, a.relPath) + " lies inside the project " + held->path +
                              (held->pinned ? ", which is pinned" : ", which is active (in use or changed within the last day)") + "; left in place";
    }
    std::vector<Target> anywhere;
    for (const auto& a : walk.projects[0].artifacts)
        if (std::none_of(out.begin(), out.end(), [&](const Target& t) { return t.rel == a.relPath; }))
            anywhere.push_back({a.relPath, a.safetyClass});
    std::sort(anywhere.begin(), anywhere.end(), [](const Target& a, const Target& b) { return a.rel < b.rel; });
    out.insert(out.end(), anywhere.begin(), anywhere.end());
    keepOutermost(out, [](const Target& t) -> const std::string& { return t.rel; });
    for (auto& t : out)
        if (const auto it = kept.find(t.rel); it != kept.end()) t.keptBy = it->second;
    return out;
}

// The real path of the open folder `fd` at `path`: the kernel's, or `path`
// itself when the kernel cannot give it (past PATH_MAX).
std::string realPathOf(int fd, const std::string& path) {
    std::string buf(PATH_MAX, '\0');
    const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), buf.data(), buf.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buf.size() || buf[0] != '/') return path;
    buf.resize(static_cast<std::size_t>(n));
    return buf;
}

// The folder at an artifact's path is not the one that was measured.
struct NotInPlace {};

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

// Whether a clean recorded since the last preview that listed `path` moved
// it: a confirmed folder gone from its place went to the Trash with another
// clean (another window's, or the terminal's), not with this one.
bool movedByAnotherClean(Database& db, const std::string& project, const std::string& path) {
    Database::Query q(db, "SELECT json FROM operations WHERE project_path = ? ORDER BY rowid DESC LIMIT 100;");
    q.bind(1, project);
    while (q.next()) {
        OperationDTO op;
        try {
            op = decode<OperationDTO>(q.text(0));
        } catch (const DecodeError&) {
            continue;
        }
        const auto items = op.items.value_or(std::vector<CleanItemDTO>{});
        const bool listed =
            std::any_of(items.begin(), items.end(), [&](const CleanItemDTO& i) { return i.success && i.path == path; });
        if (listed) return !op.dry_run;
    }
    return false;
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

CleanOutcome cleanFolders(const CleanOptions& options, const OperationDTO& op, const ProjectDetector& detector, CleanRecords& records,
                          TrashMover& mover, const std::atomic<bool>& stop) {
    const std::string project = *op.project_path;
    std::vector<Around> around;
    const int fd = openProject(project, detector, around);
    FdCloser closeProject{fd};
    const StackMask stacks = detector.confirmed(fd, stacksOfFolder(fd, detector).first);
    if (!stacks) throw CleanRefused("project path " + project + " is not a project (it holds no marker of any stack)");
    refuseUnoffered(project, stacks, around);
    if (!records.opened()) {
        CleanOutcome stopped;
        stopped.interrupted = true;
        return stopped;
    }

    CleanOutcome out;
    CleanReportDTO& report = out.report;
    report.dry_run = !options.execute;
    report.project_path = project;
    report.operation_id = op.id;
    bool movedAny = false;
    Movability movability(mover.dataHome());
    const ProjectPlace place = placeOf(fd, project);
    TrackedFiles tracked;
    const std::string realProject = realPathOf(fd, project);
    const GitCandidate* repo = tracked.candidateAround(realProject);

    std::vector<Asked> asked;
    std::unordered_map<std::string, std::size_t> askedAt;  // by path
    for (const auto& a : options.artifacts) {
        const std::string path = normalizePath(a);
        if (askedAt.emplace(path, asked.size()).second) asked.push_back({path});
    }

    int moves = 0;

    for (const auto& target : currentArtifacts(fd, project, stacks, detector, stop)) {
        const std::string abs = joinPath(project, target.rel);
        // With the folders of a confirmed preview, only those are touched.
        const auto at = askedAt.find(abs);
        Asked* wanted = at == askedAt.end() ? nullptr : &asked[at->second];
        if (!asked.empty() && !wanted) continue;
        if (wanted) wanted->safetyClass = target.safetyClass;
        if (!target.keptBy.empty()) {
            if (wanted) wanted->reason = target.keptBy;
            continue;
        }
        // A folder holding a file that Git tracks is source, not an artifact;
        // the nearest repository around it answers (a submodule's own).
        const GitCandidate* nearest = tracked.candidateWithin(repo, fd, realProject, target.rel);
        if (const auto git = tracked.folder(nearest, joinPath(realProject, target.rel)); git.tracking != TrackedFiles::Tracking::Untracked) {
            if (wanted)
                wanted->reason = git.tracking == TrackedFiles::Tracking::Unknown
                                     ? abs + " may hold files that Git tracks, as " + git.detail + "; left in place"
                                 : git.submodule ? abs + " is a submodule, which Git tracks, so it is source and not a build folder; left in place"
                                                 : abs + " holds " + git.detail + ", which Git tracks, so it is source and not a build folder; left in place";
            continue;
        }
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
        // Once a move cannot be recorded, no other is made.
        if (!out.unrecorded.empty()) {
            item.error = abs + " was left in place: the clean stopped, as its moves cannot be recorded";
            report.items.push_back(std::move(item));
            continue;
        }
        if (state != FolderState::RealFolder) {
            item.error = abs + " is not a real folder (a symbolic link, a file, or a link on the way); left in place";
            report.items.push_back(std::move(item));
            continue;
        }
        if (stop.load()) {
            out.interrupted = true;
            break;
        }
        // The folder is opened, by names from the project, without following
        // a link: what is measured is the folder checked before its move.
        const int parentFd = openParentNoFollow(fd, target.rel);
        const int parentError = errno;
        FdCloser closeParent{parentFd};
        const auto slash = target.rel.rfind('/');
        const std::string name = slash == std::string::npos ? target.rel : target.rel.substr(slash + 1);
        const int folderFd = parentFd < 0 ? -1 : openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int folderError = errno;
        FdCloser closeFolder{folderFd};
        struct stat st {};
        std::optional<std::uint64_t> bytes;
        // The mounts are looked at before any look into a repository inside
        // the folder, as the scan does: a clone whose .git is a mount that
        // does not answer would hold the clean for good. A mount made since,
        // or while this folder was measured, would go with it: the mounts
        // are brought up to date for every folder that moves. A dry run
        // moves nothing and reads them once.
        if (options.execute) movability.refreshMounts();
        std::optional<std::string> obstacle = parentFd < 0 ? std::nullopt : movability.obstacle(parentFd, name, abs, place);
        // Edits made in a clone inside it since the scan keep it here too.
        std::vector<RepositoryWork> withWork;
        if (parentFd < 0) {
            item.error = abs + " cannot be reached without following a link: " + std::strerror(parentError) + "; left in place";
        } else if (folderFd < 0 && (folderError == ELOOP || folderError == ENOTDIR)) {
            item.error = abs + " is not a real folder (a symbolic link, a file, or a link on the way); left in place";
        } else if (folderFd < 0 || fstat(folderFd, &st) != 0 ||
                   !(bytes = measureFolder(folderFd, abs, true, stop, nullptr, obstacle ? nullptr : &withWork))) {
            item.error = abs + " cannot be read; left in place";
        } else if (!withWork.empty()) {
            const auto first = std::min_element(withWork.begin(), withWork.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
            item.error = abs + " holds the " + first->work.holder() + " " + first->path + first->work.reason() +
                         (withWork.size() > 1 ? " (and " + std::to_string(withWork.size() - 1) + " more with work found nowhere else)" : "") +
                         "; left in place";
        }
        if (stop.load()) {
            out.interrupted = true;
            break;
        }
        if (item.error) {
            report.items.push_back(std::move(item));
            continue;
        }
        const FolderIdentity checked{st.st_dev, st.st_ino};
        item.bytes = *bytes;  // also when it fails: what it holds, not what was freed
        if (whileCleanMeasured) whileCleanMeasured();
        // A mount made while it was measured is seen before the move, which
        // then never starts.
        if (options.execute && !obstacle) {
            movability.refreshMounts();
            obstacle = movability.obstacle(parentFd, name, abs, place);
        }
        if (obstacle) {
            item.error = abs + " " + *obstacle + "; left in place";
        } else if (!options.execute) {
            item.success = true;
        } else {
            // Recorded as pending just before the move, so that a move
            // finished by a process killed right after it is still completed
            // in the history by the next command.
            std::optional<int> seq;
            const auto recordMove = [&](const std::string& info, const std::string& trashed, const std::string& infoText) {
                // Looked up again by its names from the project at the moment
                // of the move (the mover checks the folder itself): a folder on
                // the way replaced since the measuring, by a link or another
                // folder, leaves the measured one somewhere else.
                FolderIdentity now;
                if (!identityOf(fd, target.rel, now) || now.dev != checked.dev || now.ino != checked.ino) throw NotInPlace();
                CleanItemDTO inFlight = item;
                inFlight.success = true;
                if (!seq) seq = ++moves;
                records.recordMove(op, *seq, {inFlight, info, trashed, checked, infoText});
            };
            try {
                const CleanRecords::Moving moving(records);
                const TrashResult r = mover.trash(parentFd, name, abs, &checked, recordMove);
                item.success = r.moved;
                if (!r.moved) item.error = r.error;
            } catch (const NotInPlace&) {
                item.error = abs + " is not the folder that was measured any more; left in place";
            } catch (const DatabaseError& e) {
                // A move that cannot be recorded is not made, nor any after
                // it; what moved before is still reported.
                item.error = abs + " was left in place: its move cannot be recorded: " + e.what();
                out.unrecorded = e.what();
            }
            if (!item.success && seq) {
                try {
                    records.dropMove(op.id, *seq);
                } catch (const DatabaseError& e) {
                    if (out.unrecorded.empty()) out.unrecorded = e.what();
                }
            }
            movedAny = movedAny || item.success;
        }
        if (item.success) report.bytes_reclaimed = saturatingAdd(report.bytes_reclaimed, item.bytes);
        report.items.push_back(std::move(item));
    }

    if (!out.interrupted) {
        for (const auto& a : asked) {
            if (a.listed) continue;
            CleanItemDTO item;
            item.path = a.path;
            item.safetyClass = a.safetyClass;
            // A folder gone from its place was left nowhere: it is told as gone.
            const bool gone = a.path.size() > project.size() + 1 && a.path.starts_with(project + "/") &&
                              probeRealFolder(fd, a.path.substr(project.size() + 1)) == FolderState::Missing;
            item.error = !out.unrecorded.empty() ? a.path + " was left in place: the clean stopped, as its moves cannot be recorded"
                         : !a.reason.empty()      ? a.reason
                         : gone && records.movedByAnotherClean(project, a.path) ? a.path + " was moved to the Trash by another clean"
                         : gone ? a.path + " is gone: it was moved or deleted since the preview"
                                : a.path + " is not a folder this project can clean any more; left in place";
            report.items.push_back(std::move(item));
        }
    }
    if (!out.unrecorded.empty() && !movedAny) throw DatabaseError(out.unrecorded);
    return out;
}

namespace {

// The records of a clean done by the engine itself.
class OwnRecords final : public CleanRecords {
public:
    OwnRecords(Database& db, CleanJournal& journal, bool execute, const std::atomic<bool>& stop)
        : db_(db), journal_(journal), execute_(execute), stop_(stop) {}

    // A real clean never moves without the lock: two at once would take
    // each other's moves in progress for ones cut short. A dry run moves
    // nothing and writes only its own preview, so it takes none and never
    // waits for a clean (its command settled cleans cut short, as any other
    // command does, when no clean held the lock).
    bool opened() override {
        if (!execute_ || lock_) return true;
        lock_.emplace(db_.path(), CleanLock::Wait::Briefly, &stop_);
        if (lock_->stopped()) return false;
        if (!lock_->held()) throw CleanRefused(lock_->problem());
        journal_.settle(*lock_, stop_);
        return true;
    }
    void recordMove(const OperationDTO& op, int seq, const RecordedMove& move) override { journal_.recordMove(op, seq, move); }
    void dropMove(const std::string& id, int seq) override { journal_.dropMove(id, seq); }
    bool movedByAnotherClean(const std::string& project, const std::string& path) override {
        return engine::movedByAnotherClean(db_, project, path);
    }

private:
    Database& db_;
    CleanJournal& journal_;
    const bool execute_;
    const std::atomic<bool>& stop_;
    std::optional<CleanLock> lock_;
};

}  // namespace

CleanOutcome runClean(const CleanOptions& options, const ProjectDetector& detector, Database& db, TrashMover& mover,
                      const std::atomic<bool>& stop) {
    const std::string project = normalizePath(options.projectPath);
    // The application names projects by their path in JSON: one it cannot
    // give back as it is was never offered.
    if (!platform::isValidUtf8(project))
        throw CleanRefused("project path " + project + " is not valid UTF-8; such a project cannot be cleaned");
    OperationDTO op;
    op.id = newUuid();
    op.timestamp_unix = static_cast<std::int64_t>(std::time(nullptr));
    op.project_path = project;
    op.dry_run = !options.execute;
    CleanJournal journal(db);
    OwnRecords records(db, journal, options.execute, stop);

    // A project that may not answer (on a share) is cleaned whole by a
    // helper, whatever a first look would say: a share can answer it and
    // stop a moment later. Where no helper can be started, a process of its
    // own asks it first, and its answer stands.
    MountTable mounts;
    std::optional<CleanOutcome> apart;
    if (mayNotAnswer(project, mounts)) apart = cleanApart(options, op, records, mover.dataHome(), db.path() + ".lock", stop);
    if (!apart) {
        if (const auto answer = FolderProbe(stop).wait(project); answer == FolderProbe::Answer::Silent) {
            throw CleanRefused("project path " + project + " cannot be reached: its filesystem does not answer");
        } else if (answer == FolderProbe::Answer::Stopped) {
            CleanOutcome stopped;
            stopped.interrupted = true;
            return stopped;
        }
    }
    CleanOutcome out = apart ? std::move(*apart) : cleanFolders(options, op, detector, records, mover, stop);

    // A preview is recorded whole; a clean only with what it moved, and not
    // at all when nothing moved.
    op.bytes_reclaimed = out.report.bytes_reclaimed;
    op.items = options.execute ? movedItems(out.report.items) : out.report.items;
    if (!options.execute) {
        if (!out.interrupted) journal.recordPreview(op);
        return out;
    }
    // A helper stopped in the middle tells nothing of the moves it made:
    // their records stay for the next command to settle.
    if (apart && out.interrupted) return out;
    if (op.items->empty()) {
        journal.forget(op.id);
        return out;
    }
    try {
        journal.finish(op);
    } catch (const DatabaseError& e) {
        // What moved is in the Trash whatever the database says: it is
        // reported now, and its pending record completes the history later.
        out.unrecorded = e.what();
    }
    return out;
}

}  // namespace tidewell::engine
