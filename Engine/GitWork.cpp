#include "GitWork.h"

#include "FolderProbe.h"
#include "GitIndex.h"
#include "GitLibrary.h"
#include "HelperProcess.h"
#include "Home.h"
#include "MountTable.h"
#include "OpenResolved.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <chrono>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace tidewell::engine {

namespace {

std::string errorText(int e) { return std::error_code(e, std::generic_category()).message(); }

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(Fd&& o) noexcept {
        std::swap(fd_, o.fd_);
        return *this;
    }
    int get() const { return fd_; }

private:
    int fd_;
};

GitWork unjudged(std::string why) { return {GitWork::Kind::Unjudged, std::move(why)}; }

constexpr std::string_view kSilent = "its filesystem does not answer";
constexpr std::string_view kStopped = "the scan was stopped";
constexpr std::string_view kOutOfMemory = "its repository could not be read within the memory a look may take";

// The first entry below the folder `dirFd` (named `name` in what is said)
// that `odd` finds odd, as a phrase about it; links are never followed.
// Folders deeper than `deepest` are odd too.
template <class Odd>
std::optional<std::string> firstOddBelow(int dirFd, const std::string& name, std::size_t deepest, const std::atomic<bool>& stop, Odd odd) {
    struct Level {
        DIR* dir;
        std::string name;
    };
    std::vector<Level> levels;
    std::optional<std::string> found;
    const auto enter = [&](int parentFd, const char* entry, std::string path) {
        // Never into a mount, whose filesystem may not answer: neither a
        // repository folder nor a folder that can be moved holds one.
        constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int fd = openResolved(parentFd, entry, flags, RESOLVE_NO_XDEV);
        if (fd < 0 && errno == ENOSYS) fd = openat(parentFd, entry, flags);
        DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
        if (!dir) {
            if (fd >= 0) close(fd);
            found = path + (errno == EXDEV ? " lies on another filesystem" : " cannot be read: " + errorText(errno));
            return;
        }
        levels.push_back({dir, std::move(path)});
    };
    enter(dirFd, ".", name);
    while (!found && !levels.empty()) {
        errno = 0;
        const dirent* d = readdir(levels.back().dir);
        if (!d) {
            if (errno != 0) found = levels.back().name + " cannot be read: " + errorText(errno);
            closedir(levels.back().dir);
            levels.pop_back();
            continue;
        }
        const std::string_view entry = d->d_name;
        if (entry == "." || entry == "..") continue;
        const int fd = dirfd(levels.back().dir);
        unsigned char type = d->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st {};
            if (fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : S_ISLNK(st.st_mode) ? DT_LNK : DT_FIFO;
        }
        std::string path = levels.back().name.empty() ? std::string(entry) : levels.back().name + "/" + d->d_name;
        if (type == DT_LNK || (type != DT_DIR && type != DT_REG)) {
            if (odd(entry, type)) found = path + (type == DT_LNK ? " is a symbolic link, which is not followed" : " is not a regular file");
        } else if (type == DT_DIR && entry != ".git") {
            if (levels.size() >= deepest)
                found = path + " lies deeper than is looked at";
            else
                enter(fd, d->d_name, std::move(path));
        }
        if (stop.load(std::memory_order_relaxed)) found = std::string(kStopped);
    }
    for (const auto& level : levels) closedir(level.dir);
    return found;
}

// Git reads any file of its repository folder, following links: one that
// is no regular file (a FIFO would hold the read forever, a device feed it
// without end) or a link, which could lead to such a file, leaves the
// repository unjudged. Git itself puts neither there.
std::optional<std::string> oddInRepository(int gitDirFd, const std::string& name, const std::atomic<bool>& stop) {
    return firstOddBelow(gitDirFd, name, 64, stop, [](std::string_view, unsigned char) { return true; });
}

