#pragma once
// The walk of a scan folder that may not answer (on FUSE, a network
// filesystem, or a mount the kernel cannot resolve from what it holds) runs
// in a helper (HelperProcess.h), never in the engine: a thread whose request
// such a server has read waits in the kernel even against SIGKILL, so a share
// that stops answering in the middle of a walk would keep the engine from
// ever ending. The helper walks the folder as the engine would and streams
// what it finds, its progress events as they come and then its projects with
// their sizes, artifacts and activity; it tells that it is alive whenever
// any of its requests was answered, so that its silence means no answer. A
// helper silent past a few seconds costs only its folder, named; the engine
// leaves it behind holding nothing of its own and goes on.

#include "Activity.h"
#include "HelperProcess.h"
#include "Walker.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tidewell::engine {

class Progress;

inline constexpr std::string_view kWalkHelper = "walk";

// What a walk needs to be the engine's own walk, in a helper too.
struct WalkSettings {
    int maxDepth = 8;
    std::string rulesFile;  // empty: the built-in rules
    std::string databasePath;
    std::string dataHome;
};

// In the helper: walks the folder that `args` names, with its settings, and
// prints what it finds. Returns its exit status.
int walkHelper(const std::vector<std::string>& args);

// In the engine: the walks of the scan folders that may not answer, each in
// a helper of its own, all begun at once beside whatever the engine does
// meanwhile.
class WalksApart {
public:
    struct Outcome {
        enum class Kind {
            Walked,            // `result` holds its projects
            Unreadable,        // `why` tells, as the engine's own walk would
            NeverAnswered,     // silent from the start
            StoppedAnswering,  // silent after it had answered
            Died,              // `why` tells how it ended
            Stopped,           // the engine was asked to end
            NoHelper,          // no executable to start it from here (a root changed to one without it)
            NotStarted,        // no process could be started for it (a process limit): `why` tells
        };
        Kind kind = Kind::Stopped;
        std::string why;
        WalkResult result;
        // The folder walked and each one above it, by what they are: a
        // folder given twice, or inside one walked before, is listed once.
        std::vector<FolderId> folders;
    };

    WalksApart(WalkSettings settings, const std::atomic<bool>& stop);
    ~WalksApart();
    WalksApart(const WalksApart&) = delete;
    WalksApart& operator=(const WalksApart&) = delete;

    // Begins the walk of `root` (as given) in a helper, once however often
    // it is given. False when no helper can be started here.
    bool begin(const std::string& root);

    // Tells `progress` the events of the walk of `root`, begun before, as
    // they come, and returns how it ended.
    Outcome finish(const std::string& root, Progress& progress);

    // A helper silent for this long is left behind (a test may wait longer).
    static inline std::chrono::milliseconds silenceWithin{5000};

private:
    struct Walk {
        std::string root;
        bool started = false;
        std::mutex m;
        std::condition_variable told;
        std::deque<std::string> lines;
        bool ended = false;
        HelperProcess::End end = HelperProcess::End::Running;
        std::string endText;
        std::optional<Outcome> outcome;  // once finished: a folder given again ends the same
        std::vector<std::string> args;
        int startError = 0;
        // Holds the helper, which ends with the thread that started it.
        // Where no thread can be started, the thread that finishes the walk
        // starts and reads it then.
        std::thread reader;
        bool readWhenFinished = false;
    };
    void read(Walk& w);

    const WalkSettings settings_;
    const std::atomic<bool>& stop_;
    std::list<Walk> walks_;
};

// Adds the projects of `apart`, a walk of a folder that no other walk
// reached, to `into`.
void addWalk(WalkResult& into, WalkResult&& apart);

}  // namespace tidewell::engine
