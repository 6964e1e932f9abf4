#pragma once
// Fixture trees in temporary folders, and running the engine executable with
// a home, data folder and database of the test's own.

#include "core/EngineRecords.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace enginetest {

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline int lineCount(const std::string& s) { return static_cast<int>(std::count(s.begin(), s.end(), '\n')); }

inline void makeDirs(const std::string& path) {
    for (std::size_t i = 1; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
}

// Writes real blocks (never a sparse file), creating parent folders.
inline void writeText(const std::string& path, const std::string& text) {
    makeDirs(path.substr(0, path.rfind('/')));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path);
}
inline void writeFile(const std::string& path, std::size_t size = 100) { writeText(path, std::string(size, 'x')); }
// Files below `root`, each with its size.
inline void writeFiles(const std::string& root, std::initializer_list<std::pair<const char*, std::size_t>> files) {
    for (const auto& [rel, size] : files) writeFile(root + "/" + rel, size);
}

inline bool exists(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) return true;
    if (errno != ENAMETOOLONG) return false;
    // A path past PATH_MAX is looked up one name at a time.
    const auto slash = path.rfind('/');
    int fd = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (std::size_t i = 1; fd >= 0 && i < slash;) {
        const std::size_t j = std::min(path.find('/', i), slash);
        const int next = openat(fd, path.substr(i, j - i).c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(fd);
        fd = next;
        i = j + 1;
    }
    const bool found = fd >= 0 && fstatat(fd, path.substr(slash + 1).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (fd >= 0) close(fd);
    return found;
}

// A mount for the life of the test, undone even when the test fails: tests
// run as root.
class ScopedMount {
public:
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;
    ~ScopedMount() {
        if (mounted_) umount2(at_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

protected:
    ScopedMount(const char* source, const std::string& at, const char* type, unsigned long flags, const std::string& data)
        : at_(at) {
        makeDirs(at);
        mounted_ = mount(source, at.c_str(), type, flags, data.empty() ? nullptr : data.c_str()) == 0;
    }

private:
    std::string at_;
    bool mounted_ = false;
};

// A tmpfs, a second filesystem. `options` adds to the size ("mode=755,uid=65534").
struct TmpfsMount : ScopedMount {
    TmpfsMount(const std::string& at, const std::string& size, const std::string& options = "")
        : ScopedMount("tmpfs", at, "tmpfs", 0, "size=" + size + (options.empty() ? "" : "," + options)) {}
};

// The folder `from` mounted again at `at`: the same filesystem through another mount.
struct BindMount : ScopedMount {
    BindMount(const std::string& from, const std::string& at) : ScopedMount(from.c_str(), at, nullptr, MS_BIND, "") {}
};

// The folder `from` mounted again at `at`, read-only there: a read-only filesystem.
struct ReadOnlyBindMount : BindMount {
    ReadOnlyBindMount(const std::string& from, const std::string& at) : BindMount(from, at) {
        if (mounted()) mount(nullptr, at.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr);
    }
};

// An overlay at `at` of the folders `layers`/lower, /upper and /work: a
// filesystem none of whose folders the kernel holds until looked up.
struct OverlayMount : ScopedMount {
    OverlayMount(const std::string& layers, const std::string& at)
        : ScopedMount("overlay", at, "overlay", 0,
                      "lowerdir=" + layers + "/lower,upperdir=" + layers + "/upper,workdir=" + layers + "/work") {}
};

// Folders below `base`, each name 200 characters long, until the path is at
// least `length` long (past PATH_MAX, which no path opens), made one name at
// a time from an open folder. Returns the deepest one's path.
inline std::string makeDeepFolder(const std::string& base, std::size_t length) {
    makeDirs(base);
    std::string path = base;
    int fd = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::string name(200, 'd');
    while (fd >= 0 && path.size() < length) {
        mkdirat(fd, name.c_str(), 0755);
        const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = next;
        path += "/" + name;
    }
    if (fd < 0) throw std::runtime_error("cannot make the deep folder below " + base);
    close(fd);
    return path;
}

// Files (with their folders) below `folder`, whose path may be longer than
// PATH_MAX: it is opened one name at a time.
inline void writeFilesDeep(const std::string& folder, std::initializer_list<std::pair<const char*, std::size_t>> files) {
    int fd = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (std::size_t i = 1; fd >= 0 && i < folder.size();) {
        const std::size_t j = std::min(folder.find('/', i), folder.size());
        mkdirat(fd, folder.substr(i, j - i).c_str(), 0755);
        const int next = openat(fd, folder.substr(i, j - i).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = next;
        i = j + 1;
    }
    if (fd < 0) throw std::runtime_error("cannot open " + folder);
    for (const auto& [rel, size] : files) {
        const std::string r = rel;
        for (std::size_t k = r.find('/'); k != std::string::npos; k = r.find('/', k + 1)) mkdirat(fd, r.substr(0, k).c_str(), 0755);
        const int f = openat(fd, rel, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const std::string data(size, 'x');
        const bool ok = f >= 0 && write(f, data.data(), data.size()) == static_cast<ssize_t>(data.size());
        if (f >= 0) close(f);
        if (!ok) throw std::runtime_error(std::string("cannot write ") + rel);
    }
    close(fd);
}

class TempDir {
public:
    TempDir() {
        std::string tmpl = "/tmp/tidewell-engine-test-XXXXXX";
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
        chmod(path_.c_str(), 0755);
    }
    // Folders a test made unreadable are opened up again first.
    ~TempDir() { (void)std::system(("chmod -R u+rwx " + path_ + " 2>/dev/null; rm -rf " + path_).c_str()); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

private:
    std::string path_;
};

struct RunResult {
    int exitCode = -1;  // -1 when ended by a signal
    int signal = 0;
    std::string out;
    std::string err;
    long peakKilobytes = 0;  // the largest resident size of the program and the processes it waited for
};

// Runs a program with the given environment additions, stdout and stderr
// captured through files in `scratch`. `sigtermFirst`: SIGTERM is sent before
// the program can run its first instruction (it arrives pending, blocked in
// the inherited mask). `started` is told the program's process once it runs.
inline RunResult runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                            const std::string& scratch, bool sigtermFirst = false,
                            const std::function<void(pid_t)>& started = nullptr) {
    const std::string outPath = scratch + "/.stdout", errPath = scratch + "/.stderr";
    std::vector<char*> cargv;
    for (const auto& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
    cargv.push_back(nullptr);
    sigset_t term, none, old;
    sigemptyset(&none);
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, &old);  // until the child has set its own mask
    const pid_t pid = fork();
    if (pid == 0) {
        sigprocmask(SIG_SETMASK, sigtermFirst ? &term : &none, nullptr);
        for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
        dup2(open("/dev/null", O_RDONLY), 0);
        dup2(open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        dup2(open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        execvp(cargv[0], cargv.data());
        _exit(127);
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (pid < 0) throw std::runtime_error("cannot start " + argv[0]);
    if (sigtermFirst) kill(pid, SIGTERM);
    if (started) started(pid);
    int status = 0;
    rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0) {
    }
    RunResult r;
    r.peakKilobytes = usage.ru_maxrss;
    if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    r.out = readText(outPath);
    r.err = readText(errPath);
    unlink(outPath.c_str());
    unlink(errPath.c_str());
    return r;
}

// Runs a program as the application runs the engine: its output and
// diagnostics read through pipes until no process holds them (a process it
// left behind holding one would keep the reading going), then its end
// waited for.
inline RunResult runThroughPipes(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    std::vector<std::string> environment = env;
    for (char** e = environ; *e; ++e) environment.emplace_back(*e);
    std::vector<char*> cargv, cenv;
    for (const auto& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : environment) cenv.push_back(const_cast<char*>(e.c_str()));
    cargv.push_back(nullptr);
    cenv.push_back(nullptr);
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("cannot make pipes");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(open("/dev/null", O_RDONLY), 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        execvpe(cargv[0], cargv.data(), cenv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    if (pid < 0) throw std::runtime_error("cannot start " + argv[0]);
    RunResult r;
    pollfd ends[] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* into[] = {&r.out, &r.err};
    for (int reading = 2; reading > 0;) {
        if (poll(ends, 2, -1) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (ends[i].fd < 0 || !ends[i].revents) continue;
            char buf[65536];
            const ssize_t n = read(ends[i].fd, buf, sizeof buf);
            if (n > 0) {
                into[i]->append(buf, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(ends[i].fd);
                ends[i].fd = -1;
                --reading;
            }
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    return r;
}

// The engine with home, data folder and database inside `sandbox`.
// A dashboard the engine gave (of any layout a test made, and as a clean
// left it stored): no stack, nor the whole, offers more than it holds.
inline void expectFiguresAddUp(const std::string& json, const std::string& command) {
    if (json.find('{') == std::string::npos) return;  // "null": no scan yet
    tidewell::DashboardDTO d;
    try {
        d = tidewell::decode<tidewell::DashboardDTO>(json);
    } catch (const std::exception&) {
        return;  // what a test feeds it on purpose
    }
    EXPECT_LE(d.reclaimable_bytes, d.total_bytes) << command;
    for (const auto& s : d.by_type)
        EXPECT_LE(s.reclaimable_bytes, s.total_bytes) << s.project_type << " reclaims more than it holds (" << command << ")";
}

class EngineRunner {
public:
    explicit EngineRunner(const std::string& sandbox) : sandbox_(sandbox) {
        makeDirs(home());
        makeDirs(data());
    }
    std::string home() const { return sandbox_ + "/home"; }
    std::string data() const { return sandbox_ + "/data"; }
    std::string db() const { return sandbox_ + "/data/Tidewell/tidewell.sqlite"; }
    std::vector<std::string> env() const {
        return {"HOME=" + home(), "TIDEWELL_HOME=" + home(), "XDG_DATA_HOME=" + data(), "TZ=UTC"};
    }

    // `prefix` comes before the program (for example to drop privileges).
    RunResult run(std::vector<std::string> args, bool withDb = true, bool sigtermFirst = false,
                  std::vector<std::string> prefix = {}) const {
        const bool scans = !args.empty() && (args[0] == "scan" || args[0] == "last");
        const std::string what = args.empty() ? "" : args[0];
        RunResult r = runProgram(command(std::move(args), withDb, std::move(prefix)), env(), sandbox_, sigtermFirst, started);
        if (r.exitCode == 0 && scans) expectFiguresAddUp(r.out, what);
        return r;
    }

    RunResult scan(const std::vector<std::string>& roots, int idleDays = 30, int maxDepth = 8,
                   std::vector<std::string> prefix = {}) const {
        return run(scanArguments(roots, idleDays, maxDepth), true, false, std::move(prefix));
    }

    // A scan whose output is read as the application reads it (runThroughPipes).
    RunResult scanThroughPipes(const std::vector<std::string>& roots) const {
        RunResult r = enginetest::runThroughPipes(command(scanArguments(roots, 30, 8), true, {}), env());
        if (r.exitCode == 0) expectFiguresAddUp(r.out, "scan");
        return r;
    }

    // Any command read so.
    RunResult runThroughPipes(const std::vector<std::string>& args) const { return enginetest::runThroughPipes(command(args, true, {}), env()); }

    // Told each run's process once it runs.
    std::function<void(pid_t)> started;

private:
    std::vector<std::string> command(std::vector<std::string> args, bool withDb, std::vector<std::string> prefix) const {
        const char* bundle = std::getenv("TIDEWELL_BUNDLE");
        prefix.push_back(std::string(bundle ? bundle : "") + "/bin/tidewell-engine");
        if (withDb) prefix.insert(prefix.end(), {"--db", db()});
        prefix.insert(prefix.end(), args.begin(), args.end());
        return prefix;
    }
    static std::vector<std::string> scanArguments(const std::vector<std::string>& roots, int idleDays, int maxDepth) {
        std::vector<std::string> a = {"scan", "--json", "--progress", "--idle-days", std::to_string(idleDays), "--max-depth",
                                      std::to_string(maxDepth)};
        for (const auto& r : roots) a.insert(a.end(), {"--root", r});
        return a;
    }

    std::string sandbox_;
};

// du's own count of allocated bytes, each hard-linked file once.
inline unsigned long long duBytes(const std::vector<std::string>& paths, const std::string& scratch) {
    std::vector<std::string> argv = {"du", "-B1", "-s", "-c"};
    argv.insert(argv.end(), paths.begin(), paths.end());
    const RunResult r = runProgram(argv, {}, scratch);
    const auto lastLine = r.out.rfind('\n', r.out.size() - 2);
    return std::stoull(r.out.substr(lastLine == std::string::npos ? 0 : lastLine + 1));
}

}  // namespace enginetest