// In the work tree, Git reads the ignore and attributes files of every
// folder it looks into, following links, and passes other files that are
// no regular file by: such an ignore file (a FIFO that would hold the look
// until the time limit) leaves the repository unjudged at once.
std::optional<std::string> oddInWorkTree(int topFd, const std::string& name, const std::atomic<bool>& stop) {
    return firstOddBelow(topFd, name, 1024, stop, [](std::string_view entry, unsigned char) {
        return entry == ".gitignore" || entry == ".gitattributes" || entry == ".gitmodules";
    });
}

// A path the clone's files name lies where a server may be asked (FUSE, a
// network filesystem, a mount that cannot be told) and answered its probe:
// the engine does not look at it, since the share can stop a moment later
// and hold the thread that asked past any signal. The whole clone is then
// looked at in its helper.
struct LookApart {};

// How the clone's files are looked at. In the engine, a path they name is
// judged from the mount table and what the kernel holds before it is
// opened; in the clone's own helper, which a share that stops costs only
// itself, it is opened as Git opens it.
struct Look {
    const std::atomic<bool>& stop;
    bool inHelper = false;
    MountTable mounts{};
};

// The absolute path of `name` from the folder open as `fromFd`, lexically
// normal, or empty when where it lies cannot be told.
std::string absoluteName(int fromFd, const std::string& name) {
    if (name.starts_with('/')) return normalizePath(name);
    char from[PATH_MAX];
    const std::string link = fromFd == AT_FDCWD ? "/proc/self/cwd" : "/proc/self/fd/" + std::to_string(fromFd);
    const ssize_t n = readlink(link.c_str(), from, sizeof from);
    if (n <= 0 || from[0] != '/') return {};
    return normalizePath(std::string(from, static_cast<std::size_t>(n)) + "/" + name);
}

// `name` opened with `flags` from the folder open as `fromFd`, as Git opens
// what a clone's files name (links followed, mounts entered). -1 with `why`
// when it cannot be opened (kSilent when its filesystem does not answer).
// In the engine, a path that may ask a server is first asked by a process
// of its own (its folder, for a file): silent, it is named at once;
// answering, the look goes on in the clone's helper (LookApart).
int openNamed(Look& look, int fromFd, const std::string& name, int flags, std::string& why) {
    if (look.inHelper) {
        const int fd = openat(fromFd, name.c_str(), flags);
        if (fd < 0) why = errorText(errno);
        return fd;
    }
    const std::string path = absoluteName(fromFd, name);
    if (path.empty()) {
        why = "where it lies cannot be told";
        return -1;
    }
    if (mayNotAnswer(path, look.mounts)) {
        const std::string folder = (flags & O_DIRECTORY) || path == "/" ? path : path.substr(0, std::max<std::size_t>(path.rfind('/'), 1));
        switch (FolderProbe(look.stop).wait(folder)) {
        case FolderProbe::Answer::Silent:
            why = kSilent;
            return -1;
        case FolderProbe::Answer::Stopped:
            why = kStopped;
            return -1;
        case FolderProbe::Answer::Answers:
            throw LookApart{};
        }
    }
    // The path judged, not the name: a link followed by ".." leads elsewhere.
    const int fd = open(path.c_str(), flags);
    if (fd < 0) why = errorText(errno);
    return fd;
}

// A setting of a config file, as Git reads it.
struct ConfigSetting {
    std::string section;  // lower case, without its subsection
    bool subsection = false;
    std::string key;  // lower case
    std::string value;
};

