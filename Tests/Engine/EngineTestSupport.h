#pragma once
// Fixture trees in temporary folders, and running the engine executable with
// a home, data folder and database of the test's own.

#include <fcntl.h>
#include <ftw.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace enginetest {

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Writes `size` bytes (real blocks, not a sparse file), creating parent folders.
inline void writeFile(const std::string& path, std::size_t size = 100, char fill = 'x') {
    for (std::size_t i = 1; i < path.size(); ++i)
        if (path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << std::string(size, fill);
    if (!out) throw std::runtime_error("cannot write " + path);
}

inline void makeDirs(const std::string& path) {
    for (std::size_t i = 1; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
}

inline bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

class TempDir {
public:
    TempDir() {
        std::string tmpl = "/tmp/tidewell-engine-test-XXXXXX";
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
        chmod(path_.c_str(), 0755);
    }
    ~TempDir() {
        // Folders a test made unreadable are opened up again first.
        nftw(path_.c_str(), [](const char* p, const struct stat* st, int type, FTW*) {
            if (type == FTW_D || type == FTW_DNR) chmod(p, (st->st_mode & 07777) | 0700);
            return 0;
        }, 16, FTW_PHYS);
        nftw(path_.c_str(), [](const char* p, const struct stat* st, int type, FTW*) {
            if (type == FTW_DNR) chmod(p, (st->st_mode & 07777) | 0700);
            return 0;
        }, 16, FTW_PHYS);
        nftw(path_.c_str(), [](const char* p, const struct stat*, int, FTW*) { return remove(p) == 0 ? 0 : 0; }, 16,
             FTW_DEPTH | FTW_PHYS);
    }
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
};

inline std::string bundleDir() {
    const char* b = std::getenv("TIDEWELL_BUNDLE");
    return b ? b : "";
}

inline std::string enginePath() { return bundleDir() + "/bin/tidewell-engine"; }

// Runs a program with the given environment additions, stdout and stderr
// captured. `prefix` comes before the program (for example to drop privileges).
// `sigtermFirst`: SIGTERM is sent before the program can run its first
// instruction (it arrives pending, blocked in the inherited mask).
inline RunResult runProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                            const std::string& scratch, bool sigtermFirst = false) {
    const std::string outPath = scratch + "/.stdout", errPath = scratch + "/.stderr";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t blocked;
    sigemptyset(&blocked);
    if (sigtermFirst) sigaddset(&blocked, SIGTERM);
    posix_spawnattr_setsigmask(&attr, &blocked);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) envStrings.emplace_back(*e);
    for (const auto& add : env) {
        const std::string key = add.substr(0, add.find('=') + 1);
        for (auto it = envStrings.begin(); it != envStrings.end();)
            it = it->rfind(key, 0) == 0 ? envStrings.erase(it) : it + 1;
        envStrings.push_back(add);
    }
    std::vector<char*> cargv, cenv;
    for (const auto& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
    cargv.push_back(nullptr);
    for (const auto& e : envStrings) cenv.push_back(const_cast<char*>(e.c_str()));
    cenv.push_back(nullptr);

    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, cargv[0], &fa, &attr, cargv.data(), cenv.data());
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
    if (sigtermFirst) kill(pid, SIGTERM);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    RunResult r;
    if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    r.out = readText(outPath);
    r.err = readText(errPath);
    unlink(outPath.c_str());
    unlink(errPath.c_str());
    return r;
}

// The engine with home, data folder and database inside `sandbox`.
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

    RunResult run(std::vector<std::string> args, bool withDb = true, bool sigtermFirst = false,
                  std::vector<std::string> prefix = {}) const {
        std::vector<std::string> argv = std::move(prefix);
        argv.push_back(enginePath());
        if (withDb) {
            argv.push_back("--db");
            argv.push_back(db());
        }
        argv.insert(argv.end(), args.begin(), args.end());
        return runProgram(argv, env(), sandbox_, sigtermFirst);
    }

    RunResult scan(const std::vector<std::string>& roots, int idleDays = 30, int maxDepth = 8) const {
        std::vector<std::string> a = {"scan", "--json", "--progress", "--idle-days", std::to_string(idleDays), "--max-depth",
                                      std::to_string(maxDepth)};
        for (const auto& r : roots) {
            a.push_back("--root");
            a.push_back(r);
        }
        return run(a);
    }

private:
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
