#pragma once
// Work that a file or a filesystem can hold or flood runs in a helper: a
// process of our own executable, started afresh in a hidden mode
// (`tidewell-engine --helper MODE LIMIT ARGS...`), that prints what it finds
// as lines on a pipe. A thread whose request a FUSE or network server has
// read waits in the kernel even against SIGKILL, and a library reading a
// hostile file may ask for gigabytes: in a helper, either costs only that
// helper, never the engine, which reads the lines with deadlines, leaves a
// helper that falls silent or dies behind, and goes on.
//
// A helper holds none of the engine's descriptors (0 and 2 on /dev/null, 1
// its pipe; the engine's output, database and lock stay closed to it), works
// in "/", caps its own address space first thing, and is killed when the
// thread that started it ends. At most the number of a `HelperSlots` run at
// once. A helper that ignores its deadline is killed and never waited for: a
// process stuck in a filesystem's request cannot be reaped, so it is reaped
// later, without waiting, or left to end with the engine.
//
// Use, in the engine:
//
//     static HelperSlots slots(4);
//     HelperProcess helper("git-work", {path}, {.silence = 60s, .overall = 60s}, slots, stop);
//     for (std::string line; helper.nextLine(line);)
//         use(helperFields(line));           // one record per line
//     switch (helper.end()) { ... }          // Finished, Silent, Died, Stopped
//
// and in the helper, a mode routed from main (see runHelper in main.cpp),
// which prints each record as it goes with `helperPrint(helperRecord({...}))`
// and returns its exit status. A mode that streams many records (a walk)
// gives a silence of a few seconds and no overall deadline: a slow share that
// keeps answering is never cut off; one that must finish (a clone's judgement)
// gives both.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tidewell::engine {

// The first argument that starts a helper: never shown in the usage, and no
// option of the documented command line.
inline constexpr std::string_view kHelperFlag = "--helper";

struct HelperLimits {
    // Without a byte on its output for this long, a helper is Silent.
    std::chrono::milliseconds silence{3000};
    // Not ended within this long of its start, it is Silent too.
    std::chrono::milliseconds overall = std::chrono::milliseconds::max();
    // The address space it may take, in bytes (RLIMIT_AS).
    std::uint64_t addressSpace = std::uint64_t(512) << 20;
};

// At most `count` helpers of one kind run at a time; a helper left behind
// gives its slot back, since it no longer works for the engine.
class HelperSlots {
public:
    explicit HelperSlots(unsigned count) : free_(count) {}
    // Waits for a free slot; false when `stop` was raised first.
    bool take(const std::atomic<bool>& stop);
    void give();

private:
    std::mutex m_;
    std::condition_variable freed_;
    unsigned free_;
};

class HelperProcess {
public:
    enum class End {
        Running,   // lines may still come
        Finished,  // its output ended and it exited with status 0
        Silent,    // a deadline passed: killed and left behind
        Died,      // it could not start, ended by a signal or another status, or printed a line past all bounds
        Stopped,   // the engine was asked to end: killed and left behind
    };

    // Starts `executable --helper mode LIMIT args...` once a slot is free.
    // `answered`: its standard input is a socket on which the engine answers
    // what it asks (answer()); else /dev/null.
    HelperProcess(const std::string& mode, const std::vector<std::string>& args, const HelperLimits& limits, HelperSlots& slots,
                  const std::atomic<bool>& stop, bool answered = false);
    // A helper still running is killed and left behind.
    ~HelperProcess();
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    // The next line it printed, without its newline. False once it has
    // ended (a last line without a newline is dropped); `end()` tells how.
    bool nextLine(std::string& line);
    End end() const { return end_; }
    // Sends one line to an answered helper; false once it cannot be sent.
    // Its silence is counted from then on.
    bool answer(std::string_view line);
    // How it ended, for a diagnostic: "exit status 3", "signal 9".
    const std::string& endText() const { return endText_; }
    // Whether its process was started at all (a process or descriptor limit
    // can keep it from starting).
    bool started() const { return started_ != std::chrono::steady_clock::time_point{}; }
    // Why no process could be started for it (an errno), or 0.
    int startError() const { return startError_; }

    // What is started: this very executable (also once replaced on disk).
    // A test binary points it at the engine's.
    static inline std::string executable = "/proc/self/exe";
    // The longest line read; a longer one ends the helper as Died.
    static constexpr std::size_t kLongestLine = 1 << 20;

private:
    void finish(End end, std::string text = {});
    void leaveBehind(End end);

    HelperLimits limits_;
    HelperSlots& slots_;
    const std::atomic<bool>& stop_;
    bool haveSlot_ = false;
    pid_t pid_ = -1;
    int outFd_ = -1;    // its output, until it ends
    int endedFd_ = -1;  // readable once it has exited (a pidfd), when the kernel gives one
    int answerFd_ = -1;  // the engine's end of an answered helper's input
    int status_ = 0;    // once reaped
    std::chrono::steady_clock::time_point started_, heard_;
    std::string buffer_;
    std::size_t taken_ = 0;    // what of `buffer_` was handed out as lines
    std::size_t scanned_ = 0;  // what of `buffer_` was searched for a newline
    End end_ = End::Running;
    std::string endText_;
    int startError_ = 0;
};

// In a helper, first thing: its address space capped at `addressSpace`, and
// killed when the engine's thread that started it goes away.
void enterHelper(std::uint64_t addressSpace);
// Whether this process is a helper (enterHelper ran): a share that stops
// answering holds only it, so it may look at what the engine leaves alone.
bool isHelper();

// Prints one line on the helper's output at once, whole.
void helperPrint(std::string_view line);
// In an answered helper: the engine's next line, without its newline; none
// once the engine is gone.
std::optional<std::string> helperAnswer();

// A helper's output, one whole line at a time from any of its threads.
class HelperOutput {
public:
    void print(std::initializer_list<std::string_view> fields);
    void print(const std::vector<std::string>& fields);

private:
    std::mutex m_;
};

// For as long as it lives, prints "alive" on `out` every quarter second in
// which another thread of the helper got on (a thread waiting for a server's
// answer does not), so that the helper's silence means that no request of
// its is answered any more. Under a process limit that stops its thread,
// the helper goes on without it: its own lines are then all the engine hears.
class HelperHeartbeat {
public:
    explicit HelperHeartbeat(HelperOutput& out);
    ~HelperHeartbeat();
    HelperHeartbeat(const HelperHeartbeat&) = delete;
    HelperHeartbeat& operator=(const HelperHeartbeat&) = delete;

private:
    std::mutex m_;
    std::condition_variable ended_;
    bool done_ = false;
    std::thread thread_;
};

// One line of fields separated by tabs; a tab, newline or backslash inside a
// field (a path may hold any of them) is escaped, so a record is always one line.
std::string helperRecord(std::initializer_list<std::string_view> fields);
std::vector<std::string> helperFields(std::string_view line);

}  // namespace tidewell::engine
