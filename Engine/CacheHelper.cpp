#include "CacheHelper.h"

#include "HelperProcess.h"
#include "Progress.h"
#include "WalkHelper.h"
#include "Walker.h"

#include <malloc.h>
#include <sys/stat.h>


namespace tidewell::engine {

namespace {

// A measure runs a walk's threads: its address space is a walk's.
constexpr std::uint64_t kMeasureAddressSpace = std::uint64_t(2) << 30;

std::optional<std::uint64_t> toNumber(const std::string& s) {
    try {
        std::size_t used = 0;
        const std::uint64_t n = std::stoull(s, &used);
        return used == s.size() ? std::optional(n) : std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

GlobalCacheDTO cacheCard(const CacheRule& cache, std::uint64_t bytes) {
    GlobalCacheDTO dto;
    dto.id = cache.id;
    dto.label = cache.label;
    dto.path = cache.path;
    dto.safetyClass = cache.safetyClass;
    dto.exists = true;
    dto.size_bytes = bytes;
    return dto;
}

int cacheHelper(const std::vector<std::string>& args) {
    // A measure's threads each take an arena of malloc's own by default,
    // whose reserved room alone would reach the helper's address space.
    mallopt(M_ARENA_MAX, 4);
    HelperOutput out;
    // From the start: the first look may wait for a slow share too.
    const HelperHeartbeat heartbeat(out);
    const std::atomic<bool> never{false};
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string index = std::to_string(i);
        // A cache this machine does not have is no card of its own.
        struct stat st {};
        if (stat(args[i].c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            out.print({"absent", index});
            continue;
        }
        out.print({"looked", index});
        out.print({"measured", index, std::to_string(measureFolder(args[i], false, true, never).value_or(0))});
    }
    return 0;
}

CachesApart::CachesApart(std::vector<CacheRule> caches, const std::atomic<bool>& stop) : caches_(std::move(caches)) {
    if (caches_.empty()) return;
    std::vector<std::string> args;
    for (const auto& c : caches_) args.push_back(c.path);
    HelperLimits limits;
    limits.silence = WalksApart::silenceWithin;
    limits.addressSpace = kMeasureAddressSpace;
    // Read by a thread of its own, so that its silence is timed while the
    // engine walks the scan folders.
    reader_ = std::thread([this, args = std::move(args), limits, &stop] {
        static HelperSlots slots(1);
        HelperProcess helper(std::string(kCacheHelper), args, limits, slots, stop);
        for (std::string line; helper.nextLine(line);)
            if (line != "alive") lines_.push_back(std::move(line));
        end_ = static_cast<int>(helper.end());
        endText_ = helper.endText();
    });
}

CachesApart::~CachesApart() {
    if (reader_.joinable()) reader_.join();
}

std::optional<std::vector<GlobalCacheDTO>> CachesApart::finish(Progress& progress) {
    if (reader_.joinable()) reader_.join();
    using End = HelperProcess::End;
    const End end = static_cast<End>(end_);
    std::vector<GlobalCacheDTO> cards;
    if (caches_.empty()) return cards;
    if (end == End::Stopped) return std::nullopt;
    enum class Seen { Nothing, Looked, Told };
    std::vector<Seen> seen(caches_.size(), Seen::Nothing);
    std::vector<std::optional<std::uint64_t>> bytes(caches_.size());
    bool malformed = false;
    for (const auto& line : lines_) {
        const std::vector<std::string> f = helperFields(line);
        const auto index = f.size() >= 2 ? toNumber(f[1]) : std::nullopt;
        if (!index || *index >= caches_.size()) {
            malformed = true;
            continue;
        }
        if (f[0] == "looked" && f.size() == 2) {
            seen[*index] = Seen::Looked;
        } else if (f[0] == "absent" && f.size() == 2) {
            seen[*index] = Seen::Told;
        } else if (f[0] == "measured" && f.size() == 3 && (bytes[*index] = toNumber(f[2]))) {
            seen[*index] = Seen::Told;
        } else {
            malformed = true;
        }
    }
    for (std::size_t i = 0; i < caches_.size(); ++i) {
        const CacheRule& c = caches_[i];
        if (seen[i] == Seen::Told && !malformed) {
            if (!bytes[i]) continue;
            cards.push_back(cacheCard(c, *bytes[i]));
            progress.emit("cache", "Measured " + c.label + ".", c.path);
            continue;
        }
        const std::string why = malformed            ? "the process measuring it printed what no measure prints"
                                 : end != End::Silent ? "the process measuring it ended (" + endText_ + ")"
                                 : seen[i] == Seen::Looked ? "its filesystem stopped answering"
                                                           : "its filesystem does not answer";
        progress.emit("skip", "Cannot measure " + c.label + ": " + why + ".", c.path);
    }
    return cards;
}

}  // namespace tidewell::engine
