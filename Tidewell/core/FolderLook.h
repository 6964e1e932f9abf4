#pragma once
// Looks at folders the user named (scan folders, a folder chosen in the
// panel) without ever being held by one. A FUSE or network filesystem whose
// server stopped answering holds whatever asks it, beyond the reach of any
// signal, and a thread held there keeps the whole process from ending. So
// each folder is looked at by a child process of its own: the caller waits a
// few seconds at most, and a child that is held stays behind alone, closing
// nothing of ours and holding nothing open.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tidewell {

// What one look at a path found.
struct FolderFacts {
    int statError = 0;  // errno of stat(), 0 when it is there
    bool isDirectory = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    int accessError = 0;  // errno of access(F_OK)
    bool listable = false;  // this user can list it
    bool parentIsDirectory = false;
    bool parentHasEntries = false;
};

// The answers of one round of looks. A path that did not answer in time, or
// was not asked about, has no facts.
class FolderLooks {
public:
    void record(const std::string& path, std::optional<FolderFacts> facts);
    const FolderFacts* facts(const std::string& path) const;
    bool askedAbout(const std::string& path) const { return seen_.count(path) != 0; }
    // Asked about and gave no answer in time.
    bool silent(const std::string& path) const;

private:
    std::map<std::string, std::optional<FolderFacts>> seen_;
};

// How long a folder has to answer.
inline constexpr std::chrono::milliseconds kFolderLookPatience{3000};

// The time a round of looks keeps: the steady clock, and a wait for one
// look's answer that ends at a deadline. A test stands in its own, to see how
// long a round would wait without waiting.
class FolderLookClock {
public:
    virtual ~FolderLookClock() = default;
    virtual std::chrono::steady_clock::time_point now() const;
    // Waits, `lock` held, until `answered()` holds or `deadline` has passed.
    virtual void waitUntil(std::condition_variable& answer, std::unique_lock<std::mutex>& lock,
                           std::chrono::steady_clock::time_point deadline,
                           const std::function<bool()>& answered) const;
};

// Looks at every path at once and waits at most `patience` for them. A path
// still unanswered from an earlier round is not asked again: the new round
// waits on the same look. The folders on one share (a network or FUSE mount,
// told by the kernel's mount table) are asked in turn, and once a round gave
// up on a look, a folder inside that one or on its share is answered as
// silent at once, until that look returns. Blocks; never on the main actor.
FolderLooks lookAtFolders(const std::vector<std::string>& paths,
                          std::chrono::milliseconds patience = kFolderLookPatience,
                          const FolderLookClock& clock = FolderLookClock());

// The look itself, in this process: what a child process runs.
FolderFacts lookInThisProcess(const std::string& path);

// Where the look at `path` that is under way, perhaps held from an earlier
// launch, is recorded (its process and that process's start time): one held
// look per folder, whatever the launches.
std::string heldLookRecordPath(const std::string& path);

// Tests stand for a later launch: the looks this process started are
// forgotten, as a new process knows none of them (their records stay).
void forgetFolderLooksForTesting();

// Tests replace the child process by `look`, run on a thread of its own per
// path (a look that never returns stands for a silent server); none restores it.
void setFolderLookForTesting(std::function<std::optional<FolderFacts>(const std::string&)> look);

}  // namespace tidewell
