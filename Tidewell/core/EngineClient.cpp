#include "core/EngineClient.h"

#include "core/AppSupport.h"
#include "core/EngineIO.h"
#include "core/ScanRoots.h"
#include "foundation/Bundle.h"
#include "foundation/ChildProcess.h"
#include "foundation/Log.h"
#include "foundation/Paths.h"
#include "foundation/ProcessInfo.h"
#include "foundation/Utf8.h"

#include <atomic>
#include <cassert>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

extern char** environ;


namespace tidewell {

std::recursive_mutex& engineLock() {
    static auto* lock = new std::recursive_mutex;  // never destroyed: runs may outlive static teardown
    return *lock;
}

std::mutex& cancelLock() {
    static auto* lock = new std::mutex;
    return *lock;
}

namespace detail {

// One engine run, as seen by its cancel paths and its watchdog.
struct EngineRun {
    // Guarded by cancelLock().
    bool cancelRequested = false;
    std::shared_ptr<platform::ChildProcess> process;

    // The watchdog's state, guarded by `mutex`.
    std::mutex mutex;
    std::condition_variable changed;
    bool exited = false;
    bool stopRequested = false;
    bool killed = false;  // the watchdog sent SIGKILL
    int readersLeft = 2;  // of its standard output and error

    // Readable once nothing is waited for any more: the engine, nor its streams.
    platform::UniqueFd stopWaiting{::eventfd(0, EFD_CLOEXEC)};
    void wakeWaiters() {
        const std::uint64_t one = 1;
        (void)!::write(stopWaiting.get(), &one, sizeof one);
    }

    // SIGTERM now; the watchdog sends SIGKILL if the engine outlives the grace period.
    void stop(platform::ChildProcess& child) {
        child.terminate();
        {
            std::lock_guard guard(mutex);
            stopRequested = true;
        }
        changed.notify_all();
    }
};

}  // namespace detail

namespace {

using detail::EngineRun;
using Clock = std::chrono::steady_clock;

// The child process of the run in progress, with its cancel state; empty when
// no run is in progress. Guarded by cancelLock().
std::weak_ptr<EngineRun> runningProcess;
std::atomic<std::int64_t> killGraceMs{5000};

// Engines that SIGKILL did not end, no longer waited for; each is reaped by
// a later run once it has ended. Guarded by leftBehindLock.
std::mutex leftBehindLock;
std::vector<std::shared_ptr<platform::ChildProcess>> leftBehind;

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) out += separator;
        out += parts[i];
    }
    return out;
}

bool isExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Same file by device and inode when both exist, else by path ignoring case.
bool sameFile(const std::string& candidate, const std::string& own) {
    struct stat a {}, b {};
    if (::stat(candidate.c_str(), &a) == 0 && ::stat(own.c_str(), &b) == 0)
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    return equalIgnoringCase(platform::standardizePath(candidate), platform::standardizePath(own));
}

// Reads `fd` to its end, or until `stopFd` turns readable.
template <class Sink>
void drain(int fd, int stopFd, Sink&& sink) {
    std::string buffer(65536, '\0');
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    while (true) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents & POLLIN) return;
        ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // end of stream, or an error, which counts as the end
        sink(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
}

// Sends SIGTERM at the time-out, and SIGKILL when the engine is still there a
// grace period after any SIGTERM of ours. An engine still there a grace
// period after SIGKILL waits in the kernel (on a filesystem whose server is
// gone): nothing is waited for it any more.
void watch(EngineRun& run, platform::ChildProcess& child, double timeout) {
    const auto grace = std::chrono::milliseconds(killGraceMs.load());
    // A time-out beyond any real run (or not a number) means none.
    const bool hasTimeout = timeout == timeout && timeout < 1e9;
    const auto deadline =
        hasTimeout ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(std::max(0.0, timeout)))
                   : Clock::time_point::max();
    bool timeoutFired = false;
    const auto never = Clock::time_point::max();
    auto killAt = never;    // armed by a SIGTERM of ours
    auto giveUpAt = never;  // armed by our SIGKILL

    std::unique_lock guard(run.mutex);
    while (!run.exited) {
        const auto now = Clock::now();
        if (run.stopRequested && killAt == never && !run.killed) killAt = now + grace;
        if (!timeoutFired && now >= deadline) {
            timeoutFired = true;
            guard.unlock();
            if (child.isRunning()) {
                platform::log("Tidewell engine timeout after %.0fs — terminating", timeout);
                child.terminate();
            }
            guard.lock();
            if (killAt == never && !run.killed) killAt = Clock::now() + grace;
            continue;
        }
        if (killAt != never && now >= killAt) {
            killAt = never;
            run.killed = true;
            guard.unlock();
            if (child.isRunning()) {
                platform::log("Tidewell engine still running %lldms after SIGTERM — killing",
                              static_cast<long long>(grace.count()));
                child.kill();
            }
            guard.lock();
            giveUpAt = Clock::now() + grace;
            continue;
        }
        if (giveUpAt != never && now >= giveUpAt) {
            platform::log("Tidewell engine still running %lldms after SIGKILL — no longer waiting for it",
                          static_cast<long long>(grace.count()));
            run.wakeWaiters();
            return;
        }
        const auto until = std::min({timeoutFired ? never : deadline, killAt, giveUpAt});
        if (until == never) run.changed.wait(guard);
        else run.changed.wait_until(guard, until);
    }
}

