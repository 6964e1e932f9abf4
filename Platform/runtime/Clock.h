#pragma once
// The current time, injectable so timed rules can be tested at exact instants.

#include <chrono>
#include <cstdint>
#include <memory>

namespace platform {

using TimePoint = std::chrono::system_clock::time_point;
// A reading of the monotonic clock: it never moves with the wall clock.
using MonotonicTime = std::chrono::steady_clock::time_point;

class Clock {
public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
    virtual MonotonicTime monotonicNow() const = 0;
};

class SystemClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
    MonotonicTime monotonicNow() const override { return std::chrono::steady_clock::now(); }
};

// A clock that stands still until told to move. `set` moves the wall clock
// only, as a user changing the date would; `advance` lets time pass on both.
class ManualClock final : public Clock {
public:
    explicit ManualClock(TimePoint start = TimePoint{}) : now_(start) {}
    TimePoint now() const override { return now_; }
    MonotonicTime monotonicNow() const override { return monotonic_; }
    void set(TimePoint t) { now_ = t; }
    void advance(std::chrono::duration<double> d) {
        now_ += std::chrono::duration_cast<std::chrono::system_clock::duration>(d);
        monotonic_ += std::chrono::duration_cast<std::chrono::steady_clock::duration>(d);
    }

private:
    TimePoint now_;
    MonotonicTime monotonic_{std::chrono::hours(1)};
};

// The clock the application reads; the system clock unless a test replaced it.
const Clock& currentClock();
TimePoint now();
MonotonicTime monotonicNow();
// Replaces the clock for the rest of the process (nullptr restores the system
// clock). The caller keeps the clock alive while it is installed.
void setClockForTesting(const Clock* clock);

// Unix seconds as a time point and back, whole seconds.
TimePoint fromUnixSeconds(std::int64_t seconds);
double secondsSince1970(TimePoint t);

}  // namespace platform
