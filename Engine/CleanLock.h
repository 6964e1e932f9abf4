#pragma once
// One clean at a time per database, and no settling of a clean while one
// moves: an exclusive lock on a file beside the database, released by the
// kernel when the process ends, however it ends. A clean waits for it a few
// seconds at most: a holder stopped in a terminal (Ctrl+Z) or held by a
// filesystem that does not answer may never let go.

#include <atomic>
#include <chrono>
#include <string>

namespace tidewell::engine {

class CleanLock {
public:
    // Briefly: up to kLongestWait for another process to let go, then
    // refused, naming the holder in problem().
    enum class Wait { Briefly, No };
    static constexpr std::chrono::seconds kLongestWait{3};
    // While waiting, a raised `stop` ends the wait unheld (see stopped()).
    CleanLock(const std::string& dbPath, Wait wait, const std::atomic<bool>* stop = nullptr);
    ~CleanLock();
    CleanLock(const CleanLock&) = delete;
    CleanLock& operator=(const CleanLock&) = delete;

    bool held() const { return held_; }
    // Why it is not held, naming the lock file, when the file itself is in
    // the way, or the holder, when a brief wait ran out; empty when another
    // process simply holds it and this one did not wait.
    const std::string& problem() const { return problem_; }
    // The wait ended by a termination request.
    bool stopped() const { return stopped_; }
    // Whether a clean's helper, left behind, may still be moving a folder:
    // it holds a record lock on the lock file around each move, which the
    // kernel keeps while the helper waits on a share, whatever signal came.
    bool moveInFlight() const;
    // In such a helper: holds (true) or lets go of that lock on the lock file
    // at `lockPath`, opened at the first call.
    static void holdMove(const std::string& lockPath, bool hold);

    // Runs inside a takeover right after the swap; lets a test put another
    // process's step there.
    static inline void (*afterSwap)() = nullptr;

private:
    enum class TakeOver { Done, Refused, Replaced };
    // File: fd_ is open on the lock file. Finished: held by a takeover, or
    // not held with problem_ said.
    enum class Opened { File, Again, Finished };
    Opened open();
    TakeOver unopenable(int error);
    TakeOver takeOver();
    bool lock(int fd, Wait wait, std::chrono::steady_clock::time_point deadline, const std::atomic<bool>* stop);
    bool namesLocked(int fd) const;

    std::string path_;
    int fd_ = -1;
    bool held_ = false;
    bool stopped_ = false;
    std::string problem_;
};

}  // namespace tidewell::engine
