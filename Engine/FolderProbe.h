#pragma once
// Whether a folder's filesystem answers. A FUSE or network filesystem whose
// server stopped answering (an sshfs folder of a host that is gone) holds
// whoever asks it until the server answers, whatever signal comes: a thread
// of the engine that asked it would keep the engine from ever ending, even
// killed. So a folder on such a filesystem is first asked by a process of its
// own, which holds nothing of the engine's and is left behind when no answer
// comes in time. A folder that the kernel finds on local filesystems all the
// way, from what it holds already, is not asked.

#include "MountTable.h"

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace tidewell::engine {

// Whether the folder (or file) at the absolute path `path` may not answer: it lies on
// FUSE or a network filesystem (by its own mount or one it lies on), on a
// mount that `mounts` (read now when it was not) does not list, or on the way
// to it the kernel cannot tell from what it holds already. A folder that does
// not exist answers: what it is, is told by what opens it next.
bool mayNotAnswer(const std::string& path, MountTable& mounts);

// The mount of the nearest folder on the absolute path `path` that the
// kernel holds (0 when it tells none), told without asking any filesystem;
// `whole`, when given, tells whether that folder is the one at `path`.
std::uint64_t heldMountOf(const std::string& path, bool* whole = nullptr);

class FolderProbe {
public:
    enum class Answer { Answers, Silent, Stopped };

    // A raised `stop` ends any wait (Stopped).
    explicit FolderProbe(const std::atomic<bool>& stop);
    ~FolderProbe();
    FolderProbe(const FolderProbe&) = delete;
    FolderProbe& operator=(const FolderProbe&) = delete;

    // Starts asking the folder at the absolute path `path`, when it may not
    // answer; folders asked together wait for their answers together.
    void start(const std::string& path);

    // Whether the folder at `path` (started now when it was not) answered
    // within `answerWithin` of being asked. A folder that does not exist, or
    // cannot be reached, answers: what it is, is told by what opens it next.
    Answer wait(const std::string& path);

    // How long an answer is waited for (a test may wait longer).
    static inline std::chrono::milliseconds answerWithin{3000};

private:
    struct Asked {
        pid_t pid = -1;  // the process asking, until it answers
        int answerFd = -1;
        std::chrono::steady_clock::time_point since;
        std::optional<Answer> answer;
    };
    void leave(Asked& asked, Answer answer);

    const std::atomic<bool>& stop_;
    MountTable mounts_;
    std::map<std::string, Asked> asked_;
};

}  // namespace tidewell::engine