// This process's environment with TIDEWELL_HOME and HOME both the real home:
// the engine reads TIDEWELL_HOME first, so one inherited from elsewhere must
// never send it to another home than the application's.
std::vector<std::string> engineEnvironment(const std::string& home) {
    std::vector<std::string> entries;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view text(*entry);
        if (text.starts_with("TIDEWELL_HOME=") || text.starts_with("HOME=")) continue;
        entries.emplace_back(text);
    }
    entries.push_back("TIDEWELL_HOME=" + home);
    entries.push_back("HOME=" + home);
    return entries;
}

std::string statusText(const platform::ExitStatus& status) {
    if (status.exitedNormally()) return "exit " + std::to_string(status.code);
    return "signal " + std::to_string(status.code) + " (" + EngineClient::signalName(status.code) + ")";
}

}  // namespace

void EngineCancelToken::cancel() {
    std::vector<std::pair<std::shared_ptr<EngineRun>, std::shared_ptr<platform::ChildProcess>>> toStop;
    {
        std::lock_guard guard(cancelLock());
        cancelled_ = true;
        for (auto& weak : runs_) {
            if (auto run = weak.lock()) {
                run->cancelRequested = true;
                if (run->process) toStop.emplace_back(run, run->process);
            }
        }
    }
    // Signalling happens outside cancelLock and never waits for the engine.
    for (auto& [run, process] : toStop) run->stop(*process);
}

bool EngineCancelToken::isCancelled() const {
    std::lock_guard guard(cancelLock());
    return cancelled_;
}

void EngineClient::setKillGracePeriodForTesting(std::chrono::milliseconds grace) {
    killGraceMs.store(grace.count());
}

std::string EngineClient::signalName(int signal) {
    switch (signal) {
    case 5: return "SIGTRAP";
    case 6: return "SIGABRT";
    case 9: return "SIGKILL";
    case 11: return "SIGSEGV";
    case 15: return "SIGTERM";
    default: return "signal " + std::to_string(signal);
    }
}

std::optional<std::string> EngineClient::enginePath() {
    const platform::Bundle bundle = platform::Bundle::main();
    std::vector<std::string> candidates;
    if (std::string dir = bundle.executableDirectory(); !dir.empty())
        candidates.push_back(platform::appendPathComponent(dir, "tidewell-engine"));
    if (std::string resources = bundle.resourceDirectory(); !resources.empty())
        candidates.push_back(resources + "/tidewell-engine");
    const std::string own = bundle.executablePath();
    for (const auto& candidate : candidates) {
        std::string path = platform::standardizePath(candidate);
        if (!isExecutableFile(path)) continue;
        if (!own.empty() && sameFile(path, own)) continue;
        return path;
    }
    return std::nullopt;
}

std::optional<std::string> EngineClient::rulesPath() {
    const platform::Bundle bundle = platform::Bundle::main();
    if (std::string dir = bundle.executableDirectory(); !dir.empty()) {
        std::string path = platform::standardizePath(dir + "/../Resources/rules/artifacts.yaml");
        if (fileExists(path)) return path;
    }
    if (std::string resources = bundle.resourceDirectory(); !resources.empty()) {
        std::string path = resources + "/rules/artifacts.yaml";
        if (fileExists(path)) return path;
    }
    if (std::string cwd = platform::currentDirectory(); !cwd.empty()) {
        std::string path = platform::appendPathComponent(cwd, "rules/artifacts.yaml");
        if (fileExists(path)) return path;
    }
    return std::nullopt;
}

void EngineClient::cancelRunning() {
    std::shared_ptr<EngineRun> run;
    std::shared_ptr<platform::ChildProcess> process;
    {
        std::lock_guard guard(cancelLock());
        run = runningProcess.lock();
        if (!run) return;  // nothing runs: nothing is remembered for a later run
        run->cancelRequested = true;
        process = run->process;
    }
    if (process) run->stop(*process);
}

