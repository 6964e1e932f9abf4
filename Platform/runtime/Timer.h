#pragma once
// Repeating timers on the main thread. Each tick runs on the main thread; the
// timer stops when invalidated or destroyed.

#include <chrono>
#include <functional>
#include <memory>

class QTimer;

namespace platform {

class RepeatingTimer {
public:
    // Starts at once: the first tick comes one interval from now. A tolerance
    // above zero lets the system coalesce the ticks with other wake-ups.
    RepeatingTimer(std::chrono::duration<double> interval, std::chrono::duration<double> tolerance,
                   std::function<void()> tick);
    ~RepeatingTimer();
    RepeatingTimer(const RepeatingTimer&) = delete;
    RepeatingTimer& operator=(const RepeatingTimer&) = delete;

    void invalidate();
    bool isValid() const;
    std::chrono::duration<double> interval() const { return interval_; }
    std::chrono::duration<double> tolerance() const { return tolerance_; }
    // Runs the tick now, as an expiry would (for the wake-up path and tests).
    void fire();

private:
    std::chrono::duration<double> interval_;
    std::chrono::duration<double> tolerance_;
    std::function<void()> tick_;
    QTimer* timer_ = nullptr;
};

}  // namespace platform