// The settings of a config file's text, read as Git reads them: a section
// header ("[core]", `[includeIf "gitdir:…"]`, the older "[core.sub]") may
// have a setting after it on its line; a value goes on past a line end
// escaped with a backslash, may be quoted, holds the escapes \\ \" \n \t \b,
// ends at a # or ; outside quotes, and loses the blanks around it. Git
// refuses a config with a line it cannot read; here such a line is passed by
// and the lines after it read on, so that nothing named after it is missed.
std::vector<ConfigSetting> configSettings(std::string_view raw) {
    std::string text;  // a CR before a line end is no part of the line
    text.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i)
        if (raw[i] != '\r' || i + 1 >= raw.size() || raw[i + 1] != '\n') text.push_back(raw[i]);
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    const auto isName = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-'; };
    const auto lower = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    std::vector<ConfigSetting> out;
    std::string section;
    bool subsection = false;
    const std::size_t n = text.size();
    std::size_t i = 0;
    const auto skipLine = [&] { i = std::min(text.find('\n', i), n) + 1; };
    while (i < n) {
        const char c = text[i];
        if (c == '\n' || isBlank(c)) {
            ++i;
        } else if (c == '#' || c == ';') {
            skipLine();
        } else if (c == '[') {
            std::size_t j = i + 1;
            while (j < n && (isName(text[j]) || text[j] == '.')) ++j;
            std::string name = lower(text.substr(i + 1, j - i - 1));
            bool sub = false, valid = !name.empty();
            if (valid && j < n && isBlank(text[j])) {
                while (j < n && isBlank(text[j])) ++j;
                valid = j < n && text[j] == '"';
                for (++j; valid && j < n && text[j] != '"'; ++j) {
                    if (text[j] == '\n') valid = false;
                    if (text[j] == '\\') ++j;
                }
                sub = valid;
                ++j;  // past the closing quote
            }
            valid = valid && j < n && text[j] == ']';
            section = valid ? std::move(name) : std::string();
            subsection = sub;
            if (valid)
                i = j + 1;
            else
                skipLine();
        } else if (!std::isalpha(static_cast<unsigned char>(c))) {
            skipLine();
        } else {
            const std::size_t keyAt = i;
            while (i < n && isName(text[i])) ++i;
            std::string key = lower(text.substr(keyAt, i - keyAt));
            while (i < n && isBlank(text[i])) ++i;
            if (i >= n || text[i] == '\n') continue;  // "key" alone: true, naming nothing
            if (text[i] != '=') {
                skipLine();
                continue;
            }
            ++i;
            std::string value;
            std::size_t kept = 0;  // the value without the blanks that end it
            bool quoted = false, comment = false, valid = true;
            for (;;) {
                const char v = i < n ? text[i] : '\n';
                ++i;
                if (v == '\n') {
                    valid = valid && !quoted;
                    break;
                }
                if (comment) continue;
                if (isBlank(v) && !quoted) {
                    if (!value.empty()) value.push_back(v);
                    continue;
                }
                if (!quoted && (v == '#' || v == ';')) {
                    comment = true;
                    continue;
                }
                if (v == '\\') {
                    const char e = i < n ? text[i] : '\n';
                    ++i;
                    if (e == '\n') continue;  // the value goes on on the next line
                    const std::string_view from = "tnb\\\"", to = "\t\n\b\\\"";
                    const auto at = from.find(e);
                    if (at == std::string_view::npos) {
                        valid = false;
                        comment = true;  // the rest of the line is passed by
                        continue;
                    }
                    value.push_back(to[at]);
                } else if (v == '"') {
                    quoted = !quoted;
                } else {
                    value.push_back(v);
                }
                kept = value.size();
            }
            value.resize(kept);
            if (valid) out.push_back({section, subsection, std::move(key), std::move(value)});
        }
    }
    return out;
}