std::string EngineClient::run(const std::vector<std::string>& arguments, double timeout, ProgressHandler onProgress,
                              std::shared_ptr<EngineCancelToken> cancelToken) {
    assert(!platform::isMainThread() && "engine runs block; never call them on the main thread");

    const auto engine = enginePath();
    if (!engine) throw EngineError::binaryMissing("Rust engine not found (refused to launch this app as tidewell)");

    std::vector<std::string> fullArguments;
    if (auto rules = rulesPath()) {
        fullArguments.push_back("--rules");
        fullArguments.push_back(*rules);
    }
    fullArguments.push_back("--db");
    fullArguments.push_back(platform::appendPathComponent(appSupportDirectory(), "tidewell.sqlite"));
    fullArguments.insert(fullArguments.end(), arguments.begin(), arguments.end());

    platform::ChildProcess::Options options;
    options.executable = *engine;
    options.arguments = fullArguments;
    options.environment = engineEnvironment(scanRootsRealHome());

    {
        std::lock_guard guard(leftBehindLock);
        std::erase_if(leftBehind, [](const auto& held) { return held->tryWait().has_value(); });
    }
    auto run = std::make_shared<EngineRun>();
    {
        std::lock_guard guard(cancelLock());
        if (cancelToken && cancelToken->cancelled_) throw EngineError::cancelled();  // cancelled before it began
        if (cancelToken) {
            std::erase_if(cancelToken->runs_, [](const auto& weak) { return weak.expired(); });
            cancelToken->runs_.push_back(run);
        }
        runningProcess = run;
    }
    auto detach = [&] {
        std::lock_guard guard(cancelLock());
        if (runningProcess.lock() == run) runningProcess.reset();
    };

    platform::log("Tidewell engine start %@ %@", *engine, joined(fullArguments, " "));
    EngineIO io(std::move(onProgress));

    std::shared_ptr<platform::ChildProcess> child;
    try {
        child = platform::ChildProcess::spawn(options);
    } catch (...) {
        detach();
        throw;  // the system's own reason, unchanged
    }
    bool cancelledDuringLaunch;
    {
        std::lock_guard guard(cancelLock());
        run->process = child;
        cancelledDuringLaunch = run->cancelRequested;
    }
    if (cancelledDuringLaunch) run->stop(*child);

    std::thread stdoutReader, stderrReader, watchdog;
    try {
        const int outFd = child->standardOutput().get();
        const int errFd = child->standardError().get();
        const int stopFd = run->stopWaiting.get();
        const auto readerDone = [&run] {
            {
                std::lock_guard guard(run->mutex);
                --run->readersLeft;
            }
            run->changed.notify_all();
        };
        stdoutReader = std::thread([&io, outFd, stopFd, readerDone] {
            drain(outFd, stopFd, [&io](std::string_view c) { io.appendStdout(c); });
            readerDone();
        });
        stderrReader = std::thread([&io, errFd, stopFd, readerDone] {
            drain(errFd, stopFd, [&io](std::string_view c) { io.appendStderr(c); });
            io.finishStderr();
            readerDone();
        });
        watchdog = std::thread([&run, &child, timeout] { watch(*run, *child, timeout); });
    } catch (...) {
        // No thread to read or watch: end the engine so nothing is left behind.
        child->kill();
        child->wait();
        {
            std::lock_guard guard(run->mutex);
            run->exited = true;
        }
        run->changed.notify_all();
        run->wakeWaiters();
        for (auto* t : {&stdoutReader, &stderrReader, &watchdog})
            if (t->joinable()) t->join();
        detach();
        throw;
    }

    const std::optional<platform::ExitStatus> ended = child->waitUnless(run->stopWaiting.get());
    {
        std::unique_lock guard(run->mutex);
        run->exited = true;
        run->changed.notify_all();
        // What the engine wrote is in its pipes once it has ended; a process
        // it left behind that still holds them open is not waited for.
        const auto grace = std::chrono::milliseconds(killGraceMs.load());
        if (ended && !run->changed.wait_for(guard, grace, [&] { return run->readersLeft == 0; })) {
            platform::log("Tidewell engine ended, but its output was still open %lldms later — no longer reading it",
                          static_cast<long long>(grace.count()));
            run->wakeWaiters();
        }
    }
    watchdog.join();
    stdoutReader.join();
    stderrReader.join();

    bool cancelled;
    {
        std::lock_guard guard(cancelLock());
        if (runningProcess.lock() == run) runningProcess.reset();
        run->process.reset();
        cancelled = run->cancelRequested;
    }
    if (!ended) {
        child->leaveBehind();
        {
            std::lock_guard guard(leftBehindLock);
            leftBehind.push_back(child);
        }
        platform::log("Tidewell engine failed: held after SIGKILL");
        throw EngineError::held();
    }
    const platform::ExitStatus status = *ended;
    bool killedByUs;
    {
        std::lock_guard guard(run->mutex);
        killedByUs = run->killed;
    }

    if (status.success()) {
        platform::log("Tidewell engine exit 0");
        return io.takeStdout();
    }
    const std::string diagnostics = joined(io.keptStderrLines(), "\n");
    const std::string text = statusText(status);
    platform::log("Tidewell engine failed: %@", text);
    if (!diagnostics.empty()) platform::log("Tidewell engine stderr:\n%@", diagnostics);
    const bool stoppedBySignal = !status.exitedNormally() &&
                                 (status.code == SIGTERM || (status.code == SIGKILL && killedByUs));
    if (stoppedBySignal) throw cancelled ? EngineError::cancelled() : EngineError::timedOut();
    if (!diagnostics.empty()) throw EngineError::failed(diagnostics);
    throw EngineError::failed("Engine " + text);
}

