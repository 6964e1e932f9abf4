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
#include "MountTable.h"
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

// In the engine: the walks of the scan folders that may not answer, in
// helpers: one per filesystem, which walks its folders in the order given
// (a slow share is asked by one walk at a time, and a folder reached from
// an earlier one is listed once), the helpers of different filesystems side
// by side, all begun at once beside whatever the engine does meanwhile.
class WalksApart {
public:
    struct Outcome {
        enum class Kind {
            Walked,            // its projects come with those of its filesystem's walk (takeKept)
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
        // The folder walked and each one above it, by what they are: a
        // folder given twice, or inside one walked before, is listed once.
        std::vector<FolderId> folders;
    };

    WalksApart(WalkSettings settings, const std::atomic<bool>& stop);
    ~WalksApart();
    WalksApart(const WalksApart&) = delete;
    WalksApart& operator=(const WalksApart&) = delete;

    // Adds `root` (as given) to the walk of its filesystem, once however
    // often it is given. False when no helper can be started here.
    bool add(const std::string& root);
    // Begins the walks of the roots added.
    void begin();

    // Tells `progress` the events of the walk of `root`'s filesystem (those
    // not told yet) as they come, and returns how it ended for `root`.
    Outcome finish(const std::string& root, Progress& progress);

    // Lists the projects of `root`'s filesystem's walk, which a root of it
    // found walked by no other walk.
    void keep(const std::string& root);
    // The projects of the walks kept, once every root is finished.
    std::vector<WalkResult> takeKept();

    // A helper silent for this long is left behind (a test may wait longer).
    static inline std::chrono::milliseconds silenceWithin{5000};

private:
    struct Walk {
        std::vector<std::string> roots;  // as given, in order
        std::uint64_t filesystem = 0;
        bool joinable = true;  // other roots of `filesystem` are walked by it
        bool started = false;
        std::vector<std::string> args;
        std::mutex m;
        std::condition_variable told;
        std::deque<std::string> lines;
        bool ended = false;
        HelperProcess::End end = HelperProcess::End::Running;
        std::string endText;
        int startError = 0;
        bool settled = false;
        std::vector<Outcome> outcomes;  // once settled, one per root
        WalkResult result;
        bool kept = false;
        // Holds the helper, which ends with the thread that started it.
        // Where no thread can be started, the thread that finishes the walk
        // starts and reads it then.
        std::thread reader;
        bool readWhenFinished = false;
    };
    Walk* walkOf(const std::string& root);
    void read(Walk& w);
    void settle(Walk& w, Progress& progress);

    const WalkSettings settings_;
    const std::atomic<bool>& stop_;
    MountTable mounts_;
    std::list<Walk> walks_;
};

// Adds the projects of `apart`, a walk of a folder that no other walk
// reached, to `into`.
void addWalk(WalkResult& into, WalkResult&& apart);

}  // namespace tidewell::engine