// The files a repository's config `name` (below `dirFd`) has Git read beyond
// its own folders: configs it includes (relative to the folder of the config
// that names them), and an ignore or attributes file (relative to the work
// tree `topFd`); `~/` is the home folder. One that is no regular file (a FIFO
// would hold the look) is odd, and so is an included config that names such
// a file in turn.
std::optional<std::string> oddNamedInConfig(Look& look, int dirFd, const std::string& name, int topFd, int depth = 0) {
    if (depth > 10) return "its configs include each other without end";
    std::string error;
    const auto text = readRegularFileAt(dirFd, name, 0, 4 << 20, error);
    if (!text) return errno == ENOENT ? std::nullopt : std::optional<std::string>(name + " cannot be read: " + error);
    const char* home = std::getenv("HOME");
    for (const ConfigSetting& setting : configSettings(*text)) {
        const bool include =
            setting.key == "path" && ((setting.section == "include" && !setting.subsection) || (setting.section == "includeif" && setting.subsection));
        if (!include && !(setting.section == "core" && !setting.subsection && (setting.key == "excludesfile" || setting.key == "attributesfile")))
            continue;
        std::string path = setting.value;
        if (path.empty()) continue;
        if (path == "~" || path.starts_with("~/")) path = std::string(home ? home : "") + path.substr(1);
        const int base = path.front() == '/' ? AT_FDCWD : include ? dirFd : topFd;
        std::string why;
        const Fd named(openNamed(look, base, path, O_PATH | O_CLOEXEC, why));
        if (why == kSilent) return "its config names " + path + ", whose filesystem does not answer";
        if (why == kStopped) return std::string(kStopped);
        struct stat st {};
        if (named.get() < 0 || fstat(named.get(), &st) != 0) continue;  // Git passes a missing one by
        if (!S_ISREG(st.st_mode)) return "its config names " + path + ", which is not a regular file";
        if (!include) continue;
        // What the included config names in turn is relative to its own folder.
        const auto slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        const Fd folderFd(openNamed(look, base, folder, O_PATH | O_DIRECTORY | O_CLOEXEC, why));
        if (folderFd.get() < 0) continue;
        if (auto odd = oddNamedInConfig(look, folderFd.get(), path.substr(slash + 1), topFd, depth + 1)) return odd;
    }
    return std::nullopt;
}

// The object folders of other repositories that the objects folder
// `objectsFd` borrows from (its info/alternates), which Git reads as its own,
// and those they borrow from in turn, as deep as Git follows them: each is
// looked at as its repository folder is.
std::optional<std::string> oddInAlternates(Look& look, int objectsFd, int depth = 0) {
    if (depth > 5) return std::nullopt;
    std::string error;
    const auto text = readRegularFileAt(objectsFd, "info/alternates", O_NOFOLLOW, 1 << 20, error);
    if (!text) return std::nullopt;
    for (std::size_t at = 0; at < text->size();) {
        const std::size_t end = std::min(text->find('\n', at), text->size());
        const std::string line = text->substr(at, end - at);
        at = end + 1;
        if (line.empty() || line.front() == '#') continue;
        std::string why;
        const Fd other(openNamed(look, objectsFd, line, O_RDONLY | O_DIRECTORY | O_CLOEXEC, why));
        if (why == kSilent) return "the objects it borrows from " + line + " cannot be read: " + why;
        if (why == kStopped) return std::string(kStopped);
        if (other.get() < 0) continue;
        if (auto odd = firstOddBelow(other.get(), line, 64, look.stop, [](std::string_view, unsigned char) { return true; })) return odd;
        if (auto odd = oddInAlternates(look, other.get(), depth + 1)) return odd;
    }
    return std::nullopt;
}