int EngineClient::scanDepth(const std::vector<std::string>& roots) {
    for (const auto& root : roots) {
        std::string path = platform::standardizePath(root);
        if (path == "/" || platform::isOtherVolumePath(path)) return 12;
    }
    return 8;
}

std::vector<std::string> EngineClient::scanArguments(const std::vector<std::string>& roots, std::int64_t idleDays) {
    std::vector<std::string> args{"scan",       "--json", "--progress", "--idle-days", std::to_string(idleDays),
                                  "--max-depth", std::to_string(scanDepth(roots))};
    for (const auto& root : roots) {
        args.push_back("--root");
        args.push_back(root);
    }
    return args;
}

std::vector<std::string> EngineClient::lastArguments() { return {"last", "--json"}; }

std::vector<std::string> EngineClient::logArguments(std::int64_t limit) {
    return {"log", "--limit", std::to_string(limit), "--json"};
}

std::vector<std::string> EngineClient::cleanArguments(const std::string& projectPath, bool execute, bool caution,
                                                      const std::vector<std::string>& artifacts) {
    std::vector<std::string> args{"clean", "--project", projectPath, "--json"};
    if (execute) args.push_back("--execute");
    if (caution) args.push_back("--caution");
    for (const auto& artifact : artifacts) {
        args.push_back("--artifact");
        args.push_back(artifact);
    }
    return args;
}

DashboardDTO EngineClient::scan(const std::vector<std::string>& roots, std::int64_t idleDays,
                                ProgressHandler onProgress, std::shared_ptr<EngineCancelToken> cancelToken) {
    const std::string output = run(scanArguments(roots, idleDays), scanTimeout, std::move(onProgress), std::move(cancelToken));
    try {
        return decode<DashboardDTO>(output);
    } catch (const DecodeError& error) {
        std::string_view head = std::string_view(output).substr(0, 500);
        std::string preview = platform::isValidUtf8(head) ? std::string(head)
                                                           : "<" + std::to_string(output.size()) + " bytes>";
        platform::log("Tidewell scan JSON decode failed: %@\n%@", error.what(), preview);
        throw EngineError::decode();
    }
}

std::optional<DashboardDTO> EngineClient::last(std::shared_ptr<EngineCancelToken> cancelToken) {
    const std::string output = run(lastArguments(), commandTimeout, {}, std::move(cancelToken));
    if (output.empty() || !platform::isValidUtf8(output)) return std::nullopt;
    std::string_view text(output);
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    if (text.empty() || text == "null") return std::nullopt;
    return decode<DashboardDTO>(text);
}

std::vector<OperationDTO> EngineClient::log(std::int64_t limit, std::shared_ptr<EngineCancelToken> cancelToken) {
    const std::string output = run(logArguments(limit), commandTimeout, {}, std::move(cancelToken));
    if (output.empty()) return {};
    return decodeArray<OperationDTO>(output);
}

CleanReportDTO EngineClient::clean(const std::string& projectPath, bool execute, bool caution,
                                   std::shared_ptr<EngineCancelToken> cancelToken,
                                   const std::vector<std::string>& artifacts) {
    std::lock_guard guard(engineLock());
    const std::string output =
        run(cleanArguments(projectPath, execute, caution, artifacts), commandTimeout, {}, std::move(cancelToken));
    if (output.empty()) throw EngineError::decode();
    return decode<CleanReportDTO>(output);
}

}  // namespace tidewell
