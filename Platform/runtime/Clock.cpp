#include "runtime/Clock.h"

#include <atomic>
#include <limits>

namespace platform {

namespace {
const SystemClock systemClock;
std::atomic<const Clock*> installed{nullptr};
}  // namespace

const Clock& currentClock() {
    const Clock* c = installed.load();
    return c != nullptr ? *c : systemClock;
}

TimePoint now() { return currentClock().now(); }

MonotonicTime monotonicNow() { return currentClock().monotonicNow(); }

void setClockForTesting(const Clock* clock) { installed.store(clock); }

TimePoint fromUnixSeconds(std::int64_t seconds) {
    // The clock counts in nanoseconds; clamp instead of overflowing at the
    // far ends of the 64-bit second range.
    using Rep = TimePoint::duration::rep;
    constexpr auto perSecond = std::chrono::duration_cast<TimePoint::duration>(std::chrono::seconds(1)).count();
    constexpr Rep limit = std::numeric_limits<Rep>::max() / perSecond;
    if (seconds > limit) seconds = limit;
    if (seconds < -limit) seconds = -limit;
    return TimePoint{} + std::chrono::duration_cast<TimePoint::duration>(std::chrono::seconds(seconds));
}

double secondsSince1970(TimePoint t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

}  // namespace platform
