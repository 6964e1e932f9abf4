#pragma once
// The current time, injectable so timed rules can be tested at exact instants.

#include <chrono>
#include <cstdint>
#include <memory>

namespace platform {

using TimePoint = std::chrono::system_clock::time_point;

class Clock {
public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

class SystemClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
};

// A clock that stands still until told to move.
class ManualClock final : public Clock {
public:
    explicit ManualClock(TimePoint start = TimePoint{}) : now_(start) {}
    TimePoint now() const override { return now_; }
    void set(TimePoint t) { now_ = t; }
    void advance(std::chrono::duration<double> d) {
        now_ += std::chrono::duration_cast<std::chrono::system_clock::duration>(d);
    }

private:
    TimePoint now_;
};

// The clock the application reads; the system clock unless a test replaced it.
const Clock& currentClock();
TimePoint now();
// Replaces the clock for the rest of the process (nullptr restores the system
// clock). The caller keeps the clock alive while it is installed.
void setClockForTesting(const Clock* clock);

// Unix seconds as a time point and back, whole seconds.
TimePoint fromUnixSeconds(std::int64_t seconds);
double secondsSince1970(TimePoint t);

}  // namespace platform