// A pack index that is not one: libgit2 passes such a pack by, and then
// finds neither the commit checked out nor what it holds, which status would
// tell as staged files. Only its size and header are looked at.
std::optional<std::string> damagedPackIndex(int commonFd) {
    const int packs = openat(commonFd, "objects/pack", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (packs < 0) return std::nullopt;
    DIR* dir = fdopendir(packs);
    if (!dir) {
        close(packs);
        return std::nullopt;
    }
    std::optional<std::string> damaged;
    while (const dirent* d = readdir(dir)) {
        const std::string_view name = d->d_name;
        if (!name.ends_with(".idx")) continue;
        std::string error;
        const auto head = readRegularFileAt(dirfd(dir), d->d_name, O_NOFOLLOW, 8, error);
        struct stat st {};
        if (!head || fstatat(dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // its read says why
        // Version 1 has no header; version 2 begins "\377tOc" and its version.
        // Either holds at least its fan-out table (256 counts) and two hashes.
        const bool second = head->starts_with("\377tOc");
        if (st.st_size < 4 * 256 + 40 || (second && (head->size() < 8 || head->substr(4) != std::string("\0\0\0\2", 4)))) {
            damaged = "its pack index objects/pack/" + std::string(name) + " is damaged";
            break;
        }
    }
    closedir(dir);
    return damaged;
}

// What the helper prints of a repository's work, one line: its kind, detail and named.
constexpr std::array<std::string_view, 10> kKindNames = {"none", "staged", "changed",  "gone",     "new",
                                                        "conflicted", "made", "stash", "unjudged", "foreign"};

std::optional<GitWork> workFromLine(std::string_view line) {
    const std::vector<std::string> fields = helperFields(line);
    const auto kind = std::find(kKindNames.begin(), kKindNames.end(), fields.front());
    if (fields.size() != 3 || kind == kKindNames.end()) return std::nullopt;
    return GitWork{static_cast<GitWork::Kind>(kind - kKindNames.begin()), fields[1], fields[2]};
}

// libgit2 reads whatever the clone's files name: an index that claims two
// billion entries, an object that inflates to gigabytes, alternates on a
// share that stopped answering. So it looks at the repository at `top` in a
// helper of its own, with a capped address space, a few at a time; one that
// has not answered within a minute, or dies, leaves the repository
// unjudged, and the scan or clean goes on. `whole`: the helper looks at the
// clone's own files first too, as gitWorkIn does, which the engine left to it.
GitWork judgedInHelper(const std::string& top, bool whole, const std::atomic<bool>& stop) {
    static HelperSlots slots(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    HelperLimits limits;
    limits.silence = limits.overall = gitWorkWithin;
    limits.addressSpace = kGitWorkAddressSpace;
    std::vector<std::string> args = {top};
    if (whole) args.emplace_back(kWhole);
    HelperProcess helper(std::string(kGitWorkHelper), args, limits, slots, stop);
    std::optional<GitWork> work;
    bool garbled = false;
    for (std::string line; helper.nextLine(line);) {
        garbled = garbled || work.has_value();
        work = workFromLine(line);
        garbled = garbled || !work;
    }
    switch (helper.end()) {
    case HelperProcess::End::Stopped:
        return unjudged(std::string(kStopped));
    case HelperProcess::End::Silent:
        return unjudged("Git did not finish looking at it within a minute");
    case HelperProcess::End::Died:
    case HelperProcess::End::Running:
        if (!helper.started()) return unjudged("Git could not be started to look at it (" + helper.endText() + ")");
        return unjudged("Git ended before it finished looking at it (" + helper.endText() + ")");
    case HelperProcess::End::Finished:
        break;
    }
    if (garbled || !work) return unjudged("Git's look at it gave no answer that can be read");
    return std::move(*work);
}

// The files of the user's own that Git reads for every repository: one that
// is no regular file (a FIFO would hold the look for its minute) leaves
// every clone unjudged at once, as a repository's own files do.
std::optional<std::string> oddAmongUsersGitFiles(Look& look) {
    const char* home = std::getenv("HOME");
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::vector<std::string> files;
    if (home && *home == '/') files.push_back(joinPath(home, ".gitconfig"));
    const std::string config = xdg && *xdg == '/' ? xdg : home && *home == '/' ? joinPath(home, ".config") : "";
    if (!config.empty())
        for (const char* name : {"git/config", "git/ignore", "git/attributes"}) files.push_back(joinPath(config, name));
    for (const std::string& file : files) {
        std::string why;
        const Fd fd(openNamed(look, AT_FDCWD, file, O_PATH | O_CLOEXEC, why));
        if (why == kSilent) return file + ", which Git reads for every repository, lies on a filesystem that does not answer";
        if (why == kStopped) return std::string(kStopped);
        struct stat st {};
        if (fd.get() < 0 || fstat(fd.get(), &st) != 0) continue;  // Git passes a missing one by
        if (!S_ISREG(st.st_mode)) return file + ", which Git reads for every repository, is not a regular file";
    }
    return std::nullopt;
}

// What the clone's own files tell before Git reads them, looked at as
// `look` says, or nothing when Git is to judge it. A file that would hold
// Git's read, or a path on a filesystem that does not answer, leaves the
// repository unjudged at once.
std::optional<GitWork> workTheFilesTell(int topFd, Look& look) {
    // Looked at where it is, without entering a mount there: a filesystem
    // mounted at .git may not answer, and its answer would not count anyway.
    constexpr int flags = O_PATH | O_NOFOLLOW | O_CLOEXEC;
    Fd dotGit(openResolved(topFd, ".git", flags, RESOLVE_NO_XDEV));
    if (dotGit.get() < 0 && errno == ENOSYS) dotGit = Fd(openat(topFd, ".git", flags));
    struct stat st {};
    if (dotGit.get() < 0 || fstat(dotGit.get(), &st) != 0) {
        if (errno == EXDEV) return unjudged("its .git is a mount point, which is not entered");
        return errno == ENOENT ? GitWork{} : unjudged("its .git cannot be looked at: " + errorText(errno));
    }
    Fd gitDir;
    if (S_ISDIR(st.st_mode)) {
        gitDir = Fd(openat(dotGit.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (gitDir.get() < 0) return unjudged("its .git folder cannot be opened: " + errorText(errno));
        // A ".git" folder without HEAD is no repository to Git, which
        // takes the folder for part of the repository around it.
        if (fstatat(gitDir.get(), "HEAD", &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT ? GitWork{} : unjudged("its HEAD cannot be looked at: " + errorText(errno));
    } else if (S_ISREG(st.st_mode)) {
        std::string error;
        const auto text = readRegularFileAt(topFd, ".git", O_NOFOLLOW, 64 * 1024, error);
        if (!text) return unjudged("its .git file cannot be read: " + error);
        const std::string named = gitfileTarget(*text);
        if (named.empty()) return unjudged("its .git file names no repository");
        // A linked worktree's or a submodule's repository lies where its
        // gitfile says, often outside the folder.
        std::string why;
        gitDir = Fd(openNamed(look, topFd, named, O_RDONLY | O_DIRECTORY | O_CLOEXEC, why));
        if (gitDir.get() >= 0 && fstatat(gitDir.get(), "HEAD", &st, AT_SYMLINK_NOFOLLOW) != 0) why = errorText(errno);
        if (why == errorText(ENOENT)) return unjudged("its .git file names a repository that is gone (" + named + ")");
        if (!why.empty()) return unjudged("the repository its .git file names (" + named + ") cannot be opened: " + why);
    } else if (S_ISLNK(st.st_mode)) {
        return unjudged("its .git is a symbolic link, which is not followed");
    } else {
        return unjudged("its .git is " + std::string(S_ISFIFO(st.st_mode) ? "a FIFO" : S_ISSOCK(st.st_mode) ? "a socket" : "a device") +
                        ", which is not read");
    }
    // Before any file in it is read: one of them may be a mount.
    if (auto odd = oddInRepository(gitDir.get(), ".git", look.stop)) return unjudged(*odd);
    // A linked worktree keeps its objects and refs in the repository it belongs to.
    std::string error;
    Fd common;
    std::string commonPath;  // where what is said of its files begins
    if (const auto text = readRegularFileAt(gitDir.get(), "commondir", O_NOFOLLOW, 64 * 1024, error)) {
        const std::string named = text->substr(0, text->find_first_of("\r\n"));
        std::string why;
        common = Fd(openNamed(look, gitDir.get(), named, O_RDONLY | O_DIRECTORY | O_CLOEXEC, why));
        if (common.get() < 0) return unjudged("the repository it belongs to (" + named + ") cannot be opened: " + why);
        char real[PATH_MAX];
        const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(common.get())).c_str(), real, sizeof real);
        commonPath = n > 0 && real[0] == '/' ? std::string(real, static_cast<std::size_t>(n)) : named;
    } else if (errno != ENOENT) {
        return unjudged("its commondir cannot be read: " + error);
    }
    if (common.get() >= 0)
        if (auto odd = oddInRepository(common.get(), commonPath, look.stop)) return unjudged(*odd);
    const int commonFd = common.get() >= 0 ? common.get() : gitDir.get();
    if (auto odd = oddNamedInConfig(look, commonFd, "config", topFd)) return unjudged(*odd);
    if (auto odd = oddNamedInConfig(look, gitDir.get(), "config.worktree", topFd)) return unjudged(*odd);
    if (auto odd = oddAmongUsersGitFiles(look)) return unjudged(*odd);
    const Fd objects(openat(commonFd, "objects", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (auto odd = oddInAlternates(look, objects.get())) return unjudged(*odd);
    if (auto damaged = damagedPackIndex(commonFd)) return unjudged(*damaged);
    if (auto odd = oddInWorkTree(topFd, "", look.stop)) return unjudged(*odd);
    if (look.stop.load()) return unjudged(std::string(kStopped));
    return std::nullopt;
}

}  // namespace

std::string GitWork::holder() const {
    return kind != Kind::Foreign ? "Git repository" : detail + " checkout";
}

std::string GitWork::reason() const {
    switch (kind) {
    case Kind::None:
        return {};
    case Kind::Staged:
        return ", where " + detail + " is staged but not committed";
    case Kind::Changed:
        return ", where " + detail + " has changes that are not committed" + (named.empty() ? "" : " (Git was told to overlook them with " + named + ")");
    case Kind::Gone:
        return ", where " + detail + " was deleted and the deletion is not committed" +
               (named.empty() ? "" : " (Git was told to overlook it with " + named + ")");
    case Kind::New:
        return ", where " + detail + " is new, not committed and not ignored";
    case Kind::Conflicted:
        return ", where " + detail + " has a merge conflict that is not resolved";
    case Kind::Made:
        return ", where commit " + detail + " was made, which no remote branch contains (" + named + ")";
    case Kind::Stash:
        return ", which holds stashed changes";
    case Kind::Foreign:
        return ", whose work cannot be judged here";
    case Kind::Unjudged:
        break;
    }
    return ", whose work cannot be judged: " + detail;
}

int gitWorkHelper(const std::vector<std::string>& args) {
    if (args.empty() || args.size() > 2 || (args.size() == 2 && args[1] != kWhole)) return 2;
    GitWork work;
    try {
        std::optional<GitWork> told;
        if (args.size() == 2) {
            static const std::atomic<bool> never{false};
            Look look{never, true};
            const Fd top(open(args[0].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            told = top.get() < 0 ? unjudged("its folder cannot be opened: " + errorText(errno)) : workTheFilesTell(top.get(), look);
        }
        work = told ? std::move(*told) : libraryGitWork(args[0]);
    } catch (const std::bad_alloc&) {
        work = unjudged(std::string(kOutOfMemory));
    } catch (const std::exception& e) {
        work = unjudged(e.what());
    }
    // libgit2 tells of an allocation refused under the cap in its own words.
    // What it says after any refusal is of no use either.
    if (libraryRefusedMemory() || (work.kind == GitWork::Kind::Unjudged && work.detail.ends_with("Out of memory")))
        work = unjudged(std::string(kOutOfMemory));
    helperPrint(helperRecord({kKindNames[static_cast<std::size_t>(work.kind)], work.detail, work.named}));
    return 0;
}

GitWork foreignCheckout(std::string_view dotName) {
    if (dotName == ".hg") return {GitWork::Kind::Foreign, "Mercurial", {}};
    if (dotName == ".svn") return {GitWork::Kind::Foreign, "Subversion", {}};
    return {};
}

GitWork gitWorkIn(int topFd, const std::string& path, const std::atomic<bool>& stop) {
    try {
        Look look{stop};
        if (auto told = workTheFilesTell(topFd, look)) return std::move(*told);
        return judgedInHelper(path, false, stop);
    } catch (const LookApart&) {
        return judgedInHelper(path, true, stop);
    } catch (const std::bad_alloc&) {
        return unjudged("there is not enough memory to read it");
    } catch (const std::exception& e) {
        return unjudged(e.what());
    }
}

}  // namespace tidewell::engine
