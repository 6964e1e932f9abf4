#pragma once
// The global caches that lie on a filesystem that may not answer (a home on
// a share: NFS homes are common) are measured in a helper (HelperProcess.h),
// never in the engine: a thread whose request such a server has read waits
// in the kernel even against SIGKILL, so a share that stops would hold every
// scan for ever. One helper measures them all in turn, begun before the
// walks so that it works beside them; it tells that it is alive whenever any
// of its requests was answered, as a walk does. A cache it did not measure is
// left out and named; the scan ends as it would without it.

#include "Rules.h"
#include "core/EngineRecords.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tidewell::engine {

class Progress;

inline constexpr std::string_view kCacheHelper = "caches";

// The card of a cache this machine has, with its size.
GlobalCacheDTO cacheCard(const CacheRule& cache, std::uint64_t bytes);

// In the helper: measures the folders `args` names, in turn, and prints what
// it finds of each. Returns its exit status.
int cacheHelper(const std::vector<std::string>& args);

// In the engine: the caches given, measured by one helper begun now.
class CachesApart {
public:
    CachesApart(std::vector<CacheRule> caches, const std::atomic<bool>& stop);
    ~CachesApart();
    CachesApart(const CachesApart&) = delete;
    CachesApart& operator=(const CachesApart&) = delete;

    // The cards of the caches it found, in the order given, each told to
    // `progress` as measured; one it could not measure is named in a "skip"
    // event instead. Nothing when the engine was asked to end.
    std::optional<std::vector<GlobalCacheDTO>> finish(Progress& progress);

private:
    const std::vector<CacheRule> caches_;
    std::vector<std::string> lines_;
    int end_ = 0;  // how the helper ended (HelperProcess::End)
    std::string endText_;
    std::thread reader_;  // holds the helper, which ends with the thread that started it
};

}  // namespace tidewell::engine
